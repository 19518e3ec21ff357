#include "ui/PicturePane.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <vector>

#include "ui/PictureRendering.h"

PictureImage::PictureImage(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
}

void PictureImage::showImage(QImage image) {
    if (image.width() > 0 && image.height() > 0) resize(image.size());
    drawn_ = std::move(image);
}

void PictureImage::setPicture(qfip::Picture picture, QImage image) {
    const bool bitmap = picture.hasRaster();
    shown_.setPicture(std::move(picture));
    // A bitmap is composed from its raster at paint time; only icons and metafiles keep
    // their rendering.
    if (bitmap) {
        const qfip::Raster& raster = shown_.picture()->raster();
        if (raster.width() > 0 && raster.height() > 0) resize(raster.width(), raster.height());
        drawn_ = QImage();
    } else {
        showImage(std::move(image));
    }
    update();
}

const qfip::Raster& PictureImage::workingRaster() {
    const bool wasEmpty = !shown_.hasPicture();
    const qfip::Raster& raster = shown_.workingRaster(width(), height());
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
    for (const qfip::Rect& a : areas) update(QRect(a.Left, a.Top, int(a.width()), int(a.height())));
}

void PictureImage::paintEvent(QPaintEvent* event) {
    if (!shown_.hasPicture()) return;
    QPainter painter(this);
    if (!shown_.picture()->hasRaster()) {
        painter.drawImage(rect(), drawn_);
        return;
    }
    // The picture's own pixels straight from the raster (no copy), then only the strips
    // of the outlines composed over them: a pointer movement repaints two thin rings, a
    // full repaint costs a copy of what is visible.
    const qfip::Raster& raster = shown_.picture()->raster();
    const QImage picture = imageOfRaster(raster);
    const QRegion region = event->region() & QRect(0, 0, raster.width(), raster.height());
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

void PictureImage::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    // After a left press the pane keeps the pointer and reports positions outside it too;
    // other buttons don't keep it, so their drags outside the pane are not reported.
    if (!(event->buttons() & Qt::LeftButton)) leftHeld_ = false;
    if (!leftHeld_ && !rect().contains(p)) return;
    emit pointerMoved(p.x(), p.y());
}

void PictureImage::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) leftHeld_ = true;
    const QPoint p = event->position().toPoint();
    emit pressed(event->button(), p.x(), p.y());
}

// A double click is the second press of two: it measures again.
void PictureImage::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

SampleImage::SampleImage(QWidget* parent) : QWidget(parent) { setCursor(Qt::CrossCursor); }

void SampleImage::showSample(std::shared_ptr<const qfip::Raster> raster) {
    sample_ = std::move(raster);
    image_ = imageOfRaster(sample_);
    resize(sample_ ? sample_->width() : 0, sample_ ? sample_->height() : 0);
    update();
}

void SampleImage::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), image_);
}
