// Writes 24-bit BMP pictures with known grey values:
//   quendral_pictures series <folder>
//       twenty 320 x 240 frames f0000001.bmp .. f0000020.bmp: a bright spot in the
//       middle fading frame by frame on a darker background
//   quendral_pictures square <file> <width> <height> <ground> <left> <top> <right> <bottom> <value>
//       grey level <ground> everywhere but the rectangle (right and bottom exclusive),
//       which holds <value>
//   quendral_pictures metafile <kind> <file>
//       a 48 x 24 enhanced metafile of a kind that crashed the program when it drew
//       metafiles itself: glyph-text (text drawn by glyph index, twice),
//       glyph-text-no-end (the same without an end record), no-end (a rectangle
//       without an end record), glyph-past-table (a glyph index past the font's table);
//       or a 40 x 30 placeable metafile that is slow to draw: rectangles (300,000 of them,
//       after 40,000 saved device contexts)
//   quendral_pictures corpus <folder>
//       the metafile drawing corpus (tests/support/MetafileCorpus.h), each file named
//       after its entry (emf-clip-rect.emf, ...), and beside it every other metafile the
//       tests draw, named sample-<kind>.emf or .wmf: the kinds above and the plain,
//       coloured and hostile files of the drawing tests
//   quendral_pictures pattern <file> <side> [<salt>]
//       a <side> x <side> picture (up to 16384) of a pattern that changes every pixel,
//       written a row at a time (for benchmarks)
//   quendral_pictures checker <file> <side>
//       a <side> x <side> checkerboard of one-pixel squares (up to 51) whose dark
//       squares name their place (see checkerLevel)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/BmpWriter.h"
#include "support/DrawnPictureWriter.h"
#include "support/MetafileCorpus.h"

namespace {

using qfip::testing::Rgb;

bool save(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

uint8_t grey(double level) { return uint8_t(std::lround(std::fmin(255.0, std::fmax(0.0, level)))); }

int series(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    const int width = 320, height = 240, frames = 20;
    for (int frame = 0; frame < frames; ++frame) {
        const double peak = 200.0 * (frames - frame) / frames;
        std::vector<Rgb> pixels(size_t(width) * height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const double dx = x - 160.0, dy = y - 120.0;
                const double level = 40.0 + peak * std::exp(-(dx * dx + dy * dy) / (2 * 15.0 * 15.0));
                const uint8_t g = grey(level);
                pixels[size_t(y) * width + x] = {g, g, g};
            }
        }
        char name[32];
        std::snprintf(name, sizeof name, "f%07d.bmp", frame + 1);
        if (!save((folder / name).string(), qfip::testing::bmp24(width, height, pixels))) {
            std::fprintf(stderr, "cannot write %s\n", (folder / name).string().c_str());
            return 1;
        }
    }
    return 0;
}

int square(char** args) {
    const int width = std::atoi(args[1]), height = std::atoi(args[2]);
    const int ground = std::atoi(args[3]);
    const int left = std::atoi(args[4]), top = std::atoi(args[5]), right = std::atoi(args[6]),
              bottom = std::atoi(args[7]), value = std::atoi(args[8]);
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) {
        std::fprintf(stderr, "bad size\n");
        return 2;
    }
    std::vector<Rgb> pixels(size_t(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool inside = x >= left && x < right && y >= top && y < bottom;
            const uint8_t g = grey(inside ? value : ground);
            pixels[size_t(y) * width + x] = {g, g, g};
        }
    }
    if (!save(args[0], qfip::testing::bmp24(width, height, pixels))) {
        std::fprintf(stderr, "cannot write %s\n", args[0]);
        return 1;
    }
    return 0;
}

