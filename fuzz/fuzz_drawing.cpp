// Fuzzes the whole drawing path through the real helper: mutates icon and metafile
// starting files, lets the program's own header checks take or refuse each file as loading it
// would, and draws what they take through the real client and the real quendral-render.
// The helper may die as often as it likes (its deaths are counted by kind); the parent
// (this process, built with AddressSanitizer and LeakSanitizer) must never crash, hang,
// leak memory or descriptors, or leave a helper process behind.
//
// Usage: fuzz_drawing <path of quendral-render> <seconds> [<folder for inputs that kill
//        the helper>]
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "common/Error.h"
#include "exchange/RenderClient.h"
#include "raster/PictureFile.h"
#include "support/LeftoverProcesses.h"
#include "support/DrawnPictureWriter.h"
#include "support/MetafileCorpus.h"

using namespace qfip;
using namespace qfip::exchange;
using Clock = std::chrono::steady_clock;

namespace {

struct Starter {
    const char* extension;
    std::vector<uint8_t> bytes;
};

// A 4 x 4 24-bit DIB (BITMAPINFOHEADER and rows), as bitmap records carry one.
std::vector<uint8_t> smallDib() {
    using namespace qfip::testing;
    std::vector<uint8_t> d;
    putU32(d, 40);
    putU32(d, 4);
    putU32(d, 4);
    putU16(d, 1);
    putU16(d, 24);
    for (int i = 0; i < 6; ++i) putU32(d, 0);
    for (int i = 0; i < 48; ++i) d.push_back(uint8_t(i * 37));
    return d;
}

// The enhanced metafile with an EMR_STRETCHDIBITS record before its end record.
std::vector<uint8_t> emfWithBitmap() {
    using namespace qfip::testing;
    std::vector<uint8_t> e = EmfFile{}.bytes();
    const std::vector<uint8_t> dib = smallDib();
    std::vector<uint8_t> r;
    putU32(r, 81);
    putU32(r, uint32_t(80 + dib.size()));
    for (int32_t v : {0, 0, 47, 23}) putU32(r, uint32_t(v));
    for (int32_t v : {4, 4, 0, 0, 4, 4}) putU32(r, uint32_t(v));  // destination, source, source size
    putU32(r, 80);
    putU32(r, 40);
    putU32(r, 120);
    putU32(r, uint32_t(dib.size() - 40));
    putU32(r, 0);            // DIB_RGB_COLORS
    putU32(r, 0x00CC0020);   // SRCCOPY
    putU32(r, 20);
    putU32(r, 16);
    r.insert(r.end(), dib.begin(), dib.end());
    e.insert(e.end() - 20, r.begin(), r.end());
    setU32(e, 48, uint32_t(e.size()));
    setU32(e, 52, 7);
    return e;
}

// The placeable metafile with a META_DIBSTRETCHBLT record before its end record.
std::vector<uint8_t> wmfWithBitmap() {
    using namespace qfip::testing;
    std::vector<uint8_t> w = WmfFile{}.bytes();
    const std::vector<uint8_t> dib = smallDib();
    std::vector<uint8_t> r;
    putU32(r, uint32_t((6 + 4 + 16 + dib.size()) / 2));
    putU16(r, 0x0B41);
    putU32(r, 0x00CC0020);
    for (int16_t v : {4, 4, 0, 0, 20, 30, 2, 3}) putU16(r, uint16_t(v));
    r.insert(r.end(), dib.begin(), dib.end());
    w.insert(w.end() - 6, r.begin(), r.end());
    setU32(w, 22 + 6, uint32_t((w.size() - 22) / 2));
    setU32(w, 22 + 12, uint32_t(r.size() / 2));
    return w;
}

std::vector<Starter> starters() {
    using namespace qfip::testing;
    std::vector<Starter> out;
    out.push_back({"emf", EmfFile{}.bytes()});
    EmfFile text;
    text.fontFace = u"DejaVu Sans";
    text.texts.push_back({2, 2, {u'Q', u'f', u'i', u'p'}});
    out.push_back({"emf", text.bytes()});
    EmfFile glyphs = text;
    glyphs.texts = {{2, 2, {43, 76}, true, true}, {2, 12, {0xFFFF, 3}, true, false}};
    out.push_back({"emf", glyphs.bytes()});
    EmfFile markup = text;
    markup.texts = {{2, 2, utf16(textAddingImage("/etc/passwd", 48, 24, true))}};
    out.push_back({"emf", markup.bytes()});
    EmfFile noEnd;
    noEnd.endRecord = false;
    out.push_back({"emf", noEnd.bytes()});
    out.push_back({"emf", emfWithBitmap()});
    out.push_back({"wmf", wmfWithBitmap()});
    out.push_back({"wmf", WmfFile{}.bytes()});
    WmfFile wmfText;
    wmfText.more = {{0x0088D468, {4, 4, 20, 20}}};
    wmfText.text = textAddingImage("/etc/passwd", 40, 30, false);
    out.push_back({"wmf", wmfText.bytes()});
    WmfFile twips;
    twips.unitsPerInch = 1440;
    std::fill(std::begin(twips.box), std::end(twips.box), 0);
    twips.box[2] = 600;
    twips.box[3] = 450;
    out.push_back({"wmf", twips.bytes()});
    WmfFile big;
    std::fill(std::begin(big.box), std::end(big.box), 0);
    big.box[2] = 2000;
    big.box[3] = 1500;
    big.unitsPerInch = 1440;
    out.push_back({"wmf", big.bytes()});
    // The placeable files of the drawing corpus: clip regions and their selection, map
    // modes, hatches, raster operations, dashes, bitmaps and text of every kind.
    for (const CorpusMetafile& file : metafileCorpus())
        if (!file.enhanced) out.push_back({"wmf", file.bytes});
    std::vector<uint32_t> pixels(16 * 16, 0x80336699);
    out.push_back({"ico", icon32(16, 16, pixels)});
    out.push_back({"ico", icon32(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF})});
    return out;
}

