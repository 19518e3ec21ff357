#include "render/MetafileRendering.h"

#include <QByteArray>
#include <sys/random.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <emf2svg.h>

#include "common/DrawnPictures.h"
#include "common/Error.h"
#include "exchange/DrawnSize.h"
#include "render/EmfNormaliser.h"
#include "render/EmfSvgMending.h"
#include "render/SvgRendering.h"
#include "render/WmfBitmapDevice.h"

namespace {

QSize qsize(const qfip::exchange::Size& size) { return QSize(size.width, size.height); }

[[noreturn]] void notValid() { throw qfip::Error(qfip::kMetafileNotValid); }

// GDI draws shapes without anti-aliasing: the document's root element (the first one
// libemf2svg writes, before anything of the file's own) asks for crisp edges, which all
// shapes inherit. For a file that is not rewritten (EmfNormaliser.h).
QByteArray withCrispEdges(QByteArray svg) {
    const qsizetype root = svg.indexOf("<svg ");
    if (root >= 0) svg.insert(root + 5, "shape-rendering=\"crispEdges\" ");
    return svg;
}

// libemf2svg's SVG of the metafile, at a scale of `width` pixels for the header's bounds.
QByteArray libraryDocument(std::span<uint8_t> bytes, double width, double height) {
    generatorOptions options;
    std::memset(&options, 0, sizeof options);
    char svgNamespace[] = "";
    options.nameSpace = svgNamespace;
    options.emfplus = true;
    options.svgDelimiter = true;
    options.imgWidth = width;
    options.imgHeight = height;
    char* out = nullptr;
    size_t outLength = 0;
    const int ok = emf2svg(reinterpret_cast<char*>(bytes.data()), bytes.size(), &out, &outLength, &options);
    QByteArray svg = (ok && out) ? QByteArray(out, qsizetype(outLength)) : QByteArray();
    std::free(out);
    return svg;
}

// The markers' prefix: random for each drawing, so that no file's text can pass for one.
std::string markerNonce() {
    uint8_t random[8] = {};
    if (getrandom(random, sizeof random, 0) != ssize_t(sizeof random)) {
        for (uint8_t& b : random) b = uint8_t(std::rand());
    }
    std::string nonce = "Q";
    char hex[3];
    for (uint8_t b : random) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        nonce += hex;
    }
    return nonce;
}

}  // namespace

QImage renderEnhancedMetafile(std::span<uint8_t> bytes) {
    const auto size = qfip::exchange::enhancedMetafileSize(bytes);
    if (!size || size->isEmpty()) notValid();  // an empty picture is never sent here

    QByteArray svg;
    const std::string nonce = markerNonce();
    if (std::optional<qfip::emf::NormalisedEmf> normalised = qfip::emf::normaliseEnhancedMetafile(bytes, nonce)) {
        // libemf2svg reads past the end of a file without an end record: zeros there too.
        std::vector<uint8_t>& records = normalised->bytes;
        const size_t length = records.size();
        records.resize(length + qfip::kDrawnFilePadding, 0);
        const QByteArray document = libraryDocument(std::span<uint8_t>(records.data(), length), normalised->libraryWidth, 0);
        if (!document.isEmpty()) {
            const EmfSvgFrame frame{QSize(size->width, size->height), normalised->frameX, normalised->frameY,
                                    normalised->frameWidth, normalised->frameHeight,
                                    normalised->deviceLeft, normalised->deviceTop, nonce};
            svg = mendEmfSvg(document, frame);
        }
    } else {
        svg = withCrispEdges(libraryDocument(bytes, size->width, size->height));
    }
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
