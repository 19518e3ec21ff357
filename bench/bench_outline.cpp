// Cost of one pointer movement: the two outline toggles of movePointer and composing the
// repaint areas they return, on a small and on a large picture. The cost should follow
// the outline's size, not the picture's, so both figures should be about equal.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "raster/Pointer.h"

namespace {

qfip::Raster greyPicture(int32_t side) {
    qfip::Raster r = qfip::Raster::uninitialised(side, side);
    for (int32_t y = 0; y < side; ++y) {
        uint32_t* row = r.row(y);
        for (int32_t x = 0; x < side; ++x) row[x] = 0xFF000000u | uint32_t((x ^ y) & 0xFF) * 0x010101u;
    }
    return r;
}

void BM_PointerMove(benchmark::State& state) {
    const int32_t side = int32_t(state.range(0));
    const int32_t half = 12;
    qfip::ShownPicture shown;
    shown.setPicture(qfip::Picture::bitmap(greyPicture(side)));
    // The background outline is in the set as well, as while measuring.
    shown.toggleOutline(qfip::Rect{10, 10, 10 + 2 * half, 10 + 2 * half});
    qfip::PointerWindow pointer;
    const int32_t cx = side / 2, cy = side / 2;
    std::vector<uint32_t> scratch(size_t(2 * half) * 2);

    int64_t step = 0;
    for (auto _ : state) {
        // Alternate between two neighbouring positions, like a pointer moving by a pixel.
        const int32_t x = cx + int32_t(step & 1);
        const qfip::PointerMove move = qfip::movePointer(pointer, shown, x, cy, half, half);
        for (const qfip::Rect& area : move.repaint) {
            shown.compose(area, scratch.data(), size_t(area.width()));
        }
        benchmark::DoNotOptimize(scratch.data());
        benchmark::ClobberMemory();
        ++step;
    }
    state.counters["picture_px"] = double(side) * side;
}
BENCHMARK(BM_PointerMove)->Arg(512)->Arg(8192)->Unit(benchmark::kNanosecond);

}  // namespace

BENCHMARK_MAIN();
