#include "render/EmfSvgMending.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "render/EmfSvgState.h"
#include "render/GdiPatterns.h"

using qfip::emf::Blend;
using qfip::emf::SvgDrawingState;
using qfip::emf::SvgPaint;

namespace {

QStringView localName(QStringView qualifiedName) {
    const qsizetype colon = qualifiedName.lastIndexOf(u':');
    return colon < 0 ? qualifiedName : qualifiedName.mid(colon + 1);
}

bool oneOf(QStringView name, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == QLatin1String(n); });
}

QString number(double v) { return QString::number(v, 'f', 4); }

// GDI's 8 x 8 hatch as unit squares, one for each pixel (the fill rule would take a pixel
// twice for a hole).
QString hatchPath(uint32_t style) {
    QString d;
    const uint8_t* rows = hatchPattern(style);
    if (!rows) return d;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if (rows[y] >> (7 - x) & 1) d += QStringLiteral("M%1 %2h1v1h-1z").arg(x).arg(y);
    return d;
}

QString rgbText(uint32_t rgb) { return QStringLiteral("#%1").arg(rgb & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper(); }

// The attributes of one element, edited by name.
class Attributes {
public:
    explicit Attributes(const QXmlStreamAttributes& a) {
        list_.reserve(size_t(a.size()) + 2);
        for (const QXmlStreamAttribute& x : a) add(x.qualifiedName().toString(), x.value().toString());
    }
    std::optional<QString> get(const char* name) const {
        const Entry* e = find(name);
        return e ? std::optional<QString>(e->value) : std::nullopt;
    }
    void set(const char* name, const QString& value) {
        if (Entry* e = find(name)) e->value = value;
        else add(QString::fromLatin1(name), value);
    }
    void remove(const char* name) {
        std::erase_if(list_, [&](const Entry& e) { return e.local() == QLatin1String(name); });
    }
    void write(QXmlStreamWriter& w) const {
        for (const Entry& e : list_) w.writeAttribute(e.qualified, e.value);
    }
    // A style declaration added (or put in place of the same property's).
    void addStyle(const QString& property, const QString& value) {
        QString style = get("style").value_or(QString());
        if (!style.isEmpty() && !style.trimmed().endsWith(u';')) style += u';';
        set("style", style + property + u':' + value);
    }
    // Each #RRGGBB colour of the fill and the stroke, as attributes or style declarations.
    template <typename Map>
    void mapColours(Map map) {
        const auto mapped = [&](QString value) {
            const QString t = value.trimmed();
            bool ok = false;
            const uint32_t rgb = t.size() == 7 && t.startsWith(u'#') ? t.mid(1).toUInt(&ok, 16) : 0;
            return ok ? rgbText(map(rgb)) : value;
        };
        for (Entry& e : list_) {
            QString& v = e.value;
            const QStringView name = e.local();
            if (name == u"fill" || name == u"stroke") {
                v = mapped(v);
            } else if (name == u"style") {
                QStringList parts = v.split(u';');
                for (QString& part : parts) {
                    const qsizetype colon = part.indexOf(u':');
                    const QString property = part.left(colon).trimmed();
                    if (colon > 0 && (property == u"fill" || property == u"stroke"))
                        part = part.left(colon + 1) + mapped(part.mid(colon + 1));
                }
                v = parts.join(u';');
            }
        }
    }
    bool filled() const {
        const std::optional<QString> fill = get("fill");
        if (fill) return fill->trimmed() != u"none";
        return !get("style").value_or(QString()).contains(QLatin1String("fill:none"));
    }

private:
    struct Entry {
        QString qualified, value;
        qsizetype localFrom = 0;  // the name after its prefix
        QStringView local() const { return QStringView(qualified).mid(localFrom); }
    };
    void add(QString qualified, QString value) {
        const qsizetype colon = qualified.lastIndexOf(u':');
        list_.push_back({std::move(qualified), std::move(value), colon + 1});
    }
    Entry* find(const char* name) {
        for (Entry& e : list_)
            if (e.local() == QLatin1String(name)) return &e;
        return nullptr;
    }
    const Entry* find(const char* name) const { return const_cast<Attributes*>(this)->find(name); }

    std::vector<Entry> list_;
};

double parse(const std::optional<QString>& v, double otherwise) {
    if (!v) return otherwise;
    QString t = v->trimmed();
    if (t.endsWith(QLatin1String("px"))) t.chop(2);
    bool ok = false;
    const double d = t.toDouble(&ok);
    return ok && std::isfinite(d) ? d : otherwise;
}

// matrix(1 0 0 1 0 0), as libemf2svg writes a world transform set back.
bool isIdentity(const QString& transform) {
    static const QRegularExpression matrix(QStringLiteral("^matrix\\(([^)]*)\\)$"));
    const QRegularExpressionMatch m = matrix.match(transform);
    if (!m.hasMatch()) return false;
    const QStringList values = m.captured(1).split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts);
    static const double kIdentity[] = {1, 0, 0, 1, 0, 0};
    if (values.size() != 6) return false;
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        if (std::fabs(values[i].toDouble(&ok) - kIdentity[i]) > 1e-9 || !ok) return false;
    }
    return true;
}

