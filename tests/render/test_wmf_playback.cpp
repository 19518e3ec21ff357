// What the helper follows and changes around libwmf's player: the records as the player
// walks them, the bytes it is given, the clip region and mapping followed beside it, the
// text records and their characters.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/DrawnPictures.h"
#include "render/AnsiText.h"
#include "render/WmfPlaybackState.h"
#include "render/WmfPlayerInput.h"
#include "render/WmfRecords.h"
#include "support/MetafileWriter.h"

using namespace qfip::testing;
using namespace qfip::testing::gdi;

namespace {

// A placeable file of 100 x 100 pixels (96 units per inch, window 100 x 100) with the
// records `draw` writes.
std::vector<uint8_t> file100(const std::function<void(WmfWriter&)>& draw) {
    WmfWriter w({0, 0, 100, 100}, 96);
    w.setWindowOrg(0, 0);
    w.setWindowExt(100, 100);
    draw(w);
    return w.bytes(8);
}

// The clip region after every record, as boxes (nullopt: no clip).
std::optional<std::vector<qfip::Rect>> clipAfter(const std::vector<uint8_t>& bytes) {
    const auto header = qfip::placeableMetafileHeader(bytes);
    WmfPlaybackState state(bytes, *header, 100, 100, true);
    state.followTo(bytes.size());
    if (!state.clip()) return std::nullopt;
    return state.clip()->boxes();
}

std::vector<uint8_t> readAll(WmfPlayerInput& input) {
    std::vector<uint8_t> out;
    for (int c; (c = WmfPlayerInput::read(&input)) != EOF;) out.push_back(uint8_t(c));
    return out;
}

}  // namespace

