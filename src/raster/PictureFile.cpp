#include "raster/PictureFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <new>

#include "common/Error.h"
#include "common/FileDescriptor.h"
#include "raster/BmpReader.h"

namespace qfip {

namespace {

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

// An icon's or metafile's kind, by its extension and the header checks on its first bytes.
DrawnKind checkedDrawnKind(const std::string& lower, std::span<const uint8_t> head, uint64_t fileSize) {
    if (lower == "ico") {
        checkIconHeader(head);
        return DrawnKind::Icon;
    }
    return metafileKind(head, fileSize);
}

// An icon or metafile: its header checked first, then the file read once, straight into
// the sealed memory file that goes to the drawing helper. A file larger than the helper
// can draw is not read.
Picture loadDrawn(const std::string& lower, int fd, ByteSource& source) {
    uint8_t scratch[kDrawnHeaderBytes];
    const std::span<const uint8_t> head = source.read(0, size_t(std::min<uint64_t>(source.size(), sizeof scratch)), scratch);
    const DrawnKind kind = checkedDrawnKind(lower, head, source.size());
    if (source.size() > kMaxDrawnFileBytes) throw Error(notValidMessage(kind));
    try {
        return Picture::drawn(kind, SealedBytes::copyOf(fd, source.size(), kDrawnFilePadding));
    } catch (const std::bad_alloc&) {
        throw Error("Out of system resources");
    }
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
        if (size == std::pair{decoder.width(), decoder.height()})
            return Picture::bitmap(decoder.decode(options.stop, options.share));
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
    Picture picture = lower == "bmp" ? loadBitmap(source, options, info) : loadDrawn(lower, file.fd(), source);
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
    checkIconHeader(bytes);
    return Picture::drawn(DrawnKind::Icon, SealedBytes::copyOf(bytes, kDrawnFilePadding));
}

Picture readMetafile(std::span<const uint8_t> bytes) {
    return Picture::drawn(metafileKind(bytes, bytes.size()), SealedBytes::copyOf(bytes, kDrawnFilePadding));
}

}  // namespace qfip
