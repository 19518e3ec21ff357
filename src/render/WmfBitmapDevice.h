#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <span>

#include "common/DrawnPictures.h"

// Draws a placeable metafile with libwmf's own bitmap device (the gd device that wmf2gd
// uses), which draws what GDI draws: clip rectangles and regions, polylines stroked and
// not filled, pens of any width as square nibs, dashes, hatched and pattern brushes, the
// background mode, bitmaps, each colour exactly as the file gives it, and no markup a
// file's text could add to. libwmf's player and device get three things put right on the
// way, without touching the file's bytes:
// - the clip before any clipping record is the whole picture, so ExcludeClipRect cuts a
//   hole in it (libwmf's player starts from an empty region and excluded from that,
//   which left nothing to clip): the player reads a clip to the picture's frame first,
//   in front of the file's first record;
// - a clipping record that leaves nothing visible draws nothing (the device took libwmf's
//   empty region for "no clipping" and drew everything);
// - text: each record's bytes are decoded from its font's code page (AnsiText.h) and
//   drawn by WmfTextPainter.h; the device itself draws only the opaque background.
// `bytes` is the file (its placeable header first), `size` the picture's size in pixels
// (exchange::placeableMetafileSize). Throws qfip::Error("Metafile is not valid") for a
// body libwmf can't read. The image's pixels are the device's own (no copy); they live
// as long as the image.
QImage drawWithBitmapDevice(std::span<const uint8_t> bytes, const qfip::PlaceableMetafileHeader& header, QSize size);
