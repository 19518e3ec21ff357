#pragma once

// Icons and metafiles as this program takes them, in one place for every module that
// meets their bytes (the loader, the exchange with the drawing helper, the helper): the
// header checks the loader applies, the header fields their drawing is sized by, the
// limits of what the drawing helper can draw, and the kinds' failure messages. Every
// byte is treated as hostile: each reader checks the length it reads.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace qfip {

enum class DrawnKind : uint32_t { Icon = 1, EnhancedMetafile = 2, PlaceableMetafile = 3 };

inline constexpr const char* kIconNotValid = "Icon image is not valid";
inline constexpr const char* kMetafileNotValid = "Metafile is not valid";

// "Icon image is not valid" or "Metafile is not valid": every failure to load or draw a
// picture of that kind past its header check, whatever happened to its helper.
const char* notValidMessage(DrawnKind kind);

// The drawing helper's memory (its address-space limit), and the largest icon or metafile
// it is given: a sixteenth of it, which leaves room for the library's own copy, the SVG
// it writes (up to about 17 times the file for a dense drawing), the renderer's document
// and the drawn picture. A larger file is not read: it could not be drawn.
inline constexpr uint64_t kHelperMemoryBytes = uint64_t(1) << 30;
inline constexpr uint64_t kMaxDrawnFileBytes = kHelperMemoryBytes / 16;
// Zero bytes after a drawn file's own: libemf2svg reads a record header past the end of a
// file that has no end record, and reads zeros there instead of whatever follows.
inline constexpr size_t kDrawnFilePadding = 4096;

// How many bytes of a file's start the checks below need at most.
inline constexpr size_t kDrawnHeaderBytes = 44;

// The icon file's 6-byte header: a resource type of 0 or 1. Throws "Stream read error"
// for a shorter file and "Icon image is not valid" for another type.
void checkIconHeader(std::span<const uint8_t> head);

// Which metafile a .emf or .wmf file holds, by its content: a file of more than 100 bytes
// whose first 32-bit value is 1 and whose value at byte 40 is " EMF" is an enhanced
// metafile; any other must begin with the 22-byte placeable header (its key and matching
// checksum). `head` is the file's start (at least kDrawnHeaderBytes where the file has
// them), `fileSize` its whole size. Throws "Metafile is not valid" for neither.
DrawnKind metafileKind(std::span<const uint8_t> head, uint64_t fileSize);

// The header fields an enhanced metafile is sized by: its bounds (inclusive device
// pixels) and frame (hundredths of a millimetre), left, top, right, bottom each.
struct EnhancedMetafileHeader {
    int32_t bounds[4] = {};
    int32_t frame[4] = {};
};
std::optional<EnhancedMetafileHeader> enhancedMetafileHeader(std::span<const uint8_t> bytes);

// The placeable header's box (left, top, right, bottom) in units per inch, and where the
// metafile's records start (after its own header).
struct PlaceableMetafileHeader {
    int16_t box[4] = {};
    uint16_t unitsPerInch = 0;
    size_t recordsAt = 0;
};
// Nullopt for a file too short to hold the placeable header.
std::optional<PlaceableMetafileHeader> placeableMetafileHeader(std::span<const uint8_t> bytes);

}  // namespace qfip
