#include "common/DrawnPictures.h"

#include "common/Error.h"
#include "common/LittleEndian.h"

namespace qfip {

namespace {

constexpr uint32_t kEnhancedSignature = 0x464D4520u;  // " EMF"
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr size_t kPlaceableHeaderSize = 22;
constexpr size_t kMetaHeaderSize = 18;

}  // namespace

const char* notValidMessage(DrawnKind kind) { return kind == DrawnKind::Icon ? kIconNotValid : kMetafileNotValid; }

void checkIconHeader(std::span<const uint8_t> head) {
    if (head.size() < 6) throw Error(kStreamReadError);
    const uint16_t type = readU16(head, 2);
    if (type != 0 && type != 1) throw Error(kIconNotValid);
}

DrawnKind metafileKind(std::span<const uint8_t> head, uint64_t fileSize) {
    if (fileSize > 100 && head.size() >= 44 && readU32(head, 0) == 1 && readU32(head, 40) == kEnhancedSignature)
        return DrawnKind::EnhancedMetafile;
    // The placeable header: key, handle, box, units per inch, reserved, then the checksum:
    // the exclusive-or of the ten 16-bit words before it.
    if (head.size() < kPlaceableHeaderSize || readU32(head, 0) != kPlaceableKey) throw Error(kMetafileNotValid);
    uint16_t sum = 0;
    for (size_t i = 0; i < 10; ++i) sum ^= readU16(head, 2 * i);
    if (sum != readU16(head, 20)) throw Error(kMetafileNotValid);
    return DrawnKind::PlaceableMetafile;
}

std::optional<EnhancedMetafileHeader> enhancedMetafileHeader(std::span<const uint8_t> bytes) {
    // EMR_HEADER: type, size, rclBounds, rclFrame.
    if (bytes.size() < 40) return std::nullopt;
    EnhancedMetafileHeader header;
    for (size_t i = 0; i < 4; ++i) {
        header.bounds[i] = readS32(bytes, 8 + 4 * i);
        header.frame[i] = readS32(bytes, 24 + 4 * i);
    }
    return header;
}

std::optional<PlaceableMetafileHeader> placeableMetafileHeader(std::span<const uint8_t> bytes) {
    if (bytes.size() < kPlaceableHeaderSize) return std::nullopt;
    PlaceableMetafileHeader header;
    for (size_t i = 0; i < 4; ++i) header.box[i] = readS16(bytes, 6 + 2 * i);
    header.unitsPerInch = readU16(bytes, 14);
    // The metafile header gives its own size in 16-bit words; without one there are no
    // records.
    header.recordsAt = bytes.size() < kPlaceableHeaderSize + kMetaHeaderSize
                           ? bytes.size()
                           : kPlaceableHeaderSize + size_t(readU16(bytes, kPlaceableHeaderSize + 2)) * 2;
    return header;
}

}  // namespace qfip
