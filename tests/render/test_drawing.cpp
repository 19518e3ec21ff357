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

#include "render/Drawing.h"
#include "render/MetafileRendering.h"
#include "render/SvgRendering.h"
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

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
