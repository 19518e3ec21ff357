// The time to show a small icon and a small metafile, as the user waits for it: in the
// picture pane (the series opened on that one file: read, drawn, shown) and in the open
// dialog's preview (read, drawn, caption and area set). Each iteration draws afresh,
// right after the one before (the second argument 0) or after a pause of 300 ms, as a
// person looks at a picture before the next (untimed; the next picture's helper process
// starts meanwhile).
// Then enhanced metafiles of 1024 to 16384 pixels a side in the pane, where the pixels'
// way back from the drawing helper grows with the picture; and placeable metafiles that
// are slow to draw (200,000 rectangles, 25,000 saved device contexts, 16384 x 4096
// pixels), with the longest stretch in which the window did not repaint meanwhile.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimer>
#include <benchmark/benchmark.h>

#include "OffscreenBenchmarkMain.h"
#include <chrono>
#include <fstream>
#include <thread>
#include <string>
#include <vector>

#include "support/DrawnPictureWriter.h"
#include "ui/PictureImage.h"
#include "ui/PicturePreview.h"
#include "ui/support/FakeDialogHost.h"
#include "ui/uMain.h"

namespace {

using namespace qfip::testing;

// A 48 x 24 enhanced metafile: a filled rectangle and a line of text in DejaVu Sans.
std::vector<uint8_t> smallEnhancedMetafile() {
    EmfFile emf;
    emf.fontFace = u"DejaVu Sans";
    emf.texts.push_back({2, 2, {u'Q', u'f', u'i', u'p'}});
    return emf.bytes();
}

std::vector<uint8_t> smallIcon() {
    std::vector<uint32_t> pixels(32 * 32, 0xFF2060C0);
    for (int y = 8; y < 24; ++y)
        for (int x = 8; x < 24; ++x) pixels[size_t(y) * 32 + size_t(x)] = 0xFFF0C020;
    return icon32(32, 32, pixels);
}

std::vector<uint8_t> fileBytes(int kind) {
    switch (kind) {
    case 0: return smallIcon();
    case 1: return smallEnhancedMetafile();
    default: return WmfFile{}.bytes();
    }
}
const char* const kNames[] = {"small.ico", "small.emf", "small.wmf"};

QString writeInto(const QTemporaryDir& folder, const char* name, const std::vector<uint8_t>& bytes) {
    const QString path = QDir(folder.path()).filePath(QString::fromLatin1(name));
    std::ofstream(path.toStdString(), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

QString writeSample(const QTemporaryDir& folder, int kind) { return writeInto(folder, kNames[kind], fileBytes(kind)); }

void pause(benchmark::State& state) {
    if (state.range(1) == 0) return;
    state.PauseTiming();
    std::this_thread::sleep_for(std::chrono::milliseconds(state.range(1)));
    state.ResumeTiming();
}

// The series opened on the one file: it is read, drawn and shown in the pane (its
// outlines can't be drawn on an icon or metafile, which the window reports; not timed).
void showInPane(benchmark::State& state) {
    QTemporaryDir folder;
    const QString path = writeSample(folder, int(state.range(0)));
    FakeDialogHost host;
    TMainForm form(host);
    form.show();
    for (auto _ : state) {
        pause(state);
        host.openAnswers.push_back(QStringList{path});
        try {
            form.ToolButton3Click();
        } catch (const std::exception&) {
        }
    }
    state.SetLabel(kNames[state.range(0)]);
}

void showInPreview(benchmark::State& state) {
    QTemporaryDir folder;
    const QString path = writeSample(folder, int(state.range(0)));
    PicturePreview preview;
    preview.show();
    for (auto _ : state) {
        pause(state);
        // The preview draws on a worker thread: the time is until it shows the picture.
        QEventLoop shown;
        const auto done = QObject::connect(&preview, &PicturePreview::shown, &shown, &QEventLoop::quit);
        preview.showFile(path);
        if (preview.pending()) shown.exec();
        QObject::disconnect(done);
        if (!preview.hasPicture()) state.SkipWithError("no picture");
    }
    state.SetLabel(kNames[state.range(0)]);
}

// A square enhanced metafile of the given side (the last case: 16384 x 4096), its left
// half red.
void showLargeInPane(benchmark::State& state) {
    const int side = int(state.range(0));
    const int height = side == 16384 ? 4096 : side;
    const EmfFile emf = EmfFile::leftHalfRed(side, height);
    QTemporaryDir folder;
    const QString path = writeInto(folder, "large.emf", emf.bytes());
    FakeDialogHost host;
    TMainForm form(host);
    for (auto _ : state) {
        host.openAnswers.push_back(QStringList{path});
        try {
            form.ToolButton3Click();
        } catch (const std::exception&) {
        }
    }
    state.SetLabel(std::to_string(side) + " x " + std::to_string(height));
}

// Asks for a repaint of itself every 5 ms and keeps the longest time between two paints.
class RepaintWatch : public QWidget {
public:
    RepaintWatch() {
        resize(10, 10);
        show();
        connect(&tick_, &QTimer::timeout, this, [this] { update(); });
        tick_.start(5);
    }
    void restart() {
        longest_ = 0;
        clock_.restart();
    }
    double longestGapMs() const { return double(std::max(longest_, clock_.nsecsElapsed())) / 1e6; }

protected:
    void paintEvent(QPaintEvent*) override {
        longest_ = std::max(longest_, clock_.nsecsElapsed());
        clock_.restart();
    }

private:
    QTimer tick_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

// 0: 200,000 rectangles (2.8 MB); 1: 25,000 saved device contexts (libwmf's time grows
// with their square); 2: 16384 x 4096 pixels.
void showSlowMetafileInPane(benchmark::State& state) {
    WmfFile wmf;
    const char* label = "";
    switch (state.range(0)) {
    case 0:
        wmf.rectangles = 200000;
        label = "200,000 rectangles";
        break;
    case 1:
        wmf.savedContexts = 25000;
        label = "25,000 saved contexts";
        break;
    default:
        wmf.box[2] = 16384;
        wmf.box[3] = 4096;
        label = "16384 x 4096";
        break;
    }
    QTemporaryDir folder;
    const QString path = writeInto(folder, "slow.wmf", wmf.bytes());
    FakeDialogHost host;
    TMainForm form(host);
    RepaintWatch watch;
    double longest = 0;
    for (auto _ : state) {
        QApplication::processEvents();
        watch.restart();
        host.openAnswers.push_back(QStringList{path});
        try {
            form.ToolButton3Click();  // shown; its outlines can't be drawn on a metafile
        } catch (const std::exception&) {
        }
        longest = std::max(longest, watch.longestGapMs());
        if (!form.findChild<PictureImage*>("Image1")->shown().hasPicture()) state.SkipWithError("not shown");
    }
    state.counters["longest_without_repaint_ms"] = longest;
    state.SetLabel(label);
}

}  // namespace

BENCHMARK(showSlowMetafileInPane)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(showLargeInPane)->Arg(1024)->Arg(4096)->Arg(8192)->Arg(16384)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(showInPane)->ArgsProduct({{0, 1, 2}, {0, 300}})->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(showInPreview)->ArgsProduct({{0, 1, 2}, {0, 300}})->Unit(benchmark::kMillisecond)->Iterations(15);

QFIP_BENCHMARK_MAIN_WITH_WINDOWS()