// The clip region as GDI keeps it, in the picture's pixels, through every clipping
// record, SaveDC and RestoreDC, region objects and the window's mapping.
TEST(WmfPlaybackState, FollowsTheClipRegionAsGdiKeepsIt) {
    using Boxes = std::vector<qfip::Rect>;
    struct Case {
        const char* name;
        std::function<void(WmfWriter&)> draw;
        std::optional<Boxes> clip;
    };
    const Case cases[] = {
        {"no clipping record", [](WmfWriter& w) { w.rectangle({0, 0, 10, 10}); }, std::nullopt},
        {"IntersectClipRect", [](WmfWriter& w) { w.intersectClipRect({10, 20, 50, 40}); }, Boxes{{10, 20, 50, 40}}},
        {"a rectangle given right to left", [](WmfWriter& w) { w.intersectClipRect({50, 40, 10, 20}); }, Boxes{{10, 20, 50, 40}}},
        {"ExcludeClipRect from the whole picture", [](WmfWriter& w) { w.excludeClipRect({0, 0, 100, 90}); },
         Boxes{{0, 90, 100, 100}}},
        {"both, in turn", [](WmfWriter& w) {
             w.intersectClipRect({0, 0, 50, 50});
             w.excludeClipRect({10, 0, 20, 50});
         }, Boxes{{0, 0, 10, 50}, {20, 0, 50, 50}}},
        {"RestoreDC takes back what came after SaveDC", [](WmfWriter& w) {
             w.intersectClipRect({0, 0, 50, 50});
             w.saveDC();
             w.excludeClipRect({0, 0, 100, 100});
             w.restoreDC(-1);
         }, Boxes{{0, 0, 50, 50}}},
        {"RestoreDC with nothing saved is ignored", [](WmfWriter& w) {
             w.intersectClipRect({0, 0, 50, 50});
             w.restoreDC(-1);
         }, Boxes{{0, 0, 50, 50}}},
        {"SelectClipRegion", [](WmfWriter& w) {
             w.select(w.pen(PS_NULL, 0, 0));
             w.selectClipRegion(w.region({{0, 0, 30, 100}, {70, 0, 100, 100}}));
         }, Boxes{{0, 0, 30, 100}, {70, 0, 100, 100}}},
        {"SelectObject of a region, as Windows records SelectClipRgn", [](WmfWriter& w) {
             w.select(w.region({{10, 10, 20, 20}}));
         }, Boxes{{10, 10, 20, 20}}},
        {"SelectClipRegion of slot 0 holding no region: no clip", [](WmfWriter& w) {
             w.select(w.pen(PS_NULL, 0, 0));
             w.intersectClipRect({0, 0, 50, 50});
             w.selectClipRegion(0);
         }, std::nullopt},
        {"SelectClipRegion of another slot holding no region: unchanged", [](WmfWriter& w) {
             w.select(w.pen(PS_NULL, 0, 0));
             w.select(w.pen(PS_NULL, 0, 0));
             w.intersectClipRect({0, 0, 50, 50});
             w.selectClipRegion(1);
         }, Boxes{{0, 0, 50, 50}}},
        {"a region slot taken by a pen after the region is deleted", [](WmfWriter& w) {
             const uint16_t region = w.region({{10, 10, 20, 20}});
             w.deleteObject(region);
             w.select(w.pen(PS_NULL, 0, 0));
             w.select(region);
         }, std::nullopt},
        {"ExcludeClipRect after SelectClipRgn(NULL)", [](WmfWriter& w) {
             w.select(w.pen(PS_NULL, 0, 0));
             w.intersectClipRect({0, 0, 10, 10});
             w.selectClipRegion(0);
             w.excludeClipRect({0, 10, 100, 100});
         }, Boxes{{0, 0, 100, 10}}},
        {"OffsetClipRgn", [](WmfWriter& w) {
             w.intersectClipRect({0, 0, 20, 20});
             w.offsetClipRegion(30, 10);
         }, Boxes{{30, 10, 50, 30}}},
        {"OffsetClipRgn partly out of the picture", [](WmfWriter& w) {
             w.intersectClipRect({0, 0, 20, 20});
             w.offsetClipRegion(90, 0);
         }, Boxes{{90, 0, 100, 20}}},
        {"OffsetClipRgn without a clip: none", [](WmfWriter& w) { w.offsetClipRegion(5, 5); }, std::nullopt},
        {"a window twice as wide and high", [](WmfWriter& w) {
             w.setWindowExt(200, 200);
             w.intersectClipRect({0, 0, 100, 100});
         }, Boxes{{0, 0, 50, 50}}},
        {"the window's origin moved", [](WmfWriter& w) {
             w.setWindowOrg(-50, 0);
             w.intersectClipRect({0, 0, 10, 10});
         }, Boxes{{50, 0, 60, 10}}},
        {"a window extent of 0 is refused", [](WmfWriter& w) {
             w.setWindowExt(0, 50);
             w.intersectClipRect({0, 0, 10, 10});
         }, Boxes{{0, 0, 10, 10}}},
        {"y flipped", [](WmfWriter& w) {
             w.setWindowOrg(0, 100);
             w.setWindowExt(100, -100);
             w.intersectClipRect({0, 0, 10, 10});
         }, Boxes{{0, 90, 10, 100}}},
        {"MM_ANISOTROPIC", [](WmfWriter& w) {
             w.setMapMode(MM_ANISOTROPIC);
             w.setWindowExt(200, 50);
             w.intersectClipRect({0, 0, 100, 10});
         }, Boxes{{0, 0, 50, 20}}},
        {"MM_ISOTROPIC: the smaller scale for both", [](WmfWriter& w) {
             w.setMapMode(MM_ISOTROPIC);
             w.setWindowExt(200, 50);
             w.intersectClipRect({0, 0, 100, 10});
         }, Boxes{{0, 0, 50, 5}}},
        {"a region in the mapping where it is selected", [](WmfWriter& w) {
             const uint16_t region = w.region({{0, 0, 100, 100}});
             w.setWindowExt(400, 400);
             w.selectClipRegion(region);
         }, Boxes{{0, 0, 25, 25}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(clipAfter(file100(c.draw)), c.clip);
    }
}

// A record is followed once the player has read the whole of it, not before; the
// mapping is the player's points, scaled by the window's extent.
TEST(WmfPlaybackState, FollowsRecordsTheWholeOfWhichWasRead) {
    const std::vector<uint8_t> bytes = file100([](WmfWriter& w) {
        w.intersectClipRect({0, 0, 10, 10});
        w.setWindowExt(50, 200);
        w.moveTo(7, 8);
    });
    const auto header = qfip::placeableMetafileHeader(bytes);
    WmfPlaybackState state(bytes, *header, 100, 100, true);
    const size_t first = wmf::kUsualFirstRecord + 10 + 10;  // after SetWindowOrg, SetWindowExt
    state.followTo(first + 13);  // IntersectClipRect is 14 bytes
    EXPECT_EQ(state.currentRecord(), first);
    EXPECT_EQ(state.clip(), nullptr);
    const uint64_t version = state.clipVersion();
    state.followTo(first + 14);
    ASSERT_NE(state.clip(), nullptr);
    EXPECT_GT(state.clipVersion(), version);
    EXPECT_EQ(state.currentRecord(), first + 14);
    // 100 units at 96 a inch are 75 points; the window of 50 x 200 doubles x, halves y.
    EXPECT_FLOAT_EQ(state.frameRight(), 75.0f);
    state.followTo(bytes.size());
    EXPECT_FLOAT_EQ(state.frameRight(), 37.5f);
    EXPECT_FLOAT_EQ(state.frameBottom(), 150.0f);
    EXPECT_EQ(state.pixelX(state.deviceX(25)), 50);
    EXPECT_EQ(state.pixelY(state.deviceY(100)), 50);
    EXPECT_EQ(state.currentX(), 7);
    EXPECT_EQ(state.currentY(), 8);
}

// Region objects are followed in the slots the player gives them, lowest free first.
TEST(WmfPlaybackState, RegionsTakeTheSlotsThePlayerGivesThem) {
    const std::vector<uint8_t> bytes = file100([](WmfWriter& w) {
        const uint16_t pen = w.pen(PS_SOLID, 1, 0);                // slot 0
        const uint16_t brush = w.brush(BS_SOLID, 0);               // slot 1
        w.deleteObject(pen);
        const uint16_t region = w.region({{5, 5, 15, 15}});        // slot 0 again
        EXPECT_EQ(region, 0);
        w.select(brush);
        w.select(region);
    });
    EXPECT_EQ(clipAfter(bytes), (std::optional<std::vector<qfip::Rect>>{{{5, 5, 15, 15}}}));
}

// The clip regions held at once, saved ones included, stay within their bound: a file
// that saves a large region over and over is refused rather than filling memory.
TEST(WmfPlaybackState, RegionsHeldAtOnceStayWithinTheirBound) {
    const auto saving = [](int times) {
        return file100([times](WmfWriter& w) {
            // A checkerboard: 50 runs in each of 100 rows.
            w.intersectClipRect({0, 0, 100, 100});
            for (int y = 0; y < 100; ++y)
                for (int x = 1 - y % 2; x < 100; x += 2) w.excludeClipRect({x, y, x + 1, y + 1});
            for (int i = 0; i < times; ++i) w.saveDC();
        });
    };
    const std::vector<uint8_t> fine = saving(100), tooMany = saving(int(WmfPlaybackState::kMaxHeldSpans / 5000) + 1);
    const auto header = qfip::placeableMetafileHeader(fine);
    WmfPlaybackState state(fine, *header, 100, 100, true);
    state.followTo(fine.size());
    ASSERT_NE(state.clip(), nullptr);
    EXPECT_EQ(state.clip()->boxCount(), 5000u);
    WmfPlaybackState refused(tooMany, *header, 100, 100, true);
    EXPECT_THROW(refused.followTo(tooMany.size()), RegionTooComplex);
}

// A region object of more runs than a clip region holds is refused when it is selected,
// before it is cut to the picture; one of as many as it holds is taken.
TEST(WmfPlaybackState, ARegionPastItsBoundRefusesTheFile) {
    const auto combs = [](int scans) {
        // META_CREATEREGION: scans of a row each, a tooth at every other unit (one along
        // from the row above's, so that rows never join).
        constexpr uint16_t kTeeth = 16383;
        std::vector<uint16_t> words = {0, 6, 0, 0, 0, uint16_t(scans), 2 * kTeeth, 0, 0, 2 * kTeeth, uint16_t(scans)};
        for (int s = 0; s < scans; ++s) {
            words.insert(words.end(), {2 * kTeeth, uint16_t(s), uint16_t(s + 1)});
            for (uint16_t i = 0; i < kTeeth; ++i) words.insert(words.end(), {uint16_t(2 * i + s % 2), uint16_t(2 * i + 1 + s % 2)});
            words.push_back(2 * kTeeth);
        }
        return file100([&](WmfWriter& w) {
            w.record(0x06FF, words);  // slot 0
            w.select(0);
        });
    };
    const size_t most = WmfPlaybackState::kRegionLimits.maxBoxes;
    ASSERT_LT(4 * 16383u, most);
    ASSERT_GT(5 * 16383u, most);
    const std::vector<uint8_t> fits = combs(4), tooMany = combs(5);
    const auto header = qfip::placeableMetafileHeader(fits);
    WmfPlaybackState taken(fits, *header, 100, 100, true);
    taken.followTo(fits.size());
    ASSERT_NE(taken.clip(), nullptr);
    EXPECT_EQ(taken.clip()->boxCount(), 4 * 50u);  // cut to the picture's 100 columns
    WmfPlaybackState refused(tooMany, *header, 100, 100, true);
    EXPECT_THROW(refused.followTo(tooMany.size()), RegionTooComplex);
}

// The player is given the file's bytes with the prologue before the first record and the
// records it would act on wrongly replaced, sizes unchanged; a seek back to the start
// gives the same bytes again.
TEST(WmfPlayerInput, GivesThePlayerThePatchedFile) {
    std::vector<std::pair<size_t, size_t>> records;  // where each record is, in the file
    const std::vector<uint8_t> bytes = file100([&](WmfWriter& w) {
        w.pen(PS_DOT, 0, 0);                      // width 0: marked
        w.pen(PS_DOT, 1, 0);                      // kept
        w.intersectClipRect({0, 0, 10, 10});      // -> SetMapperFlags
        w.setMapMode(MM_ANISOTROPIC);             // -> mode 0
        w.setMapMode(MM_TEXT);                    // kept
        w.setWindowExt(0, 10);                    // -> SetMapperFlags
        w.restoreDC(-1);                          // nothing saved: -> SetMapperFlags
        w.saveDC();
        w.restoreDC(-1);                          // kept
        std::vector<RecordRect> many;
        for (int i = 0; i < 2100; ++i) many.push_back({i % 100, i, i % 100 + 1, i + 1});
        w.region(many);                           // 4200 values: no scans
        w.region({{0, 0, 5, 5}});                 // kept
    });
    const std::vector<uint8_t> prologue = {5, 0, 0, 0, 0x0B, 0x02, 1, 0, 2, 0};
    WmfPlayerInput input(bytes, wmf::kUsualFirstRecord, prologue);
    const std::vector<uint8_t> read = readAll(input);
    ASSERT_EQ(read.size(), bytes.size() + prologue.size());
    // The headers, then the prologue.
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 40, read.begin()));
    EXPECT_TRUE(std::equal(prologue.begin(), prologue.end(), read.begin() + 40));
    // Record by record, what differs.
    const std::span<const uint8_t> given(read.data() + prologue.size(), read.size() - prologue.size());
    std::vector<std::string> changes;
    size_t at = 40;
    while (const std::optional<wmf::Record> record = wmf::recordAt(bytes, at, wmf::largestRecordWords(bytes, 40))) {
        for (size_t i = at + 4; i < record->end(); ++i) {  // the function and the parameters
            if (given[i] == bytes[i]) continue;
            const size_t word = (i - at - 4) / 2;
            const uint16_t value = uint16_t(given[at + 4 + 2 * word] | given[at + 5 + 2 * word] << 8);
            changes.push_back(std::to_string(record->function) + ":" + std::to_string(word) + "=" + std::to_string(value));
            i = at + 5 + 2 * word;
        }
        at = record->end();
    }
    EXPECT_EQ(changes, (std::vector<std::string>{"762:1=3842", "1046:0=561", "259:1=0", "524:0=561", "295:0=561", "1791:6=0"}));
    // Where the reading is, in the file's own bytes.
    WmfPlayerInput::seek(&input, 45);
    EXPECT_EQ(input.filePosition(), 40u);
    WmfPlayerInput::seek(&input, 60);
    EXPECT_EQ(input.filePosition(), 50u);
    WmfPlayerInput::seek(&input, 0);
    EXPECT_EQ(readAll(input), read);
    EXPECT_EQ(WmfPlayerInput::seek(&input, long(read.size()) + 1), -1);
}

