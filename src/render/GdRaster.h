#pragma once

#include <cstdint>

#include <libwmf/gd/gd.h>

// Drawing straight into the truecolor bitmap of libwmf's gd device, within the clip
// rectangles the device holds (none: the whole bitmap). The device's own calls check
// bounds and clip and make a call for every pixel, which made dense or large metafiles
// take many seconds (200,000 rectangles, thousands of long polylines); these touch each
// pixel once. Coordinates are pixels, any 64-bit value (what lies outside is skipped
// without being walked); `colour` is a gd truecolor word, 0x00RRGGBB.

// Fills every pixel with left <= x <= right and top <= y <= bottom.
void fillPixels(gdImage& image, int64_t left, int64_t top, int64_t right, int64_t bottom, int colour);

// A line one pixel wide from (x0, y0) to (x1, y1), both ends drawn: along its longer
// axis one pixel at each step, the other coordinate rounded to the nearest (halves up
// the line's direction).
void drawPixelLine(gdImage& image, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int colour);
