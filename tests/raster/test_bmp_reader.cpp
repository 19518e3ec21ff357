// Known-answer tests of the BMP reader: every header form, depth and mask layout, built
// byte for byte here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "raster/BmpReader.h"
#include "support/BmpWriter.h"

namespace qfip {
namespace {

using testing::BmpFile;
using testing::packRows;

constexpr uint32_t K = 0xFF000000u;  // black, and the opaque top byte of every pixel

std::vector<uint32_t> pixelsOf(const Raster& r) {
    return std::vector<uint32_t>(r.data(), r.data() + size_t(r.width()) * size_t(r.height()));
}

// A small palette: index i is 0x00RRGGBB with recognisable bytes.
const std::vector<uint32_t> kPalette4 = {0x102030, 0x405060, 0x708090, 0xA0B0C0};

TEST(BmpReader, EmptyFileIsEmptyRaster) {
    const Raster r = readBmp({});
    EXPECT_TRUE(r.isEmpty());
    EXPECT_EQ(r.width(), 0);
}

TEST(BmpReader, Plain24BitBottomUp) {
    // 2 x 2: stored bottom row first; rows padded from 6 to 8 bytes.
    const std::vector<uint8_t> bytes = testing::bmp24(2, 2, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}});
    const Raster r = readBmp(bytes);
    ASSERT_EQ(r.width(), 2);
    ASSERT_EQ(r.height(), 2);
    EXPECT_EQ(pixelsOf(r), (std::vector<uint32_t>{0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C}));
}

TEST(BmpReader, Grey8BitFromHelper) {
    const Raster r = readBmp(testing::bmp8Grey(3, 1, {0, 128, 255}));
    EXPECT_EQ(pixelsOf(r), (std::vector<uint32_t>{0xFF000000, 0xFF808080, 0xFFFFFFFF}));
}

TEST(BmpReader, TopDownRowsKeepTheirOrder) {
    BmpFile f;
    f.width = 1, f.height = -3, f.bitCount = 24;
    f.pixels = packRows(24, {{0x010101}, {0x020202}, {0x030303}});
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())), (std::vector<uint32_t>{0xFF010101, 0xFF020202, 0xFF030303}));
    f.height = 3;
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())), (std::vector<uint32_t>{0xFF030303, 0xFF020202, 0xFF010101}));
}

struct DepthCase {
    const char* name;
    uint16_t bitCount;
    std::vector<uint32_t> palette;
    std::vector<uint32_t> stored;    // one row of stored values
    std::vector<uint32_t> expected;  // the decoded row
};

class BmpDepth : public ::testing::TestWithParam<DepthCase> {};

TEST_P(BmpDepth, DecodesOneRow) {
    const DepthCase& c = GetParam();
    BmpFile f;
    f.width = int32_t(c.stored.size()), f.height = 1, f.bitCount = c.bitCount;
    f.palette = c.palette;
    f.colorsUsed = uint32_t(c.palette.size());
    f.pixels = packRows(c.bitCount, {c.stored});
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Depths, BmpDepth,
    ::testing::Values(
        DepthCase{"bits1", 1, {0x000000, 0xFFFFFF}, {1, 0, 1, 1, 0, 0, 0, 1, 1},
                  {0xFFFFFFFF, K, 0xFFFFFFFF, 0xFFFFFFFF, K, K, K, 0xFFFFFFFF, 0xFFFFFFFF}},
        DepthCase{"bits4", 4, kPalette4, {3, 0, 1, 2, 3},
                  {0xFFA0B0C0, 0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0}},
        DepthCase{"bits8", 8, kPalette4, {2, 1, 0}, {0xFF708090, 0xFF405060, 0xFF102030}},
        // Indices beyond the colour table are black.
        DepthCase{"bits8BeyondTable", 8, kPalette4, {4, 255, 3}, {K, K, 0xFFA0B0C0}},
        DepthCase{"bits4BeyondTable", 4, kPalette4, {15, 1}, {K, 0xFF405060}},
        // 5-5-5: 31 -> 255, 16 -> 132, 1 -> 8.
        DepthCase{"bits16", 16, {}, {0x7C00, 0x03E0, 0x001F, 0x4201, 0x8000},
                  {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF848408, K}},
        DepthCase{"bits24", 24, {}, {0x123456, 0xABCDEF, 0x000001}, {0xFF123456, 0xFFABCDEF, 0xFF000001}},
        // x888: the top byte is ignored.
        DepthCase{"bits32", 32, {}, {0x00123456, 0xFFABCDEF, 0x7F000001}, {0xFF123456, 0xFFABCDEF, 0xFF000001}},
        // A table before 24-bit pixels is skipped.
        DepthCase{"bits24WithTable", 24, kPalette4, {0x010203}, {0xFF010203}}),
    [](const auto& info) { return std::string(info.param.name); });

// Rows of widths 1 to 5 at every depth: the padding of each row is skipped exactly.
class BmpRowPadding : public ::testing::TestWithParam<std::tuple<uint16_t, int>> {};

