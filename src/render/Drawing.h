#pragma once

#include <QImage>
#include <cstdint>
#include <span>

#include "exchange/DrawnSize.h"

// What the drawing helper does with one request: icons through Qt's ico reader,
// enhanced metafiles through libemf2svg and librsvg and placeable metafiles through
// libwmf's bitmap device (see MetafileRendering.h). `bytes` is the helper's own writable mapping of the
// file, followed by kDrawnFilePadding zero bytes. Throws qfip::Error with the kind's
// "... is not valid" for a body the library can't read. Needs a QCoreApplication (Qt's
// image plugins).
QImage drawPicture(qfip::DrawnKind kind, std::span<uint8_t> bytes);

// Converts the drawn image, in place, to the reply's pixel format (ARGB32 premultiplied:
// an icon's 32-bit image already is, and a metafile's opaque RGB32 words stay as they are).
// Null when the picture is beyond the kind's bounds.
QImage replyImage(qfip::DrawnKind kind, QImage drawn);
