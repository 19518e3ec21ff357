#include <gtest/gtest.h>

#include <string>

#include "common/Error.h"
#include "measure/WindowGeometry.h"

namespace qfip {
namespace {

TEST(WindowAround, CentresOnThePoint) {
    EXPECT_EQ(windowAround(50, 60, 12, 12), (Rect{38, 48, 62, 72}));
    EXPECT_EQ(windowAround(51, 60, 12, 12), (Rect{39, 48, 63, 72}));
    EXPECT_EQ(windowAround(0, 0, 3, 5), (Rect{-3, -5, 3, 5}));
    EXPECT_EQ(windowAround(-10, -20, 0, 0), (Rect{-10, -20, -10, -20}));
}

TEST(WindowAround, WrapsIn32Bits) {
    EXPECT_EQ(windowAround(INT32_MAX, INT32_MIN, 1, 1), (Rect{INT32_MAX - 1, INT32_MAX, INT32_MIN, INT32_MIN + 1}));
    EXPECT_EQ(windowAround(0, 0, INT32_MAX, INT32_MAX), (Rect{-INT32_MAX, -INT32_MAX, INT32_MAX, INT32_MAX}));
}

TEST(ComputeBackgroundRect, FixedWhenNotCentred) {
    Rect r{1, 2, 3, 4};
    ComputeBackgroundRect(r, false, "100", "100", 12, 12);
    EXPECT_EQ(r, (Rect{10, 10, 34, 34}));
    // The texts are not read at all.
    ComputeBackgroundRect(r, false, "bad", "", 5, 7);
    EXPECT_EQ(r, (Rect{10, 10, 20, 24}));
    ComputeBackgroundRect(r, false, "", "", INT32_MAX, 0);
    EXPECT_EQ(r, (Rect{10, 10, 8, 10}));  // 2 * (2^31 - 1) + 10 wraps to 8
}

TEST(ComputeBackgroundRect, CentredOnTheTexts) {
    Rect r;
    ComputeBackgroundRect(r, true, "100", "100", 12, 12);
    EXPECT_EQ(r, (Rect{88, 88, 112, 112}));
    ComputeBackgroundRect(r, true, " $20", "-5", 2, 3);
    EXPECT_EQ(r, (Rect{30, -8, 34, -2}));
}

TEST(ComputeBackgroundRect, BadYLeavesOnlyLeftUpdated) {
    Rect r{1, 2, 3, 4};
    try {
        ComputeBackgroundRect(r, true, "100", "1OO", 12, 12);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "'1OO' is not a valid integer value");
    }
    EXPECT_EQ(r, (Rect{88, 2, 3, 4}));
}

TEST(ComputeBackgroundRect, BadXLeavesEverythingOld) {
    Rect r{1, 2, 3, 4};
    try {
        ComputeBackgroundRect(r, true, "100 ", "100", 12, 12);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "'100 ' is not a valid integer value");
    }
    EXPECT_EQ(r, (Rect{1, 2, 3, 4}));
}

}  // namespace
}  // namespace qfip
