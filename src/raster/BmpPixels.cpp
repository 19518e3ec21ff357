#include "raster/BmpPixels.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QFIP_HAVE_X86 1
#endif

namespace qfip {

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

uint32_t load24(const uint8_t* p) { return kOpaque | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0]; }

void rgb24Scalar(const uint8_t* src, size_t count, uint32_t* dst) {
    size_t i = 0;
    // Four bytes at a time while a fourth byte follows the pixel; the last pixel bytewise.
    for (; i + 1 < count; ++i) {
        uint32_t w;
        std::memcpy(&w, src + 3 * i, 4);
        dst[i] = kOpaque | (w & 0x00FFFFFFu);  // little-endian: B, G, R in the low bytes
    }
    for (; i < count; ++i) dst[i] = load24(src + 3 * i);
}

#ifdef QFIP_HAVE_X86
// 16 bytes stored into the cache, or past it (to an address aligned to 16 bytes).
template <bool PastCache>
void store16(uint32_t* dst, __m128i value) {
    if constexpr (PastCache) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(dst), value);
    } else {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), value);
    }
}

// Pixels one at a time until the destination is aligned for stores past the cache.
size_t alignedFrom(const uint32_t* dst, size_t count) {
    const size_t misaligned = (reinterpret_cast<uintptr_t>(dst) & 15) / 4;
    return std::min(count, misaligned == 0 ? 0 : 4 - misaligned);
}

// 16 pixels per step: three 16-byte loads, four shuffles of B, G, R into pixel words.
template <bool PastCache>
__attribute__((target("ssse3"))) void rgb24Ssse3(const uint8_t* src, size_t count, uint32_t* dst) {
    const __m128i shuffle = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32(int(kOpaque));
    size_t i = PastCache ? alignedFrom(dst, count) : 0;
    rgb24Scalar(src, i, dst);
    for (; i + 16 <= count; i += 16) {
        const uint8_t* s = src + 3 * i;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
        store16<PastCache>(dst + i, _mm_or_si128(_mm_shuffle_epi8(a, shuffle), alpha));
        store16<PastCache>(dst + i + 4, _mm_or_si128(_mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), shuffle), alpha));
        store16<PastCache>(dst + i + 8, _mm_or_si128(_mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), shuffle), alpha));
        store16<PastCache>(dst + i + 12, _mm_or_si128(_mm_shuffle_epi8(_mm_srli_si128(c, 4), shuffle), alpha));
    }
    rgb24Scalar(src + 3 * i, count - i, dst + i);
}

bool haveSsse3() {
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}
#endif

template <bool PastCache = false>
void rgb24(const uint8_t* src, size_t count, uint32_t* dst) {
#ifdef QFIP_HAVE_X86
    if (haveSsse3()) return rgb24Ssse3<PastCache>(src, count, dst);
#endif
    rgb24Scalar(src, count, dst);
}

// x888: the low three bytes are blue, green, red; the top byte is unused.
void rgb32(const uint8_t* src, size_t count, uint32_t* dst) {
    for (size_t i = 0; i < count; ++i) {
        uint32_t w;
        std::memcpy(&w, src + 4 * i, 4);
        dst[i] = w | kOpaque;
    }
}

void rgb32PastCache(const uint8_t* src, size_t count, uint32_t* dst) {
#ifdef QFIP_HAVE_X86
    const __m128i alpha = _mm_set1_epi32(int(kOpaque));
    size_t i = alignedFrom(dst, count);
    rgb32(src, i, dst);
    for (; i + 4 <= count; i += 4) {
        store16<true>(dst + i, _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i)), alpha));
    }
    rgb32(src + 4 * i, count - i, dst + i);
#else
    rgb32(src, count, dst);
#endif
}

void indexed8(const uint8_t* src, size_t count, uint32_t* dst, const uint32_t* palette) {
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        dst[i] = palette[src[i]];
        dst[i + 1] = palette[src[i + 1]];
        dst[i + 2] = palette[src[i + 2]];
        dst[i + 3] = palette[src[i + 3]];
    }
    for (; i < count; ++i) dst[i] = palette[src[i]];
}

void indexed4(const uint8_t* src, size_t count, uint32_t* dst, const uint32_t* palette) {
    size_t i = 0;
    for (; i + 2 <= count; i += 2) {
        const uint8_t b = src[i / 2];
        dst[i] = palette[b >> 4];  // the high nibble is the left pixel
        dst[i + 1] = palette[b & 0x0F];
    }
    if (i < count) dst[i] = palette[src[i / 2] >> 4];
}

void indexed1(const uint8_t* src, size_t count, uint32_t* dst, const uint32_t* palette) {
    for (size_t i = 0; i < count; ++i) dst[i] = palette[(src[i / 8] >> (7 - i % 8)) & 1];
}

// Pixels decoded into the cache-resident buffer at a time (4 KiB). A multiple of 8, so
// every piece of a row starts at a whole byte at any bit depth.
constexpr int32_t kStagedPixels = 1024;

