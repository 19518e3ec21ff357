// Refusing a picture whose header is over the raster limit: a 16385 x 16385 24-bit file
// (805 MB, sparse, so it takes no disk) is refused by loadPicture from its 54-byte header.
// Reported: the time per refusal, the bytes allocated on the heap per refusal (every
// operator new of this program is counted) and the bytes read from the file (rchar).
// A valid 64 x 64 file is loaded in the same run as a peer.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "common/Error.h"
#include "raster/PictureFile.h"
#include "support/BmpWriter.h"

namespace {

std::atomic<uint64_t> allocatedBytes{0};

uint64_t bytesReadByProcess() {
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return 0;
}

std::string writeFiles() {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "qfip-bench-refusal";
    std::filesystem::create_directories(folder);
    const std::string huge = (folder / "huge.bmp").string();
    qfip::testing::writeFile(huge, qfip::testing::bmpHeaders(16385, 16385, 24));
    std::filesystem::resize_file(huge, 54 + uint64_t(16385) * 16385 * 3);
    qfip::testing::writePatternBmp24((folder / "small.bmp").string(), 64, 64);
    return folder.string();
}

void measure(benchmark::State& state, const std::string& path, bool refused) {
    uint64_t allocated = 0, read = 0;
    for (auto _ : state) {
        // (rchar also counts the ~100 bytes of reading /proc/self/io itself.)
        const uint64_t readBefore = bytesReadByProcess();
        const uint64_t allocatedBefore = allocatedBytes.load();
        bool failed = false;
        try {
            const qfip::Picture picture = qfip::loadPicture(path);
            benchmark::DoNotOptimize(picture.raster().data());
        } catch (const qfip::Error&) {
            failed = true;
        }
        state.PauseTiming();
        allocated += allocatedBytes.load() - allocatedBefore;
        read += bytesReadByProcess() - readBefore;
        if (failed != refused) state.SkipWithError("unexpected outcome");
        state.ResumeTiming();
    }
    state.counters["heap_bytes"] = benchmark::Counter(double(allocated), benchmark::Counter::kAvgIterations);
    state.counters["file_bytes_read"] = benchmark::Counter(double(read), benchmark::Counter::kAvgIterations);
}

void RefuseOverLimitHeader(benchmark::State& state) {
    static const std::string folder = writeFiles();
    measure(state, folder + "/huge.bmp", true);
}

void LoadSmallPicture(benchmark::State& state) {
    static const std::string folder = writeFiles();
    measure(state, folder + "/small.bmp", false);
}

}  // namespace

void* operator new(std::size_t size) {
    allocatedBytes += size;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

BENCHMARK(RefuseOverLimitHeader)->Unit(benchmark::kMicrosecond);
BENCHMARK(LoadSmallPicture)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
