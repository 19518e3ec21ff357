// Drawing pictures for display: bitmaps shared with their raster, icons through Qt's
// ico reader, enhanced and placeable metafiles through their libraries.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "common/Error.h"
#include "raster/PictureFile.h"
#include "support/DrawnPictureWriter.h"
#include "exchange/RenderExchange.h"
#include "ui/PictureRendering.h"

using namespace qfip;
using namespace qfip::testing;

namespace {

std::string errorOf(const Picture& picture) {
    try {
        renderPicture(picture);
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

Picture drawnPicture(PictureKind kind, std::vector<uint8_t> bytes) {
    return Picture::drawn(kind, std::move(bytes));
}

}  // namespace

TEST(BitmapImage, SharesTheRastersPixelsAndKeepsItAlive) {
    Raster raster = Raster::uninitialised(3, 2);
    const uint32_t words[] = {0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0, 0xFFD0E0F0, 0xFF000000};
    for (int i = 0; i < 6; ++i) raster.data()[i] = words[i];
    const uint32_t* pixels = raster.data();
    QImage image;
    {
        const Picture picture = Picture::bitmap(std::move(raster));
        image = renderPicture(picture);
    }
    // The picture is gone; the image still holds the raster.
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_EQ(image.bytesPerLine(), 12);
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(image.constBits()), pixels);
    EXPECT_EQ(image.pixel(0, 0), 0xFF102030u);
    EXPECT_EQ(image.pixel(2, 0), 0xFF708090u);
    EXPECT_EQ(image.pixel(1, 1), 0xFFD0E0F0u);
}

TEST(BitmapImage, EmptyRasterGivesANullImage) {
    EXPECT_TRUE(renderPicture(Picture::bitmap(Raster())).isNull());
    EXPECT_TRUE(imageOfRaster(Raster()).isNull());
}

TEST(BitmapImage, ViewOverABorrowedRaster) {
    Raster raster = Raster::createWindow(2, 2);
    const QImage image = imageOfRaster(raster);
    ASSERT_EQ(image.size(), QSize(2, 2));
    EXPECT_EQ(image.pixel(1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(image.constBits(), reinterpret_cast<const uchar*>(raster.data()));
}

TEST(IconImage, DecodesA32BitIcon) {
    // Top row red, green; bottom row blue, white.
    const auto bytes = icon32(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
    const QImage image = renderPicture(drawnPicture(PictureKind::Icon, bytes));
    ASSERT_EQ(image.size(), QSize(2, 2));
    EXPECT_EQ(image.pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(image.pixel(1, 0), 0xFF00FF00u);
    EXPECT_EQ(image.pixel(0, 1), 0xFF0000FFu);
    EXPECT_EQ(image.pixel(1, 1), 0xFFFFFFFFu);
}

TEST(IconImage, FourByFour) {
    std::vector<uint32_t> pixels(16, 0xFF336699);
    pixels[5] = 0xFFCC0000;  // (1, 1)
    const QImage image = renderPicture(drawnPicture(PictureKind::Icon, icon32(4, 4, pixels)));
    ASSERT_EQ(image.size(), QSize(4, 4));
    EXPECT_EQ(image.pixel(1, 1), 0xFFCC0000u);
    EXPECT_EQ(image.pixel(3, 3), 0xFF336699u);
}

TEST(IconImage, CorruptBodiesAreNotValid) {
    const std::vector<uint8_t> headerOnly = {0, 0, 1, 0, 1, 0};
    std::vector<uint8_t> noImages = {0, 0, 1, 0, 0, 0};
    std::vector<uint8_t> truncated = icon32(4, 4, std::vector<uint32_t>(16, 0xFF000000));
    truncated.resize(30);
    std::vector<uint8_t> offsetPastEnd = icon32(4, 4, std::vector<uint32_t>(16, 0xFF000000));
    setU32(offsetPastEnd, 18, 0x7FFFFFF0);
    for (const auto& bytes : {headerOnly, noImages, truncated, offsetPastEnd}) {
        EXPECT_EQ(errorOf(drawnPicture(PictureKind::Icon, bytes)), "Icon image is not valid");
    }
}

TEST(EnhancedMetafile, DrawnAtItsFrameSizeOnWhite) {
    // A 48 x 24 picture (frame 12.70 x 6.35 mm), the left half red.
    const QImage image = renderPicture(drawnPicture(PictureKind::EnhancedMetafile, EmfFile{}.bytes()));
    ASSERT_EQ(image.size(), QSize(48, 24));
    EXPECT_EQ(image.pixel(10, 12), 0xFFFF0000u);
    EXPECT_EQ(image.pixel(40, 12), 0xFFFFFFFFu);
}

TEST(EnhancedMetafile, SizeFromFrameOrBounds) {
    struct Case {
        int32_t bounds[4];
        int32_t frame[4];
        std::optional<exchange::Size> size;
    };
    const Case cases[] = {
        {{0, 0, 47, 23}, {0, 0, 1270, 635}, exchange::Size{48, 24}},
        {{0, 0, 47, 23}, {100, 200, 1370, 835}, exchange::Size{48, 24}},
        {{0, 0, 47, 23}, {1270, 635, 0, 0}, exchange::Size{48, 24}},       // reversed frame
        {{0, 0, 99, 49}, {0, 0, 0, 0}, exchange::Size{100, 50}},           // no frame: bounds
        {{0, 0, 0, 0}, {0, 0, 27, 27}, exchange::Size{1, 1}},              // 1.02 px rounds to 1
        {{0, 0, 0, 0}, {0, 0, 13, 13}, exchange::Size{0, 0}},              // 0.49 px: empty
        {{0, 0, 20000, 10}, {0, 0, 0, 0}, std::nullopt},          // side beyond the limit
        {{0, 0, 10000, 10000}, {0, 0, 0, 0}, std::nullopt},       // area beyond the limit
        {{INT32_MIN, 0, INT32_MAX, 0}, {INT32_MIN, 0, INT32_MAX, 1}, std::nullopt},
    };
    for (const Case& c : cases) {
        EmfFile emf;
        std::copy(std::begin(c.bounds), std::end(c.bounds), emf.bounds);
        std::copy(std::begin(c.frame), std::end(c.frame), emf.frame);
        const std::optional<exchange::Size> size = exchange::enhancedMetafileSize(emf.bytes());
        if (c.size && c.size->width > 0) {
            EXPECT_EQ(size, c.size) << c.frame[2];
        } else {
            EXPECT_FALSE(size.has_value()) << c.frame[2];
        }
    }
}

TEST(EnhancedMetafile, CorruptBodiesAreNotValid) {
    EmfFile noSize;
    std::fill(std::begin(noSize.frame), std::end(noSize.frame), 0);
    std::fill(std::begin(noSize.bounds), std::end(noSize.bounds), 0);
    noSize.bounds[2] = 100000;
    std::vector<uint8_t> garbage = EmfFile{}.bytes();
    for (size_t i = 108; i < garbage.size(); ++i) garbage[i] = uint8_t(0xA5 ^ i);
    std::vector<uint8_t> zeroRecordSize = EmfFile{}.bytes();
    setU32(zeroRecordSize, 112, 0);
    std::vector<uint8_t> hugeRecordSize = EmfFile{}.bytes();
    setU32(hugeRecordSize, 112, 0xFFFFFFF0);
    std::vector<uint8_t> truncated = EmfFile{}.bytes();
    truncated.resize(104);
    for (const auto& bytes : {noSize.bytes(), garbage, zeroRecordSize, hugeRecordSize, truncated}) {
        EXPECT_EQ(errorOf(drawnPicture(PictureKind::EnhancedMetafile, bytes)), "Metafile is not valid");
    }
}

TEST(PlaceableMetafile, DrawnAtItsHeaderSizeOnWhite) {
    // 40 x 30 units at 96 per inch; a green rectangle over the left half.
    WmfFile wmf;
    wmf.rect[2] = 20;
    const QImage image = renderPicture(drawnPicture(PictureKind::PlaceableMetafile, wmf.bytes()));
    ASSERT_EQ(image.size(), QSize(40, 30));
    EXPECT_EQ(image.pixel(10, 15), 0xFF00FF00u);
    EXPECT_EQ(image.pixel(32, 15), 0xFFFFFFFFu);
}

TEST(PlaceableMetafile, SizeFromBoundingBoxAndUnitsPerInch) {
    struct Case {
        int16_t box[4];
        uint16_t unitsPerInch;
        std::optional<exchange::Size> size;
    };
    const Case cases[] = {
        {{0, 0, 40, 30}, 96, exchange::Size{40, 30}},
        {{0, 0, 600, 450}, 1440, exchange::Size{40, 30}},        // twips
        {{-300, -225, 300, 225}, 1440, exchange::Size{40, 30}},  // centred box
        {{40, 30, 0, 0}, 96, exchange::Size{40, 30}},            // reversed box
        {{0, 0, 1000, 1000}, 2540, exchange::Size{38, 38}},      // 37.8 rounds up
        {{0, 0, 40, 30}, 0, std::nullopt},
        {{0, 0, 0, 30}, 96, std::nullopt},
        {{0, 0, 32767, 32767}, 1, std::nullopt},  // three million pixels a side
    };
    for (const Case& c : cases) {
        WmfFile wmf;
        std::copy(std::begin(c.box), std::end(c.box), wmf.box);
        wmf.unitsPerInch = c.unitsPerInch;
        EXPECT_EQ(exchange::placeableMetafileSize(wmf.bytes()), c.size) << c.unitsPerInch;
    }
}

TEST(PlaceableMetafile, CorruptBodiesAreNotValid) {
    WmfFile noUnits;
    noUnits.unitsPerInch = 0;
    std::vector<uint8_t> headerOnly = WmfFile{}.bytes();
    headerOnly.resize(22);
    std::vector<uint8_t> badMetaHeader = WmfFile{}.bytes();
    badMetaHeader[24] = 0x77;  // header size
    std::vector<uint8_t> hugeRecord = WmfFile{}.bytes();
    setU32(hugeRecord, 40, 0x7FFFFFFF);  // first record's size
    std::vector<uint8_t> garbage = WmfFile{}.bytes();
    for (size_t i = 22; i < garbage.size(); ++i) garbage[i] = uint8_t(0x5A ^ i);
    for (const auto& bytes : {noUnits.bytes(), headerOnly, badMetaHeader, hugeRecord, garbage}) {
        EXPECT_EQ(errorOf(drawnPicture(PictureKind::PlaceableMetafile, bytes)), "Metafile is not valid");
    }
}

TEST(MetafileFiles, KindIsDecidedByContentNotByName) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string enhancedAsWmf = folder.filePath("enhanced.wmf").toStdString();
    const std::string placeableAsEmf = folder.filePath("placeable.emf").toStdString();
    writeFile(enhancedAsWmf, EmfFile{}.bytes());
    writeFile(placeableAsEmf, WmfFile{}.bytes());

    const Picture enhanced = loadPicture(enhancedAsWmf);
    EXPECT_EQ(enhanced.kind(), PictureKind::EnhancedMetafile);
    const QImage enhancedImage = renderPicture(enhanced);
    EXPECT_EQ(enhancedImage.size(), QSize(48, 24));
    EXPECT_EQ(enhancedImage.pixel(5, 5), 0xFFFF0000u);

    const Picture placeable = loadPicture(placeableAsEmf);
    EXPECT_EQ(placeable.kind(), PictureKind::PlaceableMetafile);
    const QImage placeableImage = renderPicture(placeable);
    EXPECT_EQ(placeableImage.size(), QSize(40, 30));
    EXPECT_EQ(placeableImage.pixel(20, 15), 0xFF00FF00u);
}

TEST(IconImage, IconFileMadeByAnotherProgram) {
    const Picture picture = loadPicture(QFIP_TEST_DATA_DIR "/squares32.ico");
    ASSERT_EQ(picture.kind(), PictureKind::Icon);
    const QImage image = renderPicture(picture);
    ASSERT_EQ(image.size(), QSize(32, 32));
    EXPECT_EQ(image.pixel(0, 0), 0xFF2060C0u);
    EXPECT_EQ(image.pixel(7, 7), 0xFF2060C0u);
    EXPECT_EQ(image.pixel(8, 8), 0xFFF0C020u);
    EXPECT_EQ(image.pixel(23, 16), 0xFFF0C020u);
    EXPECT_EQ(image.pixel(24, 24), 0xFF2060C0u);
}
