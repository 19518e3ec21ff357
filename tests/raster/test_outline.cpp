#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "common/Error.h"
#include "raster/Outline.h"

namespace qfip {
namespace {

constexpr int32_t kW = 40, kH = 30;

// A picture whose every pixel differs, so any misplaced copy shows.
Raster patterned(int32_t w, int32_t h) {
    Raster r = Raster::uninitialised(w, h);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) r.row(y)[x] = 0xFF000000u | uint32_t(x * 0x010305 + y * 0x070B0D);
    }
    return r;
}

std::vector<uint32_t> pixelsOf(const Raster& r) {
    return std::vector<uint32_t>(r.data(), r.data() + size_t(r.width()) * size_t(r.height()));
}

bool onRing(int64_t x, int64_t y, const Rect& r) {
    if (r.isEmpty() || x < r.Left || x >= r.Right || y < r.Top || y >= r.Bottom) return false;
    return x == r.Left || x == int64_t(r.Right) - 1 || y == r.Top || y == int64_t(r.Bottom) - 1;
}

// Reference: exclusive-or of the dotted ring pixels straight into a copy of the picture.
void referenceToggle(std::vector<uint32_t>& px, int32_t w, int32_t h, const Rect& r) {
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            if (onRing(x, y, r) && (x + y) % 2 == 0) px[size_t(y) * size_t(w) + size_t(x)] ^= kOutlineXorMask;
        }
    }
}

std::vector<uint32_t> composeAll(const ShownPicture& shown, int32_t w, int32_t h) {
    std::vector<uint32_t> out(size_t(w) * size_t(h), 0xDEADBEEFu);
    EXPECT_EQ(shown.compose(Rect{0, 0, w, h}, out.data(), size_t(w)), (Rect{0, 0, w, h}));
    return out;
}

int32_t randomCoordinate(std::mt19937& rng) {
    static const int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, INT32_MAX - 1, INT32_MAX, -1000000, 1000000};
    const uint32_t kind = rng() % 10;
    if (kind == 0) return extremes[rng() % std::size(extremes)];
    if (kind == 1) return int32_t(rng());  // anywhere
    return int32_t(rng() % 60) - 10;     // around the picture
}

Rect randomRect(std::mt19937& rng) {
    Rect r{randomCoordinate(rng), randomCoordinate(rng), randomCoordinate(rng), randomCoordinate(rng)};
    if (rng() % 4 != 0) {
        // Mostly well-ordered rectangles, some 1 or 2 wide or high.
        if (r.Right < r.Left) std::swap(r.Left, r.Right);
        if (r.Bottom < r.Top) std::swap(r.Top, r.Bottom);
        if (rng() % 5 == 0 && r.Left < INT32_MAX - 2) r.Right = r.Left + 1 + int32_t(rng() % 2);
        if (rng() % 5 == 0 && r.Top < INT32_MAX - 2) r.Bottom = r.Top + 1 + int32_t(rng() % 2);
    }
    return r;
}

TEST(Outline, RandomTogglesMatchReference) {
    std::mt19937 rng(20240611u);
    for (int round = 0; round < 40; ++round) {
        ShownPicture shown;
        shown.setPicture(Picture::bitmap(patterned(kW, kH)));
        const std::vector<uint32_t> original = pixelsOf(shown.picture()->raster());
        std::vector<uint32_t> expected = original;
        std::vector<Rect> used;
        for (int step = 0; step < 30; ++step) {
            // Reuse an earlier rectangle now and then, so outlines are also taken out.
            const Rect r = (!used.empty() && rng() % 3 == 0) ? used[rng() % used.size()] : randomRect(rng);
            used.push_back(r);

            const std::vector<uint32_t> before = expected;
            const std::vector<Rect> areas = shown.toggleOutline(r);
            referenceToggle(expected, kW, kH, r);
            ASSERT_EQ(composeAll(shown, kW, kH), expected) << "round " << round << " step " << step;

            // Repaint areas: disjoint strips of ring pixels inside the picture, covering every change.
            int64_t covered = 0;
            for (const Rect& a : areas) {
                ASSERT_FALSE(a.isEmpty());
                for (int32_t y = a.Top; y < a.Bottom; ++y) {
                    for (int32_t x = a.Left; x < a.Right; ++x) ASSERT_TRUE(onRing(x, y, r) && x < kW && y < kH);
                }
                covered += a.width() * a.height();
            }
            int64_t ringInside = 0;
            for (int32_t y = 0; y < kH; ++y) {
                for (int32_t x = 0; x < kW; ++x) {
                    const size_t i = size_t(y) * kW + size_t(x);
                    ringInside += onRing(x, y, r);
                    if (before[i] != expected[i]) {
                        ASSERT_TRUE(onRing(x, y, r));
                    }
                }
            }
            EXPECT_EQ(covered, ringInside);
        }
        // The picture's own pixels never change.
        EXPECT_EQ(pixelsOf(shown.picture()->raster()), original);
    }
}

