// Peak memory (VmHWM) while Restart, or Open of another series, replaces a 16384 x 16384
// picture (1 GiB of pixels) with another of the same size, in the main window on Qt's
// offscreen platform. The next picture has been read ahead before (two rasters are held,
// as while a user points); the peak is reset (/proc/self/clear_refs) just before the
// handler runs, so the figure is the handler's own peak: the shown picture plus the new
// one, plus the program itself (reported as the resident size before any picture).
#include <QApplication>
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "BenchPictures.h"
#include "OffscreenBenchmarkMain.h"
#include "raster/PixelMemory.h"
#include "ui/support/FakeDialogHost.h"
#include "ui/uMain.h"

namespace {

double statusMiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == field) {
            double kib = 0;
            status >> kib;
            return kib / 1024.0;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void ReplaceLargePicture(benchmark::State& state) {
    const int side = int(state.range(0));
    const bool restart = state.range(1) == 0;
    const QString a = QString::fromStdString(benchPicture(side, 0)), b = QString::fromStdString(benchPicture(side, 1));
    double peak = 0, program = 0, rasters = 0;
    for (auto _ : state) {
        state.PauseTiming();
        qfip::releaseKeptPixelBlock();  // nothing left from an earlier run
        FakeDialogHost host;
        auto form = std::make_unique<TMainForm>(host);
        program = statusMiB("VmRSS:");
        host.openAnswers.push_back(QStringList{a, b});
        form->ToolButton3Click();
        form->prefetch().waitUntilIdle();  // picture 2 read ahead: two rasters held
        rasters = 2.0 * side * side * 4 / (1 << 20);
        host.openAnswers.push_back(QStringList{b, a});
        resetPeak();
        state.ResumeTiming();
        if (restart) {
            form->ToolButton4Click();
        } else {
            form->ToolButton3Click();
        }
        state.PauseTiming();
        peak = statusMiB("VmHWM:");
        form.reset();
        state.ResumeTiming();
    }
    state.counters["peak_MiB"] = peak;
    state.counters["program_MiB"] = program;
    state.counters["two_rasters_MiB"] = rasters;
    state.SetLabel(restart ? "Restart" : "Open");
}

}  // namespace

BENCHMARK(ReplaceLargePicture)->Args({16384, 0})->Args({16384, 1})->Iterations(1)->Unit(benchmark::kMillisecond);

QFIP_BENCHMARK_MAIN_WITH_WINDOWS()
