#include "render/WmfBitmapDevice.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include <libwmf/api.h>
#include <libwmf/gd.h>
#include <libwmf/macro.h>

#include "common/Error.h"
#include "render/AnsiText.h"
#include "render/GdRaster.h"
#include "render/WmfTextPainter.h"

namespace {

[[noreturn]] void notValid() { throw qfip::Error(qfip::kMetafileNotValid); }

constexpr uint16_t kSetWindowOrg = 0x020B;
constexpr uint16_t kExcludeClipRect = 0x0415;
constexpr uint16_t kIntersectClipRect = 0x0416;
constexpr uint16_t kOffsetClipRgn = 0x0220;
// Where the records begin after the 22-byte placeable header and the 18-byte metafile header.
constexpr size_t kFirstRecord = 40;

void putRecord(std::vector<uint8_t>& out, uint16_t function, std::initializer_list<int16_t> words) {
    const uint32_t size = 3 + uint32_t(words.size());
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(size >> (8 * i)));
    out.push_back(uint8_t(function));
    out.push_back(uint8_t(function >> 8));
    for (const int16_t w : words) {
        out.push_back(uint8_t(uint16_t(w)));
        out.push_back(uint8_t(uint16_t(w) >> 8));
    }
}

// The records read before the file's own: with the window origin at (-32768, -32768),
// the widest clip rectangle 16-bit coordinates allow spans device units 0 to 65535 in
// the placeable mapping, which holds every frame a header's box can give; then the
// origin is set back to (0, 0), where the player starts.
std::vector<uint8_t> frameClipRecords() {
    std::vector<uint8_t> out;
    putRecord(out, kSetWindowOrg, {-32768, -32768});
    putRecord(out, kIntersectClipRect, {32767, 32767, -32768, -32768});  // bottom, right, top, left
    putRecord(out, kSetWindowOrg, {0, 0});
    return out;
}

// libwmf's input: the file's bytes with the frame clip in front of its first record.
class SeededInput {
public:
    SeededInput(std::span<const uint8_t> file, bool seeded)
        : file_(file), seed_(seeded ? frameClipRecords() : std::vector<uint8_t>()),
          insertAt_(seeded ? kFirstRecord : file.size()) {}

    static int read(void* context) {
        auto& in = *static_cast<SeededInput*>(context);
        if (in.pos_ >= in.size()) return EOF;
        const size_t at = in.pos_++;
        if (at < in.insertAt_) return in.file_[at];
        if (at < in.insertAt_ + in.seed_.size()) return in.seed_[at - in.insertAt_];
        return in.file_[at - in.seed_.size()];
    }
    static int seek(void* context, long position) {
        auto& in = *static_cast<SeededInput*>(context);
        if (position < 0 || size_t(position) > in.size()) return -1;
        in.pos_ = size_t(position);
        return 0;
    }
    static long tell(void* context) { return long(static_cast<SeededInput*>(context)->pos_); }

    // Where the reading is, in the file's own bytes.
    size_t filePosition() const { return pos_ > insertAt_ ? std::max(pos_, insertAt_ + seed_.size()) - seed_.size() : pos_; }

private:
    size_t size() const { return file_.size() + seed_.size(); }

    std::span<const uint8_t> file_;
    std::vector<uint8_t> seed_;
    size_t insertAt_;
    size_t pos_ = 0;
};

// Where each clipping record of the file ends (the player has read it whole when it
// hands the device the clip it gives), in order.
std::vector<size_t> clipRecordEnds(std::span<const uint8_t> bytes) {
    std::vector<size_t> ends;
    for (size_t at = kFirstRecord; at + 6 <= bytes.size();) {
        const uint32_t words = uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
                               uint32_t(bytes[at + 3]) << 24;
        const uint16_t function = uint16_t(bytes[at + 4] | bytes[at + 5] << 8);
        if (words < 3 || function == 0 || words > (bytes.size() - at) / 2) break;
        at += size_t(words) * 2;
        if (function == kExcludeClipRect || function == kIntersectClipRect || function == kOffsetClipRgn) ends.push_back(at);
    }
    return ends;
}

