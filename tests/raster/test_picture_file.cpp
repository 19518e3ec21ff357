// The picture loader: the extension rule, reading files, and the icon and metafile checks.
#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <string>
#include <vector>

#include "common/Error.h"
#include "raster/PictureFile.h"
#include "support/BmpWriter.h"
#include "support/ErrorText.h"
#include "support/TempFolderTest.h"

namespace qfip {
namespace {

using testing::errorOf;

struct ExtensionCase {
    const char* path;
    const char* extension;
};

class PictureExtension : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(PictureExtension, IsTheTextAfterTheLastDot) {
    EXPECT_EQ(pictureExtension(GetParam().path), GetParam().extension);
}

INSTANTIATE_TEST_SUITE_P(Names, PictureExtension,
                         ::testing::Values(ExtensionCase{"SCAN01.BMP", "BMP"}, ExtensionCase{"scan01.bmp.bak", "bak"},
                                           ExtensionCase{"scan01", ""}, ExtensionCase{"scan01.", ""},
                                           ExtensionCase{"C:\\pics.d\\scan01", ""}, ExtensionCase{"/pics.d/scan01", ""},
                                           ExtensionCase{"/pics.d/scan01.ico", "ico"}, ExtensionCase{"C:scan", ""},
                                           ExtensionCase{"C:x.Wmf", "Wmf"}, ExtensionCase{"", ""},
                                           ExtensionCase{".emf", "emf"}));

class PictureFileTest : public testing::TempFolderTest {};

TEST_F(PictureFileTest, UpperCaseBmpLoadsAsBitmap) {
    const std::string path = write("SCAN01.BMP", testing::bmp24Uniform(3, 2, {9, 8, 7}));
    const Picture p = loadPicture(path);
    ASSERT_EQ(p.kind(), PictureKind::Bitmap);
    EXPECT_EQ(p.raster().width(), 3);
    EXPECT_EQ(p.raster().height(), 2);
    EXPECT_EQ(p.raster().at(2, 1), 0xFF090807u);
}

TEST_F(PictureFileTest, UnknownExtensionsNameTheExtensionAsWritten) {
    const auto bmp = testing::bmp24Uniform(1, 1, {});
    EXPECT_EQ(errorOf([&] { loadPicture(write("scan01.bmp.bak", bmp)); }), "Unknown picture file extension (.bak)");
    EXPECT_EQ(errorOf([&] { loadPicture(write("scan01", bmp)); }), "Unknown picture file extension (.)");
    EXPECT_EQ(errorOf([&] { loadPicture(write("scan01.PNG", bmp)); }), "Unknown picture file extension (.PNG)");
    EXPECT_EQ(errorOf([&] { loadPicture(write("scan01.bm", bmp)); }), "Unknown picture file extension (.bm)");
    // The extension is checked before the file is opened.
    EXPECT_EQ(errorOf([&] { loadPicture((dir_ / "missing.tif").string()); }), "Unknown picture file extension (.tif)");
}

TEST_F(PictureFileTest, MissingFileCannotBeOpened) {
    const std::string path = (dir_ / "missing.bmp").string();
    EXPECT_EQ(errorOf([&] { loadPicture(path); }), "Cannot open file " + path);
    std::filesystem::create_directories(dir_ / "folder.bmp");
    EXPECT_EQ(errorOf([&] { loadPicture((dir_ / "folder.bmp").string()); }),
              "Cannot open file " + (dir_ / "folder.bmp").string());
}

TEST_F(PictureFileTest, EmptyBmpFileIsAnEmptyBitmap) {
    const Picture p = loadPicture(write("empty.bmp", {}));
    ASSERT_EQ(p.kind(), PictureKind::Bitmap);
    EXPECT_TRUE(p.raster().isEmpty());
}

TEST_F(PictureFileTest, BmpErrorsPassThrough) {
    EXPECT_EQ(errorOf([&] { loadPicture(write("short.bmp", {'B', 'M', 0})); }), "Stream read error");
    EXPECT_EQ(errorOf([&] { loadPicture(write("bad.bmp", std::vector<uint8_t>(20, 'x'))); }),
              "Bitmap image is not valid");
}

std::vector<uint8_t> iconHeader(uint16_t reserved, uint16_t type) {
    std::vector<uint8_t> out;
    testing::putU16(out, reserved);
    testing::putU16(out, type);
    testing::putU16(out, 1);
    return out;
}

TEST_F(PictureFileTest, IconsKeepTheirBytes) {
    const std::vector<uint8_t> bytes = iconHeader(0, 1);
    const Picture p = loadPicture(write("a.ICO", bytes));
    EXPECT_EQ(p.kind(), PictureKind::Icon);
    EXPECT_FALSE(p.hasRaster());
    EXPECT_TRUE(std::ranges::equal(p.fileBytes(), bytes));
    EXPECT_EQ(errorOf([&] { p.raster(); }), "Can only modify an image if it contains a bitmap");
}

struct IconCase {
    std::vector<uint8_t> bytes;
    const char* error;
};

class IconCheck : public ::testing::TestWithParam<IconCase> {};

TEST_P(IconCheck, ChecksTheResourceType) {
    EXPECT_EQ(errorOf([&] { readIcon(GetParam().bytes); }), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, IconCheck,
    ::testing::Values(IconCase{{}, "Stream read error"}, IconCase{{0, 0, 1, 0, 1}, "Stream read error"},
                      IconCase{iconHeader(0, 0), "(no error)"}, IconCase{iconHeader(0, 1), "(no error)"},
                      IconCase{iconHeader(0, 2), "Icon image is not valid"},
                      IconCase{iconHeader(0, 0x100), "Icon image is not valid"},
                      IconCase{iconHeader(7, 1), "(no error)"}));

// An enhanced metafile's first record: type 1 at byte 0, the signature " EMF" at byte 40.
std::vector<uint8_t> enhancedMetafile(size_t size, uint32_t type = 1, uint32_t signature = 0x464D4520u) {
    std::vector<uint8_t> out(size, 0);
    testing::setU32(out, 0, type);
    testing::setU32(out, 40, signature);
    return out;
}

// A placeable metafile header with the given checksum adjustment (0 = correct).
std::vector<uint8_t> placeableMetafile(size_t size, uint16_t checksumError = 0, uint32_t key = 0x9AC6CDD7u) {
    std::vector<uint8_t> out;
    testing::putU32(out, key);
    const uint16_t words[] = {0, 0xFFF0, 0x0010, 1000, 800, 1440, 0, 0};  // handle, bounds, inch, reserved
    for (uint16_t w : words) testing::putU16(out, w);
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2) sum ^= uint16_t(out[i] | (out[i + 1] << 8));
    testing::putU16(out, uint16_t(sum ^ checksumError));
    out.resize(std::max(size, out.size()), 0);
    return out;
}

std::vector<uint8_t> truncated(std::vector<uint8_t> bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

struct MetafileCase {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* result;  // the kind, or the error
};

class MetafileCheck : public ::testing::TestWithParam<MetafileCase> {};

TEST_P(MetafileCheck, DecidesByContent) {
    std::string result;
    try {
        const Picture p = readMetafile(GetParam().bytes);
        result = p.kind() == PictureKind::EnhancedMetafile ? "enhanced" : "placeable";
        EXPECT_TRUE(std::ranges::equal(p.fileBytes(), GetParam().bytes));
    } catch (const Error& e) {
        result = e.what();
    }
    EXPECT_EQ(result, GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Contents, MetafileCheck,
    ::testing::Values(MetafileCase{"enhanced", enhancedMetafile(101), "enhanced"},
                      MetafileCase{"enhancedOf100Bytes", enhancedMetafile(100), "Metafile is not valid"},
                      MetafileCase{"enhancedWrongType", enhancedMetafile(200, 2), "Metafile is not valid"},
                      MetafileCase{"enhancedWrongSignature", enhancedMetafile(200, 1, 0x464D4521u),
                                   "Metafile is not valid"},
                      MetafileCase{"placeable", placeableMetafile(22), "placeable"},
                      MetafileCase{"placeableLonger", placeableMetafile(300), "placeable"},
                      MetafileCase{"placeableBadChecksum", placeableMetafile(300, 1), "Metafile is not valid"},
                      MetafileCase{"placeableBadKey", placeableMetafile(300, 0, 0x9AC6CDD6u), "Metafile is not valid"},
                      MetafileCase{"tooShort", truncated(placeableMetafile(22), 21), "Metafile is not valid"},
                      MetafileCase{"empty", {}, "Metafile is not valid"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PictureFileTest, EitherMetafileExtensionTakesEitherKind) {
    EXPECT_EQ(loadPicture(write("a.wmf", enhancedMetafile(120))).kind(), PictureKind::EnhancedMetafile);
    EXPECT_EQ(loadPicture(write("a.EMF", placeableMetafile(60))).kind(), PictureKind::PlaceableMetafile);
    EXPECT_EQ(errorOf([&] { loadPicture(write("b.emf", std::vector<uint8_t>(60, 1))); }), "Metafile is not valid");
}

TEST(DecodePicture, ChoosesTheReaderAndPassesTheLimit) {
    const std::vector<uint8_t> bmp = testing::bmp24Uniform(4, 4, {1, 2, 3});
    EXPECT_EQ(decodePicture("bmp", bmp).raster().width(), 4);
    EXPECT_EQ(errorOf([&] { decodePicture("bmp", bmp, 15); }), "Bitmap image is not valid");
    EXPECT_EQ(decodePicture("bmp", bmp, 16).raster().height(), 4);
    EXPECT_EQ(decodePicture("ico", iconHeader(0, 1)).kind(), PictureKind::Icon);
    EXPECT_EQ(decodePicture("emf", placeableMetafile(22)).kind(), PictureKind::PlaceableMetafile);
    EXPECT_EQ(errorOf([&] { decodePicture("png", bmp); }), "Unknown picture file extension (.png)");
}

}  // namespace
}  // namespace qfip
