// Feeds arbitrary bytes to the rewriting of an enhanced metafile's records before
// libemf2svg reads them (src/render/EmfNormaliser.h), the region algebra it keeps the
// clip in and the marker format it hands the SVG pass. It must never read outside the
// file, never grow its output past its budget, and always write a metafile whose
// records walk from its header to its end as a reader walks them.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "common/LittleEndian.h"
#include "render/EmfNormaliser.h"
#include "render/EmfSvgState.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> file(data, size);
    const std::string nonce = "Qfuzz";
    const std::optional<qfip::emf::NormalisedEmf> out = qfip::emf::normaliseEnhancedMetafile(file, nonce);
    if (!out) return 0;
    const std::vector<uint8_t>& bytes = out->bytes;
    if (bytes.size() > 2 * size + 65536) __builtin_trap();
    if (!(out->libraryWidth >= 1) || !(out->frameWidth > 0) || !(out->frameHeight > 0)) __builtin_trap();
    // The header says the whole: its size in bytes, and a table with room for its spares.
    if (bytes.size() < 88 || qfip::readU32(bytes, 48) != bytes.size()) __builtin_trap();
    // Every record written here walks: sizes of at least 8, multiples of 4, within the
    // file, up to the end record or to the file's own tail.
    size_t at = qfip::readU32(bytes, 4);
    while (bytes.size() - at >= 8) {
        const uint32_t type = qfip::readU32(bytes, at), length = qfip::readU32(bytes, at + 4);
        if (length < 8 || length % 4 != 0 || length > bytes.size() - at) break;
        // A marker reads back as a state.
        if (type == 83 && length >= 76 + 5) {
            const uint32_t count = qfip::readU32(bytes, at + 44);
            if (count <= length - 76) {
                const std::string text(reinterpret_cast<const char*>(bytes.data() + at + 76), count);
                if (text.rfind(nonce, 0) == 0 && !qfip::emf::stateOfMarker(nonce, text)) __builtin_trap();
            }
        }
        at += length;
        if (type == 14) break;
    }
    return 0;
}
