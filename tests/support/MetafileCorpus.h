#pragma once

// The metafile drawing corpus: one small enhanced and one small placeable metafile per
// family of records that users' files are made of, each with the pixels a faithful GDI
// playback gives at a few places. The answers come from what the records mean (GDI's
// rules, stated beside each file), not from what any renderer draws; every picture is
// drawn on white. The tests draw them through the real helper
// (tests/exchange/test_metafile_corpus.cpp); `quendral_pictures corpus` writes them out
// for tools/compare-metafiles.sh, which draws them with independent renderers as well.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <vector>

#include "support/MetafileWriter.h"

namespace qfip::testing {

// How many pixels of an area (right and bottom exclusive) lie within `tolerance` of a
// colour on each channel, and how many must.
struct PixelCheck {
    std::string what;
    RecordRect area;
    uint32_t rgb;
    int tolerance;
    int atLeast;
    int atMost;
};

inline PixelCheck pixelIs(std::string what, int32_t x, int32_t y, uint32_t rgb) {
    return {std::move(what), {x, y, x + 1, y + 1}, rgb, 0, 1, 1};
}
// Every pixel of the area.
inline PixelCheck allOf(std::string what, const RecordRect& area, uint32_t rgb, int tolerance = 0) {
    const int pixels = (area[2] - area[0]) * (area[3] - area[1]);
    return {std::move(what), area, rgb, tolerance, pixels, pixels};
}
inline PixelCheck someOf(std::string what, const RecordRect& area, uint32_t rgb, int tolerance, int atLeast = 1) {
    return {std::move(what), area, rgb, tolerance, atLeast, INT_MAX};
}
inline PixelCheck noneOf(std::string what, const RecordRect& area, uint32_t rgb, int tolerance) {
    return {std::move(what), area, rgb, tolerance, 0, 0};
}

// Pixels are 0xAARRGGBB words, rows top first; the area is clipped to the picture.
inline int matchingPixels(const PixelCheck& check, const uint32_t* pixels, int width, int height) {
    int count = 0;
    for (int y = std::max(0, check.area[1]); y < std::min(height, check.area[3]); ++y) {
        for (int x = std::max(0, check.area[0]); x < std::min(width, check.area[2]); ++x) {
            const uint32_t p = pixels[size_t(y) * size_t(width) + size_t(x)];
            bool near = true;
            for (int shift : {16, 8, 0})
                near = near && std::abs(int(p >> shift & 0xFF) - int(check.rgb >> shift & 0xFF)) <= check.tolerance;
            count += near;
        }
    }
    return count;
}

inline bool holds(const PixelCheck& check, int matching) { return matching >= check.atLeast && matching <= check.atMost; }

struct CorpusMetafile {
    std::string name;  // also the file's name, with .emf or .wmf
    bool enhanced;
    int32_t width, height;  // in pixels, at 96 dpi
    std::vector<uint8_t> bytes;
    std::vector<PixelCheck> checks;
};

namespace corpus {

inline constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0xFF0000, kGreen = 0x00FF00,
                          kBlue = 0x0000FF, kYellow = 0xFFFF00, kCyan = 0x00FFFF, kMagenta = 0xFF00FF;
// Anti-aliased ink: every channel at most this far from the ink's colour.
inline constexpr int kInk = 0x7F;
inline constexpr int kThinInk = 0x9F;  // a one-pixel line may be spread over two rows
// Pixels covered by a wide pen, one next to its edge among them: a renderer's
// anti-aliasing may leave a trace of the other side there.
inline constexpr int kEdge = 0x10;

// The writers of a picture of width x height pixels: an enhanced metafile whose logical
// units are the reference device's pixels (96 dpi), and a placeable one at 96 units per
// inch whose window covers the picture.
inline EmfWriter emf(int32_t width, int32_t height) {
    return EmfWriter({0, 0, width - 1, height - 1}, {0, 0, width * 2540 / 96, height * 2540 / 96});
}
inline WmfWriter wmf(int16_t width, int16_t height) {
    WmfWriter w({0, 0, width, height}, 96);
    w.setWindowOrg(0, 0);
    w.setWindowExt(width, height);
    return w;
}

inline std::vector<uint16_t> utf16(const std::u16string& text) { return {text.begin(), text.end()}; }

// A rectangle filled with a new solid brush (whatever pen is selected), and a line from
// (10, y) to (90, y) drawn with a pen.
template <typename Writer>
void fill(Writer& w, uint32_t rgb, const RecordRect& r) {
    w.select(w.brush(gdi::BS_SOLID, colorRef(rgb)));
    w.rectangle(r);
}
template <typename Writer, typename Handle>
void across(Writer& w, Handle pen, int y) {
    w.select(pen);
    w.moveTo(10, y);
    w.lineTo(90, y);
}

// Solid, hatched and null brushes. A hatched brush draws one-pixel lines in its colour
// and, in OPAQUE background mode, the background colour between them; in TRANSPARENT
// mode what is below shows between them. A null brush fills nothing: only the pen draws.
template <typename Writer>
std::vector<PixelCheck> brushes(Writer& w) {
    using namespace gdi;
    w.select(w.pen(PS_NULL, 0, 0));
    fill(w, kBlue, {10, 10, 45, 45});
    w.setBkColour(colorRef(kYellow));
    w.setBkMode(OPAQUE);
    w.select(w.brush(BS_HATCHED, colorRef(kBlue), HS_CROSS));
    w.rectangle({55, 10, 90, 45});
    w.setBkMode(TRANSPARENT);
    w.rectangle({10, 55, 45, 90});
    fill(w, kGreen, {55, 55, 90, 90});
    w.select(w.brush(BS_NULL, 0));
    w.select(w.pen(PS_SOLID, 5, colorRef(kBlack)));
    w.rectangle({60, 60, 85, 85});
    return {
        pixelIs("solid brush", 27, 27, kBlue),
        someOf("hatch lines, opaque", {58, 13, 87, 42}, kBlue, 0x30, 100),
        someOf("background between the hatch lines, opaque", {58, 13, 87, 42}, kYellow, 0x30, 400),
        someOf("hatch lines, transparent", {13, 58, 42, 87}, kBlue, 0x30, 100),
        someOf("white between the hatch lines, transparent", {13, 58, 42, 87}, kWhite, 0x30, 400),
        noneOf("no background colour, transparent", {13, 58, 42, 87}, kYellow, 0x30),
        pixelIs("null brush leaves what is below", 72, 72, kGreen),
        allOf("null brush: the pen still draws, 5 wide", {58, 70, 62, 75}, kBlack, kEdge),
    };
}

// Cosmetic and wide pens from (10, y) to (90, y). A width-1 PS_DASH pen draws dashes of
// 18 pixels and gaps of 6 from the line's start (16 and 8 on older systems: the places
// below hold for both); a wide solid pen covers width rows centred on the line; a null
// pen draws nothing.
template <typename Writer>
std::vector<PixelCheck> pens(Writer& w) {
    using namespace gdi;
    across(w, w.pen(PS_SOLID, 1, colorRef(kBlack)), 10);
    across(w, w.pen(PS_SOLID, 7, colorRef(kBlack)), 25);
    across(w, w.pen(PS_DASH, 1, colorRef(kBlack)), 45);
    across(w, w.pen(PS_NULL, 7, colorRef(kBlack)), 65);
    across(w, w.pen(PS_SOLID, 3, colorRef(kRed)), 85);
    return {
        someOf("width 1 draws", {48, 9, 53, 12}, kBlack, kThinInk, 5),
        noneOf("width 1 is thin", {10, 13, 90, 18}, kBlack, kThinInk),
        allOf("width 7 covers its rows", {45, 23, 56, 28}, kBlack, kEdge),
        noneOf("width 7 is no wider", {10, 30, 90, 35}, kBlack, kThinInk),
        someOf("dash, first", {17, 44, 20, 47}, kBlack, kThinInk, 3),
        noneOf("gap, first", {29, 42, 33, 49}, kBlack, kThinInk),
        noneOf("gap, second", {53, 42, 57, 49}, kBlack, kThinInk),
        allOf("null pen draws nothing", {5, 55, 95, 75}, kWhite),
        allOf("pen colour, 3 wide", {40, 84, 61, 86}, kRed, kEdge),
    };
}

// Polyline against polygon, and both fill modes. A polyline is never filled, whatever
// brush is selected; a polygon is closed and filled with the brush. A pentagram's
// middle is enclosed twice: ALTERNATE leaves it empty, WINDING fills it.
template <typename Writer>
std::vector<PixelCheck> polygons(Writer& w) {
    using namespace gdi;
    w.select(w.pen(PS_SOLID, 3, colorRef(kBlack)));
    w.select(w.brush(BS_SOLID, colorRef(kGreen)));
    w.polyline({{10, 10}, {10, 40}, {40, 40}, {40, 10}});
    w.polygon({{55, 10}, {55, 40}, {85, 40}, {85, 10}});
    w.select(w.pen(PS_NULL, 0, 0));
    w.select(w.brush(BS_SOLID, colorRef(kBlue)));
    const auto star = [](int dx) {
        return std::vector<RecordPoint>{{27 + dx, 50}, {40 + dx, 90}, {6 + dx, 65}, {48 + dx, 65}, {14 + dx, 90}};
    };
    w.setPolyFillMode(ALTERNATE);
    w.polygon(star(0));
    w.setPolyFillMode(WINDING);
    w.polygon(star(50));
    return {
        pixelIs("polyline: not filled", 25, 25, kWhite),
        allOf("polyline: its side, 3 wide", {9, 20, 11, 31}, kBlack, kEdge),
        pixelIs("polyline: left open", 25, 10, kWhite),
        pixelIs("polygon: filled", 70, 25, kGreen),
        allOf("polygon: closed, 3 wide", {65, 9, 76, 11}, kBlack, kEdge),
        pixelIs("alternate: middle empty", 27, 72, kWhite),
        pixelIs("alternate: point filled", 27, 61, kBlue),
        pixelIs("winding: middle filled", 77, 72, kBlue),
    };
}

// Clip rectangles, intersected and excluded, each between SaveDC and RestoreDC: drawing
// after RestoreDC is no longer clipped.
template <typename Writer>
std::vector<PixelCheck> clipRectangles(Writer& w) {
    w.select(w.pen(gdi::PS_NULL, 0, 0));
    w.saveDC();
    w.intersectClipRect({0, 0, 50, 50});
    fill(w, kRed, {0, 0, 101, 101});
    w.restoreDC(-1);
    w.saveDC();
    w.excludeClipRect({60, 60, 90, 90});
    fill(w, kBlue, {50, 50, 101, 101});
    w.restoreDC(-1);
    fill(w, kGreen, {60, 10, 90, 40});
    fill(w, kYellow, {70, 70, 80, 80});
    return {
        pixelIs("inside the intersected clip", 25, 25, kRed),
        pixelIs("outside it, below", 25, 75, kWhite),
        pixelIs("around the excluded rectangle", 55, 75, kBlue),
        pixelIs("inside the excluded rectangle", 65, 65, kWhite),
        pixelIs("after RestoreDC: no intersected clip", 75, 25, kGreen),
        pixelIs("after RestoreDC: no excluded rectangle", 75, 75, kYellow),
    };
}

// Clip regions, selected as a whole: two strips, then (after RestoreDC) none; an enhanced
// metafile also resets its clip with an empty RGN_COPY and clips to a path.
inline std::vector<PixelCheck> clipRegionChecks(bool withPath) {
    std::vector<PixelCheck> checks = {
        pixelIs("inside the region, left strip", 15, 50, kRed),
        pixelIs("inside the region, right strip", 85, 50, kRed),
        pixelIs("between the strips", 50, 50, withPath ? kBlue : kWhite),
        pixelIs("after RestoreDC: no region", 50, 15, kGreen),
    };
    if (withPath) {
        checks.push_back(pixelIs("between the strips, where nothing is drawn after", 50, 65, kWhite));
        checks.push_back(pixelIs("after an empty RGN_COPY: no region", 50, 77, kYellow));
    }
    return checks;
}

inline CorpusMetafile emfClipRegions() {
    using namespace gdi;
    EmfWriter w = emf(100, 100);
    w.select(NULL_PEN);
    w.saveDC();
    w.selectClipRegion(RGN_COPY, {{0, 0, 30, 100}, {70, 0, 100, 100}});
    fill(w, kRed, {0, 0, 101, 101});
    w.restoreDC(-1);
    fill(w, kGreen, {35, 5, 66, 36});
    w.selectClipRegion(RGN_COPY, {{0, 80, 100, 100}});
    w.selectClipRegion(RGN_COPY, {});
    fill(w, kYellow, {35, 70, 66, 96});
    w.beginPath();
    w.moveTo(40, 40);
    w.lineTo(60, 40);
    w.lineTo(60, 60);
    w.lineTo(40, 60);
    w.closeFigure();
    w.endPath();
    w.selectClipPath(RGN_COPY);
    fill(w, kBlue, {0, 0, 101, 101});
    return {"emf-clip-region", true, 100, 100, w.bytes(), clipRegionChecks(true)};
}

// A clip path made by Rectangle inside the path bracket, as GDI records a rectangular path.
inline CorpusMetafile emfRectangleClipPath() {
    EmfWriter w = emf(100, 100);
    w.select(gdi::NULL_PEN);
    w.beginPath();
    w.rectangle({20, 20, 80, 80});
    w.endPath();
    w.selectClipPath(gdi::RGN_COPY);
    fill(w, kRed, {0, 0, 101, 101});
    return {"emf-clip-path-rect", true, 100, 100, w.bytes(),
            {pixelIs("inside the path", 50, 50, kRed), pixelIs("outside the path", 10, 10, kWhite)}};
}

inline CorpusMetafile wmfClipRegions() {
    WmfWriter w = wmf(100, 100);
    w.select(w.pen(gdi::PS_NULL, 0, 0));
    w.saveDC();
    w.selectClipRegion(w.region({{0, 0, 30, 100}, {70, 0, 100, 100}}));
    fill(w, kRed, {0, 0, 101, 101});
    w.restoreDC(-1);
    fill(w, kGreen, {35, 5, 66, 36});
    return {"wmf-clip-region", false, 100, 100, w.bytes(), clipRegionChecks(false)};
}

// How placeable files select and move clip regions, each part between SaveDC and
// RestoreDC: Windows records SelectClipRgn as SelectObject of the region (two strips);
// SelectClipRegion of slot 0, where no region is, is SelectClipRgn(NULL): the clip
// before it is gone and ExcludeClipRect then cuts a hole in the whole picture;
// OffsetClipRgn moves the clip by logical units.
inline CorpusMetafile wmfClipSelections() {
    WmfWriter w = wmf(100, 100);
    w.select(w.pen(gdi::PS_NULL, 0, 0));  // slot 0: a pen
    w.saveDC();
    w.select(w.region({{0, 0, 20, 30}, {40, 0, 60, 30}}));
    fill(w, kRed, {0, 0, 101, 31});
    w.restoreDC(-1);
    w.saveDC();
    w.intersectClipRect({0, 35, 10, 65});
    w.selectClipRegion(0);
    w.excludeClipRect({40, 35, 60, 65});
    fill(w, kBlue, {0, 35, 101, 66});
    w.restoreDC(-1);
    w.saveDC();
    w.intersectClipRect({0, 70, 20, 100});
    w.offsetClipRegion(60, 0);
    fill(w, kGreen, {0, 70, 101, 101});
    w.restoreDC(-1);
    return {"wmf-clip-select", false, 100, 100, w.bytes(),
            {
                pixelIs("SelectObject of a region: left strip", 10, 15, kRed),
                pixelIs("SelectObject of a region: right strip", 50, 15, kRed),
                pixelIs("SelectObject of a region: between the strips", 30, 15, kWhite),
                pixelIs("SelectClipRgn(NULL): the clip before it gone", 20, 50, kBlue),
                pixelIs("ExcludeClipRect after SelectClipRgn(NULL): the hole", 50, 50, kWhite),
                pixelIs("OffsetClipRgn: where the clip moved", 70, 85, kGreen),
                pixelIs("OffsetClipRgn: not where it was", 10, 85, kWhite),
            }};
}

// Text: a 20-pixel font, "Arial" as most files name it (any sans-serif face serves).
inline uint32_t textFont(EmfWriter& w, uint8_t = gdi::ANSI_CHARSET) { return w.font(-20, u"Arial"); }
inline uint16_t textFont(WmfWriter& w, uint8_t charset = gdi::ANSI_CHARSET) { return w.font(-20, "Arial", charset); }
// ASCII text with 15-pixel advances (EMR_EXTTEXTOUTW, META_EXTTEXTOUT), or without any
// (META_TEXTOUT: the font's own).
inline void textAt(EmfWriter& w, int32_t x, int32_t y, const std::string& text, bool = true) {
    w.text(x, y, std::vector<uint16_t>(text.begin(), text.end()), 0, std::vector<int32_t>(text.size(), 15));
}
inline void textAt(WmfWriter& w, int32_t x, int32_t y, const std::string& text, bool advances = true) {
    if (advances) w.extTextOut(int16_t(x), int16_t(y), text, std::vector<int16_t>(text.size(), 15));
    else w.textOut(int16_t(x), int16_t(y), text);
}

// Alignment of "HH" to its reference point (100, y): left/centre/right of it; its top,
// baseline (nothing below it: H has no descender) or bottom (the descent left empty).
template <typename Writer>
std::vector<PixelCheck> textAlignment(Writer& w) {
    using namespace gdi;
    w.select(textFont(w));
    w.setBkMode(TRANSPARENT);
    w.setTextAlign(TA_LEFT | TA_TOP);
    textAt(w, 100, 10, "HH");
    w.setTextAlign(TA_CENTER | TA_BASELINE);
    textAt(w, 100, 70, "HH");
    w.setTextAlign(TA_RIGHT | TA_BOTTOM);
    textAt(w, 100, 120, "HH");
    return {
        someOf("left, top: drawn", {100, 10, 135, 34}, kBlack, kInk, 20),
        noneOf("left: nothing left of the point", {55, 0, 97, 40}, kBlack, kInk),
        noneOf("top: nothing above the point", {55, 0, 145, 9}, kBlack, kInk),
        someOf("centre: left half", {84, 50, 99, 70}, kBlack, kInk, 10),
        someOf("centre: right half", {101, 50, 116, 70}, kBlack, kInk, 10),
        noneOf("centre: nothing further right", {119, 45, 160, 95}, kBlack, kInk),
        someOf("baseline: down to the point", {80, 66, 120, 70}, kBlack, kInk, 4),
        noneOf("baseline: nothing below the point", {40, 72, 160, 95}, kBlack, kInk),
        someOf("right, bottom: drawn", {68, 96, 100, 117}, kBlack, kInk, 20),
        noneOf("right: nothing right of the point", {103, 90, 150, 140}, kBlack, kInk),
        noneOf("bottom: nothing below the point", {50, 117, 150, 140}, kBlack, kInk),
    };
}

// Text colour, and the background mode: OPAQUE fills the text's cells with the background
// colour, TRANSPARENT leaves what is below.
template <typename Writer>
std::vector<PixelCheck> textColours(Writer& w) {
    using namespace gdi;
    w.select(textFont(w));
    w.setTextAlign(TA_LEFT | TA_TOP);
    w.setBkColour(colorRef(kYellow));
    w.setTextColour(colorRef(kRed));
    w.setBkMode(OPAQUE);
    textAt(w, 20, 10, "HH", false);
    w.setTextColour(colorRef(kBlue));
    w.setBkMode(TRANSPARENT);
    textAt(w, 20, 55, "HH", false);
    return {
        someOf("opaque: text colour", {18, 8, 55, 36}, kRed, 0x40, 10),
        someOf("opaque: background colour behind it", {20, 10, 45, 30}, kYellow, 0x30, 200),
        noneOf("opaque: no background past the text", {60, 0, 200, 45}, kYellow, 0x30),
        someOf("transparent: text colour", {18, 53, 55, 81}, kBlue, 0x40, 10),
        noneOf("transparent: no background colour", {0, 45, 200, 100}, kYellow, 0x30),
    };
}

// Text beyond ASCII: an enhanced metafile's is UTF-16; a placeable metafile's is bytes in
// its font's character set (Windows-1252 for ANSI_CHARSET, 1253 for GREEK_CHARSET).
inline std::vector<PixelCheck> textCharsetChecks() {
    return {
        someOf("Caf\u00e9 drawn", {8, 8, 85, 40}, kBlack, kInk, 20),
        someOf("curly quotes drawn", {8, 53, 85, 85}, kBlack, kInk, 10),
        someOf("Greek drawn", {108, 8, 200, 40}, kBlack, kInk, 20),
        noneOf("nothing between", {88, 0, 105, 100}, kBlack, kInk),
        noneOf("nothing below", {0, 88, 200, 100}, kBlack, kInk),
        noneOf("nothing beside the quotes", {105, 50, 200, 100}, kBlack, kInk),
    };
}

inline CorpusMetafile emfTextCharsets() {
    EmfWriter w = emf(200, 100);
    w.select(textFont(w));
    w.setBkMode(gdi::TRANSPARENT);
    w.text(10, 10, utf16(u"Caf\u00e9"), 0, {12, 12, 12, 12});
    w.text(10, 55, utf16(u"\u201cHi\u201d"), 0, {12, 12, 12, 12});
    w.text(110, 10, utf16(u"\u0391\u03b2\u03b3"), 0, {14, 14, 14});
    return {"emf-text-charset", true, 200, 100, w.bytes(), textCharsetChecks()};
}

inline CorpusMetafile wmfTextCharsets() {
    WmfWriter w = wmf(200, 100);
    w.select(textFont(w));
    w.setBkMode(gdi::TRANSPARENT);
    w.textOut(10, 10, "Caf\xe9");
    w.extTextOut(10, 55, "\x93Hi\x94", {12, 12, 12, 12});
    w.select(textFont(w, 161));  // GREEK_CHARSET
    w.textOut(110, 10, "\xc1\xe2\xe3");
    return {"wmf-text-charset", false, 200, 100, w.bytes(), textCharsetChecks()};
}

// Bitmaps stretched from a packed DIB: 4 x 4 pixels in four quarters, of 24 bits (EMF
// EMR_STRETCHDIBITS, WMF META_STRETCHDIB) and of one bit with a two-colour table (WMF
// META_DIBSTRETCHBLT). Enlarged, each source pixel covers a block of the same colour:
// GDI's default stretch mode (BLACKONWHITE) repeats pixels and never smooths.
template <typename Writer>
void stretch(Writer& w, const RecordRect& dest, const std::vector<uint8_t>& dib, uint32_t rop, bool blt) {
    const RecordRect source = {0, 0, int32_t(dib[4]), int32_t(dib[8])};  // the DIB's width and height
    if constexpr (std::is_same_v<Writer, EmfWriter>) w.stretchDIBits(dest, source, dib, rop);
    else if (blt) w.dibStretchBlt(dest, source, dib, rop);
    else w.stretchDib(dest, source, dib, rop);
}
template <typename Writer>
std::vector<PixelCheck> bitmaps(Writer& w) {
    stretch(w, {10, 10, 50, 50}, packedDib(4, 4, {kRed, kRed, kGreen, kGreen, kRed, kRed, kGreen, kGreen,
                                                  kBlue, kBlue, kYellow, kYellow, kBlue, kBlue, kYellow, kYellow}),
            gdi::SRCCOPY, false);
    stretch(w, {55, 55, 95, 95}, packedDib(4, 4, {0, 0, 1, 1, 0, 0, 1, 1, 1, 1, 0, 0, 1, 1, 0, 0}, {kCyan, kMagenta}),
            gdi::SRCCOPY, true);
    return {
        pixelIs("24 bits: top left", 20, 20, kRed),     pixelIs("24 bits: top right", 40, 20, kGreen),
        pixelIs("24 bits: bottom left", 20, 40, kBlue), pixelIs("1 bit: top left", 65, 65, kCyan),
        pixelIs("1 bit: top right", 85, 65, kMagenta),  pixelIs("1 bit: bottom left", 65, 85, kMagenta),
        pixelIs("24 bits: not smoothed, left of an edge", 28, 20, kRed),
        pixelIs("24 bits: not smoothed, right of it", 31, 20, kGreen),
    };
}

// Raster operations: a red area, then a yellow one drawn with R2_XORPEN (a brush) and with
// SRCINVERT (a bitmap): yellow XOR red is green, yellow XOR white is blue.
template <typename Writer>
std::vector<PixelCheck> rasterOperations(Writer& w) {
    using namespace gdi;
    w.select(w.pen(PS_NULL, 0, 0));
    fill(w, kRed, {10, 10, 51, 91});
    w.setRop2(R2_XORPEN);
    fill(w, kYellow, {30, 10, 71, 51});
    w.setRop2(R2_COPYPEN);
    fill(w, kMagenta, {80, 90, 91, 101});
    stretch(w, {30, 55, 71, 91}, packedDib(1, 1, {kYellow}), SRCINVERT, true);
    return {
        pixelIs("red below", 20, 30, kRed),
        pixelIs("R2_XORPEN over red", 40, 30, kGreen),
        pixelIs("R2_XORPEN over white", 60, 30, kBlue),
        pixelIs("SRCINVERT over red", 40, 70, kGreen),
        pixelIs("SRCINVERT over white", 60, 70, kBlue),
        pixelIs("R2_COPYPEN again after", 85, 95, kMagenta),
    };
}

// Map modes. Enhanced: MM_ANISOTROPIC (window extent 1000 x 2000 onto a viewport of
// 100 x 100: x / 10, y / 20), the window's origin moved, the viewport's origin moved,
// MM_ISOTROPIC (the same extents: both / 20, the smaller scale), y flipped by a negative
// window extent, and MM_LOMETRIC (0.1 mm a unit on the reference device of 96 dpi, y
// upwards).
inline CorpusMetafile emfMapModes() {
    using namespace gdi;
    EmfWriter w = emf(150, 100);
    w.select(NULL_PEN);
    w.setMapMode(MM_ANISOTROPIC);
    w.setWindowExt(1000, 2000);
    w.setViewportExt(100, 100);
    fill(w, kRed, {100, 200, 400, 800});  // (10, 10) - (40, 40)
    w.setWindowOrg(-600, -1200);
    fill(w, kBlue, {0, 0, 300, 600});  // (60, 60) - (90, 90)
    w.setWindowOrg(0, 0);
    w.setViewportOrg(50, 0);
    fill(w, kGreen, {100, 200, 400, 800});  // (60, 10) - (90, 40)
    w.setViewportOrg(0, 0);
    w.setMapMode(MM_ISOTROPIC);
    w.setWindowExt(1000, 2000);
    w.setViewportExt(100, 100);
    fill(w, kYellow, {0, 1000, 800, 1800});  // (0, 50) - (40, 90)
    w.setMapMode(MM_ANISOTROPIC);
    w.setWindowExt(100, -100);
    w.setViewportExt(100, 100);
    w.setWindowOrg(0, 100);
    fill(w, kMagenta, {95, 5, 105, 35});  // (95, 65) - (105, 95)
    w.setWindowOrg(0, 0);
    w.setMapMode(MM_LOMETRIC);
    fill(w, kCyan, {290, -30, 370, -230});  // (109.6, 11.3) - (139.8, 86.9)
    return {"emf-map-mode", true, 150, 100, w.bytes(),
            {
                pixelIs("anisotropic", 25, 25, kRed),
                pixelIs("anisotropic: y scaled apart from x", 25, 45, kWhite),
                pixelIs("window origin", 86, 75, kBlue),
                pixelIs("viewport origin", 75, 25, kGreen),
                pixelIs("isotropic", 20, 70, kYellow),
                pixelIs("isotropic: x scaled as y", 45, 70, kWhite),
                pixelIs("negative window extent: y flipped", 100, 80, kMagenta),
                pixelIs("MM_LOMETRIC", 125, 50, kCyan),
                pixelIs("MM_LOMETRIC: no further than 0.1 mm a unit", 145, 50, kWhite),
            }};
}

// Placeable: the picture's box is the window as the file sets it; its origin and extent
// change between the records (x / 2 and y / 2, the origin moved, x and y apart, y flipped).
inline CorpusMetafile wmfMapModes() {
    WmfWriter w = wmf(100, 100);
    w.select(w.pen(gdi::PS_NULL, 0, 0));
    fill(w, kRed, {10, 10, 40, 40});
    w.setWindowExt(200, 200);
    fill(w, kBlue, {20, 120, 80, 180});  // (10, 60) - (40, 90)
    w.setWindowOrg(-100, 0);
    fill(w, kGreen, {0, 20, 60, 80});  // (50, 10) - (80, 40)
    w.setWindowOrg(0, 0);
    w.setWindowExt(100, 200);
    fill(w, kYellow, {60, 120, 90, 180});  // (60, 60) - (90, 90)
    w.setWindowOrg(0, 100);
    w.setWindowExt(100, -100);
    fill(w, kMagenta, {45, 5, 55, 35});  // (45, 65) - (55, 95)
    return {"wmf-map-mode", false, 100, 100, w.bytes(),
            {
                pixelIs("window extent", 25, 25, kRed),
                pixelIs("window extent changed", 25, 75, kBlue),
                pixelIs("window origin", 65, 25, kGreen),
                pixelIs("window extent, x and y apart", 75, 75, kYellow),
                pixelIs("negative window extent: y flipped", 50, 80, kMagenta),
            }};
}

// Map modes a placeable file sets itself: MM_ANISOTROPIC maps its window onto the
// picture (x / 2 under a window 200 wide), MM_ISOTROPIC with the smaller scale for both
// axes (a window of 200 x 100: both / 2). Under a window of 10 x 10 a pen of width 0 is
// still one pixel wide, one of width 1 ten.
inline CorpusMetafile wmfMapModesSet() {
    using namespace gdi;
    WmfWriter w = wmf(100, 100);
    w.select(w.pen(PS_NULL, 0, 0));
    w.setMapMode(MM_ANISOTROPIC);
    w.setWindowExt(200, 100);
    fill(w, kRed, {20, 10, 80, 40});  // (10, 10) - (40, 40)
    w.setMapMode(MM_ISOTROPIC);
    fill(w, kBlue, {20, 120, 80, 180});  // (10, 60) - (40, 90)
    w.setMapMode(MM_ANISOTROPIC);
    w.setWindowOrg(-100, 0);
    fill(w, kGreen, {0, 60, 60, 90});  // (50, 60) - (80, 90)
    w.setWindowOrg(0, 0);
    w.setWindowExt(10, 10);
    w.select(w.pen(PS_SOLID, 0, colorRef(kBlack)));
    w.moveTo(0, 9);
    w.lineTo(10, 9);  // row 90
    w.select(w.pen(PS_SOLID, 1, colorRef(kBlack)));
    w.moveTo(0, 5);
    w.lineTo(10, 5);  // rows 45 to 54
    return {"wmf-map-mode-set", false, 100, 100, w.bytes(),
            {
                pixelIs("MM_ANISOTROPIC", 25, 25, kRed),
                pixelIs("MM_ANISOTROPIC: x halved", 45, 25, kWhite),
                pixelIs("MM_ISOTROPIC: y scaled as x", 25, 75, kBlue),
                pixelIs("MM_ANISOTROPIC, window origin moved", 65, 75, kGreen),
                allOf("pen of width 0: one pixel", {5, 90, 95, 91}, kBlack),
                noneOf("pen of width 0: no wider", {5, 91, 95, 100}, kBlack, kThinInk),
                allOf("pen of width 1: ten pixels", {20, 46, 80, 54}, kBlack),
            }};
}

// A thin pen's other styles (GDI: PS_DOT 3 on, 3 off; PS_DASHDOT 9, 6, 3, 6;
// PS_DASHDOTDOT 9, 3, 3, 3, 3, 3, from the line's start), the gaps in the background
// colour in OPAQUE mode, and lines drawn with R2_XORPEN (yellow over red: green): a
// polyline's corners and the point where one LineTo meets the next are drawn once
// (twice would undo the XOR), and a polyline's last point is left to the next line.
inline CorpusMetafile wmfPenStyles() {
    using namespace gdi;
    WmfWriter w = wmf(100, 100);
    w.setBkMode(TRANSPARENT);
    across(w, w.pen(PS_DOT, 1, colorRef(kBlack)), 10);
    across(w, w.pen(PS_DASHDOT, 1, colorRef(kBlack)), 25);
    across(w, w.pen(PS_DASHDOTDOT, 1, colorRef(kBlack)), 40);
    w.setBkMode(OPAQUE);
    w.setBkColour(colorRef(kYellow));
    across(w, w.pen(PS_DASH, 1, colorRef(kBlack)), 55);
    w.select(w.pen(PS_NULL, 0, 0));
    fill(w, kRed, {10, 65, 91, 96});
    w.setRop2(R2_XORPEN);
    w.select(w.pen(PS_SOLID, 1, colorRef(kYellow)));
    w.polyline({{20, 70}, {80, 70}, {80, 90}});
    w.moveTo(20, 80);
    w.lineTo(50, 80);
    w.lineTo(50, 90);
    return {"wmf-pen-style", false, 100, 100, w.bytes(),
            {
                allOf("dot: on", {10, 10, 13, 11}, kBlack, kThinInk),
                noneOf("dot: off", {13, 8, 16, 13}, kBlack, kThinInk),
                allOf("dash-dot: dash", {10, 25, 19, 26}, kBlack, kThinInk),
                noneOf("dash-dot: gap", {19, 23, 25, 28}, kBlack, kThinInk),
                allOf("dash-dot: dot", {25, 25, 28, 26}, kBlack, kThinInk),
                allOf("dash-dot-dot: second dot", {28, 40, 31, 41}, kBlack, kThinInk),
                noneOf("dash-dot-dot: gap between the dots", {25, 38, 28, 43}, kBlack, kThinInk),
                allOf("opaque: gap in the background colour", {28, 55, 34, 56}, kYellow),
                allOf("opaque: dash in the pen's", {10, 55, 28, 56}, kBlack),
                pixelIs("XOR: the polyline's corner once", 80, 70, kGreen),
                pixelIs("XOR: the polyline's last point left", 80, 90, kRed),
                pixelIs("XOR: where LineTo meets LineTo, once", 50, 80, kGreen),
            }};
}

// Text of a double-byte code page with an advance for each byte (GB2312: "\xA6\xC1" is
// alpha, "\xA6\xC2" beta), as EXTTEXTOUT writes it: each character at the advances of
// the bytes before it, not two halves that decode to nothing.
inline CorpusMetafile wmfTextDoubleByte() {
    WmfWriter w = wmf(200, 60);
    w.select(textFont(w, gdi::GB2312_CHARSET));
    w.setBkMode(gdi::TRANSPARENT);
    w.extTextOut(10, 10, "\xA6\xC1\xA6\xC2", {15, 15, 15, 15});
    w.extTextOut(110, 10, "\xA6\xC1", {40, 40});
    return {"wmf-text-double-byte", false, 200, 60, w.bytes(),
            {
                someOf("first character", {8, 8, 38, 40}, kBlack, kInk, 20),
                someOf("second, at the advances of two bytes", {39, 8, 70, 40}, kBlack, kInk, 20),
                someOf("alone", {108, 8, 140, 40}, kBlack, kInk, 20),
                noneOf("nothing after it", {141, 0, 200, 60}, kBlack, kInk),
            }};
}

// What a device context holds before any record sets it: GDI's white brush, black pen
// and OPAQUE background mode with a white background colour, over a red bitmap.
inline CorpusMetafile emfDefaultObjects() {
    EmfWriter w = emf(100, 100);
    w.stretchDIBits({0, 0, 100, 100}, {0, 0, 1, 1}, packedDib(1, 1, {kRed}), gdi::SRCCOPY);
    w.rectangle({20, 20, 80, 80});
    w.select(textFont(w));
    textAt(w, 10, 82, "HH");
    return {"emf-default-objects", true, 100, 100, w.bytes(),
            {
                pixelIs("default brush: white", 50, 50, kWhite),
                someOf("default pen: a black outline", {18, 40, 22, 60}, kBlack, kThinInk, 10),
                pixelIs("below the rectangle: the bitmap", 10, 10, kRed),
                someOf("default OPAQUE background: white cells behind text", {12, 84, 40, 98}, kWhite, 0x30, 60),
            }};
}

// GDI's other cosmetic dash styles, counted in pixels from the line's start (dots of 3
// and gaps of 3; dash-dot 9 6 3 6; dash-dot-dot 9 3 3 3 3 3); a wide geometric pen's
// dashes in its widths (3 on, 1 off, flat ends: 12 and 4 for 4 wide); a wide
// EMR_CREATEPEN PS_DASH pen, which GDI draws solid.
inline CorpusMetafile emfPenStyles() {
    using namespace gdi;
    EmfWriter w = emf(100, 100);
    across(w, w.pen(PS_DOT, 0, colorRef(kBlack)), 10);
    across(w, w.pen(PS_DASHDOT, 0, colorRef(kBlack)), 25);
    across(w, w.pen(PS_DASHDOTDOT, 0, colorRef(kBlack)), 40);
    across(w, w.extPen(PS_GEOMETRIC | PS_ENDCAP_FLAT | PS_DASH, 4, colorRef(kBlack)), 60);
    across(w, w.pen(PS_DASH, 5, colorRef(kBlack)), 80);
    const auto on = [](const char* what, int x0, int x1, int y) { return someOf(what, {x0, y - 1, x1, y + 2}, kBlack, kThinInk, 1); };
    const auto off = [](const char* what, int x0, int x1, int y) { return noneOf(what, {x0, y - 2, x1, y + 3}, kBlack, kThinInk); };
    return {"emf-pen-styles", true, 100, 100, w.bytes(),
            {
                on("dot: on", 10, 13, 10), off("dot: off", 13, 16, 10),
                on("dash-dot: dash", 12, 17, 25), off("dash-dot: gap after the dash", 20, 24, 25),
                on("dash-dot: dot", 25, 28, 25),
                off("dash-dot-dot: first gap", 20, 21, 40), on("dash-dot-dot: first dot", 23, 24, 40),
                off("dash-dot-dot: second gap", 26, 27, 40), on("dash-dot-dot: second dot", 29, 30, 40),
                allOf("geometric dash: on", {12, 59, 21, 61}, kBlack, kEdge),
                noneOf("geometric dash: off", {23, 56, 25, 64}, kBlack, kThinInk),
                allOf("wide PS_DASH pen: solid", {12, 79, 88, 81}, kBlack, kEdge),
            }};
}

// More binary raster operations, each over an area of its own: R2_NOT inverts what is
// below, R2_NOP leaves it, R2_MASKPEN ANDs, R2_MERGEPEN ORs, R2_BLACK draws black, and
// R2_XORPEN of grey 0x808080 over 0x404040 gives 0xC0C0C0.
inline CorpusMetafile emfMoreRasterOperations() {
    using namespace gdi;
    EmfWriter w = emf(100, 100);
    w.select(NULL_PEN);
    const auto area = [&](uint32_t rop2, uint32_t rgb, const RecordRect& r) {
        w.setRop2(rop2);
        fill(w, rgb, r);
    };
    area(R2_COPYPEN, kRed, {0, 0, 100, 25});
    area(R2_NOT, kGreen, {10, 5, 40, 20});
    area(R2_NOP, kGreen, {60, 5, 90, 20});
    area(R2_COPYPEN, kYellow, {0, 25, 100, 50});
    area(R2_MASKPEN, kCyan, {10, 30, 40, 45});
    area(R2_MERGEPEN, kBlue, {60, 30, 90, 45});
    area(R2_COPYPEN, 0x404040, {0, 50, 100, 75});
    area(R2_XORPEN, 0x808080, {10, 55, 40, 70});
    area(R2_BLACK, kYellow, {60, 55, 90, 70});
    area(R2_COPYPEN, kMagenta, {10, 80, 40, 95});
    return {"emf-rop2", true, 100, 100, w.bytes(),
            {
                pixelIs("R2_NOT: red inverted", 25, 12, kCyan),
                pixelIs("R2_NOP: red kept", 75, 12, kRed),
                pixelIs("R2_MASKPEN: cyan AND yellow", 25, 37, kGreen),
                pixelIs("R2_MERGEPEN: blue OR yellow", 75, 37, kWhite),
                pixelIs("R2_XORPEN: grey XOR dark grey", 25, 62, 0xC0C0C0),
                pixelIs("R2_BLACK", 75, 62, kBlack),
                pixelIs("R2_COPYPEN after them", 25, 87, kMagenta),
            }};
}

// Polygons filled as one: two squares one inside the other, both drawn the same way
// round. GDI's default fill mode is ALTERNATE (the inner one a hole) until
// SETPOLYFILLMODE says WINDING (no hole).
inline CorpusMetafile emfDefaultFillMode() {
    EmfWriter w = emf(100, 100);
    w.select(gdi::NULL_PEN);
    w.select(w.brush(gdi::BS_SOLID, colorRef(kBlue)));
    const auto squares = [](int dx) {
        return std::vector<std::vector<RecordPoint>>{{{5 + dx, 30}, {45 + dx, 30}, {45 + dx, 70}, {5 + dx, 70}},
                                                     {{15 + dx, 40}, {35 + dx, 40}, {35 + dx, 60}, {15 + dx, 60}}};
    };
    w.polyPolygon(squares(0));
    w.setPolyFillMode(gdi::WINDING);
    w.polyPolygon(squares(50));
    return {"emf-fill-mode-default", true, 100, 100, w.bytes(),
            {
                pixelIs("default ALTERNATE: the ring", 10, 50, kBlue),
                pixelIs("default ALTERNATE: the hole", 25, 50, kWhite),
                pixelIs("WINDING: no hole", 75, 50, kBlue),
            }};
}

// The window origin in MM_TEXT; a world transform (x 2, moved 50 right), changed after
// SaveDC and given back by RestoreDC; a clip rectangle given under the transform, which
// GDI maps to the device when it is set.
inline CorpusMetafile emfWorldTransform() {
    EmfWriter w = emf(100, 100);
    w.select(gdi::NULL_PEN);
    w.setWindowOrg(-10, -10);
    fill(w, kRed, {0, 0, 20, 20});  // (10, 10) - (30, 30)
    w.setWindowOrg(0, 0);
    w.setWorldTransform({2, 0, 0, 2, 50, 0});
    fill(w, kGreen, {0, 5, 10, 15});  // (50, 10) - (70, 30)
    w.saveDC();
    w.modifyWorldTransform({1, 0, 0, 1, 0, 20}, gdi::MWT_LEFTMULTIPLY);
    fill(w, kBlue, {0, 5, 10, 15});  // (50, 50) - (70, 70)
    w.restoreDC(-1);
    fill(w, kYellow, {5, 35, 15, 45});  // (60, 70) - (80, 90)
    w.intersectClipRect({-25, 0, -15, 50});  // (0, 0) - (20, 100)
    w.setWorldTransform({1, 0, 0, 1, 0, 0});
    fill(w, kMagenta, {0, 40, 100, 60});
    return {"emf-world-transform", true, 100, 100, w.bytes(),
            {
                pixelIs("MM_TEXT window origin", 20, 20, kRed),
                pixelIs("world transform", 60, 20, kGreen),
                pixelIs("world transform changed after SaveDC", 60, 60, kBlue),
                pixelIs("world transform after RestoreDC", 70, 80, kYellow),
                pixelIs("clip given under the transform", 10, 50, kMagenta),
                pixelIs("clip given under the transform: outside it", 40, 50, kWhite),
            }};
}

// RoundRect, an ellipse under a flipped mapping, and ExtTextOut's ETO_OPAQUE rectangle
// (no characters), filled with the background colour whatever the background mode.
inline CorpusMetafile emfShapes() {
    using namespace gdi;
    EmfWriter w = emf(100, 100);
    w.select(NULL_PEN);
    w.select(w.brush(BS_SOLID, colorRef(kRed)));
    w.roundRect({10, 10, 50, 50}, 20, 20);
    w.setMapMode(MM_ANISOTROPIC);
    w.setWindowExt(100, -100);
    w.setViewportExt(100, 100);
    w.setWindowOrg(0, 100);
    w.select(w.brush(BS_SOLID, colorRef(kGreen)));
    w.ellipse({55, 5, 95, 45});  // (55, 55) - (95, 95)
    w.setMapMode(MM_TEXT);
    w.setWindowOrg(0, 0);
    w.setBkColour(colorRef(kYellow));
    w.setBkMode(TRANSPARENT);
    w.text(10, 60, {}, ETO_OPAQUE, {}, {}, {10, 60, 50, 90});
    return {"emf-shapes", true, 100, 100, w.bytes(),
            {
                pixelIs("RoundRect: the side's middle", 30, 11, kRed),
                pixelIs("RoundRect: the corner rounded", 11, 11, kWhite),
                pixelIs("ellipse, y flipped", 75, 75, kGreen),
                pixelIs("ellipse, y flipped: its box's corner", 57, 57, kWhite),
                pixelIs("ETO_OPAQUE rectangle", 30, 75, kYellow),
                pixelIs("ETO_OPAQUE rectangle: no further", 52, 62, kWhite),
            }};
}

// Every file of the corpus, enhanced and placeable side by side.
inline std::vector<CorpusMetafile> metafileCorpus() {
    std::vector<CorpusMetafile> files;
    // A family drawn by the same records in both kinds.
    const auto both = [&](const std::string& family, int32_t width, int32_t height, auto draw) {
        EmfWriter e = emf(width, height);
        std::vector<PixelCheck> checks = draw(e);
        files.push_back({"emf-" + family, true, width, height, e.bytes(), checks});
        WmfWriter w = wmf(int16_t(width), int16_t(height));
        checks = draw(w);
        files.push_back({"wmf-" + family, false, width, height, w.bytes(), checks});
    };
    both("brush", 100, 100, [](auto& w) { return brushes(w); });
    both("pen", 100, 100, [](auto& w) { return pens(w); });
    both("polygon", 100, 100, [](auto& w) { return polygons(w); });
    both("clip-rect", 100, 100, [](auto& w) { return clipRectangles(w); });
    files.push_back(emfClipRegions());
    files.push_back(emfRectangleClipPath());
    files.push_back(wmfClipRegions());
    files.push_back(wmfClipSelections());
    both("text-align", 200, 140, [](auto& w) { return textAlignment(w); });
    both("text-colour", 200, 100, [](auto& w) { return textColours(w); });
    files.push_back(emfTextCharsets());
    files.push_back(wmfTextCharsets());
    both("bitmap", 100, 100, [](auto& w) { return bitmaps(w); });
    both("rop", 100, 100, [](auto& w) { return rasterOperations(w); });
    for (auto make : {emfMapModes, wmfMapModes, wmfMapModesSet, wmfPenStyles, wmfTextDoubleByte, emfDefaultObjects,
                      emfPenStyles, emfMoreRasterOperations, emfDefaultFillMode, emfWorldTransform, emfShapes})
        files.push_back(make());
    return files;
}

}  // namespace corpus

// Every file of the corpus.
inline std::vector<CorpusMetafile> metafileCorpus() { return corpus::metafileCorpus(); }

}  // namespace qfip::testing
