// Drawing pictures for display: bitmaps shared with their raster; icons (Qt's ico
// reader) and enhanced and placeable metafiles (their libraries) through the drawing
// helper process.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFont>
#include <QPainter>
#include <QTemporaryDir>
#include <thread>

#include "common/Error.h"
#include "raster/PictureFile.h"
#include "support/LeftoverProcesses.h"
#include "support/DrawnPictureWriter.h"
#include "support/ErrorText.h"
#include "support/PictureColours.h"
#include "ui/support/MainFormTesting.h"
#include "exchange/RenderClient.h"
#include "ui/PictureRendering.h"

using namespace qfip;
using namespace qfip::testing;

namespace {

std::string drawingError(const Picture& picture) {
    return qfip::testing::errorOf([&] { renderPicture(picture); });
}

Picture drawnPicture(PictureKind kind, const std::vector<uint8_t>& bytes) {
    const DrawnKind drawn = kind == PictureKind::Icon               ? DrawnKind::Icon
                            : kind == PictureKind::EnhancedMetafile ? DrawnKind::EnhancedMetafile
                                                                    : DrawnKind::PlaceableMetafile;
    return Picture::drawn(drawn, SealedBytes::copyOf(bytes, kDrawnFilePadding));
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
        EXPECT_EQ(drawingError(drawnPicture(PictureKind::Icon, bytes)), "Icon image is not valid");
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
        {{0, 0, 0, 0}, {0, 0, 13, 13}, exchange::Size{0, 0}},              // 0.49 px: an empty picture
        {{0, 0, 20000, 10}, {0, 0, 0, 0}, std::nullopt},          // side beyond the limit
        {{0, 0, 10000, 10000}, {0, 0, 0, 0}, std::nullopt},       // area beyond the limit
        {{INT32_MIN, 0, INT32_MAX, 0}, {INT32_MIN, 0, INT32_MAX, 1}, std::nullopt},
    };
    for (const Case& c : cases) {
        EmfFile emf;
        std::copy(std::begin(c.bounds), std::end(c.bounds), emf.bounds);
        std::copy(std::begin(c.frame), std::end(c.frame), emf.frame);
        EXPECT_EQ(exchange::enhancedMetafileSize(emf.bytes()), c.size) << c.frame[2];
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
        EXPECT_EQ(drawingError(drawnPicture(PictureKind::EnhancedMetafile, bytes)), "Metafile is not valid");
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

// libwmf's SVG device names the nearest SVG colour; every colour is drawn as the file has it.
TEST(PlaceableMetafile, ColoursDrawnExactly) {
    WmfFile wmf;
    wmf.colour = 0x0088D468;  // 0x00BBGGRR: RGB 68D488, near mediumaquamarine 66CDAA
    wmf.rect[2] = 20;
    wmf.rect[3] = 15;
    wmf.more = {{0x001E1E1E, {20, 0, 40, 15}}, {0x00563412, {0, 15, 20, 30}}, {0x00FCFDFE, {20, 15, 40, 30}}};
    const QImage image = renderPicture(drawnPicture(PictureKind::PlaceableMetafile, wmf.bytes()));
    ASSERT_EQ(image.size(), QSize(40, 30));
    EXPECT_EQ(image.pixel(10, 7), 0xFF68D488u);
    EXPECT_EQ(image.pixel(30, 7), 0xFF1E1E1Eu);
    EXPECT_EQ(image.pixel(10, 22), 0xFF123456u);
    EXPECT_EQ(image.pixel(30, 22), 0xFFFEFDFCu);
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
        {{0, 0, 40, 30}, 0, exchange::Size{0, 0}},  // empty pictures
        {{0, 0, 0, 30}, 96, exchange::Size{0, 30}},
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
    std::vector<uint8_t> headerOnly = WmfFile{}.bytes();
    headerOnly.resize(22);
    std::vector<uint8_t> badMetaHeader = WmfFile{}.bytes();
    badMetaHeader[24] = 0x77;  // header size
    std::vector<uint8_t> hugeRecord = WmfFile{}.bytes();
    setU32(hugeRecord, 40, 0x7FFFFFFF);  // first record's size
    std::vector<uint8_t> garbage = WmfFile{}.bytes();
    for (size_t i = 22; i < garbage.size(); ++i) garbage[i] = uint8_t(0x5A ^ i);
    for (const auto& bytes : {headerOnly, badMetaHeader, hugeRecord, garbage}) {
        EXPECT_EQ(drawingError(drawnPicture(PictureKind::PlaceableMetafile, bytes)), "Metafile is not valid");
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

namespace {

// FNV-1a over the size and every pixel's 0xAARRGGBB value, as QImage::pixel gives it.
uint64_t pixelHash(const QImage& image) {
    uint64_t h = 1469598103934665603ull;
    const auto mix = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            h ^= (v >> (8 * i)) & 0xFF;
            h *= 1099511628211ull;
        }
    };
    mix(uint32_t(image.width()));
    mix(uint32_t(image.height()));
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) mix(uint32_t(image.pixel(x, y)));
    return h;
}

EmfFile textMetafile(std::vector<EmfText> texts) {
    EmfFile emf;
    emf.fontFace = u"DejaVu Sans";
    emf.texts = std::move(texts);
    return emf;
}

// Glyphs 43 and 76 of DejaVu Sans are "H" and "i".
const EmfText kGlyphText{2, 2, {43, 76}, true, false};
const EmfText kGlyphTextWithAdvances{2, 12, {43, 76}, true, true};
// A glyph index far past the end of the font's table (DejaVu Sans has some 6000).
const EmfText kGlyphPastTheTable{2, 2, {0xFFFF, 0xFFF0}, true, false};

// Qt draws text that needs fallback fonts: in a process that draws this way, a
// library that tears fontconfig down (FcFini) aborts the process.
void drawTextWithFallbackFonts() {
    QImage image(80, 20, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setFont(QFont(QStringLiteral("Sans Serif")));
    painter.drawText(2, 15, QString::fromUtf8("Qt \u2603 \u4e2d \u00e9"));
}

}  // namespace

// Every icon and metafile these tests draw, drawn before the drawing moved into the
// helper process: the helper must give exactly the same pixels (size and every pixel).
// The metafiles' values are those of the renderers that draw them now: librsvg for
// enhanced metafiles (the rectangle's edge crisp as GDI draws it, with no outline from
// its null pen and, as GDI, a pixel short of its right and bottom edges; the text drawn
// by Pango on the white cells of GDI's default OPAQUE background) and libwmf's bitmap device for placeable ones (a crisp
// one-pixel outline of the default pen where QSvgRenderer blurred a 0.7-pixel stroke).
TEST(HelperDrawing, SamePixelsAsTheProgramDrewInItsOwnProcess) {
    std::vector<uint32_t> fourByFour(16, 0xFF336699);
    fourByFour[5] = 0xFFCC0000;
    WmfFile halfGreen;
    halfGreen.rect[2] = 20;
    std::vector<uint8_t> iconOfTypeZero = icon32(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
    iconOfTypeZero[2] = 0;
    WmfFile noUnits, emptyBox;
    noUnits.unitsPerInch = 0;
    std::fill(std::begin(emptyBox.box), std::end(emptyBox.box), int16_t(0));
    struct Case {
        const char* name;
        PictureKind kind;
        std::vector<uint8_t> bytes;
        QSize size;
        uint64_t hash;
    };
    const Case cases[] = {
        {"2 x 2 icon", PictureKind::Icon, icon32(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}), QSize(2, 2), 0x5473bcf23ad5672bull},
        {"4 x 4 icon", PictureKind::Icon, icon32(4, 4, fourByFour), QSize(4, 4), 0x16fa7428f9b3f55bull},
        {"green icon", PictureKind::Icon, icon32(4, 4, std::vector<uint32_t>(16, 0xFF00FF00)), QSize(4, 4), 0xdb6670aabd6af6a3ull},
        {"1 x 1 icon", PictureKind::Icon, tinyIcon(), QSize(1, 1), 0x029b08a313b2dd6aull},
        {"icon made by another program", PictureKind::Icon, [] { const Picture p = loadPicture(QFIP_TEST_DATA_DIR "/squares32.ico"); return std::vector<uint8_t>(p.fileBytes().begin(), p.fileBytes().end()); }(), QSize(32, 32), 0xfcb2bea4e309c823ull},
        {"enhanced metafile", PictureKind::EnhancedMetafile, EmfFile{}.bytes(), QSize(48, 24), 0xb29da3d1e15b7fe5ull},
        {"enhanced metafile with text", PictureKind::EnhancedMetafile, textMetafile({{2, 2, {u'H', u'i'}}}).bytes(), QSize(48, 24), 0x2051f51185cefa27ull},
        {"text by glyph index", PictureKind::EnhancedMetafile, textMetafile({kGlyphText}).bytes(), QSize(48, 24), 0x2051f51185cefa27ull},
        {"placeable metafile", PictureKind::PlaceableMetafile, WmfFile{}.bytes(), QSize(40, 30), 0x875116a0e2cac915ull},
        {"half green placeable metafile", PictureKind::PlaceableMetafile, halfGreen.bytes(), QSize(40, 30), 0x4d93d01ba0ce5f75ull},
        // Files the program takes that the libraries alone refuse.
        {"icon of resource type 0", PictureKind::Icon, iconOfTypeZero, QSize(2, 2), 0x5473bcf23ad5672bull},
        {"placeable metafile without units per inch", PictureKind::PlaceableMetafile, noUnits.bytes(), QSize(0, 0), 0},
        {"placeable metafile with an empty box", PictureKind::PlaceableMetafile, emptyBox.bytes(), QSize(0, 0), 0},
    };
    for (const Case& c : cases) {
        const QImage image = renderPicture(drawnPicture(c.kind, c.bytes));
        EXPECT_EQ(image.size(), c.size) << c.name;
        if (image.isNull()) continue;  // an empty picture: nothing drawn
        EXPECT_EQ(pixelHash(image), c.hash) << c.name << std::hex << " 0x" << pixelHash(image);
        // The formats the program's own drawing gave: Qt's ico reader's, and the metafiles' on white.
        EXPECT_EQ(image.format(), c.kind == PictureKind::Icon ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32) << c.name;
    }
    EXPECT_TRUE(noHelperLeft());
}

// Files that crashed the program when it drew them in its own process: text drawn by
// glyph index (the library tears fontconfig down under Qt: SIGABRT), a missing end
// record (a read past the buffer), a glyph index past the font's table (a read past
// the table). Each now draws or says it is not valid, twice in a row, and the process
// that asked goes on drawing text.
TEST(HelperDrawing, FilesThatCrashedTheProgramDrawOrAreNotValid) {
    drawTextWithFallbackFonts();
    EmfFile noEnd;
    noEnd.endRecord = false;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* failure;  // null: drawn
        uint64_t hash;
    };
    const Case cases[] = {
        {"glyph-index text", textMetafile({kGlyphText}).bytes(), nullptr, 0x2051f51185cefa27ull},
        {"glyph-index text twice, with advances", textMetafile({kGlyphText, kGlyphTextWithAdvances}).bytes(), nullptr, 0},
        {"no end record", noEnd.bytes(), "Metafile is not valid", 0},
        {"glyph-index text without an end record", [] { EmfFile e = textMetafile({kGlyphText}); e.endRecord = false; return e.bytes(); }(), "Metafile is not valid", 0},
        {"glyph index past the table", textMetafile({kGlyphPastTheTable}).bytes(), nullptr, 0},
    };
    for (const Case& c : cases) {
        for (int time = 0; time < 2; ++time) {
            const Picture picture = decodePicture("emf", c.bytes);
            if (c.failure) {
                EXPECT_EQ(drawingError(picture), c.failure) << c.name;
            } else {
                const QImage image = renderPicture(picture);
                EXPECT_EQ(image.size(), QSize(48, 24)) << c.name;
                EXPECT_EQ(image.pixel(22, 1), 0xFFFF0000u) << c.name;  // the rectangle beside the text
                if (c.hash) {
                    EXPECT_EQ(pixelHash(image), c.hash) << c.name;
                }
            }
            drawTextWithFallbackFonts();
        }
    }
    EXPECT_TRUE(noHelperLeft());
}

namespace {

// fontconfig's user font folder ($XDG_DATA_HOME/fonts) for the helpers started while it lives.
struct UserFontsIn {
    explicit UserFontsIn(const QString& folder) : old(qgetenv("XDG_DATA_HOME")) { qputenv("XDG_DATA_HOME", QFile::encodeName(folder)); }
    ~UserFontsIn() {
        old.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", old);
        setRenderHelperPath(QStringLiteral(QFIP_RENDER_HELPER));  // no spare keeps the folder
    }
    QByteArray old;
};

}  // namespace

// A metafile whose text becomes markup for an image of one of the user's pictures draws
// its text and never shows the picture: the SVG check holds alone (the picture in a font
// folder the helper may read) and the file confinement holds alone (the helper built
// without the check). Without either (last case) the picture still does not show:
// librsvg, given the document with no base location, resolves no reference at all (the
// render module's tests show that QSvgRenderer follows the same document to the file).
// A placeable metafile's text makes no markup at all: libwmf's bitmap device draws it.
TEST(HelperDrawing, TextThatBecomesMarkupNeverShowsTheUsersPicture) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("data/fonts")));
    const UserFontsIn userFonts(folder.filePath(QStringLiteral("data")));
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(kUsersPictureColour);
    const QString inTmp = folder.filePath(QStringLiteral("picture.png"));
    const QString inFonts = folder.filePath(QStringLiteral("data/fonts/picture.png"));
    ASSERT_TRUE(picture.save(inTmp) && picture.save(inFonts));
    // "Hi" and spaces up to the file's own count of characters: GDI's default OPAQUE
    // background fills the cells of all of them.
    const auto hiOfLength = [](size_t characters) {
        const std::string text = "Hi" + std::string(characters - 2, ' ');
        return renderPicture(drawnPicture(PictureKind::EnhancedMetafile, textMetafile({{2, 2, utf16(text)}}).bytes()));
    };

    struct Case {
        const char* what;
        const char* helper;
        const QString& picture;
    };
    const Case cases[] = {
        {"both defences", QFIP_RENDER_HELPER, inTmp},
        {"the SVG check alone", QFIP_RENDER_HELPER, inFonts},
        {"the file confinement alone", QFIP_RENDER_HELPER_WITHOUT_MARKUP_CHECK, inTmp},
        {"neither", QFIP_RENDER_HELPER_WITHOUT_MARKUP_CHECK, inFonts},
    };
    for (const Case& c : cases) {
        setRenderHelperPath(QString::fromUtf8(c.helper));
        const std::string path = c.picture.toStdString();
        WmfFile wmf;
        wmf.text = textAddingImage(path, 40, 30, false);
        const std::pair<PictureKind, std::vector<uint8_t>> files[] = {
            {PictureKind::EnhancedMetafile, textMetafile({{2, 2, utf16(textAddingImage(path, 48, 24, true))}}).bytes()},
            {PictureKind::PlaceableMetafile, wmf.bytes()},
        };
        for (const auto& [kind, bytes] : files) {
            const std::string what = std::string(c.what) + (kind == PictureKind::EnhancedMetafile ? ", EMF" : ", WMF");
            QImage image;
            const std::string error = errorOf([&] { image = renderPicture(drawnPicture(kind, bytes)); });
            EXPECT_EQ(error, "(no error)") << what;
            EXPECT_FALSE(holdsColour(image, kUsersPictureColour)) << what;
            if (kind == PictureKind::EnhancedMetafile) {
                // libemf2svg's text, cut short where the markup began, draws as the text alone.
                EXPECT_EQ(pixelHash(image), pixelHash(hiOfLength(textAddingImage(path, 48, 24, true).size()))) << what;
            } else {
                // libwmf's text draws in black on the green rectangle.
                EXPECT_TRUE(holdsColour(image, 0xFF000000)) << what;
            }
        }
    }
    EXPECT_TRUE(noHelperLeft());
}

