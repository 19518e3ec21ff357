#include "raster/BmpHeader.h"

#include <algorithm>

#include "common/Error.h"
#include "common/LittleEndian.h"

namespace qfip {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kMasksInHeaderSize = 52;  // v2 and later headers hold the masks at 40..51

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

// The start of the file as one read: the file header and as much of the info header as is
// ever used. The checks go by the file's size; a field the read did not deliver (the file
// shrank meanwhile) ends the file there.
struct Head {
    uint64_t fileSize = 0;
    uint8_t scratch[kFileHeaderSize + kMasksInHeaderSize];
    std::span<const uint8_t> bytes;

    const uint8_t* field(size_t offset, size_t length) const {
        if (bytes.size() < offset + length) streamReadError();
        return bytes.data() + offset;
    }
};

// The info header's fields, in the terms of the 40-byte form.
struct InfoHeader {
    uint32_t size = 0;
    int64_t width = 0, height = 0;
    uint16_t planes = 0, bitCount = 0;
    uint32_t compression = 0, imageSize = 0, colorsUsed = 0;
    size_t entrySize = 4;  // bytes of one colour-table entry
};

// The older 12-byte core header: 16-bit sizes and 3-byte colour-table entries.
InfoHeader readCoreHeader(const Head& head) {
    if (head.fileSize - kFileHeaderSize < kCoreHeaderSize) streamReadError();
    const uint8_t* h = head.field(kFileHeaderSize, kCoreHeaderSize);
    InfoHeader info;
    info.size = kCoreHeaderSize;
    info.width = readU16(h + 4);
    info.height = readU16(h + 6);
    info.planes = readU16(h + 8);
    info.bitCount = readU16(h + 10);
    info.entrySize = 3;
    return info;
}

// A header of 40 bytes or more, read by its first 40 (later forms only add fields).
InfoHeader readInfoHeader(const Head& head, uint32_t size) {
    if (size < kInfoHeaderSize) notValid();
    if (head.fileSize - kFileHeaderSize < size) streamReadError();
    const uint8_t* h = head.field(kFileHeaderSize, kInfoHeaderSize);
    InfoHeader info;
    info.size = size;
    info.width = readS32(h + 4);
    info.height = readS32(h + 8);
    info.planes = readU16(h + 12);
    info.bitCount = readU16(h + 14);
    info.compression = readU32(h + 16);
    info.imageSize = readU32(h + 20);
    info.colorsUsed = readU32(h + 32);
    return info;
}

// The picture's size, depth and compression, each checked.
BmpLayout checkedLayout(InfoHeader info, int64_t maxPixels) {
    const uint16_t bitCount = info.bitCount;
    if (info.planes != 1) notValid();
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) notValid();
    if (!validCompression(info.compression, bitCount)) notValid();

    BmpLayout layout;
    layout.bitCount = bitCount;
    layout.compression = BmpCompression(info.compression);
    layout.topDown = info.height < 0;
    if (info.height < 0) info.height = -info.height;  // 64-bit: the most negative 32-bit height is safe
    // Run-length pictures are always stored bottom-up; a top-down one is malformed.
    if (layout.topDown && (layout.compression == BmpCompression::Rle8 || layout.compression == BmpCompression::Rle4)) {
        notValid();
    }
    if (info.width < 0) notValid();
    if (info.width == 0 || info.height == 0) {
        info.width = info.height = 0;  // nothing to decode, whatever the other side says
    } else if (info.height > INT32_MAX || info.width * info.height > maxPixels) {
        notValid();
    }
    layout.width = int32_t(info.width);
    layout.height = int32_t(info.height);
    return layout;
}

void setMasks(BmpLayout& layout, const uint8_t* masks) {
    layout.redMask = readU32(masks);
    layout.greenMask = readU32(masks + 4);
    layout.blueMask = readU32(masks + 8);
}

