// The window when the drawing helper fails in any way (through a stand-in helper that
// misbehaves on purpose, started by the real client): the step onto the picture fails
// as a picture that can't be drawn does, the picture shown stays, the results log and
// the series are untouched, and no helper process is left. The open dialog's preview
// of such a file shows "Picture:" and "(None)".
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdlib>

#include "support/LeftoverProcesses.h"
#include "support/DrawnPictureWriter.h"
#include "ui/PictureImage.h"
#include "ui/PicturePreview.h"
#include "ui/PictureRendering.h"
#include "ui/support/MainFormTesting.h"

using namespace qfip::testing;
using namespace std::chrono_literals;

namespace {

const char* const kMisbehaviours[] = {"segv", "abort", "hang", "exit3", "short-header", "short-pixels",
                                      "absurd", "wrong-count", "extra", "grandchild"};

class HelperFailureTest : public MainFormTest {
protected:
    static void SetUpTestSuite() { adoptOrphans(); }
    void TearDown() override {
        behave();
        MainFormTest::TearDown();
    }
    // The stand-in helper, failing as `mode` says, with a short deadline for the hangs.
    static void misbehave(const char* mode) {
        setenv("QFIP_MISBEHAVE", mode, 1);
        setRenderHelperPath(QStringLiteral(QFIP_MISBEHAVING_HELPER));
        setRenderDeadline(300ms);
    }
    static void behave() {
        unsetenv("QFIP_MISBEHAVE");
        setRenderHelperPath(QStringLiteral(QFIP_RENDER_HELPER));
        setRenderDeadline(3000ms);
    }
    PictureImage* image1() { return control<PictureImage>("Image1"); }
    const qfip::Raster* shownRaster() {
        const auto& picture = image1()->shown().picture();
        return picture && picture->hasRaster() ? &picture->raster() : nullptr;
    }
};

}  // namespace

TEST_F(HelperFailureTest, AStepOntoAPictureTheHelperFailsOnKeepsPictureLogAndSeries) {
    write("m.emf", EmfFile{}.bytes());
    write("i.ico", tinyIcon());
    for (const char* next : {"m.emf", "i.ico"}) {
        for (const char* mode : kMisbehaviours) {
            const std::string name = std::string(next) + ", " + mode;
            open({"a.bmp", next, "c.bmp"});
            point();
            const qfip::Raster* before = shownRaster();
            ASSERT_NE(before, nullptr) << name;
            const QString logBefore = log();

            misbehave(mode);
            click();  // measures a.bmp; the next picture can't be drawn
            EXPECT_EQ(log(), logBefore + "    a       200       40\n") << name;
            EXPECT_EQ(shownRaster(), before) << name;
            EXPECT_EQ(form->statusText(0), "   Image 1 of 3") << name;
            EXPECT_EQ(form->CurrentImage, 1) << name;
            EXPECT_EQ(form->FileList, QStringList({"a.bmp", next, "c.bmp"})) << name;
            EXPECT_FALSE(form->SeriesFinished) << name;
            EXPECT_TRUE(host.errors.isEmpty()) << name;
            EXPECT_TRUE(host.messages.isEmpty()) << name;
            EXPECT_TRUE(noHelperLeft()) << name;

            // The same step again once the helper behaves: the picture is drawn and shown.
            behave();
            click();
            EXPECT_EQ(log(), logBefore + "    a       200       40\n    a       200       40\n") << name;
            ASSERT_TRUE(image1()->shown().picture().has_value()) << name;
            EXPECT_FALSE(image1()->shown().picture()->hasRaster()) << name;
            EXPECT_TRUE(noHelperLeft()) << name;
        }
    }
}

TEST_F(HelperFailureTest, RestartOrOpenOntoAFailingDrawingFailsAsForAnyUndrawablePicture) {
    write("m.emf", EmfFile{}.bytes());
    write("i.ico", tinyIcon());
    // Drawn by the real helper: shown, not measured.
    EXPECT_EQ(failureOf([&] { open({"m.emf", "a.bmp"}); }), "Can only modify an image if it contains a bitmap");
    ASSERT_TRUE(image1()->shown().picture().has_value());
    EXPECT_EQ(image1()->shown().picture()->kind(), qfip::PictureKind::EnhancedMetafile);
    misbehave("segv");
    // Restart onto a first picture that can't be drawn says so as for any such file.
    EXPECT_EQ(failureOf([&] { form->ToolButton4Click(); }), "");
    EXPECT_EQ(host.messages, QStringList({"No opened image files. Sorry, but You must try again."}));
    EXPECT_EQ(failureOf([&] { open({"i.ico"}); }), "Icon image is not valid");
    EXPECT_EQ(image1()->shown().picture()->kind(), qfip::PictureKind::EnhancedMetafile);
    EXPECT_EQ(log(), "");
    EXPECT_TRUE(noHelperLeft());
}

