// Decoding speed of 4096 x 4096 BMP pictures held in memory: our reader against Qt's
// QImage::loadFromData and stb_image, with a plain copy of the 64 MiB of decoded pixels
// as the yardstick (into a fresh allocation, as a decode must, and into a reused buffer).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <stb_image.h>

#if __has_include(<QImage>)
#include <QByteArray>
#include <QImage>
#define QFIP_BENCH_QT 1
#endif

#include "raster/BmpReader.h"
#include "support/BmpWriter.h"

namespace {

using qfip::testing::bmpHeaders;
using qfip::testing::finishBmp;

constexpr int kSide = 4096;
constexpr size_t kDecodedBytes = size_t(kSide) * kSide * 4;

// Smooth gradients with a little noise, like a scanned photograph.
uint8_t level(int x, int y, int channel, std::mt19937& noise) {
    const int base = channel == 0 ? x / 16 : channel == 1 ? y / 16 : (x + y) / 32;
    return uint8_t(base + int(noise() % 9) - 4);
}

std::vector<uint8_t> picture24() {
    std::mt19937 noise(1);
    std::vector<uint8_t> out = bmpHeaders(kSide, kSide, 24);
    const size_t offset = out.size();
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            for (int c = 2; c >= 0; --c) out.push_back(level(x, y, c, noise));  // B, G, R
        }
    }
    finishBmp(out, offset);
    return out;
}

std::vector<uint8_t> picture32() {
    std::mt19937 noise(2);
    std::vector<uint8_t> out = bmpHeaders(kSide, kSide, 32);
    const size_t offset = out.size();
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            for (int c = 2; c >= 0; --c) out.push_back(level(x, y, c, noise));
            out.push_back(0);
        }
    }
    finishBmp(out, offset);
    return out;
}

void greyTable(std::vector<uint8_t>& out) {
    for (int i = 0; i < 256; ++i) out.insert(out.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
}

std::vector<uint8_t> picture8() {
    std::mt19937 noise(3);
    std::vector<uint8_t> out = bmpHeaders(kSide, kSide, 8, 0, 0, 256);
    greyTable(out);
    const size_t offset = out.size();
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) out.push_back(level(x, y, 2, noise));
    }
    finishBmp(out, offset);
    return out;
}

// A scan-like 8-bit picture: runs of one grey level (background, flat areas) of random
// length, with short noisy stretches between them, compressed with RLE8.
std::vector<uint8_t> pictureRle8() {
    std::mt19937 noise(4);
    std::vector<uint8_t> out = bmpHeaders(kSide, kSide, 8, 1, 0, 256);
    greyTable(out);
    const size_t offset = out.size();
    for (int y = 0; y < kSide; ++y) {
        int x = 0;
        while (x < kSide) {
            if (noise() % 4 != 0) {  // an encoded run of 8 to 200 pixels
                const int n = std::min(kSide - x, 8 + int(noise() % 193));
                out.push_back(uint8_t(n));
                out.push_back(uint8_t((x + y) / 32 + int(noise() % 5)));
                x += n;
            } else {  // an absolute run of 3 to 40 noisy pixels, padded to 16 bits
                const int n = std::min(kSide - x, 3 + int(noise() % 38));
                if (n < 3) {
                    out.push_back(uint8_t(n));
                    out.push_back(uint8_t(y / 16));
                } else {
                    out.push_back(0);
                    out.push_back(uint8_t(n));
                    for (int i = 0; i < n; ++i) out.push_back(uint8_t((x + i + y) / 32 + int(noise() % 9)));
                    if (n % 2) out.push_back(0);
                }
                x += n;
            }
        }
        out.push_back(0);
        out.push_back(0);  // end of line
    }
    out.push_back(0);
    out.push_back(1);  // end of bitmap
    finishBmp(out, offset);
    qfip::testing::setU32(out, 34, uint32_t(out.size() - offset));
    return out;
}

const std::vector<uint8_t>& pictureOf(int kind) {
    static const std::vector<uint8_t> pictures[] = {picture24(), picture8(), pictureRle8(), picture32()};
    return pictures[kind];
}

const char* const kKindNames[] = {"24bit", "8bit", "8bitRle", "32bit"};

void BM_OurReader(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = pictureOf(int(state.range(0)));
    for (auto _ : state) {
        qfip::Raster r = qfip::readBmp(bytes);
        benchmark::DoNotOptimize(r.data());
    }
    state.SetLabel(kKindNames[state.range(0)]);
}

// stb_image decoding to 4 bytes a pixel, the size of our output.
void BM_StbImage(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = pictureOf(int(state.range(0)));
    for (auto _ : state) {
        int w = 0, h = 0, n = 0;
        stbi_uc* p = stbi_load_from_memory(bytes.data(), int(bytes.size()), &w, &h, &n, 4);
        if (!p) state.SkipWithError("stb_image failed");
        benchmark::DoNotOptimize(p);
        stbi_image_free(p);
    }
    state.SetLabel(kKindNames[state.range(0)]);
}

#ifdef QFIP_BENCH_QT
// Qt's own format choice: 32-bit for 24- and 32-bit files, indexed 8-bit for 8-bit ones.
void BM_QtLoadFromData(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = pictureOf(int(state.range(0)));
    for (auto _ : state) {
        QImage image;
        if (!image.loadFromData(bytes.data(), int(bytes.size()), "BMP")) state.SkipWithError("Qt failed");
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetLabel(kKindNames[state.range(0)]);
}
BENCHMARK(BM_QtLoadFromData)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
#endif

// The yardstick: 64 MiB of decoded pixels copied into a fresh allocation.
void BM_CopyFresh(benchmark::State& state) {
    const std::unique_ptr<uint8_t[]> source = std::make_unique<uint8_t[]>(kDecodedBytes);
    std::memset(source.get(), 0x5A, kDecodedBytes);
    for (auto _ : state) {
        std::unique_ptr<uint8_t[]> target = std::make_unique_for_overwrite<uint8_t[]>(kDecodedBytes);
        std::memcpy(target.get(), source.get(), kDecodedBytes);
        benchmark::DoNotOptimize(target.get());
        benchmark::ClobberMemory();
    }
}

// The copy into a fresh raster, allocated the way the reader allocates its output.
void BM_CopyFreshRaster(benchmark::State& state) {
    const std::unique_ptr<uint8_t[]> source = std::make_unique<uint8_t[]>(kDecodedBytes);
    std::memset(source.get(), 0x5A, kDecodedBytes);
    for (auto _ : state) {
        qfip::Raster target = qfip::Raster::uninitialised(kSide, kSide);
        std::memcpy(target.data(), source.get(), kDecodedBytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
}

// The same copy into one buffer reused for every run (no page faults).
void BM_CopyReused(benchmark::State& state) {
    const std::unique_ptr<uint8_t[]> source = std::make_unique<uint8_t[]>(kDecodedBytes);
    const std::unique_ptr<uint8_t[]> target = std::make_unique<uint8_t[]>(kDecodedBytes);
    std::memset(source.get(), 0x5A, kDecodedBytes);
    for (auto _ : state) {
        std::memcpy(target.get(), source.get(), kDecodedBytes);
        benchmark::DoNotOptimize(target.get());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_OurReader)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StbImage)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyFresh)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyFreshRaster)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyReused)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