// META_TEXTOUT and META_EXTTEXTOUT as the records hold them; a record too short for what
// it announces gives nothing.
TEST(WmfRecords, TextRecordsReadWithinTheirBounds) {
    const auto record = [](uint16_t function, const std::vector<uint16_t>& words) {
        static std::vector<uint8_t> bytes;
        bytes.clear();
        const uint32_t size = 3 + uint32_t(words.size());
        for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(size >> (8 * i)));
        bytes.push_back(uint8_t(function));
        bytes.push_back(uint8_t(function >> 8));
        for (uint16_t w : words) {
            bytes.push_back(uint8_t(w));
            bytes.push_back(uint8_t(w >> 8));
        }
        return wmf::recordAt(bytes, 0, 1000);
    };
    struct Case {
        const char* name;
        uint16_t function;
        std::vector<uint16_t> words;
        std::optional<std::string> text;
        int16_t x = 0, y = 0;
        bool rect = false;
        std::vector<int16_t> advances = {};
    };
    const Case cases[] = {
        {"TEXTOUT", wmf::kTextOut, {3, 'a' | 'b' << 8, 'c', 20, 10}, "abc", 10, 20},
        {"TEXTOUT too short", wmf::kTextOut, {9, 'a' | 'b' << 8, 20, 10}, std::nullopt},
        {"EXTTEXTOUT", wmf::kExtTextOut, {20, 10, 2, 0, 'h' | 'i' << 8}, "hi", 10, 20},
        {"EXTTEXTOUT with advances", wmf::kExtTextOut, {20, 10, 2, 0, 'h' | 'i' << 8, 7, 9}, "hi", 10, 20, false, {7, 9}},
        {"EXTTEXTOUT with an opaque rectangle", wmf::kExtTextOut, {20, 10, 1, 2, 1, 2, 3, 4, 'x'}, "x", 10, 20, true},
        {"EXTTEXTOUT with a glyph flag, no rectangle", wmf::kExtTextOut, {20, 10, 1, 0x10, 'x'}, "x", 10, 20},
        {"EXTTEXTOUT shorter than its rectangle", wmf::kExtTextOut, {20, 10, 1, 4, 1, 2}, std::nullopt},
        {"EXTTEXTOUT shorter than its text", wmf::kExtTextOut, {20, 10, 300, 0, 'x'}, std::nullopt},
        {"some other record", wmf::kMoveTo, {1, 2}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<wmf::Record> r = record(c.function, c.words);
        ASSERT_TRUE(r);
        const std::optional<wmf::TextRecord> t = wmf::textRecord(*r);
        ASSERT_EQ(t.has_value(), c.text.has_value());
        if (!t) continue;
        EXPECT_EQ(std::string(t->bytes), *c.text);
        EXPECT_EQ(t->x, c.x);
        EXPECT_EQ(t->y, c.y);
        EXPECT_EQ(t->rect.has_value(), c.rect);
        EXPECT_EQ(t->advances, c.advances);
    }
}