TEST_F(HelperFailureTest, PreviewOfAFileTheHelperFailsOnShowsNone) {
    write("m.emf", EmfFile{}.bytes());
    write("i.ico", tinyIcon());
    PicturePreview preview;
    preview.show();
    for (const char* mode : kMisbehaviours) {
        for (const char* file : {"m.emf", "i.ico"}) {
            // The preview reads on a worker thread: each picture is waited for.
            const auto settle = [&] { ASSERT_TRUE(QTest::qWaitFor([&] { return !preview.pending(); }, 20000)); };
            behave();
            preview.showFile(QDir(folder.path()).filePath("a.bmp"));
            settle();
            ASSERT_TRUE(preview.hasPicture());
            misbehave(mode);
            preview.showFile(QDir(folder.path()).filePath(file));
            settle();
            EXPECT_EQ(preview.caption(), "Picture:") << mode << " " << file;
            EXPECT_FALSE(preview.hasPicture()) << mode;
            EXPECT_FALSE(preview.previewEnabled()) << mode;
            EXPECT_TRUE(preview.drawnRect().isNull()) << mode;
            EXPECT_TRUE(noHelperLeft()) << mode;
        }
    }
}

// Moving on from a file whose drawing hangs abandons it at once: its helper is killed
// (long before its deadline), and the file moved to is shown.
TEST_F(HelperFailureTest, PreviewMovedOnKillsTheHelperUnderWay) {
    write("m.emf", EmfFile{}.bytes());
    PicturePreview preview;
    preview.show();
    misbehave("hang");
    setRenderDeadline(60s);
    preview.showFile(QDir(folder.path()).filePath("m.emf"));
    // The hanging helper is running for the preview's worker.
    ASSERT_TRUE(QTest::qWaitFor([] { return !childProcesses().empty(); }, 5000));
    const auto movedOn = std::chrono::steady_clock::now();
    preview.showFile(QDir(folder.path()).filePath("a.bmp"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !preview.pending(); }, 5000));
    EXPECT_LT(std::chrono::steady_clock::now() - movedOn, 5s);
    EXPECT_TRUE(preview.hasPicture());
    EXPECT_EQ(preview.caption(), " (100x80)");
    EXPECT_TRUE(noHelperLeft());
}

// A drawing that takes long, honest or hung, is waited for with the window alive: it
// keeps painting under the wait cursor, and the step ends as it would have without it.
TEST_F(HelperFailureTest, ALongDrawingKeepsTheWindowPaintingUnderTheWaitCursor) {
    WmfFile slow;
    slow.savedContexts = 20000;  // most of a second to draw (libwmf's time grows with their square)
    write("slow.wmf", slow.bytes());
    write("m.emf", EmfFile{}.bytes());
    const struct {
        const char* name;
        const char* next;
        const char* mode;  // the stand-in helper's, or the real helper
        bool shown;
    } cases[] = {{"a large file, drawn", "slow.wmf", nullptr, true}, {"a helper that hangs", "m.emf", "hang", false}};
    form->show();
    for (const auto& c : cases) {
        open({"a.bmp", c.next});
        point();
        if (c.mode) {
            misbehave(c.mode);
            setRenderDeadline(800ms);
        }
        int paintsWhileWaiting = 0, ticks = 0;
        bool waitCursor = false;
        struct PaintCounter : QObject {
            int* paints;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) ++*paints;
                return false;
            }
        } counter;
        counter.paints = &paintsWhileWaiting;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            ++ticks;
            if (const QCursor* cursor = QGuiApplication::overrideCursor()) waitCursor |= cursor->shape() == Qt::WaitCursor;
            image1()->update();
        });
        tick.start(20);
        image1()->installEventFilter(&counter);
        click();
        image1()->removeEventFilter(&counter);
        tick.stop();
        behave();

        EXPECT_GT(ticks, 5) << c.name;
        EXPECT_GT(paintsWhileWaiting, 3) << c.name;
        EXPECT_TRUE(waitCursor) << c.name;
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << c.name;
        EXPECT_TRUE(log().endsWith("    a       200       40\n")) << c.name;
        EXPECT_EQ(image1()->shown().picture()->hasRaster(), !c.shown) << c.name;
        EXPECT_TRUE(host.errors.isEmpty()) << c.name;
        EXPECT_TRUE(noHelperLeft()) << c.name;
    }
}
