#pragma once

// What the drawing of an icon or metafile is expected to give, read from its header before
// anything is drawn: the size a metafile is drawn at, the bounds no drawn picture may
// pass (a header may claim any size, and the image is allocated before anything is
// drawn), and the work its records announce.
#include <cstdint>
#include <optional>
#include <span>

#include "common/DrawnPictures.h"

namespace qfip::exchange {

using qfip::DrawnKind;

// Largest side and area of a drawn metafile.
inline constexpr int kMaxMetafileSide = 16384;
inline constexpr int64_t kMaxMetafilePixels = int64_t(8192) * 8192;
// Largest icon: Qt's ico reader draws bitmap entries of at most 256 x 256, but an entry
// may hold a PNG of any size up to Qt's image allocation limit (256 MiB, that is
// 8192 x 8192 pixels of 4 bytes), so an icon has the metafile's bounds.
inline constexpr int kMaxIconSide = kMaxMetafileSide;
inline constexpr int64_t kMaxIconPixels = kMaxMetafilePixels;

// Whether a drawn picture of this size is within its kind's bounds (both sides at least 1).
bool withinBounds(DrawnKind kind, uint64_t width, uint64_t height);

struct Size {
    int width = 0;
    int height = 0;
    bool isEmpty() const { return width <= 0 || height <= 0; }
    friend bool operator==(const Size&, const Size&) = default;
};

// The size of an enhanced metafile: its header frame (hundredths of a millimetre) at
// 96 dpi, or its bounds (inclusive device pixels) when the frame is empty. Nullopt for a
// header too short or a size beyond the limits above.
std::optional<Size> enhancedMetafileSize(std::span<const uint8_t> bytes);

// The size of a placeable metafile: the header's bounding box in units per inch, at 96
// dpi. Nullopt as above. An empty box, or zero units per inch, is an empty picture: a
// size with no pixels, which is shown as nothing and never drawn.
std::optional<Size> placeableMetafileSize(std::span<const uint8_t> bytes);

// The size a metafile must be drawn at (nullopt for icons, whose size Qt's reader picks,
// and for a metafile with no valid size).
std::optional<Size> expectedSize(DrawnKind kind, std::span<const uint8_t> bytes);

// The work a metafile's drawing announces, found by walking its records by their sizes
// from the first one to the end record, the end of the bytes or the first size that
// can't be: how many records there are, how many points its lines and polygons hold, and
// (a placeable metafile) how deep its saved device contexts nest at most and how much
// clipping it asks for (each clipping record, and a region's rectangles by the
// thousand: the helper keeps the clip region itself). All 0 for icons.
struct MetafileWork {
    uint64_t records = 0;
    uint64_t points = 0;
    uint64_t savedDepth = 0;
    uint64_t clipRecords = 0;
};
MetafileWork metafileWork(DrawnKind kind, std::span<const uint8_t> bytes);

}  // namespace qfip::exchange