TEST(Outline, EvenTogglesRestoreTheView) {
    std::mt19937 rng(77u);
    ShownPicture shown;
    shown.setPicture(Picture::bitmap(patterned(kW, kH)));
    const std::vector<uint32_t> original = pixelsOf(shown.picture()->raster());
    std::vector<Rect> rects;
    for (int i = 0; i < 25; ++i) rects.push_back(randomRect(rng));
    std::vector<Rect> order = rects;
    order.insert(order.end(), rects.begin(), rects.end());
    std::shuffle(order.begin(), order.end(), rng);
    for (const Rect& r : order) shown.toggleOutline(r);
    EXPECT_TRUE(shown.outlines().empty());
    EXPECT_EQ(composeAll(shown, kW, kH), original);
}

TEST(Outline, DotPatternOfSmallRectangles) {
    ShownPicture shown;
    shown.setPicture(Picture::bitmap(Raster::createWindow(6, 5)));
    shown.toggleOutline(Rect{1, 1, 5, 4});  // 4 x 3: ring rows 1 and 3, columns 1 and 4
    const uint32_t W = Raster::kWhite, D = Raster::kWhite ^ kOutlineXorMask;
    // Dots where x + y is even.
    const std::vector<uint32_t> expected = {
        W, W, W, W, W, W,  //
        W, D, W, D, W, W,  //
        W, W, W, W, D, W,  //
        W, D, W, D, W, W,  //
        W, W, W, W, W, W,
    };
    EXPECT_EQ(composeAll(shown, 6, 5), expected);
    EXPECT_EQ(D, 0xFF000000u);
}

TEST(Outline, OneAndTwoWideRingsToggleEachPixelOnce) {
    // A 1 x 1 rectangle at an even position and a 2 x 2 one: every ring pixel once.
    ShownPicture shown;
    shown.setPicture(Picture::bitmap(Raster::createWindow(4, 4)));
    shown.toggleOutline(Rect{0, 0, 1, 1});
    shown.toggleOutline(Rect{2, 2, 4, 4});
    shown.toggleOutline(Rect{1, 0, 2, 4});  // one column, x = 1: dots at y = 1, 3
    const uint32_t W = Raster::kWhite, D = Raster::kWhite ^ kOutlineXorMask;
    const std::vector<uint32_t> expected = {
        D, W, W, W,  //
        W, D, W, W,  //
        W, W, D, W,  //
        W, D, W, D,
    };
    EXPECT_EQ(composeAll(shown, 4, 4), expected);
}

TEST(Outline, ComposeOfPartlyOutsideArea) {
    ShownPicture shown;
    shown.setPicture(Picture::bitmap(patterned(kW, kH)));
    shown.toggleOutline(Rect{-5, -5, 10, 8});
    std::vector<uint32_t> full = composeAll(shown, kW, kH);
    // An area reaching over the top-left corner is clipped; the stride is wider than the area.
    std::vector<uint32_t> part(100 * 20, 0u);
    const Rect got = shown.compose(Rect{-3, -2, 12, 9}, part.data(), 100);
    EXPECT_EQ(got, (Rect{0, 0, 12, 9}));
    for (int32_t y = 0; y < 9; ++y) {
        for (int32_t x = 0; x < 12; ++x) EXPECT_EQ(part[size_t(y) * 100 + size_t(x)], full[size_t(y) * kW + size_t(x)]);
        EXPECT_EQ(part[size_t(y) * 100 + 12], 0u);  // nothing written past the clipped width
    }
    // Areas wholly outside or empty write nothing.
    std::vector<uint32_t> none(4, 7u);
    EXPECT_TRUE(shown.compose(Rect{kW, 0, kW + 2, 2}, none.data(), 2).isEmpty());
    EXPECT_TRUE(shown.compose(Rect{INT32_MIN, INT32_MIN, -1, INT32_MAX}, none.data(), 2).isEmpty());
    EXPECT_TRUE(shown.compose(Rect{5, 5, 5, 9}, none.data(), 2).isEmpty());
    EXPECT_EQ(none, std::vector<uint32_t>(4, 7u));
}

