#include "render/SelfContainedSvg.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

QStringView localName(QStringView qualifiedName) {
    const qsizetype colon = qualifiedName.lastIndexOf(u':');
    return colon < 0 ? qualifiedName : qualifiedName.mid(colon + 1);
}

bool isNamed(QStringView name, const char* wanted) { return name.compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0; }

// An embedded picture QSvgRenderer decodes as the raster it claims to be. It decodes the
// text after the last "base64," and lets every image reader try the bytes (an "image/png"
// holding an SVG would be drawn as one, with its own references), so those bytes must
// begin as a PNG or a JPEG does.
bool isEmbeddedRaster(QStringView href) {
    static const QRegularExpression form(QStringLiteral("^data:image/(png|jpeg|jpg);base64,"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(href);
    if (!match.hasMatch()) return false;
    const QByteArray bytes = QByteArray::fromBase64(href.mid(href.lastIndexOf(u"base64,") + 7).toLatin1());
    const bool png = match.capturedView(1).compare(u"png", Qt::CaseInsensitive) == 0;
    return png ? bytes.startsWith("\x89PNG\r\n\x1a\n") : bytes.startsWith("\xFF\xD8\xFF");
}

bool elementStaysInside(const QXmlStreamReader& reader) {
    const QStringView name = localName(reader.qualifiedName());
    if (isNamed(name, "script") || isNamed(name, "foreignObject") || isNamed(name, "style")) return false;
    for (const QXmlStreamAttribute& attribute : reader.attributes()) {
        if (!isNamed(localName(attribute.qualifiedName()), "href")) continue;
        const QStringView href = attribute.value().trimmed();
        const bool image = isNamed(name, "image");
        if (image ? !isEmbeddedRaster(href) : !href.startsWith(u'#')) return false;
    }
    return true;
}

bool attributeStaysInside(const QXmlStreamAttribute& attribute) {
    static const QRegularExpression outsideUrl(QStringLiteral("url\\s*\\(\\s*['\"]?\\s*[^#'\"\\s]"),
                                               QRegularExpression::CaseInsensitiveOption);
    const QStringView value = attribute.value();
    if (value.contains(u'\\') || value.contains(u"@import", Qt::CaseInsensitive)) return false;
    return !value.contains(u"url", Qt::CaseInsensitive) || !outsideUrl.match(value).hasMatch();
}

}  // namespace

QByteArray selfContainedSvg(const QByteArray& svg) {
    QXmlStreamReader reader(svg);
    // Names and namespace declarations are copied as written.
    reader.setNamespaceProcessing(false);
    QByteArray out;
    QXmlStreamWriter writer(&out);
    int leftOutDepth = 0;  // inside an element that is left out
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument: writer.writeStartDocument(); break;
        case QXmlStreamReader::EndDocument: writer.writeEndDocument(); break;
        case QXmlStreamReader::DTD:
            if (!reader.entityDeclarations().isEmpty()) return {};
            break;
        case QXmlStreamReader::EntityReference: return {};
        case QXmlStreamReader::StartElement:
            if (leftOutDepth > 0 || !elementStaysInside(reader)) {
                ++leftOutDepth;
                break;
            }
            writer.writeStartElement(reader.qualifiedName().toString());
            for (const QXmlStreamAttribute& attribute : reader.attributes())
                if (attributeStaysInside(attribute))
                    writer.writeAttribute(attribute.qualifiedName().toString(), attribute.value().toString());
            break;
        case QXmlStreamReader::EndElement:
            if (leftOutDepth > 0) {
                --leftOutDepth;
                break;
            }
            writer.writeEndElement();
            break;
        case QXmlStreamReader::Characters:
            if (leftOutDepth > 0) break;
            if (reader.isCDATA()) {
                writer.writeCDATA(reader.text().toString());
            } else {
                writer.writeCharacters(reader.text().toString());
            }
            break;
        default: break;  // comments and processing instructions
        }
    }
    if (reader.hasError()) return {};
    return out;
}
