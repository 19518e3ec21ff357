#include "exchange/ReplyReader.h"

#include <bit>

namespace qfip::exchange {

ReplyReader::ReplyReader(DrawnKind kind, std::optional<Size> expected, const PixelSink& sink)
    : kind_(kind), expected_(expected), sink_(sink) {}

std::span<uint8_t> ReplyReader::nextBuffer() {
    switch (phase_) {
    case Phase::Header: return std::span(header_).subspan(headerBytes_);
    case Phase::Pixels: return std::span(pixels_ + received_, size_t(parsed_.header.pixelBytes - received_));
    case Phase::End: break;
    }
    return std::span(&scratch_, 1);
}

ReplyReader::State ReplyReader::fail(Outcome outcome, int detail) {
    state_ = State::Failed;
    failure_ = outcome;
    detail_ = detail;
    return state_;
}

ReplyReader::State ReplyReader::received(size_t count) {
    if (state_ != State::Reading || count == 0) return state_;
    switch (phase_) {
    case Phase::Header: {
        headerBytes_ += count;
        if (headerBytes_ < header_.size()) return state_;
        parsed_ = parseReplyHeader(header_, kind_, expected_);
        if (parsed_.check != ReplyCheck::Ok) return fail(Outcome::MalformedReply, int(parsed_.check));
        if (parsed_.header.status == ReplyStatus::NotValid) {
            phase_ = Phase::End;
            return state_;
        }
        uint32_t* buffer = nullptr;
        try {
            buffer = sink_(parsed_.header.width, parsed_.header.height);
        } catch (...) {
            buffer = nullptr;
        }
        if (!buffer) return fail(Outcome::NoImage);
        pixels_ = reinterpret_cast<uint8_t*>(buffer);
        phase_ = Phase::Pixels;
        return state_;
    }
    case Phase::Pixels:
        received_ += count;
        if (received_ == parsed_.header.pixelBytes) {
            phase_ = Phase::End;
            if constexpr (std::endian::native == std::endian::big) {
                auto* words = reinterpret_cast<uint32_t*>(pixels_);
                for (uint64_t i = 0; i < received_ / 4; ++i) words[i] = __builtin_bswap32(words[i]);
            }
        }
        return state_;
    case Phase::End: break;
    }
    return fail(Outcome::ExtraBytes);
}

ReplyReader::State ReplyReader::endOfStream() {
    if (state_ != State::Reading) return state_;
    if (phase_ != Phase::End) return fail(Outcome::ShortReply);
    state_ = State::Complete;
    return state_;
}

}  // namespace qfip::exchange