// The colour masks and the colour table, from `offset` (just after the info header) on;
// returns the offset just after them. At most 12 + 256 * 4 bytes, read in one go.
uint64_t readMasksAndColours(ByteSource& file, const Head& head, const InfoHeader& info, BmpLayout& layout,
                             uint64_t offset) {
    const uint64_t size = head.fileSize;
    const bool masksAfterHeader = layout.compression == BmpCompression::BitFields && info.size == kInfoHeaderSize;
    uint64_t entries = info.colorsUsed;
    if (entries == 0 && info.bitCount <= 8) entries = uint64_t(1) << info.bitCount;
    uint8_t tableScratch[12 + 256 * 4];
    std::span<const uint8_t> table;
    const auto readTable = [&](uint64_t bytes) {
        if (bytes > 0) table = file.read(offset, size_t(bytes), tableScratch);
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
            const uint64_t tableLength = entries <= 256 ? entries * info.entrySize : 0;
            readTable(12 + std::min<uint64_t>(tableLength, size - offset - 12));
            setMasks(layout, tableBytes(0, 12));
            offset += 12;
            tableAt = 12;
        } else if (info.size >= kMasksInHeaderSize) {
            setMasks(layout, head.field(kFileHeaderSize + kInfoHeaderSize, 12));
        } else {
            notValid();  // a header too short for its masks (41 to 51 bytes)
        }
    } else if (info.bitCount == 16) {
        layout.redMask = 0x7C00u, layout.greenMask = 0x03E0u, layout.blueMask = 0x001Fu;
    } else if (info.bitCount == 32) {
        layout.redMask = 0x00FF0000u, layout.greenMask = 0x0000FF00u, layout.blueMask = 0x000000FFu;
    }

    // The colour table: present for every depth when the header counts it, implied for
    // indexed depths otherwise.
    if (entries > 256) notValid();
    if (size - offset < entries * info.entrySize) streamReadError();
    if (!masksAfterHeader) readTable(entries * info.entrySize);
    layout.palette.fill(0xFF000000u);
    if (entries > 0) {
        const uint8_t* t = tableBytes(tableAt, size_t(entries) * info.entrySize);
        for (size_t i = 0; i < entries; ++i) {
            const uint8_t* e = t + i * info.entrySize;
            layout.palette[i] = 0xFF000000u | (uint32_t(e[2]) << 16) | (uint32_t(e[1]) << 8) | e[0];
        }
    }
    return offset + entries * info.entrySize;
}

// Where the pixel data starts and how much of it the file holds: from the file header's
// offset when that points at or past the end of the colour table and inside the file,
// else right after the table.
void placePixelData(const Head& head, const InfoHeader& info, BmpLayout& layout, uint64_t afterColours) {
    uint64_t offset = afterColours;
    const uint32_t dataOffset = readU32(head.field(0, kFileHeaderSize) + 10);
    if (dataOffset >= offset && dataOffset < head.fileSize) offset = dataOffset;
    uint64_t pixelBytes = info.imageSize;
    if (pixelBytes == 0) pixelBytes = uint64_t(layout.rowBytes()) * uint64_t(layout.height);
    layout.pixelOffset = offset;
    layout.pixelBytes = std::min<uint64_t>(pixelBytes, head.fileSize - offset);
}

}  // namespace

BmpLayout readBmpLayout(ByteSource& file, int64_t maxPixels) {
    Head head;
    head.fileSize = file.size();
    if (head.fileSize < kFileHeaderSize) streamReadError();
    head.bytes = file.read(0, size_t(std::min<uint64_t>(head.fileSize, sizeof head.scratch)), head.scratch);
    const uint8_t* const fileHeader = head.field(0, kFileHeaderSize);
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M') notValid();
    if (head.fileSize < kFileHeaderSize + 4) streamReadError();

    const uint32_t headerSize = readU32(head.field(kFileHeaderSize, 4));
    const InfoHeader info = headerSize == kCoreHeaderSize ? readCoreHeader(head) : readInfoHeader(head, headerSize);
    BmpLayout layout = checkedLayout(info, maxPixels);
    const uint64_t afterColours = readMasksAndColours(file, head, info, layout, kFileHeaderSize + uint64_t(headerSize));
    placePixelData(head, info, layout, afterColours);
    return layout;
}

}  // namespace qfip
