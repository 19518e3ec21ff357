#pragma once

#include <string>

#include <libwmf/api.h>
#include <libwmf/gd/gd.h>
#include <libwmf/ipa.h>

// Draws a placeable metafile's text record into libwmf's bitmap (its gd device's truecolor
// image) as that device would, but from the characters the record's bytes stand for in
// its font's code page (AnsiText.h): the device hands each byte to FreeType as a signed
// char, so every byte of 0x80 or above was lost. The glyphs come from the font face
// libwmf chose for the record (its own Type 1 fonts), at the size, width and angle the
// player gives, each character at its advance from the reference point; their coverage
// is blended over the pixels already drawn, in the text colour, within the clip
// rectangles the device holds.
struct GdCanvas {
    gdImage* image = nullptr;
    wmfD_Rect frame{};  // the device area the image shows (libwmf's points)
    unsigned width = 0;
    unsigned height = 0;
};

void paintWmfText(const GdCanvas& canvas, const wmfDrawText_t& text, const std::u32string& characters, bool symbolCodes);
