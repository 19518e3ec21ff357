// The rewriting of enhanced metafiles around libemf2svg: GDI's page mapping, the markers between the records and the SVG pass, and the records the
// rewriting writes for the records it reads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "render/EmfNormaliser.h"
#include "render/EmfSvgState.h"
#include "render/GdiMapping.h"
#include "render/RasterOps.h"
#include "support/MetafileWriter.h"

using namespace qfip::emf;
using qfip::testing::EmfWriter;
using qfip::testing::RecordRect;
namespace gdi = qfip::testing::gdi;

namespace {

// A 96 dpi reference device, as the tests' writer says.
const ReferenceDevice kDevice{{1920, 1440}, {508, 381}};

}  // namespace

TEST(GdiMapping, PointsLandWhereGdiPutsThem) {
    struct Case {
        const char* what;
        void (*set)(PageMapping&);
        double x, y, deviceX, deviceY;
    };
    const Case cases[] = {
        {"MM_TEXT", [](PageMapping&) {}, 10, 20, 10, 20},
        {"MM_TEXT keeps its window origin", [](PageMapping& m) { m.setWindowOrigin(-10, -10); }, 0, 0, 10, 10},
        {"MM_TEXT takes no extents", [](PageMapping& m) { m.setWindowExtent(2, 2); }, 10, 20, 10, 20},
        {"MM_ANISOTROPIC", [](PageMapping& m) {
             m.setMapMode(MM_ANISOTROPIC);
             m.setWindowExtent(1000, 2000);
             m.setViewportExtent(100, 100);
         }, 100, 200, 10, 10},
        {"MM_ANISOTROPIC with both origins", [](PageMapping& m) {
             m.setMapMode(MM_ANISOTROPIC);
             m.setWindowExtent(10, 10);
             m.setViewportExtent(20, 20);
             m.setWindowOrigin(5, 5);
             m.setViewportOrigin(1, 2);
         }, 5, 5, 1, 2},
        {"MM_ISOTROPIC: the smaller scale on both axes", [](PageMapping& m) {
             m.setMapMode(MM_ISOTROPIC);
             m.setWindowExtent(1000, 2000);
             m.setViewportExtent(100, 100);
         }, 100, 200, 5, 10},
        {"MM_ISOTROPIC keeps a flipped axis flipped", [](PageMapping& m) {
             m.setMapMode(MM_ISOTROPIC);
             m.setWindowExtent(1000, 1000);
             m.setViewportExtent(200, -100);
         }, 100, 100, 10, -10},
        {"MM_ISOTROPIC starts as MM_LOMETRIC", [](PageMapping& m) { m.setMapMode(MM_ISOTROPIC); }, 254, -254, 96, 96},
        {"MM_LOMETRIC: 0.1 mm, y up", [](PageMapping& m) { m.setMapMode(MM_LOMETRIC); }, 254, -254, 96, 96},
        {"MM_HIMETRIC", [](PageMapping& m) { m.setMapMode(MM_HIMETRIC); }, 2540, -2540, 96, 96},
        {"MM_LOENGLISH", [](PageMapping& m) { m.setMapMode(MM_LOENGLISH); }, 100, -100, 96, 96},
        {"MM_HIENGLISH", [](PageMapping& m) { m.setMapMode(MM_HIENGLISH); }, 1000, -1000, 96, 96},
        {"MM_TWIPS", [](PageMapping& m) { m.setMapMode(MM_TWIPS); }, 1440, -1440, 96, 96},
        {"MM_ANISOTROPIC keeps the last mode's extents", [](PageMapping& m) {
             m.setMapMode(MM_TWIPS);
             m.setMapMode(MM_ANISOTROPIC);
         }, 1440, -1440, 96, 96},
        {"a zero extent is refused", [](PageMapping& m) {
             m.setMapMode(MM_ANISOTROPIC);
             m.setWindowExtent(0, 5);
             m.setViewportExtent(3, 0);
         }, 7, 7, 7, 7},
        {"scaled extents", [](PageMapping& m) {
             m.setMapMode(MM_ANISOTROPIC);
             m.scaleViewportExtent(3, 1, 1, 2);  // 1 x 1 to 3 x 0.5: rounds to 3 x 1 (0 refused, kept)
             m.scaleWindowExtent(1, 1, 1, 4);    // 1 x 1 to 1 x 0: refused
         }, 10, 10, 30, 10},
        {"an unknown mode is refused", [](PageMapping& m) { m.setMapMode(9); }, 3, 4, 3, 4},
    };
    for (const Case& c : cases) {
        PageMapping m(kDevice);
        c.set(m);
        const Affine::Point p = m.transform().apply(c.x, c.y);
        EXPECT_NEAR(p.x, c.deviceX, 1e-9) << c.what;
        EXPECT_NEAR(p.y, c.deviceY, 1e-9) << c.what;
    }
}

