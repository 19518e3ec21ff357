#include "exchange/RenderExchange.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

#include "common/LittleEndian.h"

namespace qfip::exchange {

namespace {

// extent * 96 / unitsPerInch, rounded half up; extents are non-negative here.
int64_t toScreenPixels(int64_t extent, int64_t unitsPerInch) {
    return (extent * 96 * 2 + unitsPerInch) / (2 * unitsPerInch);
}

// Sizes here are never negative. An empty size is a picture with nothing to draw.
std::optional<Size> boundedSize(int64_t width, int64_t height) {
    if (width > kMaxMetafileSide || height > kMaxMetafileSide || width * height > kMaxMetafilePixels)
        return std::nullopt;
    return Size{int(width), int(height)};
}

bool knownKind(uint32_t kind) { return kind >= 1 && kind <= 3; }

}  // namespace

bool withinBounds(DrawnKind kind, uint64_t width, uint64_t height) {
    const bool icon = kind == DrawnKind::Icon;
    const uint64_t maxSide = uint64_t(icon ? kMaxIconSide : kMaxMetafileSide);
    const uint64_t maxPixels = uint64_t(icon ? kMaxIconPixels : kMaxMetafilePixels);
    // Sides beyond maxSide are refused before their product is taken, so it can't overflow.
    return width >= 1 && height >= 1 && width <= maxSide && height <= maxSide && width * height <= maxPixels;
}

const char* notValidMessage(DrawnKind kind) {
    return kind == DrawnKind::Icon ? "Icon image is not valid" : "Metafile is not valid";
}

std::optional<Size> enhancedMetafileSize(std::span<const uint8_t> bytes) {
    // EMR_HEADER: type, size, rclBounds (device pixels, inclusive), rclFrame (0.01 mm).
    if (bytes.size() < 40) return std::nullopt;
    const int64_t frameWidth = std::llabs(int64_t(readS32(bytes, 32)) - readS32(bytes, 24));
    const int64_t frameHeight = std::llabs(int64_t(readS32(bytes, 36)) - readS32(bytes, 28));
    if (frameWidth > 0 && frameHeight > 0)
        return boundedSize(toScreenPixels(frameWidth, 2540), toScreenPixels(frameHeight, 2540));
    const int64_t boundsWidth = std::llabs(int64_t(readS32(bytes, 16)) - readS32(bytes, 8)) + 1;
    const int64_t boundsHeight = std::llabs(int64_t(readS32(bytes, 20)) - readS32(bytes, 12)) + 1;
    return boundedSize(boundsWidth, boundsHeight);
}

std::optional<Size> placeableMetafileSize(std::span<const uint8_t> bytes) {
    // Placeable header: key, handle, left, top, right, bottom (16-bit), units per inch.
    if (bytes.size() < 22) return std::nullopt;
    const int64_t unitsPerInch = readU16(bytes, 14);
    if (unitsPerInch == 0) return Size{0, 0};
    const int64_t width = std::llabs(int64_t(readS16(bytes, 10)) - readS16(bytes, 6));
    const int64_t height = std::llabs(int64_t(readS16(bytes, 12)) - readS16(bytes, 8));
    return boundedSize(toScreenPixels(width, unitsPerInch), toScreenPixels(height, unitsPerInch));
}

std::optional<Size> expectedSize(DrawnKind kind, std::span<const uint8_t> bytes) {
    switch (kind) {
    case DrawnKind::EnhancedMetafile: return enhancedMetafileSize(bytes);
    case DrawnKind::PlaceableMetafile: return placeableMetafileSize(bytes);
    case DrawnKind::Icon: break;
    }
    return std::nullopt;
}

uint64_t metafileRecordCount(DrawnKind kind, std::span<const uint8_t> bytes) {
    uint64_t count = 0;
    if (kind == DrawnKind::EnhancedMetafile) {
        // Records: type, size in bytes (at least 8, a multiple of 4); EMR_EOF is type 14.
        for (size_t at = 0; bytes.size() - at >= 8; ++count) {
            const uint32_t size = readU32(bytes, at + 4);
            if (size < 8 || size % 4 != 0 || size > bytes.size() - at || readU32(bytes, at) == 14) break;
            at += size;
        }
    } else if (kind == DrawnKind::PlaceableMetafile) {
        // After the 22-byte placeable header, the metafile header (its size in words at
        // byte 2), then records: size in words (at least 3), function; META_EOF is 0.
        if (bytes.size() < 22 + 18) return 0;
        for (size_t at = 22 + size_t(readU16(bytes, 24)) * 2; at < bytes.size() && bytes.size() - at >= 6; ++count) {
            const uint64_t size = uint64_t(readU32(bytes, at)) * 2;
            if (size < 6 || size > bytes.size() - at || readU16(bytes, at + 4) == 0) break;
            at += size_t(size);
        }
    }
    return count;
}

std::array<uint8_t, kRequestHeaderSize> encodeRequestHeader(DrawnKind kind, uint64_t byteCount) {
    std::array<uint8_t, kRequestHeaderSize> out{};
    writeU32(out.data(), kRequestMagic);
    writeU32(out.data() + 4, uint32_t(kind));
    writeU64(out.data() + 8, byteCount);
    return out;
}

std::optional<RequestHeader> parseRequestHeader(std::span<const uint8_t> header) {
    if (header.size() != kRequestHeaderSize || readU32(header, 0) != kRequestMagic) return std::nullopt;
    const uint32_t kind = readU32(header, 4);
    const uint64_t count = readU64(header, 8);
    if (!knownKind(kind) || count > kMaxRequestBytes) return std::nullopt;
    return RequestHeader{DrawnKind(kind), count};
}

namespace {

// The one message of the hand-over: a byte, with room for one descriptor beside it.
struct DescriptorMessage {
    char byte = 'R';
    iovec data{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};

