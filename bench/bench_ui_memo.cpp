// Appending result lines to the results log (Memo1): the cost of one line must not grow
// with the log. Times the first and the last thousand of 100,000 lines, and saving a log of
// 100,000 lines through Save Results (the log's text, then the file written).
#include <QApplication>
#include <QTextCursor>
#include <QTextDocument>
#include <benchmark/benchmark.h>

#include "OffscreenBenchmarkMain.h"
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "ui/support/FakeDialogHost.h"
#include "ui/ResultsLogText.h"
#include "ui/uMain.h"
#include "results/ResultsLog.h"

namespace {

std::string lineFor(int i) { return qfip::resultLine(std::string("f").append(std::to_string(1000000 + i)), 100 + i % 100, 12); }

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

// The text a save writes, from a log of `lines` lines: resultFileText (range(1) 0) beside
// the plain text with CR LF ends (range(1) 1), which reads the document the same way but
// loses non-breaking spaces.
void savedText(benchmark::State& state) {
    QTextDocument log;
    QTextCursor end(&log);
    std::string text;
    for (int i = 0; i < int(state.range(0)); ++i) qfip::appendLine(text, lineFor(i));
    end.insertText(QString::fromStdString(text));
    const bool plain = state.range(1) == 1;
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string saved =
            plain ? qfip::withCrlfLineEnds(log.toPlainText().toStdString()) : resultFileText(log);
        bytes = saved.size();
        benchmark::DoNotOptimize(saved.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

// Save Results answered Yes with a file name, on a log of `lines` lines; the file exists
// from the previous iteration, so each save replaces it.
void saveThroughWindow(benchmark::State& state) {
    std::string folder = (std::filesystem::temp_directory_path() / "qfip-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const QString target = QString::fromStdString(folder + "/results.dat");
    FakeDialogHost host;
    TMainForm form(host);
    for (int i = 0; i < int(state.range(0)); ++i) form.appendResultLine(lineFor(i));
    for (auto _ : state) {
        host.confirmAnswers = {true};
        host.saveAnswers = {target};
        form.ToolButton5Click();
    }
    state.counters["file_bytes"] = double(std::filesystem::file_size(target.toStdString()));
    std::filesystem::remove_all(folder);
}

}  // namespace

// The first thousand lines of an empty log, and the last thousand of 100,000.
BENCHMARK(appendThousandAfter)->Arg(0)->Arg(99000)->Unit(benchmark::kMicrosecond)->Iterations(3);
BENCHMARK(savedText)->ArgsProduct({{100000}, {0, 1}})->ArgNames({"lines", "plain_peer"})->Unit(benchmark::kMillisecond);
BENCHMARK(saveThroughWindow)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

QFIP_BENCHMARK_MAIN_WITH_WINDOWS()
