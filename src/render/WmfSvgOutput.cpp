#include "render/WmfSvgOutput.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include <libwmf/macro.h>
#include <libwmf/svg.h>

namespace {

long rgbOf(const wmfRGB* colour) { return long(colour->r) << 16 | long(colour->g) << 8 | long(colour->b); }

#ifndef QFIP_WITHOUT_MARKUP_CHECK
// The text as XML character data: markup characters escaped, control characters (which
// XML 1.0 can't hold and nothing draws) left out, every other byte as it is.
std::string escapedText(const char* text) {
    std::string out;
    for (const char* c = text; *c; ++c) {
        switch (*c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            if (static_cast<unsigned char>(*c) >= 0x20 || *c == '\t' || *c == '\n' || *c == '\r') out += *c;
        }
    }
    return out;
}
#endif

// Writes `piece` with the first "<property>:<colour name>" in it given as the exact
// colour instead, when one is pending (which it then no longer is).
void replaceNamedColour(std::string& piece, std::string_view property, long& pending) {
    if (pending < 0) return;
    const size_t at = piece.find(property);
    if (at == std::string::npos) return;
    const size_t name = at + property.size();
    size_t end = name;
    while (end < piece.size() && piece[end] >= 'a' && piece[end] <= 'z') ++end;
    if (end == name || piece.compare(name, end - name, "none") == 0) return;
    char exact[8];
    std::snprintf(exact, sizeof exact, "#%06lx", pending & 0xFFFFFF);
    piece.replace(name, end - name, exact);
    pending = -1;
}

// libwmf's formatted writing (wmf_stream_printf) reads its arguments again when a piece
// outgrows its string buffer, without a copy of the argument list, and crashes: before a
// text is written the buffer is made large enough for it (as wmf_strbuf_grow would).
bool makeRoomFor(wmfAPI* api, size_t length) {
    const unsigned long needed = length + 64;
    if (api->string_buffer.length >= needed) return true;
    auto* more = static_cast<char*>(wmf_realloc(api, api->string_buffer.buffer, needed));
    if (api->err != wmf_E_None || !more) return false;
    api->string_buffer.buffer = more;
    api->string_buffer.length = needed;
    return true;
}

}  // namespace

// The stream's and the device's calls, each passed on to the device's own.
struct WmfSvgWrapping {
    static WmfSvgOutput& of(wmfAPI* api) { return *static_cast<WmfSvgOutput*>(api->user_data); }

    static int put(char* text, void* context) {
        WmfSvgOutput& out = *static_cast<WmfSvgOutput*>(context);
        if (out.failed_) return EOF;
        try {
            std::string piece(text);
            replaceNamedColour(piece, "fill:", out.fill_);
            replaceNamedColour(piece, "stroke:", out.stroke_);
            out.svg_.append(piece.data(), qsizetype(piece.size()));
        } catch (const std::bad_alloc&) {
            out.failed_ = true;
            return EOF;
        }
        return 0;
    }

    static int reset(void* context) {
        static_cast<WmfSvgOutput*>(context)->svg_.clear();
        return 0;
    }

    // The device's own call with the exact colours it draws with pending.
    template <typename Call, typename Arg>
    static void draw(wmfAPI* api, Call call, Arg* arg, long fill, long stroke) {
        WmfSvgOutput& out = of(api);
        out.fill_ = fill;
        out.stroke_ = stroke;
        (out.device_.*call)(api, arg);
        out.fill_ = -1;
        out.stroke_ = -1;
    }

    // Shapes fill with the brush and outline with the pen.
    template <auto call, typename Arg>
    static void shape(wmfAPI* api, Arg* arg) {
        const wmfDC* dc = arg->dc;
        const long fill = dc && WMF_DC_BRUSH(dc) ? rgbOf(WMF_BRUSH_COLOR(WMF_DC_BRUSH(dc))) : -1;
        const long stroke = dc && WMF_DC_PEN(dc) ? rgbOf(WMF_PEN_COLOR(WMF_DC_PEN(dc))) : -1;
        draw(api, call, arg, fill, stroke);
    }

    static void pixel(wmfAPI* api, wmfDrawPixel_t* drawPixel) {
        draw(api, &wmfFunctionReference::draw_pixel, drawPixel, rgbOf(&drawPixel->color), -1);
    }

    static void text(wmfAPI* api, wmfDrawText_t* drawText) {
        const long fill = drawText->dc ? rgbOf(WMF_DC_TEXTCOLOR(drawText->dc)) : -1;
        char* const original = drawText->str;
#ifndef QFIP_WITHOUT_MARKUP_CHECK
        std::string escaped;
        try {
            escaped = escapedText(original);
        } catch (const std::bad_alloc&) {
            of(api).failed_ = true;
            return;
        }
        drawText->str = escaped.data();
#endif
        if (makeRoomFor(api, std::strlen(drawText->str))) {
            draw(api, &wmfFunctionReference::draw_text, drawText, fill, -1);
        } else {
            of(api).failed_ = true;
        }
        drawText->str = original;
    }
};

WmfSvgOutput::WmfSvgOutput(wmfAPI* api) : api_(api) {
    stream_.context = this;
    stream_.sputs = &WmfSvgWrapping::put;
    stream_.reset = &WmfSvgWrapping::reset;
    api_->user_data = this;
    auto* calls = static_cast<wmfFunctionReference*>(api_->function_reference);
    device_ = *calls;
    using W = WmfSvgWrapping;
    using F = wmfFunctionReference;
    calls->draw_pixel = &W::pixel;
    calls->draw_pie = &W::shape<&F::draw_pie, wmfDrawArc_t>;
    calls->draw_chord = &W::shape<&F::draw_chord, wmfDrawArc_t>;
    calls->draw_arc = &W::shape<&F::draw_arc, wmfDrawArc_t>;
    calls->draw_ellipse = &W::shape<&F::draw_ellipse, wmfDrawArc_t>;
    calls->draw_line = &W::shape<&F::draw_line, wmfDrawLine_t>;
    calls->poly_line = &W::shape<&F::poly_line, wmfPolyLine_t>;
    calls->draw_polygon = &W::shape<&F::draw_polygon, wmfPolyLine_t>;
    calls->draw_polypolygon = &W::shape<&F::draw_polypolygon, wmfPolyPoly_t>;
    calls->draw_rectangle = &W::shape<&F::draw_rectangle, wmfDrawRectangle_t>;
    calls->region_frame = &W::shape<&F::region_frame, wmfPolyRectangle_t>;
    calls->region_paint = &W::shape<&F::region_paint, wmfPolyRectangle_t>;
    calls->draw_text = &W::text;
    WMF_SVG_GetData(api_)->out = &stream_;
}

WmfSvgOutput::~WmfSvgOutput() {
    *static_cast<wmfFunctionReference*>(api_->function_reference) = device_;
    WMF_SVG_GetData(api_)->out = nullptr;
    api_->user_data = nullptr;
}
