// The BMP reader over its byte sources: headers are refused before any pixel byte is
// read, a file decodes exactly as the same bytes in memory (across read chunks), a file
// that shrinks while it is read keeps what it had, sampled decoding picks exactly the
// nearest pixels and reads only their rows, and a requested stop abandons a decode.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/Error.h"
#include "raster/BmpReader.h"
#include "raster/PictureFile.h"
#include "support/BmpWriter.h"
#include "support/ErrorText.h"
#include "support/TempFolderTest.h"

namespace qfip {
namespace {

using testing::BmpFile;

std::vector<uint32_t> pixelsOf(const Raster& r) {
    return std::vector<uint32_t>(r.data(), r.data() + size_t(r.width()) * size_t(r.height()));
}

// Bytes in memory behind a source that may claim a larger size (the rest reads as
// zeros, as a sparse file would) and may lose its tail after some reads (a file that
// shrinks while it is read); it counts every byte it hands out.
class TestSource : public ByteSource {
public:
    explicit TestSource(std::vector<uint8_t> bytes, uint64_t claimedSize = 0)
        : bytes_(std::move(bytes)), size_(claimedSize ? claimedSize : bytes_.size()), end_(size_) {}

    uint64_t size() const override { return size_; }
    std::span<const uint8_t> read(uint64_t offset, size_t length, uint8_t* scratch) override {
        if (++reads_ > shrinkAfterReads_) end_ = std::min(end_, shrunkEnd_);
        const uint64_t stop = std::min<uint64_t>(end_, offset + length);
        size_t n = 0;
        for (uint64_t at = offset; at < stop; ++at, ++n) scratch[n] = at < bytes_.size() ? bytes_[size_t(at)] : 0;
        bytesRead += n;
        return {scratch, n};
    }
    void shrinkTo(uint64_t end, int afterReads) { shrunkEnd_ = end, shrinkAfterReads_ = afterReads; }

    uint64_t bytesRead = 0;

private:
    std::vector<uint8_t> bytes_;
    uint64_t size_;
    uint64_t end_;
    uint64_t shrunkEnd_ = UINT64_MAX;
    int reads_ = 0;
    int shrinkAfterReads_ = INT32_MAX;
};

using testing::errorOf;

// Pictures of every stored form, large enough to span several read chunks.
std::vector<uint32_t> noise(size_t count, uint32_t salt, uint32_t mask) {
    std::mt19937 gen(salt);
    std::vector<uint32_t> out(count);
    for (uint32_t& v : out) v = gen() & mask;
    return out;
}

BmpFile uncompressed(int32_t width, int32_t height, uint16_t bitCount, uint32_t salt) {
    BmpFile f;
    f.width = width, f.height = height, f.bitCount = bitCount;
    const uint32_t mask = bitCount >= 32 ? 0xFFFFFFFFu : (1u << bitCount) - 1;
    if (bitCount <= 8) f.palette = noise(size_t(1) << bitCount, salt + 1, 0xFFFFFF);
    std::vector<std::vector<uint32_t>> rows;
    for (int32_t y = 0; y < std::abs(height); ++y) rows.push_back(noise(size_t(width), salt * 1000 + uint32_t(y), mask));
    f.pixels = testing::packRows(bitCount, rows);
    return f;
}

// Runs of random length and colour, absolute runs, deltas and ends of line.
BmpFile runLength(int32_t width, int32_t height, uint16_t bitCount, uint32_t salt) {
    BmpFile f;
    f.width = width, f.height = height, f.bitCount = bitCount, f.compression = bitCount == 8 ? 1 : 2;
    f.palette = noise(size_t(1) << bitCount, salt, 0xFFFFFF);
    std::mt19937 gen(salt);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width;) {
            const uint8_t n = uint8_t(3 + gen() % 60);
            if (gen() % 3) {
                f.pixels.insert(f.pixels.end(), {n, uint8_t(gen())});
            } else {
                const size_t bytes = bitCount == 8 ? n : (n + 1u) / 2;
                f.pixels.insert(f.pixels.end(), {0, n});
                for (size_t i = 0; i < bytes + (bytes & 1); ++i) f.pixels.push_back(uint8_t(gen()));
            }
            x += n;
        }
        if (gen() % 7 == 0) f.pixels.insert(f.pixels.end(), {0, 2, 5, 0});  // delta: 5 right
        f.pixels.insert(f.pixels.end(), {0, 0});
    }
    f.imageSize = uint32_t(f.pixels.size());
    return f;
}

struct Form {
    const char* name;
    BmpFile file;
};

