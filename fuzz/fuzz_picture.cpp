// Feeds arbitrary bytes to every picture reader. Refusals (Error) are expected; anything
// else (a crash, a sanitizer report, a hang, a raster with unwritten pixels) is a fault.
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/Error.h"
#include "raster/PictureFile.h"
#include "raster/PixelMemory.h"

namespace {

// Smaller than the program's limit, so that huge but valid headers don't make every run
// allocate a gigabyte.
constexpr int64_t kFuzzMaxPixels = int64_t(2048) * 2048;

void decodeAs(const char* extension, std::span<const uint8_t> bytes) {
    try {
        const qfip::Picture picture = qfip::decodePicture(extension, bytes, kFuzzMaxPixels);
        if (!picture.hasRaster()) {
            if (picture.fileBytes().size() != bytes.size()) __builtin_trap();
            return;
        }
        const qfip::Raster& raster = picture.raster();
        if (int64_t(raster.width()) * raster.height() > kFuzzMaxPixels) __builtin_trap();
        // Every decoded pixel is opaque; a pixel the decoder forgot to write shows up here
        // (the sanitizer's allocator fills fresh memory with a non-opaque pattern).
        const uint32_t* p = raster.data();
        const size_t count = size_t(raster.width()) * size_t(raster.height());
        for (size_t i = 0; i < count; ++i) {
            if ((p[i] >> 24) != 0xFF) __builtin_trap();
        }
    } catch (const qfip::Error&) {
        // A refusal with a message: fine.
    }
    // A large raster's memory is kept for the next raster of its size, still holding this
    // picture's opaque pixels; released, every picture is decoded into fresh memory, so
    // the check above sees any pixel left unwritten.
    qfip::releaseKeptPixelBlock();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    decodeAs("bmp", bytes);
    decodeAs("ico", bytes);
    decodeAs("emf", bytes);
    return 0;
}