// A recorded token of a text element, written out again unless the element is a marker.
struct Token {
    QXmlStreamReader::TokenType type;
    QString name;
    QXmlStreamAttributes attributes;
    QString text;
    bool cdata = false;
};

class Mender {
public:
    explicit Mender(const EmfSvgFrame& frame)
        : frame_(frame),
          scale_(std::min(frame.picture.width() / frame.width, frame.picture.height() / frame.height)),
          unitX_(frame.width / frame.picture.width()),
          unitY_(frame.height / frame.picture.height()) {}

    QByteArray run(const QByteArray& svg);

private:
    enum Kind : uint8_t { Plain, Definitions, ClipPath, Transformed };
    void start(QXmlStreamReader& reader);
    void root(const QXmlStreamAttributes& attributes);
    bool shape(Attributes& a);
    bool image(Attributes& a);
    void box(QStringView name, Attributes& a) const;
    void dashes(Attributes& a, double strokeWidth) const;
    void blend(Attributes& a, Blend blend) const;
    void finishText();
    void writeToken(const Token& t);
    QString hatchId(const SvgPaint& paint);
    bool transformed() const { return std::find(kinds_.begin(), kinds_.end(), Transformed) != kinds_.end(); }

    EmfSvgFrame frame_;
    double scale_;          // picture pixels a device pixel
    double unitX_, unitY_;  // a picture pixel in the SVG's units
    QByteArray out_;
    QXmlStreamWriter writer_{&out_};
    SvgDrawingState state_;
    std::map<std::tuple<uint32_t, uint32_t, uint32_t, bool>, QString> hatches_;
    std::vector<Kind> kinds_;  // the open elements
    std::vector<Token> text_;  // a text element being read
    int textDepth_ = 0, skipDepth_ = 0;
    bool rootSeen_ = false, outerGroupSeen_ = false;
};

QByteArray Mender::run(const QByteArray& svg) {
    out_.reserve(svg.size() + svg.size() / 8);
    QXmlStreamReader reader(svg);
    reader.setNamespaceProcessing(false);
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType type = reader.readNext();
        if (textDepth_ > 0) {
            text_.push_back({type, reader.qualifiedName().toString(), reader.attributes(), reader.text().toString(), reader.isCDATA()});
            if (type == QXmlStreamReader::StartElement) ++textDepth_;
            if (type == QXmlStreamReader::EndElement && --textDepth_ == 0) finishText();
            continue;
        }
        if (skipDepth_ > 0) {
            if (type == QXmlStreamReader::StartElement) ++skipDepth_;
            if (type == QXmlStreamReader::EndElement) --skipDepth_;
            continue;
        }
        switch (type) {
        case QXmlStreamReader::StartDocument: writer_.writeStartDocument(); break;
        case QXmlStreamReader::EndDocument: writer_.writeEndDocument(); break;
        case QXmlStreamReader::DTD: writer_.writeDTD(reader.text().toString()); break;
        case QXmlStreamReader::EntityReference: writer_.writeEntityReference(reader.name().toString()); break;
        case QXmlStreamReader::ProcessingInstruction:
            writer_.writeProcessingInstruction(reader.processingInstructionTarget().toString(),
                                               reader.processingInstructionData().toString());
            break;
        case QXmlStreamReader::Comment: writer_.writeComment(reader.text().toString()); break;
        case QXmlStreamReader::StartElement: start(reader); break;
        case QXmlStreamReader::EndElement:
            writer_.writeEndElement();
            if (!kinds_.empty()) kinds_.pop_back();
            break;
        case QXmlStreamReader::Characters:
            if (reader.isCDATA()) writer_.writeCDATA(reader.text().toString());
            else writer_.writeCharacters(reader.text().toString());
            break;
        default: break;
        }
    }
    if (reader.hasError() || textDepth_ > 0) return {};
    return out_;
}

