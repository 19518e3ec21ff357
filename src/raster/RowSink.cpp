#include "raster/RowSink.h"

namespace qfip {

RowSink::RowSink(Raster& out, int32_t pictureWidth, int32_t pictureHeight)
    : out_(out), height_(pictureHeight), sampled_(true), scratch_(size_t(pictureWidth)) {
    columns_.resize(size_t(out.width()));
    for (int32_t x = 0; x < out.width(); ++x) columns_[size_t(x)] = sampledIndex(x, out.width(), pictureWidth);
    // The bottom output row comes first in stored order.
    nextRow_ = height_ - 1 - sampledIndex(out_.height() - 1, out_.height(), height_);
}

void RowSink::end(int32_t y) {
    if (!sampled_ || nextOut_ >= out_.height() || y != nextRow_) return;
    const int32_t outRow = out_.height() - 1 - nextOut_;
    uint32_t* dst = out_.row(outRow);
    for (size_t x = 0; x < columns_.size(); ++x) dst[x] = scratch_[size_t(columns_[x])];
    ++nextOut_;
    if (nextOut_ < out_.height()) {
        nextRow_ = height_ - 1 - sampledIndex(out_.height() - 1 - nextOut_, out_.height(), height_);
    }
}

}  // namespace qfip