uint32_t interesting32(std::mt19937& random) {
    static const uint32_t values[] = {0, 1, 2, 0x7F, 0x80, 0xFF, 0x100, 0x7FFF, 0x8000, 0xFFFF, 0x10000,
                                      0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFFEu, 16384, 16385, 65536};
    return values[random() % std::size(values)];
}

uint32_t u32At(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
void putU32At(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// Where the records of a metafile start (enhanced: 8-byte type and size; placeable: a
// 4-byte size in words and a 2-byte function), so mutations can aim at their fields.
std::vector<size_t> recordStarts(const std::vector<uint8_t>& b, const char* extension) {
    std::vector<size_t> starts;
    if (std::strcmp(extension, "emf") == 0) {
        for (size_t at = 0; at + 8 <= b.size() && starts.size() < 64;) {
            starts.push_back(at);
            const uint32_t size = u32At(b, at + 4);
            if (size < 8 || size % 4) break;
            at += size;
        }
    } else if (std::strcmp(extension, "wmf") == 0 && b.size() >= 40) {
        for (size_t at = 40; at + 6 <= b.size() && starts.size() < 64;) {
            starts.push_back(at);
            const uint32_t words = u32At(b, at);
            if (words < 3) break;
            at += size_t(words) * 2;
        }
    }
    return starts;
}

// Changes one record: its size, its type, or one of its first parameters.
void mutateRecord(std::vector<uint8_t>& b, const char* extension, std::mt19937& random) {
    const std::vector<size_t> starts = recordStarts(b, extension);
    if (starts.empty()) return;
    const size_t at = starts[random() % starts.size()];
    const bool emf = std::strcmp(extension, "emf") == 0;
    switch (random() % 4) {
    case 0:  // size
        putU32At(b, emf ? at + 4 : at, random() % 2 ? interesting32(random) : u32At(b, emf ? at + 4 : at) + int(random() % 9) - 4);
        break;
    case 1:  // type or function
        if (emf) {
            putU32At(b, at, 1 + random() % 122);
        } else if (at + 6 <= b.size()) {
            static const uint16_t functions[] = {0x0000, 0x001E, 0x0103, 0x0107, 0x012D, 0x01F0, 0x020B, 0x020C, 0x0213,
                                                 0x0214, 0x0324, 0x0325, 0x041B, 0x0521, 0x0626, 0x0817, 0x0940, 0x0A32,
                                                 0x0B41, 0x0D33, 0x0F43, 0x02FB, 0x02FA, 0x02FC, 0x00F7, 0x0538};
            const uint16_t f = functions[random() % std::size(functions)];
            b[at + 4] = uint8_t(f);
            b[at + 5] = uint8_t(f >> 8);
        }
        break;
    default: {  // a parameter
        const size_t field = at + (emf ? 8 : 6) + 2 * (random() % 8);
        if (field + 4 <= b.size()) putU32At(b, field, random() % 2 ? interesting32(random) : uint32_t(random()));
        break;
    }
    }
}

std::vector<uint8_t> mutate(std::vector<uint8_t> bytes, const char* extension, std::mt19937& random) {
    const int steps = 1 + int(random() % 8);
    for (int i = 0; i < steps && !bytes.empty(); ++i) {
        const size_t at = random() % bytes.size();
        if (random() % 3 == 0) {
            mutateRecord(bytes, extension, random);
            continue;
        }
        switch (random() % 9) {
        case 0: bytes[at] ^= uint8_t(1u << (random() % 8)); break;
        case 1: bytes[at] = uint8_t(random()); break;
        case 2: bytes[at] = uint8_t(interesting32(random)); break;
        case 3:
            if (at + 4 <= bytes.size()) {
                const uint32_t v = interesting32(random);
                for (int b = 0; b < 4; ++b) bytes[at + size_t(b)] = uint8_t(v >> (8 * b));
            }
            break;
        case 4: bytes.insert(bytes.begin() + std::ptrdiff_t(at), size_t(1 + random() % 64), uint8_t(random())); break;
        case 5: bytes.erase(bytes.begin() + std::ptrdiff_t(at), bytes.begin() + std::ptrdiff_t(std::min(bytes.size(), at + 1 + random() % 64))); break;
        case 6: bytes.resize(at + 1); break;
        case 7: {  // a copy of a stretch elsewhere (records repeated)
            const size_t from = random() % bytes.size();
            const size_t length = std::min<size_t>(1 + random() % 128, bytes.size() - from);
            std::vector<uint8_t> piece(bytes.begin() + std::ptrdiff_t(from), bytes.begin() + std::ptrdiff_t(from + length));
            bytes.insert(bytes.begin() + std::ptrdiff_t(at), piece.begin(), piece.end());
            break;
        }
        default:  // a 16-bit field
            if (at + 2 <= bytes.size()) {
                const uint32_t v = interesting32(random);
                bytes[at] = uint8_t(v);
                bytes[at + 1] = uint8_t(v >> 8);
            }
            break;
        }
    }
    return bytes;
}

int openDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
    }
    return count - 1;
}

