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

BmpLayout readBmpLayout(ByteSource& file, int64_t maxPixels) {
    const uint64_t size = file.size();
    if (size < kFileHeaderSize) streamReadError();

    // The file header and as much of the info header as is ever used, in one read. The
    // checks below go by the file's size; a field the read did not deliver (the file
    // shrank meanwhile) ends the file there.
    uint8_t headScratch[kFileHeaderSize + kMasksInHeaderSize];
    const std::span<const uint8_t> head =
        file.read(0, size_t(std::min<uint64_t>(size, sizeof headScratch)), headScratch);
    const auto field = [&](size_t offset, size_t bytes) {
        if (head.size() < offset + bytes) streamReadError();
        return head.data() + offset;
    };
    const uint8_t* const data = field(0, kFileHeaderSize);
    if (data[0] != 'B' || data[1] != 'M') notValid();
    if (size < kFileHeaderSize + 4) streamReadError();

    // The info header, in the fields of the 40-byte form.
    const uint32_t headerSize = u32(field(kFileHeaderSize, 4));
    const uint64_t remaining = size - kFileHeaderSize;
    int64_t width = 0, height = 0;
    uint16_t planes = 0, bitCount = 0;
    uint32_t compression = 0, imageSize = 0, colorsUsed = 0;
    size_t entrySize = 4;
    const uint8_t* h = nullptr;
    if (headerSize == kCoreHeaderSize) {
        if (remaining < kCoreHeaderSize) streamReadError();
        h = field(kFileHeaderSize, kCoreHeaderSize);
        width = u16(h + 4);
        height = u16(h + 6);
        planes = u16(h + 8);
        bitCount = u16(h + 10);
        entrySize = 3;
    } else {
        if (headerSize < kInfoHeaderSize) notValid();
        if (remaining < headerSize) streamReadError();
        h = field(kFileHeaderSize, kInfoHeaderSize);
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

    // The masks and the colour table: at most 12 + 256 * 4 bytes, read in one go.
    uint64_t offset = kFileHeaderSize + uint64_t(headerSize);
    const bool masksAfterHeader = layout.compression == BmpCompression::BitFields && headerSize == kInfoHeaderSize;
    uint64_t entries = colorsUsed;
    if (entries == 0 && bitCount <= 8) entries = uint64_t(1) << bitCount;
    uint8_t tableScratch[12 + 256 * 4];
    std::span<const uint8_t> table;
    const auto readTable = [&](uint64_t bytes) {
        if (bytes == 0) return;
        table = file.read(offset, size_t(bytes), tableScratch);
    };
    const auto tableBytes = [&](size_t at, size_t bytes) {
        if (table.size() < at + bytes) streamReadError();
        return table.data() + at;
    };

    size_t tableAt = 0;
    if (layout.compression == BmpCompression::BitFields) {
        if (masksAfterHeader) {
            if (size - offset < 12) streamReadError();
            // The colour table, when it is counted and not refused, follows the masks.
            const uint64_t tableLength = entries <= 256 ? entries * entrySize : 0;
            readTable(12 + std::min<uint64_t>(tableLength, size - offset - 12));
            const uint8_t* m = tableBytes(0, 12);
            layout.redMask = u32(m);
            layout.greenMask = u32(m + 4);
            layout.blueMask = u32(m + 8);
            offset += 12;
            tableAt = 12;
        } else if (headerSize >= kMasksInHeaderSize) {
            const uint8_t* m = field(kFileHeaderSize + kInfoHeaderSize, 12);
            layout.redMask = u32(m);
            layout.greenMask = u32(m + 4);
            layout.blueMask = u32(m + 8);
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
    if (entries > 256) notValid();
    if (size - offset < entries * entrySize) streamReadError();
    if (!masksAfterHeader) readTable(entries * entrySize);
    layout.palette.fill(0xFF000000u);
    if (entries > 0) {
        const uint8_t* t = tableBytes(tableAt, size_t(entries) * entrySize);
        for (size_t i = 0; i < entries; ++i) {
            const uint8_t* e = t + i * entrySize;
            layout.palette[i] = 0xFF000000u | (uint32_t(e[2]) << 16) | (uint32_t(e[1]) << 8) | e[0];
        }
    }
    offset += entries * entrySize;

    // The pixel data starts at the file header's offset when that points at or past the
    // end of the colour table and inside the file, else right after the table.
    const uint32_t dataOffset = u32(data + 10);
    if (dataOffset >= offset && dataOffset < size) offset = dataOffset;

    uint64_t pixelBytes = imageSize;
    if (pixelBytes == 0) pixelBytes = uint64_t(layout.rowBytes()) * uint64_t(layout.height);
    layout.pixelOffset = offset;
    layout.pixelBytes = std::min<uint64_t>(pixelBytes, size - offset);
    return layout;
}

}  // namespace qfip
