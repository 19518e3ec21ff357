#pragma once

// main() of the window benchmarks: a QApplication on Qt's offscreen platform (no display
// needed), then Google Benchmark. Icons and metafiles are drawn by the helper built with
// the benchmarks.
#include <QApplication>
#include <benchmark/benchmark.h>

#include "ui/PictureRendering.h"

#define QFIP_BENCHMARK_MAIN_WITH_WINDOWS()                                                   \
    int main(int argc, char** argv) {                                                        \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen"); \
        QApplication app(argc, argv);                                                        \
        setRenderHelperPath(QStringLiteral(QFIP_RENDER_HELPER));                             \
        benchmark::Initialize(&argc, argv);                                                  \
        benchmark::RunSpecifiedBenchmarks();                                                 \
        benchmark::Shutdown();                                                               \
        return 0;                                                                            \
    }
