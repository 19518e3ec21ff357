#include "ui/DevicePixels.h"

#include <QPainter>
#include <QTransform>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace {

// A position on a whole device pixel comes back from the division by a fractional ratio
// a hair short of it (20 / 1.5 * 1.5 = 19.999...); this much is still read as that pixel.
constexpr double kSlack = 1.0 / 1024;

int firstWholePixel(double device) { return int(std::ceil(device - kSlack)); }
int pixelUnder(double device) { return int(std::floor(device + kSlack)); }

// A widget whose origin may fall between device pixels starts its picture up to one
// device pixel later; only an integral ratio puts every origin on a whole pixel.
int spareDevicePixel(double ratio) { return std::abs(ratio - std::round(ratio)) < 1e-9 ? 0 : 1; }

int clampedInt(double value) { return int(std::clamp(value, -1e9, 1e9)); }

}  // namespace

DevicePixels::DevicePixels(double ratio, QPointF widgetOrigin)
    : ratio_(ratio > 0 ? ratio : 1.0),
      widgetOrigin_(widgetOrigin),
      origin_(firstWholePixel(widgetOrigin.x() * ratio_), firstWholePixel(widgetOrigin.y() * ratio_)) {}

DevicePixels DevicePixels::of(const QWidget& pane) {
    return DevicePixels(pane.devicePixelRatioF(), QPointF(pane.mapTo(pane.window(), QPoint(0, 0))));
}

QPoint DevicePixels::pictureAt(QPointF windowPosition) const {
    return QPoint(pixelUnder(windowPosition.x() * ratio_), pixelUnder(windowPosition.y() * ratio_)) - origin_;
}

QSize DevicePixels::paneSize(QSize pictureSize) const {
    // Qt gives a pointer event to the widget under its position rounded to logical pixels:
    // at other scales than 1 the pane reaches half a logical pixel past the picture's last
    // device pixel, so that pixel can be pointed at too.
    const int rounding = std::abs(ratio_ - 1.0) < 1e-9 ? 0 : 1;
    auto side = [this, rounding](int pixels) {
        return pixels <= 0 ? 0 : int(std::ceil((pixels + spareDevicePixel(ratio_)) / ratio_ - kSlack)) + rounding;
    };
    return {side(pictureSize.width()), side(pictureSize.height())};
}

QSize DevicePixels::pictureSize(QSize paneSize) const {
    const QPointF end = (widgetOrigin_ + QPointF(paneSize.width(), paneSize.height())) * ratio_;
    return {std::max(0, pixelUnder(end.x()) - origin_.x()), std::max(0, pixelUnder(end.y()) - origin_.y())};
}

QRect DevicePixels::paneArea(const qfip::Rect& pictureRect) const {
    if (pictureRect.isEmpty()) return {};
    // One logical pixel more on every side: Qt rounds a repainted area to device pixels.
    const double left = (origin_.x() + double(pictureRect.Left)) / ratio_ - widgetOrigin_.x() - 1;
    const double top = (origin_.y() + double(pictureRect.Top)) / ratio_ - widgetOrigin_.y() - 1;
    const double right = (origin_.x() + double(pictureRect.Right)) / ratio_ - widgetOrigin_.x() + 1;
    const double bottom = (origin_.y() + double(pictureRect.Bottom)) / ratio_ - widgetOrigin_.y() + 1;
    return QRect(QPoint(clampedInt(std::floor(left)), clampedInt(std::floor(top))),
                 QPoint(clampedInt(std::ceil(right)) - 1, clampedInt(std::ceil(bottom)) - 1));
}

QTransform DevicePixels::paintInPicturePixels(QPainter& painter) {
    // The painter maps the pane's logical coordinates to the device (scale and offset);
    // picture pixel (0, 0) goes to the first whole device pixel of the pane, one to one.
    const QTransform device = painter.deviceTransform();
    const QPointF corner = device.map(QPointF(0, 0));
    const QTransform toDevice = QTransform::fromTranslate(firstWholePixel(corner.x()), firstWholePixel(corner.y()));
    painter.setWorldTransform(toDevice * device.inverted());
    return device * toDevice.inverted();
}

QRect DevicePixels::paintInDevicePixels(QPainter& painter, const QRectF& logical) {
    const QTransform device = painter.deviceTransform();
    const QRectF area = device.mapRect(logical);
    const int left = firstWholePixel(area.left()), top = firstWholePixel(area.top());
    const int right = std::max(left + 1, pixelUnder(area.right())), bottom = std::max(top + 1, pixelUnder(area.bottom()));
    painter.setWorldTransform(device.inverted());
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}
