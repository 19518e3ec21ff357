#pragma once

// GDI's fixed patterns, which both metafile chains draw: the 8 x 8 hatches of a hatched
// brush (into libwmf's bitmap, GdRaster.h; as an SVG pattern, EmfSvgMending.h) and the
// dashes of a one-pixel pen. Standard library only.
#include <cstdint>
#include <vector>

// GDI's hatch styles, HS_HORIZONTAL 0 to HS_DIAGCROSS 5.
inline constexpr uint32_t kHatchStyles = 6;

// The 8 x 8 pattern of a hatch style as GDI draws it (horizontal lines on row 3, vertical
// ones on column 4): 8 rows, top first, bit 7 the leftmost pixel; null for any other value.
inline const uint8_t* hatchPattern(unsigned style) {
    static constexpr uint8_t kHatches[kHatchStyles][8] = {
        {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00},  // HS_HORIZONTAL
        {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // HS_VERTICAL
        {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // HS_FDIAGONAL
        {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // HS_BDIAGONAL
        {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08},  // HS_CROSS
        {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // HS_DIAGCROSS
    };
    return style < kHatchStyles ? kHatches[style] : nullptr;
}

// The dashes of a cosmetic pen style (PS_DASH 1 to PS_DASHDOTDOT 4, PS_ALTERNATE 8) as GDI
// draws them one pixel wide, in pixels, on and off from the line's first: PS_DASH 18 on
// and 6 off, PS_DOT 3 and 3, PS_DASHDOT 9, 6, 3, 6, PS_DASHDOTDOT 9, 3, 3, 3, 3, 3,
// PS_ALTERNATE every other pixel; empty for a solid line.
inline std::vector<uint32_t> cosmeticDashes(unsigned penStyle) {
    switch (penStyle) {
    case 1: return {18, 6};             // PS_DASH
    case 2: return {3, 3};              // PS_DOT
    case 3: return {9, 6, 3, 6};        // PS_DASHDOT
    case 4: return {9, 3, 3, 3, 3, 3};  // PS_DASHDOTDOT
    case 8: return {1, 1};              // PS_ALTERNATE
    default: return {};
    }
}
