#pragma once

// Decoding of run-length compressed BMP pixels (8 and 4 bits per pixel).
#include <stop_token>

#include "raster/BmpHeader.h"
#include "raster/ByteSource.h"
#include "raster/RowSink.h"

namespace qfip {

// Decodes the layout's pixel data (RLE8 or RLE4, rows bottom-up) read from `pixels`
// into `rows`. Every pixel the data doesn't set is black; runs past a row's end or
// below the last row are clipped; data that ends early (or an end-of-bitmap code) stops
// decoding. The stop token is checked every row (throws DecodeStopped).
void decodeBmpRle(const BmpLayout& layout, SequentialReader& pixels, RowSink& rows, std::stop_token stop);

}  // namespace qfip
