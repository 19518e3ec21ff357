// Header forms, bit-field masks, the data offset, short files, the size limit and every
// refusal with its exact message.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/Error.h"
#include "raster/BmpReader.h"
#include "support/BmpWriter.h"
#include "support/ErrorText.h"

namespace qfip {
namespace {

using testing::BmpFile;
using testing::packRows;

constexpr uint32_t K = 0xFF000000u;

std::vector<uint32_t> pixelsOf(const Raster& r) {
    return std::vector<uint32_t>(r.data(), r.data() + size_t(r.width()) * size_t(r.height()));
}

std::string errorOf(const std::vector<uint8_t>& bytes, int64_t maxPixels = Raster::kMaxPixels) {
    return testing::errorOf([&] { readBmp(bytes, maxPixels); });
}

// ---- header forms ----------------------------------------------------------------------

TEST(BmpHeaders, CoreHeaderHasThreeByteColourEntries) {
    BmpFile f;
    f.headerSize = 12, f.width = 3, f.height = 2, f.bitCount = 8;
    f.palette = std::vector<uint32_t>(256, 0);
    f.palette[1] = 0x112233, f.palette[2] = 0x445566, f.palette[255] = 0xFFEEDD;
    f.pixels = packRows(8, {{1, 2, 255}, {255, 2, 1}});
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())),
              (std::vector<uint32_t>{0xFFFFEEDD, 0xFF445566, 0xFF112233, 0xFF112233, 0xFF445566, 0xFFFFEEDD}));
}

TEST(BmpHeaders, CoreHeader24BitAndUnsignedSize) {
    BmpFile f;
    f.headerSize = 12, f.width = 2, f.height = 1, f.bitCount = 24;
    f.pixels = packRows(24, {{0x010203, 0x040506}});
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())), (std::vector<uint32_t>{0xFF010203, 0xFF040506}));
}

// Longer headers: their first 40 bytes are read, the colour table follows the whole header.
class BmpLongHeader : public ::testing::TestWithParam<uint32_t> {};

TEST_P(BmpLongHeader, ColourTableFollowsTheWholeHeader) {
    BmpFile f;
    f.headerSize = GetParam(), f.width = 2, f.height = 1, f.bitCount = 8, f.colorsUsed = 2;
    f.palette = {0x0A0B0C, 0x0D0E0F};
    f.pixels = packRows(8, {{1, 0}});
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())), (std::vector<uint32_t>{0xFF0D0E0F, 0xFF0A0B0C}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, BmpLongHeader, ::testing::Values(40u, 41u, 52u, 56u, 64u, 108u, 124u, 200u));

// ---- bit fields -------------------------------------------------------------------------

struct MaskCase {
    const char* name;
    uint32_t headerSize;  // 40: masks follow the header; 52 and more: inside it
    uint16_t bitCount;
    uint32_t red, green, blue;
    std::vector<uint32_t> stored;
    std::vector<uint32_t> expected;
};

class BmpMasks : public ::testing::TestWithParam<MaskCase> {};