    DescriptorMessage() {
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
    }
    DescriptorMessage(const DescriptorMessage&) = delete;
    DescriptorMessage& operator=(const DescriptorMessage&) = delete;
};

}  // namespace

bool sendRequest(int socket, int memfd) {
    DescriptorMessage m;
    cmsghdr* header = CMSG_FIRSTHDR(&m.message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &memfd, sizeof(int));
    ssize_t sent;
    do {
        sent = ::sendmsg(socket, &m.message, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (sent < 0 && errno == EINTR);
    return sent == 1;
}

int receiveRequest(int socket) {
    DescriptorMessage m;
    ssize_t received;
    do {
        received = ::recvmsg(socket, &m.message, MSG_CMSG_CLOEXEC);
    } while (received < 0 && errno == EINTR);
    if (received != 1) return -1;
    const cmsghdr* header = CMSG_FIRSTHDR(&m.message);
    if (!header || header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS ||
        header->cmsg_len != CMSG_LEN(sizeof(int)))
        return -1;
    int fd = -1;
    std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
    return fd;
}

std::array<uint8_t, kReplyHeaderSize> encodeReplyHeader(ReplyStatus status, uint32_t width, uint32_t height) {
    std::array<uint8_t, kReplyHeaderSize> out{};
    writeU32(out.data(), kReplyMagic);
    writeU32(out.data() + 4, uint32_t(status));
    writeU32(out.data() + 8, width);
    writeU32(out.data() + 12, height);
    writeU64(out.data() + 16, uint64_t(width) * uint64_t(height) * 4);
    return out;
}

ParsedReply parseReplyHeader(std::span<const uint8_t> header, DrawnKind kind, std::optional<Size> expected) {
    if (header.size() != kReplyHeaderSize) return {ReplyCheck::WrongLength, {}};
    if (readU32(header, 0) != kReplyMagic) return {ReplyCheck::WrongMagic, {}};
    const uint32_t status = readU32(header, 4);
    const uint32_t width = readU32(header, 8);
    const uint32_t height = readU32(header, 12);
    const uint64_t byteCount = readU64(header, 16);
    if (status == uint32_t(ReplyStatus::NotValid)) {
        if (width != 0 || height != 0 || byteCount != 0) return {ReplyCheck::NotValidWithSize, {}};
        return {ReplyCheck::Ok, ReplyHeader{ReplyStatus::NotValid, 0, 0, 0}};
    }
    if (status != uint32_t(ReplyStatus::Drawn)) return {ReplyCheck::UnknownStatus, {}};
    if (width == 0 || height == 0) return {ReplyCheck::EmptySize, {}};
    if (!withinBounds(kind, width, height)) return {ReplyCheck::TooLarge, {}};
    if (expected && (int(width) != expected->width || int(height) != expected->height))
        return {ReplyCheck::WrongSize, {}};
    if (kind != DrawnKind::Icon && !expected) return {ReplyCheck::WrongSize, {}};
    if (byteCount != uint64_t(width) * height * 4) return {ReplyCheck::WrongByteCount, {}};
    return {ReplyCheck::Ok, ReplyHeader{ReplyStatus::Drawn, int(width), int(height), byteCount}};
}

std::string describe(ReplyCheck check) {
    switch (check) {
    case ReplyCheck::Ok: return "ok";
    case ReplyCheck::WrongLength: return "short header";
    case ReplyCheck::WrongMagic: return "wrong magic";
    case ReplyCheck::UnknownStatus: return "unknown status";
    case ReplyCheck::NotValidWithSize: return "not-valid reply with a size";
    case ReplyCheck::EmptySize: return "empty size";
    case ReplyCheck::TooLarge: return "size beyond the bounds";
    case ReplyCheck::WrongSize: return "size other than the header's";
    case ReplyCheck::WrongByteCount: return "byte count other than the size's";
    }
    return "?";
}

}  // namespace qfip::exchange
