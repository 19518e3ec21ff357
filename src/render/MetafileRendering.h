#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <span>

// Metafiles are drawn by converting them to SVG with a real metafile library (libemf2svg
// for enhanced metafiles, libwmf's SVG device for placeable ones) and rendering that
// SVG with QSvgRenderer on white, at the picture's own size in screen pixels (96 dpi):
// the size exchange::enhancedMetafileSize or placeableMetafileSize gives, within
// kMaxMetafileSide and kMaxMetafilePixels (src/exchange/DrawnSize.h). Only the drawing
// helper (quendral-render) links this module.

// Both take the helper's own writable mapping of the file (the libraries take non-const
// buffers), followed by kDrawnFilePadding zero bytes: libemf2svg, given the true length,
// reads a record header past the end of a file without an end record and meets zeros.
// Both throw qfip::Error("Metafile is not valid") for a body the library can't read.
QImage renderEnhancedMetafile(std::span<uint8_t> bytes);
QImage renderPlaceableMetafile(std::span<uint8_t> bytes);

// Renders an SVG document on white into an image of the given size; a null image when
// the document can't be parsed.
QImage renderSvg(const QByteArray& svg, QSize size);
