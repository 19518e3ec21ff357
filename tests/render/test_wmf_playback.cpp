// What the helper follows and changes around libwmf's player: the clip region and mapping
// followed beside it and their limits, the bytes it is given, the text records and their
// characters. The drawn pixels of every record family are checked by the metafile corpus.
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

using Boxes = std::vector<qfip::Rect>;

// A placeable file of 100 x 100 pixels (96 units per inch, window 100 x 100) with the
// records `draw` writes; its first own record is at kFirstDrawn.
constexpr size_t kFirstDrawn = wmf::kUsualFirstRecord + 10 + 10;
std::vector<uint8_t> file100(const std::function<void(WmfWriter&)>& draw) {
    WmfWriter w({0, 0, 100, 100}, 96);
    w.setWindowOrg(0, 0);
    w.setWindowExt(100, 100);
    draw(w);
    return w.bytes(8);
}

// The state after every record of `bytes` is followed.
struct Followed {
    std::vector<uint8_t> bytes;
    WmfPlaybackState state{bytes, *qfip::placeableMetafileHeader(bytes), 100, 100, true};
    explicit Followed(std::vector<uint8_t> file, bool all = true) : bytes(std::move(file)) {
        if (all) state.followTo(bytes.size());
    }
    std::optional<Boxes> clip() const { return state.clip() ? std::optional(state.clip()->boxes()) : std::nullopt; }
};

}  // namespace

