#include <gtest/gtest.h>

#include <string>

#include "common/Error.h"
#include "measure/IntegerText.h"

namespace qfip {
namespace {

struct Accepted {
    const char* text;
    int32_t value;
};

class StrToIntAccepts : public ::testing::TestWithParam<Accepted> {};

TEST_P(StrToIntAccepts, ReadsValue) { EXPECT_EQ(StrToInt(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(Table, StrToIntAccepts,
                         ::testing::Values(Accepted{"0", 0}, Accepted{"12", 12}, Accepted{"+12", 12},
                                           Accepted{"-12", -12}, Accepted{"   12", 12}, Accepted{"  -7", -7},
                                           Accepted{"007", 7}, Accepted{"-0000000000000000042", -42},
                                           Accepted{"-0", 0}, Accepted{"2147483647", 2147483647},
                                           Accepted{"-2147483648", INT32_MIN}, Accepted{"$10", 16},
                                           Accepted{"x10", 16}, Accepted{"X1f", 31}, Accepted{"0x10", 16},
                                           Accepted{"0XaB", 171}, Accepted{"  $ff", 255},
                                           Accepted{"$FFFFFFFF", -1}, Accepted{"$ffffffff", -1},
                                           Accepted{"$80000000", INT32_MIN}, Accepted{"$7FFFFFFF", INT32_MAX},
                                           Accepted{"$000000001", 1}, Accepted{"0x00000000FFFFFFFE", -2},
                                           Accepted{"$0", 0}, Accepted{"$000000000000", 0}));

class StrToIntRefuses : public ::testing::TestWithParam<const char*> {};

TEST_P(StrToIntRefuses, WithTheUntrimmedText) {
    const std::string text = GetParam();
    try {
        StrToInt(text);
        FAIL() << "accepted '" << text << "'";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "'" + text + "' is not a valid integer value");
    }
}

INSTANTIATE_TEST_SUITE_P(Table, StrToIntRefuses,
                         ::testing::Values("", " ", "   ", "2147483648", "-2147483649", "2147483649",
                                           "99999999999999999999", "12 ", "12\t", "\t12", "\n12", "1 2",
                                           "12a", "+", "-", "+-1", "-+1", "- 1", "--1", "$", "x", "0x", "0X",
                                           "  $", "-$10", "+$10", "-0x10", "$123456789", "$1FFFFFFFF",
                                           "$FG", "0x 1", "$ 1", "1.0", "1e3", "0x10 ", "12,5"));

TEST(ReadHalfSize, AcceptsZeroAndPositive) {
    EXPECT_EQ(readHalfSize("0", "Grid Width"), 0);
    EXPECT_EQ(readHalfSize(" 12", "Grid Width"), 12);
    EXPECT_EQ(readHalfSize("$7FFFFFFF", "Grid Height"), INT32_MAX);
}

TEST(ReadHalfSize, RefusesNegativeWithCaptionAndValue) {
    try {
        readHalfSize("-3", "Grid Width");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Grid Width must not be negative (-3)");
    }
    try {
        readHalfSize("$FFFFFFFF", "Grid Height");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Grid Height must not be negative (-1)");
    }
}

TEST(ReadHalfSize, BadTextGivesTheIntegerMessage) {
    try {
        readHalfSize("twelve", "Grid Width");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "'twelve' is not a valid integer value");
    }
}

}  // namespace
}  // namespace qfip
