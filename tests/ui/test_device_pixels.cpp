// One picture pixel on one device pixel at the scale this run is given (ctest runs this
// file with QT_SCALE_FACTOR 1, 1.25, 1.5 and 2): a 40 x 40 checkerboard is drawn one to one
// into the window's device pixels, and the pointer at a device pixel names the picture
// pixel shown there, outlines it there and measures the window around it.
#include <QCheckBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QBackingStore>
#include <QWindow>
#include <QtTest/qtestmouse.h>

#include "support/MainFormTesting.h"
#include "ui/PicturePane.h"

using namespace qfip::testing;

namespace {

// The checkerboard's pixel (x, y); a window's pixels off the picture stay white.
uint8_t level(int x, int y) { return checkerLevel(x, y); }
int pictureOrWhite(int x, int y) { return x < 0 || y < 0 || x >= 40 || y >= 40 ? 255 : level(x, y); }

// The total of the interior of the 4 x 4 window around (x, y).
int windowTotal(int x, int y) { return level(x - 1, y - 1) + level(x, y - 1) + level(x - 1, y) + level(x, y); }

class DevicePixelTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        write("check.bmp", checkerboardBmp(40));
        // A 4 x 4 window, totals, and the background window off the picture.
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

    // What the window shows: its backing store (an image in device pixels on the offscreen
    // platform) as the repaints left it, not a fresh rendering of the whole window.
    QImage shot() {
        QCoreApplication::processEvents();
        auto* store = dynamic_cast<QImage*>(form->backingStore()->paintDevice());
        if (!store) {
            ADD_FAILURE() << "the backing store is no image";
            return {};
        }
        return store->convertToFormat(QImage::Format_RGB32);
    }

    // Where `expected` lies one to one in the shot, within a device pixel of where the
    // control's logical origin falls; fails when it is nowhere there.
    QPoint findOneToOne(const QImage& shot, const char* name, const std::function<QRgb(int, int)>& expected, QSize size) {
        const QPointF logical = control(name)->mapTo(form.get(), QPointF(0, 0));
        const QPoint near(int(logical.x() * ratio), int(logical.y() * ratio));
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const QPoint at = near + QPoint(dx, dy);
                bool same = true;
                for (int y = 0; same && y < size.height(); ++y)
                    for (int x = 0; same && x < size.width(); ++x) same = shot.pixel(at + QPoint(x, y)) == expected(x, y);
                if (same) return at;
            }
        ADD_FAILURE() << name << " is not drawn one to one near " << near.x() << ", " << near.y();
        return {};
    }

    // A pointer event at a device pixel of the window, as the window system delivers it.
    void pointerAt(QPoint device, QEvent::Type type = QEvent::MouseMove, Qt::MouseButton button = Qt::NoButton) {
        QWindow* window = form->windowHandle();
        const QPointF local = QPointF(device) / ratio;
        const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
        qt_handleMouseEvent(window, local, window->mapToGlobal(local), held, button, type, Qt::NoModifier, time += 1000);
    }

    static QRgb grey(int v) { return qRgb(v, v, v); }

    double ratio = 1;
    int time = 0;
};

TEST_F(DevicePixelTest, PicturePointerOutlineAndSampleAreOneToOne) {
    EXPECT_EQ(shot().size(), form->size() * ratio);
    const QPoint origin = findOneToOne(shot(), "Image1", [](int x, int y) { return grey(level(x, y)); }, {40, 40});

    struct Case { int x, y; };
    const Case cases[] = {{13, 27}, {14, 27}, {13, 28}, {1, 1}, {39, 39}, {20, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "pixel " << c.x << ", " << c.y << " at scale " << ratio);
        form->ToolButton4Click();  // the picture afresh, measurable again
        shot();                     // shown, so that the pointer's outline is a repaint of its own
        pointerAt(origin + QPoint(c.x, c.y));
        EXPECT_EQ(form->statusText(1), QStringLiteral(" x = %1").arg(c.x));
        EXPECT_EQ(form->statusText(2), QStringLiteral(" y = %1").arg(c.y));
        EXPECT_EQ(form->Pointer.PointerRect, (qfip::Rect{c.x - 2, c.y - 2, c.x + 2, c.y + 2}));

        // The outline's dotted ring on exactly the device pixels of the window's border.
        const QImage outlined = shot();
        const QRect ring(c.x - 2, c.y - 2, 4, 4);
        for (int y = ring.top(); y <= ring.bottom(); ++y)
            for (int x = ring.left(); x <= ring.right(); ++x) {
                if (x < 0 || y < 0 || x >= 40 || y >= 40) continue;
                const bool onRing = x == ring.left() || x == ring.right() || y == ring.top() || y == ring.bottom();
                const QRgb picture = grey(level(x, y));
                const QRgb shown = onRing && (x + y) % 2 == 0 ? (picture ^ 0x00FFFFFFu) : picture;
                EXPECT_EQ(outlined.pixel(origin + QPoint(x, y)), shown) << x << ", " << y;
            }

        pointerAt(origin + QPoint(c.x, c.y), QEvent::MouseButtonPress, Qt::LeftButton);
        pointerAt(origin + QPoint(c.x, c.y), QEvent::MouseButtonRelease, Qt::LeftButton);
        EXPECT_EQ(log().split('\n', Qt::SkipEmptyParts).last(), QStringLiteral("    check       %1       1020").arg(windowTotal(c.x, c.y)));

        // The sample pane shows the measured window one to one as well.
        findOneToOne(shot(), "Image2", [&](int x, int y) { return grey(pictureOrWhite(c.x - 2 + x, c.y - 2 + y)); }, {4, 4});
    }
}

// An empty pane is a white picture of the pane's size in device pixels.
TEST_F(DevicePixelTest, BlankPictureCoversThePaneInDevicePixels) {
    auto fresh = std::make_unique<TMainForm>(host);
    fresh->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(fresh.get()));
    fresh->Image1MouseMove({}, 3, 3);
    auto* pane = fresh->findChild<PictureImage*>("Image1");
    const qfip::Raster& blank = pane->workingRaster();
    EXPECT_GE(blank.width(), int(pane->width() * ratio) - 1);
    EXPECT_LE(blank.width(), int(pane->width() * ratio));
    EXPECT_GE(blank.height(), int(pane->height() * ratio) - 1);
    EXPECT_LE(blank.height(), int(pane->height() * ratio));
}

}  // namespace