// The clip region as GDI keeps it, in the picture's pixels, where the corpus's pixels do not
// reach: records that must change nothing, object slots, and the window's mapping.
TEST(WmfPlaybackState, FollowsTheClipRegionAsGdiKeepsIt) {
    const auto nullPen = [](WmfWriter& w) { w.select(w.pen(PS_NULL, 0, 0)); };
    const struct {
        const char* name;
        std::function<void(WmfWriter&)> draw;
        std::optional<Boxes> clip;
    } cases[] = {
        {"no clipping record", [](WmfWriter& w) { w.rectangle({0, 0, 10, 10}); }, std::nullopt},
        {"a rectangle given right to left", [](WmfWriter& w) { w.intersectClipRect({50, 40, 10, 20}); }, Boxes{{10, 20, 50, 40}}},
        {"RestoreDC with nothing saved is ignored", [](WmfWriter& w) { w.intersectClipRect({0, 0, 50, 50}); w.restoreDC(-1); },
         Boxes{{0, 0, 50, 50}}},
        {"SelectClipRegion of another slot holding no region: unchanged",
         [&](WmfWriter& w) { nullPen(w); nullPen(w); w.intersectClipRect({0, 0, 50, 50}); w.selectClipRegion(1); },
         Boxes{{0, 0, 50, 50}}},
        {"a region slot taken by a pen after the region is deleted", [&](WmfWriter& w) {
             const uint16_t region = w.region({{10, 10, 20, 20}});
             w.deleteObject(region);
             nullPen(w);
             w.select(region);
         }, std::nullopt},
        {"a region in the lowest slot a deleted pen left", [](WmfWriter& w) {
             const uint16_t pen = w.pen(PS_SOLID, 1, 0), brush = w.brush(BS_SOLID, 0);
             w.deleteObject(pen);
             const uint16_t region = w.region({{5, 5, 15, 15}});  // slot 0 again
             w.select(brush);
             w.select(region);
         }, Boxes{{5, 5, 15, 15}}},
        {"OffsetClipRgn partly out of the picture", [](WmfWriter& w) { w.intersectClipRect({0, 0, 20, 20}); w.offsetClipRegion(90, 0); },
         Boxes{{90, 0, 100, 20}}},
        {"OffsetClipRgn without a clip: none", [](WmfWriter& w) { w.offsetClipRegion(5, 5); }, std::nullopt},
        {"a window twice as wide and high", [](WmfWriter& w) { w.setWindowExt(200, 200); w.intersectClipRect({0, 0, 100, 100}); },
         Boxes{{0, 0, 50, 50}}},
        {"the window's origin moved", [](WmfWriter& w) { w.setWindowOrg(-50, 0); w.intersectClipRect({0, 0, 10, 10}); },
         Boxes{{50, 0, 60, 10}}},
        {"a window extent of 0 is refused", [](WmfWriter& w) { w.setWindowExt(0, 50); w.intersectClipRect({0, 0, 10, 10}); },
         Boxes{{0, 0, 10, 10}}},
        {"y flipped", [](WmfWriter& w) { w.setWindowOrg(0, 100); w.setWindowExt(100, -100); w.intersectClipRect({0, 0, 10, 10}); },
         Boxes{{0, 90, 10, 100}}},
        {"MM_ANISOTROPIC", [](WmfWriter& w) { w.setMapMode(MM_ANISOTROPIC); w.setWindowExt(200, 50); w.intersectClipRect({0, 0, 100, 10}); },
         Boxes{{0, 0, 50, 20}}},
        {"MM_ISOTROPIC: the smaller scale for both",
         [](WmfWriter& w) { w.setMapMode(MM_ISOTROPIC); w.setWindowExt(200, 50); w.intersectClipRect({0, 0, 100, 10}); },
         Boxes{{0, 0, 50, 5}}},
        {"a region in the mapping where it is selected", [](WmfWriter& w) {
             const uint16_t region = w.region({{0, 0, 100, 100}});
             w.setWindowExt(400, 400);
             w.selectClipRegion(region);
         }, Boxes{{0, 0, 25, 25}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Followed(file100(c.draw)).clip(), c.clip);
    }
}

// A record is followed once the player has read the whole of it, not before.
TEST(WmfPlaybackState, FollowsRecordsTheWholeOfWhichWasRead) {
    Followed f(file100([](WmfWriter& w) {
                   w.intersectClipRect({0, 0, 10, 10});  // 14 bytes
                   w.moveTo(7, 8);
               }),
               false);
    f.state.followTo(kFirstDrawn + 13);
    EXPECT_EQ(f.state.currentRecord(), kFirstDrawn);
    EXPECT_EQ(f.state.clip(), nullptr);
    const uint64_t version = f.state.clipVersion();
    f.state.followTo(kFirstDrawn + 14);
    ASSERT_NE(f.state.clip(), nullptr);
    EXPECT_GT(f.state.clipVersion(), version);
    EXPECT_EQ(f.state.currentRecord(), kFirstDrawn + 14);
    f.state.followTo(f.bytes.size());
    EXPECT_EQ(f.state.currentX(), 7);
    EXPECT_EQ(f.state.currentY(), 8);
}

// The clip regions held at once stay within their bound and the file is refused past it:
// a large region saved over and over, and a region object of more runs than a clip holds
// (refused when selected, before it is cut to the picture).
TEST(WmfPlaybackState, RegionsPastTheirBoundRefuseTheFile) {
    const auto saving = [](int times) {
        return file100([times](WmfWriter& w) {
            // A checkerboard: 50 runs in each of 100 rows.
            w.intersectClipRect({0, 0, 100, 100});
            for (int y = 0; y < 100; ++y)
                for (int x = 1 - y % 2; x < 100; x += 2) w.excludeClipRect({x, y, x + 1, y + 1});
            for (int i = 0; i < times; ++i) w.saveDC();
        });
    };
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
    ASSERT_LT(4 * 16383u, WmfPlaybackState::kRegionLimits.maxBoxes);
    ASSERT_GT(5 * 16383u, WmfPlaybackState::kRegionLimits.maxBoxes);
    EXPECT_EQ(Followed(saving(100)).state.clip()->boxCount(), 5000u);
    EXPECT_EQ(Followed(combs(4)).state.clip()->boxCount(), 4 * 50u);  // cut to the picture's 100 columns
    for (const auto& tooMany : {saving(int(WmfPlaybackState::kMaxHeldSpans / 5000) + 1), combs(5)}) {
        Followed f(tooMany, false);
        EXPECT_THROW(f.state.followTo(tooMany.size()), RegionTooComplex);
    }
}

// The player is given the file's bytes with the prologue before the first record and the
// records it would act on wrongly replaced, sizes unchanged; a seek back to the start
// gives the same bytes again.
TEST(WmfPlayerInput, GivesThePlayerThePatchedFile) {
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
    std::vector<uint8_t> read;
    for (int c; (c = WmfPlayerInput::read(&input)) != EOF;) read.push_back(uint8_t(c));
    ASSERT_EQ(read.size(), bytes.size() + prologue.size());
    // The headers, then the prologue.
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 40, read.begin()));
    EXPECT_TRUE(std::equal(prologue.begin(), prologue.end(), read.begin() + 40));
    // Record by record, the words that differ.
    const std::span<const uint8_t> given(read.data() + prologue.size(), read.size() - prologue.size());
    std::vector<std::string> changes;
    size_t at = 40;
    while (const std::optional<wmf::Record> record = wmf::recordAt(bytes, at, wmf::largestRecordWords(bytes, 40))) {
        for (size_t word = 0; at + 4 + 2 * word < record->end(); ++word) {
            const size_t i = at + 4 + 2 * word;
            if (given[i] != bytes[i] || given[i + 1] != bytes[i + 1])
                changes.push_back(std::to_string(record->function) + ":" + std::to_string(word) + "=" +
                                  std::to_string(given[i] | given[i + 1] << 8));
        }
        at = record->end();
    }
    EXPECT_EQ(changes, (std::vector<std::string>{"762:1=3842", "1046:0=561", "259:1=0", "524:0=561", "295:0=561", "1791:6=0"}));
    // Where the reading is, in the file's own bytes; a seek back gives the same bytes.
    WmfPlayerInput::seek(&input, 45);
    EXPECT_EQ(input.filePosition(), 40u);
    WmfPlayerInput::seek(&input, 60);
    EXPECT_EQ(input.filePosition(), 50u);
    WmfPlayerInput::seek(&input, 0);
    for (const uint8_t b : read) ASSERT_EQ(WmfPlayerInput::read(&input), b);
    EXPECT_EQ(WmfPlayerInput::seek(&input, long(read.size()) + 1), -1);
}

