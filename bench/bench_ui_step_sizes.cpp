// One measurement step (aEnterExecute) on series of 24-bit pictures from 1024 x 1024 to
// 16384 x 16384, without and with the next picture read ahead, timed from the step's start
// to the next picture being ready to paint (loaded, outlined, status updated). Peers in
// the same run: the file's bytes read with pread in two halves at once (the floor of any
// step), the decoder's own time for the same picture held in memory (into reused and into
// fresh memory), and a plain copy of its pixels into fresh memory. A full repaint of the
// picture pane is timed too.
//
// The pictures are written once into $QFIP_BENCH_DIR (see BenchPictures.h): two files a
// side (a series alternates between them, so each step reads the other file, which
// is in the page cache); bench/run_step_bench.sh runs this and tabulates the ratios.
#include <QApplication>
#include <QDir>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "BenchPictures.h"
#include "OffscreenBenchmarkMain.h"
#include "raster/BmpReader.h"
#include "raster/PixelMemory.h"
#include "raster/SideBySide.h"
#include "support/BmpWriter.h"
#include "ui/PictureImage.h"
#include "ui/support/FakeDialogHost.h"
#include "ui/uMain.h"

namespace {

std::pair<std::string, std::string> picturesOf(int side) { return {benchPicture(side, 0), benchPicture(side, 1)}; }

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// CPU time and minor page faults of the calling (window) thread, or of the whole process
// (every thread: on a busy machine its CPU time scatters less than the wall time).
struct ThreadUsage {
    double cpuMs = 0;
    double faults = 0;
    static ThreadUsage now(int who = RUSAGE_THREAD) {
        rusage u{};
        getrusage(who, &u);
        const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
        return ThreadUsage{ms(u.ru_utime) + ms(u.ru_stime), double(u.ru_minflt)};
    }
};

int iterationsFor(int side) {
    static const std::map<int, int> counts{{1024, 200}, {2048, 80}, {4096, 24}, {8192, 8}, {16384, 3}};
    return counts.at(side);
}

// The decoder's own time: the same file's bytes decoded from memory, into the memory of
// the raster decoded before (as the program reuses it), or into fresh memory.
void decode(benchmark::State& state, bool freshMemory) {
    const int side = int(state.range(0));
    const std::vector<uint8_t> bytes = readAll(picturesOf(side).first);
    benchmark::DoNotOptimize(qfip::readBmp(bytes).data());  // a raster of this size released before
    for (auto _ : state) {
        if (freshMemory) {
            state.PauseTiming();
            qfip::releaseKeptPixelBlock();
            state.ResumeTiming();
        }
        qfip::Raster r = qfip::readBmp(bytes);
        benchmark::DoNotOptimize(r.data());
    }
}
void Decode(benchmark::State& state) { decode(state, false); }
void DecodeIntoFreshMemory(benchmark::State& state) { decode(state, true); }

// The yardstick: the decoded pixels copied into a raster of fresh memory.
void CopyIntoFreshMemory(benchmark::State& state) {
    const int side = int(state.range(0));
    const qfip::Raster source = qfip::readBmp(readAll(picturesOf(side).first));
    for (auto _ : state) {
        state.PauseTiming();
        qfip::releaseKeptPixelBlock();
        state.ResumeTiming();
        qfip::Raster target = qfip::Raster::uninitialised(side, side);
        std::memcpy(target.data(), source.data(), size_t(side) * side * 4);
        benchmark::DoNotOptimize(target.data());
    }
}

// The floor of a step: the bytes of the files a series alternates between, read as the
// program reads them, in two halves at once (one on a second thread), 1 MiB at a time into
// a buffer each thread reuses, and not looked at.
void PreadTwoThreads(benchmark::State& state) {
    const int side = int(state.range(0));
    const auto [a, b] = picturesOf(side);
    const int files[] = {::open(a.c_str(), O_RDONLY | O_CLOEXEC), ::open(b.c_str(), O_RDONLY | O_CLOEXEC)};
    const uint64_t size = uint64_t(std::filesystem::file_size(a));
    const auto readRange = [](int fd, uint64_t from, uint64_t to) {
        thread_local std::vector<uint8_t> buffer(size_t(1) << 20, 1);
        for (uint64_t at = from; at < to;) {
            const ssize_t got = ::pread(fd, buffer.data(), size_t(std::min<uint64_t>(buffer.size(), to - at)), off_t(at));
            if (got <= 0) break;
            at += uint64_t(got);
        }
        benchmark::DoNotOptimize(buffer.data());
    };
    const uint64_t half = size / 2;
    const ThreadUsage before = ThreadUsage::now(RUSAGE_SELF);
    int round = 0;
    for (auto _ : state) {
        const int fd = files[round++ % 2];
        qfip::runSideBySide([&] { readRange(fd, half, size); }, [&] { readRange(fd, 0, half); });
    }
    state.counters["process_cpu_ms"] =
        benchmark::Counter(ThreadUsage::now(RUSAGE_SELF).cpuMs - before.cpuMs, benchmark::Counter::kAvgIterations);
    for (const int fd : files) ::close(fd);
}

void step(benchmark::State& state, bool prefetch) {
    const int side = int(state.range(0));
    const auto [a, b] = picturesOf(side);
    QStringList series;
    for (int i = 0; i < 2000; ++i) series << QString::fromStdString(i % 2 ? b : a);

    FakeDialogHost host;
    TMainForm form(host);
    form.setPrefetchEnabled(prefetch);
    host.openAnswers.push_back(series);
    form.ToolButton3Click();
    form.Image1MouseMove({}, 500, 500);
    for (int warm = 0; warm < 2; ++warm) {  // both files in the page cache
        form.prefetch().waitUntilIdle();
        form.aEnterExecute();
    }
    double cpuMs = 0, processCpuMs = 0, faults = 0;
    for (auto _ : state) {
        if (prefetch) {
            // The user points for longer than the next picture takes to read.
            state.PauseTiming();
            form.prefetch().waitUntilIdle();
            state.ResumeTiming();
        }
        const ThreadUsage before = ThreadUsage::now(), processBefore = ThreadUsage::now(RUSAGE_SELF);
        form.aEnterExecute();
        const ThreadUsage after = ThreadUsage::now(), processAfter = ThreadUsage::now(RUSAGE_SELF);
        cpuMs += after.cpuMs - before.cpuMs;
        processCpuMs += processAfter.cpuMs - processBefore.cpuMs;
        faults += after.faults - before.faults;
    }
    state.counters["ui_cpu_ms"] = benchmark::Counter(cpuMs, benchmark::Counter::kAvgIterations);
    state.counters["process_cpu_ms"] = benchmark::Counter(processCpuMs, benchmark::Counter::kAvgIterations);
    state.counters["ui_faults"] = benchmark::Counter(faults, benchmark::Counter::kAvgIterations);
    if (form.CurrentImage < 3) state.SkipWithError("the series did not advance");
}

void StepWithoutPrefetch(benchmark::State& state) { step(state, false); }
void StepWithPrefetch(benchmark::State& state) { step(state, true); }

// A full repaint of the picture pane at the window's size, outlines included.
void FullRepaint(benchmark::State& state) {
    const int side = int(state.range(0));
    FakeDialogHost host;
    TMainForm form(host);
    host.openAnswers.push_back(QStringList{QString::fromStdString(picturesOf(side).first)});
    form.ToolButton3Click();
    form.show();
    form.Image1MouseMove({}, 100, 100);
    auto* image = form.findChild<PictureImage*>(QStringLiteral("Image1"));
    QImage target(form.size(), QImage::Format_RGB32);
    const QRect visible = image->visibleRegion().boundingRect();
    for (auto _ : state) image->render(&target, QPoint(), QRegion(visible));
    state.counters["visible_px"] = double(visible.width()) * visible.height();
}

// Every benchmark at every side, with fewer iterations for the larger pictures.
const bool registered = [] {
    const std::pair<const char*, void (*)(benchmark::State&)> kinds[] = {
        {"PreadTwoThreads", PreadTwoThreads},
        {"Decode", Decode},
        {"DecodeIntoFreshMemory", DecodeIntoFreshMemory},
        {"CopyIntoFreshMemory", CopyIntoFreshMemory},
        {"StepWithoutPrefetch", StepWithoutPrefetch},
        {"StepWithPrefetch", StepWithPrefetch},
    };
    for (const auto& [name, function] : kinds) {
        for (int side : {1024, 2048, 4096, 8192, 16384}) {
            benchmark::RegisterBenchmark(name, function)->Arg(side)->Iterations(iterationsFor(side))->Unit(benchmark::kMillisecond);
        }
    }
    for (int side : {1024, 16384}) {
        benchmark::RegisterBenchmark("FullRepaint", FullRepaint)->Arg(side)->Iterations(200)->Unit(benchmark::kMicrosecond);
    }
    return true;
}();

}  // namespace

QFIP_BENCHMARK_MAIN_WITH_WINDOWS()
