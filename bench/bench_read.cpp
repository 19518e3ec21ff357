// How a picture file's pixel data is best read here, at 1024 to 16384 pixels a side
// (24-bit, in the page cache): the decoder reading the file with pread through one reused
// buffer of 64 KiB, 256 KiB or 1 MiB (the reader's choice), one pread a row, or from a
// read-only mmap of the file (faulted in as it is read, or populated up front). The peer:
// the same bytes already in memory. Each run opens the file, decodes it into a fresh
// raster and closes (unmaps) it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "raster/BmpReader.h"
#include "support/BmpWriter.h"

namespace {

std::string pictureOf(int side) {
    const char* dir = std::getenv("QFIP_BENCH_DIR");
    const std::string path = std::string(dir ? dir : "/tmp/qfip-bench-steps") + "/p" + std::to_string(side) + "a.bmp";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || uint64_t(st.st_size) != 54 + uint64_t(side) * side * 3) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        qfip::testing::writePatternBmp24(path, side, side);
    }
    return path;
}

double minorFaults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_minflt);
}

// kind: 0 pread with state.range(1) bytes a read (1: a row a read), 1 mmap, 2 mmap populated.
void ReadFile(benchmark::State& state) {
    const int side = int(state.range(0));
    const int kind = int(state.range(1));
    const size_t chunk = size_t(state.range(2));
    const std::string path = pictureOf(side);
    double faults = 0;
    for (auto _ : state) {
        const double before = minorFaults();
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        ::fstat(fd, &st);
        if (kind == 0) {
            qfip::FileSource source(fd, uint64_t(st.st_size));
            qfip::Raster r = qfip::BmpDecoder(source, qfip::Raster::kMaxPixels, chunk).decode();
            benchmark::DoNotOptimize(r.data());
        } else {
            void* map = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE | (kind == 2 ? MAP_POPULATE : 0), fd, 0);
            qfip::MemorySource source({static_cast<const uint8_t*>(map), size_t(st.st_size)});
            qfip::Raster r = qfip::BmpDecoder(source).decode();
            benchmark::DoNotOptimize(r.data());
            ::munmap(map, size_t(st.st_size));
        }
        ::close(fd);
        faults += minorFaults() - before;
    }
    state.counters["faults"] = benchmark::Counter(faults, benchmark::Counter::kAvgIterations);
    static const char* const names[] = {"pread", "mmap", "mmap+populate"};
    state.SetLabel(kind == 0 ? (chunk == 1 ? "pread a row" : "pread " + std::to_string(chunk >> 10) + " KiB") : names[kind]);
}

// The decoder's own time: the same bytes in memory.
void FromMemory(benchmark::State& state) {
    std::ifstream in(pictureOf(int(state.range(0))), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    double faults = 0;
    for (auto _ : state) {
        const double before = minorFaults();
        qfip::Raster r = qfip::readBmp(bytes);
        benchmark::DoNotOptimize(r.data());
        faults += minorFaults() - before;
    }
    state.counters["faults"] = benchmark::Counter(faults, benchmark::Counter::kAvgIterations);
}

void sides(benchmark::internal::Benchmark* b, std::initializer_list<std::vector<int64_t>> variants) {
    for (int64_t side : {1024, 2048, 4096, 8192, 16384}) {
        for (const auto& v : variants) {
            std::vector<int64_t> args{side};
            args.insert(args.end(), v.begin(), v.end());
            b->Args(args);
        }
    }
}

}  // namespace

BENCHMARK(FromMemory)->Apply([](auto* b) { sides(b, {{}}); })->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(ReadFile)
    ->Apply([](auto* b) { sides(b, {{0, 64 << 10}, {0, 256 << 10}, {0, 1 << 20}, {0, 1}, {1, 0}, {2, 0}}); })
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.3);

BENCHMARK_MAIN();
