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

// An embedded picture must be the raster it claims to be: a renderer may let every image
// reader try the bytes (QSvgRenderer drew an "image/png" holding an SVG as one, with its
// own references), so the bytes after the last "base64," must begin as a PNG or a JPEG does.
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

namespace {

enum class Pass { Clean, Changed, Refused };

// One pass over the document. Without a writer it stops at the first thing the check
// would leave out (Changed); with one it writes everything else.
Pass pass(const QByteArray& svg, QXmlStreamWriter* writer) {
    QXmlStreamReader reader(svg);
    // Names and namespace declarations are copied as written.
    reader.setNamespaceProcessing(false);
    bool changed = false;
    const auto leaveOut = [&] {
        changed = true;
        return writer != nullptr;  // go on only when writing
    };
    int leftOutDepth = 0;  // inside an element that is left out
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument:
            if (writer) writer->writeStartDocument();
            break;
        case QXmlStreamReader::EndDocument:
            if (writer) writer->writeEndDocument();
            break;
        case QXmlStreamReader::DTD:
            // Refers to nothing Qt would load unless it declares entities; not written again.
            if (!reader.entityDeclarations().isEmpty()) return Pass::Refused;
            break;
        case QXmlStreamReader::EntityReference: return Pass::Refused;
        case QXmlStreamReader::StartElement:
            if (leftOutDepth > 0 || !elementStaysInside(reader)) {
                if (leftOutDepth == 0 && !leaveOut()) return Pass::Changed;
                ++leftOutDepth;
                break;
            }
            if (writer) writer->writeStartElement(reader.qualifiedName().toString());
            for (const QXmlStreamAttribute& attribute : reader.attributes()) {
                if (!attributeStaysInside(attribute)) {
                    if (!leaveOut()) return Pass::Changed;
                } else if (writer) {
                    writer->writeAttribute(attribute.qualifiedName().toString(), attribute.value().toString());
                }
            }
            break;
        case QXmlStreamReader::EndElement:
            if (leftOutDepth > 0) {
                --leftOutDepth;
            } else if (writer) {
                writer->writeEndElement();
            }
            break;
        case QXmlStreamReader::Characters:
            if (leftOutDepth > 0 || !writer) break;
            if (reader.isCDATA()) {
                writer->writeCDATA(reader.text().toString());
            } else {
                writer->writeCharacters(reader.text().toString());
            }
            break;
        case QXmlStreamReader::ProcessingInstruction:
            if (!leaveOut()) return Pass::Changed;
            break;
        default: break;  // comments
        }
    }
    if (reader.hasError()) return Pass::Refused;
    return changed ? Pass::Changed : Pass::Clean;
}

}  // namespace

QByteArray selfContainedSvg(const QByteArray& svg) {
    // What the libraries write is nearly always clean: one reading tells, and the
    // document goes on as it is; only one with something to leave out is written again.
    const Pass check = pass(svg, nullptr);
    if (check == Pass::Clean) return svg;
    if (check == Pass::Refused) return {};
    QByteArray out;
    QXmlStreamWriter writer(&out);
    if (pass(svg, &writer) != Pass::Changed) return {};
    return out;
}
