// Appending result lines to the results log (Memo1): the cost of one line must not grow
// with the log. Times the first and the last thousand of 100,000 lines.
#include <QApplication>
#include <benchmark/benchmark.h>

#include "OffscreenBenchmarkMain.h"
#include <chrono>
#include <memory>
#include <string>

#include "ui/support/FakeDialogHost.h"
#include "ui/uMain.h"
#include "results/ResultsLog.h"

namespace {

std::string lineFor(int i) { return qfip::resultLine("f" + std::to_string(1000000 + i), 100 + i % 100, 12); }

// Appends lines [from, to) to a log that already holds `from` lines; times the last 1000.
void appendThousandAfter(benchmark::State& state) {
    const int before = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        FakeDialogHost host;
        auto form = std::make_unique<TMainForm>(host);
        for (int i = 0; i < before; ++i) form->appendResultLine(lineFor(i));
        state.ResumeTiming();
        for (int i = before; i < before + 1000; ++i) form->appendResultLine(lineFor(i));
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}

}  // namespace

// The first thousand lines of an empty log, and the last thousand of 100,000.
BENCHMARK(appendThousandAfter)->Arg(0)->Arg(99000)->Unit(benchmark::kMicrosecond)->Iterations(3);

QFIP_BENCHMARK_MAIN_WITH_WINDOWS()
