// The clip region of both metafile chains: its set algebra against the same operations
// done on sets of pixels, the form it keeps them in, the boxes the drawing asks for, and
// its limits with the box that stands for a region past them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "render/EmfNormaliser.h"
#include "render/PixelRegion.h"
#include "render/WmfPlaybackState.h"

using qfip::PixelRegion;
using qfip::Rect;
using qfip::RegionLimits;
using qfip::RegionOutcome;

namespace {

using Pixels = std::set<std::pair<int64_t, int64_t>>;
constexpr RegionLimits kUnlimited{SIZE_MAX, SIZE_MAX};

Pixels pixelsOf(const std::vector<Rect>& boxes) {
    Pixels out;
    for (const Rect& b : boxes)
        for (int64_t y = b.Top; y < b.Bottom; ++y)
            for (int64_t x = b.Left; x < b.Right; ++x) out.insert({x, y});
    return out;
}

PixelRegion regionOf(const std::vector<Rect>& rects) {
    const RegionOutcome o = PixelRegion::unionOf(rects, kUnlimited);
    EXPECT_FALSE(o.tooComplex);
    return o.region;
}

// The form GDI keeps a region in: bands top to bottom and apart, runs left to right
// neither overlapping nor touching, two touching bands never with the same runs.
void expectBanded(const std::vector<Rect>& boxes) {
    std::vector<std::vector<std::pair<int32_t, int32_t>>> runs;
    std::vector<std::pair<int32_t, int32_t>> rows;
    for (const Rect& b : boxes) {
        ASSERT_FALSE(b.isEmpty());
        if (rows.empty() || rows.back() != std::pair{b.Top, b.Bottom}) {
            if (!rows.empty()) {
                EXPECT_GE(b.Top, rows.back().second);
            }
            rows.push_back({b.Top, b.Bottom});
            runs.emplace_back();
        } else {
            EXPECT_GT(b.Left, runs.back().back().second) << "runs overlap or touch";
        }
        runs.back().push_back({b.Left, b.Right});
    }
    for (size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].first == rows[i - 1].second) {
            EXPECT_NE(runs[i], runs[i - 1]) << "bands left apart";
        }
    }
}

}  // namespace