std::string outcomeName(const DrawResult& r) {
    switch (r.outcome) {
    case Outcome::Drawn: return "drawn";
    case Outcome::NotValid: return "not valid";
    case Outcome::Signalled: return std::string("helper killed by ") + sigabbrev_np(r.detail);
    case Outcome::ExitCode: return "helper exit code " + std::to_string(r.detail);
    case Outcome::Timeout: return "helper past the deadline";
    case Outcome::Stopped: return "stopped";
    case Outcome::MalformedReply: return "malformed reply";
    case Outcome::ShortReply: return "short reply";
    case Outcome::ExtraBytes: return "extra bytes";
    case Outcome::NoImage: return "no image";
    case Outcome::SpawnFailed: return "not started";
    }
    return "?";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <quendral-render> <seconds> [<folder for killing inputs>]\n", argv[0]);
        return 2;
    }
    qfip::testing::adoptOrphans();
    ClientOptions options;
    options.helperPath = argv[1];
    const auto until = Clock::now() + std::chrono::seconds(std::atoi(argv[2]));
    const std::string keep = argc > 3 ? argv[3] : "";
    const std::vector<Starter> pool = starters();
    const int descriptorsBefore = openDescriptors();

    std::mutex mutex;
    std::map<std::string, long> counts;
    std::atomic<long> runs{0};
    std::atomic<int> kept{0};
    std::atomic<bool> failed{false};
    Clock::duration slowest{};

    auto worker = [&](unsigned stream) {
        std::mt19937 random(stream);
        while (Clock::now() < until && !failed) {
            const Starter& from = pool[random() % pool.size()];
            const std::vector<uint8_t> bytes = mutate(from.bytes, from.extension, random);
            std::string name;
            DrawResult r;
            const auto started = Clock::now();
            try {
                const Picture picture = decodePicture(from.extension, bytes);
                const DrawnKind kind = picture.kind() == PictureKind::Icon ? DrawnKind::Icon
                                       : picture.kind() == PictureKind::EnhancedMetafile ? DrawnKind::EnhancedMetafile
                                                                                          : DrawnKind::PlaceableMetafile;
                std::vector<uint32_t> pixels;
                r = drawInHelper(kind, picture.fileBytes(), [&](int w, int h) {
                    pixels.assign(size_t(w) * size_t(h), 0);
                    return pixels.data();
                }, options);
                name = outcomeName(r);
                if (r.outcome == Outcome::Drawn && pixels.size() != size_t(r.width) * size_t(r.height)) failed = true;
            } catch (const Error&) {
                name = "refused by the header check";
            }
            const auto took = Clock::now() - started;
            ++runs;
            std::lock_guard lock(mutex);
            ++counts[name];
            slowest = std::max(slowest, took);
            if (took > options.deadline + std::chrono::seconds(2)) {
                std::fprintf(stderr, "a drawing took %lld ms\n",
                             (long long)std::chrono::duration_cast<std::chrono::milliseconds>(took).count());
                failed = true;
            }
            const bool death = r.outcome == Outcome::Signalled || r.outcome == Outcome::Timeout ||
                               r.outcome == Outcome::ExitCode;
            if (death && !keep.empty() && kept < 200) {
                std::ofstream out(keep + "/" + std::to_string(kept++) + "." + from.extension, std::ios::binary);
                out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
            }
        }
    };
    std::thread a(worker, 1u), b(worker, 2u);
    while (Clock::now() < until && !failed) {
        std::this_thread::sleep_for(std::chrono::seconds(30));
        std::lock_guard lock(mutex);
        std::fprintf(stderr, "%ld runs\n", runs.load());
    }
    a.join();
    b.join();

    const int descriptorsAfter = openDescriptors();
    const bool clean = qfip::testing::noChildLeft();
    std::printf("runs: %ld\n", runs.load());
    for (const auto& [name, count] : counts) std::printf("  %-36s %8ld\n", name.c_str(), count);
    std::printf("slowest drawing: %lld ms\n", (long long)std::chrono::duration_cast<std::chrono::milliseconds>(slowest).count());
    std::printf("descriptors before %d, after %d; helper processes left: %s\n", descriptorsBefore, descriptorsAfter,
                clean ? "none" : "SOME");
    if (failed || !clean || descriptorsAfter != descriptorsBefore) {
        std::printf("FAILED\n");
        return 1;
    }
    return 0;
}
