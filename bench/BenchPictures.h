#pragma once

// Picture files of the benchmarks: square 24-bit pictures written once into
// $QFIP_BENCH_DIR (default /tmp/qfip-bench-steps) and reused while their size is right.
#include <QByteArray>
#include <QtGlobal>

#include <filesystem>
#include <string>

#include "support/BmpWriter.h"

inline std::filesystem::path benchFolder() {
    const QByteArray dir = qgetenv("QFIP_BENCH_DIR");
    return dir.isEmpty() ? std::filesystem::path("/tmp/qfip-bench-steps") : std::filesystem::path(dir.toStdString());
}

// Picture `which` (0 or 1: two different files) of the given side.
inline std::string benchPicture(int side, int which) {
    namespace fs = std::filesystem;
    const fs::path folder = benchFolder();
    fs::create_directories(folder);
    const fs::path path = folder / (std::string("p").append(std::to_string(side)).append(which ? "b.bmp" : "a.bmp"));
    std::error_code ec;
    if (fs::file_size(path, ec) != 54 + uint64_t(side) * uint64_t(side) * 3) {
        qfip::testing::writePatternBmp24(path.string(), side, side, uint8_t(which * 40));
    }
    return path.string();
}