void Mender::start(QXmlStreamReader& reader) {
    const QString qualified = reader.qualifiedName().toString();
    const QStringView name = localName(qualified);
    const bool inDefinitions = std::any_of(kinds_.begin(), kinds_.end(), [](Kind k) { return k == Definitions || k == ClipPath; });
    if (!rootSeen_ && name == u"svg") {
        rootSeen_ = true;
        writer_.writeStartElement(qualified);
        root(reader.attributes());
        kinds_.push_back(Plain);
        return;
    }
    if (!inDefinitions && name == u"text") {
        text_ = {{QXmlStreamReader::StartElement, qualified, reader.attributes(), {}, false}};
        textDepth_ = 1;
        return;
    }
    Attributes a(reader.attributes());
    Kind kind = Plain;
    if (oneOf(name, {"defs", "clipPath", "pattern", "mask", "marker", "symbol"})) kind = Definitions;
    if (name == u"clipPath") kind = ClipPath;
    if (!kinds_.empty() && kinds_.back() == ClipPath && !a.get("transform")) {
        // librsvg smooths a clip path's edges whatever the shapes' rendering: half a pixel
        // up and left, GDI's region edges fall between the pixels again (after the whole
        // drawing's half pixel down and right), and the clip is as sharp as GDI's.
        a.set("transform", QStringLiteral("translate(%1 %2)").arg(number(-unitX_ / 2), number(-unitY_ / 2)));
    }
    if (name == u"g" && a.get("transform")) {
        // libemf2svg's outer group takes the bounds' origin away; its others are world transforms.
        const QString transform = a.get("transform")->trimmed();
        if (!outerGroupSeen_ && transform.startsWith(QLatin1String("translate"))) outerGroupSeen_ = true;
        else if (!isIdentity(transform)) kind = Transformed;
    }
    if (!inDefinitions && kind == Plain) {
        if (!transformed()) box(name, a);
        const bool kept = oneOf(name, {"path", "rect", "ellipse", "circle", "line", "polyline", "polygon"}) ? shape(a)
                          : name == u"image"                                                             ? image(a)
                                                                                                         : true;
        if (!kept) {
            skipDepth_ = 1;
            return;
        }
    }
    writer_.writeStartElement(qualified);
    a.write(writer_);
    kinds_.push_back(kind);
}

void Mender::root(const QXmlStreamAttributes& attributes) {
    Attributes a(attributes);
    a.set("width", QString::number(frame_.picture.width()));
    a.set("height", QString::number(frame_.picture.height()));
    // GDI's pixel (x, y) is the point (x, y); SVG's is the square from (x, y), sampled at
    // its middle: the whole drawing half a pixel right and down makes GDI's lines and
    // fills light the same pixels.
    a.set("viewBox", QStringLiteral("%1 %2 %3 %4")
                         .arg(number(frame_.x - unitX_ / 2), number(frame_.y - unitY_ / 2), number(frame_.width), number(frame_.height)));
    a.set("preserveAspectRatio", QStringLiteral("none"));
    // GDI draws shapes without anti-aliasing; it is also what keeps long self-crossing
    // lines cheap (librsvg's anti-aliased strokes of 1000 polylines of 200 points took
    // seven seconds, crisp ones one). Polygons fill ALTERNATE unless a marker says otherwise.
    a.set("shape-rendering", QStringLiteral("crispEdges"));
    a.set("fill-rule", QStringLiteral("evenodd"));
    a.write(writer_);
}

