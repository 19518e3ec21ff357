// Saving a results log of 100,000 result lines with writeResultFile, both ways an existing
// file is replaced: through a temporary file (write, fsync, rename) and, for a file with a
// second hard link, in place (old bytes read, new ones written, fsync). Reports the time per
// save and the bytes per second.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "results/ResultFile.h"
#include "results/ResultsLog.h"

namespace {

std::string bigLog(int lines) {
    std::string log;
    for (int i = 0; i < lines; ++i) {
        const std::string path = "/data/series/f" + std::to_string(10000000 + i) + ".bmp";
        qfip::appendLine(log, qfip::resultLine(qfip::fileLabel(path), 100 + i % 156, i % 37));
    }
    return log;
}

// range(1): 0 replaces through a temporary file, 1 overwrites in place.
void BM_WriteResultFile(benchmark::State& state) {
    const std::string log = bigLog(int(state.range(0)));
    std::string folder = (std::filesystem::temp_directory_path() / "qfip-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string target = folder + "/results.dat";
    qfip::writeResultFile(target, log);
    if (state.range(1) == 1) std::filesystem::create_hard_link(target, folder + "/second-link.dat");
    for (auto _ : state) qfip::writeResultFile(target, log);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(log.size()));
    state.counters["file_bytes"] = double(log.size());
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WriteResultFile)
    ->ArgsProduct({{100000}, {0, 1}})
    ->ArgNames({"lines", "in_place"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