// Copies pixels with stores that go past the caches, aligned as those stores need.
void streamPixels(uint32_t* dst, const uint32_t* src, size_t count) {
#ifdef QFIP_HAVE_X86
    size_t i = 0;
    for (; i < count && (reinterpret_cast<uintptr_t>(dst + i) & 15) != 0; ++i) dst[i] = src[i];
    for (; i + 4 <= count; i += 4) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i), _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
    }
    for (; i < count; ++i) dst[i] = src[i];
#else
    std::memcpy(dst, src, count * sizeof(uint32_t));
#endif
}

}  // namespace

void fillBlack(uint32_t* dst, size_t count) { std::fill_n(dst, count, kOpaque); }

void finishWritingPastCache() {
#ifdef QFIP_HAVE_X86
    _mm_sfence();
#endif
}

void BmpRowDecoder::decodePastCache(const uint8_t* src, int32_t count, uint32_t* dst) const {
    const size_t n = size_t(std::max(count, 0));
    if (kind_ == Kind::Bits24) return rgb24<true>(src, n, dst);
    if (kind_ == Kind::Rgb32) return rgb32PastCache(src, n, dst);
    // The other kinds are decoded into a buffer the cache keeps, then copied past it.
    alignas(64) uint32_t staged[kStagedPixels];
    for (int32_t x = 0; x < count; x += kStagedPixels) {
        const int32_t n = std::min(kStagedPixels, count - x);
        decode(src + size_t(x) * layout_.bitCount / 8, n, staged);
        streamPixels(dst + x, staged, size_t(n));
    }
}

MaskChannel::MaskChannel(uint32_t mask) : mask_(mask) {
    shift_ = mask == 0 ? 0 : uint32_t(std::countr_zero(mask));
    max_ = mask >> shift_;
    if (max_ <= 0xFFFFu) {
        table_.resize(size_t(max_) + 1);
        for (uint32_t v = 0; v <= max_; ++v) {
            table_[v] = max_ == 0 ? 0 : uint8_t((uint64_t(v) * 510 + max_) / (uint64_t(max_) * 2));
        }
    }
}

BmpRowDecoder::BmpRowDecoder(const BmpLayout& layout)
    : layout_(layout), red_(layout.redMask), green_(layout.greenMask), blue_(layout.blueMask) {
    switch (layout.bitCount) {
    case 1: kind_ = Kind::Bits1; break;
    case 4: kind_ = Kind::Bits4; break;
    case 8: kind_ = Kind::Bits8; break;
    case 16: kind_ = Kind::Bits16; break;
    case 24: kind_ = Kind::Bits24; break;
    default:
        kind_ = red_.isPlainByte() && green_.isPlainByte() && blue_.isPlainByte() && red_.shift() == 16 &&
                        green_.shift() == 8 && blue_.shift() == 0
                    ? Kind::Rgb32
                    : Kind::Masks32;
        break;
    }
    if (kind_ == Kind::Bits16) {
        table16_.resize(65536);
        for (uint32_t v = 0; v < 65536; ++v) {
            table16_[v] = kOpaque | (red_.level(v) << 16) | (green_.level(v) << 8) | blue_.level(v);
        }
    }
}

void BmpRowDecoder::decode(const uint8_t* src, int32_t count, uint32_t* dst) const {
    const size_t n = size_t(std::max(count, 0));
    const uint32_t* palette = layout_.palette.data();
    switch (kind_) {
    case Kind::Bits1: indexed1(src, n, dst, palette); break;
    case Kind::Bits4: indexed4(src, n, dst, palette); break;
    case Kind::Bits8: indexed8(src, n, dst, palette); break;
    case Kind::Bits16: {
        const uint32_t* table = table16_.data();
        for (size_t i = 0; i < n; ++i) dst[i] = table[src[2 * i] | (src[2 * i + 1] << 8)];
        break;
    }
    case Kind::Bits24: rgb24(src, n, dst); break;
    case Kind::Rgb32: rgb32(src, n, dst); break;
    case Kind::Masks32:
        for (size_t i = 0; i < n; ++i) {
            uint32_t w;
            std::memcpy(&w, src + 4 * i, 4);
            dst[i] = kOpaque | (red_.level(w) << 16) | (green_.level(w) << 8) | blue_.level(w);
        }
        break;
    }
}

uint32_t BmpRowDecoder::pixelAt(const uint8_t* src, int64_t x) const {
    const uint32_t* palette = layout_.palette.data();
    switch (kind_) {
    case Kind::Bits1: return palette[(src[x / 8] >> (7 - x % 8)) & 1];
    case Kind::Bits4: return palette[(x & 1) ? (src[x / 2] & 0x0F) : (src[x / 2] >> 4)];
    case Kind::Bits8: return palette[src[x]];
    case Kind::Bits16: return table16_[src[2 * x] | (src[2 * x + 1] << 8)];
    case Kind::Bits24: return load24(src + 3 * x);
    case Kind::Rgb32:
    case Kind::Masks32: {
        uint32_t out;
        decode(src + 4 * x, 1, &out);
        return out;
    }
    }
    return kOpaque;
}

}  // namespace qfip
