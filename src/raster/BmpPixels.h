#pragma once

// Conversion of uncompressed BMP rows (1 to 32 bits per pixel) to 0xFFRRGGBB words.
#include <cstdint>
#include <vector>

#include "raster/BmpHeader.h"

namespace qfip {

// Widens one colour channel selected by a bit mask of any layout to 8 bits, so that the
// channel's largest value maps to 255 (value * 255 / max, rounded).
class MaskChannel {
public:
    explicit MaskChannel(uint32_t mask);

    uint32_t shift() const { return shift_; }
    uint32_t mask() const { return mask_; }
    bool isPlainByte() const { return max_ == 255; }
    // The 8-bit level of a pixel word.
    uint32_t level(uint32_t pixel) const {
        const uint32_t v = (pixel & mask_) >> shift_;
        if (!table_.empty()) return table_[v];
        return uint32_t((uint64_t(v) * 510 + max_) / (uint64_t(max_) * 2));
    }

private:
    uint32_t mask_ = 0;
    uint32_t shift_ = 0;
    uint32_t max_ = 0;
    std::vector<uint8_t> table_;  // levels of every value when the channel has at most 16 bits
};

// Decodes the rows of one picture; the tables it needs are built once.
class BmpRowDecoder {
public:
    explicit BmpRowDecoder(const BmpLayout& layout);

    // Converts the first `count` pixels of a stored row; reads only the bytes they occupy.
    void decode(const uint8_t* src, int32_t count, uint32_t* dst) const;
    // The same, written past the processor's caches (a few pixels at a time go through a
    // small buffer that stays in the cache): for a raster too large to stay there, each
    // written line then costs one trip to memory instead of two (no read of the line
    // before it is written). Readers on other threads see the pixels once the writer has
    // ended with finishWritingPastCache().
    void decodePastCache(const uint8_t* src, int32_t count, uint32_t* dst) const;
    // Converts pixel x of a stored row (or of a piece of one starting at a whole byte).
    uint32_t pixelAt(const uint8_t* src, int64_t x) const;

private:
    enum class Kind { Bits1, Bits4, Bits8, Bits16, Bits24, Rgb32, Masks32 };
    Kind kind_;
    const BmpLayout& layout_;
    std::vector<uint32_t> table16_;  // pixel words of every 16-bit value
    MaskChannel red_, green_, blue_;
};

// Writes count black pixels.
void fillBlack(uint32_t* dst, size_t count);

// Makes the pixels this thread wrote past the caches visible to every other thread.
void finishWritingPastCache();

}  // namespace qfip