std::vector<Form> largeForms() {
    BmpFile masks = uncompressed(300, 250, 32, 7);
    masks.compression = 3, masks.separateMasks = true;
    masks.redMask = 0x3FF00000u, masks.greenMask = 0x000FFC00u, masks.blueMask = 0x000003FFu;
    BmpFile fields16 = uncompressed(611, 301, 16, 8);
    fields16.compression = 3, fields16.separateMasks = true;
    fields16.redMask = 0xF800u, fields16.greenMask = 0x07E0u, fields16.blueMask = 0x001Fu;
    return {
        {"bits1", uncompressed(2051, 1100, 1, 1)},   {"bits4", uncompressed(1001, 700, 4, 2)},
        {"bits8", uncompressed(777, 600, 8, 3)},     {"bits16", uncompressed(513, 400, 16, 4)},
        {"fields16", fields16},                      {"bits24", uncompressed(1023, 300, 24, 5)},
        {"topDown24", uncompressed(301, -299, 24, 6)}, {"masks32", masks},
        {"rle8", runLength(1500, 400, 8, 9)},        {"rle4", runLength(1300, 500, 4, 10)},
    };
}

class TempFolder : public testing::TempFolderTest {};

// ---- headers before pixels --------------------------------------------------------------

TEST(BmpSource, EveryHeaderRefusalReadsOnlyTheHeaders) {
    // Each header is followed by 800 MB of (unread) pixel data.
    const uint64_t huge = uint64_t(800) << 20;
    const auto header = [](int32_t width, int32_t height, uint16_t bitCount, uint16_t planes = 1) {
        BmpFile f;
        f.width = width, f.height = height, f.bitCount = bitCount, f.planes = planes;
        return f.bytes();
    };
    std::vector<uint8_t> notBm = header(100, 100, 24);
    notBm[0] = 'X';
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"over the limit", header(16385, 16385, 24)},
        {"over the limit, top-down", header(16385, -16385, 24)},
        {"too wide for the limit", header(int32_t(Raster::kMaxPixels) + 1, 1, 24)},
        {"not BM", notBm},
        {"two planes", header(100, 100, 24, 2)},
        {"bit depth 7", header(100, 100, 7)},
        {"negative width", header(-5, 100, 24)},
    };
    for (const auto& c : cases) {
        TestSource source(c.bytes, huge);
        EXPECT_EQ(errorOf([&] { BmpDecoder decoder(source); }), "Bitmap image is not valid") << c.name;
        EXPECT_LE(source.bytesRead, 66u) << c.name;
    }
}

TEST(BmpSource, HeadersAloneAreReadBeforeTheDecode) {
    TestSource source(testing::bmp24Uniform(1000, 1000, {1, 2, 3}));
    BmpDecoder decoder(source);
    EXPECT_EQ(decoder.width(), 1000);
    EXPECT_LE(source.bytesRead, 66u);
    const Raster r = decoder.decode();
    EXPECT_EQ(r.at(999, 999), 0xFF010203u);
    // Every pixel byte once, but for the part of a row that a read chunk ends inside of,
    // which the next chunk reads again.
    EXPECT_GE(source.bytesRead, 54u + 3000u * 1000u);
    EXPECT_LE(source.bytesRead, 66u + 3000u * 1000u * 101 / 100);
}

TEST_F(TempFolder, OverLimitFileIsRefusedAfterReadingItsHeaderOnly) {
    BmpFile f;
    f.width = 16385, f.height = 16385, f.bitCount = 24;
    const std::string path = write("huge.bmp", f.bytes());
    std::filesystem::resize_file(path, uint64_t(16385) * 16385 * 3 + 54);  // sparse: takes no disk
    const auto readBytes = [] {
        std::ifstream io("/proc/self/io");
        std::string key;
        uint64_t value = 0;
        while (io >> key >> value)
            if (key == "rchar:") return value;
        return uint64_t(0);
    };
    const uint64_t before = readBytes();
    EXPECT_EQ(errorOf([&] { loadPicture(path); }), "Bitmap image is not valid");
    EXPECT_LT(readBytes() - before, 4096u);
}

// ---- a file decodes as its bytes in memory do --------------------------------------------

TEST_F(TempFolder, FileDecodesExactlyAsMemoryAcrossReadChunks) {
    for (const Form& form : largeForms()) {
        const std::vector<uint8_t> bytes = form.file.bytes();
        const Raster fromMemory = readBmp(bytes);
        const Picture fromFile = loadPicture(write(std::string(form.name) + ".bmp", bytes));
        ASSERT_EQ(fromFile.raster().width(), fromMemory.width()) << form.name;
        ASSERT_EQ(fromFile.raster().height(), fromMemory.height()) << form.name;
        EXPECT_TRUE(pixelsOf(fromFile.raster()) == pixelsOf(fromMemory)) << form.name;
        // Short files: cut inside the pixel data, the file gives what it has, as in memory.
        const size_t dataOffset = bytes[10] | (bytes[11] << 8) | (bytes[12] << 16);
        for (const size_t cut : {bytes.size() - 1, bytes.size() * 2 / 3, dataOffset + 5}) {
            const std::vector<uint8_t> shortBytes(bytes.begin(), bytes.begin() + ptrdiff_t(cut));
            const Picture shortFile = loadPicture(write(std::string(form.name) + "_short.bmp", shortBytes));
            EXPECT_TRUE(pixelsOf(shortFile.raster()) == pixelsOf(readBmp(shortBytes))) << form.name << " cut " << cut;
        }
    }
}

