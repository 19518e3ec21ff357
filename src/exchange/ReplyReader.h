#pragma once

// The program's reading of the drawing helper's reply.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "exchange/DrawResult.h"
#include "exchange/WireFormat.h"

namespace qfip::exchange {

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

}  // namespace qfip::exchange
