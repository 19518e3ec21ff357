#include "raster/BmpHeader.h"

#include <algorithm>

#include "common/Error.h"

namespace qfip {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kMasksInHeaderSize = 52;  // v2 and later headers hold the masks at 40..51

uint16_t u16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t u32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

[[noreturn]] void streamReadError() { throw Error(kStreamReadError); }
[[noreturn]] void notValid() { throw Error(kBitmapNotValid); }

bool validCompression(uint32_t compression, uint16_t bitCount) {
    switch (compression) {
    case uint32_t(BmpCompression::None): return true;
    case uint32_t(BmpCompression::Rle8): return bitCount == 8;
    case uint32_t(BmpCompression::Rle4): return bitCount == 4;
    case uint32_t(BmpCompression::BitFields): return bitCount == 16 || bitCount == 32;
    default: return false;
    }
}

}  // namespace

BmpLayout readBmpLayout(std::span<const uint8_t> file, int64_t maxPixels) {
    const size_t size = file.size();
    const uint8_t* const data = file.data();
    if (size < kFileHeaderSize) streamReadError();
    if (data[0] != 'B' || data[1] != 'M') notValid();
    if (size < kFileHeaderSize + 4) streamReadError();

    // The info header, in the fields of the 40-byte form.
    const uint32_t headerSize = u32(data + kFileHeaderSize);
    const uint8_t* const h = data + kFileHeaderSize;
    const size_t remaining = size - kFileHeaderSize;
    int64_t width = 0, height = 0;
    uint16_t planes = 0, bitCount = 0;
    uint32_t compression = 0, imageSize = 0, colorsUsed = 0;
    size_t entrySize = 4;
    if (headerSize == kCoreHeaderSize) {
        if (remaining < kCoreHeaderSize) streamReadError();
        width = u16(h + 4);
        height = u16(h + 6);
        planes = u16(h + 8);
        bitCount = u16(h + 10);
        entrySize = 3;
    } else {
        if (headerSize < kInfoHeaderSize) notValid();
        if (remaining < headerSize) streamReadError();
        width = int32_t(u32(h + 4));
        height = int32_t(u32(h + 8));
        planes = u16(h + 12);
        bitCount = u16(h + 14);
        compression = u32(h + 16);
        imageSize = u32(h + 20);
        colorsUsed = u32(h + 32);
    }
    if (planes != 1) notValid();
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) notValid();
    if (!validCompression(compression, bitCount)) notValid();

    BmpLayout layout;
    layout.bitCount = bitCount;
    layout.compression = BmpCompression(compression);
    layout.topDown = height < 0;
    if (height < 0) height = -height;  // 64-bit: the most negative 32-bit height is safe
    // Run-length pictures are always stored bottom-up; a top-down one is malformed.
    if (layout.topDown && (layout.compression == BmpCompression::Rle8 || layout.compression == BmpCompression::Rle4)) {
        notValid();
    }
    if (width < 0) notValid();
    if (width == 0 || height == 0) {
        width = height = 0;  // nothing to decode, whatever the other side says
    } else if (height > INT32_MAX || width * height > maxPixels) {
        notValid();
    }
    layout.width = int32_t(width);
    layout.height = int32_t(height);

    size_t offset = kFileHeaderSize + headerSize;
    if (layout.compression == BmpCompression::BitFields) {
        if (headerSize == kInfoHeaderSize) {
            if (size - offset < 12) streamReadError();
            layout.redMask = u32(data + offset);
            layout.greenMask = u32(data + offset + 4);
            layout.blueMask = u32(data + offset + 8);
            offset += 12;
        } else if (headerSize >= kMasksInHeaderSize) {
            layout.redMask = u32(h + 40);
            layout.greenMask = u32(h + 44);
            layout.blueMask = u32(h + 48);
        } else {
            notValid();  // a header too short for its masks (41 to 51 bytes)
        }
    } else if (bitCount == 16) {
        layout.redMask = 0x7C00u, layout.greenMask = 0x03E0u, layout.blueMask = 0x001Fu;
    } else if (bitCount == 32) {
        layout.redMask = 0x00FF0000u, layout.greenMask = 0x0000FF00u, layout.blueMask = 0x000000FFu;
    }

    // The colour table: present for every depth when the header counts it, implied for
    // indexed depths otherwise.
    uint64_t entries = colorsUsed;
    if (entries == 0 && bitCount <= 8) entries = uint64_t(1) << bitCount;
    if (entries > 256) notValid();
    if (size - offset < entries * entrySize) streamReadError();
    layout.palette.fill(0xFF000000u);
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* e = data + offset + i * entrySize;
        layout.palette[i] = 0xFF000000u | (uint32_t(e[2]) << 16) | (uint32_t(e[1]) << 8) | e[0];
    }
    offset += size_t(entries) * entrySize;

    // The pixel data starts at the file header's offset when that points at or past the
    // end of the colour table and inside the file, else right after the table.
    const uint32_t dataOffset = u32(data + 10);
    if (dataOffset >= offset && dataOffset < size) offset = dataOffset;

    uint64_t pixelBytes = imageSize;
    if (pixelBytes == 0) pixelBytes = uint64_t(layout.rowBytes()) * uint64_t(layout.height);
    pixelBytes = std::min<uint64_t>(pixelBytes, size - offset);
    layout.pixels = file.subspan(offset, size_t(pixelBytes));
    return layout;
}

}  // namespace qfip
