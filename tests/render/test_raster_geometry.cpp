// The drawing the helper does itself into libwmf's bitmap: polygon fills, raster
// operations, dashes and hatches within a clip region, each against a definition computed
// pixel by pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "render/GdRaster.h"
#include "render/PixelRegion.h"
#include "render/PolygonSpans.h"
#include "render/RasterOps.h"

namespace {

constexpr int kSide = 24;
using Pixels = std::set<std::pair<int, int>>;

Pixels pixelsOf(const qfip::Rect& b) {
    Pixels out;
    for (int y = b.Top; y < b.Bottom; ++y)
        for (int x = b.Left; x < b.Right; ++x) out.insert({x, y});
    return out;
}

qfip::PixelRegion unionOf(const std::vector<qfip::Rect>& boxes) { return qfip::PixelRegion::unionOf(boxes, {SIZE_MAX, SIZE_MAX}).region; }

// A small truecolor bitmap for GdRaster, white.
struct Bitmap {
    std::vector<int> pixels = std::vector<int>(kSide * kSide, 0xFFFFFF);
    std::vector<int*> rows = std::vector<int*>(kSide);
    gdImage image{};
    Bitmap() {
        for (int y = 0; y < kSide; ++y) rows[size_t(y)] = pixels.data() + y * kSide;
        image.sx = image.sy = kSide;
        image.trueColor = 1;
        image.tpixels = rows.data();
    }
    int at(int x, int y) const { return pixels[size_t(y * kSide + x)]; }
    Pixels of(int colour) const {
        Pixels out;
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x)
                if (at(x, y) == colour) out.insert({x, y});
        return out;
    }
};

}  // namespace

// The pixels inside a polygon: pixel (x, y) is in when the point (x, y) is, a point on a
// left or top edge counted in and one on a right or bottom edge out; the reference
// counts, for each pixel, the edges crossing its row at or left of it.
TEST(PolygonSpans, PixelsInsideUnderBothFillRules) {
    struct Case {
        const char* name;
        std::vector<std::vector<PixelPoint>> rings;
    };
    const std::vector<PixelPoint> star = {{11, 1}, {18, 21}, {1, 8}, {21, 8}, {4, 21}};
    const Case cases[] = {
        {"rectangle", {{{3, 4}, {15, 4}, {15, 10}, {3, 10}}}},
        {"triangle", {{{2, 2}, {20, 7}, {6, 19}}}},
        {"pentagram", {star}},
        {"pentagram backwards", {{star.rbegin(), star.rend()}}},
        {"ring with a hole, same direction", {{{1, 1}, {20, 1}, {20, 20}, {1, 20}}, {{6, 6}, {14, 6}, {14, 14}, {6, 14}}}},
        {"ring with a hole, other direction", {{{1, 1}, {20, 1}, {20, 20}, {1, 20}}, {{6, 6}, {6, 14}, {14, 14}, {14, 6}}}},
        {"far larger than the rows asked", {{{-1000000, -5}, {1000000, 3}, {7, 2000000}}}},
        {"a line", {{{2, 2}, {20, 20}}}},
        {"a point", {{{5, 5}}}},
    };
    for (const Case& c : cases) {
        for (const FillRule rule : {FillRule::Alternate, FillRule::Winding}) {
            SCOPED_TRACE(std::string(c.name) + (rule == FillRule::Winding ? ", winding" : ", alternate"));
            Pixels got;
            forEachPolygonRow(c.rings, rule, 0, kSide, [&](int64_t y, const std::vector<PixelRun>& runs) {
                for (const PixelRun& r : runs)
                    for (int64_t x = std::max<int64_t>(r.left, 0); x < std::min<int64_t>(r.right, kSide); ++x) got.insert({int(x), int(y)});
            });
            Pixels want;
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x) {
                    int winding = 0;
                    for (const auto& ring : c.rings)
                        for (size_t i = 0; i < ring.size() && ring.size() > 1; ++i) {
                            const PixelPoint a = ring[i], b = ring[(i + 1) % ring.size()];
                            if (a.y == b.y) continue;
                            const PixelPoint top = a.y < b.y ? a : b, bottom = a.y < b.y ? b : a;
                            if (y < top.y || y >= bottom.y) continue;
                            // The crossing at or left of x: top.x + (y - top.y) * dx / dy <= x.
                            const __int128 lhs = __int128(top.x) * (bottom.y - top.y) + __int128(y - top.y) * (bottom.x - top.x);
                            if (lhs <= __int128(x) * (bottom.y - top.y)) winding += a.y < b.y ? 1 : -1;
                        }
                    if (rule == FillRule::Winding ? winding != 0 : (winding & 1) != 0) want.insert({x, y});
                }
            EXPECT_EQ(got, want);
        }
    }
}

