#pragma once

#include <cstdint>

// GDI's raster operations on 0xRRGGBB words, bit by bit, as the records name them.
//
// A binary raster operation (SetROP2, R2_BLACK = 1 to R2_WHITE = 16) combines the pen or
// brush colour P with the pixel D; its code less one is its truth table: bit 2P + D of
// (code - 1) is the result for those bits (R2_COPYPEN, 13: 1100 is P; R2_XORPEN, 7:
// 0110 is P xor D).
//
// A ternary raster operation (the third byte of a BitBlt-style ROP code: SRCCOPY
// 0x00CC0020 is 0xCC) combines the brush P, the source S and the pixel D: bit
// 4P + 2S + D of that byte is the result (0xCC is S, 0x66 is S xor D, 0xF0 is P).
namespace rop {

inline constexpr unsigned kCopyPen = 13;  // R2_COPYPEN
inline constexpr unsigned kNot = 6;       // R2_NOT

// An operation outside 1 to 16 is GDI's default, R2_COPYPEN.
inline unsigned binaryTable(unsigned code) { return code >= 1 && code <= 16 ? code - 1 : kCopyPen - 1; }

inline uint32_t binary(unsigned code, uint32_t pen, uint32_t pixel) {
    const unsigned t = binaryTable(code);
    // Bits 2P + D: 0 is P=0, D=0, 1 is P=0, D=1, 2 is P=1, D=0, 3 is P=1, D=1.
    uint32_t out = 0;
    if (t & 1) out |= ~pen & ~pixel;
    if (t & 2) out |= ~pen & pixel;
    if (t & 4) out |= pen & ~pixel;
    if (t & 8) out |= pen & pixel;
    return out & 0xFFFFFF;
}

// Whether drawing twice with it gives what drawing once does (copies, ANDs, ORs): the
// pixels a line shares with the next one may then be drawn twice.
inline bool binaryIdempotent(unsigned code) {
    for (uint32_t pen : {0u, 1u})
        for (uint32_t pixel : {0u, 1u}) {
            const uint32_t once = binary(code, pen ? 0xFFFFFF : 0, pixel ? 0xFFFFFF : 0);
            if (binary(code, pen ? 0xFFFFFF : 0, once) != once) return false;
        }
    return true;
}

// Whether the pixel below plays no part (the result is the pen's alone): it need not be read.
inline bool binaryIgnoresPixel(unsigned code) {
    const unsigned t = binaryTable(code);
    return ((t & 1) != 0) == ((t & 2) != 0) && ((t & 4) != 0) == ((t & 8) != 0);
}

inline uint32_t ternary(uint8_t table, uint32_t pattern, uint32_t source, uint32_t pixel) {
    uint32_t out = 0;
    for (unsigned bit = 0; bit < 8; ++bit) {
        if (!(table >> bit & 1)) continue;
        const uint32_t p = bit & 4 ? pattern : ~pattern, s = bit & 2 ? source : ~source, d = bit & 1 ? pixel : ~pixel;
        out |= p & s & d;
    }
    return out & 0xFFFFFF;
}

// The truth table of a 32-bit ROP code (its third byte).
inline uint8_t ternaryTable(uint32_t code) { return uint8_t(code >> 16); }

}  // namespace rop
