#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "results/ResultFile.h"
#include "results/ResultsLog.h"

namespace qfip {
namespace {

struct LabelCase {
    const char* path;
    const char* label;
};

class FileLabel : public ::testing::TestWithParam<LabelCase> {};

TEST_P(FileLabel, KeepsLastTwelveLessFour) { EXPECT_EQ(fileLabel(GetParam().path), GetParam().label); }

INSTANTIATE_TEST_SUITE_P(
    Table, FileLabel,
    ::testing::Values(LabelCase{"", ""}, LabelCase{"a", "a"}, LabelCase{"abc", "abc"},  // fewer than 4: whole
                      LabelCase{"abcd", ""}, LabelCase{"a.bmp", "a"},
                      LabelCase{"C:\\a\\b.bmp", "C:\\a\\b"},              // 10 characters
                      LabelCase{"f0000017.bmp", "f0000017"},              // exactly 12
                      LabelCase{"/f0000017.bmp", "f0000017"},             // 13
                      LabelCase{"/data/f0000017.bmp", "f0000017"},
                      LabelCase{"/data/series/img_001.tiff", "img_001."},  // never looks for the dot
                      LabelCase{"/data/x.bmp", "/data/x"},
                      // Characters, not bytes: "Bild_äöü_01.bmp" ends in "_äöü_01.bmp" preceded by "d".
                      LabelCase{"/data/Bild_äöü_01.bmp", "d_äöü_01"},
                      LabelCase{"äöüßäöüßäöüß", "äöüßäöüß"},
                      LabelCase{"/x/€€€€€€€€€€€€€€", "€€€€€€€€"},
                      LabelCase{"/x/\xF0\x9F\x93\xB7photo_01.bmp", "photo_01"},
                      LabelCase{"/\xF0\x9F\x93\xB7hoto_01.bmp", "\xF0\x9F\x93\xB7hoto_01"}));

TEST(FileLabel, InvalidBytesCountOneEach) {
    // Three stray bytes (0xFF, a lone continuation 0x80, a truncated lead 0xC3) and nine ASCII.
    EXPECT_EQ(fileLabel("\xFF\x80\xC3" "abcde.bmp"), "\xFF\x80\xC3" "abcde");
    EXPECT_EQ(fileLabel("zz\xFF\x80\xC3" "abcde.bmp"), "\xFF\x80\xC3" "abcde");
    // An overlong encoding of '/' (C0 AF) is two invalid bytes, not one character.
    EXPECT_EQ(fileLabel("\xC0\xAF" "abcdefghij"), "\xC0\xAF" "abcdef");
}

TEST(ResultLine, Layout) {
    EXPECT_EQ(resultLine("f0000017", 143, 12), "    f0000017       143       12");
    EXPECT_EQ(resultLine("", -5, 0), "           -5       0");
    EXPECT_EQ(resultLine("C:\\a\\b", INT64_C(25489800020), -2147483648LL),
              "    C:\\a\\b       25489800020       -2147483648");
}

TEST(AppendLine, AfterLineBreakOrOnEmptyLog) {
    EXPECT_EQ(appendedText(true, "L"), "L\r\n");
    EXPECT_EQ(appendedText(false, "L"), "\r\nL");

    std::string log;
    appendLine(log, "one");
    EXPECT_EQ(log, "one\r\n");
    appendLine(log, "two");
    EXPECT_EQ(log, "one\r\ntwo\r\n");
}

TEST(AppendLine, UserRemovedLastBreak) {
    std::string log = "one\r\nedited";
    appendLine(log, "two");
    EXPECT_EQ(log, "one\r\nedited\r\ntwo");
    appendLine(log, "three");
    EXPECT_EQ(log, "one\r\nedited\r\ntwo\r\nthree");
}

TEST(AppendLine, LoneLfOrCrCountsAsBreak) {
    std::string lf = "one\n";
    appendLine(lf, "two");
    EXPECT_EQ(lf, "one\ntwo\r\n");
    std::string cr = "one\r";
    appendLine(cr, "two");
    EXPECT_EQ(cr, "one\rtwo\r\n");
}

TEST(AppendLine, LineAndParagraphSeparatorsCountAsBreaks) {
    std::string log = "one\u2028";
    appendLine(log, "two");
    EXPECT_EQ(log, "one\u2028two\r\n");
    log = "one\u2029";
    appendLine(log, "two");
    EXPECT_EQ(log, "one\u2029two\r\n");
    log = "one\u00A0";  // a non-breaking space is no break
    appendLine(log, "two");
    EXPECT_EQ(log, "one\u00A0\r\ntwo");
}

struct LastCharacterCase {
    const char* text;
    std::optional<char32_t> last;
    bool startsLine;  // the next line goes directly after the text
};

void PrintTo(const LastCharacterCase& c, std::ostream* out) { *out << '"' << c.text << '"'; }

class LastCharacter : public ::testing::TestWithParam<LastCharacterCase> {};

TEST_P(LastCharacter, DecidesWhereTheNextLineGoes) {
    const LastCharacterCase& c = GetParam();
    EXPECT_EQ(lastCharacter(c.text), c.last);
    EXPECT_EQ(isEmptyOrEndsWithBreak(lastCharacter(c.text)), c.startsLine);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LastCharacter,
    ::testing::Values(LastCharacterCase{"", std::nullopt, true}, LastCharacterCase{"a\n", U'\n', true},
                      LastCharacterCase{"a\r", U'\r', true}, LastCharacterCase{"a\u2028", U'\u2028', true},
                      LastCharacterCase{"a\u2029", U'\u2029', true}, LastCharacterCase{"a", U'a', false},
                      LastCharacterCase{"a\u00A0", U'\u00A0', false}, LastCharacterCase{"\u20AC", U'\u20AC', false},
                      LastCharacterCase{"\u2027", U'\u2027', false}, LastCharacterCase{"x\u0085", U'\u0085', false},
                      LastCharacterCase{"\U0001F4F7", U'\U0001F4F7', false},
                      // Broken sequences: the last byte on its own reads as U+FFFD.
                      LastCharacterCase{"a\xE2\x80", U'\uFFFD', false}, LastCharacterCase{"\xA8", U'\uFFFD', false},
                      LastCharacterCase{"\x80\x80\x80\xA8", U'\uFFFD', false},
                      LastCharacterCase{"\xE2\x80\xA8\xA8", U'\uFFFD', false},
                      LastCharacterCase{"\xED\xA0\x80", U'\uFFFD', false}));  // a surrogate

TEST(IsLineBreak, ExactlyTheFourBreaks) {
    for (char32_t c = 0; c < 0x3000; ++c) {
        EXPECT_EQ(isLineBreak(c), c == U'\r' || c == U'\n' || c == 0x2028 || c == 0x2029) << uint32_t(c);
    }
}

struct CrlfCase {
    const char* in;
    const char* out;
};

class CrlfLineEnds : public ::testing::TestWithParam<CrlfCase> {};

TEST_P(CrlfLineEnds, Converts) { EXPECT_EQ(withCrlfLineEnds(GetParam().in), GetParam().out); }

INSTANTIATE_TEST_SUITE_P(Table, CrlfLineEnds,
                         ::testing::Values(CrlfCase{"", ""}, CrlfCase{"abc", "abc"}, CrlfCase{"a\r\nb", "a\r\nb"},
                                           CrlfCase{"a\nb\n", "a\r\nb\r\n"}, CrlfCase{"a\rb\r", "a\r\nb\r\n"},
                                           CrlfCase{"\n\r", "\r\n\r\n"}, CrlfCase{"\r\r\n\n", "\r\n\r\n\r\n"},
                                           CrlfCase{"\n\n", "\r\n\r\n"}, CrlfCase{"ä\nö", "ä\r\nö"},
                                           // What Shift+Enter and block ends leave in a text area.
                                           CrlfCase{"a\u2028b", "a\r\nb"}, CrlfCase{"a\u2029", "a\r\n"},
                                           CrlfCase{"\u2028\u2028x\u2029", "\r\n\r\nx\r\n"},
                                           CrlfCase{"\r\u2028\n", "\r\n\r\n\r\n"},
                                           // Kept byte for byte: NBSP, other E2 characters, broken bytes.
                                           CrlfCase{"a\u00A0b", "a\u00A0b"}, CrlfCase{"\u20AC\u2027\u202A", "\u20AC\u2027\u202A"},
                                           CrlfCase{"\xE2\x80", "\xE2\x80"}, CrlfCase{"\xE2\n", "\xE2\r\n"},
                                           CrlfCase{"\xE2\x80\xA8\xFF", "\r\n\xFF"}));

}  // namespace
}  // namespace qfip
