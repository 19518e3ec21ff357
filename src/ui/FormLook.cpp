#include "ui/FormLook.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>
#include <cmath>

static void initResources() { Q_INIT_RESOURCE(uMain); }

QString applicationTitle() { return QStringLiteral("Quendral Fast Image Processor 1.02"); }

QFont designFont() {
    // Faces with the narrow metrics of MS Sans Serif come first (Nimbus Sans is installed
    // with the URW fonts); any sans-serif face serves when none of them is there.
    QFont font;
    font.setFamilies({QStringLiteral("Nimbus Sans"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Helvetica"), QStringLiteral("Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

// MS Sans Serif 8 point is 11 pixels high (13 with its leading) on a screen of 96 dots
// per inch; the same point size on a denser screen gives proportionally more pixels.
// The face's own line spacing is not used: substitute faces differ in leading.
double textHeightRatio(const QFont& font) { return QFontInfo(font).pixelSize() / 11.0; }

namespace {

int scaled(int value, double ratio) {
    if (value <= 0 || value >= QWIDGETSIZE_MAX) return value;
    return int(std::lround(value * ratio));
}

QSize scaled(QSize size, double ratio) { return {scaled(size.width(), ratio), scaled(size.height(), ratio)}; }

void scaleWidget(QWidget* widget, double ratio, bool top) {
    widget->setMinimumSize(scaled(widget->minimumSize(), ratio));
    widget->setMaximumSize(scaled(widget->maximumSize(), ratio));
    const QRect g = widget->geometry();
    const QWidget* parent = widget->parentWidget();
    if (top) {
        widget->resize(scaled(g.size(), ratio));
    } else if (parent && !parent->layout() && !widget->isWindow()) {
        widget->setGeometry(scaled(g.x(), ratio), scaled(g.y(), ratio), scaled(g.width(), ratio),
                            scaled(g.height(), ratio));
    }
}

}  // namespace

void scaleForm(QWidget* form, double ratio) {
    if (std::abs(ratio - 1.0) < 1e-9) return;
    scaleWidget(form, ratio, true);
    for (QWidget* child : form->findChildren<QWidget*>()) {
        if (!child->isWindow()) scaleWidget(child, ratio, false);
    }
}

void centreOnScreen(QWidget* window) {
    const QWidget* parent = window->parentWidget();
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    // The client area's place, worked out in fractions and rounded once: at a scale other
    // than 1 the frame's sides are whole logical pixels only roughly (a one-pixel side at
    // scale 2 is half a logical pixel, taken as one), and such errors on opposite sides
    // cancel here rather than add up.
    const QRect frame = window->frameGeometry(), client = window->geometry();
    const int left = client.left() - frame.left(), right = frame.right() - client.right();
    const int top = client.top() - frame.top(), bottom = frame.bottom() - client.bottom();
    const QPointF centre = QRectF(screen->geometry()).center();
    const double x = centre.x() - client.width() / 2.0 + (left - right) / 2.0;
    const double y = centre.y() - client.height() / 2.0 + (top - bottom) / 2.0;
    window->move(int(std::lround(x)) - left, int(std::lround(y)) - top);  // a top-level window's position is its frame's
}

QPixmap programPixmap() {
    initResources();
    return QPixmap(QStringLiteral(":/icons/program.xpm"));
}

QIcon programIcon() { return QIcon(programPixmap()); }

void setBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}
