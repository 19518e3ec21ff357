#include "ui/PictureImage.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWindow>
#include <cmath>
#include <vector>

#include "ui/DevicePixels.h"
#include "ui/PictureRendering.h"

PictureImage::PictureImage(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
}

QSize PictureImage::pictureSize() const {
    if (!shown_.hasPicture()) return {};
    if (!shown_.picture()->hasRaster()) return drawn_.size();
    const qfip::Raster& raster = shown_.picture()->raster();
    return {raster.width(), raster.height()};
}

// The pane takes exactly the picture's size in device pixels (and, at a fractional scale,
// the one device pixel its origin may need); an empty picture leaves its size alone.
void PictureImage::fitToPicture() {
    fittedRatio_ = devicePixelRatioF();
    const QSize size = pictureSize();
    if (size.width() > 0 && size.height() > 0) resize(DevicePixels::of(*this).paneSize(size));
}

void PictureImage::setPicture(qfip::Picture picture, QImage image) {
    const bool bitmap = picture.hasRaster();
    shown_.setPicture(std::move(picture));
    // A bitmap is composed from its raster at paint time; only icons and metafiles keep
    // their rendering.
    drawn_ = bitmap ? QImage() : std::move(image);
    fitToPicture();
    update();
}

const qfip::Raster& PictureImage::workingRaster() {
    const bool wasEmpty = !shown_.hasPicture();
    const QSize blank = DevicePixels::of(*this).pictureSize(size());
    const qfip::Raster& raster = shown_.workingRaster(blank.width(), blank.height());
    if (wasEmpty) update();
    return raster;
}

void PictureImage::toggleOutline(const qfip::Rect& rect) {
    workingRaster();  // an empty pane becomes a white picture first
    repaintAreas(shown_.toggleOutline(rect));
}

qfip::PointerMove PictureImage::movePointer(qfip::PointerWindow& pointer, int x, int y, int32_t halfWidth,
                                            int32_t halfHeight) {
    if (!shown_.hasPicture()) workingRaster();
    qfip::PointerMove move = qfip::movePointer(pointer, shown_, x, y, halfWidth, halfHeight);
    repaintAreas(move.repaint);
    return move;
}

void PictureImage::repaintAreas(const std::vector<qfip::Rect>& areas) {
    const DevicePixels grid = DevicePixels::of(*this);
    for (const qfip::Rect& a : areas) update(grid.paneArea(a));
}

void PictureImage::paintEvent(QPaintEvent* event) {
    // Moved to a screen of another scale: the pane takes the picture's new logical size.
    if (devicePixelRatioF() != fittedRatio_) QMetaObject::invokeMethod(this, &PictureImage::fitToPicture, Qt::QueuedConnection);
    if (!shown_.hasPicture()) return;
    QPainter painter(this);
    // From here on, coordinates are picture pixels, one per device pixel.
    const QTransform toPicture = DevicePixels::paintInPicturePixels(painter);
    if (!shown_.picture()->hasRaster()) {
        painter.drawImage(QPoint(0, 0), drawn_);
        return;
    }
    // The picture's own pixels straight from the raster (no copy), then only the strips
    // of the outlines composed over them: a pointer movement repaints two thin rings, a
    // full repaint costs a copy of what is visible.
    const qfip::Raster& raster = shown_.picture()->raster();
    const QImage picture = imageOfRaster(raster);
    QRegion region;
    for (const QRect& r : event->region()) region += toPicture.mapRect(QRectF(r)).toAlignedRect();
    region &= QRect(0, 0, raster.width(), raster.height());
    for (const QRect& r : region) painter.drawImage(r.topLeft(), picture, r);
    std::vector<uint32_t> strip;
    for (const qfip::Rect& outline : shown_.outlines()) {
        for (const qfip::Rect& s : qfip::outlineRepaintAreas(outline, raster.width(), raster.height())) {
            for (const QRect& r : region.intersected(QRect(s.Left, s.Top, int(s.width()), int(s.height())))) {
                const qfip::Rect area{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
                strip.resize(size_t(r.width()) * size_t(r.height()));
                const qfip::Rect done = shown_.compose(area, strip.data(), size_t(r.width()));
                if (done.isEmpty()) continue;
                const QImage part(reinterpret_cast<const uchar*>(strip.data()), int(done.width()),
                                  int(done.height()), qsizetype(r.width()) * 4, QImage::Format_RGB32);
                painter.drawImage(QPoint(done.Left, done.Top), part);
            }
        }
    }
}

// The picture pixel under the pointer's hot spot. Qt rounds a widget event's own position
// to logical pixels; the position in the window keeps the screen's precision. Qt leaves
// that out of the first movement into a widget, where the global position keeps it, and
// an event sent straight to the pane has neither: then its own position serves.
QPoint PictureImage::pointerPixel(const QMouseEvent& event) const {
    const QPointF rounded = event.position() + QPointF(mapTo(window(), QPoint(0, 0)));
    auto near = [&rounded](QPointF p) { return std::abs(p.x() - rounded.x()) <= 1 && std::abs(p.y() - rounded.y()) <= 1; };
    QPointF inWindow = rounded;
    if (near(event.scenePosition())) {
        inWindow = event.scenePosition();
    } else if (const QWindow* handle = window()->windowHandle(); handle && near(handle->mapFromGlobal(event.globalPosition()))) {
        inWindow = handle->mapFromGlobal(event.globalPosition());
    }
    return DevicePixels::of(*this).pictureAt(inWindow);
}

void PictureImage::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = pointerPixel(*event);
    // After a left press the pane keeps the pointer and reports positions outside it too;
    // other buttons don't keep it, so their drags outside the picture are not reported.
    if (!(event->buttons() & Qt::LeftButton)) leftHeld_ = false;
    const QSize shown = shown_.hasPicture() ? pictureSize() : DevicePixels::of(*this).pictureSize(size());
    if (!leftHeld_ && !QRect(QPoint(0, 0), shown).contains(p)) return;
    emit pointerMoved(p.x(), p.y());
}

void PictureImage::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) leftHeld_ = true;
    const QPoint p = pointerPixel(*event);
    emit pressed(event->button(), p.x(), p.y());
}

// A double click is the second press of two: it measures again.
void PictureImage::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }
