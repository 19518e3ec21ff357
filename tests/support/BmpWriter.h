#pragma once

// Builds BMP file bytes in tests, so every picture's values are known exactly.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace qfip::testing {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline void putU16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
inline void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
inline void setU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
}

// The 14-byte file header followed by a 40-byte info header; the caller appends the
// colour table and pixels, then calls finishBmp to set the file size and data offset.
inline std::vector<uint8_t> bmpHeaders(int32_t width, int32_t height, uint16_t bitCount,
                                       uint32_t compression = 0, uint32_t imageSize = 0,
                                       uint32_t colorsUsed = 0) {
    std::vector<uint8_t> out{'B', 'M'};
    putU32(out, 0);        // file size, set by finishBmp
    putU32(out, 0);        // reserved
    putU32(out, 0);        // data offset, set by finishBmp
    putU32(out, 40);
    putU32(out, uint32_t(width));
    putU32(out, uint32_t(height));
    putU16(out, 1);
    putU16(out, bitCount);
    putU32(out, compression);
    putU32(out, imageSize);
    putU32(out, 2835);
    putU32(out, 2835);
    putU32(out, colorsUsed);
    putU32(out, 0);
    return out;
}

inline void finishBmp(std::vector<uint8_t>& bytes, size_t dataOffset) {
    setU32(bytes, 2, uint32_t(bytes.size()));
    setU32(bytes, 10, uint32_t(dataOffset));
}

// A bottom-up 24-bit BMP of the given pixels (row-major, top row first).
inline std::vector<uint8_t> bmp24(int32_t width, int32_t height, const std::vector<Rgb>& pixels) {
    std::vector<uint8_t> out = bmpHeaders(width, height, 24);
    const size_t offset = out.size();
    const size_t pad = (4 - (size_t(width) * 3) % 4) % 4;
    for (int32_t y = height - 1; y >= 0; --y) {
        for (int32_t x = 0; x < width; ++x) {
            const Rgb& p = pixels[size_t(y) * size_t(width) + size_t(x)];
            out.push_back(p.b);
            out.push_back(p.g);
            out.push_back(p.r);
        }
        out.insert(out.end(), pad, 0);
    }
    finishBmp(out, offset);
    return out;
}

// A bottom-up 8-bit grey BMP (palette index = grey level) of the given levels.
inline std::vector<uint8_t> bmp8Grey(int32_t width, int32_t height, const std::vector<uint8_t>& levels) {
    std::vector<uint8_t> out = bmpHeaders(width, height, 8, 0, 0, 256);
    for (int i = 0; i < 256; ++i) {
        out.push_back(uint8_t(i));
        out.push_back(uint8_t(i));
        out.push_back(uint8_t(i));
        out.push_back(0);
    }
    const size_t offset = out.size();
    const size_t pad = (4 - size_t(width) % 4) % 4;
    for (int32_t y = height - 1; y >= 0; --y) {
        for (int32_t x = 0; x < width; ++x) out.push_back(levels[size_t(y) * size_t(width) + size_t(x)]);
        out.insert(out.end(), pad, 0);
    }
    finishBmp(out, offset);
    return out;
}

// A uniform 24-bit picture.
inline std::vector<uint8_t> bmp24Uniform(int32_t width, int32_t height, Rgb colour) {
    return bmp24(width, height, std::vector<Rgb>(size_t(width) * size_t(height), colour));
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace qfip::testing
