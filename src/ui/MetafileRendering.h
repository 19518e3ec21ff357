#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <optional>
#include <vector>

// Metafiles are drawn by converting them to SVG with a real metafile library (libemf2svg
// for enhanced metafiles, libwmf's SVG device for placeable ones) and rendering that
// SVG with QSvgRenderer on white, at the picture's own size in screen pixels (96 dpi).

// Largest side and area of a drawn metafile: a header may claim any size, and the
// image is allocated before anything is drawn.
inline constexpr int kMaxMetafileSide = 16384;
inline constexpr int64_t kMaxMetafilePixels = int64_t(8192) * 8192;

// The size of an enhanced metafile: its header frame (hundredths of a millimetre) at
// 96 dpi, or its bounds (inclusive device pixels) when the frame is empty. Nullopt for a
// header too short, an empty size, or one beyond the limits above.
std::optional<QSize> enhancedMetafileSize(const std::vector<uint8_t>& bytes);

// The size of a placeable metafile: the header's bounding box in units per inch, at 96
// dpi. Nullopt as above, or when the units per inch are zero.
std::optional<QSize> placeableMetafileSize(const std::vector<uint8_t>& bytes);

// Both throw qfip::Error("Metafile is not valid") for a body the library can't read.
QImage renderEnhancedMetafile(const std::vector<uint8_t>& bytes);
QImage renderPlaceableMetafile(const std::vector<uint8_t>& bytes);

// Renders an SVG document on white into an image of the given size; a null image when
// the document can't be parsed.
QImage renderSvg(const QByteArray& svg, QSize size);