TEST_P(BmpMasks, WidenEveryChannelToEightBits) {
    const MaskCase& c = GetParam();
    BmpFile f;
    f.headerSize = c.headerSize, f.width = int32_t(c.stored.size()), f.height = 1, f.bitCount = c.bitCount;
    f.compression = 3;
    f.redMask = c.red, f.greenMask = c.green, f.blueMask = c.blue;
    f.alphaMask = c.bitCount == 16 ? 0xF000u : 0xC0000000u;  // ignored: the raster is opaque
    f.separateMasks = c.headerSize == 40;
    f.pixels = packRows(c.bitCount, {c.stored});
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, BmpMasks,
    ::testing::Values(
        // 5-6-5: 31 -> 255, 63 -> 255, 32 (6 bits) -> 130, 16 (5 bits) -> 132, 1 -> 8 / 4.
        MaskCase{"rgb565", 40, 16, 0xF800, 0x07E0, 0x001F, {0xF800, 0x07E0, 0x001F, 0x8410, 0x0821},
                 {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF848284, 0xFF080408}},
        MaskCase{"rgb555", 40, 16, 0x7C00, 0x03E0, 0x001F, {0x7FFF, 0x4210}, {0xFFFFFFFF, 0xFF848484}},
        // 4-4-4 with alpha in the top nibble: 15 -> 255, 8 -> 136, 1 -> 17.
        MaskCase{"argb4444", 56, 16, 0x0F00, 0x00F0, 0x000F, {0xF8F1, 0x0F00, 0x1234}, {0xFF88FF11, 0xFFFF0000, 0xFF223344}},
        // 10-10-10: 1023 -> 255, 512 -> 128 (127.62 rounded), 1 -> 0 (0.25), 3 -> 1 (0.75).
        MaskCase{"rgb101010", 124, 32, 0x3FF00000, 0x000FFC00, 0x000003FF,
                 {0x3FFFFFFF, (512u << 20) | (1u << 10) | 3u}, {0xFFFFFFFF, 0xFF800001}},
        // Byte masks in other orders: x-B-G-R.
        MaskCase{"xbgr8888", 108, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, {0x00332211}, {0xFF112233}},
        MaskCase{"rgb888Separate", 40, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, {0xAA123456}, {0xFF123456}},
        // Odd widths and positions: 3-bit red at the top (4 -> 146), 1-bit green, 12-bit blue
        // (2048 -> 128, 1 -> 0).
        MaskCase{"odd", 52, 32, 0xE0000000, 0x00010000, 0x00000FFF,
                 {0xE0010FFF, 0x80000800, 0x00000001}, {0xFFFFFFFF, 0xFF920080, 0xFF000000}},
        // A zero mask gives a zero channel.
        MaskCase{"zeroGreen", 40, 16, 0x7C00, 0x0000, 0x001F, {0xFFFF}, {0xFFFF00FF}},
        // 16-bit pixels with a mask wider than the pixel: only its low bits see data
        // (65535 of 131071 -> 127).
        MaskCase{"wideRed", 40, 16, 0x0001FFFF, 0, 0, {0xFFFF}, {0xFF7F0000}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BmpHeaders, MasksInsideTheHeaderAreIgnoredWithoutBitFields) {
    BmpFile f;
    f.headerSize = 124, f.width = 1, f.height = 1, f.bitCount = 16;
    f.redMask = 0xF800, f.greenMask = 0x07E0, f.blueMask = 0x001F;
    f.pixels = packRows(16, {{0x7C00}});
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())), (std::vector<uint32_t>{0xFFFF0000}));  // 5-5-5 red
    f.bitCount = 32;
    f.redMask = 0xFF, f.blueMask = 0xFF0000;
    f.pixels = packRows(32, {{0x00102030}});
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())), (std::vector<uint32_t>{0xFF102030}));  // x888
}

// ---- pixel data offset and short data --------------------------------------------------

TEST(BmpHeaders, DataOffsetPastTheTableIsHonoured) {
    BmpFile f;
    f.width = 1, f.height = 1, f.bitCount = 24;
    f.pixels = {0xEE, 0xEE, 0xEE, 0xEE, 0x01, 0x02, 0x03, 0x00};  // 4 bytes of gap first
    f.dataOffset = 54 + 4;
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())), (std::vector<uint32_t>{0xFF030201}));
}

struct OffsetCase {
    const char* name;
    int64_t offset;
};

class BmpBadOffset : public ::testing::TestWithParam<OffsetCase> {};

// Offsets inside the headers or the table, or at or past the file's end, are ignored.
TEST_P(BmpBadOffset, PixelsFollowTheColourTable) {
    BmpFile f;
    f.width = 1, f.height = 1, f.bitCount = 8, f.colorsUsed = 2;
    f.palette = {0x111111, 0x222222};
    f.pixels = {1, 0, 0, 0};
    f.dataOffset = GetParam().offset;
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())), (std::vector<uint32_t>{0xFF222222}));
}

INSTANTIATE_TEST_SUITE_P(Offsets, BmpBadOffset,
                         ::testing::Values(OffsetCase{"zero", 0}, OffsetCase{"insideHeader", 20},
                                           OffsetCase{"insideTable", 61}, OffsetCase{"atFileEnd", 66},
                                           OffsetCase{"pastFileEnd", 1000}, OffsetCase{"huge", 0xFFFFFFFF}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BmpHeaders, ShortPixelDataLeavesTheRestBlack) {
    // 3 x 2 at 24 bits, bottom-up: the stored first row is whole, the second has one
    // pixel and one byte of the next.
    BmpFile f;
    f.width = 3, f.height = 2, f.bitCount = 24;
    f.pixels = packRows(24, {{0x010101, 0x020202, 0x030303}});
    f.pixels.insert(f.pixels.end(), {0x04, 0x04, 0x04, 0x05});
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())), (std::vector<uint32_t>{0xFF040404, K, K, 0xFF010101, 0xFF020202, 0xFF030303}));
}