// The walk stops where the player's does: the end record, a size under 3 or over the
// header's largest record, a record past the file.
TEST(WmfRecords, TheWalkEndsWhereThePlayersDoes) {
    const std::vector<uint8_t> bytes = {4, 0, 0, 0, 0x2D, 0x01, 7, 0, 3, 0, 0, 0, 0, 0};
    EXPECT_TRUE(wmf::recordAt(bytes, 0, 1));
    EXPECT_FALSE(wmf::recordAt(bytes, 0, 0));    // larger than the largest record
    EXPECT_FALSE(wmf::recordAt(bytes, 8, 10));   // the end record
    EXPECT_FALSE(wmf::recordAt(bytes, 4, 10));   // a size past the file
    EXPECT_FALSE(wmf::recordAt(bytes, 12, 10));  // too few bytes for a header
    const std::vector<uint8_t> small = {2, 0, 0, 0, 0x2D, 0x01};
    EXPECT_FALSE(wmf::recordAt(small, 0, 10));
}

// Characters one at a time, each at its first byte: a double-byte character at the
// byte where it starts.
TEST(AnsiText, CharactersComeWithTheirFirstBytes) {
    struct Case {
        const char* bytes;
        uint8_t charset;
        std::vector<std::pair<char32_t, size_t>> characters;
    };
    const Case cases[] = {
        {"Caf\xE9", 0, {{U'C', 0}, {U'a', 1}, {U'f', 2}, {U'\u00E9', 3}}},
        {"a\x82\xA0z", 128, {{U'a', 0}, {U'\u3042', 1}, {U'z', 3}}},
        {"\xA6\xC1\xA6\xC2", 134, {{U'\u03B1', 0}, {U'\u03B2', 2}}},
        {"a\x82", 128, {{U'a', 0}, {U'\uFFFD', 1}}},
        {"a\x81z", 0, {{U'a', 0}, {U'\uFFFD', 1}, {U'z', 2}}},
        {"\x41\xE9", 2, {{U'\u0041', 0}, {U'\u00E9', 1}}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<char32_t, size_t>> got;
        for (const AnsiCharacter& a : decodeAnsiCharacters(c.bytes, c.charset)) got.emplace_back(a.character, a.byte);
        EXPECT_EQ(got, c.characters) << c.bytes;
        // The same characters as the whole text decoded at once.
        std::u32string joined;
        for (const auto& [character, byte] : got) joined += character;
        EXPECT_EQ(joined, decodeAnsiText(c.bytes, c.charset)) << c.bytes;
    }
}
