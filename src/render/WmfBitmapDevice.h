#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <span>

#include "common/DrawnPictures.h"

// Draws a placeable metafile with libwmf's player and its own bitmap device (the gd
// device that wmf2gd uses), each colour exactly as the file gives it and no markup a
// file's text could add to. Around them, without touching the file's bytes:
// - the player is given the file with the records it would act on wrongly changed
//   (WmfPlayerInput, wmf::patchForPlayer), and the records are followed beside it
//   (WmfPlaybackState): the clip region and the window's mapping are the helper's;
// - what GDI's result is known for is drawn straight into the device's bitmap (GdRaster:
//   fills by the fill mode, hatches, raster operations, thin dashed and wide solid pens,
//   bitmaps by repeated pixels; WmfTextPainter: text laid out from its record, decoded
//   from its font's code page); the device draws the rest (arcs, ellipses, pattern
//   brushes, dashed wide pens) within the same clip and mapping.
// `bytes` is the file (its placeable header first), `size` the picture's size in pixels
// (exchange::placeableMetafileSize). Throws qfip::Error("Metafile is not valid") for a
// body libwmf can't read or a clip region past its bounds. The image's pixels are the
// device's own (no copy); they live as long as the image.
QImage drawWithBitmapDevice(std::span<const uint8_t> bytes, const qfip::PlaceableMetafileHeader& header, QSize size);
