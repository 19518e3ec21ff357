#include "raster/BmpReader.h"

#include <algorithm>

#include "raster/BmpHeader.h"
#include "raster/BmpPixels.h"
#include "raster/BmpRle.h"

namespace qfip {

namespace {

// Uncompressed rows, a row at a time; rows (or row ends) missing from the file are black.
void decodeRows(const BmpLayout& layout, Raster& out) {
    const BmpRowDecoder decoder(layout);
    const int64_t rowBytes = layout.rowBytes();
    const int64_t available = int64_t(layout.pixels.size());
    const int32_t width = layout.width, height = layout.height;
    for (int32_t stored = 0; stored < height; ++stored) {
        uint32_t* dst = out.row(layout.topDown ? stored : height - 1 - stored);
        const int64_t start = int64_t(stored) * rowBytes;
        const int64_t bytes = std::clamp<int64_t>(available - start, 0, rowBytes);
        const int32_t count = int32_t(std::min<int64_t>(width, bytes * 8 / layout.bitCount));
        if (count > 0) decoder.decode(layout.pixels.data() + start, count, dst);
        fillBlack(dst + count, size_t(width - count));
    }
}

}  // namespace

Raster readBmp(std::span<const uint8_t> bytes, int64_t maxPixels) {
    if (bytes.empty()) return Raster();
    const BmpLayout layout = readBmpLayout(bytes, maxPixels);
    if (layout.isEmpty()) return Raster();
    Raster out = Raster::uninitialised(layout.width, layout.height);
    if (layout.compression == BmpCompression::Rle8 || layout.compression == BmpCompression::Rle4) {
        decodeBmpRle(layout, out);
    } else {
        decodeRows(layout, out);
    }
    return out;
}

}  // namespace qfip
