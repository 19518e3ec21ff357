#include "ui/FlatControls.h"

#include <QPainter>

#include "ui/DevicePixels.h"

SeparatorLine::SeparatorLine(QWidget* parent) : QWidget(parent) {}

void SeparatorLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect pixels = DevicePixels::paintInDevicePixels(painter, QRectF(rect()));
    painter.fillRect(pixels, palette().color(QPalette::WindowText));
}

FlatToolBar::FlatToolBar(QWidget* parent) : QToolBar(parent) {}

void FlatToolBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
}
