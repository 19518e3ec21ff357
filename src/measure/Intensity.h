#pragma once

#include <concepts>
#include <cstdint>

namespace qfip {

enum class MeasureMode { Mean, Total };

// Anything with a width, a height and pixel colours (red in the lowest byte).
template <class T>
concept PixelSource = requires(const T& s, int32_t x, int32_t y) {
    { s.width() } -> std::convertible_to<int64_t>;
    { s.height() } -> std::convertible_to<int64_t>;
    { s.pixelColour(x, y) } -> std::convertible_to<uint32_t>;
};

// The value of a window whose interior is a x b pixels and whose red components sum to
// `sum`: the sum in total mode; in mean mode sum / (a * b) in extended precision,
// rounded half to even. Mean of an empty interior (0 / 0) throws
// Error("Invalid floating point operation").
int64_t windowValue(int64_t sum, int64_t a, int64_t b, MeasureMode mode);

// The window value of a window raster of width x height pixels as requested (2 *
// HalfWidth by 2 * HalfHeight): the red components of its interior (every pixel but the
// outermost ring), 64-bit sum, then windowValue with a = width - 2 and b = height - 2.
// The size comes from the request, not from the raster: a request with a zero side gives
// an empty raster, yet its other side still counts (half sizes 0 and 1 make a = -2 and
// b = 0, and the mean fails as 0 / 0). Pixels are read only when the interior is not
// empty, and then the window raster has the requested size.
template <PixelSource Window>
int64_t MeasureIntensity(const Window& window, int64_t width, int64_t height, MeasureMode mode) {
    const int64_t a = width - 2, b = height - 2;
    int64_t sum = 0;
    if (a > 0 && b > 0) {
        for (int64_t x = 1; x <= width - 2; ++x) {
            for (int64_t y = 1; y <= height - 2; ++y) {
                sum += window.pixelColour(int32_t(x), int32_t(y)) & 0xFFu;
            }
        }
    }
    return windowValue(sum, a, b, mode);
}

// The window value of a window raster of its own size.
template <PixelSource Window>
int64_t MeasureIntensity(const Window& window, MeasureMode mode) {
    return MeasureIntensity(window, window.width(), window.height(), mode);
}

}  // namespace qfip
