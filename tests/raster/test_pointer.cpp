#include <gtest/gtest.h>

#include <vector>

#include "common/Error.h"
#include "raster/Pointer.h"

namespace qfip {
namespace {

constexpr int32_t kSide = 100;

Raster grey(int32_t w, int32_t h) {
    Raster r = Raster::uninitialised(w, h);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) r.row(y)[x] = 0xFF000000u | uint32_t((x * 7 + y * 3) % 256) * 0x010101u;
    }
    return r;
}

std::vector<uint32_t> shownPixels(const ShownPicture& shown) {
    std::vector<uint32_t> out(size_t(kSide) * kSide);
    shown.compose(Rect{0, 0, kSide, kSide}, out.data(), kSide);
    return out;
}

bool onRing(int32_t x, int32_t y, const Rect& r) {
    if (x < r.Left || x >= r.Right || y < r.Top || y >= r.Bottom) return false;
    return x == r.Left || x == r.Right - 1 || y == r.Top || y == r.Bottom - 1;
}

class PointerMovement : public ::testing::Test {
protected:
    void SetUp() override { shown.setPicture(Picture::bitmap(grey(kSide, kSide))); }
    uint32_t pictureAt(int32_t x, int32_t y) const { return shown.picture()->raster().at(x, y); }
    ShownPicture shown;
    PointerWindow pointer;
};

TEST_F(PointerMovement, FirstMoveDrawsTheWindowOutline) {
    const PointerMove m = movePointer(pointer, shown, 50, 60, 12, 12);
    EXPECT_EQ(m.xText, " x = 50");
    EXPECT_EQ(m.yText, " y = 60");
    EXPECT_EQ(pointer.PointerRect, (Rect{38, 48, 62, 72}));
    EXPECT_EQ(pointer.ShownPointerRect, (Rect{38, 48, 62, 72}));
    EXPECT_EQ(shown.outlines(), (std::vector<Rect>{{38, 48, 62, 72}}));
    // The empty rectangle (0, 0, 0, 0) erased nothing: only the new ring is repainted.
    EXPECT_EQ(m.repaint, outlineRepaintAreas(Rect{38, 48, 62, 72}, kSide, kSide));
}

TEST_F(PointerMovement, OnePixelRightErasesOldAndDrawsNew) {
    movePointer(pointer, shown, 50, 60, 12, 12);
    const std::vector<uint32_t> before = shownPixels(shown);
    const PointerMove m = movePointer(pointer, shown, 51, 60, 12, 12);
    const Rect oldRect{38, 48, 62, 72}, newRect{39, 48, 63, 72};
    EXPECT_EQ(pointer.ShownPointerRect, newRect);
    EXPECT_EQ(shown.outlines(), (std::vector<Rect>{newRect}));

    std::vector<Rect> expectedRepaint = outlineRepaintAreas(oldRect, kSide, kSide);
    const std::vector<Rect> drawn = outlineRepaintAreas(newRect, kSide, kSide);
    expectedRepaint.insert(expectedRepaint.end(), drawn.begin(), drawn.end());
    EXPECT_EQ(m.repaint, expectedRepaint);

    const std::vector<uint32_t> after = shownPixels(shown);
    for (int32_t y = 0; y < kSide; ++y) {
        for (int32_t x = 0; x < kSide; ++x) {
            const uint32_t want = onRing(x, y, newRect) && (x + y) % 2 == 0 ? pictureAt(x, y) ^ kOutlineXorMask
                                                                              : pictureAt(x, y);
            ASSERT_EQ(after[size_t(y) * kSide + size_t(x)], want) << x << "," << y;
            if (!onRing(x, y, oldRect) && !onRing(x, y, newRect)) {
                ASSERT_EQ(after[size_t(y) * kSide + size_t(x)], before[size_t(y) * kSide + size_t(x)]);
            }
        }
    }
    // Known pixels: (38, 50) was on the old left column and is restored; (62, 50) is on
    // the new right column only; (40, 48) lies on both top rows and stays dotted.
    EXPECT_EQ(after[50 * kSide + 38], pictureAt(38, 50));
    EXPECT_EQ(before[50 * kSide + 38], pictureAt(38, 50) ^ kOutlineXorMask);
    EXPECT_EQ(after[50 * kSide + 62], pictureAt(62, 50) ^ kOutlineXorMask);
    EXPECT_EQ(after[48 * kSide + 40], pictureAt(40, 48) ^ kOutlineXorMask);
}

TEST_F(PointerMovement, BackAndForthLeavesNoTrace) {
    const std::vector<uint32_t> clean = shownPixels(shown);
    const int32_t path[][2] = {{50, 60}, {51, 60}, {50, 60}, {-30, 5}, {99, 99}, {120, -4}, {-32768, 32767}, {51, 61}};
    for (int pass = 0; pass < 3; ++pass) {
        for (const auto& p : path) movePointer(pointer, shown, p[0], p[1], 12, 12);
    }
    EXPECT_EQ(shown.toggleOutline(pointer.ShownPointerRect).size(), 4u);
    EXPECT_TRUE(shown.outlines().empty());
    EXPECT_EQ(shownPixels(shown), clean);
}

TEST_F(PointerMovement, NegativeCoordinatesAndOtherHalfSizes) {
    const PointerMove m = movePointer(pointer, shown, -5, -7, 3, 2);
    EXPECT_EQ(m.xText, " x = -5");
    EXPECT_EQ(m.yText, " y = -7");
    EXPECT_EQ(pointer.PointerRect, (Rect{-8, -9, -2, -5}));
    EXPECT_TRUE(m.repaint.empty());  // wholly outside the picture
    EXPECT_EQ(pointer.ShownPointerRect, pointer.PointerRect);
}

TEST_F(PointerMovement, GridChangeErasesTheOldSizedOutline) {
    movePointer(pointer, shown, 50, 60, 12, 12);
    movePointer(pointer, shown, 50, 60, 3, 4);
    EXPECT_EQ(shown.outlines(), (std::vector<Rect>{{47, 56, 53, 64}}));
}

TEST(PointerOverNonBitmap, ShowsTextsKeepsShownRect) {
    ShownPicture shown;
    shown.setPicture(Picture::drawn(DrawnKind::EnhancedMetafile, SealedBytes::copyOf(std::vector<uint8_t>{1, 2, 3}, 0)));
    PointerWindow pointer;
    pointer.ShownPointerRect = Rect{1, 2, 3, 4};
    const PointerMove m = movePointer(pointer, shown, 10, 20, 12, 12);
    EXPECT_EQ(m.xText, " x = 10");
    EXPECT_EQ(m.yText, " y = 20");
    EXPECT_EQ(pointer.PointerRect, (Rect{-2, 8, 22, 32}));
    EXPECT_EQ(pointer.ShownPointerRect, (Rect{1, 2, 3, 4}));
    EXPECT_TRUE(m.repaint.empty());
    try {
        shown.toggleOutline(pointer.PointerRect);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), kNotABitmapMessage);
    }
}

TEST(PointerOverNothing, ShowsTextsOnly) {
    ShownPicture shown;
    PointerWindow pointer;
    const PointerMove m = movePointer(pointer, shown, 0, 0, 12, 12);
    EXPECT_EQ(m.xText, " x = 0");
    EXPECT_EQ(pointer.ShownPointerRect, Rect{});
    EXPECT_FALSE(shown.hasPicture());
}

}  // namespace
}  // namespace qfip
