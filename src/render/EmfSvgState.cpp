#include "render/EmfSvgState.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "render/RasterOps.h"

namespace qfip::emf {

Blend blendOfRop2(uint32_t rop2) {
    // By what the operation does to the pen P and the pixel D: its truth table, bit 2P + D
    // (RasterOps.h, which the WMF chain draws by).
    switch (rop::binaryTable(rop2)) {
    case 0b0000: return Blend::Black;               // R2_BLACK
    case 0b0011: return Blend::Inverted;            // R2_NOTCOPYPEN: not P
    case 0b0101: return Blend::DifferenceWhite;     // R2_NOT: not D
    case 0b0110: return Blend::Difference;          // R2_XORPEN: P xor D
    case 0b1000: return Blend::Multiply;            // R2_MASKPEN: P and D
    case 0b1001: return Blend::DifferenceInverted;  // R2_NOTXORPEN: not (P xor D)
    case 0b1010: return Blend::Nothing;             // R2_NOP: D
    case 0b1110: return Blend::Screen;              // R2_MERGEPEN: P or D
    case 0b1111: return Blend::White;               // R2_WHITE
    default: return Blend::Copy;                    // R2_COPYPEN and the mixed ones
    }
}

Blend blendOfRop3(uint32_t rop3) {
    switch (rop3) {
    case 0x00660046:                                 // SRCINVERT
    case 0x005A0049: return Blend::Difference;       // PATINVERT
    case 0x008800C6: return Blend::Multiply;         // SRCAND
    case 0x00EE0086: return Blend::Screen;           // SRCPAINT
    case 0x00550009: return Blend::DifferenceWhite;  // DSTINVERT
    case 0x00000042: return Blend::Black;            // BLACKNESS
    case 0x00FF0062: return Blend::White;            // WHITENESS
    case 0x00AA0029: return Blend::Nothing;          // D: the destination kept
    default: return Blend::Copy;
    }
}

std::string markerText(std::string_view nonce, const SvgDrawingState& s) {
    char fields[96];
    std::snprintf(fields, sizeof fields, " %d %d %u %06X %06X %d %u %u %d", s.winding ? 1 : 0, s.paint.hatched ? 1 : 0,
                  s.paint.hatchStyle, s.paint.colour & 0xFFFFFFu, s.paint.background & 0xFFFFFFu, s.paint.opaque ? 1 : 0,
                  unsigned(s.shapeBlend), unsigned(s.bitmapBlend), s.smoothBitmaps ? 1 : 0);
    return std::string(nonce) + fields;
}

std::optional<SvgDrawingState> stateOfMarker(std::string_view nonce, std::string_view text) {
    if (nonce.empty() || text.size() <= nonce.size() || text.substr(0, nonce.size()) != nonce) return std::nullopt;
    std::vector<uint32_t> values;
    std::string_view rest = text.substr(nonce.size());
    for (int field = 0; field < 9; ++field) {
        if (rest.empty() || rest.front() != ' ') return std::nullopt;
        rest.remove_prefix(1);
        const int base = field == 3 || field == 4 ? 16 : 10;
        uint32_t v = 0;
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), v, base);
        if (error != std::errc() || end == rest.data()) return std::nullopt;
        rest.remove_prefix(size_t(end - rest.data()));
        values.push_back(v);
    }
    if (!rest.empty() || values[0] > 1 || values[1] > 1 || values[2] >= kHatchStyles || values[3] > 0xFFFFFF ||
        values[4] > 0xFFFFFF || values[5] > 1 || values[6] >= kBlends || values[7] >= kBlends || values[8] > 1)
        return std::nullopt;
    SvgDrawingState s;
    s.winding = values[0] == 1;
    s.paint = {values[1] == 1, values[2], values[3], values[4], values[5] == 1};
    s.shapeBlend = Blend(values[6]);
    s.bitmapBlend = Blend(values[7]);
    s.smoothBitmaps = values[8] == 1;
    return s;
}

}  // namespace qfip::emf
