#pragma once

// The headers of a BMP file, read and checked; the pixel decoders work from this layout.
#include <array>
#include <cstdint>

#include "common/Error.h"
#include "raster/ByteSource.h"

namespace qfip {

inline constexpr const char* kBitmapNotValid = "Bitmap image is not valid";

enum class BmpCompression : uint32_t { None = 0, Rle8 = 1, Rle4 = 2, BitFields = 3 };

struct BmpLayout {
    int32_t width = 0;
    int32_t height = 0;     // always positive (or 0); see topDown
    bool topDown = false;   // rows stored top first (negative height in the file)
    uint16_t bitCount = 0;  // 1, 4, 8, 16, 24 or 32
    BmpCompression compression = BmpCompression::None;

    // Colour masks of 16- and 32-bit pixels (the defaults when the file has no bit fields).
    uint32_t redMask = 0, greenMask = 0, blueMask = 0;

    // Colour table as 0xFFRRGGBB words; indices the file's table doesn't cover are black.
    std::array<uint32_t, 256> palette{};

    // Where the pixel data starts and how many of its bytes the file holds (may be fewer
    // than the picture needs).
    uint64_t pixelOffset = 0;
    uint64_t pixelBytes = 0;

    bool isEmpty() const { return width == 0 || height == 0; }
    // Bytes of one uncompressed row, padded to a multiple of 4.
    int64_t rowBytes() const { return ((int64_t(width) * bitCount + 31) / 32) * 4; }
};

// Reads and checks the file and info headers, the masks and the colour table of a BMP
// file of at least one byte, reading only those (at most 66 + 12 + 1024 bytes). Throws
// Error(kStreamReadError) when the file ends inside them and Error(kBitmapNotValid) for
// anything refused, including a picture of more than maxPixels pixels (checked before
// the caller allocates or reads any pixel).
BmpLayout readBmpLayout(ByteSource& file, int64_t maxPixels);

}  // namespace qfip
