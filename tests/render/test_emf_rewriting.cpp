// The rewriting of enhanced metafiles around libemf2svg: GDI's page mapping, the markers
// between the records and the SVG pass, and the records it writes where the corpus
// (tests/support/MetafileCorpus.h), which checks the drawn pixels, does not reach: limits,
// hostile records, and rules none of its files use.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
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

// The corpus draws MM_ANISOTROPIC, MM_ISOTROPIC, MM_LOMETRIC and moved origins; these are
// the units and rules it doesn't. The reference device is 96 dpi.
TEST(GdiMapping, PointsLandWhereGdiPutsThem) {
    struct Case {
        const char* what;
        void (*set)(PageMapping&);
        double x, y, deviceX, deviceY;
    };
    const Case cases[] = {
        {"MM_TEXT takes no extents", [](PageMapping& m) { m.setWindowExtent(2, 2); }, 10, 20, 10, 20},
        {"MM_ANISOTROPIC with both origins", [](PageMapping& m) {
             m.setMapMode(MM_ANISOTROPIC), m.setWindowExtent(10, 10), m.setViewportExtent(20, 20);
             m.setWindowOrigin(5, 5), m.setViewportOrigin(1, 2);
         }, 5, 5, 1, 2},
        {"MM_ISOTROPIC keeps a flipped axis flipped", [](PageMapping& m) {
             m.setMapMode(MM_ISOTROPIC), m.setWindowExtent(1000, 1000), m.setViewportExtent(200, -100);
         }, 100, 100, 10, -10},
        {"MM_ISOTROPIC starts as MM_LOMETRIC", [](PageMapping& m) { m.setMapMode(MM_ISOTROPIC); }, 254, -254, 96, 96},
        {"MM_HIMETRIC", [](PageMapping& m) { m.setMapMode(MM_HIMETRIC); }, 2540, -2540, 96, 96},
        {"MM_LOENGLISH", [](PageMapping& m) { m.setMapMode(MM_LOENGLISH); }, 100, -100, 96, 96},
        {"MM_HIENGLISH", [](PageMapping& m) { m.setMapMode(MM_HIENGLISH); }, 1000, -1000, 96, 96},
        {"MM_TWIPS", [](PageMapping& m) { m.setMapMode(MM_TWIPS); }, 1440, -1440, 96, 96},
        {"MM_ANISOTROPIC keeps the last mode's extents", [](PageMapping& m) { m.setMapMode(MM_TWIPS), m.setMapMode(MM_ANISOTROPIC); },
         1440, -1440, 96, 96},
        {"a zero extent is refused", [](PageMapping& m) {
             m.setMapMode(MM_ANISOTROPIC), m.setWindowExtent(0, 5), m.setViewportExtent(3, 0);
         }, 7, 7, 7, 7},
        {"scaled extents", [](PageMapping& m) {
             m.setMapMode(MM_ANISOTROPIC);
             m.scaleViewportExtent(3, 1, 1, 2);  // 1 x 1 to 3 x 0.5: rounds to 3 x 1 (0 refused, kept)
             m.scaleWindowExtent(1, 1, 1, 4);    // 1 x 1 to 1 x 0: refused
         }, 10, 10, 30, 10},
        {"an unknown mode is refused", [](PageMapping& m) { m.setMapMode(9); }, 3, 4, 3, 4},
    };
    for (const Case& c : cases) {
        PageMapping m(ReferenceDevice{{1920, 1440}, {508, 381}});
        c.set(m);
        const Affine::Point p = m.transform().apply(c.x, c.y);
        EXPECT_NEAR(p.x, c.deviceX, 1e-9) << c.what;
        EXPECT_NEAR(p.y, c.deviceY, 1e-9) << c.what;
    }
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
    EXPECT_EQ(blendOfRop3(gdi::SRCCOPY), Blend::Copy);
    EXPECT_EQ(blendOfRop3(0x00F00021), Blend::Copy);  // PATCOPY
}

// A file's own text that looks like a marker is drawn as text, never read as state.
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
        markerText("Qabd", s),  // another drawing's
        good.substr(0, good.size() - 2), good + " 1", "Qabc", "",
        "Qabc 1 1 6 0000FF FFFF00 1 1 4 1",   // hatch style 6
        "Qabc 1 1 5 1000000 FFFF00 1 1 4 1",  // a colour past 24 bits
        "Qabc 1 1 5 0000FF FFFF00 1 10 4 1",  // blend 10
        "Qabc 2 1 5 0000FF FFFF00 1 1 4 1", "Qabc 1 1 5 0000FF FFFF00 1 1 4 -1", "Qabc  1 1 5 0000FF FFFF00 1 1 4 1",
    };
    for (const std::string& text : notMarkers) EXPECT_FALSE(stateOfMarker("Qabc", text)) << text;
    EXPECT_FALSE(stateOfMarker("", good));
}