// One libwmf session on its bitmap device; destroying it frees everything libwmf
// allocated, the bitmap included.
class Session {
public:
    Session() {
        wmfAPI_Options options;
        std::memset(&options, 0, sizeof options);
        options.function = wmf_gd_function;
        const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        if (wmf_api_create(&api_, flags, &options) != wmf_E_None) {
            if (api_) wmf_api_destroy(api_);
            api_ = nullptr;
        }
    }
    ~Session() {
        if (!api_) return;
        // The device leaves its finished image to the caller; handed back, its own
        // closing frees it with the rest.
        wmf_gd_t* device = WMF_GD_GetData(api_);
        if (device && device->gd_image && device->gd_data) *static_cast<void**>(device->gd_data) = device->gd_image;
        wmf_api_destroy(api_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    wmfAPI* api() const { return api_; }

private:
    wmfAPI* api_ = nullptr;
};

// The device's calls that are put right, each around the device's own.
class DeviceFixes {
public:
    DeviceFixes(wmfAPI* api, const SeededInput& input, std::vector<size_t> clipEnds)
        : api_(api), input_(input), clipEnds_(std::move(clipEnds)) {
        auto* calls = static_cast<wmfFunctionReference*>(api->function_reference);
        device_ = *calls;
        calls->device_begin = &DeviceFixes::deviceBegin;
        calls->draw_line = &DeviceFixes::drawLine;
        calls->poly_line = &DeviceFixes::polyLine;
        calls->draw_rectangle = &DeviceFixes::drawRectangle;
        calls->region_clip = &DeviceFixes::regionClip;
        calls->draw_text = &DeviceFixes::drawText;
        api->user_data = this;
    }
    ~DeviceFixes() {
        *static_cast<wmfFunctionReference*>(api_->function_reference) = device_;
        api_->user_data = nullptr;
    }
    DeviceFixes(const DeviceFixes&) = delete;
    DeviceFixes& operator=(const DeviceFixes&) = delete;

private:
    static DeviceFixes& of(wmfAPI* api) { return *static_cast<DeviceFixes*>(api->user_data); }

    // The device's bitmap while the metafile plays (the first member of its private data).
    static gdImage* bitmap(wmfAPI* api) {
        const wmf_gd_t* device = WMF_GD_GetData(api);
        return device && device->gd_data ? *static_cast<gdImage**>(device->gd_data) : nullptr;
    }

    bool clipRecordJustRead() const {
        return std::binary_search(clipEnds_.begin(), clipEnds_.end(), input_.filePosition());
    }

    // Every colour the device draws with is opaque: its pixels are written, not blended
    // with what is under them (which read every pixel back first).
    static void deviceBegin(wmfAPI* api) {
        of(api).device_.device_begin(api);
        if (gdImage* image = bitmap(api)) image->alphaBlendingFlag = 0;
    }

    // A device point as the device maps it to a pixel (kept within 2^40, far past any
    // bitmap, so that the drawing's arithmetic can't overflow).
    static int64_t pixel(double value, double origin, double extent, unsigned size) {
        const double p = std::floor((value - origin) / extent * size);
        return std::isfinite(p) ? int64_t(std::clamp(p, -1099511627776.0, 1099511627776.0)) : 0;
    }
    static int64_t pixelX(wmfAPI* api, float x) {
        const wmf_gd_t* d = WMF_GD_GetData(api);
        return pixel(x, d->bbox.TL.x, double(d->bbox.BR.x) - d->bbox.TL.x, d->width);
    }
    static int64_t pixelY(wmfAPI* api, float y) {
        const wmf_gd_t* d = WMF_GD_GetData(api);
        return pixel(y, d->bbox.TL.y, double(d->bbox.BR.y) - d->bbox.TL.y, d->height);
    }
    static int gdColour(const wmfRGB* c) { return int(c->r) << 16 | int(c->g) << 8 | int(c->b); }

    enum class Pen { None, Thin, Other };
    // A solid pen one pixel wide, no pen, or any other. GDI rounds a pen's width in
    // pixels to the nearest (the device rounds up, which made libwmf's default pen, one
    // point, two pixels wide at 96 dpi where GDI's is one).
    static Pen penOf(wmfAPI* api, const wmfDC* dc) {
        const wmfPen* pen = dc ? WMF_DC_PEN(dc) : nullptr;
        if (!pen) return Pen::Other;
        const unsigned style = WMF_PEN_STYLE(pen);
        if (style == PS_NULL) return Pen::None;
        if (style != PS_SOLID && style != PS_INSIDEFRAME) return Pen::Other;
        const wmf_gd_t* d = WMF_GD_GetData(api);
        const double wide = WMF_PEN_WIDTH(pen) * d->width / (double(d->bbox.BR.x) - d->bbox.TL.x);
        const double high = WMF_PEN_HEIGHT(pen) * d->height / (double(d->bbox.BR.y) - d->bbox.TL.y);
        return wide < 1.5 && high < 1.5 ? Pen::Thin : Pen::Other;
    }

    static void line(wmfAPI* api, gdImage& image, const wmfD_Coord& from, const wmfD_Coord& to, int colour) {
        drawPixelLine(image, pixelX(api, from.x), pixelY(api, from.y), pixelX(api, to.x), pixelY(api, to.y), colour);
    }

    // Lines of a thin solid pen are drawn here; the device draws the others.
    static void drawLine(wmfAPI* api, wmfDrawLine_t* segment) {
        gdImage* image = bitmap(api);
        if (!image || penOf(api, segment->dc) != Pen::Thin) return of(api).device_.draw_line(api, segment);
        line(api, *image, segment->from, segment->to, gdColour(WMF_PEN_COLOR(WMF_DC_PEN(segment->dc))));
    }

    static void polyLine(wmfAPI* api, wmfPolyLine_t* lines) {
        gdImage* image = bitmap(api);
        if (!image || !lines->pt || penOf(api, lines->dc) != Pen::Thin) return of(api).device_.poly_line(api, lines);
        const int colour = gdColour(WMF_PEN_COLOR(WMF_DC_PEN(lines->dc)));
        for (unsigned i = 1; i < lines->count; ++i) line(api, *image, lines->pt[i - 1], lines->pt[i], colour);
    }

    // A square-cornered rectangle of a solid or null brush and a thin solid or null pen,
    // as GDI draws it: the figure excludes its right and bottom edges, the pen draws its
    // outermost pixels, and without a pen the fill is a pixel narrower and lower still.
    static void drawRectangle(wmfAPI* api, wmfDrawRectangle_t* rect) {
        gdImage* image = bitmap(api);
        const wmfBrush* brush = rect->dc ? WMF_DC_BRUSH(rect->dc) : nullptr;
        const unsigned brushStyle = brush ? WMF_BRUSH_STYLE(brush) : BS_HATCHED;
        const Pen pen = penOf(api, rect->dc);
        if (!image || rect->width != 0 || rect->height != 0 || pen == Pen::Other ||
            (brushStyle != BS_SOLID && brushStyle != BS_NULL))
            return of(api).device_.draw_rectangle(api, rect);
        int64_t left = pixelX(api, rect->TL.x), right = pixelX(api, rect->BR.x);
        int64_t top = pixelY(api, rect->TL.y), bottom = pixelY(api, rect->BR.y);
        if (left > right) std::swap(left, right);
        if (top > bottom) std::swap(top, bottom);
        --right;
        --bottom;
        if (pen == Pen::Thin) {
            const int colour = gdColour(WMF_PEN_COLOR(WMF_DC_PEN(rect->dc)));
            fillPixels(*image, left, top, right, top, colour);
            fillPixels(*image, left, bottom, right, bottom, colour);
            fillPixels(*image, left, top, left, bottom, colour);
            fillPixels(*image, right, top, right, bottom, colour);
            ++left, ++top;
        }
        --right;
        --bottom;
        if (brushStyle == BS_SOLID) fillPixels(*image, left, top, right, bottom, gdColour(WMF_BRUSH_COLOR(brush)));
    }

    static void regionClip(wmfAPI* api, wmfPolyRectangle_t* clip) {
        DeviceFixes& self = of(api);
        if (clip->count == 0 && self.clipRecordJustRead()) {
            // Nothing left visible: one empty rectangle, which no pixel is inside.
            wmfD_Coord corner = WMF_GD_GetData(api)->bbox.TL;
            wmfPolyRectangle_t nothing = *clip;
            nothing.TL = &corner;
            nothing.BR = &corner;
            nothing.count = 1;
            self.device_.region_clip(api, &nothing);
            return;
        }
        self.device_.region_clip(api, clip);
    }

    static void drawText(wmfAPI* api, wmfDrawText_t* text) {
        DeviceFixes& self = of(api);
        if (!text->dc || !text->str) return;
        // The opaque background, where the player gave its box: the device's own call
        // with a blank in place of the text.
        const bool box = text->bbox.TL.x != text->bbox.BR.x || text->bbox.TL.y != text->bbox.BR.y ||
                         (text->BR.x > text->TL.x && text->BR.y > text->TL.y);
        if (WMF_DC_OPAQUE(text->dc) && box) {
            char blank[] = " ";
            char* const original = text->str;
            text->str = blank;
            self.device_.draw_text(api, text);
            text->str = original;
        }
        const wmfFont* font = WMF_DC_FONT(text->dc);
        const uint8_t charset = font ? uint8_t(WMF_FONT_CHARSET(font)) : 0;
        const wmf_gd_t* device = WMF_GD_GetData(api);
        GdCanvas canvas{bitmap(api), device->bbox, device->width, device->height};
        try {
            paintWmfText(canvas, *text, decodeAnsiText(std::string_view(text->str), charset), charset == kSymbolCharset);
        } catch (const std::bad_alloc&) {
            api->err = wmf_E_InsMem;
        }
    }

    wmfAPI* api_;
    const SeededInput& input_;
    std::vector<size_t> clipEnds_;
    wmfFunctionReference device_{};
};

}  // namespace

QImage drawWithBitmapDevice(std::span<const uint8_t> bytes, const qfip::PlaceableMetafileHeader& header, QSize size) {
    auto session = std::make_unique<Session>();
    wmfAPI* api = session->api();
    if (!api) notValid();
    // Only a file that clips needs the frame clip (the device checks every pixel against
    // the clip rectangles it holds).
    std::vector<size_t> clipEnds = clipRecordEnds(bytes);
    SeededInput input(bytes, header.recordsAt == kFirstRecord && !clipEnds.empty());
    if (wmf_bbuf_input(api, &SeededInput::read, &SeededInput::seek, &SeededInput::tell, &input) != wmf_E_None)
        notValid();
    wmfD_Rect scanned;
    if (wmf_scan(api, 0, &scanned) != wmf_E_None) notValid();

    // libwmf plays in points measured from the window origin, and wmf_scan's box covers
    // only what is drawn. The picture is the header's box, whose top-left corner is the
    // window origin in the usual placeable file; the device is given that box in points.
    const double unitsPerInch = header.unitsPerInch;
    wmfD_Rect frame;
    frame.TL.x = 0;
    frame.TL.y = 0;
    frame.BR.x = float(std::abs(int(header.box[2]) - header.box[0]) * 72.0 / unitsPerInch);
    frame.BR.y = float(std::abs(int(header.box[3]) - header.box[1]) * 72.0 / unitsPerInch);

    wmf_gd_t* device = WMF_GD_GetData(api);
    device->type = wmf_gd_image;
    device->bbox = frame;
    device->width = unsigned(size.width());
    device->height = unsigned(size.height());
    {
        DeviceFixes fixes(api, input, std::move(clipEnds));
        if (wmf_play(api, 0, &frame) != wmf_E_None) notValid();
    }
    if (!device->gd_image) notValid();
    auto* image = static_cast<gdImage*>(device->gd_image);
    int* pixels = wmf_gd_image_pixels(image);
    if (!pixels || !image->trueColor || image->sx != size.width() || image->sy != size.height()) notValid();
    // gd's opaque 0x00RRGGBB words become Qt's 0xFFRRGGBB in place.
    const size_t count = size_t(image->sx) * size_t(image->sy);
    for (size_t i = 0; i < count; ++i) pixels[i] = int(uint32_t(pixels[i]) | 0xFF000000u);
    Session* owner = session.release();
    return QImage(reinterpret_cast<uchar*>(pixels), size.width(), size.height(), qsizetype(size.width()) * 4,
                  QImage::Format_RGB32, [](void* s) { delete static_cast<Session*>(s); }, owner);
}