TEST(HelperDrawing, DrawsFromWorkerThreadsAtOnce) {
    const Picture emf = drawnPicture(PictureKind::EnhancedMetafile, EmfFile{}.bytes());
    const Picture icon = loadPicture(QFIP_TEST_DATA_DIR "/squares32.ico");
    std::atomic<int> right{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const QImage image = renderPicture(t % 2 ? emf : icon);
            if (image.pixel(10, 12) == (t % 2 ? 0xFFFF0000u : 0xFFF0C020u)) ++right;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(right.load(), 4);
    EXPECT_TRUE(noHelperLeft());
}

// A large metafile (16 million pixels) comes back whole: its size and its pixels to the
// last row, its left half red, within the deadline that grows with the picture.
TEST(HelperDrawing, LargeMetafileArrivesWhole) {
    const int side = qEnvironmentVariableIntValue("QFIP_LARGE_SIDE") ? qEnvironmentVariableIntValue("QFIP_LARGE_SIDE") : 4096;
    const EmfFile emf = EmfFile::leftHalfRed(side, side);
    const QImage image = renderPicture(drawnPicture(PictureKind::EnhancedMetafile, emf.bytes()));
    ASSERT_EQ(image.size(), QSize(side, side));
    for (int y : {0, side / 2, side - 1}) {
        EXPECT_EQ(image.pixel(10, y), 0xFFFF0000u) << y;
        EXPECT_EQ(image.pixel(side - 10, y), 0xFFFFFFFFu) << y;
    }
    EXPECT_TRUE(noHelperLeft());
}
