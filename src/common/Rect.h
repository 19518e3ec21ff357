#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace qfip {

// A rectangle of pixels: a window rectangle in picture coordinates, or a box of a clip
// region in a metafile's device pixels. Right and Bottom are exclusive, so the rectangle
// (L, T, R, B) covers columns L .. R-1 and rows T .. B-1.
struct Rect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;

    // Widths and heights in 64 bits: the difference of two 32-bit values may not fit in 32.
    int64_t width() const { return int64_t(Right) - Left; }
    int64_t height() const { return int64_t(Bottom) - Top; }
    bool isEmpty() const { return Right <= Left || Bottom <= Top; }

    friend bool operator==(const Rect&, const Rect&) = default;
};

// Wraps a 64-bit value into 32 bits the way two's-complement hardware does; rectangle
// arithmetic on extreme option values wraps instead of being undefined.
inline int32_t wrap32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

// A 64-bit value kept within 32 bits: the nearest end of the range when it lies outside.
inline int32_t clamp32(int64_t value) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace qfip
