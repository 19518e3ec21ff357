#include "exchange/DrawnSize.h"

#include <algorithm>
#include <cstdlib>

#include "common/LittleEndian.h"

namespace qfip::exchange {

namespace {

// extent * 96 / unitsPerInch, rounded half up; extents are non-negative here.
int64_t toScreenPixels(int64_t extent, int64_t unitsPerInch) {
    return (extent * 96 * 2 + unitsPerInch) / (2 * unitsPerInch);
}

// Sizes here are never negative. An empty size is a picture with nothing to draw.
std::optional<Size> boundedSize(int64_t width, int64_t height) {
    if (width > kMaxMetafileSide || height > kMaxMetafileSide || width * height > kMaxMetafilePixels)
        return std::nullopt;
    return Size{int(width), int(height)};
}

int64_t span(int32_t from, int32_t to) { return std::llabs(int64_t(to) - from); }

}  // namespace

bool withinBounds(DrawnKind kind, uint64_t width, uint64_t height) {
    const bool icon = kind == DrawnKind::Icon;
    const uint64_t maxSide = uint64_t(icon ? kMaxIconSide : kMaxMetafileSide);
    const uint64_t maxPixels = uint64_t(icon ? kMaxIconPixels : kMaxMetafilePixels);
    // Sides beyond maxSide are refused before their product is taken, so it can't overflow.
    return width >= 1 && height >= 1 && width <= maxSide && height <= maxSide && width * height <= maxPixels;
}

std::optional<Size> enhancedMetafileSize(std::span<const uint8_t> bytes) {
    const std::optional<EnhancedMetafileHeader> header = enhancedMetafileHeader(bytes);
    if (!header) return std::nullopt;
    const int32_t* frame = header->frame;
    const int64_t frameWidth = span(frame[0], frame[2]), frameHeight = span(frame[1], frame[3]);
    if (frameWidth > 0 && frameHeight > 0)
        return boundedSize(toScreenPixels(frameWidth, 2540), toScreenPixels(frameHeight, 2540));
    const int32_t* bounds = header->bounds;
    return boundedSize(span(bounds[0], bounds[2]) + 1, span(bounds[1], bounds[3]) + 1);
}

std::optional<Size> placeableMetafileSize(std::span<const uint8_t> bytes) {
    const std::optional<PlaceableMetafileHeader> header = placeableMetafileHeader(bytes);
    if (!header) return std::nullopt;
    if (header->unitsPerInch == 0) return Size{0, 0};
    const int16_t* box = header->box;
    return boundedSize(toScreenPixels(span(box[0], box[2]), header->unitsPerInch),
                       toScreenPixels(span(box[1], box[3]), header->unitsPerInch));
}

std::optional<Size> expectedSize(DrawnKind kind, std::span<const uint8_t> bytes) {
    switch (kind) {
    case DrawnKind::EnhancedMetafile: return enhancedMetafileSize(bytes);
    case DrawnKind::PlaceableMetafile: return placeableMetafileSize(bytes);
    case DrawnKind::Icon: break;
    }
    return std::nullopt;
}

namespace {

// EMF records that carry points: POLYBEZIER to POLYPOLYGON (2 to 8) and POLYDRAW (56),
// with 32-bit points; their 16-bit forms (85 to 92).
uint64_t enhancedPoints(uint32_t type, uint32_t size) {
    if ((type >= 2 && type <= 8) || type == 56) return size / 8;
    if (type >= 85 && type <= 92) return size / 4;
    return 0;
}

// WMF records that carry points: META_POLYGON, META_POLYLINE, META_POLYPOLYGON.
bool placeablePoints(uint16_t function) { return function == 0x0324 || function == 0x0325 || function == 0x0538; }

// WMF records that change the clip region: META_EXCLUDECLIPRECT, META_INTERSECTCLIPRECT,
// META_OFFSETCLIPRGN, META_SELECTCLIPREGION; META_CREATEREGION is one more for each
// thousand of its words.
uint64_t placeableClipping(uint16_t function, uint64_t size) {
    if (function == 0x0415 || function == 0x0416 || function == 0x0220 || function == 0x012C) return 1;
    if (function == 0x06FF) return 1 + size / 2000;
    return 0;
}

}  // namespace

MetafileWork metafileWork(DrawnKind kind, std::span<const uint8_t> bytes) {
    MetafileWork work;
    if (kind == DrawnKind::EnhancedMetafile) {
        // Records: type, size in bytes (at least 8, a multiple of 4); EMR_EOF is type 14.
        for (size_t at = 0; bytes.size() - at >= 8; ++work.records) {
            const uint32_t type = readU32(bytes, at), size = readU32(bytes, at + 4);
            if (size < 8 || size % 4 != 0 || size > bytes.size() - at || type == 14) break;
            work.points += enhancedPoints(type, size);
            at += size;
        }
    } else if (kind == DrawnKind::PlaceableMetafile) {
        // Records: size in words (at least 3), function; META_EOF is function 0.
        const std::optional<PlaceableMetafileHeader> header = placeableMetafileHeader(bytes);
        if (!header) return work;
        uint64_t depth = 0;
        for (size_t at = header->recordsAt; at < bytes.size() && bytes.size() - at >= 6; ++work.records) {
            const uint64_t size = uint64_t(readU32(bytes, at)) * 2;
            const uint16_t function = readU16(bytes, at + 4);
            if (size < 6 || size > bytes.size() - at || function == 0) break;
            if (placeablePoints(function)) work.points += (size - 6) / 4;
            work.clipRecords += placeableClipping(function, size);
            if (function == 0x001E) work.savedDepth = std::max(work.savedDepth, ++depth);  // META_SAVEDC
            if (function == 0x0127 && size >= 8) {  // META_RESTOREDC: back by -n, or to level n
                const int16_t which = int16_t(readU16(bytes, at + 6));
                depth = which < 0 ? depth - std::min<uint64_t>(depth, uint64_t(-int32_t(which))) : std::min<uint64_t>(depth, uint64_t(which));
            }
            at += size_t(size);
        }
    }
    return work;
}

}  // namespace qfip::exchange
