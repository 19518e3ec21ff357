// GLib's headers first: Qt's keyword macros (signals) break them.
#include <cairo.h>
#include <gio/gio.h>
#include <librsvg/rsvg.h>

#include "render/SvgRendering.h"

#include <memory>

#include "render/SelfContainedSvg.h"

namespace {

struct GObjectRelease {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct SurfaceRelease {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextRelease {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
};

// A handle on the document in memory (not copied): no base file, the parser's limits on.
std::unique_ptr<RsvgHandle, GObjectRelease> documentHandle(const QByteArray& svg) {
    std::unique_ptr<GInputStream, GObjectRelease> stream(
        g_memory_input_stream_new_from_data(svg.constData(), svg.size(), nullptr));
    GError* error = nullptr;
    RsvgHandle* handle =
        rsvg_handle_new_from_stream_sync(stream.get(), nullptr, RSVG_HANDLE_FLAGS_NONE, nullptr, &error);
    if (error) g_error_free(error);
    return std::unique_ptr<RsvgHandle, GObjectRelease>(handle);
}

}  // namespace

QImage renderSvg(const QByteArray& svg, QSize size) {
#ifdef QFIP_WITHOUT_MARKUP_CHECK
    // Only in the tests' helper that shows what the file confinement holds on its own.
    return renderSvgDocument(svg, size);
#else
    return renderSvgDocument(selfContainedSvg(svg), size);
#endif
}

QImage renderSvgDocument(const QByteArray& document, QSize size) {
    if (document.isEmpty()) return QImage();
    const auto handle = documentHandle(document);
    if (!handle) return QImage();
    rsvg_handle_set_dpi(handle.get(), 96);

    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) return QImage();
    image.fill(Qt::white);
    // Opaque white premultiplied ARGB is the same word as Qt's RGB32 white, and drawing
    // over it keeps every pixel opaque: the image stays valid RGB32.
    const std::unique_ptr<cairo_surface_t, SurfaceRelease> surface(cairo_image_surface_create_for_data(
        image.bits(), CAIRO_FORMAT_ARGB32, size.width(), size.height(), int(image.bytesPerLine())));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return QImage();
    const std::unique_ptr<cairo_t, ContextRelease> context(cairo_create(surface.get()));
    // The document's own size stretched to the picture's, as the metafile's frame says.
    gdouble width = 0, height = 0;
    if (!rsvg_handle_get_intrinsic_size_in_pixels(handle.get(), &width, &height) || width <= 0 || height <= 0) {
        width = size.width();
        height = size.height();
    }
    cairo_scale(context.get(), size.width() / width, size.height() / height);
    const RsvgRectangle viewport{0, 0, width, height};
    GError* error = nullptr;
    const bool drawn = rsvg_handle_render_document(handle.get(), context.get(), &viewport, &error);
    if (error) g_error_free(error);
    cairo_surface_flush(surface.get());
    return drawn ? image : QImage();
}

void prepareSvgRendering() {
    // An embedded PNG makes gdk-pixbuf read its list of loaders (PNG and JPEG are built in).
    static const char kOnePixel[] =
        "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' width='1' height='1'>"
        "<image width='1' height='1' xlink:href='data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1Pe"
        "AAAADElEQVR4nGP4z8AAAAMBAQDJ/pLvAAAAAElFTkSuQmCC'/></svg>";
    renderSvg(QByteArray::fromRawData(kOnePixel, sizeof kOnePixel - 1), QSize(1, 1));
}
