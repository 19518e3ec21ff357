#include "render/MetafileRendering.h"

#include <QByteArray>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

#include "common/Error.h"
#include "common/DrawnPictures.h"
#include "exchange/DrawnSize.h"
#include "render/SelfContainedSvg.h"
#include "render/WmfSvgOutput.h"

namespace {

QSize qsize(const qfip::exchange::Size& size) { return QSize(size.width, size.height); }

[[noreturn]] void notValid() { throw qfip::Error(qfip::kMetafileNotValid); }

// Owns one libwmf session; destroying it frees everything libwmf allocated for it,
// including the memory stream's buffer.
class WmfSession {
public:
    WmfSession() {
        wmfAPI_Options options;
        std::memset(&options, 0, sizeof options);
        options.function = wmf_svg_function;
        const unsigned long flags =
            WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        if (wmf_api_create(&api_, flags, &options) != wmf_E_None) {
            if (api_) wmf_api_destroy(api_);
            api_ = nullptr;
        }
    }
    ~WmfSession() {
        if (api_) wmf_api_destroy(api_);
    }
    WmfSession(const WmfSession&) = delete;
    WmfSession& operator=(const WmfSession&) = delete;

    wmfAPI* api() const { return api_; }

private:
    wmfAPI* api_ = nullptr;
};

}  // namespace

QImage renderSvg(const QByteArray& svg, QSize size) {
#ifdef QFIP_WITHOUT_MARKUP_CHECK
    // Only in the tests' helper that shows what the file confinement holds on its own.
    QSvgRenderer renderer(svg);
#else
    QSvgRenderer renderer(selfContainedSvg(svg));
#endif
    if (!renderer.isValid()) return QImage();
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) return QImage();
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(0, 0, size.width(), size.height()));
    return image;
}

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
    const QByteArray svg = (ok && out) ? QByteArray(out, qsizetype(outLength)) : QByteArray();
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
    if (bytes.size() > size_t(std::numeric_limits<long>::max())) notValid();

    WmfSession session;
    wmfAPI* api = session.api();
    if (!api) notValid();

    if (wmf_mem_open(api, bytes.data(), long(bytes.size())) != wmf_E_None) notValid();
    wmfD_Rect bbox;
    if (wmf_scan(api, 0, &bbox) != wmf_E_None) notValid();

    // libwmf plays in points measured from the window origin, and wmf_scan's box covers
    // only what is drawn. The picture is the header's box, whose top-left corner is the
    // window origin in the usual placeable file; the device is given that box in points.
    const double unitsPerInch = header->unitsPerInch;
    const int16_t* box = header->box;
    wmfD_Rect frame;
    frame.TL.x = 0;
    frame.TL.y = 0;
    frame.BR.x = float(std::abs(int(box[2]) - box[0]) * 72.0 / unitsPerInch);
    frame.BR.y = float(std::abs(int(box[3]) - box[1]) * 72.0 / unitsPerInch);

    wmf_svg_t* device = WMF_SVG_GetData(api);
    char description[] = "Quendral Fast Image Processor";
    device->Description = description;
    device->bbox = frame;
    device->width = unsigned(size->width);
    device->height = unsigned(size->height);

    QByteArray svg;
    {
        WmfSvgOutput output(api);
        if (wmf_play(api, 0, &frame) == wmf_E_None) svg = output.svg();
    }
    wmf_mem_close(api);
    if (svg.isEmpty()) notValid();

    QImage image = renderSvg(svg, qsize(*size));
    if (image.isNull()) notValid();
    return image;
}