TEST_F(TempFolder, FileThatShrinksWhileBeingReadKeepsWhatItHad) {
    for (const Form& form : largeForms()) {
        const std::vector<uint8_t> bytes = form.file.bytes();
        for (const size_t cut : {bytes.size() / 2 + 1, bytes.size() - 3}) {
            const std::string path = write(std::string(form.name) + ".bmp", bytes);
            const int fd = ::open(path.c_str(), O_RDONLY);
            ASSERT_GE(fd, 0);
            FileSource source(fd, bytes.size());
            BmpDecoder decoder(source);
            ASSERT_EQ(::truncate(path.c_str(), off_t(cut)), 0);  // after the headers, before the pixels
            const Raster shrunk = decoder.decode();
            ::close(fd);
            // The pixels up to the cut, black after it: what the cut file has in memory (its
            // size still leaves the data offset where it was).
            const std::vector<uint8_t> kept(bytes.begin(), bytes.begin() + ptrdiff_t(cut));
            EXPECT_TRUE(pixelsOf(shrunk) == pixelsOf(readBmp(kept))) << form.name << " cut " << cut;
        }
    }
}

TEST(BmpSource, SourceThatShrinksInsideTheHeadersIsAReadError) {
    BmpFile f = uncompressed(10, 10, 8, 3);
    TestSource source(f.bytes());
    source.shrinkTo(60, 0);  // the colour table is gone by the time it is read
    EXPECT_EQ(errorOf([&] { BmpDecoder decoder(source); }), "Stream read error");
}

// ---- sampled decoding --------------------------------------------------------------------

TEST(BmpSource, SampledDecodeIsTheNearestPixelsOfTheWhole) {
    for (const Form& form : largeForms()) {
        const std::vector<uint8_t> bytes = form.file.bytes();
        const Raster whole = readBmp(bytes);
        const std::vector<uint8_t> shortBytes(bytes.begin(), bytes.begin() + ptrdiff_t(bytes.size() * 3 / 5));
        const Raster wholeShort = readBmp(shortBytes);
        for (const auto& [w, h] : {std::pair{200, 150}, std::pair{1, 1}, std::pair{whole.width(), 7},
                                   std::pair{13, whole.height()}}) {
            for (const Raster* reference : {&whole, &wholeShort}) {
                MemorySource source(reference == &whole ? std::span<const uint8_t>(bytes) : shortBytes);
                const Raster sampled = BmpDecoder(source).decodeSampled(w, h);
                ASSERT_EQ(sampled.width(), std::min(w, whole.width())) << form.name;
                ASSERT_EQ(sampled.height(), std::min(h, whole.height())) << form.name;
                int wrong = 0;
                for (int32_t y = 0; y < sampled.height(); ++y) {
                    for (int32_t x = 0; x < sampled.width(); ++x) {
                        const uint32_t expected = reference->at(sampledIndex(x, sampled.width(), whole.width()),
                                                                sampledIndex(y, sampled.height(), whole.height()));
                        wrong += sampled.at(x, y) != expected;
                    }
                }
                EXPECT_EQ(wrong, 0) << form.name << " at " << w << " x " << h
                                    << (reference == &whole ? "" : " (short file)");
            }
        }
    }
}

TEST(BmpSource, SampledUncompressedPictureReadsOnlyItsRows) {
    const std::vector<uint8_t> bytes = testing::bmp24Uniform(4000, 3000, {9, 9, 9});
    TestSource source(bytes);
    const Raster sampled = BmpDecoder(source).decodeSampled(200, 150);
    EXPECT_EQ(sampled.at(199, 149), 0xFF090909u);
    EXPECT_LE(source.bytesRead, 66u + 150u * 12000u);
}

TEST(BmpSource, SampledSizesAreClampedToThePicture) {
    const std::vector<uint8_t> bytes = testing::bmp24Uniform(30, 20, {9, 9, 9});
    MemorySource source(bytes);
    BmpDecoder decoder(source);
    EXPECT_EQ(decoder.decodeSampled(0, -4).width(), 1);
    EXPECT_EQ(decoder.decodeSampled(100, 100).height(), 20);
}

// ---- stopping ----------------------------------------------------------------------------

