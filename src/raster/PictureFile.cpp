#include "raster/PictureFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "common/Error.h"
#include "common/FileDescriptor.h"
#include "common/LittleEndian.h"
#include "raster/BmpReader.h"

namespace qfip {

namespace {

// Icons and metafiles are read whole, since their bytes go to the drawing code; files
// larger than the largest bitmap this program decodes (32 bits a pixel at the raster
// limit) plus generous room are not read into memory.
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

FileIdentity identityOfStat(const struct stat& st) {
    return FileIdentity{uint64_t(st.st_dev),        uint64_t(st.st_ino),         int64_t(st.st_size),
                        int64_t(st.st_mtim.tv_sec), int64_t(st.st_mtim.tv_nsec), int64_t(st.st_ctim.tv_sec),
                        int64_t(st.st_ctim.tv_nsec)};
}

// Opens a picture file for reading and reads its status; an invalid descriptor when that
// fails. A folder or anything but a plain file (a pipe or a device could block or never
// end) can't be opened as a picture.
FileDescriptor openForReading(const std::string& path, struct stat& status) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.valid() && (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))) fd.reset();
    return fd;
}

// A picture file opened for reading, as it was when opened.
class OpenFile {
public:
    explicit OpenFile(const std::string& path) : fd_(openForReading(path, opened_)) {
        if (!fd_.valid()) throw Error("Cannot open file " + path);
    }

    int fd() const { return fd_.get(); }
    uint64_t size() const { return uint64_t(opened_.st_size); }
    FileIdentity identity() const { return identityOfStat(opened_); }
    // The file as it is now differs from the file as it was opened.
    bool changed() const {
        struct stat now {};
        return ::fstat(fd_.get(), &now) != 0 || identityOfStat(now) != identity();
    }

private:
    struct stat opened_ {};
    FileDescriptor fd_;
};

std::vector<uint8_t> readWhole(ByteSource& source) {
    if (source.size() > kMaxFileBytes) throw Error("Out of system resources");
    std::vector<uint8_t> bytes(size_t(source.size()));
    // A file that shrank while being read keeps what was read.
    bytes.resize(source.read(0, bytes.size(), bytes.data()).size());
    return bytes;
}

Picture loadBitmap(ByteSource& source, const LoadOptions& options, LoadInfo* info) {
    BmpDecoder decoder(source);
    if (info) info->width = decoder.width(), info->height = decoder.height();
    std::pair<int32_t, int32_t> size{decoder.width(), decoder.height()};
    if (options.plan && !decoder.layout().isEmpty()) {
        const auto planned = options.plan(decoder.width(), decoder.height());
        if (!planned) throw LoadAbandoned{};
        size = *planned;
    }
    try {
        if (size == std::pair{decoder.width(), decoder.height()}) return Picture::bitmap(decoder.decode(options.stop));
        return Picture::bitmap(decoder.decodeSampled(size.first, size.second, options.stop));
    } catch (const DecodeStopped&) {
        throw LoadAbandoned{};
    }
}

}  // namespace

std::string pictureExtension(std::string_view path) {
    const size_t at = path.find_last_of(".\\:/");
    if (at == std::string_view::npos || path[at] != '.') return std::string();
    return std::string(path.substr(at + 1));
}

Picture loadPicture(const std::string& path) { return loadPicture(path, LoadOptions{}); }

Picture loadPicture(const std::string& path, const LoadOptions& options, LoadInfo* info) {
    const std::string extension = pictureExtension(path);
    const std::string lower = lowerAscii(extension);
    if (!isKnownExtension(lower)) unknownExtension(extension);
    const OpenFile file(path);
    if (info) info->identity = file.identity();
    FileSource source(file.fd(), file.size());
    Picture picture = lower == "bmp" ? loadBitmap(source, options, info) : decodePicture(lower, readWhole(source));
    if (info) {
        info->changed = file.changed();
        if (!picture.hasRaster()) info->width = info->height = 0;
    }
    return picture;
}

std::optional<FileIdentity> identityOf(const std::string& path) {
    struct stat status {};
    if (!openForReading(path, status).valid()) return std::nullopt;
    return identityOfStat(status);
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
    const uint16_t type = readU16(bytes.data() + 2);
    if (type != 0 && type != 1) throw Error("Icon image is not valid");
    return Picture::drawn(PictureKind::Icon, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

Picture readMetafile(std::span<const uint8_t> bytes) {
    const uint8_t* p = bytes.data();
    if (bytes.size() > 100 && readU32(p) == 1 && readU32(p + 40) == 0x464D4520u) {
        return Picture::drawn(PictureKind::EnhancedMetafile, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    // The placeable header: key, handle, bounds, units per inch, reserved, then the
    // checksum: the exclusive-or of the ten 16-bit words before it.
    constexpr size_t kPlaceableHeaderSize = 22;
    if (bytes.size() < kPlaceableHeaderSize || readU32(p) != 0x9AC6CDD7u) throw Error("Metafile is not valid");
    uint16_t sum = 0;
    for (size_t i = 0; i < 10; ++i) sum ^= readU16(p + 2 * i);
    if (sum != readU16(p + 20)) throw Error("Metafile is not valid");
    return Picture::drawn(PictureKind::PlaceableMetafile, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

}  // namespace qfip