TEST(BmpHeaders, ShortIndexedRowKeepsItsWholePixels) {
    // 1-bit, 12 pixels wide: one byte of data holds 8 pixels.
    BmpFile f;
    f.width = 12, f.height = 1, f.bitCount = 1;
    f.palette = {0x000001, 0xFFFFFF};
    f.pixels = {0xFF};
    std::vector<uint32_t> expected(8, 0xFFFFFFFF);
    expected.resize(12, K);
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())), expected);
    // 4-bit, 3 pixels: one byte holds two.
    f.width = 3, f.bitCount = 4, f.pixels = {0x10};
    f.palette.resize(16, 0x777777);
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())), (std::vector<uint32_t>{0xFFFFFFFF, 0xFF000001, K}));
}

TEST(BmpHeaders, ImageSizeSmallerThanTheDataLimitsWhatIsRead) {
    BmpFile f;
    f.width = 1, f.height = 2, f.bitCount = 24, f.imageSize = 4;
    f.pixels = packRows(24, {{0x0A0A0A}, {0x0B0B0B}});
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())), (std::vector<uint32_t>{K, 0xFF0A0A0A}));
    f.imageSize = 1000;  // larger than the file: what the file has
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())), (std::vector<uint32_t>{0xFF0B0B0B, 0xFF0A0A0A}));
}

TEST(BmpHeaders, FullColourTableOf256) {
    BmpFile f;
    f.width = 2, f.height = 1, f.bitCount = 8, f.colorsUsed = 256;
    for (uint32_t i = 0; i < 256; ++i) f.palette.push_back(i * 0x010000 + (255 - i));
    f.pixels = packRows(8, {{255, 0}});
    EXPECT_EQ(pixelsOf(readBmp(f.bytes())), (std::vector<uint32_t>{0xFFFF0000, 0xFF0000FF}));
}

// ---- size limit and empty pictures --------------------------------------------------------

TEST(BmpHeaders, LimitIsCheckedOnTheHeaderAlone) {
    BmpFile f;
    f.width = 100, f.height = -100, f.bitCount = 24;
    EXPECT_EQ(errorOf(f.bytes(), 9999), "Bitmap image is not valid");
    const Raster r = readBmp(f.bytes(), 10000);  // no pixel data: all black
    EXPECT_EQ(r.width(), 100);
    EXPECT_EQ(r.at(99, 99), K);
    // The default limit refuses a header just over 16384 x 16384 without allocating.
    f.width = 16384, f.height = 16385;
    EXPECT_EQ(errorOf(f.bytes()), "Bitmap image is not valid");
    f.width = INT32_MAX, f.height = INT32_MIN;
    EXPECT_EQ(errorOf(f.bytes()), "Bitmap image is not valid");
    f.width = 1;
    EXPECT_EQ(errorOf(f.bytes(), INT64_MAX), "Bitmap image is not valid");
}

TEST(BmpHeaders, ZeroWidthOrHeightIsAnEmptyRaster) {
    for (auto [w, h] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, INT32_MIN}, std::pair{INT32_MAX, 0}}) {
        BmpFile f;
        f.width = w, f.height = h, f.bitCount = 24;
        const Raster r = readBmp(f.bytes());
        EXPECT_TRUE(r.isEmpty()) << w << " x " << h;
    }
}

// ---- refusals ------------------------------------------------------------------------------

std::vector<uint8_t> firstBytes(std::vector<uint8_t> bytes, size_t n) {
    bytes.resize(n);
    return bytes;
}

std::vector<uint8_t> patched(std::vector<uint8_t> bytes, size_t at, uint32_t value) {
    testing::setU32(bytes, at, value);
    return bytes;
}

BmpFile plain8() {
    BmpFile f;
    f.width = 2, f.height = 2, f.bitCount = 8, f.colorsUsed = 2;
    f.palette = {0x000000, 0xFFFFFF};
    f.pixels = packRows(8, {{0, 1}, {1, 0}});
    return f;
}

std::vector<uint8_t> with(std::function<void(BmpFile&)> change) {
    BmpFile f = plain8();
    change(f);
    return f.bytes();
}

struct FailureCase {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* message;
};

class BmpRefusal : public ::testing::TestWithParam<FailureCase> {};

TEST_P(BmpRefusal, FailsWithItsMessage) { EXPECT_EQ(errorOf(GetParam().bytes), GetParam().message); }

const char* const kRead = "Stream read error";
const char* const kInvalid = "Bitmap image is not valid";