// Every operation gives the pixels of the same operation done on sets of pixels (and,
// where a case names them, exactly GDI's boxes); the result is banded as GDI bands it,
// equal to any region of the same pixels, and its lookups agree with its pixels.
TEST(PixelRegion, OperationsGiveThePixelsOfTheirDefinition) {
    using Kind = std::optional<PixelRegion::Op>;
    const Kind And = PixelRegion::Op::And, Or = PixelRegion::Op::Or, Xor = PixelRegion::Op::Xor;
    const Kind Diff = PixelRegion::Op::Diff, Move = std::nullopt;
    struct Step {
        Kind kind;
        std::vector<Rect> rects;  // the other region's rectangles
        int64_t dx = 0, dy = 0;   // Move
    };
    struct Case {
        const char* name;
        std::vector<Rect> start;
        std::vector<Step> steps;
        std::optional<std::vector<Rect>> boxes;
    };
    const Rect a{0, 0, 10, 10}, b{5, 5, 15, 15}, limit{0, 0, 24, 24};
    const Case cases[] = {
        {"and", {a}, {{And, {b}}}, {{{5, 5, 10, 10}}}},
        {"or: bands", {a}, {{Or, {b}}}, {{{0, 0, 10, 5}, {0, 5, 15, 10}, {5, 10, 15, 15}}}},
        {"xor", {a}, {{Xor, {b}}}, {{{0, 0, 10, 5}, {0, 5, 5, 10}, {10, 5, 15, 10}, {5, 10, 15, 15}}}},
        {"diff", {a}, {{Diff, {b}}}, {{{0, 0, 10, 5}, {0, 5, 5, 10}}}},
        {"a hole", {{0, 0, 30, 30}}, {{Diff, {{10, 10, 20, 20}}}}, {{{0, 0, 30, 10}, {0, 10, 10, 20}, {20, 10, 30, 20}, {0, 20, 30, 30}}}},
        {"disjoint: and is empty", {a}, {{And, {{20, 20, 30, 30}}}}, {{}}},
        {"touching spans join", {{0, 0, 5, 5}}, {{Or, {{5, 0, 9, 5}}}}, {{{0, 0, 9, 5}}}},
        {"union of overlapping rectangles", {{0, 0, 10, 10}, {5, 0, 20, 10}, {0, 10, 20, 12}, {3, 3, 3, 9}}, {}, {{{0, 0, 20, 12}}}},
        {"overlapping boxes joined", {{2, 2, 10, 10}, {5, 5, 15, 12}, {12, 0, 14, 3}}, {}, {}},
        {"a box inside another", {{0, 0, 20, 20}, {5, 5, 8, 8}}, {}, {{{0, 0, 20, 20}}}},
        {"a hole at the edge and a corner", {{0, 0, 20, 20}}, {{Diff, {{-3, 5, 4, 9}}}, {Diff, {{15, 15, 40, 40}}}}, {}},
        {"intersect after holes", {{0, 0, 24, 24}}, {{Diff, {{3, 3, 6, 20}}}, {Diff, {{8, 1, 9, 22}}}, {And, {{2, 2, 12, 12}}}}, {}},
        {"regions of several bands combined",
         {{0, 0, 4, 4}, {6, 0, 9, 4}, {2, 6, 12, 9}},
         {{Xor, {{3, 2, 7, 8}, {0, 8, 20, 9}}}, {Or, {{10, 0, 12, 20}}}, {Diff, {{0, 3, 24, 4}}}},
         {}},
        {"moved", {a}, {{Move, {}, -5, 100}}, {{{-5, 100, 5, 110}}}},
        {"moved to the end of int", {a}, {{Move, {}, INT32_MAX, 0}}, {{}}},
        {"moved partly outside a limit", {{2, 2, 6, 6}, {10, 10, 20, 14}}, {{Move, {}, 8, -3}, {And, {limit}}}, {}},
        {"empty boxes ignored", {{5, 5, 5, 9}, {3, 3, 2, 8}}, {}, {{}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PixelRegion region = regionOf(c.start);
        Pixels want = pixelsOf(c.start);
        Rect seen = qfip::boundsOf(c.start);  // every rectangle the case names, for the lookups
        for (const Step& s : c.steps) {
            Pixels next;
            if (s.kind == Move) {
                region = region.translated(s.dx, s.dy);
                for (const auto& [x, y] : want) {
                    const int64_t nx = x + s.dx, ny = y + s.dy;
                    if (nx >= INT32_MIN && nx < INT32_MAX && ny >= INT32_MIN && ny < INT32_MAX) next.insert({nx, ny});
                }
            } else {
                const RegionOutcome o = region.combined(regionOf(s.rects), *s.kind, kUnlimited);
                EXPECT_FALSE(o.tooComplex);
                region = o.region;
                const Pixels other = pixelsOf(s.rects);
                const auto out = std::inserter(next, next.end());
                if (s.kind == And) std::set_intersection(want.begin(), want.end(), other.begin(), other.end(), out);
                if (s.kind == Or) std::set_union(want.begin(), want.end(), other.begin(), other.end(), out);
                if (s.kind == Xor) std::set_symmetric_difference(want.begin(), want.end(), other.begin(), other.end(), out);
                if (s.kind == Diff) std::set_difference(want.begin(), want.end(), other.begin(), other.end(), out);
                const Rect r = qfip::boundsOf(s.rects);
                seen = qfip::boundsOf(std::vector<Rect>{seen, r});
            }
            want = std::move(next);
        }
        const std::vector<Rect> boxes = region.boxes();
        EXPECT_EQ(pixelsOf(boxes), want);
        if (c.boxes) {
            EXPECT_EQ(boxes, *c.boxes);
        }
        expectBanded(boxes);
        EXPECT_EQ(region, regionOf(boxes));
        EXPECT_EQ(region.isEmpty(), want.empty());
        EXPECT_EQ(region.boxCount(), boxes.size());
        Rect box;
        if (!want.empty()) {
            box = {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
            for (const auto& [x, y] : want)
                box = {int32_t(std::min<int64_t>(box.Left, x)), int32_t(std::min<int64_t>(box.Top, y)),
                       int32_t(std::max<int64_t>(box.Right, x + 1)), int32_t(std::max<int64_t>(box.Bottom, y + 1))};
        }
        EXPECT_EQ(region.bounds(), box);
        const Rect around = qfip::boundsOf(std::vector<Rect>{seen, box});
        for (int64_t y = around.Top - 1; y <= around.Bottom; ++y)
            for (int64_t x = around.Left - 1; x <= around.Right; ++x)
                EXPECT_EQ(region.contains(x, y), want.count({x, y}) == 1) << x << "," << y;
    }
}

TEST(PixelRegion, BoxesWithinAPartAreCutToIt) {
    const PixelRegion region = regionOf({{0, 0, 10, 10}, {12, 0, 20, 10}, {0, 15, 20, 20}});
    std::vector<Rect> seen;
    region.forEachBox({5, 5, 14, 17}, [&](const Rect& b) { seen.push_back(b); });
    EXPECT_EQ(seen, (std::vector<Rect>{{5, 5, 10, 10}, {12, 5, 14, 10}, {5, 15, 14, 17}}));
    EXPECT_EQ(region.bounds(), (Rect{0, 0, 20, 20}));
}

// A result past its limits is not built: the outcome says so and gives a box that holds
// it (the result's own bounds when it was too large; when the work ran out first, the
// bounds every result of the operation lies in). Each chain's limits: a comb of more
// teeth than a region holds, made at once or by splitting a band of fewer in two; a union
// whose sweep would take too long; many bands against many runs.
TEST(PixelRegion, ResultsPastTheLimitsAreAHoldingBox) {
    const auto comb = [](size_t teeth, int32_t height) {
        std::vector<Rect> boxes;
        for (size_t i = 0; i < teeth; ++i) boxes.push_back({int32_t(2 * i), 0, int32_t(2 * i + 1), height});
        return boxes;
    };
    const RegionLimits emf = qfip::emf::kClipRegionLimits, wmf = WmfPlaybackState::kRegionLimits;
    const size_t emfMost = emf.maxBoxes, wmfMost = wmf.maxBoxes;
    const PixelRegion twoRows = regionOf(comb(wmfMost / 2 + 1, 2));
    ASSERT_EQ(twoRows.boxCount(), wmfMost / 2 + 1);
    std::vector<Rect> nested, rows, columns;
    for (int32_t i = 0; i < 20000; ++i) nested.push_back({i, i, 100000 - i, 100000 - i});
    for (int i = 0; i < 4000; ++i) {
        rows.push_back({0, 2 * i, 10, 2 * i + 1});
        columns.push_back({2 * i, 0, 2 * i + 1, 10});
    }
    // Ten bands of four runs against a box, with work for no more than 20 of them.
    std::vector<Rect> ladder;
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 4; ++x) ladder.push_back({10 * x + y, 10 * y, 10 * x + y + 5, 10 * y + 5});
    const PixelRegion steps = regionOf(ladder);
    const PixelRegion box(Rect{20, 20, 200, 60});
    const RegionLimits little{1000, 20};
    struct Case {
        const char* name;
        RegionOutcome outcome;
        bool tooComplex;
        Rect holder;
    };
    const Case cases[] = {
        {"EMF: a comb of one tooth too many", PixelRegion::unionOf(comb(emfMost + 1, 1), emf), true, {0, 0, 2 * int32_t(emfMost) + 1, 1}},
        {"EMF: as many teeth as a region holds", PixelRegion::unionOf(comb(emfMost, 1), emf), false, {0, 0, 2 * int32_t(emfMost) - 1, 1}},
        {"EMF: many bands or many runs", regionOf(rows).combined(regionOf(columns), PixelRegion::Op::Or, emf), true, {0, 0, 7999, 7999}},
        {"WMF: a comb of one tooth too many", PixelRegion::unionOf(comb(wmfMost + 1, 1), wmf), true, {0, 0, 2 * int32_t(wmfMost) + 1, 1}},
        {"WMF: a band of fewer split in two",
         twoRows.combined(PixelRegion(Rect{0, 1, 1, 2}), PixelRegion::Op::Diff, wmf), true, {0, 0, 2 * int32_t(wmfMost / 2) + 1, 2}},
        {"WMF: rectangles nested too deep to sweep", PixelRegion::unionOf(nested, wmf), true, {0, 0, 100000, 100000}},
        {"work run out: and, within both", steps.combined(box, PixelRegion::Op::And, little), true, {20, 20, 44, 60}},
        {"work run out: or, around both", steps.combined(box, PixelRegion::Op::Or, little), true, {0, 0, 200, 95}},
        {"work run out: xor, around both", steps.combined(box, PixelRegion::Op::Xor, little), true, {0, 0, 200, 95}},
        {"work run out: diff, within the first", steps.combined(box, PixelRegion::Op::Diff, little), true, {0, 0, 44, 95}},
        {"work enough", steps.combined(box, PixelRegion::Op::Diff, {1000, 100}), false, {0, 0, 44, 95}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.outcome.tooComplex, c.tooComplex);
        EXPECT_EQ(c.outcome.holder, c.holder);
        EXPECT_TRUE(!c.tooComplex || c.outcome.region.isEmpty());
    }
}