namespace {

struct Record {
    uint32_t type;
    std::vector<int32_t> words;  // the parameters, 32 bits each
    std::string text;            // a marker's text (EMR_EXTTEXTOUTA)
};

EmfWriter writer() { return EmfWriter({0, 0, 99, 99}, {0, 0, 2646, 2646}); }

// The records of the rewritten file, after its header.
std::vector<Record> rewritten(const EmfWriter& w) {
    const std::optional<NormalisedEmf> out = normaliseEnhancedMetafile(w.bytes(), "Qtest");
    EXPECT_TRUE(out);
    if (!out) return {};
    std::vector<Record> records;
    const std::vector<uint8_t>& bytes = out->bytes;
    const auto u32 = [&](size_t at) { return uint32_t(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24); };
    for (size_t at = u32(4), size; at + 8 <= bytes.size() && (size = u32(at + 4)) >= 8 && at + size <= bytes.size(); at += size) {
        Record r{u32(at), {}, {}};
        for (size_t w = 8; w + 4 <= size; w += 4) r.words.push_back(int32_t(u32(at + w)));
        if (r.type == 83) r.text = std::string(bytes.begin() + ptrdiff_t(at + 76), bytes.begin() + ptrdiff_t(at + 76 + u32(at + 44)));
        records.push_back(r);
    }
    return records;
}

// The parameters of each record of a type, in order.
std::vector<std::vector<int32_t>> wordsOf(const std::vector<Record>& records, uint32_t type) {
    std::vector<std::vector<int32_t>> out;
    for (const Record& r : records)
        if (r.type == type) out.push_back(r.words);
    return out;
}

// A clip path of one box (EMR_POLYPOLYGON in sixteenths of a pixel): its bounds.
void expectClipBox(const std::vector<Record>& records, const std::vector<int32_t>& box) {
    const auto clips = wordsOf(records, 8);
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_EQ(std::vector<int32_t>(clips[0].begin(), clips[0].begin() + 5), (std::vector<int32_t>{box[0], box[1], box[2], box[3], 1}));
}

}  // namespace