INSTANTIATE_TEST_SUITE_P(
    Files, BmpRefusal,
    ::testing::Values(
        FailureCase{"oneByte", {'B'}, kRead},
        FailureCase{"thirteenBytes", firstBytes(plain8().bytes(), 13), kRead},
        FailureCase{"notBM", patched(plain8().bytes(), 0, 0x00004D42 ^ 0x0F0F), kInvalid},
        FailureCase{"notBMShort", {'M', 'B', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, kInvalid},
        FailureCase{"fileHeaderOnly", firstBytes(plain8().bytes(), 14), kRead},
        FailureCase{"insideHeaderSize", firstBytes(plain8().bytes(), 17), kRead},
        FailureCase{"insideInfoHeader", firstBytes(plain8().bytes(), 53), kRead},
        FailureCase{"insideCoreHeader", firstBytes(with([](BmpFile& f) { f.headerSize = 12; }), 25), kRead},
        FailureCase{"headerSizeHuge", patched(plain8().bytes(), 14, 0xFFFFFFFF), kRead},
        FailureCase{"headerSizeOneTooMany", patched(plain8().bytes(), 14, 66 - 14 + 1), kRead},
        FailureCase{"headerSizeLongerThanFile", with([](BmpFile& f) { f.headerSize = 124; f.pixels.clear(); f.palette.clear(); }), kRead},
        FailureCase{"headerSize0", with([](BmpFile& f) { f.headerSize = 0; }), kInvalid},
        FailureCase{"headerSize16", with([](BmpFile& f) { f.headerSize = 16; }), kInvalid},
        FailureCase{"headerSize39", with([](BmpFile& f) { f.headerSize = 39; }), kInvalid},
        FailureCase{"planes0", with([](BmpFile& f) { f.planes = 0; }), kInvalid},
        FailureCase{"planes2", with([](BmpFile& f) { f.planes = 2; }), kInvalid},
        FailureCase{"corePlanes2", with([](BmpFile& f) { f.headerSize = 12; f.planes = 2; }), kInvalid},
        FailureCase{"bitCount0", with([](BmpFile& f) { f.bitCount = 0; }), kInvalid},
        FailureCase{"bitCount2", with([](BmpFile& f) { f.bitCount = 2; }), kInvalid},
        FailureCase{"bitCount7", with([](BmpFile& f) { f.bitCount = 7; }), kInvalid},
        FailureCase{"bitCount64", with([](BmpFile& f) { f.bitCount = 64; }), kInvalid},
        FailureCase{"compression4", with([](BmpFile& f) { f.compression = 4; }), kInvalid},
        FailureCase{"compression5", with([](BmpFile& f) { f.compression = 5; }), kInvalid},
        FailureCase{"compression6", with([](BmpFile& f) { f.bitCount = 32; f.compression = 6; }), kInvalid},
        FailureCase{"rle8At4Bits", with([](BmpFile& f) { f.bitCount = 4; f.compression = 1; }), kInvalid},
        FailureCase{"rle4At8Bits", with([](BmpFile& f) { f.compression = 2; }), kInvalid},
        FailureCase{"bitFieldsAt8Bits", with([](BmpFile& f) { f.compression = 3; }), kInvalid},
        FailureCase{"bitFieldsAt24Bits", with([](BmpFile& f) { f.bitCount = 24; f.compression = 3; }), kInvalid},
        FailureCase{"bitFieldsHeaderTooShortForMasks", with([](BmpFile& f) { f.headerSize = 48; f.bitCount = 16; f.compression = 3; }), kInvalid},
        FailureCase{"topDownRle", with([](BmpFile& f) { f.compression = 1; f.height = -2; }), kInvalid},
        FailureCase{"negativeWidth", with([](BmpFile& f) { f.width = -2; }), kInvalid},
        FailureCase{"table257", with([](BmpFile& f) { f.colorsUsed = 257; }), kInvalid},
        FailureCase{"tableCountHuge", with([](BmpFile& f) { f.colorsUsed = 0xFFFFFFFF; }), kInvalid},
        FailureCase{"tableCut", firstBytes(with([](BmpFile& f) { f.colorsUsed = 0; f.palette.resize(256); f.pixels.clear(); }), 54 + 1023), kRead},
        FailureCase{"impliedTableMissing", with([](BmpFile& f) { f.colorsUsed = 0; f.pixels.clear(); }), kRead},
        FailureCase{"masksCut", firstBytes(with([](BmpFile& f) { f.bitCount = 16; f.compression = 3; f.separateMasks = true; f.colorsUsed = 0; f.palette.clear(); f.pixels.clear(); }), 54 + 11), kRead}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qfip