// libemf2svg writes only Rectangle and Ellipse as rect and ellipse elements. GDI leaves
// their right column and bottom row out (the outline runs a pixel in from them).
void Mender::box(QStringView name, Attributes& a) const {
    if (name == u"rect") {
        a.set("width", number(std::max(0.0, parse(a.get("width"), 0) - unitX_)));
        a.set("height", number(std::max(0.0, parse(a.get("height"), 0) - unitY_)));
    } else if (name == u"ellipse") {
        a.set("cx", number(parse(a.get("cx"), 0) - unitX_ / 2));
        a.set("cy", number(parse(a.get("cy"), 0) - unitY_ / 2));
        a.set("rx", number(std::max(0.0, parse(a.get("rx"), 0) - unitX_ / 2)));
        a.set("ry", number(std::max(0.0, parse(a.get("ry"), 0) - unitY_ / 2)));
    }
}

// A shape's pen, fill mode, brush and raster operation; false: not drawn at all.
bool Mender::shape(Attributes& a) {
    if (state_.shapeBlend == Blend::Nothing) return false;
    // libemf2svg outlines a shape drawn with a null pen in its fill colour, one pixel wide
    // (the only stroke width it writes in pixels).
    if (a.get("stroke-width") == QStringLiteral("1px")) {
        a.remove("stroke-width");
        a.set("stroke", QStringLiteral("none"));
    }
    const std::optional<QString> stroke = a.get("stroke");
    if (stroke && stroke->trimmed() != u"none") {
        const double width = parse(a.get("stroke-width"), 1);
        dashes(a, width);
        if (width * scale_ < 1) a.set("stroke-width", number(1 / scale_));
    }
    if (a.filled()) {
        if (state_.winding) a.set("fill-rule", QStringLiteral("nonzero"));
        if (state_.paint.hatched) {
            const QString url = QStringLiteral("url(#%1)").arg(hatchId(state_.paint));
            if (a.get("fill")) a.set("fill", url);
            else a.addStyle(QStringLiteral("fill"), url);
        }
    }
    blend(a, state_.shapeBlend);
    return true;
}

// libemf2svg dashes every style by the pen's width (dashes of five, dots of one): the
// style is told by the lengths' ratios to the width, and given GDI's lengths.
void Mender::dashes(Attributes& a, double strokeWidth) const {
    const std::optional<QString> array = a.get("stroke-dasharray");
    if (!array || strokeWidth <= 0) return;
    std::vector<double> ratios;
    for (const QString& part : array->split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts)) {
        bool ok = false;
        ratios.push_back(part.toDouble(&ok) / strokeWidth);
        if (!ok) return;
    }
    // libemf2svg's dashes in pen widths, and GDI's for a pen wider than a pixel.
    struct Style {
        unsigned penStyle;
        std::vector<double> library, geometric;
    };
    static const Style kStyles[] = {
        {1, {5, 5}, {3, 1}},                           // PS_DASH
        {2, {1, 1}, {1, 1}},                           // PS_DOT
        {3, {5, 5, 1, 5}, {3, 1, 1, 1}},               // PS_DASHDOT
        {4, {5, 5, 1, 1, 1, 5}, {3, 1, 1, 1, 1, 1}},  // PS_DASHDOTDOT
    };
    for (const Style& s : kStyles) {
        if (s.library.size() != ratios.size()) continue;
        bool same = true;
        for (size_t i = 0; i < ratios.size(); ++i) same = same && std::fabs(ratios[i] - s.library[i]) < 0.01 * s.library[i];
        if (!same) continue;
        // A one-pixel pen is dashed in the picture's pixels, a wider one in its widths.
        const bool cosmetic = strokeWidth <= 1.0001;
        QStringList lengths;
        if (cosmetic) {
            for (const uint32_t v : cosmeticDashes(s.penStyle)) lengths << number(v / scale_);
        } else {
            for (const double v : s.geometric) lengths << number(v * strokeWidth);
        }
        a.set("stroke-dasharray", lengths.join(u','));
        return;
    }
}

