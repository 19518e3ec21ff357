#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "render/AnsiText.h"
#include "render/GdRaster.h"

// Draws a placeable metafile's text record into libwmf's bitmap as GDI lays it out, from
// the characters the record's bytes stand for in its font's code page (AnsiText.h; the
// device handed each byte to FreeType as a signed char, so every byte of 0x80 or above
// was lost). The glyphs come from the font face libwmf chose for the record (its own
// Type 1 fonts), at the size, width and escapement the font gives. Alignment is GDI's:
// the reference point is the text's left edge, centre or right edge (TA_LEFT, TA_CENTER,
// TA_RIGHT: the text's advance from the record's advances or the font's) and its top,
// baseline or bottom (TA_TOP, TA_BASELINE, TA_BOTTOM: the face's ascent and descent at
// that size). In OPAQUE background mode the text's cell (its advance by ascent plus
// descent) is filled with the background colour first, as is ETO_OPAQUE's rectangle.
// The glyphs' coverage is blended over what is below in the text colour, within the
// clip region (and ETO_CLIPPED's rectangle).
struct WmfTextStyle {
    FT_Face face = nullptr;
    bool symbolCodes = false;  // SYMBOL_CHARSET: the characters are the font's own codes
    double height = 0;         // the em, in pixels
    double widthRatio = 1;     // the em's width over its height
    double escapement = 0;     // radians, counter-clockwise
    uint32_t colour = 0;       // 0xRRGGBB
    uint16_t align = 0;        // TA_ flags
    bool opaque = false;
    uint32_t background = 0;
};

struct WmfTextRun {
    std::vector<AnsiCharacter> characters;
    std::vector<double> byteAdvances;  // pixels, one for each byte of the text; empty: the font's
    double x = 0, y = 0;               // the reference point, in pixels
    std::optional<qfip::Rect> opaqueBox;
    std::optional<qfip::Rect> clipBox;
};

// Returns the text's advance along its baseline, in pixels (0 when nothing could be drawn).
double paintWmfText(const GdCanvas& canvas, const WmfTextStyle& style, const WmfTextRun& run);
