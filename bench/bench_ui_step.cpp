// One full measurement step on a series of 2048 x 2048 24-bit pictures, as a click does
// it: both windows copied and measured, the line logged, the next picture loaded and
// outlined. The files are read once beforehand so they are in the page cache.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "OffscreenBenchmarkMain.h"
#include <fstream>
#include <memory>

#include "support/BmpWriter.h"
#include "ui/support/FakeDialogHost.h"
#include "ui/uMain.h"

namespace {

void writePicture(const QString& path, uint8_t level) {
    const int side = 2048;
    std::vector<qfip::testing::Rgb> pixels(size_t(side) * side);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint8_t v = uint8_t(level + i % 7);
        pixels[i] = {v, v, v};
    }
    const std::vector<uint8_t> bytes = qfip::testing::bmp24(side, side, pixels);
    std::ofstream out(path.toStdString(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void measurementStep(benchmark::State& state) {
    QTemporaryDir folder;
    const QString a = QDir(folder.path()).filePath("f0000001.bmp"), b = QDir(folder.path()).filePath("f0000002.bmp");
    writePicture(a, 60);
    writePicture(b, 120);
    QStringList series;
    for (int i = 0; i < 100000; ++i) series << (i % 2 ? b : a);

    FakeDialogHost host;
    TMainForm form(host);
    host.openAnswers.push_back(series);
    form.ToolButton3Click();
    form.Image1MouseMove({}, 1000, 1000);
    form.aEnterExecute();  // warms the page cache for both files
    form.aEnterExecute();
    for (auto _ : state) form.aEnterExecute();
    state.counters["lines"] = double(form.CurrentImage);
}

}  // namespace

BENCHMARK(measurementStep)->Unit(benchmark::kMillisecond)->MinTime(3.0);

QFIP_BENCHMARK_MAIN_WITH_WINDOWS()
