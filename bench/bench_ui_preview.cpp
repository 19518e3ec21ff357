// The open dialog's preview of a large picture, on the real dialog (Qt's offscreen
// platform): the time from selecting a file in the dialog to its preview being shown, and
// the longest time the dialog's event loop was blocked meanwhile, seen by a 1 ms timer of
// the benchmark's own. The selection alternates between two files of the same size (in
// the page cache), so each one is a new picture to read.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QListView>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>

#include "BenchPictures.h"
#include "OffscreenBenchmarkMain.h"
#include "ui/FolderModel.h"
#include "ui/OpenPictureDialog.h"
#include "ui/PictureFileDialog.h"
#include "ui/PicturePreview.h"

namespace {

void SelectionToPreview(benchmark::State& state) {
    const int side = int(state.range(0));
    const QString files[] = {QString::fromStdString(benchPicture(side, 0)), QString::fromStdString(benchPicture(side, 1))};
    OpenPictureDialog opener;
    std::unique_ptr<PictureFileDialog> dialog = opener.createDialog(nullptr);
    dialog->setDirectory(QString::fromStdString(benchFolder().string()));
    dialog->show();
    PicturePreview* preview = dialog->preview();

    // The folder is listed when the dialog goes to it, before anything is timed.
    FolderModel* model = dialog->folderModel();
    QListView* list = dialog->fileList();
    const auto rowOf = [model](const QString& file) {
        return model->match(model->index(0), Qt::DisplayRole, QFileInfo(file).fileName(), 1, Qt::MatchExactly).value(0);
    };

    // The dialog's event loop as a 1 ms timer sees it.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0, longestGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
    });
    ticker.start();

    double worstBlockedMs = 0, sumBlockedMs = 0;
    int round = 0;
    for (auto _ : state) {
        const QString file = files[round++ % 2];
        QEventLoop loop;
        const auto done = QObject::connect(preview, &PicturePreview::shown, &loop, &QEventLoop::quit);
        QApplication::processEvents();
        lastTick = clock.nsecsElapsed();
        longestGap = 0;
        const qint64 start = clock.nsecsElapsed();
        list->setCurrentIndex(rowOf(file));  // as a click on the file does
        if (preview->pending()) loop.exec();
        const qint64 end = clock.nsecsElapsed();
        longestGap = std::max(longestGap, end - lastTick);
        QObject::disconnect(done);
        state.SetIterationTime(double(end - start) / 1e9);
        if (preview->caption() != QStringLiteral(" (%1x%1)").arg(side))
            state.SkipWithError(("no preview shown: " + preview->caption() + " pending " + QString::number(preview->pending())).toStdString().c_str());
        worstBlockedMs = std::max(worstBlockedMs, double(longestGap) / 1e6);
        sumBlockedMs += double(longestGap) / 1e6;
    }
    state.counters["max_blocked_ms"] = worstBlockedMs;
    state.counters["mean_max_blocked_ms"] = benchmark::Counter(sumBlockedMs, benchmark::Counter::kAvgIterations);
}

}  // namespace

BENCHMARK(SelectionToPreview)->Arg(4096)->Arg(16384)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

QFIP_BENCHMARK_MAIN_WITH_WINDOWS()
