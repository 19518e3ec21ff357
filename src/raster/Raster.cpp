#include "raster/Raster.h"

#include <algorithm>
#include <new>

#include "common/Error.h"

namespace qfip {

namespace {

PixelBlock allocatePixels(int64_t width, int64_t height) {
    if (width < 0 || height < 0 || width * height > Raster::kMaxPixels) {
        throw Error("Out of system resources");
    }
    try {
        return takePixelBlock(size_t(width * height));
    } catch (const std::bad_alloc&) {
        throw Error("Out of system resources");
    }
}

}  // namespace

Raster Raster::uninitialised(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return Raster();
    return Raster(width, height, allocatePixels(width, height));
}

Raster Raster::createWindow(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0) return Raster();
    if (width > INT32_MAX || height > INT32_MAX) throw Error("Out of system resources");
    Raster raster(int32_t(width), int32_t(height), allocatePixels(width, height));
    std::fill_n(raster.pixels_.get(), size_t(width * height), kWhite);
    return raster;
}

Raster Raster::clone() const {
    if (isEmpty()) return Raster();
    Raster copy(width_, height_, allocatePixels(width_, height_));
    std::copy_n(pixels_.get(), size_t(width_) * size_t(height_), copy.pixels_.get());
    return copy;
}

uint32_t Raster::pixelColour(int64_t x, int64_t y) const {
    if (!contains(x, y)) return 0xFFFFFFFFu;
    return colourOfWord(at(int32_t(x), int32_t(y)));
}

void copyRect(Raster& dest, const Rect& destRect, const Raster& src, const Rect& srcRect) {
    const int64_t dw = destRect.width(), dh = destRect.height();
    const int64_t sw = srcRect.width(), sh = srcRect.height();
    if (dw <= 0 || dh <= 0 || dest.isEmpty()) return;

    // Only destination pixels inside dest are visited.
    const int64_t x0 = std::max<int64_t>(destRect.Left, 0), x1 = std::min<int64_t>(destRect.Right, dest.width());
    const int64_t y0 = std::max<int64_t>(destRect.Top, 0), y1 = std::min<int64_t>(destRect.Bottom, dest.height());
    if (x0 >= x1 || y0 >= y1 || src.isEmpty() || sw == 0 || sh == 0) return;

    // Nearest source pixel of destination offset d along an axis: the source pixel under
    // the destination pixel's centre, floor((2d + 1) * s / (2 * dsize)), mirrored for s < 0.
    auto sourceOf = [](int64_t d, int64_t dsize, int64_t s, int64_t sStart) -> int64_t {
        // The product reaches 2^65 for rectangles spanning int32, so it is taken in 128 bits;
        // the quotient is at most |s| and fits again.
        if (s == dsize) return sStart + d;
        const __int128 twice = __int128(2 * d + 1) * (s > 0 ? s : -s);
        const int64_t m = int64_t(twice / (2 * __int128(dsize)));
        return s > 0 ? sStart + m : sStart - 1 - m;
    };

    for (int64_t y = y0; y < y1; ++y) {
        const int64_t sy = sourceOf(y - destRect.Top, dh, sh, sh > 0 ? srcRect.Top : srcRect.Top);
        if (sy < 0 || sy >= src.height()) continue;
        uint32_t* out = dest.row(int32_t(y));
        const uint32_t* in = src.row(int32_t(sy));
        if (sw == dw && sw > 0) {
            // Pixel for pixel: copy the run of this row whose source lies inside src.
            const int64_t shift = int64_t(srcRect.Left) - destRect.Left;
            const int64_t a = std::max(x0, -shift), b = std::min(x1, int64_t(src.width()) - shift);
            if (a < b) std::copy(in + (a + shift), in + (b + shift), out + a);
            continue;
        }
        for (int64_t x = x0; x < x1; ++x) {
            const int64_t sx = sourceOf(x - destRect.Left, dw, sw, srcRect.Left);
            if (sx >= 0 && sx < src.width()) out[x] = in[sx];
        }
    }
}

}  // namespace qfip
