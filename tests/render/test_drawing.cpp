// The helper's drawing, in process: the SVG step and its check, the reply's pixel format
// and bounds.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "common/DrawnPictures.h"
#include "common/Error.h"
#include "render/AnsiText.h"
#include "render/Drawing.h"
#include "render/GdRaster.h"
#include "render/MetafileRendering.h"
#include "render/SvgRendering.h"
#include "support/MetafileCorpus.h"
#include "support/PictureColours.h"

using qfip::exchange::DrawnKind;

namespace {

using qfip::testing::holdsColour;
using qfip::testing::kUsersPictureColour;

QByteArray pngOf(QRgb colour) {
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// An 8 x 8 document with a white background and `body`.
QByteArray svgDocument(const QString& body, const QString& beforeRoot = {}) {
    return (R"(<?xml version="1.0" encoding="UTF-8"?>)" + beforeRoot +
            R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="8" height="8">)"
            R"(<rect width="8" height="8" fill="#FFFFFF"/>)" + body + "</svg>")
        .toUtf8();
}

}  // namespace

TEST(SvgImage, UnreadableDocumentGivesANullImage) {
    EXPECT_TRUE(renderSvg("not svg at all", QSize(4, 4)).isNull());
    const QImage image = renderSvg(
        R"(<svg xmlns="http://www.w3.org/2000/svg" width="4" height="2"><rect x="2" y="0" width="2" height="2" fill="#0000FF"/></svg>)",
        QSize(8, 4));
    ASSERT_EQ(image.size(), QSize(8, 4));
    EXPECT_EQ(image.pixel(1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(image.pixel(6, 2), 0xFF0000FFu);
}

// What a document may still draw after the check, and what of the user's files it may not
// show. `outside`: QSvgRenderer alone shows the user's picture (so its absence after the
// check means something); `kept`: the colour the check leaves at (4, 4). librsvg, given
// the document with no base location, shows none of them even without the check.
TEST(SvgImage, DrawsOnlyWhatRefersToNothingOutsideTheDocument) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString picture = folder.filePath(QStringLiteral("picture.png"));
    ASSERT_TRUE(QImage::fromData(pngOf(kUsersPictureColour)).save(picture));
    const QString sheet = folder.filePath(QStringLiteral("sheet.css"));
    QFile sheetFile(sheet);
    ASSERT_TRUE(sheetFile.open(QIODevice::WriteOnly) && sheetFile.write("rect { fill: #12AB34 }") > 0);
    sheetFile.close();
    const QString blue = QStringLiteral(R"(<rect id="r" width="8" height="8" fill="#0000FF"/>)");
    const auto image = [](const QString& href) {
        return QStringLiteral(R"(<image x="0" y="0" width="8" height="8" preserveAspectRatio="none" xlink:href="%1"/>)").arg(href);
    };
    const QString embedded = "data:image/png;base64," + QString::fromLatin1(pngOf(0xFFFF0000).toBase64());
    // An embedded "PNG" that is an SVG document showing the picture.
    const QString embeddedSvg = "data:image/png;base64," + QString::fromLatin1(svgDocument(image(picture)).toBase64());

    struct Case {
        const char* what;
        QByteArray svg;
        bool outside;
        QRgb kept;
    };
    const Case cases[] = {
        {"image of a file", svgDocument(image(picture)), true, 0xFFFFFFFF},
        {"image of a file, spaces around", svgDocument(image(" " + picture + " ")), true, 0xFFFFFFFF},
        {"text that became markup", svgDocument(R"(<text x="1" y="6"><![CDATA[Hi]]></text>)" + image(picture) + "<text><![CDATA[]]></text>"), true, 0xFFFFFFFF},
        {"embedded SVG claiming to be a PNG", svgDocument(image(embeddedSvg)), true, 0xFFFFFFFF},
        {"style sheet by processing instruction", svgDocument(blue, "<?xml-stylesheet type=\"text/css\" href=\"" + sheet + "\"?>"), false, 0xFF0000FF},
        {"style sheet by element", svgDocument("<style>@import url(" + sheet + ");</style>" + blue), false, 0xFF0000FF},
        {"embedded PNG", svgDocument(image(embedded)), false, 0xFFFF0000},
        {"use of an element of its own", svgDocument("<defs>" + blue + R"(</defs><use xlink:href="#r"/>)"), false, 0xFF0000FF},
        {"fill by a gradient of its own", svgDocument(R"svg(<defs><linearGradient id="g"><stop offset="0" stop-color="#0000FF"/></linearGradient></defs><rect width="8" height="8" fill="url(#g)"/>)svg"), false, 0xFF0000FF},
        {"fill by another file's paint", svgDocument(R"svg(<rect width="8" height="8" fill="#0000FF" style="fill:url()svg" + picture + R"svg(#g)"/>)svg"), false, 0xFF0000FF},
    };
    for (const Case& c : cases) {
        QImage unchecked(8, 8, QImage::Format_RGB32);
        unchecked.fill(Qt::white);
        QPainter painter(&unchecked);
        QSvgRenderer(c.svg).render(&painter);
        painter.end();
        EXPECT_EQ(holdsColour(unchecked, kUsersPictureColour), c.outside) << c.what;
        EXPECT_FALSE(holdsColour(renderSvgDocument(c.svg, QSize(8, 8)), kUsersPictureColour)) << c.what;
        const QImage checked = renderSvg(c.svg, QSize(8, 8));
        ASSERT_FALSE(checked.isNull()) << c.what;
        EXPECT_FALSE(holdsColour(checked, kUsersPictureColour)) << c.what;
        EXPECT_EQ(checked.pixel(4, 4), c.kept) << c.what << std::hex << " " << checked.pixel(4, 4);
    }

    // Nor by a file URL, nor by a path relative to the current folder.
    const QString relative = QDir::current().relativeFilePath(picture);
    for (const QString& href : {"file://" + picture, relative}) {
        const QImage alone = renderSvgDocument(svgDocument(image(href)), QSize(8, 8));
        ASSERT_FALSE(alone.isNull()) << href.toStdString();
        EXPECT_FALSE(holdsColour(alone, kUsersPictureColour)) << href.toStdString();
    }

    // Entities (which could name files of their own) make the document unreadable.
    const QByteArray entity = svgDocument("<text>&outside;</text>", "<!DOCTYPE svg [<!ENTITY outside SYSTEM \"" + picture + "\">]>");
    EXPECT_TRUE(renderSvg(entity, QSize(8, 8)).isNull());
}

TEST(ReplyImage, PremultipliedARGB32WithinTheKindsBounds) {
    struct Case {
        DrawnKind kind;
        QSize size;
        QImage::Format format;
        bool kept;
    };
    const Case cases[] = {
        {DrawnKind::Icon, QSize(2, 2), QImage::Format_ARGB32_Premultiplied, true},
        {DrawnKind::Icon, QSize(3, 1), QImage::Format_Indexed8, true},
        {DrawnKind::Icon, QSize(2, 1), QImage::Format_ARGB32, true},
        {DrawnKind::EnhancedMetafile, QSize(48, 24), QImage::Format_RGB32, true},
        {DrawnKind::PlaceableMetafile, QSize(16385, 1), QImage::Format_RGB32, false},
        {DrawnKind::Icon, QSize(16385, 1), QImage::Format_ARGB32, false},
    };
    for (const Case& c : cases) {
        QImage drawn(c.size, c.format);
        if (c.format == QImage::Format_Indexed8) {
            drawn.setColorTable({qRgba(10, 20, 30, 128)});
            drawn.fill(0);
        } else {
            drawn.fill(QColor(10, 20, 30, 128));
        }
        const QImage reply = replyImage(c.kind, drawn);
        EXPECT_EQ(!reply.isNull(), c.kept) << c.size.width();
        if (!c.kept) continue;
        EXPECT_EQ(reply.format(), c.format == QImage::Format_RGB32 ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(reply.size(), c.size);
        EXPECT_EQ(reply.pixel(0, 0), drawn.convertToFormat(reply.format()).pixel(0, 0));
        // A premultiplied image goes out word for word.
        if (c.format == QImage::Format_ARGB32_Premultiplied) {
            EXPECT_EQ(*reinterpret_cast<const uint32_t*>(reply.constBits()), *reinterpret_cast<const uint32_t*>(drawn.constBits()));
        }
    }
    EXPECT_TRUE(replyImage(DrawnKind::Icon, QImage()).isNull());
}

namespace {

using qfip::testing::WmfWriter;

// The picture the helper draws of a metafile's bytes (its own copy, padded as the helper's
// mapping is), or a null image with the failure's text.
QImage drawn(DrawnKind kind, std::vector<uint8_t> bytes, std::string* failure = nullptr) {
    const size_t size = bytes.size();
    bytes.resize(size + qfip::kDrawnFilePadding, 0);
    try {
        return drawPicture(kind, std::span<uint8_t>(bytes.data(), size));
    } catch (const qfip::Error& e) {
        if (failure) *failure = e.what();
        return QImage();
    }
}

// A 100 x 100 placeable metafile of text at (5, 30) in a 20-pixel Arial of `charset`.
QImage wmfText(const std::string& bytes, uint8_t charset, bool extended = false) {
    WmfWriter w = qfip::testing::corpus::wmf(100, 100);
    w.select(w.font(-20, "Arial", charset));
    extended ? w.extTextOut(5, 30, bytes) : w.textOut(5, 30, bytes);
    std::string failure;
    const QImage image = drawn(DrawnKind::PlaceableMetafile, w.bytes(), &failure);
    EXPECT_FALSE(image.isNull()) << bytes << ": " << failure;
    return image;
}

}  // namespace

// Clip rectangles that leave nothing between them clip everything away: an empty clip is
// not the absence of one. (The corpus draws the clips that leave something.)
TEST(MetafileDrawing, ClipsThatLeaveNothingDrawNothing) {
    using namespace qfip::testing::gdi;
    WmfWriter w = qfip::testing::corpus::wmf(100, 100);
    w.select(w.pen(PS_NULL, 0, 0));
    w.select(w.brush(BS_SOLID, 0x0000FF));
    w.intersectClipRect({0, 0, 50, 50});
    w.intersectClipRect({60, 60, 100, 100});
    w.rectangle({0, 0, 102, 102});
    std::string failure;
    const QImage image = drawn(DrawnKind::PlaceableMetafile, w.bytes(), &failure);
    ASSERT_EQ(image.size(), QSize(100, 100)) << failure;
    EXPECT_FALSE(holdsColour(image, 0xFFFF0000));
    EXPECT_EQ(image.pixel(10, 10), 0xFFFFFFFFu);
    EXPECT_EQ(image.pixel(75, 75), 0xFFFFFFFFu);
}

// A placeable metafile's text is bytes in its font's code page.
TEST(AnsiText, DecodedFromTheFontsCodePage) {
    struct Case {
        const char* bytes;
        uint8_t charset;
        std::u32string text;
    };
    const Case cases[] = {
        {"Caf\xE9", 0, U"Caf\u00E9"},                    // ANSI_CHARSET: Windows-1252
        {"\x93q\x94 \x80", 1, U"\u201Cq\u201D \u20AC"},  // DEFAULT_CHARSET too: curly quotes, euro
        {"\x93q\x94", 77 + 1, U"\u201Cq\u201D"},         // a set with no table of its own: 1252
        {"\xE1\xE2", 161, U"\u03B1\u03B2"},              // GREEK_CHARSET: 1253
        {"\xC0\xE9", 204, U"\u0410\u0439"},              // RUSSIAN_CHARSET: 1251
        {"\x9A\xE9", 238, U"\u0161\u00E9"},              // EASTEUROPE_CHARSET: 1250
        {"a\x82\xA0z", 128, U"a\u3042z"},                // SHIFTJIS_CHARSET: 932, two bytes a character
        {"\xB0", 255, U"\u2591"},                        // OEM_CHARSET: 437
        {"\x41\xE9\xFF", 2, U"\u0041\u00E9\u00FF"},      // SYMBOL_CHARSET: the font's own codes, byte for byte
        {"a\x81z", 0, U"a\uFFFDz"},                      // a byte 1252 leaves undefined
        {"a\x82", 128, U"a\uFFFD"},                      // a double-byte character cut short
        {"<&>\"", 0, U"<&>\""},                          // markup characters are characters
    };
    for (const Case& c : cases) EXPECT_EQ(decodeAnsiText(c.bytes, c.charset), c.text) << c.bytes << " " << int(c.charset);
}

// WMF text in its code page draws as text (it made the whole picture "not valid"): the
// same characters in two code pages draw the same pixels, other characters other pixels,
// and TEXTOUT and EXTTEXTOUT draw alike.
TEST(MetafileDrawing, WmfTextInItsCodePageDrawsAsText) {
    const QImage cafe = wmfText("Caf\xE9", 0);
    EXPECT_EQ(wmfText("Caf\xE9", 238), cafe);  // é in 1250 too
    EXPECT_NE(wmfText("Caf\xE9", 204), cafe);  // й in 1251
    EXPECT_NE(wmfText("Caf", 0), cafe);        // the é has ink of its own
    EXPECT_EQ(wmfText("Caf\xE9", 0, true), cafe);
    const QImage curly = wmfText("\x93q\x94", 0);
    EXPECT_EQ(wmfText("\x93q\x94", 161), curly);  // 1253's quotes too
    EXPECT_NE(wmfText("\"q\"", 0), curly);
    EXPECT_NE(wmfText("q", 0), curly);  // the quotes have ink
}

// Lines drawn straight into libwmf's bitmap give exactly the pixels of the line's own
// definition that lie in the bitmap and its clip region, however far outside the line's
// ends are (the clipped part is computed, never walked).
TEST(GdRaster, LinesAndFillsKeepToTheBitmapAndItsClip) {
    constexpr int kSide = 24;
    std::vector<int> pixels(kSide * kSide);
    std::vector<int*> rows(kSide);
    for (int y = 0; y < kSide; ++y) rows[size_t(y)] = pixels.data() + y * kSide;
    auto image = std::make_unique<gdImage>();
    image->sx = image->sy = kSide;
    image->trueColor = 1;
    image->tpixels = rows.data();
    const qfip::Rect boxes[] = {{2, 3, 10, 21}, {12, 3, 31, 8}};  // the second partly outside
    const qfip::PixelRegion clip = qfip::PixelRegion::unionOf(boxes, {SIZE_MAX, SIZE_MAX}).region;
    const auto inClip = [&](int64_t x, int64_t y) {
        if (x < 0 || y < 0 || x >= kSide || y >= kSide) return false;
        for (const qfip::Rect& b : boxes)
            if (x >= b.Left && x < b.Right && y >= b.Top && y < b.Bottom) return true;
        return false;
    };
    // Pixel k of the line: one step along its longer axis, the other coordinate rounded.
    const auto reference = [&](int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
        std::vector<int> want(kSide * kSide, 0);
        const bool alongX = std::llabs(x1 - x0) >= std::llabs(y1 - y0);
        const int64_t m0 = alongX ? x0 : y0, m1 = alongX ? x1 : y1, n0 = alongX ? y0 : x0, n1 = alongX ? y1 : x1;
        const int64_t steps = std::llabs(m1 - m0), dn = std::llabs(n1 - n0);
        for (int64_t k = 0; k <= steps; ++k) {
            const int64_t m = m0 + (m1 >= m0 ? k : -k);
            const int64_t f = steps ? (2 * k * dn + steps) / (2 * steps) : 0;
            const int64_t n = n0 + (n1 >= n0 ? f : -f);
            const int64_t x = alongX ? m : n, y = alongX ? n : m;
            if (inClip(x, y)) want[size_t(y * kSide + x)] = 1;
        }
        return want;
    };
    const int64_t far = 1000000;
    const int64_t lines[][4] = {{0, 0, 23, 23}, {23, 0, 0, 23}, {5, -3, 5, 30}, {-4, 4, 40, 4}, {1, 2, 22, 9},
                                {22, 19, 3, 4},  {7, 7, 7, 7},   {-far, 5, far, 6}, {-far, -far + 3, far, far + 3},
                                {13, -far, 14, far}, {3, 22, 20, 1}};
    const PixelPaint one{1};
    const GdCanvas clipped{image.get(), &clip};
    for (const auto& l : lines) {
        std::fill(pixels.begin(), pixels.end(), 0);
        drawPixelLine(clipped, l[0], l[1], l[2], l[3], one);
        EXPECT_EQ(pixels, reference(l[0], l[1], l[2], l[3])) << l[0] << "," << l[1] << " to " << l[2] << "," << l[3];
    }
    // Without a clip region the whole bitmap may be drawn on.
    std::fill(pixels.begin(), pixels.end(), 0);
    drawPixelLine(GdCanvas{image.get(), nullptr}, -far, 0, far, 0, one);
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 1), kSide);
    std::fill(pixels.begin(), pixels.end(), 0);
    fillPixels(clipped, -far, 0, far, 5, one);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) EXPECT_EQ(pixels[size_t(y * kSide + x)], int(inClip(x, y) && y <= 5)) << x << "," << y;
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);  // the check's baseline, QSvgRenderer, draws with Qt's fonts
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
