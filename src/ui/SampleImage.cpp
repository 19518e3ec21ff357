#include "ui/SampleImage.h"

#include <QPainter>

#include "ui/DevicePixels.h"
#include "ui/PictureRendering.h"

SampleImage::SampleImage(QWidget* parent) : QWidget(parent) { setCursor(Qt::CrossCursor); }

void SampleImage::showSample(std::shared_ptr<const qfip::Raster> raster) {
    sample_ = std::move(raster);
    image_ = imageOfRaster(sample_);
    resize(DevicePixels::of(*this).paneSize(image_.size()));
    update();
}

void SampleImage::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    QPainter painter(this);
    DevicePixels::paintInPicturePixels(painter);
    painter.drawImage(QPoint(0, 0), image_);
}