TEST(GdiMapping, TransformsComposeAndInvert) {
    const Affine scale{2, 0, 0, 3, 0, 0}, move{1, 0, 0, 1, 10, 20};
    const Affine::Point p = move.after(scale).apply(1, 1);  // scaled, then moved
    EXPECT_EQ(p.x, 12);
    EXPECT_EQ(p.y, 23);
    const Affine::Point back = move.after(scale).inverse()->apply(12, 23);
    EXPECT_NEAR(back.x, 1, 1e-12);
    EXPECT_NEAR(back.y, 1, 1e-12);
    EXPECT_FALSE((Affine{1, 2, 2, 4, 0, 0}.inverse()));  // no inverse
    EXPECT_FALSE(isUsable({1, 0, 0, 1, NAN, 0}));
    EXPECT_FALSE(isUsable({0, 0, 0, 0, 0, 0}));
}

// The blend each raster operation is drawn with gives what the operation's truth table
// (the one the WMF chain draws by) gives, wherever a colour channel is 0 or 255; the
// operations SVG can't say are drawn as copies.
TEST(EmfSvgState, BlendsDrawWhatTheRasterOperationsDo) {
    // A channel of the shape's colour over one of the picture, as librsvg composes them.
    const auto composed = [](Blend blend, unsigned over, unsigned under) -> unsigned {
        switch (blend) {
        case Blend::Copy: return over;
        case Blend::Difference: return over > under ? over - under : under - over;
        case Blend::DifferenceInverted: return 255 - over > under ? 255 - over - under : under - (255 - over);
        case Blend::DifferenceWhite: return 255 - under;
        case Blend::Multiply: return over * under / 255;
        case Blend::Screen: return over + under - over * under / 255;
        case Blend::Black: return 0;
        case Blend::White: return 255;
        case Blend::Inverted: return 255 - over;
        case Blend::Nothing: return under;
        }
        return 0;
    };
    const auto exact = [&](Blend blend, const auto& operation) {
        for (unsigned over : {0u, 255u})
            for (unsigned under : {0u, 255u})
                if (composed(blend, over, under) != operation(over ? 0xFFFFFFu : 0u, under ? 0xFFFFFFu : 0u) % 256) return false;
        return true;
    };
    for (uint32_t code = 0; code <= 17; ++code) {
        const Blend blend = blendOfRop2(code);
        const bool mixed = code == 2 || code == 3 || code == 5 || code == 8 || code == 12 || code == 14;
        EXPECT_EQ(blend == Blend::Copy, mixed || code == 13 || code == 0 || code == 17) << code;
        EXPECT_EQ(exact(blend, [code](uint32_t pen, uint32_t pixel) { return rop::binary(code, pen, pixel); }), !mixed) << code;
    }
    // The ternary ones by the source S, or the brush P for PATINVERT, over the pixel D.
    for (const uint32_t code : {0x00660046u, 0x005A0049u, 0x008800C6u, 0x00EE0086u, 0x00550009u, 0x00000042u, 0x00FF0062u, 0x00AA0029u}) {
        const uint8_t table = rop::ternaryTable(code);
        const bool byBrush = code == 0x005A0049u;
        EXPECT_NE(blendOfRop3(code), Blend::Copy) << std::hex << code;
        EXPECT_TRUE(exact(blendOfRop3(code), [&](uint32_t input, uint32_t pixel) {
            return byBrush ? rop::ternary(table, input, 0, pixel) : rop::ternary(table, 0, input, pixel);
        })) << std::hex << code;
    }
}

