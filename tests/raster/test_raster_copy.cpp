#include <gtest/gtest.h>

#include <vector>

#include "common/Error.h"
#include "measure/Intensity.h"
#include "raster/Raster.h"

namespace qfip {
namespace {

// A raster of the given words, row-major.
Raster rasterOf(int32_t w, int32_t h, const std::vector<uint32_t>& words) {
    Raster r = Raster::uninitialised(w, h);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) r.row(y)[x] = words[size_t(y) * size_t(w) + size_t(x)];
    }
    return r;
}

std::vector<uint32_t> wordsOf(const Raster& r) {
    return std::vector<uint32_t>(r.data(), r.data() + size_t(r.width()) * size_t(r.height()));
}

constexpr uint32_t W = Raster::kWhite;

TEST(CreateWindow, WhiteOfTheSize) {
    const Raster r = Raster::createWindow(3, 2);
    EXPECT_EQ(r.width(), 3);
    EXPECT_EQ(r.height(), 2);
    EXPECT_EQ(wordsOf(r), std::vector<uint32_t>(6, W));
}

TEST(CreateWindow, ZeroOrNegativeIsEmpty) {
    for (auto [w, h] : {std::pair{0, 0}, {0, 24}, {24, 0}, {-2, 5}, {5, -2}, {-24, -24}}) {
        const Raster r = Raster::createWindow(w, h);
        EXPECT_TRUE(r.isEmpty());
        EXPECT_EQ(r.width(), 0);
        EXPECT_EQ(r.height(), 0);
    }
}

TEST(CreateWindow, TooLargeIsRefused) {
    try {
        Raster::createWindow(INT64_C(1) << 31, 2);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Out of system resources");
    }
    EXPECT_THROW(Raster::createWindow(Raster::kMaxPixels, 2), Error);
}

