#pragma once

#include <cstdint>
#include <span>

#include "raster/Raster.h"

namespace qfip {

// Decodes a Windows BMP file held in memory into a raster (0xFFRRGGBB, top row first).
// A 0-byte file gives the empty raster. Failures throw Error with "Stream read error"
// or "Bitmap image is not valid". A header whose raster would have more than maxPixels
// pixels is refused before anything is allocated.
Raster readBmp(std::span<const uint8_t> bytes, int64_t maxPixels = Raster::kMaxPixels);

}  // namespace qfip
