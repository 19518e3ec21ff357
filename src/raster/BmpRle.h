#pragma once

// Decoding of run-length compressed BMP pixels (8 and 4 bits per pixel).
#include "raster/BmpHeader.h"
#include "raster/Raster.h"

namespace qfip {

// Decodes layout.pixels (RLE8 or RLE4, rows bottom-up) into `out`, a raster of the
// layout's size whose pixels are not yet set. Every pixel the data doesn't set is black;
// runs past a row's end or below the last row are clipped; data that ends early (or an
// end-of-bitmap code) stops decoding.
void decodeBmpRle(const BmpLayout& layout, Raster& out);

}  // namespace qfip