TEST(EmfSvgState, MarkersCarryTheStateAndNothingElse) {
    SvgDrawingState s;
    s.winding = true;
    s.paint = {true, 5, 0x0000FF, 0xFFFF00, true};
    s.shapeBlend = Blend::Difference;
    s.bitmapBlend = Blend::Multiply;
    s.smoothBitmaps = true;
    EXPECT_EQ(stateOfMarker("Qabc", markerText("Qabc", s)), s);
    EXPECT_EQ(stateOfMarker("Qabc", markerText("Qabc", {})), SvgDrawingState{});
    const std::string good = markerText("Qabc", s);
    const std::string notMarkers[] = {
        markerText("Qabd", s),    // another drawing's
        good.substr(0, good.size() - 2),
        good + " 1",
        "Qabc 1 1 6 0000FF FFFF00 1 1 4 1",  // hatch style 6
        "Qabc 1 1 5 1000000 FFFF00 1 1 4 1",  // a colour past 24 bits
        "Qabc 1 1 5 0000FF FFFF00 1 10 4 1",  // blend 10
        "Qabc 2 1 5 0000FF FFFF00 1 1 4 1",
        "Qabc 1 1 5 0000FF FFFF00 1 1 4 -1",
        "Qabc  1 1 5 0000FF FFFF00 1 1 4 1",
        "Qabc",
        "",
    };
    for (const std::string& text : notMarkers) EXPECT_FALSE(stateOfMarker("Qabc", text)) << text;
    EXPECT_FALSE(stateOfMarker("", good));
    EXPECT_EQ(blendOfRop2(gdi::R2_XORPEN), Blend::Difference);
    EXPECT_EQ(blendOfRop2(gdi::R2_COPYPEN), Blend::Copy);
    EXPECT_EQ(blendOfRop3(gdi::SRCINVERT), Blend::Difference);
    EXPECT_EQ(blendOfRop3(gdi::SRCCOPY), Blend::Copy);
    EXPECT_EQ(blendOfRop3(0x005A0049), Blend::Difference);  // PATINVERT: the brush XOR what is below
    EXPECT_EQ(blendOfRop3(0x00F00021), Blend::Copy);        // PATCOPY
}

namespace {

struct Record {
    uint32_t type;
    std::vector<int32_t> words;  // the parameters, 32 bits each
    std::string text;            // a marker's text (EMR_EXTTEXTOUTA)
};

// The records of a rewritten file, after its header.
std::vector<Record> recordsOf(const std::vector<uint8_t>& bytes) {
    std::vector<Record> out;
    const auto u32 = [&](size_t at) { return uint32_t(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24); };
    for (size_t at = u32(4); at + 8 <= bytes.size();) {
        Record r{u32(at), {}, {}};
        const uint32_t size = u32(at + 4);
        for (size_t w = 8; w + 4 <= size; w += 4) r.words.push_back(int32_t(u32(at + w)));
        if (r.type == 83) r.text = std::string(bytes.begin() + ptrdiff_t(at + 76), bytes.begin() + ptrdiff_t(at + 76 + u32(at + 44)));
        out.push_back(r);
        at += size;
    }
    return out;
}

EmfWriter writer() { return EmfWriter({0, 0, 99, 99}, {0, 0, 2646, 2646}); }

std::vector<Record> rewritten(const EmfWriter& w) {
    const std::optional<NormalisedEmf> out = normaliseEnhancedMetafile(w.bytes(), "Qtest");
    EXPECT_TRUE(out);
    return out ? recordsOf(out->bytes) : std::vector<Record>{};
}

size_t countOf(const std::vector<Record>& records, uint32_t type) {
    return size_t(std::count_if(records.begin(), records.end(), [&](const Record& r) { return r.type == type; }));
}

// The first record of a type from `from` on, or nullptr.
const Record* find(const std::vector<Record>& records, uint32_t type, size_t from = 0) {
    for (size_t i = from; i < records.size(); ++i)
        if (records[i].type == type) return &records[i];
    return nullptr;
}

// The state the last marker before the last record of `type` gives.
SvgDrawingState stateAt(const std::vector<Record>& records, uint32_t type) {
    SvgDrawingState s;
    for (const Record& r : records) {
        if (r.type == 83)
            if (const auto m = stateOfMarker("Qtest", r.text)) s = *m;
        if (r.type == type) break;
    }
    return s;
}

}  // namespace

