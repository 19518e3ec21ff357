#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// The records of a placeable metafile as libwmf's player walks them: from the first
// record on, each a 32-bit size in 16-bit words (at least 3: size and function), a
// 16-bit function and its parameter words; the walk ends at the end record (size 3,
// function 0), at a size under 3 or over the header's largest record, or at a record
// that runs past the file. Every read is bounds-checked: a parameter past its record
// reads as 0.
namespace wmf {

enum Function : uint16_t {
    kSaveDc = 0x001E,
    kCreatePalette = 0x00F7,
    kSetBkMode = 0x0102,
    kSetMapMode = 0x0103,
    kSetRop2 = 0x0104,
    kSetPolyFillMode = 0x0106,
    kRestoreDc = 0x0127,
    kSelectClipRegion = 0x012C,
    kSelectObject = 0x012D,
    kSetTextAlign = 0x012E,
    kDibCreatePatternBrush = 0x0142,
    kDeleteObject = 0x01F0,
    kSetWindowOrg = 0x020B,
    kSetWindowExt = 0x020C,
    kSetViewportOrg = 0x020D,
    kSetViewportExt = 0x020E,
    kOffsetWindowOrg = 0x020F,
    kOffsetViewportOrg = 0x0211,
    kLineTo = 0x0213,
    kMoveTo = 0x0214,
    kOffsetClipRgn = 0x0220,
    kSetMapperFlags = 0x0231,
    kCreatePenIndirect = 0x02FA,
    kCreateFontIndirect = 0x02FB,
    kCreateBrushIndirect = 0x02FC,
    kScaleWindowExt = 0x0410,
    kScaleViewportExt = 0x0412,
    kExcludeClipRect = 0x0415,
    kIntersectClipRect = 0x0416,
    kTextOut = 0x0521,
    kCreateRegion = 0x06FF,
    kExtTextOut = 0x0A32,
};

// Where the records begin after the 22-byte placeable header and an 18-byte metafile header.
inline constexpr size_t kUsualFirstRecord = 40;

struct Record {
    size_t at = 0;           // its first byte in the file
    size_t bytes = 0;        // its whole size
    uint16_t function = 0;
    std::span<const uint8_t> parameters;

    size_t end() const { return at + bytes; }
    size_t words() const { return parameters.size() / 2; }
    uint16_t u16(size_t index) const {
        return index < words() ? uint16_t(parameters[2 * index] | parameters[2 * index + 1] << 8) : 0;
    }
    int16_t s16(size_t index) const { return int16_t(u16(index)); }
};

inline uint32_t readU32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// The largest record's size in words, from the metafile header (0 without one).
inline uint32_t largestRecordWords(std::span<const uint8_t> file, size_t recordsAt) {
    return recordsAt >= 18 && recordsAt <= file.size() ? readU32(file, recordsAt - 18 + 12) : 0;
}
// The object table's size from the metafile header.
inline uint16_t objectSlots(std::span<const uint8_t> file, size_t recordsAt) {
    return recordsAt >= 18 && recordsAt <= file.size() ? uint16_t(file[recordsAt - 8] | file[recordsAt - 7] << 8) : 0;
}

// The record at `at`, or nullopt where the walk ends (the end record included).
inline std::optional<Record> recordAt(std::span<const uint8_t> file, size_t at, uint32_t largestWords) {
    if (at > file.size() || file.size() - at < 6) return std::nullopt;
    const uint32_t words = readU32(file, at);
    const uint16_t function = uint16_t(file[at + 4] | file[at + 5] << 8);
    if (words < 3 || (words == 3 && function == 0) || words - 3 > largestWords) return std::nullopt;
    if (words > (file.size() - at) / 2) return std::nullopt;
    const size_t bytes = size_t(words) * 2;
    return Record{at, bytes, function, file.subspan(at + 6, bytes - 6)};
}

// META_TEXTOUT and META_EXTTEXTOUT: the reference point, the options and the rectangle
// they name (ETO_OPAQUE, ETO_CLIPPED), the text's bytes and, when the record holds one
// for each byte, the advances.
struct TextRecord {
    int16_t x = 0, y = 0;
    uint16_t options = 0;
    std::optional<std::array<int16_t, 4>> rect;  // left, top, right, bottom
    std::string_view bytes;
    std::vector<int16_t> advances;  // empty, or one a byte
};
inline constexpr uint16_t kEtoOpaque = 0x0002, kEtoClipped = 0x0004;
std::optional<TextRecord> textRecord(const Record& record);

// What the player is given in place of a record it would act on wrongly (the record's
// size stays, so the walk is the same):
// - the clipping records (IntersectClipRect, ExcludeClipRect, OffsetClipRgn,
//   SelectClipRegion): a record it ignores, SetMapperFlags; the helper keeps the clip;
// - SetMapMode to MM_ISOTROPIC or MM_ANISOTROPIC: the placeable mapping, which the
//   helper scales by the window's extent (the player takes a 1024-point viewport);
// - SetWindowExt with an extent of 0 (GDI refuses it): ignored;
// - RestoreDC with nothing saved (the player gave up on the whole file): ignored;
// - CreatePenIndirect of width 0 (one pixel whatever the mapping): its style marked with
//   kCosmeticPenMark, an end cap no pen has (the player keeps the end cap bits and makes
//   the width 1 logical unit, which the window's mapping may make wide);
// - a region of more than kPlayerRegionValues column values: no scans (the player
//   builds it in time that grows with the square of its rectangles; the helper
//   clips with the whole region itself).
inline constexpr uint32_t kPlayerRegionValues = 4096;
inline constexpr uint16_t kCosmeticPenMark = 0x0F00;  // within PS_ENDCAP_MASK
struct PlayerPatch {
    std::optional<uint16_t> function;
    std::optional<std::pair<size_t, uint16_t>> parameter;  // index, value
};
// `savedDepth` follows SaveDC and RestoreDC as the player counts them.
PlayerPatch patchForPlayer(const Record& record, uint64_t& savedDepth);

}  // namespace wmf
