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

// What the pass makes of the root and the elements where the corpus
// (tests/support/MetafileCorpus.h), which checks the drawn pixels of each record family at
// the picture's own size, does not see it: a picture drawn smaller, raster operations and
// bitmap modes none of its files use, hostile sizes and markers.
TEST(EmfSvgMending, EachElementAsGdiDrawsIt) {
    SvgDrawingState white, notXor, nothing, halftone;
    white.shapeBlend = Blend::White;
    notXor.shapeBlend = Blend::DifferenceInverted;
    nothing.shapeBlend = Blend::Nothing;
    halftone.smoothBitmaps = true;
    halftone.bitmapBlend = Blend::Multiply;
    QImage two(2, 1, QImage::Format_RGB32);
    two.fill(Qt::red);

    using Attributes = std::map<QString, QString>;
    struct Case {
        const char* what;
        QString elements;
        EmfSvgFrame frame;
        std::map<QString, Attributes> expected;  // id: attributes that must hold ("" absent)
    };
    const QString path = QStringLiteral("d=\"M 0,0 L 9,9\"");
    const QString image = QStringLiteral("<image id=\"%1\" x=\"10.2\" y=\"10\" width=\"40\" height=\"20\" xlink:href=\"%2\"/>").arg("%1", pngOf(two));
    const Case cases[] = {
        {"a frame within a pixel of the picture: a device pixel a pixel, its centre on the pixel's", QString(), frame(100, 100.3),
         {{"svg", {{"width", "100"}, {"height", "100"}, {"viewBox", "-0.5000 -0.5000 100.0000 100.0000"}}}}},
        {"no stroke thinner than a pixel of the picture",
         "<path id=\"thin\" " + path + " stroke=\"#000000\" stroke-width=\"1.0000\" fill=\"none\"/>", frame(100, 400),
         {{"thin", {{"stroke-width", "4.0000"}}}}},
        {"R2_WHITE and R2_NOTXORPEN: the colours they draw",
         marker(white) + "<rect id=\"w\" x=\"1\" y=\"1\" width=\"5\" height=\"5\" fill=\"#00FF00\" stroke=\"#123456\"/>" +
             marker(notXor) + "<rect id=\"n\" x=\"1\" y=\"1\" width=\"5\" height=\"5\" fill=\"#00FF00\"/>",
         frame(),
         {{"w", {{"fill", "#FFFFFF"}, {"stroke", "#FFFFFF"}, {"style", ""}}},
          {"n", {{"fill", "#FF00FF"}, {"style", "mix-blend-mode:difference"}}}}},
        {"a bitmap placed on whole pixels of the picture; in HALFTONE mode left to smoothing, its pixels not repeated",
         image.arg("r") + marker(halftone) + image.arg("h"), frame(),
         {{"r", {{"x", "9.5000"}, {"width", "40.0000"}}}, {"h", {{"xlink:href", pngOf(two)}, {"style", "mix-blend-mode:multiply"}}}}},
        {"text of absurd size (librsvg aborts on it): as large as any picture's glyph can be seen",
         "<text id=\"big\" x=\"2\" y=\"2\" font-size=\"1110048780.0000\"><![CDATA[Hi]]></text>"
         "<text id=\"nan\" x=\"2\" y=\"2\" font-size=\"nan\"><![CDATA[Hi]]></text>"
         "<text id=\"small\" x=\"2\" y=\"2\" font-size=\"12.5000\"><![CDATA[Hi]]></text>",
         frame(),
         {{"big", {{"font-size", "32768.0000"}, {"#text", "Hi"}}}, {"nan", {{"font-size", "nan"}}},  // not a size: librsvg takes its default
          {"small", {{"font-size", "12.5000"}}}}},
        {"another drawing's marker is the file's own text",
         marker(nothing, "Qother") + "<rect id=\"r\" x=\"1\" y=\"1\" width=\"5\" height=\"5\" fill=\"#00FF00\"/>", frame(),
         {{"r", {{"fill", "#00FF00"}}}}},
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
    }
}

TEST(EmfSvgMending, WhatIsNotADocumentGivesNothing) {
    EXPECT_TRUE(mendEmfSvg("<svg><g></svg>", frame()).isEmpty());
    EXPECT_TRUE(mendEmfSvg(document("<text>unclosed"), frame()).isEmpty());
    EXPECT_TRUE(mendEmfSvg(document(QString()), EmfSvgFrame{QSize(0, 0), 0, 0, 1, 1, 0, 0, kNonce}).isEmpty());
    // A file's own text keeps what it holds, markup-like characters as text.
    const auto elements = elementsOf(mendEmfSvg(document("<text id=\"t\"><![CDATA[a < b]]></text>"), frame()));
    EXPECT_EQ(elements.at(QStringLiteral("t")).at(QStringLiteral("#text")), QStringLiteral("a < b"));
}