TEST(PixelColour, RedInLowestByte) {
    const Raster r = rasterOf(2, 1, {0xFF112233u, 0xFF0A0B0Cu});
    EXPECT_EQ(r.pixelColour(0, 0), 0x00332211u);
    EXPECT_EQ(r.pixelColour(1, 0) & 0xFFu, 0x0Au);
    EXPECT_EQ(r.pixelColour(2, 0), 0xFFFFFFFFu);
    EXPECT_EQ(r.pixelColour(-1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(r.pixelColour(0, 1), 0xFFFFFFFFu);
}

const std::vector<uint32_t> k4x3 = {
    1, 2, 3, 4,  //
    5, 6, 7, 8,  //
    9, 10, 11, 12,
};

TEST(CopyRect, SameSizePixelForPixel) {
    const Raster src = rasterOf(4, 3, k4x3);
    Raster dest = Raster::createWindow(2, 2);
    copyRect(dest, Rect{0, 0, 2, 2}, src, Rect{1, 1, 3, 3});
    EXPECT_EQ(wordsOf(dest), (std::vector<uint32_t>{6, 7, 10, 11}));
}

TEST(CopyRect, SourceOutsideKeepsWhite) {
    const Raster src = rasterOf(4, 3, k4x3);
    Raster dest = Raster::createWindow(3, 3);
    copyRect(dest, Rect{0, 0, 3, 3}, src, Rect{-1, 1, 2, 4});
    EXPECT_EQ(wordsOf(dest), (std::vector<uint32_t>{W, 5, 6, W, 9, 10, W, W, W}));

    Raster far = Raster::createWindow(2, 2);
    copyRect(far, Rect{0, 0, 2, 2}, src, Rect{100, 100, 102, 102});
    EXPECT_EQ(wordsOf(far), std::vector<uint32_t>(4, W));

    Raster fromEmpty = Raster::createWindow(2, 2);
    copyRect(fromEmpty, Rect{0, 0, 2, 2}, src, Rect{0, 0, 0, 0});
    EXPECT_EQ(wordsOf(fromEmpty), std::vector<uint32_t>(4, W));
}

TEST(CopyRect, DestinationOutsideIsSkipped) {
    const Raster src = rasterOf(4, 3, k4x3);
    Raster dest = Raster::createWindow(2, 2);
    copyRect(dest, Rect{-1, -1, 1, 1}, src, Rect{0, 0, 2, 2});
    EXPECT_EQ(wordsOf(dest), (std::vector<uint32_t>{6, W, W, W}));
}

TEST(CopyRect, ScaledNearestPixel) {
    const Raster src = rasterOf(2, 2, {1, 2, 3, 4});
    Raster up = Raster::createWindow(4, 4);
    copyRect(up, Rect{0, 0, 4, 4}, src, Rect{0, 0, 2, 2});
    EXPECT_EQ(wordsOf(up), (std::vector<uint32_t>{1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));

    const Raster big = rasterOf(4, 3, k4x3);
    Raster down = Raster::createWindow(2, 1);
    copyRect(down, Rect{0, 0, 2, 1}, big, Rect{0, 0, 4, 3});
    EXPECT_EQ(wordsOf(down), (std::vector<uint32_t>{6, 8}));  // centres of columns 1 and 3, row 1
}

TEST(CopyRect, NegativeSourceExtentMirrors) {
    const Raster src = rasterOf(4, 3, k4x3);
    Raster dest = Raster::createWindow(4, 1);
    copyRect(dest, Rect{0, 0, 4, 1}, src, Rect{4, 0, 0, 1});
    EXPECT_EQ(wordsOf(dest), (std::vector<uint32_t>{4, 3, 2, 1}));
}

TEST(CopyRect, ExtremeRectanglesScaleExactly) {
    // Destination and source spanning nearly all of int32: the nearest-pixel products
    // exceed 64 bits. Destination pixel x maps to source column x - 1.
    const Raster src = rasterOf(4, 3, k4x3);
    Raster dest = Raster::createWindow(4, 1);
    copyRect(dest, Rect{INT32_MIN, 0, INT32_MAX, 1}, src, Rect{INT32_MIN, 0, INT32_MAX - 1, 1});
    EXPECT_EQ(wordsOf(dest), (std::vector<uint32_t>{W, 1, 2, 3}));

    // Mirrored over the full range: both axes map far outside the source.
    Raster outside = Raster::createWindow(2, 2);
    copyRect(outside, Rect{0, INT32_MIN, 2, INT32_MAX}, src, Rect{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN});
    EXPECT_EQ(wordsOf(outside), std::vector<uint32_t>(4, W));
}

TEST(MeasureWindowRaster, CopiedWindowOfAPicture) {
    // A 40 x 40 picture: red 200 (green and blue 250) inside (10..33, 10..33) but 0 on
    // that window's border ring, red 90 elsewhere. The window (10, 10, 34, 34) copied into
    // a fresh 24 x 24 raster measures 200 and 200 * 484.
    Raster picture = Raster::uninitialised(40, 40);
    for (int32_t y = 0; y < 40; ++y) {
        for (int32_t x = 0; x < 40; ++x) {
            const bool inside = x >= 10 && x < 34 && y >= 10 && y < 34;
            const bool ring = inside && (x == 10 || x == 33 || y == 10 || y == 33);
            picture.row(y)[x] = !inside ? 0xFF5A0000u : ring ? 0xFF000000u : 0xFFC8FAFAu;
        }
    }
    Raster window = Raster::createWindow(24, 24);
    copyRect(window, Rect{0, 0, 24, 24}, picture, Rect{10, 10, 34, 34});
    EXPECT_EQ(MeasureIntensity(window, MeasureMode::Mean), 200);
    EXPECT_EQ(MeasureIntensity(window, MeasureMode::Total), 96800);

    // Shifted by one pixel the interior holds 43 pixels of 0 (the old ring's right column
    // and bottom row, 22 + 22 less their shared corner): 441 * 200 / 484 = 182.2 -> 182.
    Raster shifted = Raster::createWindow(24, 24);
    copyRect(shifted, Rect{0, 0, 24, 24}, picture, Rect{11, 11, 35, 35});
    EXPECT_EQ(MeasureIntensity(shifted, MeasureMode::Total), 88200);
    EXPECT_EQ(MeasureIntensity(shifted, MeasureMode::Mean), 182);
}

}  // namespace
}  // namespace qfip