TEST(Outline, RepaintAreasAreTheClippedRing) {
    EXPECT_EQ(outlineRepaintAreas(Rect{38, 48, 62, 72}, 100, 100),
              (std::vector<Rect>{{38, 48, 62, 49}, {38, 71, 62, 72}, {38, 49, 39, 71}, {61, 49, 62, 71}}));
    // Clipped at the picture's right and bottom edges: only the top row and left column remain.
    EXPECT_EQ(outlineRepaintAreas(Rect{90, 95, 120, 130}, 100, 100),
              (std::vector<Rect>{{90, 95, 100, 96}, {90, 96, 91, 100}}));
    // Extreme values: the whole picture lies inside, so nothing shows.
    EXPECT_TRUE(outlineRepaintAreas(Rect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, 100, 100).empty());
    EXPECT_TRUE(outlineRepaintAreas(Rect{5, 5, 5, 50}, 100, 100).empty());
    EXPECT_TRUE(outlineRepaintAreas(Rect{50, 50, 10, 60}, 100, 100).empty());
    EXPECT_EQ(outlineRepaintAreas(Rect{INT32_MIN, 3, 2, 4}, 100, 100), (std::vector<Rect>{{0, 3, 2, 4}}));
}

TEST(ShownPicture, SetKeepsEachRectangleOnce) {
    ShownPicture shown;
    shown.setPicture(Picture::bitmap(Raster::createWindow(10, 10)));
    shown.toggleOutline(Rect{1, 1, 5, 5});
    shown.toggleOutline(Rect{2, 2, 6, 6});
    EXPECT_EQ(shown.outlines(), (std::vector<Rect>{{1, 1, 5, 5}, {2, 2, 6, 6}}));
    shown.toggleOutline(Rect{1, 1, 5, 5});
    EXPECT_EQ(shown.outlines(), (std::vector<Rect>{{2, 2, 6, 6}}));
    EXPECT_TRUE(shown.toggleOutline(Rect{0, 0, 0, 0}).empty());
    EXPECT_TRUE(shown.toggleOutline(Rect{4, 4, 3, 9}).empty());
    EXPECT_EQ(shown.outlines().size(), 1u);
    shown.setPicture(Picture::bitmap(Raster::createWindow(10, 10)));
    EXPECT_TRUE(shown.outlines().empty());
}

TEST(ShownPicture, NonBitmapRefusesToggles) {
    ShownPicture none;
    try {
        none.toggleOutline(Rect{1, 1, 5, 5});
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), kNotABitmapMessage);
    }
    ShownPicture icon;
    icon.setPicture(Picture::drawn(DrawnKind::Icon, SealedBytes::copyOf(std::vector<uint8_t>{0, 0, 1, 0}, 0)));
    for (const Rect& r : {Rect{1, 1, 5, 5}, Rect{}}) {
        try {
            icon.toggleOutline(r);
            FAIL();
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "Can only modify an image if it contains a bitmap");
        }
    }
    EXPECT_THROW(icon.workingRaster(10, 10), Error);
    EXPECT_TRUE(icon.outlines().empty());
}

TEST(ShownPicture, WorkingRasterCreatesBlankPicture) {
    ShownPicture shown;
    const Raster& r = shown.workingRaster(7, 3);
    EXPECT_EQ(r.width(), 7);
    EXPECT_EQ(r.height(), 3);
    EXPECT_EQ(pixelsOf(r), std::vector<uint32_t>(21, Raster::kWhite));
    ASSERT_TRUE(shown.hasPicture());
    // Once there is a picture it is kept.
    EXPECT_EQ(&shown.workingRaster(100, 100), &r);
}

}  // namespace
}  // namespace qfip