// META_TEXTOUT and META_EXTTEXTOUT as the records hold them; a record too short for what
// it announces gives nothing.
TEST(WmfRecords, TextRecordsReadWithinTheirBounds) {
    const struct {
        const char* name;
        uint16_t function;
        std::vector<uint16_t> words;
        std::optional<std::string> text;
        bool rect = false;
        std::vector<int16_t> advances = {};
    } cases[] = {
        {"TEXTOUT", wmf::kTextOut, {3, 'a' | 'b' << 8, 'c', 20, 10}, "abc"},
        {"TEXTOUT too short", wmf::kTextOut, {9, 'a' | 'b' << 8, 20, 10}, std::nullopt},
        {"EXTTEXTOUT with advances", wmf::kExtTextOut, {20, 10, 2, 0, 'h' | 'i' << 8, 7, 9}, "hi", false, {7, 9}},
        {"EXTTEXTOUT with an opaque rectangle", wmf::kExtTextOut, {20, 10, 1, 2, 1, 2, 3, 4, 'x'}, "x", true},
        {"EXTTEXTOUT with a glyph flag, no rectangle", wmf::kExtTextOut, {20, 10, 1, 0x10, 'x'}, "x"},
        {"EXTTEXTOUT shorter than its rectangle", wmf::kExtTextOut, {20, 10, 1, 4, 1, 2}, std::nullopt},
        {"EXTTEXTOUT shorter than its text", wmf::kExtTextOut, {20, 10, 300, 0, 'x'}, std::nullopt},
        {"some other record", wmf::kMoveTo, {1, 2}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WmfWriter w({0, 0, 1, 1}, 96);
        w.record(c.function, c.words);
        const std::vector<uint8_t> bytes = w.bytes();
        const std::optional<wmf::Record> r = wmf::recordAt(bytes, wmf::kUsualFirstRecord, 1000);
        ASSERT_TRUE(r);
        const std::optional<wmf::TextRecord> t = wmf::textRecord(*r);
        ASSERT_EQ(t.has_value(), c.text.has_value());
        if (!t) continue;
        EXPECT_EQ(std::string(t->bytes), *c.text);
        EXPECT_EQ(t->x, 10);
        EXPECT_EQ(t->y, 20);
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

// Characters one at a time, each at its first byte: a double-byte character at the byte
// where it starts, one cut short or undefined a replacement character; the same
// characters as the whole text decoded at once.
TEST(AnsiText, CharactersComeWithTheirFirstBytes) {
    const struct {
        const char* bytes;
        uint8_t charset;
        std::vector<std::pair<char32_t, size_t>> characters;
    } cases[] = {
        {"a\x82\xA0z", 128, {{U'a', 0}, {U'\u3042', 1}, {U'z', 3}}},
        {"a\x82", 128, {{U'a', 0}, {U'\uFFFD', 1}}},
        {"a\x81z", 0, {{U'a', 0}, {U'\uFFFD', 1}, {U'z', 2}}},
        {"\x41\xE9", 2, {{U'\u0041', 0}, {U'\u00E9', 1}}},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<char32_t, size_t>> got;
        std::u32string joined;
        for (const AnsiCharacter& a : decodeAnsiCharacters(c.bytes, c.charset)) {
            got.emplace_back(a.character, a.byte);
            joined += a.character;
        }
        EXPECT_EQ(got, c.characters) << c.bytes;
        EXPECT_EQ(joined, decodeAnsiText(c.bytes, c.charset)) << c.bytes;
    }
}
