#include "ui/BevelPanel.h"

#include <QPainter>

namespace {

// One bevel ring: the top row and left column in one colour, the right column and bottom
// row (the corners they share with the others included) in the other.
void bevel(QPainter& painter, const QRect& ring, const QColor& topLeft, const QColor& bottomRight) {
    painter.fillRect(QRect(ring.left(), ring.top(), ring.width() - 1, 1), topLeft);
    painter.fillRect(QRect(ring.left(), ring.top(), 1, ring.height() - 1), topLeft);
    painter.fillRect(QRect(ring.right(), ring.top(), 1, ring.height()), bottomRight);
    painter.fillRect(QRect(ring.left(), ring.bottom(), ring.width(), 1), bottomRight);
}

}  // namespace

BevelPanel::BevelPanel(QWidget* parent) : QFrame(parent) { setContentsMargins(2, 2, 2, 2); }

void BevelPanel::paintEvent(QPaintEvent*) {
    if (width() < 4 || height() < 4) return;
    QPainter painter(this);
    const QColor shadow = palette().color(QPalette::Dark), highlight = palette().color(QPalette::Light);
    bevel(painter, rect(), shadow, highlight);                          // lowered outer
    bevel(painter, rect().adjusted(1, 1, -1, -1), highlight, shadow);  // raised inner
}
