// The SVG pass over libemf2svg's document of a rewritten enhanced metafile: what it
// makes of each element it meets, by the state of the markers before it.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QXmlStreamReader>
#include <map>
#include <string>

#include "render/EmfSvgMending.h"
#include "render/EmfSvgState.h"

using qfip::emf::Blend;
using qfip::emf::SvgDrawingState;

namespace {

const std::string kNonce = "Qmend";

// libemf2svg's frame of a document: the root, its outer group, the elements.
QByteArray document(const QString& elements) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
                          "<svg version=\"1.1\" xmlns=\"http://www.w3.org/2000/svg\" "
                          "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"101.0000\" height=\"101.0000\">\n"
                          "<g transform=\"translate(-0.0000, -0.0000)\">\n%1\n</g>\n</svg>\n")
        .arg(elements)
        .toUtf8();
}

QString marker(const SvgDrawingState& s, const std::string& nonce = kNonce) {
    return QStringLiteral("<text fill=\"#000000\" x=\"0\" y=\"0\"><![CDATA[%1]]></text>")
        .arg(QString::fromStdString(qfip::emf::markerText(nonce, s)));
}

// Every element of the mended document by its id (and the root as "svg"), its
// attributes by name; the text of text elements under "#text".
std::map<QString, std::map<QString, QString>> elementsOf(const QByteArray& svg) {
    std::map<QString, std::map<QString, QString>> out;
    QXmlStreamReader reader(svg);
    QString current;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const QString id = reader.name() == u"svg" ? QStringLiteral("svg") : reader.attributes().value(QStringLiteral("id")).toString();
            current = id;
            if (id.isEmpty()) continue;
            auto& attributes = out[id];
            attributes[QStringLiteral("<name>")] = reader.name().toString();
            for (const auto& a : reader.attributes()) attributes[a.qualifiedName().toString()] = a.value().toString();
        } else if (reader.isEndElement()) {
            current.clear();
        } else if (reader.isCharacters() && !current.isEmpty() && out.count(current)) {
            out[current][QStringLiteral("#text")] += reader.text().toString();
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return out;
}

EmfSvgFrame frame(int picture = 100, double width = 100) {
    return {QSize(picture, picture), 0, 0, width, width, 0, 0, kNonce};
}

QString pngOf(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    image.save(&buffer, "PNG");
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
}

}  // namespace

