#pragma once

// The exchange between the program and its drawing helper (quendral-render), standard
// library only so that the helper, the window and the fuzz targets share one copy.
//
// Request (a sealed memfd, the helper's standard input): 16-byte header, then the file.
//   offset 0  u32 magic "QRQ1"        offset 4  u32 kind (DrawnKind)
//   offset 8  u64 byte count of the file that follows (exactly that many bytes follow)
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

namespace qfip::exchange {

enum class DrawnKind : uint32_t { Icon = 1, EnhancedMetafile = 2, PlaceableMetafile = 3 };
enum class ReplyStatus : uint32_t { Drawn = 0, NotValid = 1 };

inline constexpr uint32_t kRequestMagic = 0x31515251;  // "QRQ1"
inline constexpr uint32_t kReplyMagic = 0x31505251;    // "QRP1"
inline constexpr size_t kRequestHeaderSize = 16;
inline constexpr size_t kReplyHeaderSize = 24;

// Largest side and area of a drawn metafile: a header may claim any size, and the
// image is allocated before anything is drawn.
inline constexpr int kMaxMetafileSide = 16384;
inline constexpr int64_t kMaxMetafilePixels = int64_t(8192) * 8192;
// Largest icon: Qt's ico reader draws bitmap entries of at most 256 x 256, but an entry
// may hold a PNG of any size up to Qt's image allocation limit (256 MiB, that is
// 8192 x 8192 pixels of 4 bytes), so an icon has the metafile's bounds.
inline constexpr int kMaxIconSide = kMaxMetafileSide;
inline constexpr int64_t kMaxIconPixels = kMaxMetafilePixels;

// Whether a drawn picture of this size is within its kind's bounds (both sides at least 1).
bool withinBounds(DrawnKind kind, uint64_t width, uint64_t height);

// The largest file a request carries (the program reads no larger picture file).
inline constexpr uint64_t kMaxRequestBytes = uint64_t(1) << 31;

// "Icon image is not valid" or "Metafile is not valid": every failure to draw a
// picture of that kind, whatever happened to the helper, is reported with it.
const char* notValidMessage(DrawnKind kind);

struct Size {
    int width = 0;
    int height = 0;
    bool isEmpty() const { return width <= 0 || height <= 0; }
    friend bool operator==(const Size&, const Size&) = default;
};

// The size of an enhanced metafile: its header frame (hundredths of a millimetre) at
// 96 dpi, or its bounds (inclusive device pixels) when the frame is empty. Nullopt for a
// header too short or a size beyond the limits above.
std::optional<Size> enhancedMetafileSize(std::span<const uint8_t> bytes);

// The size of a placeable metafile: the header's bounding box in units per inch, at 96
// dpi. Nullopt as above. An empty box, or zero units per inch, is an empty picture: a
// size with no pixels, which is shown as nothing and never drawn.
std::optional<Size> placeableMetafileSize(std::span<const uint8_t> bytes);

// The size a metafile must be drawn at (nullopt for icons, whose size Qt's reader picks,
// and for a metafile with no valid size).
std::optional<Size> expectedSize(DrawnKind kind, std::span<const uint8_t> bytes);

// How many records a metafile holds, counted by walking their sizes from the first one to
// the end record, the end of the bytes or the first size that can't be (the work its
// drawing announces); 0 for icons.
uint64_t metafileRecordCount(DrawnKind kind, std::span<const uint8_t> bytes);

// ---- request -------------------------------------------------------------------------

std::array<uint8_t, kRequestHeaderSize> encodeRequestHeader(DrawnKind kind, uint64_t byteCount);

struct RequestHeader {
    DrawnKind kind = DrawnKind::Icon;
    uint64_t byteCount = 0;
};

// The helper's check of a request header; nullopt for a wrong magic, an unknown kind or
// a byte count over kMaxRequestBytes.
std::optional<RequestHeader> parseRequestHeader(std::span<const uint8_t> header);

// The program's side of the hand-over: sends the request's memfd over the socket
// without waiting (the helper's end has room for it); false when it could not be sent
// (the helper has gone).
bool sendRequest(int socket, int memfd);

// The helper's side of the hand-over: waits on the socket `socket` for the request's
// memfd; -1 when the socket ends first (the program is done with the helper) or the
// message carries no descriptor.
int receiveRequest(int socket);

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
