#pragma once

// What crosses between the program and its drawing helper (quendral-render): standard
// library only, so that the helper, the window and the fuzz targets share one copy.
//
// Request: one message on the socket that is the helper's standard input, whose data is
// the 16-byte request header and which carries one descriptor: a sealed memory file of
// the picture file's bytes followed by kDrawnFilePadding zero bytes.
//   offset 0  u32 magic "QRQ1"        offset 4  u32 kind (DrawnKind)
//   offset 8  u64 byte count of the file (the memory file holds exactly that and the padding)
// Reply (a pipe, the helper's standard output): 24-byte header, then the pixels, then
// the end of the stream; the helper then exits with status 0.
//   offset 0  u32 magic "QRP1"        offset 4  u32 status (ReplyStatus)
//   offset 8  u32 width               offset 12 u32 height
//   offset 16 u64 pixel byte count = width * height * 4
//   pixels: width * height words 0xAARRGGBB (little-endian), rows top to bottom, no gaps,
//   premultiplied by alpha as Qt's ico reader gives them (so the program paints the very
//   words it painted when it drew icons itself); a metafile's pixels are opaque.
// A "not valid" reply has width, height and byte count 0 and nothing after the header.
// All numbers are little-endian.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "exchange/DrawnSize.h"

namespace qfip::exchange {

enum class ReplyStatus : uint32_t { Drawn = 0, NotValid = 1 };

inline constexpr uint32_t kRequestMagic = 0x31515251;  // "QRQ1"
inline constexpr uint32_t kReplyMagic = 0x31505251;    // "QRP1"
inline constexpr size_t kRequestHeaderSize = 16;
inline constexpr size_t kReplyHeaderSize = 24;

// ---- request -------------------------------------------------------------------------

using RequestHeaderBytes = std::array<uint8_t, kRequestHeaderSize>;

RequestHeaderBytes encodeRequestHeader(DrawnKind kind, uint64_t byteCount);

struct RequestHeader {
    DrawnKind kind = DrawnKind::Icon;
    uint64_t byteCount = 0;
};

// The helper's check of a request header; nullopt for a wrong magic, an unknown kind or
// a byte count over kMaxDrawnFileBytes.
std::optional<RequestHeader> parseRequestHeader(std::span<const uint8_t> header);

// The program's side of the hand-over: sends the request header with the memory file
// over the socket without waiting (the helper's end has room for it); false when it could
// not be sent (the helper has gone).
bool sendRequest(int socket, const RequestHeaderBytes& header, int memoryFile);

// The helper's side: waits on the socket for the request; nothing when the socket ends
// first (the program is done with the helper) or the message is not exactly a header
// with one descriptor. The descriptor then belongs to the caller.
struct ReceivedRequest {
    RequestHeaderBytes header{};
    int memoryFile = -1;
};
std::optional<ReceivedRequest> receiveRequest(int socket);

// ---- reply ---------------------------------------------------------------------------

std::array<uint8_t, kReplyHeaderSize> encodeReplyHeader(ReplyStatus status, uint32_t width, uint32_t height);

struct ReplyHeader {
    ReplyStatus status = ReplyStatus::NotValid;
    int width = 0;
    int height = 0;
    uint64_t pixelBytes = 0;
};

enum class ReplyCheck {
    Ok,
    WrongLength,     // not exactly kReplyHeaderSize bytes
    WrongMagic,
    UnknownStatus,
    NotValidWithSize,  // a "not valid" reply that announces pixels
    EmptySize,
    TooLarge,          // beyond the kind's bounds
    WrongSize,         // a metafile drawn at another size than its header's
    WrongByteCount,    // byte count other than width * height * 4
};

struct ParsedReply {
    ReplyCheck check = ReplyCheck::WrongLength;
    ReplyHeader header;
};

// The program's check of the helper's reply header, made before anything is allocated:
// the magic, a known status, sizes within the kind's bounds (and equal to `expected`
// when given), and the exact byte count. Every byte is treated as hostile.
ParsedReply parseReplyHeader(std::span<const uint8_t> header, DrawnKind kind, std::optional<Size> expected);

std::string describe(ReplyCheck check);

}  // namespace qfip::exchange
