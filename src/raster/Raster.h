#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/Rect.h"
#include "raster/PixelMemory.h"

namespace qfip {

// An RGB raster addressed (x, y) from the top-left corner. Pixels are 32-bit words
// 0xFFRRGGBB, rows stored top to bottom without padding: the layout of Qt's
// QImage::Format_RGB32, so the window can draw a raster without converting it.
class Raster {
public:
    // Largest raster this program creates, in pixels (16384 x 16384, 1 GiB of pixels).
    // Anything larger is refused before memory is allocated.
    static constexpr int64_t kMaxPixels = int64_t(16384) * 16384;

    static constexpr uint32_t kWhite = 0xFFFFFFFFu;
    static constexpr uint32_t kBlack = 0xFF000000u;

    Raster() = default;  // the empty raster, 0 x 0

    // A raster whose pixels are not yet set; the caller writes every pixel.
    // Throws Error("Out of system resources") when the size exceeds kMaxPixels.
    static Raster uninitialised(int32_t width, int32_t height);

    // A window raster: width first, then height, every pixel white. A zero or negative
    // width or height gives the empty raster.
    // Throws Error("Out of system resources") when the size exceeds kMaxPixels.
    static Raster createWindow(int64_t width, int64_t height);

    Raster(Raster&&) noexcept = default;
    Raster& operator=(Raster&&) noexcept = default;
    Raster(const Raster&) = delete;
    Raster& operator=(const Raster&) = delete;
    Raster clone() const;

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    bool isEmpty() const { return width_ == 0 || height_ == 0; }
    size_t bytesPerLine() const { return size_t(width_) * 4; }

    const uint32_t* data() const { return pixels_.get(); }
    uint32_t* data() { return pixels_.get(); }
    const uint32_t* row(int32_t y) const { return pixels_.get() + size_t(y) * size_t(width_); }
    uint32_t* row(int32_t y) { return pixels_.get() + size_t(y) * size_t(width_); }

    bool contains(int64_t x, int64_t y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

    // The pixel's colour with red in the lowest byte, then green, then blue.
    // Outside the raster: 0xFFFFFFFF (an invalid colour).
    uint32_t pixelColour(int64_t x, int64_t y) const;

    // Raw 0xFFRRGGBB word of an inside pixel (no check).
    uint32_t at(int32_t x, int32_t y) const { return row(y)[x]; }

private:
    Raster(int32_t width, int32_t height, PixelBlock pixels)
        : width_(width), height_(height), pixels_(std::move(pixels)) {}

    int32_t width_ = 0;
    int32_t height_ = 0;
    PixelBlock pixels_;
};

// Converts a 0xFFRRGGBB word to a colour with red in the lowest byte.
inline uint32_t colourOfWord(uint32_t word) {
    return ((word >> 16) & 0xFFu) | (word & 0xFF00u) | ((word & 0xFFu) << 16);
}

// One stretching copy from srcRect of src onto destRect of dest, replacing pixels.
// Same sizes: pixel for pixel. Different sizes: each destination pixel takes the
// nearest source pixel (negative extents mirror). Rectangles are not clipped by the
// caller: destination pixels outside dest are skipped, and destination pixels whose
// source lies outside src keep their value (white in a fresh window raster).
void copyRect(Raster& dest, const Rect& destRect, const Raster& src, const Rect& srcRect);

}  // namespace qfip
