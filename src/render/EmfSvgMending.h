#pragma once

#include <QByteArray>
#include <QSize>
#include <string>

// The SVG pass over what libemf2svg wrote for a rewritten enhanced metafile
// (EmfNormaliser.h), before the markup check and librsvg: it says in SVG what GDI does
// and libemf2svg does not write.
// - The root: the picture's size, the frame as the view box (libemf2svg's units are the
//   reference device's pixels), GDI's edges without anti-aliasing (crispEdges) and its
//   default fill mode, ALTERNATE (evenodd).
// - The markers (EmfSvgState.h) are taken out, and the state they carry applied to the
//   shapes after them: WINDING as nonzero; a hatched brush as a pattern of GDI's 8 x 8
//   hatch, one-pixel lines in its colour with the background colour between them in
//   OPAQUE mode; raster operations as blend modes (XOR as difference, exact where each
//   colour channel is 0 or 255; AND as multiply, OR as screen, R2_NOT, R2_BLACK,
//   R2_WHITE, R2_NOTCOPYPEN, R2_NOP as what they draw); bitmaps stretched as GDI stretches
//   them unless in HALFTONE mode: their pixels repeated (or dropped), not smoothed.
// - Pens: a shape drawn with a null pen loses the outline libemf2svg gave it in its fill
//   colour (a line with a null pen draws nothing); libemf2svg's dashes (five widths on,
//   five off) become GDI's: 18 on 6 off, dots of 3, dash-dots 9 6 3 6 and dash-dot-dots
//   9 3 3 3 3 3 pixels for a one-pixel pen, 3 1, 1 1, 3 1 1 1 and 3 1 1 1 1 1 widths for a
//   wider one; no stroke is thinner than one pixel of the picture.
// Anything else is written as it was read. Empty for a document that is not well-formed.
struct EmfSvgFrame {
    QSize picture;  // pixels
    // The frame in the SVG's units (the view box), and its left top in device pixels.
    double x = 0, y = 0, width = 1, height = 1;
    double deviceLeft = 0, deviceTop = 0;
    std::string nonce;
};

QByteArray mendEmfSvg(const QByteArray& svg, const EmfSvgFrame& frame);