TEST_P(BmpRowPadding, EveryRowStartsOnAFourByteBoundary) {
    const auto [bitCount, width] = GetParam();
    const uint32_t maxValue = bitCount >= 24 ? 0xFFFFFFu : bitCount == 16 ? 0x7FFFu : (1u << bitCount) - 1;
    std::vector<std::vector<uint32_t>> rows(3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < width; ++x) rows[size_t(y)].push_back(uint32_t(1 + x + 7 * y) % (maxValue + 1));
    }
    BmpFile f;
    f.width = width, f.height = -3, f.bitCount = bitCount;
    if (bitCount <= 8) {
        for (uint32_t i = 0; i <= maxValue; ++i) f.palette.push_back(0x010203 * i);
    }
    f.pixels = packRows(bitCount, rows);
    const Raster r = readBmp(f.bytes());
    ASSERT_EQ(r.width(), width);
    ASSERT_EQ(r.height(), 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t v = rows[size_t(y)][size_t(x)];
            uint32_t expected = K | v;
            if (bitCount <= 8) expected = K | (0x010203 * v);
            if (bitCount == 16) {
                auto level = [](uint32_t c) { return (c * 255 + 15) / 31; };
                expected = K | (level((v >> 10) & 31) << 16) | (level((v >> 5) & 31) << 8) | level(v & 31);
            }
            EXPECT_EQ(r.at(x, y), expected) << "x " << x << " y " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, BmpRowPadding,
                         ::testing::Combine(::testing::Values<uint16_t>(1, 4, 8, 16, 24, 32), ::testing::Range(1, 6)));

// Long rows exercise the wide conversion loops and their tails.
TEST(BmpReader, LongRowsAt24And32Bits) {
    for (uint16_t bitCount : {uint16_t(24), uint16_t(32)}) {
        for (int width : {15, 16, 17, 33, 100}) {
            std::vector<uint32_t> row;
            for (int x = 0; x < width; ++x) row.push_back(uint32_t(x * 0x030507 + 0x0A0B0C) & 0xFFFFFF);
            BmpFile f;
            f.width = width, f.height = 1, f.bitCount = bitCount;
            f.pixels = packRows(bitCount, {row});
            std::vector<uint32_t> expected;
            for (uint32_t v : row) expected.push_back(K | v);
            EXPECT_EQ(pixelsOf(readBmp(f.bytes())), expected) << bitCount << " bits, width " << width;
        }
    }
}

// A large raster is written past the caches: every depth, rows whose starts are not
// aligned (an odd width), read in bands by two threads (from 24 bits on), and a file that
// ends half-way (the rest black).
TEST(BmpReader, LargeRasterWrittenPastTheCachesHoldsEveryPixel) {
    const int width = 1449;
    const int height = int(2 * kPastCacheBytes / (uint64_t(width) * 4)) + 1;
    for (const uint16_t bitCount : {uint16_t(1), uint16_t(4), uint16_t(8), uint16_t(16), uint16_t(24), uint16_t(32)}) {
        for (const bool truncated : {false, true}) {
            if (truncated && bitCount != 24) continue;
            const uint32_t maxValue = bitCount >= 24 ? 0xFFFFFFu : bitCount == 16 ? 0x7FFFu : (1u << bitCount) - 1;
            const auto stored = [&](int x, int row) { return uint32_t(x * 7 + row * 13 + x * row) % (maxValue + 1); };
            std::vector<std::vector<uint32_t>> rows(size_t(height), std::vector<uint32_t>(size_t(width), 0));
            for (int row = 0; row < height; ++row)
                for (int x = 0; x < width; ++x) rows[size_t(row)][size_t(x)] = stored(x, row);
            BmpFile f;
            f.width = width, f.height = height, f.bitCount = bitCount;
            if (bitCount <= 8) {
                for (uint32_t i = 0; i <= maxValue; ++i) f.palette.push_back(0x010203 * i);
            }
            f.pixels = packRows(bitCount, rows);
            std::vector<uint8_t> bytes = f.bytes();
            const size_t rowBytes = f.pixels.size() / size_t(height);
            const int storedRows = truncated ? height / 2 : height;
            bytes.resize(bytes.size() - size_t(height - storedRows) * rowBytes);
            const Raster r = readBmp(bytes);
            ASSERT_EQ(r.width(), width);
            ASSERT_EQ(r.height(), height);
            for (int row = 0; row < height; ++row) {
                for (int x = 0; x < width; ++x) {
                    const uint32_t v = stored(x, row);
                    uint32_t expected = K | v;
                    if (bitCount <= 8) expected = K | (0x010203 * v);
                    if (bitCount == 16) {
                        auto level = [](uint32_t c) { return (c * 255 + 15) / 31; };
                        expected = K | (level((v >> 10) & 31) << 16) | (level((v >> 5) & 31) << 8) | level(v & 31);
                    }
                    if (row >= storedRows) expected = K;
                    ASSERT_EQ(r.at(x, height - 1 - row), expected) << bitCount << " bits, x " << x << " stored row " << row;
                }
            }
        }
    }
}

}  // namespace
}  // namespace qfip
