#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include <libwmf/gd/gd.h>

#include "render/GdiPatterns.h"
#include "render/PixelRegion.h"
#include "render/PolygonSpans.h"
#include "render/RasterOps.h"

// Drawing straight into the truecolor bitmap of libwmf's gd device, within a clip region
// (none: the whole bitmap). The device's own calls check bounds and clip and make a call
// for every pixel, which made dense or large metafiles take many seconds (200,000
// rectangles, thousands of long polylines); these touch each pixel once. Coordinates are
// pixels, any 64-bit value within +-2^40 (what lies outside is skipped without being
// walked).

// gd.h declares its types hidden; a type holding one is hidden too.
struct __attribute__((visibility("hidden"))) GdCanvas {
    gdImage* image = nullptr;
    const qfip::PixelRegion* clip = nullptr;  // within the bitmap; null: all of it
};

// How drawn pixels take their colour: the pen's or brush's colour through a binary raster
// operation (SetROP2) with what is below; a hatched brush draws its lines so and its gaps
// in the background colour (OPAQUE background mode) or not at all (TRANSPARENT).
struct PixelPaint {
    uint32_t colour = 0;  // 0xRRGGBB
    unsigned rop2 = rop::kCopyPen;
    const uint8_t* hatch = nullptr;  // hatchPattern's rows, aligned to the bitmap's origin
    bool opaqueGaps = false;
    uint32_t background = 0;
};

// A thin styled pen's dashes, in pixels along the line's longer axis: `lengths` alternate
// on and off from the line's first pixel; `position` is where the next pixel falls in the
// pattern (a polyline's segments carry it on). The gaps are drawn in `gapColour` when
// the background mode is OPAQUE.
struct LineStyle {
    std::vector<uint32_t> lengths;
    uint64_t position = 0;
    bool opaqueGaps = false;
    uint32_t gapColour = 0;
};

// Fills every pixel with left <= x <= right and top <= y <= bottom.
void fillPixels(const GdCanvas& canvas, int64_t left, int64_t top, int64_t right, int64_t bottom, const PixelPaint& paint);

// A line one pixel wide from (x0, y0) to (x1, y1): along its longer axis one pixel at each
// step, the other coordinate rounded to the nearest (halves up the line's direction). The
// last pixel is drawn when `lastPixel` (GDI leaves a line's end point to the next line,
// which matters when drawing twice undoes the first, as XOR does). With a style, only
// its dashes (and opaque gaps) are drawn, and its position moves on by the line's steps.
void drawPixelLine(const GdCanvas& canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1, const PixelPaint& paint,
                   LineStyle* style = nullptr, bool lastPixel = true);

// Lines through the points (closed back to the first for a ring) drawn with a square
// nib `width` by `height` pixels, as libwmf's device drew a wide pen: the nib covers
// width pixels from x - width / 2 (and so down), swept along each line; each pixel of
// the lines' union is drawn once. One point alone draws the nib once.
void strokeWithNib(const GdCanvas& canvas, const std::vector<PixelPoint>& points, bool closed, int64_t width, int64_t height,
                   const PixelPaint& paint);

// Gives every pixel with left <= x <= right and top <= y <= bottom the colour
// colour(x, y, pixel) returns (0xRRGGBB), row by row from the top, each row left to right.
template <typename Colour>
void changePixels(const GdCanvas& canvas, int64_t left, int64_t top, int64_t right, int64_t bottom, Colour colour);

// The pixels inside the rings under the fill rule (PolygonSpans.h).
void fillPolygon(const GdCanvas& canvas, const std::vector<std::vector<PixelPoint>>& rings, FillRule rule,
                 const PixelPaint& paint);

// Calls draw(qfip::Rect) with each part of the box of inclusive corners that may be drawn
// on: within the bitmap, and within the clip region when there is one.
template <typename Draw>
void forEachVisibleBox(const GdCanvas& canvas, int64_t left, int64_t top, int64_t right, int64_t bottom, Draw draw) {
    const gdImage& image = *canvas.image;
    const auto to32 = [](int64_t v) { return qfip::clamp32(std::max<int64_t>(v, 0)); };
    const qfip::Rect box{to32(left), to32(top), to32(right < image.sx - 1 ? right + 1 : image.sx),
                         to32(bottom < image.sy - 1 ? bottom + 1 : image.sy)};
    if (box.isEmpty()) return;
    if (canvas.clip) {
        canvas.clip->forEachBox(box, draw);
    } else {
        draw(box);
    }
}

template <typename Colour>
void changePixels(const GdCanvas& canvas, int64_t left, int64_t top, int64_t right, int64_t bottom, Colour colour) {
    if (!canvas.image || !canvas.image->trueColor) return;
    forEachVisibleBox(canvas, left, top, right, bottom, [&](const qfip::Rect& box) {
        for (int64_t y = box.Top; y < box.Bottom; ++y) {
            int* row = canvas.image->tpixels[y];
            for (int64_t x = box.Left; x < box.Right; ++x) row[x] = int(colour(x, y, uint32_t(row[x])) & 0xFFFFFF);
        }
    });
}
