#include "exchange/WireFormat.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

#include "common/LittleEndian.h"

namespace qfip::exchange {

namespace {

bool knownKind(uint32_t kind) { return kind >= 1 && kind <= 3; }

}  // namespace

RequestHeaderBytes encodeRequestHeader(DrawnKind kind, uint64_t byteCount) {
    RequestHeaderBytes out{};
    writeU32(out.data(), kRequestMagic);
    writeU32(out.data() + 4, uint32_t(kind));
    writeU64(out.data() + 8, byteCount);
    return out;
}

std::optional<RequestHeader> parseRequestHeader(std::span<const uint8_t> header) {
    if (header.size() != kRequestHeaderSize || readU32(header, 0) != kRequestMagic) return std::nullopt;
    const uint32_t kind = readU32(header, 4);
    const uint64_t count = readU64(header, 8);
    if (!knownKind(kind) || count > kMaxDrawnFileBytes) return std::nullopt;
    return RequestHeader{DrawnKind(kind), count};
}

namespace {

// The one message of the hand-over: the request header, with room for one descriptor.
struct RequestMessage {
    RequestHeaderBytes header{};
    iovec data{header.data(), header.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};

    RequestMessage() {
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
    }
    RequestMessage(const RequestMessage&) = delete;
    RequestMessage& operator=(const RequestMessage&) = delete;
};

}  // namespace

bool sendRequest(int socket, const RequestHeaderBytes& header, int memoryFile) {
    RequestMessage m;
    m.header = header;
    cmsghdr* control = CMSG_FIRSTHDR(&m.message);
    control->cmsg_level = SOL_SOCKET;
    control->cmsg_type = SCM_RIGHTS;
    control->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(control), &memoryFile, sizeof(int));
    ssize_t sent;
    do {
        sent = ::sendmsg(socket, &m.message, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (sent < 0 && errno == EINTR);
    return sent == ssize_t(kRequestHeaderSize);
}

std::optional<ReceivedRequest> receiveRequest(int socket) {
    RequestMessage m;
    ssize_t received;
    do {
        received = ::recvmsg(socket, &m.message, MSG_CMSG_CLOEXEC);
    } while (received < 0 && errno == EINTR);
    const cmsghdr* control = received > 0 ? CMSG_FIRSTHDR(&m.message) : nullptr;
    int fd = -1;
    if (control && control->cmsg_level == SOL_SOCKET && control->cmsg_type == SCM_RIGHTS &&
        control->cmsg_len == CMSG_LEN(sizeof(int)))
        std::memcpy(&fd, CMSG_DATA(control), sizeof fd);
    // A short or cut message is no request; a descriptor that came with it is closed.
    if (received != ssize_t(kRequestHeaderSize) || (m.message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) || fd < 0) {
        if (fd >= 0) ::close(fd);
        return std::nullopt;
    }
    return ReceivedRequest{m.header, fd};
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
