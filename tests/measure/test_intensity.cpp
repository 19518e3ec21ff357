#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "common/Error.h"
#include "measure/Intensity.h"

namespace qfip {
namespace {

// A window of any size whose pixel colours come from a function, so huge windows need
// no memory.
struct FakeWindow {
    int64_t w = 0, h = 0;
    std::function<uint32_t(int32_t, int32_t)> colour;
    int64_t width() const { return w; }
    int64_t height() const { return h; }
    uint32_t pixelColour(int32_t x, int32_t y) const { return colour(x, y); }
};

bool onRing(int32_t x, int32_t y, int64_t w, int64_t h) { return x == 0 || y == 0 || x == w - 1 || y == h - 1; }

// A w x h window with `ring` on the border ring and `inside` (a red value) in the interior.
FakeWindow framed(int64_t w, int64_t h, uint32_t ring, uint32_t inside) {
    return FakeWindow{w, h, [=](int32_t x, int32_t y) { return onRing(x, y, w, h) ? ring : inside; }};
}

std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(MeasureIntensity, UniformInteriorWithDarkRing) {
    const FakeWindow w = framed(24, 24, 0, 200);
    EXPECT_EQ(MeasureIntensity(w, MeasureMode::Mean), 200);
    EXPECT_EQ(MeasureIntensity(w, MeasureMode::Total), 96800);
}

TEST(MeasureIntensity, RingIsNeverRead) {
    // Bright ring, dark interior: the ring must not count.
    const FakeWindow w = framed(24, 24, 255, 3);
    EXPECT_EQ(MeasureIntensity(w, MeasureMode::Mean), 3);
    EXPECT_EQ(MeasureIntensity(w, MeasureMode::Total), 3 * 484);
}

TEST(MeasureIntensity, OnlyRedCounts) {
    // Red 10, green and blue 250 (red in the lowest byte).
    const FakeWindow w = framed(4, 4, 0, 0x00FAFA0Au);
    EXPECT_EQ(MeasureIntensity(w, MeasureMode::Total), 40);
    EXPECT_EQ(MeasureIntensity(w, MeasureMode::Mean), 10);
}

// An interior of 484 pixels: the first `high` of them (in column order) are `hi`, the
// rest `lo`, so the sum is chosen exactly.
FakeWindow mixed(int32_t high, uint32_t hi, uint32_t lo) {
    return FakeWindow{24, 24, [=](int32_t x, int32_t y) -> uint32_t {
                          if (onRing(x, y, 24, 24)) return 0xFFu;
                          const int32_t index = (x - 1) * 22 + (y - 1);
                          return index < high ? hi : lo;
                      }};
}

TEST(MeasureIntensity, HalvesRoundToEven) {
    // 126.5 * 484 = 61226 = 242 * 127 + 242 * 126: half the pixels 127, half 126.
    EXPECT_EQ(MeasureIntensity(mixed(242, 127, 126), MeasureMode::Total), 61226);
    EXPECT_EQ(MeasureIntensity(mixed(242, 127, 126), MeasureMode::Mean), 126);
    // 127.5: half 128, half 127.
    EXPECT_EQ(MeasureIntensity(mixed(242, 128, 127), MeasureMode::Total), 61710);
    EXPECT_EQ(MeasureIntensity(mixed(242, 128, 127), MeasureMode::Mean), 128);
    // 0.5 -> 0 and 1.5 -> 2.
    EXPECT_EQ(MeasureIntensity(mixed(242, 1, 0), MeasureMode::Mean), 0);
    EXPECT_EQ(MeasureIntensity(mixed(242, 2, 1), MeasureMode::Mean), 2);
    // Just above and below a half round to nearest: 61227 / 484 and 61225 / 484.
    EXPECT_EQ(MeasureIntensity(mixed(243, 127, 126), MeasureMode::Mean), 127);
    EXPECT_EQ(MeasureIntensity(mixed(241, 127, 126), MeasureMode::Mean), 126);
}

TEST(MeasureIntensity, HalfSizeOneLeavesNoInterior) {
    // A 2 x 2 window: a = b = 0.
    const FakeWindow w = framed(2, 2, 255, 255);
    EXPECT_EQ(MeasureIntensity(w, MeasureMode::Total), 0);
    EXPECT_EQ(messageOf([&] { MeasureIntensity(w, MeasureMode::Mean); }), "Invalid floating point operation");
    // 2 x 24 (half sizes 1 and 12): a = 0, b = 22.
    const FakeWindow thin = framed(2, 24, 255, 255);
    EXPECT_EQ(MeasureIntensity(thin, MeasureMode::Total), 0);
    EXPECT_EQ(messageOf([&] { MeasureIntensity(thin, MeasureMode::Mean); }), "Invalid floating point operation");
}

TEST(MeasureIntensity, HalfSizeZeroGivesZero) {
    // An empty window raster: a = b = -2, product 4, 0 / 4 = 0.
    const FakeWindow empty = framed(0, 0, 255, 255);
    EXPECT_EQ(MeasureIntensity(empty, MeasureMode::Total), 0);
    EXPECT_EQ(MeasureIntensity(empty, MeasureMode::Mean), 0);
    // Half sizes 0 and 12 give a 0 x 24 raster, which is empty: a = -2, b = 22, 0 / -44 = 0.
    const FakeWindow flat = framed(0, 24, 255, 255);
    EXPECT_EQ(MeasureIntensity(flat, MeasureMode::Mean), 0);
    EXPECT_EQ(MeasureIntensity(flat, MeasureMode::Total), 0);
    // Half sizes 0 and 1: a = -2, b = 0, product 0: 0 / 0 fails.
    const FakeWindow zeroOne = framed(0, 2, 255, 255);
    EXPECT_EQ(MeasureIntensity(zeroOne, MeasureMode::Total), 0);
    EXPECT_EQ(messageOf([&] { MeasureIntensity(zeroOne, MeasureMode::Mean); }),
              "Invalid floating point operation");
}

// Windows of the half sizes 0 and 1 as the measurement step makes them: a raster is asked
// for at 2 * HalfWidth x 2 * HalfHeight; a zero side gives an empty (0 x 0) raster, yet
// a = width - 2 and b = height - 2 follow the requested size. Rings of 255, interior 7.
struct HalfSizeCase {
    int64_t halfWidth, halfHeight;
    int64_t total;
    const char* mean;  // the mean, or the failure's message
};

class HalfSizes : public ::testing::TestWithParam<HalfSizeCase> {};

TEST_P(HalfSizes, FollowTheRequestedSize) {
    const HalfSizeCase& c = GetParam();
    const int64_t w = 2 * c.halfWidth, h = 2 * c.halfHeight;
    const FakeWindow raster = w == 0 || h == 0 ? framed(0, 0, 255, 7) : framed(w, h, 255, 7);
    EXPECT_EQ(MeasureIntensity(raster, w, h, MeasureMode::Total), c.total);
    std::string mean;
    try {
        mean = std::to_string(MeasureIntensity(raster, w, h, MeasureMode::Mean));
    } catch (const Error& e) {
        mean = e.what();
    }
    EXPECT_EQ(mean, c.mean);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HalfSizes,
    ::testing::Values(HalfSizeCase{0, 1, 0, "Invalid floating point operation"},  // a = -2, b = 0
                      HalfSizeCase{1, 0, 0, "Invalid floating point operation"},  // a = 0, b = -2
                      HalfSizeCase{0, 0, 0, "0"},                                   // -2 * -2 = 4
                      HalfSizeCase{0, 12, 0, "0"}, HalfSizeCase{12, 0, 0, "0"},     // -2 * 22
                      HalfSizeCase{1, 1, 0, "Invalid floating point operation"},
                      HalfSizeCase{1, 12, 0, "Invalid floating point operation"},
                      HalfSizeCase{12, 1, 0, "Invalid floating point operation"},
                      HalfSizeCase{2, 1, 0, "Invalid floating point operation"},
                      HalfSizeCase{2, 2, 28, "7"}, HalfSizeCase{2, 3, 56, "7"}));

TEST(MeasureIntensity, TotalBeyond32BitsIsExact) {
    // 9998 x 9998 interior of 255: 25,489,800,020 (more than 2^34).
    const FakeWindow w = framed(10000, 10000, 0, 255);
    EXPECT_EQ(MeasureIntensity(w, MeasureMode::Total), int64_t(9998) * 9998 * 255);
    EXPECT_EQ(MeasureIntensity(w, MeasureMode::Mean), 255);
}

struct ValueCase {
    int64_t sum, a, b;
    int64_t mean;
};

class WindowValueMean : public ::testing::TestWithParam<ValueCase> {};

TEST_P(WindowValueMean, Rounds) {
    const ValueCase& c = GetParam();
    EXPECT_EQ(windowValue(c.sum, c.a, c.b, MeasureMode::Mean), c.mean);
    EXPECT_EQ(windowValue(c.sum, c.a, c.b, MeasureMode::Total), c.sum);
}

INSTANTIATE_TEST_SUITE_P(Table, WindowValueMean,
                         ::testing::Values(ValueCase{0, 22, 22, 0}, ValueCase{0, -2, 22, 0},
                                           ValueCase{0, -2, -2, 0}, ValueCase{5, 2, 1, 2},
                                           ValueCase{7, 2, 1, 4}, ValueCase{1, 3, 1, 0}, ValueCase{2, 3, 1, 1},
                                           ValueCase{-5, 2, 1, -2}, ValueCase{-7, 2, 1, -4},
                                           ValueCase{-1, 3, 1, 0}, ValueCase{INT64_C(25489800020), 9998, 9998, 255},
                                           // A sum needing all 64 bits stays exact in extended precision.
                                           ValueCase{INT64_C(9007199254740993), 1, 1, INT64_C(9007199254740993)}));

TEST(WindowValue, EmptyInteriorMeanFails) {
    EXPECT_EQ(messageOf([] { windowValue(0, 0, 0, MeasureMode::Mean); }), "Invalid floating point operation");
    EXPECT_EQ(messageOf([] { windowValue(0, 0, 22, MeasureMode::Mean); }), "Invalid floating point operation");
    EXPECT_EQ(windowValue(0, 0, 22, MeasureMode::Total), 0);
}

}  // namespace
}  // namespace qfip