TEST(EmfSvgMending, EachElementAsGdiDrawsIt) {
    SvgDrawingState winding;
    winding.winding = true;
    SvgDrawingState hatchedXor;
    hatchedXor.paint = {true, 4, 0x0000FF, 0xFFFF00, true};
    hatchedXor.shapeBlend = Blend::Difference;
    SvgDrawingState nothing;
    nothing.shapeBlend = Blend::Nothing;
    SvgDrawingState white;
    white.shapeBlend = Blend::White;
    SvgDrawingState notXor;
    notXor.shapeBlend = Blend::DifferenceInverted;

    using Attributes = std::map<QString, QString>;
    struct Case {
        const char* what;
        QString elements;
        EmfSvgFrame frame;
        std::map<QString, Attributes> expected;  // id: attributes that must hold ("" absent)
        std::vector<QString> gone;               // ids that must not be there
    };
    const QString path = QStringLiteral("d=\"M 0,0 L 9,9\"");
    const Case cases[] = {
        {"the root: the picture's size, the frame half a pixel over, GDI's edges and fill mode",
         QString(), frame(100, 100),
         {{"svg", {{"width", "100"}, {"height", "100"}, {"viewBox", "-0.5000 -0.5000 100.0000 100.0000"},
                   {"preserveAspectRatio", "none"}, {"shape-rendering", "crispEdges"}, {"fill-rule", "evenodd"}}}},
         {}},
        {"a frame within a pixel of the picture: a device pixel a pixel",
         QString(), frame(100, 100.3),
         {{"svg", {{"viewBox", "-0.5000 -0.5000 100.0000 100.0000"}}}},
         {}},
        {"a rectangle with the null pen: no outline, a pixel short of its right and bottom",
         "<rect id=\"r\" x=\"10\" y=\"10\" width=\"10\" height=\"10\" fill=\"#00FF00\" stroke-width=\"1px\" stroke=\"#00FF00\"/>",
         frame(),
         {{"r", {{"stroke", "none"}, {"stroke-width", ""}, {"width", "9.0000"}, {"height", "9.0000"}, {"fill", "#00FF00"}}}},
         {}},
        {"an ellipse a pixel short too",
         "<ellipse id=\"e\" cx=\"20\" cy=\"30\" rx=\"10\" ry=\"5\" fill=\"#00FF00\"/>", frame(),
         {{"e", {{"cx", "19.5000"}, {"cy", "29.5000"}, {"rx", "9.5000"}, {"ry", "4.5000"}}}},
         {}},
        {"a line with the null pen draws nothing",
         "<path id=\"l\" " + path + " stroke-width=\"1px\" stroke=\"#000000\" fill=\"none\"/>", frame(),
         {{"l", {{"stroke", "none"}}}},
         {}},
        {"GDI's dashes: a one-pixel pen's in pixels, a wider one's in its widths",
         "<path id=\"dash\" " + path + " stroke=\"#000000\" stroke-width=\"1.0000\" stroke-dasharray=\"5.0000,5.0000\"/>"
         "<path id=\"dot\" " + path + " stroke=\"#000000\" stroke-width=\"1.0000\" stroke-dasharray=\"1.0000,1.0000\"/>"
         "<path id=\"dashdot\" " + path + " stroke=\"#000000\" stroke-width=\"1.0000\" stroke-dasharray=\"5,5,1,5\"/>"
         "<path id=\"wide\" " + path + " stroke=\"#000000\" stroke-width=\"4.0000\" stroke-dasharray=\"20.0000,20.0000\"/>"
         "<path id=\"other\" " + path + " stroke=\"#000000\" stroke-width=\"1.0000\" stroke-dasharray=\"7,2\"/>",
         frame(),
         {{"dash", {{"stroke-dasharray", "18.0000,6.0000"}}},
          {"dot", {{"stroke-dasharray", "3.0000,3.0000"}}},
          {"dashdot", {{"stroke-dasharray", "9.0000,6.0000,3.0000,6.0000"}}},
          {"wide", {{"stroke-dasharray", "12.0000,4.0000"}}},
          {"other", {{"stroke-dasharray", "7,2"}}}},
         {}},
        {"no stroke thinner than a pixel of the picture",
         "<path id=\"thin\" " + path + " stroke=\"#000000\" stroke-width=\"1.0000\" fill=\"none\"/>", frame(100, 400),
         {{"thin", {{"stroke-width", "4.0000"}}}},
         {}},
        {"WINDING: nonzero for what is filled after the marker",
         "<path id=\"before\" " + path + " fill=\"#0000FF\"/>" + marker(winding) + "<path id=\"after\" " + path +
             " fill=\"#0000FF\"/><path id=\"line\" " + path + " fill=\"none\" stroke=\"#000000\"/>",
         frame(),
         {{"before", {{"fill-rule", ""}}}, {"after", {{"fill-rule", "nonzero"}}}, {"line", {{"fill-rule", ""}}}},
         {}},
        {"a hatched brush and XOR: the pattern, the difference blend; the marker gone",
         marker(hatchedXor) + "<path id=\"p\" " + path + " fill=\"#0000FF\" stroke=\"none\"/>"
                              "<path id=\"s\" style=\"fill:#0000FF\" " + path + "/>",
         frame(),
         {{"p", {{"fill", "url(#hQmend-0)"}, {"style", "mix-blend-mode:difference"}}},
          {"s", {{"style", "fill:#0000FF;fill:url(#hQmend-0);mix-blend-mode:difference"}}},
          {"hQmend-0", {{"<name>", "pattern"}, {"width", "8.0000"}, {"x", "-0.5000"}}}},
         {}},
        {"R2_NOP: not drawn", marker(nothing) + "<rect id=\"r\" x=\"1\" y=\"1\" width=\"5\" height=\"5\" fill=\"#00FF00\"/>",
         frame(), {}, {"r"}},
        {"R2_WHITE and R2_NOTXORPEN: the colours they draw",
         marker(white) + "<rect id=\"w\" x=\"1\" y=\"1\" width=\"5\" height=\"5\" fill=\"#00FF00\" stroke=\"#123456\"/>" +
             marker(notXor) + "<rect id=\"n\" x=\"1\" y=\"1\" width=\"5\" height=\"5\" fill=\"#00FF00\"/>",
         frame(),
         {{"w", {{"fill", "#FFFFFF"}, {"stroke", "#FFFFFF"}, {"style", ""}}},
          {"n", {{"fill", "#FF00FF"}, {"style", "mix-blend-mode:difference"}}}},
         {}},
        {"text of absurd size (librsvg aborts on it): as large as any picture's glyph can be seen",
         "<text id=\"big\" x=\"2\" y=\"2\" font-size=\"1110048780.0000\"><![CDATA[Hi]]></text>"
         "<text id=\"nan\" x=\"2\" y=\"2\" font-size=\"nan\"><![CDATA[Hi]]></text>"
         "<text id=\"small\" x=\"2\" y=\"2\" font-size=\"12.5000\"><![CDATA[Hi]]></text>",
         frame(),
         {{"big", {{"font-size", "32768.0000"}, {"#text", "Hi"}}}, {"nan", {{"font-size", "nan"}}},  // not a size: librsvg takes its default
          {"small", {{"font-size", "12.5000"}}}},
         {}},
        {"another drawing's marker is the file's own text",
         marker(nothing, "Qother") + "<rect id=\"r\" x=\"1\" y=\"1\" width=\"5\" height=\"5\" fill=\"#00FF00\"/>", frame(),
         {{"r", {{"fill", "#00FF00"}}}}, {}},
        {"shapes inside definitions and world transforms keep their boxes (not inside one set back); a clip "
         "path's half a pixel up and left, its edges between pixels",
         "<defs><clipPath id=\"c\"><rect id=\"cr\" x=\"1\" y=\"1\" width=\"5\" height=\"5\" stroke-width=\"1px\"/></clipPath></defs>"
         "<g transform=\"matrix(2 0 0 2 0 0)\"><rect id=\"t\" x=\"1\" y=\"1\" width=\"5\" height=\"5\" fill=\"#00FF00\"/></g>"
         "<g transform=\"matrix(1.0000 0.0000 0.0000 1.0000 0.0000 0.0000)\"><rect id=\"i\" x=\"1\" y=\"1\" width=\"5\" height=\"5\"/></g>",
         frame(),
         {{"cr", {{"width", "5"}, {"stroke-width", "1px"}, {"transform", "translate(-0.5000 -0.5000)"}}},
          {"t", {{"width", "5"}}},
          {"i", {{"width", "4.0000"}}}},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray mended = mendEmfSvg(document(c.elements), c.frame);
        ASSERT_FALSE(mended.isEmpty());
        EXPECT_FALSE(mended.contains(QByteArray::fromStdString(kNonce + " "))) << "a marker left";
        const auto elements = elementsOf(mended);
        for (const auto& [id, attributes] : c.expected) {
            ASSERT_TRUE(elements.count(id)) << id.toStdString();
            for (const auto& [name, value] : attributes) {
                const auto& have = elements.at(id);
                const auto it = have.find(name);
                EXPECT_EQ(it == have.end() ? QString() : it->second, value) << id.toStdString() << " " << name.toStdString();
            }
        }
        for (const QString& id : c.gone) EXPECT_FALSE(elements.count(id)) << id.toStdString();
    }
}

// A bitmap enlarged as GDI enlarges it (its pixels repeated, on whole pixels of the
// picture), or left to smoothing in HALFTONE mode.
TEST(EmfSvgMending, BitmapsRepeatTheirPixels) {
    QImage two(2, 1, QImage::Format_RGB32);
    two.setPixel(0, 0, 0xFFFF0000);
    two.setPixel(1, 0, 0xFF0000FF);
    const QString image = QStringLiteral("<image id=\"i\" x=\"10.2\" y=\"10\" width=\"40\" height=\"20\" xlink:href=\"%1\"/>").arg(pngOf(two));
    SvgDrawingState halftone;
    halftone.smoothBitmaps = true;
    halftone.bitmapBlend = Blend::Multiply;

    auto repeated = elementsOf(mendEmfSvg(document(image), frame()))[QStringLiteral("i")];
    EXPECT_EQ(repeated[QStringLiteral("x")], QStringLiteral("9.5000"));  // pixel 10
    EXPECT_EQ(repeated[QStringLiteral("width")], QStringLiteral("40.0000"));
    EXPECT_EQ(repeated[QStringLiteral("preserveAspectRatio")], QStringLiteral("none"));
    const QString href = repeated[QStringLiteral("xlink:href")];
    const QImage enlarged = QImage::fromData(QByteArray::fromBase64(href.mid(href.indexOf(u',') + 1).toLatin1()), "PNG");
    ASSERT_EQ(enlarged.size(), QSize(40, 20));
    EXPECT_EQ(enlarged.pixel(19, 10), 0xFFFF0000u);
    EXPECT_EQ(enlarged.pixel(20, 10), 0xFF0000FFu);

    auto smoothed = elementsOf(mendEmfSvg(document(marker(halftone) + image), frame()))[QStringLiteral("i")];
    EXPECT_EQ(smoothed[QStringLiteral("xlink:href")], pngOf(two));
    EXPECT_EQ(smoothed[QStringLiteral("style")], QStringLiteral("mix-blend-mode:multiply"));
}

TEST(EmfSvgMending, WhatIsNotADocumentGivesNothing) {
    EXPECT_TRUE(mendEmfSvg("<svg><g></svg>", frame()).isEmpty());
    EXPECT_TRUE(mendEmfSvg(document("<text>unclosed"), frame()).isEmpty());
    EXPECT_TRUE(mendEmfSvg(document(QString()), EmfSvgFrame{QSize(0, 0), 0, 0, 1, 1, 0, 0, kNonce}).isEmpty());
    // A file's own text keeps what it holds, markup-like characters as text.
    const auto elements = elementsOf(mendEmfSvg(document("<text id=\"t\"><![CDATA[a < b]]></text>"), frame()));
    EXPECT_EQ(elements.at(QStringLiteral("t")).at(QStringLiteral("#text")), QStringLiteral("a < b"));
}
