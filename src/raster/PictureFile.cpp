#include "raster/PictureFile.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include "common/Error.h"
#include "raster/BmpReader.h"

namespace qfip {

namespace {

// Files larger than the largest picture this program decodes (a 32-bit bitmap at the
// raster limit) plus generous room for headers are not read into memory.
constexpr uint64_t kMaxFileBytes = uint64_t(Raster::kMaxPixels) * 4 + (uint64_t(64) << 20);

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return out;
}

bool isKnownExtension(const std::string& lower) {
    return lower == "bmp" || lower == "ico" || lower == "emf" || lower == "wmf";
}

[[noreturn]] void unknownExtension(std::string_view extension) {
    throw Error("Unknown picture file extension (." + std::string(extension) + ")");
}

uint16_t u16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t u32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

std::vector<uint8_t> readWholeFile(const std::string& path) {
    std::error_code ec;
    const bool folder = std::filesystem::is_directory(path, ec);
    std::ifstream file;
    if (!folder) file.open(path, std::ios::binary);
    if (folder || !file) throw Error("Cannot open file " + path);
    file.seekg(0, std::ios::end);
    const std::streamoff end = file.tellg();
    file.seekg(0, std::ios::beg);
    if (end < 0 || !file) throw Error("Stream read error");
    if (uint64_t(end) > kMaxFileBytes) throw Error("Out of system resources");
    std::vector<uint8_t> bytes(static_cast<size_t>(end));
    file.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    // A file that shrank while being read keeps what was read.
    bytes.resize(size_t(file.gcount()));
    return bytes;
}

}  // namespace

std::string pictureExtension(std::string_view path) {
    const size_t at = path.find_last_of(".\\:/");
    if (at == std::string_view::npos || path[at] != '.') return std::string();
    return std::string(path.substr(at + 1));
}

Picture loadPicture(const std::string& path) {
    const std::string extension = pictureExtension(path);
    const std::string lower = lowerAscii(extension);
    if (!isKnownExtension(lower)) unknownExtension(extension);
    const std::vector<uint8_t> bytes = readWholeFile(path);
    return decodePicture(lower, bytes);
}

Picture decodePicture(std::string_view extension, std::span<const uint8_t> bytes, int64_t maxPixels) {
    const std::string lower = lowerAscii(extension);
    if (lower == "bmp") return Picture::bitmap(readBmp(bytes, maxPixels));
    if (lower == "ico") return readIcon(bytes);
    if (lower == "emf" || lower == "wmf") return readMetafile(bytes);
    unknownExtension(extension);
}

Picture readIcon(std::span<const uint8_t> bytes) {
    if (bytes.size() < 6) throw Error("Stream read error");
    const uint16_t type = u16(bytes.data() + 2);
    if (type != 0 && type != 1) throw Error("Icon image is not valid");
    return Picture::drawn(PictureKind::Icon, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

Picture readMetafile(std::span<const uint8_t> bytes) {
    const uint8_t* p = bytes.data();
    if (bytes.size() > 100 && u32(p) == 1 && u32(p + 40) == 0x464D4520u) {
        return Picture::drawn(PictureKind::EnhancedMetafile, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    // The placeable header: key, handle, bounds, units per inch, reserved, then the
    // checksum: the exclusive-or of the ten 16-bit words before it.
    constexpr size_t kPlaceableHeaderSize = 22;
    if (bytes.size() < kPlaceableHeaderSize || u32(p) != 0x9AC6CDD7u) throw Error("Metafile is not valid");
    uint16_t sum = 0;
    for (size_t i = 0; i < 10; ++i) sum ^= u16(p + 2 * i);
    if (sum != u16(p + 20)) throw Error("Metafile is not valid");
    return Picture::drawn(PictureKind::PlaceableMetafile, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

}  // namespace qfip
