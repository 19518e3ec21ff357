#pragma once

// Runs the drawing helper for one icon or metafile: a fresh, sandboxed process per
// picture (standard library and POSIX only, no event loop: callable from any thread).
//
// The helper's standard input is one end of a socket pair, on which it receives its
// request as a sealed memfd; its standard output is the reply pipe and its standard
// error /dev/null; every other descriptor is closed. Between fork and exec (only
// async-signal-safe calls) the child gets its own process group, a parent-death signal,
// default signal handling with SIGXFSZ ignored, the resource limits below (soft and
// hard), and PR_SET_NO_NEW_PRIVS. The parent enforces a wall-clock deadline from the
// moment it hands over the request, kills the helper's whole process group (SIGKILL)
// when it runs out, when the caller's stop token is requested, or when the reply is
// wrong, and always reaps the helper before returning.
//
// With `spare` set, the next helper is started in the background as soon as a drawing
// is done, so its start-up (loading Qt and the libraries) is not waited for: still one
// process per picture, started before the picture is known.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <string>

#include "exchange/RenderExchange.h"

namespace qfip::exchange {

struct HelperLimits {
    uint64_t addressSpaceBytes = uint64_t(1) << 30;  // RLIMIT_AS
    uint64_t cpuSeconds = 10;                         // RLIMIT_CPU (the largest picture)
    uint64_t openFiles = 256;                         // RLIMIT_NOFILE
    // RLIMIT_CORE and RLIMIT_FSIZE are always 0: no core dumps, no file written.
};

struct ClientOptions {
    std::string helperPath;
    // Per picture; a metafile is given more for the work it announces (drawingDeadline).
    std::chrono::milliseconds deadline{3000};
    HelperLimits limits;
    bool spare = false;
};

// The wall-clock time the helper is given for a picture, from the moment it has its
// request: the options' deadline, and for a metafile a second more for every 4 million
// pixels and for every 40,000 records it holds (libwmf and libemf2svg draw more than
// 80,000 simple records a second here, so an honest file keeps a wide margin); never
// more than that deadline and the CPU limit together, past which the helper would be
// killed anyway. A helper that hangs is killed when it runs out.
std::chrono::milliseconds drawingDeadline(const ClientOptions& options, DrawnKind kind,
                                          std::span<const uint8_t> bytes);

// Kills and reaps the spare helper, if one was started (tests, and before the options
// it was started with change in a way the options can't tell, such as the environment).
void discardSpareHelper();
// Starts a spare helper with these options now (as a drawing does once it is done).
void startSpareHelper(const ClientOptions& options);

// How a drawing ended. Every outcome but Drawn is reported to the user as the kind's
// "not valid" message; the distinction is for diagnostics, tests and fuzzing.
enum class Outcome {
    Drawn,
    NotValid,        // the helper read the file and said it can't be drawn
    Signalled,       // the helper died of a signal (detail: the signal number)
    ExitCode,        // the helper exited with a status other than 0 (detail: it)
    Timeout,         // the deadline passed; the helper was killed
    Stopped,         // the caller's stop token was requested; the helper was killed
    MalformedReply,  // a reply header that fails parseReplyHeader (detail: ReplyCheck)
    ShortReply,      // the stream ended before the announced bytes
    ExtraBytes,      // more bytes than announced
    NoImage,         // the sink could not give a buffer of that size
    SpawnFailed,     // no process could be started (detail: errno)
};

struct DrawResult {
    Outcome outcome = Outcome::SpawnFailed;
    int detail = 0;
    int width = 0;
    int height = 0;
};

std::string describe(const DrawResult& result);

// Where the pixels go: called at most once, after the reply header has passed every
// check, with the checked size; returns a buffer of width * height 32-bit words (rows
// without gaps) that stays valid for the call, or null when it can't have one.
using PixelSink = std::function<uint32_t*(int width, int height)>;

// The parent's reading of one reply stream, byte source aside (the client feeds it from
// the helper's pipe; the fuzz target from arbitrary bytes cut at arbitrary places).
// The header is checked whole before the sink is asked for a buffer; then exactly the
// announced bytes go into it; any byte after them is a failure.
class ReplyReader {
public:
    enum class State { Reading, Complete, Failed };

    ReplyReader(DrawnKind kind, std::optional<Size> expected, const PixelSink& sink);

    // Where the next bytes of the stream go (never empty while Reading: after the pixels
    // it is a one-byte scratch buffer, as any byte there is a failure).
    std::span<uint8_t> nextBuffer();
    // Records that `count` bytes (at most nextBuffer().size()) were written there.
    State received(size_t count);
    // The stream has ended: Complete when the whole reply was read, else Failed.
    State endOfStream();

    State state() const { return state_; }
    // Set when Failed: MalformedReply, NoImage, ShortReply or ExtraBytes (and a detail).
    Outcome failure() const { return failure_; }
    int failureDetail() const { return detail_; }
    // Valid once Complete.
    const ReplyHeader& header() const { return parsed_.header; }

private:
    State fail(Outcome outcome, int detail = 0);

    enum class Phase { Header, Pixels, End };
    DrawnKind kind_;
    std::optional<Size> expected_;
    const PixelSink& sink_;
    State state_ = State::Reading;
    Phase phase_ = Phase::Header;
    Outcome failure_ = Outcome::ShortReply;
    int detail_ = 0;
    std::array<uint8_t, kReplyHeaderSize> header_{};
    size_t headerBytes_ = 0;
    ParsedReply parsed_;
    uint8_t* pixels_ = nullptr;
    uint64_t received_ = 0;
    uint8_t scratch_ = 0;
};

// Draws `bytes` of the given kind in a fresh helper process and never throws for
// anything the helper does. The pixels are written into the sink's buffer (which holds
// partial data unless the outcome is Drawn).
DrawResult drawInHelper(DrawnKind kind, std::span<const uint8_t> bytes, const PixelSink& sink,
                        const ClientOptions& options, std::stop_token stop = {});

// The same, throwing qfip::Error(notValidMessage(kind)) for every outcome but Drawn.
void drawInHelperOrThrow(DrawnKind kind, std::span<const uint8_t> bytes, const PixelSink& sink,
                         const ClientOptions& options, std::stop_token stop = {});

}  // namespace qfip::exchange
