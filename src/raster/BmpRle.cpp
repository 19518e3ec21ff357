#include "raster/BmpRle.h"

#include <algorithm>

#include "raster/BmpPixels.h"

namespace qfip {

namespace {

// Writes runs in the order the data gives them. Rows and columns only ever advance
// (end-of-line, delta and runs move forward), so the pixels between the last write and
// the next are exactly the ones the data skips: they are made black on the way, every
// pixel is written once, and each row is complete when the writing passes beyond it.
class RleCanvas {
public:
    RleCanvas(RowSink& rows, int32_t width, int32_t height, std::stop_token stop)
        : rows_(rows), width_(width), height_(height), stop_(std::move(stop)) {}

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

    void finish() {
        blackUpTo(int64_t(width_) * height_);
        if (current_ >= 0) rows_.end(current_);
    }

private:
    // The row being written; the rows before it are complete.
    uint32_t* rowOf(int64_t y) {
        if (y != current_) {
            if (current_ >= 0) rows_.end(current_);
            if (stop_.stop_requested()) throw DecodeStopped{};
            current_ = int32_t(y);
            row_ = rows_.begin(current_);
        }
        return row_;
    }

    void blackUpTo(int64_t position) {
        while (filled_ < position) {
            const int64_t y = filled_ / width_, x = filled_ % width_;
            const int64_t n = std::min(int64_t(width_) - x, position - filled_);
            fillBlack(rowOf(y) + x, size_t(n));
            filled_ += n;
        }
    }

    RowSink& rows_;
    const int32_t width_;
    const int32_t height_;
    std::stop_token stop_;
    int64_t filled_ = 0;    // pixels before this position (in stored order) are set
    int32_t current_ = -1;  // the stored row being written
    uint32_t* row_ = nullptr;
};

}  // namespace

void decodeBmpRle(const BmpLayout& layout, SequentialReader& pixels, RowSink& rows, std::stop_token stop) {
    RleCanvas canvas(rows, layout.width, layout.height, stop);
    const bool fourBit = layout.compression == BmpCompression::Rle4;
    const uint32_t* palette = layout.palette.data();
    int64_t x = 0, y = 0;
    // Runs that stay in one row (or past its end) never reach the canvas's row check.
    uint32_t sinceCheck = 0;
    while (!canvas.below(y)) {
        if (++sinceCheck == 0x10000) {
            sinceCheck = 0;
            if (stop.stop_requested()) throw DecodeStopped{};
        }
        const std::span<const uint8_t> code = pixels.next(2);
        if (code.size() < 2) break;
        const uint8_t count = code[0], value = code[1];
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
            const std::span<const uint8_t> delta = pixels.next(2);
            if (delta.size() < 2) break;
            x += delta[0];
            y += delta[1];
        } else {  // an absolute run of `value` indices, padded to a 16-bit boundary
            const size_t length = value;
            const size_t bytes = fourBit ? (length + 1) / 2 : length;
            const std::span<const uint8_t> run = pixels.next(bytes);
            const size_t available = run.size();
            if (fourBit) {
                const int64_t count4 = int64_t(std::min(length, available * 2));
                canvas.run(y, x, count4, [&](int64_t k) {
                    const uint8_t b = run[size_t(k / 2)];
                    return palette[(k & 1) ? (b & 0x0F) : (b >> 4)];
                });
            } else {
                canvas.run(y, x, int64_t(available), [&](int64_t k) { return palette[run[size_t(k)]]; });
            }
            if (available < bytes) break;
            x += int64_t(length);
            pixels.skip(bytes & 1);
        }
    }
    canvas.finish();
}

}  // namespace qfip
