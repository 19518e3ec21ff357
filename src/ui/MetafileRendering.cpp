#include "ui/MetafileRendering.h"

#include <QByteArray>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

#include "common/Error.h"

namespace {

const char* const kMetafileNotValid = "Metafile is not valid";

int32_t s32At(const std::vector<uint8_t>& b, size_t at) {
    return int32_t(uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
                   uint32_t(b[at + 3]) << 24);
}
int16_t s16At(const std::vector<uint8_t>& b, size_t at) { return int16_t(uint16_t(b[at] | b[at + 1] << 8)); }
uint16_t u16At(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

// extent * 96 / unitsPerInch, rounded half up; extents are non-negative here.
int64_t toScreenPixels(int64_t extent, int64_t unitsPerInch) {
    return (extent * 96 * 2 + unitsPerInch) / (2 * unitsPerInch);
}

std::optional<QSize> boundedSize(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0 || width > kMaxMetafileSide || height > kMaxMetafileSide ||
        width * height > kMaxMetafilePixels)
        return std::nullopt;
    return QSize(int(width), int(height));
}

[[noreturn]] void notValid() { throw qfip::Error(kMetafileNotValid); }

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

std::optional<QSize> enhancedMetafileSize(const std::vector<uint8_t>& bytes) {
    // EMR_HEADER: type, size, rclBounds (device pixels, inclusive), rclFrame (0.01 mm).
    if (bytes.size() < 40) return std::nullopt;
    const int64_t frameWidth = std::llabs(int64_t(s32At(bytes, 32)) - s32At(bytes, 24));
    const int64_t frameHeight = std::llabs(int64_t(s32At(bytes, 36)) - s32At(bytes, 28));
    if (frameWidth > 0 && frameHeight > 0)
        return boundedSize(toScreenPixels(frameWidth, 2540), toScreenPixels(frameHeight, 2540));
    const int64_t boundsWidth = std::llabs(int64_t(s32At(bytes, 16)) - s32At(bytes, 8)) + 1;
    const int64_t boundsHeight = std::llabs(int64_t(s32At(bytes, 20)) - s32At(bytes, 12)) + 1;
    return boundedSize(boundsWidth, boundsHeight);
}

std::optional<QSize> placeableMetafileSize(const std::vector<uint8_t>& bytes) {
    // Placeable header: key, handle, left, top, right, bottom (16-bit), units per inch.
    if (bytes.size() < 22) return std::nullopt;
    const int64_t unitsPerInch = u16At(bytes, 14);
    if (unitsPerInch == 0) return std::nullopt;
    const int64_t width = std::llabs(int64_t(s16At(bytes, 10)) - s16At(bytes, 6));
    const int64_t height = std::llabs(int64_t(s16At(bytes, 12)) - s16At(bytes, 8));
    return boundedSize(toScreenPixels(width, unitsPerInch), toScreenPixels(height, unitsPerInch));
}

QImage renderSvg(const QByteArray& svg, QSize size) {
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) return QImage();
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) return QImage();
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(0, 0, size.width(), size.height()));
    return image;
}

QImage renderEnhancedMetafile(const std::vector<uint8_t>& bytes) {
    const std::optional<QSize> size = enhancedMetafileSize(bytes);
    if (!size) notValid();

    generatorOptions options;
    std::memset(&options, 0, sizeof options);
    char svgNamespace[] = "";
    options.nameSpace = svgNamespace;
    options.emfplus = true;
    options.svgDelimiter = true;
    options.imgWidth = size->width();
    options.imgHeight = size->height();

    // libemf2svg takes a non-const buffer but only reads it; work on a copy anyway.
    std::vector<char> input(bytes.begin(), bytes.end());
    char* out = nullptr;
    size_t outLength = 0;
    const int ok = emf2svg(input.data(), input.size(), &out, &outLength, &options);
    const QByteArray svg = (ok && out) ? QByteArray(out, qsizetype(outLength)) : QByteArray();
    std::free(out);
    if (svg.isEmpty()) notValid();

    QImage image = renderSvg(svg, *size);
    if (image.isNull()) notValid();
    return image;
}

QImage renderPlaceableMetafile(const std::vector<uint8_t>& bytes) {
    const std::optional<QSize> size = placeableMetafileSize(bytes);
    if (!size) notValid();
    if (bytes.size() > size_t(std::numeric_limits<long>::max())) notValid();

    WmfSession session;
    wmfAPI* api = session.api();
    if (!api) notValid();

    // libwmf reads the buffer through a non-const pointer; give it its own copy.
    std::vector<unsigned char> input(bytes.begin(), bytes.end());
    if (wmf_mem_open(api, input.data(), long(input.size())) != wmf_E_None) notValid();
    wmfD_Rect bbox;
    if (wmf_scan(api, 0, &bbox) != wmf_E_None) notValid();

    // libwmf plays in points measured from the window origin, and wmf_scan's box covers
    // only what is drawn. The picture is the header's box, whose top-left corner is the
    // window origin in the usual placeable file; the device is given that box in points.
    const double unitsPerInch = u16At(bytes, 14);
    wmfD_Rect frame;
    frame.TL.x = 0;
    frame.TL.y = 0;
    frame.BR.x = float(std::abs(int(s16At(bytes, 10)) - s16At(bytes, 6)) * 72.0 / unitsPerInch);
    frame.BR.y = float(std::abs(int(s16At(bytes, 12)) - s16At(bytes, 8)) * 72.0 / unitsPerInch);

    wmf_svg_t* device = WMF_SVG_GetData(api);
    device->out = wmf_stream_create(api, nullptr);
    if (!device->out) notValid();
    char description[] = "Quendral Fast Image Processor";
    device->Description = description;
    device->bbox = frame;
    device->width = unsigned(size->width());
    device->height = unsigned(size->height());

    const wmf_error_t played = wmf_play(api, 0, &frame);
    char* buffer = nullptr;
    unsigned long length = 0;
    wmf_stream_destroy(api, device->out, &buffer, &length);
    device->out = nullptr;
    // The buffer belongs to the session: copy it before the session ends.
    const QByteArray svg = (played == wmf_E_None && buffer) ? QByteArray(buffer, qsizetype(length)) : QByteArray();
    wmf_mem_close(api);
    if (svg.isEmpty()) notValid();

    QImage image = renderSvg(svg, *size);
    if (image.isNull()) notValid();
    return image;
}
