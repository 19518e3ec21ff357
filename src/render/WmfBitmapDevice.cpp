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
#include <libwmf/font.h>
#include <libwmf/gd.h>
#include <libwmf/macro.h>

#include "common/Error.h"
#include "render/AnsiText.h"
#include "render/GdRaster.h"
#include "render/WmfPlaybackState.h"
#include "render/WmfPlayerInput.h"
#include "render/WmfRecords.h"
#include "render/WmfTextPainter.h"

namespace {

[[noreturn]] void notValid() { throw qfip::Error(qfip::kMetafileNotValid); }

// The window's origin at the header box's top-left corner, read before the file's first
// record: a viewer of a placeable file maps the box onto the picture (the player started
// from (0, 0), which shifted a file whose box does not start there and that sets no
// origin of its own).
std::vector<uint8_t> prologue(const qfip::PlaceableMetafileHeader& header) {
    std::vector<uint8_t> out = {5, 0, 0, 0, uint8_t(wmf::kSetWindowOrg), uint8_t(wmf::kSetWindowOrg >> 8)};
    for (const int16_t v : {header.box[1], header.box[0]}) {  // y, x
        out.push_back(uint8_t(uint16_t(v)));
        out.push_back(uint8_t(uint16_t(v) >> 8));
    }
    return out;
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

uint32_t rgbOf(const wmfRGB* c) { return uint32_t(c->r) << 16 | uint32_t(c->g) << 8 | uint32_t(c->b); }

// The device's calls, drawn here where GDI's result is known (with the clip, the window
// mapping, the fill mode, hatches, raster operations and dashes) and handed to the device
// otherwise (wide pens, arcs and ellipses, pattern brushes, flood fills), with the
// device's clip set to the same region and its frame to the same mapping.
class DeviceFixes {
public:
    DeviceFixes(wmfAPI* api, WmfPlayerInput& input, WmfPlaybackState& state) : api_(api), input_(input), state_(state) {
        auto* calls = static_cast<wmfFunctionReference*>(api->function_reference);
        device_ = *calls;
        calls->device_begin = &DeviceFixes::deviceBegin;
        calls->flood_interior = &DeviceFixes::forward<wmfFlood_t, &wmfFunctionReference::flood_interior>;
        calls->flood_exterior = &DeviceFixes::forward<wmfFlood_t, &wmfFunctionReference::flood_exterior>;
        calls->draw_pixel = &DeviceFixes::forward<wmfDrawPixel_t, &wmfFunctionReference::draw_pixel>;
        calls->draw_pie = &DeviceFixes::forward<wmfDrawArc_t, &wmfFunctionReference::draw_pie>;
        calls->draw_chord = &DeviceFixes::forward<wmfDrawArc_t, &wmfFunctionReference::draw_chord>;
        calls->draw_arc = &DeviceFixes::forward<wmfDrawArc_t, &wmfFunctionReference::draw_arc>;
        calls->draw_ellipse = &DeviceFixes::forward<wmfDrawArc_t, &wmfFunctionReference::draw_ellipse>;
        calls->region_frame = &DeviceFixes::forward<wmfPolyRectangle_t, &wmfFunctionReference::region_frame>;
        calls->draw_line = &DeviceFixes::guarded<wmfDrawLine_t, &DeviceFixes::drawLine>;
        calls->poly_line = &DeviceFixes::guarded<wmfPolyLine_t, &DeviceFixes::polyLine>;
        calls->draw_polygon = &DeviceFixes::guarded<wmfPolyLine_t, &DeviceFixes::drawPolygon>;
        calls->draw_polypolygon = &DeviceFixes::guarded<wmfPolyPoly_t, &DeviceFixes::drawPolyPolygon>;
        calls->draw_rectangle = &DeviceFixes::guarded<wmfDrawRectangle_t, &DeviceFixes::drawRectangle>;
        calls->rop_draw = &DeviceFixes::guarded<wmfROP_Draw_t, &DeviceFixes::ropDraw>;
        calls->bmp_draw = &DeviceFixes::guarded<wmfBMP_Draw_t, &DeviceFixes::bmpDraw>;
        calls->draw_text = &DeviceFixes::guarded<wmfDrawText_t, &DeviceFixes::drawText>;
        calls->region_paint = &DeviceFixes::guarded<wmfPolyRectangle_t, &DeviceFixes::regionPaint>;
        calls->region_clip = &DeviceFixes::regionClip;
        api->user_data = this;
        wmf_status_function(api, this, &DeviceFixes::recordPlayed);
    }
    ~DeviceFixes() {
        *static_cast<wmfFunctionReference*>(api_->function_reference) = device_;
        api_->user_data = nullptr;
        wmf_status_function(api_, nullptr, nullptr);
    }
    DeviceFixes(const DeviceFixes&) = delete;
    DeviceFixes& operator=(const DeviceFixes&) = delete;

    bool failed() const { return failed_; }

private:
    static DeviceFixes& of(wmfAPI* api) { return *static_cast<DeviceFixes*>(api->user_data); }

    // The device's bitmap while the metafile plays (the first member of its private data).
    static gdImage* bitmap(wmfAPI* api) {
        const wmf_gd_t* device = WMF_GD_GetData(api);
        return device && device->gd_data ? *static_cast<gdImage**>(device->gd_data) : nullptr;
    }

    // After each record the player has played: the records it has read are followed.
    static int recordPlayed(void* context, float) {
        auto& self = *static_cast<DeviceFixes*>(context);
        try {
            self.state_.followTo(self.input_.filePosition());
        } catch (...) {
            self.failed_ = true;
            return 1;  // the player stops
        }
        return 0;
    }

    // A drawing call made safe: nothing thrown reaches the player, which stops instead.
    template <typename Call, void (DeviceFixes::*Draw)(Call*)>
    static void guarded(wmfAPI* api, Call* call) {
        DeviceFixes& self = of(api);
        try {
            if (self.prepare() && call->dc) (self.*Draw)(call);
        } catch (...) {
            self.failed_ = true;
            api->err = wmf_E_InsMem;
        }
    }
    // A call the device draws, within the clip region and the mapping, with its pen no
    // wider than kDeviceNib pixels (a pen of width 0 one pixel wide).
    template <typename Call, void (*wmfFunctionReference::*Device)(wmfAPI*, Call*)>
    static void forward(wmfAPI* api, Call* call) {
        DeviceFixes& self = of(api);
        try {
            if (self.prepare()) self.withDevicePen(call->dc, [&] { (self.device_.*Device)(api, call); });
        } catch (...) {
            self.failed_ = true;
            api->err = wmf_E_InsMem;
        }
    }

    // The device's frame for the current mapping; false when the clip leaves nothing.
    bool prepare() {
        wmf_gd_t* device = WMF_GD_GetData(api_);
        device->bbox.TL.x = 0;
        device->bbox.TL.y = 0;
        device->bbox.BR.x = state_.frameRight();
        device->bbox.BR.y = state_.frameBottom();
        width_ = device->width;
        height_ = device->height;
        return bitmap(api_) && (!state_.clip() || !state_.clip()->isEmpty());
    }

    // The device's own drawing, with its clip rectangles those of the region.
    template <typename Draw>
    void toDevice(Draw draw) {
        if (deviceClipVersion_ != state_.clipVersion() || !deviceClipSet_) {
            std::vector<wmfD_Coord> corners;
            wmfPolyRectangle_t clip{};
            if (const qfip::PixelRegion* region = state_.clip()) {
                const std::vector<qfip::Rect> boxes = region->boxes();
                corners.reserve(2 * boxes.size());
                // The middle of each edge pixel: the device maps it back to that pixel.
                const double x = double(state_.frameRight()) / width_, y = double(state_.frameBottom()) / height_;
                for (const qfip::Rect& b : boxes) corners.push_back(wmfD_Coord{float((b.Left + 0.5) * x), float((b.Top + 0.5) * y)});
                for (const qfip::Rect& b : boxes) corners.push_back(wmfD_Coord{float((b.Right + 0.5) * x), float((b.Bottom + 0.5) * y)});
                clip.count = unsigned(boxes.size());
                clip.TL = corners.data();
                clip.BR = corners.data() + boxes.size();
            }
            device_.region_clip(api_, &clip);
            deviceClipVersion_ = state_.clipVersion();
            deviceClipSet_ = true;
        }
        draw();
    }

    GdCanvas canvas() const { return GdCanvas{bitmap(api_), state_.clip()}; }
    int64_t pixelX(double x) const { return state_.pixelX(x); }
    int64_t pixelY(double y) const { return state_.pixelY(y); }
    PixelPoint pixel(const wmfD_Coord& p) const { return PixelPoint{pixelX(p.x), pixelY(p.y)}; }

    // Every colour the device draws with is opaque: its pixels are written, not blended
    // with what is under them (which read every pixel back first).
    static void deviceBegin(wmfAPI* api) {
        of(api).device_.device_begin(api);
        if (gdImage* image = bitmap(api)) image->alphaBlendingFlag = 0;
    }

    // The player's clip is not the picture's: the region followed beside it is.
    static void regionClip(wmfAPI*, wmfPolyRectangle_t*) {}

    static bool cosmetic(const wmfPen* pen) {
        return (pen->lopnStyle & 0x0F00) == wmf::kCosmeticPenMark || (WMF_PEN_WIDTH(pen) == 1 && WMF_PEN_HEIGHT(pen) == 1);
    }
    enum class PenKind { None, Thin, Wide };
    // A pen one pixel wide (GDI rounds a pen's width in pixels to the nearest: the device
    // rounded up, which made libwmf's default pen, one point, two pixels wide at 96 dpi
    // where GDI's is one), no pen, or a wider one. A pen of width 0 (marked by the input)
    // and the player's default pen (one point by one, GDI's BLACK_PEN of width 0) are one
    // pixel whatever the mapping.
    PenKind penKind(const wmfDC* dc) const {
        const wmfPen* pen = WMF_DC_PEN(dc);
        if (!pen) return PenKind::Wide;
        if (WMF_PEN_STYLE(pen) == PS_NULL) return PenKind::None;
        if (cosmetic(pen)) return PenKind::Thin;
        const double wide = WMF_PEN_WIDTH(pen) * width_ / double(state_.frameRight());
        const double high = WMF_PEN_HEIGHT(pen) * height_ / double(state_.frameBottom());
        return std::fabs(wide) < 1.5 && std::fabs(high) < 1.5 ? PenKind::Thin : PenKind::Wide;
    }
    static PixelPaint penPaint(const wmfDC* dc) { return PixelPaint{rgbOf(WMF_PEN_COLOR(WMF_DC_PEN(dc))), WMF_DC_ROP(dc)}; }
    static LineStyle lineStyle(const wmfDC* dc) {
        return LineStyle{cosmeticDashes(WMF_PEN_STYLE(WMF_DC_PEN(dc))), 0, WMF_DC_OPAQUE(dc), rgbOf(WMF_DC_BACKGROUND(dc))};
    }
    // A brush drawn here (solid, hatched, none); a pattern brush is the device's.
    static bool ownBrush(const wmfDC* dc) {
        const wmfBrush* brush = WMF_DC_BRUSH(dc);
        return brush && (WMF_BRUSH_STYLE(brush) == BS_SOLID || WMF_BRUSH_STYLE(brush) == BS_NULL ||
                         (WMF_BRUSH_STYLE(brush) == BS_HATCHED && hatchPattern(WMF_BRUSH_HATCH(brush))));
    }
    static bool fills(const wmfDC* dc) { return WMF_BRUSH_STYLE(WMF_DC_BRUSH(dc)) != BS_NULL; }
    static PixelPaint brushPaint(const wmfDC* dc) {
        const wmfBrush* brush = WMF_DC_BRUSH(dc);
        PixelPaint paint{rgbOf(WMF_BRUSH_COLOR(brush)), WMF_DC_ROP(dc)};
        if (WMF_BRUSH_STYLE(brush) == BS_HATCHED) {
            paint.hatch = hatchPattern(WMF_BRUSH_HATCH(brush));
            paint.opaqueGaps = WMF_DC_OPAQUE(dc);
            paint.background = rgbOf(WMF_DC_BACKGROUND(dc));
        }
        return paint;
    }

    // Thin lines through the points, one after the other (closed back to the first for a
    // ring); dashes run on from one line to the next.
    void thinLines(const wmfDC* dc, const wmfD_Coord* points, size_t count, bool closed) {
        if (count == 0) return;
        const PixelPaint paint = penPaint(dc);
        LineStyle style = lineStyle(dc);
        const bool lastPixel = rop::binaryIdempotent(paint.rop2);
        const size_t lines = closed ? count : count - 1;
        for (size_t i = 0; i < lines; ++i) {
            const PixelPoint a = pixel(points[i]), b = pixel(points[(i + 1) % count]);
            drawPixelLine(canvas(), a.x, a.y, b.x, b.y, paint, &style, lastPixel);
        }
    }

    // A wide pen's nib in pixels, as the device sized it (rounded up).
    std::pair<int64_t, int64_t> nibOf(const wmfDC* dc) const {
        const wmfPen* pen = WMF_DC_PEN(dc);
        const auto pixels = [](double v) {
            return std::isfinite(v) ? int64_t(std::clamp(std::ceil(std::fabs(v) - 1e-6), 1.0, 1099511627776.0)) : 1;
        };
        return {pixels(WMF_PEN_WIDTH(pen) * width_ / double(state_.frameRight())),
                pixels(WMF_PEN_HEIGHT(pen) * height_ / double(state_.frameBottom()))};
    }
    // A wide solid pen is swept here (the device stamped its nib at every pixel of the
    // line, a cost of the nib's area for each: hours for a pen as wide as the picture); a
    // wide dashed one is the device's.
    static bool sweptHere(const wmfDC* dc) {
        const unsigned style = WMF_PEN_STYLE(WMF_DC_PEN(dc));
        return style == PS_SOLID || style == PS_INSIDEFRAME || style > PS_ALTERNATE;
    }
    void wideLines(const wmfDC* dc, const std::vector<PixelPoint>& points, bool closed) {
        const auto [wide, high] = nibOf(dc);
        strokeWithNib(canvas(), points, closed, wide, high, penPaint(dc));
    }
    std::vector<PixelPoint> pixels(const wmfD_Coord* points, size_t count) const {
        std::vector<PixelPoint> out;
        out.reserve(count);
        for (size_t i = 0; i < count; ++i) out.push_back(pixel(points[i]));
        return out;
    }
    // The device's drawing with a wide pen no wider than kDeviceNib pixels.
    static constexpr double kDeviceNib = 64;
    template <typename Draw>
    void withDevicePen(wmfDC* dc, Draw draw) {
        wmfPen* pen = dc ? WMF_DC_PEN(dc) : nullptr;
        if (!pen) return toDevice(draw);
        const double width = pen->width, height = pen->height;
        if (cosmetic(pen)) {
            pen->width = 0.999 * state_.frameRight() / width_;
            pen->height = 0.999 * state_.frameBottom() / height_;
        } else {
            pen->width = std::min(std::fabs(width), kDeviceNib * state_.frameRight() / width_);
            pen->height = std::min(std::fabs(height), kDeviceNib * state_.frameBottom() / height_);
        }
        toDevice(draw);
        pen->width = width;
        pen->height = height;
    }

    void drawLine(wmfDrawLine_t* line) {
        const PenKind pen = penKind(line->dc);
        if (pen == PenKind::Wide && sweptHere(line->dc)) return wideLines(line->dc, {pixel(line->from), pixel(line->to)}, false);
        if (pen == PenKind::Wide) return withDevicePen(line->dc, [&] { device_.draw_line(api_, line); });
        if (pen == PenKind::Thin) {
            const wmfD_Coord points[2] = {line->from, line->to};
            thinLines(line->dc, points, 2, false);
        }
    }

    void polyLine(wmfPolyLine_t* lines) {
        if (!lines->pt || lines->count < 2) return;
        const PenKind pen = penKind(lines->dc);
        if (pen == PenKind::Wide && sweptHere(lines->dc)) return wideLines(lines->dc, pixels(lines->pt, lines->count), false);
        if (pen == PenKind::Wide) return withDevicePen(lines->dc, [&] { device_.poly_line(api_, lines); });
        if (pen == PenKind::Thin) thinLines(lines->dc, lines->pt, lines->count, false);
    }

    // Rings filled under the device context's fill mode, then outlined.
    void polygons(wmfDC* dc, const std::vector<std::pair<wmfD_Coord*, U16>>& rings) {
        if (fills(dc)) {
            std::vector<std::vector<PixelPoint>> pixelRings;
            for (const auto& [points, count] : rings) {
                std::vector<PixelPoint>& ring = pixelRings.emplace_back();
                for (U16 i = 0; i < count; ++i) ring.push_back(pixel(points[i]));
            }
            fillPolygon(canvas(), pixelRings, WMF_DC_POLYFILL(dc) == WINDING ? FillRule::Winding : FillRule::Alternate, brushPaint(dc));
        }
        const PenKind pen = penKind(dc);
        if (pen == PenKind::Thin) {
            for (const auto& [points, count] : rings) thinLines(dc, points, count, true);
        } else if (pen == PenKind::Wide && sweptHere(dc)) {
            for (const auto& [points, count] : rings) wideLines(dc, pixels(points, count), true);
        } else if (pen == PenKind::Wide) {
            // The device draws the outline alone.
            wmfBrush* brush = WMF_DC_BRUSH(dc);
            const U16 style = brush->lbStyle;
            brush->lbStyle = BS_NULL;
            for (const auto& [points, count] : rings) {
                wmfPolyLine_t ring{dc, points, count};
                withDevicePen(dc, [&] { device_.draw_polygon(api_, &ring); });
            }
            brush->lbStyle = style;
        }
    }

    void drawPolygon(wmfPolyLine_t* polygon) {
        if (!polygon->pt || polygon->count < 2) return;
        if (!ownBrush(polygon->dc)) return withDevicePen(polygon->dc, [&] { device_.draw_polygon(api_, polygon); });
        polygons(polygon->dc, {{polygon->pt, polygon->count}});
    }

    void drawPolyPolygon(wmfPolyPoly_t* polygons) {
        if (!polygons->pt || !polygons->count) return;
        std::vector<std::pair<wmfD_Coord*, U16>> rings;
        for (U16 i = 0; i < polygons->npoly; ++i)
            if (polygons->pt[i] && polygons->count[i] >= 2) rings.emplace_back(polygons->pt[i], polygons->count[i]);
        if (ownBrush(polygons->dc)) return this->polygons(polygons->dc, rings);
        for (const auto& [points, count] : rings) {
            wmfPolyLine_t ring{polygons->dc, points, count};
            withDevicePen(polygons->dc, [&] { device_.draw_polygon(api_, &ring); });
        }
    }

    // A square-cornered rectangle as GDI draws it: the figure excludes its right and
    // bottom edges, a thin pen draws its outermost pixels, and without a pen the fill is
    // a pixel narrower and lower still.
    void drawRectangle(wmfDrawRectangle_t* rect) {
        if (rect->width != 0 || rect->height != 0 || !ownBrush(rect->dc))
            return withDevicePen(rect->dc, [&] { device_.draw_rectangle(api_, rect); });
        int64_t left = pixelX(rect->TL.x), right = pixelX(rect->BR.x);
        int64_t top = pixelY(rect->TL.y), bottom = pixelY(rect->BR.y);
        if (left > right) std::swap(left, right);
        if (top > bottom) std::swap(top, bottom);
        --right;
        --bottom;
        const PenKind pen = penKind(rect->dc);
        if (pen == PenKind::Thin) {
            const bool solid = WMF_PEN_STYLE(WMF_DC_PEN(rect->dc)) == PS_SOLID || cosmeticDashes(WMF_PEN_STYLE(WMF_DC_PEN(rect->dc))).empty();
            if (solid) {
                // Each pixel of the outline once (twice would undo an XOR).
                const PixelPaint paint = penPaint(rect->dc);
                fillPixels(canvas(), left, top, right, top, paint);
                if (bottom > top) fillPixels(canvas(), left, bottom, right, bottom, paint);
                fillPixels(canvas(), left, top + 1, left, bottom - 1, paint);
                if (right > left) fillPixels(canvas(), right, top + 1, right, bottom - 1, paint);
            } else {
                const PixelPaint paint = penPaint(rect->dc);
                LineStyle style = lineStyle(rect->dc);
                const bool lastPixel = rop::binaryIdempotent(paint.rop2);
                const PixelPoint ring[4] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
                for (int i = 0; i < 4; ++i)
                    drawPixelLine(canvas(), ring[i].x, ring[i].y, ring[(i + 1) % 4].x, ring[(i + 1) % 4].y, paint, &style, lastPixel);
            }
            ++left, ++top;
        }
        if (fills(rect->dc)) fillPixels(canvas(), left, top, right - 1, bottom - 1, brushPaint(rect->dc));
        if (pen == PenKind::Wide && sweptHere(rect->dc)) {
            // Through the corners as the device drew them (its right and bottom included).
            const PixelPoint a = pixel(rect->TL), b = pixel(rect->BR);
            return wideLines(rect->dc, {{a.x, a.y}, {b.x, a.y}, {b.x, b.y}, {a.x, b.y}}, true);
        }
        if (pen == PenKind::Wide) {
            wmfBrush* brush = WMF_DC_BRUSH(rect->dc);
            const U16 style = brush->lbStyle;
            brush->lbStyle = BS_NULL;
            withDevicePen(rect->dc, [&] { device_.draw_rectangle(api_, rect); });
            brush->lbStyle = style;
        }
    }

    // The brush (pattern) combined with what is below by a ternary raster operation
    // (PatBlt): pixels [left, right) x [top, bottom).
    void ropDraw(wmfROP_Draw_t* rop) {
        const uint8_t table = rop::ternaryTable(rop->ROP);
        const bool usesPattern = (table >> 4 & 0x0F) != (table & 0x0F);
        if (usesPattern && !ownBrush(rop->dc)) return toDevice([&] { device_.rop_draw(api_, rop); });
        if (usesPattern && !fills(rop->dc)) return;  // a null brush has no pattern
        int64_t left = pixelX(rop->TL.x), right = pixelX(rop->BR.x), top = pixelY(rop->TL.y), bottom = pixelY(rop->BR.y);
        if (left > right) std::swap(left, right);
        if (top > bottom) std::swap(top, bottom);
        const PixelPaint brush = brushPaint(rop->dc);
        changePixels(canvas(), left, top, right - 1, bottom - 1, [&](int64_t x, int64_t y, uint32_t below) {
            uint32_t pattern = brush.colour;
            if (brush.hatch && !(brush.hatch[y & 7] >> (7 - (x & 7)) & 1)) {
                if (!brush.opaqueGaps) return below;
                pattern = brush.background;
            }
            return rop::ternary(table, pattern, 0, below);
        });
    }

    // A bitmap stretched onto its rectangle as GDI's default stretch modes do it: each
    // pixel takes the source pixel under its centre (enlarged, pixels repeat; the device
    // smoothed them), combined with what is below by the record's raster operation.
    void bmpDraw(wmfBMP_Draw_t* draw) {
        wmfBMP& bmp = draw->bmp;
        if (!bmp.data || draw->crop.w == 0 || draw->crop.h == 0) return;
        if (unsigned(draw->crop.x) + draw->crop.w > bmp.width || unsigned(draw->crop.y) + draw->crop.h > bmp.height) return;
        const int64_t left = pixelX(draw->pt.x), top = pixelY(draw->pt.y);
        const int64_t right = pixelX(draw->pt.x + draw->crop.w * draw->pixel_width);
        const int64_t bottom = pixelY(draw->pt.y + draw->crop.h * draw->pixel_height);
        const int64_t wide = right - left, high = bottom - top;
        if (wide <= 0 || high <= 0) return;
        const uint8_t table = rop::ternaryTable(draw->type);
        const wmfBrush* brush = WMF_DC_BRUSH(draw->dc);
        const uint32_t pattern = brush && WMF_BRUSH_STYLE(brush) == BS_SOLID ? rgbOf(WMF_BRUSH_COLOR(brush)) : 0;
        // The source rows are bottom-up; one row of colours is kept while its rows are drawn.
        std::vector<uint32_t> row(draw->crop.w);
        int64_t rowRead = -1;
        changePixels(canvas(), left, top, right - 1, bottom - 1, [&](int64_t x, int64_t y, uint32_t below) {
            const int64_t fromTop = std::min<int64_t>(int64_t((Wide(y - top) * 2 + 1) * draw->crop.h / (2 * Wide(high))), draw->crop.h - 1);
            const int64_t sourceY = int64_t(draw->crop.y) + draw->crop.h - 1 - fromTop;
            if (sourceY != rowRead) {
                for (unsigned i = 0; i < draw->crop.w; ++i) {
                    wmfRGB rgb{};
                    wmf_ipa_bmp_color(api_, &bmp, &rgb, draw->crop.x + i, unsigned(sourceY));
                    row[i] = rgbOf(&rgb);
                }
                rowRead = sourceY;
            }
            const int64_t column = std::min<int64_t>(int64_t((Wide(x - left) * 2 + 1) * draw->crop.w / (2 * Wide(wide))), draw->crop.w - 1);
            return rop::ternary(table, pattern, row[size_t(column)], below);
        });
    }

    // Each rectangle of a region filled with the brush (FillRgn, PaintRgn; InvertRgn
    // comes with R2_NOT).
    void regionPaint(wmfPolyRectangle_t* rects) {
        if (!ownBrush(rects->dc)) return toDevice([&] { device_.region_paint(api_, rects); });
        if (!fills(rects->dc) || !rects->TL || !rects->BR) return;
        const PixelPaint paint = brushPaint(rects->dc);
        for (unsigned i = 0; i < rects->count; ++i) {
            int64_t left = pixelX(rects->TL[i].x), right = pixelX(rects->BR[i].x);
            int64_t top = pixelY(rects->TL[i].y), bottom = pixelY(rects->BR[i].y);
            if (left > right) std::swap(left, right);
            if (top > bottom) std::swap(top, bottom);
            fillPixels(canvas(), left, top, right - 1, bottom - 1, paint);
        }
    }

    // Text: the whole record at its first call (the player calls once for each byte of
    // a record with advances), laid out as GDI does from the record itself.
    void drawText(wmfDrawText_t* text) {
        const size_t record = state_.currentRecord();
        if (record == textRecordDrawn_) return;
        textRecordDrawn_ = record;
        const std::optional<wmf::Record> r = wmf::recordAt(input_.file(), record, input_.largestWords());
        const std::optional<wmf::TextRecord> parsed = r ? wmf::textRecord(*r) : std::nullopt;
        const wmfFont* font = WMF_DC_FONT(text->dc);
        if (!parsed || !font || parsed->bytes.empty()) return;
        const uint8_t charset = uint8_t(WMF_FONT_CHARSET(font));
        const uint16_t align = WMF_DC_TEXTALIGN(text->dc);

        WmfTextStyle style;
        style.face = WMF_FONT_FTFACE(font);
        style.symbolCodes = charset == kSymbolCharset;
        style.height = std::fabs(text->font_height) * height_ / double(state_.frameBottom());
        style.widthRatio = WMF_FONT_HEIGHT(font) ? double(WMF_FONT_WIDTH(font)) / WMF_FONT_HEIGHT(font) : 1;
        style.widthRatio *= (double(width_) / state_.frameRight()) / (double(height_) / state_.frameBottom());
        style.escapement = WMF_TEXT_ANGLE(font);
        style.colour = rgbOf(WMF_DC_TEXTCOLOR(text->dc));
        style.align = align;
        style.opaque = WMF_DC_OPAQUE(text->dc);
        style.background = rgbOf(WMF_DC_BACKGROUND(text->dc));

        WmfTextRun run;
        run.characters = parsed->advances.empty() ? characters(parsed->bytes, charset) : decodeAnsiCharacters(parsed->bytes, charset);
        const bool updateCp = align & TA_UPDATECP;
        const double logicalX = updateCp ? state_.currentX() : parsed->x, logicalY = updateCp ? state_.currentY() : parsed->y;
        run.x = devicePixelX(state_.deviceX(logicalX));
        run.y = devicePixelY(state_.deviceY(logicalY));
        const double perUnit = std::fabs(devicePixelX(state_.deviceX(1)) - devicePixelX(state_.deviceX(0)));
        for (const int16_t advance : parsed->advances) run.byteAdvances.push_back(advance * perUnit);
        if (parsed->rect) {
            const auto& q = *parsed->rect;
            int64_t left = pixelX(state_.deviceX(q[0])), right = pixelX(state_.deviceX(q[2]));
            int64_t top = pixelY(state_.deviceY(q[1])), bottom = pixelY(state_.deviceY(q[3]));
            if (left > right) std::swap(left, right);
            if (top > bottom) std::swap(top, bottom);
            const qfip::Rect box{qfip::clamp32(left), qfip::clamp32(top), qfip::clamp32(right), qfip::clamp32(bottom)};
            if (parsed->options & wmf::kEtoOpaque) run.opaqueBox = box;
            if (parsed->options & wmf::kEtoClipped) run.clipBox = box;
        }
        const double advance = paintWmfText(canvas(), style, run);
        if (updateCp && perUnit > 0) {
            // The current position moves past the text (back for right-aligned text).
            const double units = advance / perUnit * (state_.deviceX(1) > state_.deviceX(0) ? 1 : -1);
            const unsigned horizontal = align & TA_CENTER;
            const int moved = horizontal == TA_CENTER ? 0 : horizontal == TA_RIGHT ? -int(std::lround(units)) : int(std::lround(units));
            state_.moveTo(int32_t(std::clamp<int64_t>(int64_t(state_.currentX()) + moved, INT32_MIN, INT32_MAX)), state_.currentY());
        }
    }
    static std::vector<AnsiCharacter> characters(std::string_view bytes, uint8_t charset) {
        // The record's text decoded as a whole, each character at its index.
        const std::u32string decoded = decodeAnsiText(bytes, charset);
        std::vector<AnsiCharacter> out;
        out.reserve(decoded.size());
        for (size_t i = 0; i < decoded.size(); ++i) out.push_back({decoded[i], i});
        return out;
    }
    // A device coordinate in pixels, not rounded.
    double devicePixelX(double x) const { return x / double(state_.frameRight()) * width_; }
    double devicePixelY(double y) const { return y / double(state_.frameBottom()) * height_; }

    using Wide = __int128;

    wmfAPI* api_;
    WmfPlayerInput& input_;
    WmfPlaybackState& state_;
    wmfFunctionReference device_{};
    unsigned width_ = 1, height_ = 1;
    uint64_t deviceClipVersion_ = 0;
    bool deviceClipSet_ = false;
    size_t textRecordDrawn_ = SIZE_MAX;
    bool failed_ = false;
};

}  // namespace

QImage drawWithBitmapDevice(std::span<const uint8_t> bytes, const qfip::PlaceableMetafileHeader& header, QSize size) {
    auto session = std::make_unique<Session>();
    wmfAPI* api = session->api();
    if (!api) notValid();
    WmfPlayerInput input(bytes, header.recordsAt, prologue(header));
    if (wmf_bbuf_input(api, &WmfPlayerInput::read, &WmfPlayerInput::seek, &WmfPlayerInput::tell, &input) != wmf_E_None)
        notValid();
    wmfD_Rect scanned;
    if (wmf_scan(api, 0, &scanned) != wmf_E_None) notValid();

    // libwmf plays in points measured from the window origin; the device is given the
    // header's box in points (scaled by the window's extent as the records set it).
    WmfPlaybackState state(bytes, header, size.width(), size.height(), true);
    wmfD_Rect frame;
    frame.TL.x = 0;
    frame.TL.y = 0;
    frame.BR.x = state.frameRight();
    frame.BR.y = state.frameBottom();

    wmf_gd_t* device = WMF_GD_GetData(api);
    device->type = wmf_gd_image;
    device->bbox = frame;
    device->width = unsigned(size.width());
    device->height = unsigned(size.height());
    {
        DeviceFixes fixes(api, input, state);
        if (wmf_play(api, 0, &frame) != wmf_E_None || fixes.failed()) notValid();
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
