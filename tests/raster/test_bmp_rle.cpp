// Run-length compressed pixels: every escape code, clipping, and data that ends early.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Error.h"
#include "raster/BmpReader.h"
#include "support/BmpWriter.h"

namespace qfip {
namespace {

constexpr int kUnset = -1;  // a pixel the data never sets: black

// Index i has colour (i + 1) * 0x010101, so index 0 differs from the black of unset pixels.
uint32_t colourOf(int index) { return index == kUnset ? 0xFF000000u : 0xFF000000u | uint32_t(index + 1) * 0x010101u; }

struct RleCase {
    const char* name;
    uint16_t bitCount;  // 8: RLE8, 4: RLE4
    int32_t width, height;
    std::vector<uint8_t> data;
    std::vector<int> expected;  // indices, top row first
};

class BmpRle : public ::testing::TestWithParam<RleCase> {};

TEST_P(BmpRle, Decodes) {
    const RleCase& c = GetParam();
    testing::BmpFile f;
    f.width = c.width, f.height = c.height, f.bitCount = c.bitCount;
    f.compression = c.bitCount == 8 ? 1 : 2;
    f.imageSize = uint32_t(c.data.size());
    for (int i = 0; i < (1 << c.bitCount); ++i) f.palette.push_back(uint32_t(i + 1) * 0x010101u);
    f.pixels = c.data;
    const Raster r = readBmp(f.bytes());
    ASSERT_EQ(r.width(), c.width);
    ASSERT_EQ(r.height(), c.height);
    std::vector<uint32_t> expected, got(r.data(), r.data() + size_t(c.width) * size_t(c.height));
    for (int i : c.expected) expected.push_back(colourOf(i));
    EXPECT_EQ(got, expected);
}

// Rows in the data are bottom-up: the first row decoded is the picture's last.
INSTANTIATE_TEST_SUITE_P(
    Escapes, BmpRle,
    ::testing::Values(
        RleCase{"rle8Runs", 8, 4, 2, {2, 5, 2, 6, 0, 0, 4, 7, 0, 1}, {7, 7, 7, 7, 5, 5, 6, 6}},
        // End of bitmap early: the rest stays black.
        RleCase{"rle8EndOfBitmap", 8, 4, 2, {3, 9, 0, 1, 4, 4}, {kUnset, kUnset, kUnset, kUnset, 9, 9, 9, kUnset}},
        // End of line after a partial row leaves the row's end black.
        RleCase{"rle8EndOfLine", 8, 4, 2, {1, 3, 0, 0, 1, 4, 0, 0, 0, 1}, {4, kUnset, kUnset, kUnset, 3, kUnset, kUnset, kUnset}},
        // Delta (right 2, up 1) skips pixels, which stay black.
        RleCase{"rle8Delta", 8, 4, 2, {1, 1, 0, 2, 2, 1, 1, 2, 0, 1}, {kUnset, kUnset, kUnset, 2, 1, kUnset, kUnset, kUnset}},
        // Absolute runs: odd length padded to 16 bits, then even length unpadded.
        RleCase{"rle8Absolute", 8, 4, 2, {0, 3, 1, 2, 3, 0, 1, 8, 0, 0, 0, 4, 9, 10, 11, 12, 0, 1},
                {9, 10, 11, 12, 1, 2, 3, 8}},
        // Runs past the row's end are clipped, not wrapped.
        RleCase{"rle8ClippedRun", 8, 3, 2, {5, 4, 0, 0, 0, 4, 1, 2, 3, 4, 0, 1}, {1, 2, 3, 4, 4, 4}},
        // Rows past the top are ignored.
        RleCase{"rle8BeyondTop", 8, 2, 1, {2, 1, 0, 0, 2, 3, 0, 2, 0, 5, 2, 6}, {1, 1}},
        // Data ending inside a pair, a delta and an absolute run stops decoding there.
        RleCase{"rle8EndsInsidePair", 8, 2, 2, {2, 1, 0, 0, 2}, {kUnset, kUnset, 1, 1}},
        RleCase{"rle8EndsInsideDelta", 8, 2, 2, {1, 1, 0, 2, 1}, {kUnset, kUnset, 1, kUnset}},
        RleCase{"rle8EndsInsideAbsolute", 8, 4, 1, {0, 4, 5, 6}, {5, 6, kUnset, kUnset}},
        RleCase{"rle8NoData", 8, 2, 1, {}, {kUnset, kUnset}},
        // A delta far past the picture and further runs write nothing.
        RleCase{"rle8DeltaFarAway", 8, 2, 1, {1, 7, 0, 2, 255, 255, 0, 2, 255, 255, 4, 1}, {7, kUnset}},
        // RLE4: an encoded run alternates high and low nibble.
        RleCase{"rle4Runs", 4, 5, 1, {5, 0x12, 0, 1}, {1, 2, 1, 2, 1}},
        // RLE4 absolute: 3 pixels in 2 bytes (even), 5 pixels in 3 bytes padded to 4.
        RleCase{"rle4Absolute", 4, 8, 1, {0, 3, 0x34, 0x50, 0, 5, 0x67, 0x89, 0xA0, 0, 0, 1}, {3, 4, 5, 6, 7, 8, 9, 10}},
        RleCase{"rle4EndOfLineAndDelta", 4, 3, 2, {1, 0xF0, 0, 0, 0, 2, 1, 0, 2, 0xAB}, {kUnset, 10, 11, 15, kUnset, kUnset}},
        RleCase{"rle4ClippedAbsolute", 4, 2, 1, {0, 4, 0x12, 0x34, 0, 1}, {1, 2}},
        RleCase{"rle4EndsInsideAbsolute", 4, 4, 1, {0, 4, 0x12}, {1, 2, kUnset, kUnset}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BmpRleFile, IndexBeyondTheTableIsBlack) {
    testing::BmpFile f;
    f.width = 3, f.height = 1, f.bitCount = 8, f.compression = 1;
    f.palette = {0x123456};
    f.colorsUsed = 1;
    f.pixels = {1, 0, 2, 200, 0, 1};
    const Raster r = readBmp(f.bytes());
    EXPECT_EQ(r.at(0, 0), 0xFF123456u);
    EXPECT_EQ(r.at(1, 0), 0xFF000000u);
    EXPECT_EQ(r.at(2, 0), 0xFF000000u);
}

TEST(BmpRleFile, ImageSizeZeroReadsWhatTheFileHolds) {
    testing::BmpFile f;
    f.width = 2, f.height = 1, f.bitCount = 8, f.compression = 1;
    f.palette = {0x111111, 0x222222};
    f.colorsUsed = 2;
    f.pixels = {2, 1, 0, 1};
    const Raster r = readBmp(f.bytes());
    EXPECT_EQ(r.at(0, 0), 0xFF222222u);
    EXPECT_EQ(r.at(1, 0), 0xFF222222u);
}

}  // namespace
}  // namespace qfip
