#include "raster/BmpRle.h"

#include <algorithm>

#include "raster/BmpPixels.h"

namespace qfip {

namespace {

// Writes runs in the order the data gives them. Rows and columns only ever advance
// (end-of-line, delta and runs move forward), so the pixels between the last write and
// the next are exactly the ones the data skips: they are made black on the way, and
// every pixel is written once.
class RleCanvas {
public:
    explicit RleCanvas(Raster& out) : out_(out), width_(out.width()), height_(out.height()) {}

    bool below(int64_t y) const { return y >= height_; }

    // Sets the pixels x .. x+length-1 of stored row y (0 = bottom) to colourOf(k), k
    // counting from the run's first pixel; parts outside the picture are dropped.
    template <typename ColourOf>
    void run(int64_t y, int64_t x, int64_t length, ColourOf colourOf) {
        if (y >= height_ || x >= width_ || length <= 0) return;
        const int64_t rowStart = y * width_;
        const int64_t first = std::max(x, filled_ - rowStart);  // never rewrites a pixel
        const int64_t end = std::min(x + length, int64_t(width_));
        if (first >= end) return;
        blackUpTo(rowStart + first);
        uint32_t* row = rowOf(y);
        for (int64_t i = first; i < end; ++i) row[i] = colourOf(i - x);
        filled_ = rowStart + end;
    }

    void finish() { blackUpTo(int64_t(width_) * height_); }

private:
    uint32_t* rowOf(int64_t y) { return out_.row(int32_t(height_ - 1 - y)); }

    void blackUpTo(int64_t position) {
        while (filled_ < position) {
            const int64_t y = filled_ / width_, x = filled_ % width_;
            const int64_t n = std::min(int64_t(width_) - x, position - filled_);
            fillBlack(rowOf(y) + x, size_t(n));
            filled_ += n;
        }
    }

    Raster& out_;
    const int32_t width_;
    const int32_t height_;
    int64_t filled_ = 0;  // pixels before this position (in stored order) are set
};

}  // namespace

void decodeBmpRle(const BmpLayout& layout, Raster& out) {
    RleCanvas canvas(out);
    const bool fourBit = layout.compression == BmpCompression::Rle4;
    const uint32_t* palette = layout.palette.data();
    const uint8_t* p = layout.pixels.data();
    const size_t size = layout.pixels.size();
    size_t i = 0;
    int64_t x = 0, y = 0;
    while (i + 2 <= size && !canvas.below(y)) {
        const uint8_t count = p[i], value = p[i + 1];
        i += 2;
        if (count > 0) {
            // An encoded run: one index, or for 4 bits two indices alternating.
            if (fourBit) {
                const uint32_t c[2] = {palette[value >> 4], palette[value & 0x0F]};
                canvas.run(y, x, count, [&](int64_t k) { return c[k & 1]; });
            } else {
                const uint32_t c = palette[value];
                canvas.run(y, x, count, [c](int64_t) { return c; });
            }
            x += count;
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // delta: move right and up
            if (i + 2 > size) break;
            x += p[i];
            y += p[i + 1];
            i += 2;
        } else {  // an absolute run of `value` indices, padded to a 16-bit boundary
            const size_t length = value;
            const size_t bytes = fourBit ? (length + 1) / 2 : length;
            const size_t available = std::min(bytes, size - i);
            const uint8_t* run = p + i;
            if (fourBit) {
                const int64_t pixels = int64_t(std::min(length, available * 2));
                canvas.run(y, x, pixels, [&](int64_t k) {
                    const uint8_t b = run[k / 2];
                    return palette[(k & 1) ? (b & 0x0F) : (b >> 4)];
                });
            } else {
                canvas.run(y, x, int64_t(available), [&](int64_t k) { return palette[run[k]]; });
            }
            if (available < bytes) break;
            x += int64_t(length);
            i += bytes + (bytes & 1);
        }
    }
    canvas.finish();
}

}  // namespace qfip
