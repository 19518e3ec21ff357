#pragma once

// Decoding of run-length compressed BMP pixels (8 and 4 bits per pixel).
#include <stop_token>
#include <vector>

#include "raster/BmpHeader.h"
#include "raster/ByteSource.h"
#include "raster/Raster.h"

namespace qfip {

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

// Decodes the layout's pixel data (RLE8 or RLE4, rows bottom-up) read from `pixels`
// into `rows`. Every pixel the data doesn't set is black; runs past a row's end or
// below the last row are clipped; data that ends early (or an end-of-bitmap code) stops
// decoding. The stop token is checked every row (throws DecodeStopped).
void decodeBmpRle(const BmpLayout& layout, SequentialReader& pixels, RowSink& rows, std::stop_token stop);

}  // namespace qfip
