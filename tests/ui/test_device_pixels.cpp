// One picture pixel on one device pixel at the scale of the run (ctest runs this file with
// QT_SCALE_FACTOR 1, 1.25, 1.5 and 2): a 40 x 40 checkerboard lies one to one in the
// window's backing store, and the pointer at a device pixel names the picture pixel shown
// there, outlines the window around it there and measures that window. The results
// heading's two separators and the toolbar's flat ground at the same scales.
#include <QBackingStore>
#include <QCheckBox>
#include <QLineEdit>
#include <QToolBar>
#include <QWindow>
#include <QtTest/qtestmouse.h>

#include "support/MainFormTesting.h"

using namespace qfip::testing;

namespace {

// The picture's pixel; off the picture a window stays white.
QRgb shown(int x, int y) {
    const int v = x < 0 || y < 0 || x >= 40 || y >= 40 ? 255 : checkerLevel(x, y);
    return qRgb(v, v, v);
}

class DevicePixelTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        write("check.bmp", checkerboardBmp(40));
        // 4 x 4 windows, totals, the background window off the picture.
        control<QLineEdit>("Edit1")->setText("2");
        control<QLineEdit>("Edit4")->setText("2");
        control<QCheckBox>("cbTotalInt")->setChecked(true);
        control<QCheckBox>("CheckBox1")->setChecked(true);
        form->SpeedButton1Click();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        open({"check.bmp"});
        ratio = form->windowHandle()->devicePixelRatio();
    }

    // What the window shows: its backing store as the repaints left it (an image on the
    // offscreen platform), not a fresh rendering of the whole window.
    QImage shot() {
        QCoreApplication::processEvents();
        auto* store = dynamic_cast<QImage*>(form->backingStore()->paintDevice());
        return store ? store->convertToFormat(QImage::Format_RGB32) : QImage();
    }

    // Where `expected` lies one to one in the shot, within a device pixel of the control's
    // logical origin times the scale; a failure when it is nowhere there.
    QPoint findOneToOne(const char* name, const std::function<QRgb(int, int)>& expected, int side) {
        const QImage image = shot();
        const QPointF logical = control(name)->mapTo(form.get(), QPointF(0, 0)) * ratio;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const QPoint at(int(logical.x()) + dx, int(logical.y()) + dy);
                bool same = true;
                for (int i = 0; same && i < side * side; ++i) same = image.pixel(at + QPoint(i % side, i / side)) == expected(i % side, i / side);
                if (same) return at;
            }
        ADD_FAILURE() << name << " is not shown one to one near " << logical.x() << ", " << logical.y();
        return {};
    }

    // A pointer event at a device pixel of the window, as the window system delivers it.
    void pointerAt(QPoint device, QEvent::Type type = QEvent::MouseMove) {
        QWindow* window = form->windowHandle();
        const QPointF local = QPointF(device) / ratio;
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        qt_handleMouseEvent(window, local, window->mapToGlobal(local), held, button, type, Qt::NoModifier, time += 1000);
    }

    double ratio = 1;
    int time = 0;
};

