#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QTransform>

#include "common/Rect.h"

class QPainter;
class QWidget;

// Where a pane's picture lies on its window's device pixels, so that one picture pixel is
// one screen pixel at any scale. Qt places widgets at logical coordinates; at a fractional
// scale a widget's origin can fall between two device pixels, so the picture starts at
// the first whole device pixel inside the widget. Positions are in the top-level window:
// logical (as Qt reports them) or device (as the screen has them).
class DevicePixels {
public:
    // `ratio`: device pixels per logical pixel; `widgetOrigin`: the pane's top-left corner
    // in its window's logical coordinates.
    DevicePixels(double ratio, QPointF widgetOrigin);
    // The pane as it lies in its window now.
    static DevicePixels of(const QWidget& pane);

    double ratio() const { return ratio_; }
    // The window device pixel that shows picture pixel (0, 0).
    QPoint pictureOrigin() const { return origin_; }

    // The picture pixel shown at a window device pixel, or under a logical window position
    // (the pixel whose area holds the hot spot).
    QPoint pictureAt(QPoint windowDevicePixel) const { return windowDevicePixel - origin_; }
    QPoint pictureAt(QPointF windowPosition) const;

    // The pane's logical size that shows a whole picture of this size, and takes the pointer
    // over each of its pixels, wherever the pane's origin falls between device pixels.
    QSize paneSize(QSize pictureSize) const;
    // The picture pixels that a pane of this logical size shows whole.
    QSize pictureSize(QSize paneSize) const;
    // The pane's logical rectangle that covers these picture pixels (for repaints).
    QRect paneArea(const qfip::Rect& pictureRect) const;

    // Makes the painter draw in picture pixels onto device pixels, one to one, whatever
    // the paint device (window, grab, backing store). Returns the map from the pane's
    // logical coordinates to picture pixels.
    static QTransform paintInPicturePixels(QPainter& painter);
    // Makes the painter draw in the device's own pixels and returns the whole device pixels
    // that a logical rectangle of the paint device covers, at least one in each direction,
    // so that a line one logical pixel thin is never lost between device pixels.
    static QRect paintInDevicePixels(QPainter& painter, const QRectF& logical);

private:
    double ratio_;
    QPointF widgetOrigin_;  // logical, in the window
    QPoint origin_;         // device, in the window
};
