#include "render/MetafileRendering.h"

#include <QByteArray>
#include <cstdlib>
#include <cstring>

#include <emf2svg.h>

#include "common/DrawnPictures.h"
#include "common/Error.h"
#include "exchange/DrawnSize.h"
#include "render/SvgRendering.h"
#include "render/WmfBitmapDevice.h"

namespace {

QSize qsize(const qfip::exchange::Size& size) { return QSize(size.width, size.height); }

[[noreturn]] void notValid() { throw qfip::Error(qfip::kMetafileNotValid); }

// GDI draws shapes without anti-aliasing: the document's root element (the first one
// libemf2svg writes, before anything of the file's own) asks for crisp edges, which all
// shapes inherit. It is also what keeps long self-crossing lines cheap: librsvg's
// anti-aliased strokes of 1000 polylines of 200 points took seven seconds, crisp ones one.
QByteArray withCrispEdges(QByteArray svg) {
    const qsizetype root = svg.indexOf("<svg ");
    if (root >= 0) svg.insert(root + 5, "shape-rendering=\"crispEdges\" ");
    return svg;
}

}  // namespace

QImage renderEnhancedMetafile(std::span<uint8_t> bytes) {
    const auto size = qfip::exchange::enhancedMetafileSize(bytes);
    if (!size || size->isEmpty()) notValid();  // an empty picture is never sent here

    generatorOptions options;
    std::memset(&options, 0, sizeof options);
    char svgNamespace[] = "";
    options.nameSpace = svgNamespace;
    options.emfplus = true;
    options.svgDelimiter = true;
    options.imgWidth = size->width;
    options.imgHeight = size->height;

    char* out = nullptr;
    size_t outLength = 0;
    const int ok = emf2svg(reinterpret_cast<char*>(bytes.data()), bytes.size(), &out, &outLength, &options);
    const QByteArray svg = (ok && out) ? withCrispEdges(QByteArray(out, qsizetype(outLength))) : QByteArray();
    std::free(out);
    if (svg.isEmpty()) notValid();

    QImage image = renderSvg(svg, qsize(*size));
    if (image.isNull()) notValid();
    return image;
}

QImage renderPlaceableMetafile(std::span<uint8_t> bytes) {
    const auto size = qfip::exchange::placeableMetafileSize(bytes);
    const auto header = qfip::placeableMetafileHeader(bytes);
    if (!size || size->isEmpty() || !header) notValid();  // an empty picture is never sent here
    return drawWithBitmapDevice(bytes, *header, qsize(*size));
}