void Mender::blend(Attributes& a, Blend blend) const {
    switch (blend) {
    case Blend::Difference: a.addStyle(QStringLiteral("mix-blend-mode"), QStringLiteral("difference")); break;
    case Blend::DifferenceInverted:
        a.mapColours([](uint32_t rgb) { return ~rgb & 0xFFFFFF; });
        a.addStyle(QStringLiteral("mix-blend-mode"), QStringLiteral("difference"));
        break;
    case Blend::DifferenceWhite:
        a.mapColours([](uint32_t) { return 0xFFFFFFu; });
        a.addStyle(QStringLiteral("mix-blend-mode"), QStringLiteral("difference"));
        break;
    case Blend::Multiply: a.addStyle(QStringLiteral("mix-blend-mode"), QStringLiteral("multiply")); break;
    case Blend::Screen: a.addStyle(QStringLiteral("mix-blend-mode"), QStringLiteral("screen")); break;
    case Blend::Black: a.mapColours([](uint32_t) { return 0u; }); break;
    case Blend::White: a.mapColours([](uint32_t) { return 0xFFFFFFu; }); break;
    case Blend::Inverted: a.mapColours([](uint32_t rgb) { return ~rgb & 0xFFFFFF; }); break;
    case Blend::Copy:
    case Blend::Nothing: break;
    }
}