// The metafiles the drawing tests build, by kind; empty for an unknown kind.
std::vector<uint8_t> sampleMetafile(const std::string& kind) {
    using qfip::testing::EmfFile;
    using qfip::testing::EmfText;
    using qfip::testing::WmfFile;
    if (kind == "rectangles") {
        WmfFile wmf;
        wmf.rectangles = 300000;
        wmf.savedContexts = 40000;  // libwmf's time grows with their square
        return wmf.bytes();
    }
    if (kind == "wmf") return WmfFile{}.bytes();
    if (kind == "wmf-colours") {
        WmfFile wmf;
        wmf.colour = 0x0088D468;
        wmf.rect[2] = 20;
        wmf.rect[3] = 15;
        wmf.more = {{0x001E1E1E, {20, 0, 40, 15}}, {0x00563412, {0, 15, 20, 30}}, {0x00FCFDFE, {20, 15, 40, 30}}};
        return wmf.bytes();
    }
    if (kind == "wmf-markup-text") {
        WmfFile wmf;
        wmf.text = qfip::testing::textAddingImage("/tmp/picture.png", 40, 30, false);
        return wmf.bytes();
    }
    EmfFile emf;
    emf.fontFace = u"DejaVu Sans";
    // Glyphs 43 and 76 of DejaVu Sans are "H" and "i".
    const EmfText glyphs{2, 2, {43, 76}, true, false}, glyphsWithAdvances{2, 12, {43, 76}, true, true};
    if (kind == "glyph-text" || kind == "glyph-text-no-end") {
        emf.texts = {glyphs, glyphsWithAdvances};
        emf.endRecord = kind == "glyph-text";
    } else if (kind == "no-end") {
        emf.fontFace.clear();
        emf.endRecord = false;
    } else if (kind == "glyph-past-table") {
        emf.texts = {EmfText{2, 2, {0xFFFF, 0xFFF0}, true, false}};
    } else if (kind == "emf") {
        emf.fontFace.clear();
    } else if (kind == "emf-text") {
        emf.texts = {EmfText{2, 2, qfip::testing::utf16("Hi")}};
    } else if (kind == "emf-markup-text") {
        emf.texts = {EmfText{2, 2, qfip::testing::utf16(qfip::testing::textAddingImage("/tmp/picture.png", 48, 24, true))}};
    } else {
        return {};
    }
    return emf.bytes();
}

const char* const kSampleKinds[] = {"glyph-text", "glyph-text-no-end", "no-end", "glyph-past-table", "emf", "emf-text",
                                    "emf-markup-text", "rectangles", "wmf", "wmf-colours", "wmf-markup-text"};

int metafile(const std::string& kind, const std::string& path) {
    const std::vector<uint8_t> bytes = sampleMetafile(kind);
    if (bytes.empty()) {
        std::fprintf(stderr, "unknown metafile kind %s\n", kind.c_str());
        return 2;
    }
    if (!save(path, bytes)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}

int corpus(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    for (const auto& file : qfip::testing::metafileCorpus()) {
        const std::filesystem::path path = folder / (file.name + (file.enhanced ? ".emf" : ".wmf"));
        if (!save(path.string(), file.bytes)) {
            std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
            return 1;
        }
    }
    for (const char* kind : kSampleKinds) {
        const std::vector<uint8_t> bytes = sampleMetafile(kind);
        const bool enhanced = bytes[0] == 1;
        const std::filesystem::path path = folder / ("sample-" + std::string(kind) + (enhanced ? ".emf" : ".wmf"));
        if (!save(path.string(), bytes)) {
            std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "series" && argc == 3) return series(argv[2]);
    if (mode == "square" && argc == 11) return square(argv + 2);
    if (mode == "metafile" && argc == 4) return metafile(argv[2], argv[3]);
    if (mode == "corpus" && argc == 3) return corpus(argv[2]);
    if (mode == "checker" && argc == 4) {
        const int side = std::atoi(argv[3]);
        if (side <= 0 || side > 51) {
            std::fprintf(stderr, "bad size\n");
            return 2;
        }
        return save(argv[2], qfip::testing::checkerboardBmp(side)) ? 0 : 1;
    }
    if (mode == "pattern" && (argc == 4 || argc == 5)) {
        const int side = std::atoi(argv[3]);
        if (side <= 0 || side > 16384) {
            std::fprintf(stderr, "bad size\n");
            return 2;
        }
        return qfip::testing::writePatternBmp24(argv[2], side, side, uint8_t(argc == 5 ? std::atoi(argv[4]) : 0)) ? 0 : 1;
    }
    std::fprintf(stderr,
                 "usage: quendral_pictures series <folder>\n"
                 "       quendral_pictures square <file> <width> <height> <ground> <left> <top> <right> <bottom> <value>\n"
                 "       quendral_pictures metafile glyph-text|glyph-text-no-end|no-end|glyph-past-table|rectangles <file>\n"
                 "       quendral_pictures corpus <folder>\n"
                 "       quendral_pictures pattern <file> <side> [<salt>]\n"
                 "       quendral_pictures checker <file> <side>\n");
    return 2;
}
