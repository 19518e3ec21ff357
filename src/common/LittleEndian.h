#pragma once

// Little-endian integers in byte buffers: how every file format this program reads (BMP,
// icons, metafiles) and the exchange with the drawing helper store their numbers. The
// readers take bytes the caller has already checked are there.
#include <cstddef>
#include <cstdint>
#include <span>

namespace qfip {

inline uint16_t readU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t readU64(const uint8_t* p) { return uint64_t(readU32(p)) | uint64_t(readU32(p + 4)) << 32; }
inline int16_t readS16(const uint8_t* p) { return int16_t(readU16(p)); }
inline int32_t readS32(const uint8_t* p) { return int32_t(readU32(p)); }

// The same at an offset of a span (the caller has checked `at` plus the size fits).
inline uint16_t readU16(std::span<const uint8_t> b, size_t at) { return readU16(b.data() + at); }
inline uint32_t readU32(std::span<const uint8_t> b, size_t at) { return readU32(b.data() + at); }
inline uint64_t readU64(std::span<const uint8_t> b, size_t at) { return readU64(b.data() + at); }
inline int16_t readS16(std::span<const uint8_t> b, size_t at) { return readS16(b.data() + at); }
inline int32_t readS32(std::span<const uint8_t> b, size_t at) { return readS32(b.data() + at); }

inline void writeU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void writeU64(uint8_t* p, uint64_t v) {
    writeU32(p, uint32_t(v));
    writeU32(p + 4, uint32_t(v >> 32));
}

}  // namespace qfip