// The raster operations by their names' formulas (wingdi.h's reverse Polish: DPx is D
// xor P), on bits that meet every combination.
TEST(RasterOps, BinaryAndTernaryOperationsAsNamed) {
    const uint32_t p = 0xF0F0F0 & 0xFFFFFF, d = 0xCCCCCC, s = 0xAAAAAA;
    struct Binary {
        unsigned code;
        uint32_t want;
        bool idempotent;
    };
    const uint32_t all = 0xFFFFFF;
    const Binary binaries[] = {
        {1, 0, true},                 {2, ~(d | p) & all, false},   // R2_BLACK, R2_NOTMERGEPEN (DPon)
        {3, d & ~p & all, true},      {4, ~p & all, true},          // R2_MASKNOTPEN (DPna), R2_NOTCOPYPEN (Pn)
        {5, p & ~d & all, false},     {6, ~d & all, false},         // R2_MASKPENNOT (PDna), R2_NOT (Dn)
        {7, d ^ p, false},            {8, ~(d & p) & all, false},   // R2_XORPEN (DPx), R2_NOTMASKPEN (DPan)
        {9, d & p, true},             {10, ~(d ^ p) & all, false},  // R2_MASKPEN (DPa), R2_NOTXORPEN (DPxn)
        {11, d, true},                {12, (d | ~p) & all, true},   // R2_NOP (D), R2_MERGENOTPEN (DPno)
        {13, p, true},                {14, (p | ~d) & all, false},  // R2_COPYPEN (P), R2_MERGEPENNOT (PDno)
        {15, d | p, true},            {16, all, true},              // R2_MERGEPEN (DPo), R2_WHITE
        {0, p, true},                                               // out of range: GDI's default, R2_COPYPEN
    };
    for (const Binary& b : binaries) {
        EXPECT_EQ(rop::binary(b.code, p, d), b.want) << b.code;
        EXPECT_EQ(rop::binaryIdempotent(b.code), b.idempotent) << b.code;
        EXPECT_EQ(rop::binaryIgnoresPixel(b.code), b.code == 1 || b.code == 4 || b.code == 13 || b.code == 16 || b.code == 0) << b.code;
    }
    struct Ternary {
        uint32_t code;
        uint32_t want;
    };
    const Ternary ternaries[] = {
        {0x00CC0020, s},             {0x00EE0086, s | d},             // SRCCOPY, SRCPAINT
        {0x008800C6, s & d},         {0x00660046, s ^ d},             // SRCAND, SRCINVERT
        {0x00440328, s & ~d & all},  {0x00330008, ~s & all},          // SRCERASE, NOTSRCCOPY
        {0x001100A6, ~(s | d) & all}, {0x00C000CA, p & s},            // NOTSRCERASE, MERGECOPY
        {0x00BB0226, (~s | d) & all}, {0x00F00021, p},                // MERGEPAINT, PATCOPY
        {0x005A0049, p ^ d},         {0x00550009, ~d & all},          // PATINVERT, DSTINVERT
        {0x00000042, 0},             {0x00FF0062, all},               // BLACKNESS, WHITENESS
    };
    for (const Ternary& t : ternaries) EXPECT_EQ(rop::ternary(rop::ternaryTable(t.code), p, s, d), t.want) << std::hex << t.code;
}