// Each case: a file's records, and what libemf2svg is given for them.
TEST(EmfNormaliser, GivesLibemf2svgWhatGdiDraws) {
    using namespace gdi;
    struct Case {
        const char* what;
        void (*draw)(EmfWriter&);
        void (*check)(const std::vector<Record>&);
    };
    const Case cases[] = {
        {"GDI's white brush and black pen before the first shape",
         [](EmfWriter& w) { w.rectangle({1, 1, 5, 5}); },
         [](const std::vector<Record>& r) {
             const Record* brush = find(r, 39);
             ASSERT_TRUE(brush);
             EXPECT_EQ(brush->words[1], int32_t(BS_SOLID));
             EXPECT_EQ(brush->words[2], 0xFFFFFF);
             const Record* pen = find(r, 38);
             ASSERT_TRUE(pen);
             EXPECT_EQ(pen->words[3 + 1], 0);  // black
         }},
        {"a pen of 7 drawn 7 wide, with round ends; one of 1 a cosmetic pixel with flat ends",
         [](EmfWriter& w) {
             w.select(w.pen(PS_SOLID, 7, 0xFF));
             w.lineTo(9, 9);
             w.select(w.pen(PS_DASH, 1, 0xFF));
             w.lineTo(1, 9);
         },
         [](const std::vector<Record>& r) {
             std::vector<std::pair<int32_t, int32_t>> pens;  // style, width
             for (const Record& x : r)
                 if (x.type == 38) pens.emplace_back(x.words[1], x.words[2]);
             EXPECT_EQ(pens, (std::vector<std::pair<int32_t, int32_t>>{{int32_t(PS_GEOMETRIC), 7}, {int32_t(PS_DASH) | int32_t(PS_ENDCAP_FLAT) | 0x2000, 1}}));
         }},
        {"a wide PS_DASH pen of EMR_CREATEPEN is solid; the mapping widens a pen",
         [](EmfWriter& w) {
             w.setMapMode(gdi::MM_ANISOTROPIC);
             w.setWindowExt(1, 1);
             w.setViewportExt(3, 3);
             w.select(w.pen(PS_DASH, 2, 0));
             w.lineTo(9, 9);
         },
         [](const std::vector<Record>& r) {
             const Record* pen = find(r, 38);
             ASSERT_TRUE(pen);
             EXPECT_EQ(pen->words[1], int32_t(PS_GEOMETRIC));
             EXPECT_EQ(pen->words[2], 6);
         }},
        {"pens switched back and forth are created once each",
         [](EmfWriter& w) {
             const uint32_t a = w.pen(PS_SOLID, 3, 0xFF), b = w.pen(PS_SOLID, 5, 0xFF00);
             for (int i = 0; i < 10; ++i) {
                 w.select(i % 2 ? a : b);
                 w.lineTo(i, i);
             }
         },
         [](const std::vector<Record>& r) { EXPECT_EQ(countOf(r, 38), 2u); }},
        {"Rectangle in a path bracket: the path's own figure",
         [](EmfWriter& w) {
             w.beginPath();
             w.rectangle({20, 20, 80, 80});
             w.endPath();
             w.selectClipPath(RGN_COPY);
         },
         [](const std::vector<Record>& r) {
             EXPECT_EQ(countOf(r, 43), 0u);
             const auto begin = std::find_if(r.begin(), r.end(), [](const Record& x) { return x.type == 59; });
             const auto move = std::find_if(begin, r.end(), [](const Record& x) { return x.type == 27; });
             ASSERT_LT(move + 3, r.end());
             // From the top right (a pixel in from the right edge), in sixteenths of a pixel.
             EXPECT_EQ(move->words, (std::vector<int32_t>{79 * 16, 20 * 16}));
             EXPECT_EQ(move[1].type, 5u);   // POLYBEZIERTO round the rectangle
             EXPECT_EQ(move[1].words[4], 12);
             EXPECT_EQ(move[2].type, 61u);  // CLOSEFIGURE
             EXPECT_EQ(move[3].type, 60u);  // ENDPATH
         }},
        {"ExcludeClipRect: a clip path of what is left",
         [](EmfWriter& w) {
             w.excludeClipRect({10, 10, 20, 20});
             w.rectangle({0, 0, 50, 50});
         },
         [](const std::vector<Record>& r) {
             const Record* rects = find(r, 8);  // POLYPOLYGON
             ASSERT_TRUE(rects);
             EXPECT_EQ(rects->words[4], 4);  // four rectangles round the hole
             EXPECT_TRUE(find(r, 67));       // SELECTCLIPPATH
             EXPECT_EQ(countOf(r, 29), 0u);  // no EXCLUDECLIPRECT for libemf2svg
         }},
        {"a clip set and reset before drawing: nothing to clip",
         [](EmfWriter& w) {
             w.intersectClipRect({10, 10, 20, 20});
             w.selectClipRegion(RGN_COPY, {});
             w.rectangle({0, 0, 50, 50});
         },
         [](const std::vector<Record>& r) {
             EXPECT_FALSE(find(r, 67));
             EXPECT_EQ(countOf(r, 30), 0u);
         }},
        {"gdi::MM_ISOTROPIC given as gdi::MM_ANISOTROPIC with GDI's viewport",
         [](EmfWriter& w) {
             w.setMapMode(gdi::MM_ISOTROPIC);
             w.setWindowExt(1000, 2000);
             w.setViewportExt(100, 100);
             w.rectangle({0, 0, 100, 100});
         },
         [](const std::vector<Record>& r) {
             EXPECT_EQ(find(r, 17)->words[0], int32_t(gdi::MM_ANISOTROPIC));
             EXPECT_EQ(find(r, 11)->words, (std::vector<int32_t>{50, 100}));
             EXPECT_EQ(countOf(r, 17), 1u);
         }},
        {"a rectangle under a flipped mapping: its corners in the mapping's order",
         [](EmfWriter& w) {
             w.setMapMode(gdi::MM_ANISOTROPIC);
             w.setWindowExt(100, -100);
             w.setViewportExt(100, 100);
             w.rectangle({10, 10, 20, 30});
         },
         [](const std::vector<Record>& r) { EXPECT_EQ(find(r, 43)->words, (std::vector<int32_t>{10, 30, 20, 10})); }},
        {"fill mode, hatch and ROP2 in one marker before the shape",
         [](EmfWriter& w) {
             w.setPolyFillMode(WINDING);
             w.setRop2(R2_XORPEN);
             w.setBkColour(0x00FFFF);  // yellow
             w.select(w.brush(BS_HATCHED, 0xFF0000, HS_CROSS));
             w.polygon({{1, 1}, {5, 1}, {5, 5}});
         },
         [](const std::vector<Record>& r) {
             const SvgDrawingState s = stateAt(r, 86);
             EXPECT_TRUE(s.winding);
             EXPECT_EQ(s.paint, (SvgPaint{true, HS_CROSS, 0x0000FF, 0xFFFF00, true}));
             EXPECT_EQ(s.shapeBlend, Blend::Difference);
             EXPECT_EQ(countOf(r, 19) + countOf(r, 20), 0u);  // libemf2svg gets neither record
         }},
        {"a bitmap's raster operation and the stretch mode",
         [](EmfWriter& w) {
             w.record(21, {4});  // HALFTONE
             w.stretchDIBits({0, 0, 10, 10}, {0, 0, 1, 1}, qfip::testing::packedDib(1, 1, {0xFF0000}), SRCINVERT);
         },
         [](const std::vector<Record>& r) {
             const SvgDrawingState s = stateAt(r, 81);
             EXPECT_EQ(s.bitmapBlend, Blend::Difference);
             EXPECT_TRUE(s.smoothBitmaps);
         }},
        {"OPAQUE text: its cells filled first; TA_BOTTOM raised by the descent",
         [](EmfWriter& w) {
             w.select(w.font(-20, u"Arial"));
             w.setTextAlign(TA_BOTTOM);
             w.text(10, 50, {'H'}, 0, {15});
         },
         [](const std::vector<Record>& r) {
             const Record* cells = find(r, 3);  // POLYGON, in sixteenths
             ASSERT_TRUE(cells);
             EXPECT_EQ(cells->words[4], 4);
             // 15 wide, from the bottom up 1.11 em (ascent and descent of 20).
             EXPECT_EQ(cells->words[5], 10 * 16);
             EXPECT_EQ(cells->words[6], int32_t(std::lround((50 - 22.2) * 16)));
             EXPECT_EQ(cells->words[7], 25 * 16);
             const Record* text = find(r, 84);
             ASSERT_TRUE(text);
             EXPECT_EQ(text->words[8], 46);  // y: 50 less a descent of 4.2
         }},
        {"TRANSPARENT text: no cells",
         [](EmfWriter& w) {
             w.setBkMode(TRANSPARENT);
             w.text(10, 50, {'H'}, 0, {15});
         },
         [](const std::vector<Record>& r) { EXPECT_FALSE(find(r, 3)); }},
        {"a positive font height is the cell's: the em a part of it",
         [](EmfWriter& w) { w.font(23, u"Arial"); },
         [](const std::vector<Record>& r) { EXPECT_EQ(find(r, 82)->words[1], -20); }},
        {"a LineTo after a shape starts where GDI's current position is",
         [](EmfWriter& w) {
             w.moveTo(5, 5);
             w.polygon({{50, 50}, {60, 50}, {60, 60}});
             w.lineTo(9, 9);
         },
         [](const std::vector<Record>& r) {
             const auto line = std::find_if(r.begin(), r.end(), [](const Record& x) { return x.type == 54; });
             ASSERT_NE(line, r.begin());
             EXPECT_EQ(line[-1].type, 27u);
             EXPECT_EQ(line[-1].words, (std::vector<int32_t>{5, 5}));
         }},
        {"RestoreDC by libemf2svg's stack, which it never pops; one past the saves is dropped",
         [](EmfWriter& w) {
             w.saveDC();
             w.saveDC();
             w.restoreDC(-1);
             w.saveDC();
             w.restoreDC(-2);  // back to before the first
             w.restoreDC(-1);  // nothing saved: refused
         },
         [](const std::vector<Record>& r) {
             std::vector<int32_t> restores;
             for (const Record& x : r)
                 if (x.type == 34) restores.push_back(x.words[0]);
             EXPECT_EQ(restores, (std::vector<int32_t>{-1, -3}));
         }},
        {"a world transform as libemf2svg composes it with the page's",
         [](EmfWriter& w) {
             w.setMapMode(gdi::MM_ANISOTROPIC);
             w.setWindowExt(1, 1);
             w.setViewportExt(2, 2);
             w.setWorldTransform({1, 0, 0, 1, 10, 0});
             w.rectangle({0, 0, 5, 5});
         },
         [](const std::vector<Record>& r) {
             const Record* t = find(r, 35);
             ASSERT_TRUE(t);
             float dx;
             std::memcpy(&dx, &t->words[4], 4);
             EXPECT_EQ(dx, 20.0f);  // ten units, two pixels each
         }},
        {"a region record of more rectangles than a region holds: a clip path of their box",
         [](EmfWriter& w) {
             std::vector<RecordRect> rects(kClipRegionLimits.maxBoxes, RecordRect{0, 0, 10, 10});
             rects.push_back({20, 0, 30, 10});
             w.selectClipRegion(RGN_COPY, rects);
             w.rectangle({0, 0, 50, 50});
         },
         [](const std::vector<Record>& r) {
             const Record* clip = find(r, 8);  // POLYPOLYGON, in sixteenths
             ASSERT_TRUE(clip);
             EXPECT_EQ(clip->words[4], 1);
             EXPECT_EQ(std::vector<int32_t>(clip->words.begin(), clip->words.begin() + 4), (std::vector<int32_t>{0, 0, 30 * 16, 10 * 16}));
         }},
        {"a combination past the region's bounds: a clip path of a box that holds it",
         [](EmfWriter& w) {
             std::vector<RecordRect> rows, columns;  // 40,000 runs in their first ten rows
             for (int i = 0; i < 4000; ++i) {
                 rows.push_back({0, 2 * i, 10, 2 * i + 1});
                 columns.push_back({2 * i, 0, 2 * i + 1, 10});
             }
             w.selectClipRegion(RGN_COPY, rows);
             w.selectClipRegion(RGN_OR, columns);
             w.rectangle({0, 0, 50, 50});
         },
         [](const std::vector<Record>& r) {
             const Record* clip = find(r, 8);
             ASSERT_TRUE(clip);
             EXPECT_EQ(clip->words[4], 1);
             EXPECT_EQ(std::vector<int32_t>(clip->words.begin(), clip->words.begin() + 4), (std::vector<int32_t>{0, 0, 7999 * 16, 7999 * 16}));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EmfWriter w = writer();
        c.draw(w);
        c.check(rewritten(w));
    }
}

// The header: libemf2svg's scale of 1 over the bounds that hold the frame, and the frame
// as the view box; what can't be rewritten is drawn as it is.
TEST(EmfNormaliser, FrameAndRefusals) {
    const std::optional<NormalisedEmf> out = normaliseEnhancedMetafile(writer().bytes(), "Qtest");
    ASSERT_TRUE(out);
    EXPECT_NEAR(out->frameWidth, 100.0063, 1e-4);  // 26.46 mm at 96 dpi
    EXPECT_EQ(out->libraryWidth, 101);              // the whole pixels that hold it
    EXPECT_EQ(out->frameX, 0);
    EXPECT_EQ(out->bytes[56] | out->bytes[57] << 8, 1 + 32);  // the spare handles

    std::vector<uint8_t> bytes = writer().bytes();
    bytes[56] = bytes[57] = 0xFF;  // a full object table: no spares
    EXPECT_FALSE(normaliseEnhancedMetafile(bytes, "Qtest"));
    EXPECT_FALSE(normaliseEnhancedMetafile(std::vector<uint8_t>(60, 0), "Qtest"));
    bytes = writer().bytes();
    bytes[4] = 84;  // a header shorter than its fields
    EXPECT_FALSE(normaliseEnhancedMetafile(bytes, "Qtest"));

    // Records that could swell the file past four times its size (a marker for every
    // other record): drawn as it is.
    EmfWriter swelling = writer();
    for (int i = 0; i < 100000; ++i) swelling.setPolyFillMode(i % 2 ? 1 : 2), swelling.lineTo(i % 7, 1);
    EXPECT_FALSE(normaliseEnhancedMetafile(swelling.bytes(), "Qtest"));
}

// Records too short for what they announce, handles past the table, regions that claim
// more rectangles than they hold: read within their own bytes, the file still rewritten.
TEST(EmfNormaliser, HostileRecordsAreReadWithinThemselves) {
    EmfWriter w = writer();
    for (uint32_t type : {9u, 17u, 29u, 30u, 35u, 36u, 37u, 38u, 39u, 43u, 44u, 54u, 75u, 82u, 84u, 95u})
        w.record(type, {});  // each with nothing after its size
    w.record(37, {70000});  // a handle past the table
    w.record(40, {70000});
    w.record(38, {70000, 0, 5, 0, 0});
    w.record(75, {0xFFFFFF, 1, 32, 1, 1000000, 16, 0, 0, 1, 1, 0, 0, 1, 1});  // claims a million rectangles
    w.record(34, {uint32_t(-100)});
    w.record(36, {0, 0, 0, 0, 0, 0, 2});  // a transform without inverse
    w.rectangle({0, 0, 10, 10});
    const std::optional<NormalisedEmf> out = normaliseEnhancedMetafile(w.bytes(), "Qtest");
    ASSERT_TRUE(out);
    const std::vector<Record> r = recordsOf(out->bytes);
    EXPECT_EQ(r.back().type, 14u);
    EXPECT_EQ(countOf(r, 34), 0u);  // RestoreDC with nothing saved
    EXPECT_EQ(countOf(r, 35), 0u);  // no transform given
}
