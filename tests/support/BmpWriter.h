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

// The 14-byte file header followed by a 40-byte info header (BmpFile, below, without
// colour table or pixels); the caller appends the colour table and pixels, then calls
// finishBmp to set the file size and data offset.
inline std::vector<uint8_t> bmpHeaders(int32_t width, int32_t height, uint16_t bitCount,
                                       uint32_t compression = 0, uint32_t imageSize = 0,
                                       uint32_t colorsUsed = 0);

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

// Every part of a BMP file, for tests that need headers other than the plain 40-byte one.
// bytes() lays out: file header, info header (12, 40 or any larger size; masks inside
// from 52 bytes on), separate masks (when separateMasks), colour table, pixel data.
struct BmpFile {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t planes = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t headerSize = 40;
    uint32_t imageSize = 0;
    uint32_t colorsUsed = 0;
    std::vector<uint32_t> palette;  // 0x00RRGGBB entries (3 bytes each for a 12-byte header)
    uint32_t redMask = 0, greenMask = 0, blueMask = 0, alphaMask = 0;
    bool separateMasks = false;     // three 4-byte masks after a 40-byte header
    std::vector<uint8_t> pixels;    // stored pixel data, written as given
    int64_t dataOffset = -1;        // bytes 10..13; -1: where the pixels start

    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> out{'B', 'M'};
        putU32(out, 0);
        putU32(out, 0);
        putU32(out, 0);
        putU32(out, headerSize);
        if (headerSize == 12) {
            putU16(out, uint32_t(width));
            putU16(out, uint32_t(height));
            putU16(out, planes);
            putU16(out, bitCount);
        } else {
            putU32(out, uint32_t(width));
            putU32(out, uint32_t(height));
            putU16(out, planes);
            putU16(out, bitCount);
            putU32(out, compression);
            putU32(out, imageSize);
            putU32(out, 2835);
            putU32(out, 2835);
            putU32(out, colorsUsed);
            putU32(out, 0);
            const uint32_t extra[] = {redMask, greenMask, blueMask, alphaMask};
            for (uint32_t at = 40, k = 0; at < headerSize; at += 4, ++k) {
                if (headerSize - at < 4) {
                    out.insert(out.end(), headerSize - at, 0);
                    break;
                }
                putU32(out, k < 4 ? extra[k] : 0);
            }
        }
        if (separateMasks) {
            putU32(out, redMask);
            putU32(out, greenMask);
            putU32(out, blueMask);
        }
        for (uint32_t c : palette) {
            out.push_back(uint8_t(c));
            out.push_back(uint8_t(c >> 8));
            out.push_back(uint8_t(c >> 16));
            if (headerSize != 12) out.push_back(0);
        }
        const size_t offset = out.size();
        out.insert(out.end(), pixels.begin(), pixels.end());
        finishBmp(out, dataOffset < 0 ? offset : size_t(dataOffset));
        return out;
    }
};

inline std::vector<uint8_t> bmpHeaders(int32_t width, int32_t height, uint16_t bitCount, uint32_t compression,
                                       uint32_t imageSize, uint32_t colorsUsed) {
    BmpFile headers;
    headers.width = width;
    headers.height = height;
    headers.bitCount = bitCount;
    headers.compression = compression;
    headers.imageSize = imageSize;
    headers.colorsUsed = colorsUsed;
    return headers.bytes();
}

// Packs rows of values (pixel indices, or 16/24/32-bit pixel words) of the given depth,
// each row padded to a multiple of 4 bytes, in the order given.
inline std::vector<uint8_t> packRows(uint16_t bitCount, const std::vector<std::vector<uint32_t>>& rows) {
    std::vector<uint8_t> out;
    for (const auto& row : rows) {
        std::vector<uint8_t> line;
        if (bitCount < 8) {
            const int perByte = 8 / bitCount;
            line.resize((row.size() + size_t(perByte) - 1) / size_t(perByte), 0);
            for (size_t x = 0; x < row.size(); ++x) {
                const int shift = 8 - bitCount * (int(x % size_t(perByte)) + 1);
                line[x / size_t(perByte)] |= uint8_t(row[x] << shift);
            }
        } else {
            for (uint32_t v : row) {
                for (int i = 0; i < bitCount / 8; ++i) line.push_back(uint8_t(v >> (8 * i)));
            }
        }
        line.resize((line.size() + 3) / 4 * 4, 0);
        out.insert(out.end(), line.begin(), line.end());
    }
    return out;
}

// Writes a bottom-up 24-bit BMP file of any size a row at a time, without holding the
// picture: pixel (x, y) has blue, green, red = (x + 3y, 2x + y, x ^ y) mod 256, a pattern
// no run-length or constant-row shortcut could take. Returns false when writing failed.
inline bool writePatternBmp24(const std::string& path, int32_t width, int32_t height, uint8_t salt = 0) {
    std::vector<uint8_t> header = bmpHeaders(width, height, 24);
    const size_t rowBytes = (size_t(width) * 3 + 3) / 4 * 4;
    finishBmp(header, header.size());
    setU32(header, 2, uint32_t(header.size() + rowBytes * size_t(height)));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header.data()), std::streamsize(header.size()));
    std::vector<uint8_t> row(rowBytes, 0);
    for (int32_t y = height - 1; y >= 0; --y) {
        for (int32_t x = 0; x < width; ++x) {
            row[size_t(x) * 3] = uint8_t(x + 3 * y + salt);
            row[size_t(x) * 3 + 1] = uint8_t(2 * x + y + salt);
            row[size_t(x) * 3 + 2] = uint8_t(x ^ y);
        }
        out.write(reinterpret_cast<const char*>(row.data()), std::streamsize(row.size()));
    }
    return bool(out);
}

// A grey checkerboard of one-pixel squares whose dark squares name their place: light (255)
// where x + y is odd, 2x + 3y elsewhere (0 at the top-left corner). Any pixel drawn twice
// or left out shows, and a window's values tell where it was taken (side at most 51).
inline uint8_t checkerLevel(int x, int y) { return (x + y) % 2 ? 255 : uint8_t(2 * x + 3 * y); }

inline std::vector<uint8_t> checkerboardBmp(int side) {
    std::vector<Rgb> pixels;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) pixels.push_back({checkerLevel(x, y), checkerLevel(x, y), checkerLevel(x, y)});
    return bmp24(side, side, pixels);
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace qfip::testing
