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

// The window value of a window raster: the red components of its interior (every pixel
// but the outermost ring), 64-bit sum, then windowValue.
template <PixelSource Window>
int64_t MeasureIntensity(const Window& window, MeasureMode mode) {
    const int64_t w = window.width(), h = window.height();
    const int64_t a = w - 2, b = h - 2;
    int64_t sum = 0;
    if (a > 0 && b > 0) {
        for (int64_t x = 1; x <= w - 2; ++x) {
            for (int64_t y = 1; y <= h - 2; ++y) {
                sum += window.pixelColour(int32_t(x), int32_t(y)) & 0xFFu;
            }
        }
    }
    return windowValue(sum, a, b, mode);
}

}  // namespace qfip