// GDI's cosmetic dashes from a line's first pixel, carried on from one line to the next,
// the gaps left or drawn in the background colour; a line's last pixel left out when
// asked (for XOR). `path` is each pixel of the path in turn: '#' ink, '-' background
// colour, '.' untouched (a corner's pixel is the last of one line and the first of the next).
TEST(GdRaster, DashesRunOnAlongTheLinesOfAPolyline) {
    const struct {
        const char* name;
        unsigned style;
        std::vector<std::pair<int, int>> points;  // joined one after the other
        bool opaqueGaps, lastPixel;
        std::string path;
    } cases[] = {
        {"dot, round a corner", 2, {{0, 2}, {10, 2}, {10, 20}}, false, true, "###...###...###...###...###.."},
        {"dash-dot, backwards, opaque", 3, {{23, 5}, {0, 5}}, true, true, "#########------###------"},
        {"alternate, opaque, last pixel left", 8, {{1, 1}, {1, 22}}, true, false, "#-#-#-#-#-#-#-#-#-#-#."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap bitmap;
        LineStyle style{cosmeticDashes(c.style), 0, c.opaqueGaps, 0x00FF00};
        Pixels ink, gaps;
        size_t k = 0;
        for (size_t i = 0; i + 1 < c.points.size(); ++i) {
            const auto [x0, y0] = c.points[i];
            const auto [x1, y1] = c.points[i + 1];
            drawPixelLine(GdCanvas{&bitmap.image, nullptr}, x0, y0, x1, y1, PixelPaint{0x000000}, &style, c.lastPixel);
            const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
            for (int j = 0; j <= steps; ++j) {
                const std::pair<int, int> p{x0 + j * (x1 > x0) - j * (x1 < x0), y0 + j * (y1 > y0) - j * (y1 < y0)};
                if (c.path.at(k + size_t(j)) == '#') {
                    ink.insert(p);
                    gaps.erase(p);
                } else if (c.path[k + size_t(j)] == '-' && !ink.count(p)) {
                    gaps.insert(p);
                }
            }
            k += size_t(steps);
        }
        ASSERT_EQ(c.path.size(), k + 1);
        EXPECT_EQ(bitmap.of(0x000000), ink);
        EXPECT_EQ(bitmap.of(0x00FF00), gaps);
    }
}

// Fills with a brush: a solid one through the raster operation, a hatch's lines in its
// colour at the bitmap's own 8 x 8 grid and its gaps in the background colour or left
// alone; only within the clip.
TEST(GdRaster, FillsPaintThroughHatchRasterOperationAndClip) {
    const qfip::PixelRegion clip = unionOf({{0, 0, 12, 24}, {16, 0, 24, 24}});
    struct Case {
        const char* name;
        PixelPaint paint;
        int below;
    };
    const Case cases[] = {
        {"solid copy", {0x0000FF}, 0xFFFFFF},
        {"solid XOR", {0xFFFF00, 7}, 0xFF0000},
        {"cross hatch, transparent", {0x0000FF, 13, hatchPattern(4), false, 0xFFFF00}, 0xFFFFFF},
        {"diagonal hatch, opaque", {0x0000FF, 13, hatchPattern(5), true, 0xFFFF00}, 0xFFFFFF},
        {"horizontal hatch, XOR, opaque", {0x0000FF, 7, hatchPattern(0), true, 0x00FF00}, 0xFF0000},
    };
    for (const Case& c : cases) {
        for (const bool polygon : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (polygon ? ", polygon" : ", rectangle"));
            Bitmap bitmap;
            std::fill(bitmap.pixels.begin(), bitmap.pixels.end(), c.below);
            const GdCanvas canvas{&bitmap.image, &clip};
            if (polygon) {
                fillPolygon(canvas, {{{2, 3}, {22, 3}, {22, 20}, {2, 20}}}, FillRule::Alternate, c.paint);
            } else {
                fillPixels(canvas, 2, 3, 21, 19, c.paint);
            }
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x) {
                    int want = c.below;
                    if (x >= 2 && x <= 21 && y >= 3 && y <= 19 && clip.contains(x, y)) {
                        const bool line = !c.paint.hatch || (c.paint.hatch[y % 8] >> (7 - x % 8) & 1);
                        if (line || c.paint.opaqueGaps)
                            want = int(rop::binary(c.paint.rop2, line ? c.paint.colour : c.paint.background, uint32_t(c.below)));
                    }
                    EXPECT_EQ(bitmap.at(x, y), want) << x << "," << y;
                }
        }
    }
    // The hatches are GDI's 8 x 8 patterns: HS_CROSS's lines on row 3 and column 4.
    EXPECT_EQ(hatchPattern(4)[3], 0xFF);
    EXPECT_EQ(hatchPattern(4)[0], 0x08);
    EXPECT_EQ(hatchPattern(6), nullptr);
}

// A wide pen swept with its square nib: straight lines cover their rows or columns, the
// nib from x - width / 2; a polyline's lines overlap at its corners yet each pixel of the
// union is drawn once (XOR leaves none undone); a point alone is the nib.
TEST(GdRaster, WidePenSweptWithItsNibDrawsEachPixelOnce) {
    struct Case {
        const char* name;
        std::vector<PixelPoint> points;
        bool closed;
        int64_t width, height;
        std::vector<qfip::Rect> covered;  // at least these
        std::vector<qfip::Rect> clear;    // and none of these
    };
    const Case cases[] = {
        {"horizontal, 7 wide", {{3, 10}, {20, 10}}, false, 7, 7, {{3, 7, 21, 14}}, {{0, 0, 24, 7}, {0, 14, 24, 24}}},
        {"vertical, 4 wide", {{10, 2}, {10, 20}}, false, 4, 4, {{8, 2, 12, 21}}, {{0, 0, 8, 24}, {12, 0, 24, 24}}},
        {"a point", {{5, 5}}, false, 3, 5, {{4, 3, 7, 8}}, {{0, 0, 4, 24}, {7, 0, 24, 24}, {0, 0, 24, 3}, {0, 8, 24, 24}}},
        {"a closed diagonal ring", {{2, 2}, {20, 6}, {12, 21}}, true, 3, 3, {{1, 1, 4, 4}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap copy, xored;
        strokeWithNib(GdCanvas{&copy.image, nullptr}, c.points, c.closed, c.width, c.height, PixelPaint{0x000000});
        strokeWithNib(GdCanvas{&xored.image, nullptr}, c.points, c.closed, c.width, c.height, PixelPaint{0xFFFFFF, 7});
        const Pixels ink = copy.of(0x000000);
        EXPECT_EQ(xored.of(0x000000), ink);  // white XOR white, each pixel once
        for (const qfip::Rect& b : c.covered)
            for (const auto& p : pixelsOf(b)) EXPECT_TRUE(ink.count(p)) << p.first << "," << p.second;
        for (const qfip::Rect& b : c.clear)
            for (const auto& p : pixelsOf(b)) EXPECT_FALSE(ink.count(p)) << p.first << "," << p.second;
    }
}
