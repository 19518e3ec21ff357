#pragma once

// The memory of rasters. On this kind of machine a first touch of fresh memory costs far
// more than decoding into it (the kernel clears every page it maps in), so the block of a
// large raster that is released is kept for the next raster of exactly its size: in a
// series, the picture shown next (or read ahead) reuses the memory of the picture before.
// One block at most is kept, and only while it takes no more than a quarter of the memory
// available; a request of another size releases it.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace qfip {

// The bytes of memory available for new allocations now (MemAvailable), or nothing
// where the system doesn't say.
std::optional<uint64_t> availableMemory();

// Where released blocks learn how much memory is available: availableMemory unless
// replaced (tests set a fixed amount, so what they see depends on nothing else).
using MemoryGauge = std::optional<uint64_t> (*)();
void setMemoryGauge(MemoryGauge gauge);

struct PixelBlockRelease {
    size_t pixels = 0;
    void operator()(uint32_t* block) const;
};
using PixelBlock = std::unique_ptr<uint32_t[], PixelBlockRelease>;

// A block of `pixels` pixels whose values are not set: the kept block when it has
// exactly that size, else new memory. Throws std::bad_alloc.
PixelBlock takePixelBlock(size_t pixels);

// Whether a block is kept now, and releasing it (tests and benchmarks).
bool pixelBlockKept();
void releaseKeptPixelBlock();

}  // namespace qfip
