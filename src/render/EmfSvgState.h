#pragma once

// What SVG has to be told about an enhanced metafile's drawing that libemf2svg does not
// write: the polygon fill mode, a hatched brush, the raster operations and whether
// enlarged bitmaps are smoothed. The record rewriting (EmfNormaliser.h) writes it into the
// record stream as a text record whose whole text is a marker: the drawing's nonce (random
// for each drawing, so no file's own text can pass for one), then the state; libemf2svg
// writes it as a text element in its place among the shapes, and the SVG pass
// (EmfSvgMending.h) takes it out and applies it to the shapes that follow. Standard
// library only.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "render/GdiPatterns.h"

namespace qfip::emf {

struct SvgPaint {
    bool hatched = false;
    uint32_t hatchStyle = 0;  // HS_*, below kHatchStyles (GdiPatterns.h)
    uint32_t colour = 0;      // 0xRRGGBB of the lines
    uint32_t background = 0;  // 0xRRGGBB between them
    bool opaque = false;      // the background mode: OPAQUE fills between the lines
    friend bool operator==(const SvgPaint&, const SvgPaint&) = default;
};

// How a shape's colour meets what is below: GDI's binary raster operations (ROP2) and
// the bitmap ones, as far as SVG's blend modes say them exactly where each colour
// channel is 0 or 255 (XOR as difference, AND as multiply, OR as screen).
enum class Blend : uint8_t {
    Copy,
    Difference,           // R2_XORPEN, SRCINVERT, PATINVERT
    DifferenceInverted,   // R2_NOTXORPEN: the colour inverted, then XOR
    DifferenceWhite,      // R2_NOT, DSTINVERT: XOR with white
    Multiply,             // R2_MASKPEN, SRCAND
    Screen,               // R2_MERGEPEN, SRCPAINT
    Black,                // R2_BLACK
    White,                // R2_WHITE
    Inverted,             // R2_NOTCOPYPEN
    Nothing,              // R2_NOP
};
inline constexpr uint8_t kBlends = 10;

Blend blendOfRop2(uint32_t rop2);
Blend blendOfRop3(uint32_t rop3);

struct SvgDrawingState {
    bool winding = false;  // ALTERNATE (evenodd) or WINDING (nonzero)
    SvgPaint paint;
    Blend shapeBlend = Blend::Copy;
    Blend bitmapBlend = Blend::Copy;
    bool smoothBitmaps = false;  // HALFTONE stretching; every other mode repeats pixels
    friend bool operator==(const SvgDrawingState&, const SvgDrawingState&) = default;
};

std::string markerText(std::string_view nonce, const SvgDrawingState& state);
// The state a text element's whole text gives, when it is a marker of this nonce.
std::optional<SvgDrawingState> stateOfMarker(std::string_view nonce, std::string_view text);

}  // namespace qfip::emf
