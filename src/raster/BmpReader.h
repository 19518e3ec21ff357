#pragma once

#include <cstdint>
#include <span>
#include <stop_token>

#include "raster/BmpHeader.h"
#include "raster/ByteSource.h"
#include "raster/Raster.h"
#include "raster/RowSink.h"
#include "raster/SharedWork.h"

namespace qfip {

// A decoded raster of this many bytes or more is written past the processor's caches:
// each line written then costs one trip to memory instead of two (an ordinary store reads
// the line first), and all that reads the raster soon after is the window's paint of the
// part shown. At 1024 x 1024 this halves a step's time.
constexpr uint64_t kPastCacheBytes = uint64_t(1) << 20;

// Decodes a Windows BMP file from a byte source into a raster (0xFFRRGGBB, top row
// first). Construction reads and checks the headers only (and refuses a picture of more
// than maxPixels pixels); the pixel data is read when a decode asks for it, straight into
// the raster. Failures throw Error with "Stream read error" or "Bitmap image is not
// valid"; a 0-byte source is the empty picture.
class BmpDecoder {
public:
    // `readChunk`: the bytes taken from the source in one read (see SequentialReader).
    BmpDecoder(ByteSource& source, int64_t maxPixels = Raster::kMaxPixels,
               size_t readChunk = SequentialReader::kChunk);

    int32_t width() const { return layout_.width; }
    int32_t height() const { return layout_.height; }
    const BmpLayout& layout() const { return layout_; }

    // The whole picture. The stop token is checked every row (throws DecodeStopped). A
    // large picture's rows are offered to `share` (a thread waiting for the picture).
    Raster decode(std::stop_token stop = {}, SharedWork* share = nullptr);

    // The picture at a smaller size: pixel (x, y) is the picture's pixel nearest to the
    // centre of (x, y) scaled up, so only those rows and columns are decoded (and of an
    // uncompressed picture only those rows are read). Sizes outside 1 .. the picture's
    // own are clamped to it.
    Raster decodeSampled(int32_t width, int32_t height, std::stop_token stop = {});

private:
    ByteSource& source_;
    size_t readChunk_;
    BmpLayout layout_;
};

// Decodes a BMP file held in memory (see BmpDecoder).
Raster readBmp(std::span<const uint8_t> bytes, int64_t maxPixels = Raster::kMaxPixels);

}  // namespace qfip
