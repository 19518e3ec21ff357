#pragma once

#include <QImage>
#include <cstdint>
#include <span>

// Metafiles are drawn on white at the picture's own size in screen pixels (96 dpi): the
// size exchange::enhancedMetafileSize or placeableMetafileSize gives, within
// kMaxMetafileSide and kMaxMetafilePixels (src/exchange/DrawnSize.h). Enhanced metafiles
// go through libemf2svg's SVG, drawn by librsvg (SvgRendering.h); placeable ones are
// drawn by libwmf's own bitmap device (WmfBitmapDevice.h). Only the drawing helper
// (quendral-render) links this module.

// Both take the helper's own writable mapping of the file (libemf2svg takes a non-const
// buffer), followed by kDrawnFilePadding zero bytes: libemf2svg, given the true length,
// reads a record header past the end of a file without an end record and meets zeros.
// Both throw qfip::Error("Metafile is not valid") for a body the library can't read.
QImage renderEnhancedMetafile(std::span<uint8_t> bytes);
QImage renderPlaceableMetafile(std::span<uint8_t> bytes);