TEST_F(TempFolder, ARequestedStopOrARefusedPlanAbandonsTheLoad) {
    for (const Form& form : largeForms()) {
        const std::string path = write(std::string(form.name) + ".bmp", form.file.bytes());
        std::stop_source stop;
        stop.request_stop();
        LoadOptions stopped;
        stopped.stop = stop.get_token();
        EXPECT_THROW(loadPicture(path, stopped), LoadAbandoned) << form.name;
        const std::vector<uint8_t> bytes = form.file.bytes();
        MemorySource source(bytes);
        EXPECT_THROW(BmpDecoder(source).decode(stop.get_token()), DecodeStopped) << form.name;

        int asked = 0;
        LoadOptions refused;
        refused.plan = [&](int32_t, int32_t) -> std::optional<std::pair<int32_t, int32_t>> {
            ++asked;
            return std::nullopt;
        };
        EXPECT_THROW(loadPicture(path, refused), LoadAbandoned) << form.name;
        EXPECT_EQ(asked, 1);
    }
}

TEST_F(TempFolder, LoadTellsThePictureSizeAndTheFileItRead) {
    const std::string path = write("a.bmp", testing::bmp24Uniform(300, 200, {1, 2, 3}));
    LoadOptions options;
    options.plan = [](int32_t w, int32_t h) { return std::optional(std::pair{w / 10, h / 10}); };
    LoadInfo info;
    const Picture p = loadPicture(path, options, &info);
    EXPECT_EQ(p.raster().width(), 30);
    EXPECT_EQ(info.width, 300);
    EXPECT_EQ(info.height, 200);
    EXPECT_FALSE(info.changed);
    EXPECT_EQ(identityOf(path), info.identity);
    EXPECT_EQ(identityOf((dir_ / "missing.bmp").string()), std::nullopt);
}

}  // namespace
}  // namespace qfip

namespace qfip {
namespace {

// A picture large enough to be read in two halves at once, whose every pixel is known:
// blue x, green y, red x + y (each mod 256), in picture coordinates. Cut short anywhere
// (inside either half, or between them), the rows the file holds keep their pixels and
// the rest are black, whichever half they belong to.
TEST_F(TempFolder, LargePictureReadInTwoHalvesHasItsKnownPixels) {
    constexpr int32_t kWidth = 1200, kHeight = 1300;  // 4.7 MB of pixel data
    constexpr size_t kRowBytes = kWidth * 3;
    for (const bool topDown : {false, true}) {
        BmpFile file;
        file.width = kWidth, file.height = topDown ? -kHeight : kHeight;
        for (int32_t stored = 0; stored < kHeight; ++stored) {
            const int32_t y = topDown ? stored : kHeight - 1 - stored;
            for (int32_t x = 0; x < kWidth; ++x) {
                file.pixels.insert(file.pixels.end(), {uint8_t(x), uint8_t(y), uint8_t(x + y)});
            }
        }
        const std::vector<uint8_t> whole = file.bytes();
        const size_t offset = whole.size() - file.pixels.size();
        const size_t half = offset + kRowBytes * (kHeight / 2);
        for (const size_t length : {whole.size(), half - 7, half, half + kRowBytes + 5, offset + 100}) {
            const std::vector<uint8_t> bytes(whole.begin(), whole.begin() + ptrdiff_t(length));
            std::vector<uint32_t> expected(size_t(kWidth) * kHeight, Raster::kBlack);
            for (int32_t y = 0; y < kHeight; ++y) {
                const size_t stored = size_t(topDown ? y : kHeight - 1 - y);
                const size_t start = offset + stored * kRowBytes;
                const size_t present = length > start ? std::min(length - start, kRowBytes) / 3 : 0;
                for (size_t x = 0; x < present; ++x) {
                    expected[size_t(y) * kWidth + x] = 0xFF000000u | uint32_t(uint8_t(x + size_t(y))) << 16 |
                                                       uint32_t(uint8_t(y)) << 8 | uint8_t(x);
                }
            }
            const std::string label = (topDown ? "top-down, " : "bottom-up, ") + std::to_string(length) + " bytes";
            EXPECT_TRUE(pixelsOf(readBmp(bytes)) == expected) << "memory, " << label;
            const Picture fromFile = loadPicture(write("large.bmp", bytes));
            EXPECT_TRUE(pixelsOf(fromFile.raster()) == expected) << "file, " << label;
        }
    }
}

// A stop requested while both halves are being read abandons the whole decode, and the
// next decode (which needs both threads again) works.
TEST(BmpSource, StopReachesBothHalves) {
    const std::vector<uint8_t> bytes = uncompressed(2000, 1000, 24, 11).bytes();
    std::stop_source stop;
    stop.request_stop();
    MemorySource source(bytes);
    EXPECT_THROW(BmpDecoder(source).decode(stop.get_token()), DecodeStopped);
    EXPECT_TRUE(pixelsOf(BmpDecoder(source).decode()) == pixelsOf(readBmp(bytes)));
}

}  // namespace
}  // namespace qfip