TEST_F(DevicePixelTest, PicturePointerOutlineAndSampleAreOneToOne) {
    ASSERT_EQ(shot().size(), form->size() * ratio);
    const QPoint origin = findOneToOne("Image1", shown, 40);
    const QPoint cases[] = {{13, 27}, {14, 27}, {13, 28}, {1, 1}, {39, 39}, {20, 5}};
    for (const QPoint& c : cases) {
        SCOPED_TRACE(testing::Message() << "pixel " << c.x() << ", " << c.y() << " at scale " << ratio);
        form->ToolButton4Click();  // the picture afresh, measurable again
        shot();                     // and shown: the pointer's outline is a repaint of its own
        pointerAt(origin + c);
        EXPECT_EQ(form->statusText(1), QStringLiteral(" x = %1").arg(c.x()));
        EXPECT_EQ(form->statusText(2), QStringLiteral(" y = %1").arg(c.y()));
        // The dotted ring of the 4 x 4 window, on exactly the device pixels of its border.
        const QRect ring(c - QPoint(2, 2), QSize(4, 4));
        EXPECT_EQ(findOneToOne("Image1", [&](int x, int y) {
            const bool onRing = ring.contains(x, y) && !ring.adjusted(1, 1, -1, -1).contains(x, y);
            return onRing && (x + y) % 2 == 0 ? shown(x, y) ^ 0x00FFFFFFu : shown(x, y);
        }, 40), origin);
        pointerAt(origin + c, QEvent::MouseButtonPress);
        pointerAt(origin + c, QEvent::MouseButtonRelease);
        const int total = qRed(shown(c.x() - 1, c.y() - 1)) + qRed(shown(c.x(), c.y() - 1)) +
                          qRed(shown(c.x() - 1, c.y())) + qRed(shown(c.x(), c.y()));
        EXPECT_EQ(log().section('\n', -2, -2), QStringLiteral("    check       %1       1020").arg(total));
        findOneToOne("Image2", [&](int x, int y) { return shown(c.x() - 2 + x, c.y() - 2 + y); }, 4);
    }
}

// Each separator of the results heading fills at least one device column inside its own
// span, in its colour, in every device row of the heading: a one-pixel line at a
// fractional scale can fall between device pixels and vanish.
TEST_F(DevicePixelTest, HeadingSeparatorsAreAtLeastOneDevicePixel) {
    const QImage image = shot();
    const QWidget* heading = control("Panel7");
    const QRectF strip(QPointF(heading->mapTo(form.get(), QPoint(0, 0))) * ratio, QSizeF(heading->size()) * ratio);
    for (const char* name : {"Bevel1", "Bevel2"}) {
        SCOPED_TRACE(testing::Message() << name << " at scale " << ratio);
        QWidget* line = control(name);
        const QRgb colour = line->palette().color(QPalette::WindowText).rgb();
        ASSERT_NE(colour, heading->palette().color(QPalette::Window).rgb());
        const QRectF span(QPointF(line->mapTo(form.get(), QPoint(0, 0))) * ratio, QSizeF(line->size()) * ratio);
        const int left = int(std::floor(span.left())), right = int(std::ceil(span.right()));
        for (int y = int(std::ceil(strip.top())) + 1; y < int(std::floor(strip.bottom())) - 1; ++y) {
            int columns = 0;
            for (int x = left - 2; x < right + 2; ++x) {
                if (image.pixel(x, y) != colour) continue;
                EXPECT_TRUE(x >= left && x < right) << "column " << x << " of " << left << " to " << right;
                ++columns;
            }
            EXPECT_GE(columns, 1) << "device row " << y;
        }
    }
}

// The toolbar's ground is flat D7D7D7 on every device pixel that no button or divider
// covers (a style paints its own gradient there).
TEST_F(DevicePixelTest, ToolbarGroundIsFlat) {
    const QImage image = shot();
    auto* bar = control<QToolBar>("ToolBar1");
    const auto devicePixels = [&](const QWidget* w) {
        const QRectF r(QPointF(w->mapTo(form.get(), QPoint(0, 0))) * ratio, QSizeF(w->size()) * ratio);
        return QRect(QPoint(int(std::floor(r.left())), int(std::floor(r.top()))),
                     QPoint(int(std::ceil(r.right())) - 1, int(std::ceil(r.bottom())) - 1));
    };
    QRegion ground(devicePixels(bar).adjusted(1, 1, -1, -1));
    for (const QWidget* child : bar->findChildren<QWidget*>()) {
        if (child->isVisible()) ground -= devicePixels(child).adjusted(-1, -1, 1, 1);
    }
    int checked = 0, other = 0;
    for (const QRect& r : ground)
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x, ++checked) other += image.pixel(x, y) != qRgb(0xD7, 0xD7, 0xD7);
    EXPECT_GT(checked, 29 * 100);
    EXPECT_EQ(other, 0) << "of " << checked << " device pixels at scale " << ratio;
}

}  // namespace