// Each case: a file's records, and what libemf2svg is given for them. The rest of what the
// rewriting writes (default objects, pens' styles, clips, map modes, fill mode, hatches,
// raster operations, text cells and alignment) the corpus checks in the drawn pixels.
TEST(EmfNormaliser, GivesLibemf2svgWhatGdiDraws) {
    using namespace gdi;
    using Words = std::vector<std::vector<int32_t>>;
    struct Case {
        const char* what;
        void (*draw)(EmfWriter&);
        void (*check)(const std::vector<Record>&);
    };
    const Case cases[] = {
        {"a pen of 7 drawn 7 wide, with round ends; one of 1 a cosmetic pixel with flat ends",
         [](EmfWriter& w) { w.select(w.pen(PS_SOLID, 7, 0xFF)), w.lineTo(9, 9), w.select(w.pen(PS_DASH, 1, 0xFF)), w.lineTo(1, 9); },
         [](const std::vector<Record>& r) {
             EXPECT_EQ(wordsOf(r, 38).at(0)[1], int32_t(PS_GEOMETRIC));
             EXPECT_EQ(wordsOf(r, 38).at(1)[1], int32_t(PS_DASH) | int32_t(PS_ENDCAP_FLAT) | 0x2000);
         }},
        {"the mapping widens a pen (a wide PS_DASH one of EMR_CREATEPEN solid)",
         [](EmfWriter& w) {
             w.setMapMode(gdi::MM_ANISOTROPIC), w.setWindowExt(1, 1), w.setViewportExt(3, 3);
             w.select(w.pen(PS_DASH, 2, 0)), w.lineTo(9, 9);
         },
         [](const std::vector<Record>& r) {
             ASSERT_EQ(wordsOf(r, 38).size(), 1u);
             EXPECT_EQ(wordsOf(r, 38)[0][1], int32_t(PS_GEOMETRIC));
             EXPECT_EQ(wordsOf(r, 38)[0][2], 6);
         }},
        {"pens switched back and forth are created once each (the spare handles are few)",
         [](EmfWriter& w) {
             const uint32_t a = w.pen(PS_SOLID, 3, 0xFF), b = w.pen(PS_SOLID, 5, 0xFF00);
             for (int i = 0; i < 10; ++i) w.select(i % 2 ? a : b), w.lineTo(i, i);
         },
         [](const std::vector<Record>& r) { EXPECT_EQ(wordsOf(r, 38).size(), 2u); }},
        {"HALFTONE: bitmaps smoothed",
         [](EmfWriter& w) {
             w.record(21, {4});  // SETSTRETCHBLTMODE HALFTONE
             w.stretchDIBits({0, 0, 10, 10}, {0, 0, 1, 1}, qfip::testing::packedDib(1, 1, {0xFF0000}), SRCCOPY);
         },
         [](const std::vector<Record>& r) {
             const auto marker = std::find_if(r.begin(), r.end(), [](const Record& x) { return stateOfMarker("Qtest", x.text).has_value(); });
             ASSERT_NE(marker, r.end());
             EXPECT_TRUE(stateOfMarker("Qtest", marker->text)->smoothBitmaps);
         }},
        {"a positive font height is the cell's: the em a part of it", [](EmfWriter& w) { w.font(23, u"Arial"); },
         [](const std::vector<Record>& r) { EXPECT_EQ(wordsOf(r, 82).at(0).at(1), -20); }},
        {"a LineTo after a shape starts where GDI's current position is",
         [](EmfWriter& w) { w.moveTo(5, 5), w.polygon({{50, 50}, {60, 50}, {60, 60}}), w.lineTo(9, 9); },
         [](const std::vector<Record>& r) {
             const auto line = std::find_if(r.begin(), r.end(), [](const Record& x) { return x.type == 54; });
             ASSERT_NE(line, r.begin());
             EXPECT_EQ(line[-1].type, 27u);
             EXPECT_EQ(line[-1].words, (std::vector<int32_t>{5, 5}));
         }},
        {"RestoreDC by libemf2svg's stack, which it never pops; one past the saves is dropped",
         [](EmfWriter& w) {
             w.saveDC(), w.saveDC(), w.restoreDC(-1);
             w.saveDC(), w.restoreDC(-2);  // back to before the first
             w.restoreDC(-1);              // nothing saved: refused
         },
         [](const std::vector<Record>& r) { EXPECT_EQ(wordsOf(r, 34), (Words{{-1}, {-3}})); }},
        {"a world transform as libemf2svg composes it with a scaling page mapping",
         [](EmfWriter& w) {
             w.setMapMode(gdi::MM_ANISOTROPIC), w.setWindowExt(1, 1), w.setViewportExt(2, 2);
             w.setWorldTransform({1, 0, 0, 1, 10, 0}), w.rectangle({0, 0, 5, 5});
         },
         [](const std::vector<Record>& r) {
             ASSERT_EQ(wordsOf(r, 35).size(), 1u);
             float dx;
             std::memcpy(&dx, &wordsOf(r, 35)[0][4], 4);
             EXPECT_EQ(dx, 20.0f);  // ten units, two pixels each
         }},
        {"a region record of more rectangles than a region holds: a clip path of their box",
         [](EmfWriter& w) {
             std::vector<RecordRect> rects(kClipRegionLimits.maxBoxes, RecordRect{0, 0, 10, 10});
             rects.push_back({20, 0, 30, 10});
             w.selectClipRegion(RGN_COPY, rects), w.rectangle({0, 0, 50, 50});
         },
         [](const std::vector<Record>& r) { expectClipBox(r, {0, 0, 30 * 16, 10 * 16}); }},
        {"a combination past the region's bounds: a clip path of a box that holds it",
         [](EmfWriter& w) {
             std::vector<RecordRect> rows, columns;  // 40,000 runs in their first ten rows
             for (int i = 0; i < 4000; ++i) rows.push_back({0, 2 * i, 10, 2 * i + 1}), columns.push_back({2 * i, 0, 2 * i + 1, 10});
             w.selectClipRegion(RGN_COPY, rows), w.selectClipRegion(RGN_OR, columns), w.rectangle({0, 0, 50, 50});
         },
         [](const std::vector<Record>& r) { expectClipBox(r, {0, 0, 7999 * 16, 7999 * 16}); }},
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
    const std::vector<Record> r = rewritten(w);
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r.back().type, 14u);
    EXPECT_TRUE(wordsOf(r, 34).empty());  // RestoreDC with nothing saved
    EXPECT_TRUE(wordsOf(r, 35).empty());  // no transform given
}
