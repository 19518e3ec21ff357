#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <span>

// Metafiles are drawn by converting them to SVG with a real metafile library (libemf2svg
// for enhanced metafiles, libwmf's SVG device for placeable ones) and rendering that
// SVG with QSvgRenderer on white, at the picture's own size in screen pixels (96 dpi):
// the size exchange::enhancedMetafileSize or placeableMetafileSize gives, within
// kMaxMetafileSide and kMaxMetafilePixels (src/exchange/RenderExchange.h). Only the
// drawing helper (quendral-render) links this module.

// Bytes of zeros after the end of the copy handed to libemf2svg (the true length is
// passed): a file without an end record makes it read a record header past the end,
// which then reads zeros rather than whatever follows on the heap.
inline constexpr size_t kEmf2SvgPadding = 4096;

// Both throw qfip::Error("Metafile is not valid") for a body the library can't read.
QImage renderEnhancedMetafile(std::span<const uint8_t> bytes);
QImage renderPlaceableMetafile(std::span<const uint8_t> bytes);

// Renders an SVG document on white into an image of the given size; a null image when
// the document can't be parsed.
QImage renderSvg(const QByteArray& svg, QSize size);
