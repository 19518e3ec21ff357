#include "raster/PixelMemory.h"

#include <atomic>
#include <fstream>
#include <mutex>
#include <new>
#include <sstream>
#include <utility>
#include <string>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace qfip {

namespace {

// Smaller blocks come from the heap's own free lists quickly enough.
constexpr size_t kKeptBytes = size_t(16) << 20;

// Large rasters are filled once, right after allocation; with transparent huge pages
// the kernel maps them in 2 MiB pages instead of faulting in every 4 KiB page. Only
// whole huge pages inside the block are advised; the hint changes nothing else.
void adviseHugePages([[maybe_unused]] void* block, [[maybe_unused]] size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
    if (bytes < 4 * kHugePage) return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kHugePage - 1);
    if (begin < end) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

struct KeptBlock {
    std::mutex mutex;
    uint32_t* block = nullptr;
    size_t pixels = 0;
};

KeptBlock& kept() {
    static KeptBlock* instance = new KeptBlock;  // never destroyed: rasters may outlive statics
    return *instance;
}

std::atomic<MemoryGauge> gauge{&availableMemory};

}  // namespace

std::optional<uint64_t> availableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    while (std::getline(meminfo, line)) {
        if (line.rfind("MemAvailable:", 0) != 0) continue;
        std::istringstream fields(line.substr(13));
        uint64_t kib = 0;
        if (fields >> kib) return kib * 1024;
    }
    return std::nullopt;
}

void setMemoryGauge(MemoryGauge replacement) { gauge = replacement ? replacement : &availableMemory; }

void PixelBlockRelease::operator()(uint32_t* block) const {
    const size_t bytes = pixels * sizeof(uint32_t);
    if (bytes >= kKeptBytes) {
        const std::optional<uint64_t> available = gauge.load()();
        if (available && bytes <= *available / 4) {
            KeptBlock& k = kept();
            uint32_t* older = nullptr;
            {
                std::lock_guard lock(k.mutex);
                older = k.block;
                k.block = block;
                k.pixels = pixels;
            }
            delete[] older;  // the newer block is the likelier to be asked for
            return;
        }
    }
    delete[] block;
}

PixelBlock takePixelBlock(size_t pixels) {
    if (pixels * sizeof(uint32_t) >= kKeptBytes) {
        KeptBlock& k = kept();
        uint32_t* block = nullptr;
        size_t size = 0;
        {
            std::lock_guard lock(k.mutex);
            block = std::exchange(k.block, nullptr);
            size = std::exchange(k.pixels, 0);
        }
        if (block && size == pixels) return PixelBlock(block, PixelBlockRelease{pixels});
        delete[] block;  // another size: not kept any longer
    }
    PixelBlock block(new uint32_t[pixels], PixelBlockRelease{pixels});
    adviseHugePages(block.get(), pixels * sizeof(uint32_t));
    return block;
}

bool pixelBlockKept() {
    KeptBlock& k = kept();
    std::lock_guard lock(k.mutex);
    return k.block != nullptr;
}

void releaseKeptPixelBlock() {
    KeptBlock& k = kept();
    uint32_t* block = nullptr;
    {
        std::lock_guard lock(k.mutex);
        block = std::exchange(k.block, nullptr);
        k.pixels = 0;
    }
    delete[] block;
}

}  // namespace qfip
