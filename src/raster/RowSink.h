#pragma once

// What every BMP pixel decoder shares: where the rows it decodes go (the whole picture,
// or only the rows and columns a smaller sampled picture keeps), the nearest-pixel
// sampling rule, and how a decode that was asked to stop ends.
#include <cstdint>
#include <vector>

#include "raster/Raster.h"

namespace qfip {

// Thrown when a decode is abandoned because its stop token was requested.
struct DecodeStopped {};

// The source index nearest to the centre of target index t when `target` indices span
// `source` ones: floor((2t + 1) * source / (2 * target)).
inline int32_t sampledIndex(int32_t t, int32_t target, int32_t source) {
    return int32_t((int64_t(2 * int64_t(t) + 1) * source) / (2 * int64_t(target)));
}

// Where rows decoded in stored order (bottom row first) go: straight into a raster of the
// picture's size, or through one scratch row of which only sampled rows and columns are
// kept in a smaller raster (see BmpDecoder::decodeSampled).
class RowSink {
public:
    // The whole picture: every row is written in place.
    explicit RowSink(Raster& out) : out_(out), height_(out.height()) {}
    // A sampled picture of the given size (at least 1 x 1, at most the picture's).
    RowSink(Raster& out, int32_t pictureWidth, int32_t pictureHeight);

    // Where stored row y (0 = the bottom row) is written, then when it is complete.
    uint32_t* begin(int32_t y) { return sampled_ ? scratch_.data() : out_.row(height_ - 1 - y); }
    void end(int32_t y);

private:
    Raster& out_;
    int32_t height_;  // of the picture
    bool sampled_ = false;
    std::vector<uint32_t> scratch_;
    std::vector<int32_t> columns_;  // picture column of each output column
    int32_t nextOut_ = 0;           // the next output row, counted from the bottom
    int32_t nextRow_ = 0;           // its picture row, counted from the bottom
};

}  // namespace qfip