// A bitmap: stretched to its box whatever its own proportions, its raster operation, and
// (unless HALFTONE) its pixels repeated to the picture's pixels it covers, at whole pixels.
bool Mender::image(Attributes& a) {
    if (state_.bitmapBlend == Blend::Nothing) return false;
    a.set("preserveAspectRatio", QStringLiteral("none"));
    if (state_.bitmapBlend != Blend::Black && state_.bitmapBlend != Blend::White) blend(a, state_.bitmapBlend);
    if (state_.smoothBitmaps || transformed()) return true;
    const std::optional<QString> href = a.get("href");
    static const QString kPng = QStringLiteral("data:image/png;base64,");
    if (!href || !href->startsWith(kPng)) return true;
    const double x = parse(a.get("x"), 0), y = parse(a.get("y"), 0), w = parse(a.get("width"), 0), h = parse(a.get("height"), 0);
    const double left = std::round((x - frame_.deviceLeft) / unitX_), top = std::round((y - frame_.deviceTop) / unitY_);
    const double right = std::round((x + w - frame_.deviceLeft) / unitX_), bottom = std::round((y + h - frame_.deviceTop) / unitY_);
    const double width = right - left, height = bottom - top;
    constexpr double kMostPixels = double(1 << 24);
    if (!(width >= 1 && height >= 1 && width <= 16384 && height <= 16384 && width * height <= kMostPixels)) return true;
    QImage picture = QImage::fromData(QByteArray::fromBase64(href->mid(kPng.size()).toLatin1()), "PNG");
    if (picture.isNull()) return true;
    if (picture.size() != QSize(int(width), int(height))) {
        picture = picture.scaled(int(width), int(height), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        QByteArray png;
        QBuffer buffer(&png);
        QImageWriter out(&buffer, "PNG");
        out.setQuality(90);  // little compression: it is read once, at once
        if (!out.write(picture)) return true;
        a.set("href", kPng + QString::fromLatin1(png.toBase64()));
    }
    // On whole pixels of the picture (the half pixel of the whole drawing taken back).
    a.set("x", number((left - 0.5) * unitX_ + frame_.deviceLeft));
    a.set("y", number((top - 0.5) * unitY_ + frame_.deviceTop));
    a.set("width", number(width * unitX_));
    a.set("height", number(height * unitY_));
    return true;
}

QString Mender::hatchId(const SvgPaint& paint) {
    const auto key = std::make_tuple(paint.hatchStyle, paint.colour, paint.opaque ? paint.background : 0u, paint.opaque);
    if (const auto it = hatches_.find(key); it != hatches_.end()) return it->second;
    const QString id = QStringLiteral("h%1-%2").arg(QString::fromStdString(frame_.nonce)).arg(hatches_.size());
    hatches_[key] = id;
    writer_.writeStartElement(QStringLiteral("defs"));
    writer_.writeStartElement(QStringLiteral("pattern"));
    writer_.writeAttribute(QStringLiteral("id"), id);
    // GDI's hatch is 8 x 8 pixels of the picture, from its corner, whatever the mapping.
    const double unitX = unitX_, unitY = unitY_;
    writer_.writeAttribute(QStringLiteral("patternUnits"), QStringLiteral("userSpaceOnUse"));
    writer_.writeAttribute(QStringLiteral("x"), number(frame_.deviceLeft - unitX / 2));
    writer_.writeAttribute(QStringLiteral("y"), number(frame_.deviceTop - unitY / 2));
    writer_.writeAttribute(QStringLiteral("width"), number(8 * unitX));
    writer_.writeAttribute(QStringLiteral("height"), number(8 * unitY));
    writer_.writeStartElement(QStringLiteral("g"));
    writer_.writeAttribute(QStringLiteral("transform"), QStringLiteral("scale(%1 %2)").arg(QString::number(unitX, 'g', 10), QString::number(unitY, 'g', 10)));
    if (paint.opaque) {
        writer_.writeEmptyElement(QStringLiteral("rect"));
        writer_.writeAttribute(QStringLiteral("width"), QStringLiteral("8"));
        writer_.writeAttribute(QStringLiteral("height"), QStringLiteral("8"));
        writer_.writeAttribute(QStringLiteral("fill"), rgbText(paint.background));
    }
    writer_.writeEmptyElement(QStringLiteral("path"));
    writer_.writeAttribute(QStringLiteral("d"), hatchPath(paint.hatchStyle));
    writer_.writeAttribute(QStringLiteral("fill"), rgbText(paint.colour));
    writer_.writeEndElement();
    writer_.writeEndElement();
    writer_.writeEndElement();
    return id;
}

// A text element read whole: a marker (nothing but its text) changes the state and is
// dropped; any other is written as it came.
void Mender::finishText() {
    QString content;
    bool onlyText = true;
    for (size_t i = 1; i + 1 < text_.size(); ++i) {
        if (text_[i].type == QXmlStreamReader::Characters) content += text_[i].text;
        else onlyText = false;
    }
    if (onlyText) {
        if (const std::optional<SvgDrawingState> s = qfip::emf::stateOfMarker(frame_.nonce, content.toStdString())) {
            state_ = *s;
            if (state_.paint.hatched) hatchId(state_.paint);  // its pattern, before the shapes that use it
            text_.clear();
            return;
        }
    }
    // librsvg aborts (a panic in Pango's hands) on text of ten million pixels and more;
    // twice the largest picture's side shows all there is to see of a glyph.
    const double mostSize = 32768 * unitY_;
    if (const std::optional<QString> size = Attributes(text_.front().attributes).get("font-size");
        size && !(parse(size, 0) <= mostSize)) {
        QXmlStreamAttributes kept;
        for (const QXmlStreamAttribute& a : text_.front().attributes)
            kept.append(a.qualifiedName().toString(), localName(a.qualifiedName()) == u"font-size" ? number(mostSize) : a.value().toString());
        text_.front().attributes = kept;
    }
    for (const Token& t : text_) writeToken(t);
    text_.clear();
}

void Mender::writeToken(const Token& t) {
    switch (t.type) {
    case QXmlStreamReader::StartElement:
        writer_.writeStartElement(t.name);
        writer_.writeAttributes(t.attributes);
        break;
    case QXmlStreamReader::EndElement: writer_.writeEndElement(); break;
    case QXmlStreamReader::Characters:
        if (t.cdata) writer_.writeCDATA(t.text);
        else writer_.writeCharacters(t.text);
        break;
    case QXmlStreamReader::Comment: writer_.writeComment(t.text); break;
    default: break;
    }
}

}  // namespace

QByteArray mendEmfSvg(const QByteArray& svg, const EmfSvgFrame& frame) {
    if (frame.picture.isEmpty() || !(frame.width > 0) || !(frame.height > 0)) return {};
    // A frame within a pixel of the picture's size (a reference device of about 96 dpi,
    // as screens are) is drawn a device pixel a pixel: GDI's one-pixel lines and hatches
    // then fall on whole pixels, as they do on the screen.
    EmfSvgFrame snapped = frame;
    if (std::fabs(frame.width - frame.picture.width()) < 1 && std::fabs(frame.height - frame.picture.height()) < 1) {
        snapped.width = frame.picture.width();
        snapped.height = frame.picture.height();
    }
    return Mender(snapped).run(svg);
}
