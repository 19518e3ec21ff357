// Feeds arbitrary bytes to the program's side of the exchange with the drawing helper:
// the reply reader (header checks, the sink's allocation, exactly the announced pixel
// bytes, nothing after them), with the stream cut into pieces at arbitrary places as a
// pipe delivers it. The reader must never write outside the sink's buffer, never accept
// a reply the header checks refuse, and end in one definite state.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "exchange/RenderClient.h"

using namespace qfip::exchange;

namespace {

// Buffers above this are refused (the sink says no), as a program short of memory would.
constexpr uint64_t kLargestBuffer = uint64_t(1) << 22;  // words: 16 MiB

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The program's reading of a metafile's header and records, which sets the helper's
    // size and deadline, meets every input as well.
    for (const DrawnKind k : {DrawnKind::EnhancedMetafile, DrawnKind::PlaceableMetafile}) {
        if (metafileWork(k, {data, size}).records > size / 6) __builtin_trap();
        (void)expectedSize(k, {data, size});
    }
    FuzzedDataProvider input(data, size);
    const DrawnKind kind = DrawnKind(1 + input.ConsumeIntegralInRange<uint32_t>(0, 2));
    std::optional<Size> expected;
    if (kind != DrawnKind::Icon && input.ConsumeBool())
        expected = Size{input.ConsumeIntegralInRange<int>(1, 300), input.ConsumeIntegralInRange<int>(1, 300)};

    std::vector<uint32_t> pixels;
    int sinkCalls = 0;
    const PixelSink sink = [&](int width, int height) -> uint32_t* {
        ++sinkCalls;
        const uint64_t words = uint64_t(width) * uint64_t(height);
        if (width <= 0 || height <= 0 || words > kLargestBuffer) return nullptr;
        pixels.assign(size_t(words), 0);
        return pixels.data();
    };

    ReplyReader reader(kind, expected, sink);
    uint64_t fed = 0;
    while (input.remaining_bytes() > 0 && reader.state() == ReplyReader::State::Reading) {
        const std::span<uint8_t> buffer = reader.nextBuffer();
        if (buffer.empty()) __builtin_trap();
        const size_t piece = input.ConsumeIntegralInRange<size_t>(1, 4096);
        const std::vector<uint8_t> bytes = input.ConsumeBytes<uint8_t>(std::min(piece, buffer.size()));
        if (bytes.empty()) break;
        std::copy(bytes.begin(), bytes.end(), buffer.begin());
        fed += bytes.size();
        reader.received(bytes.size());
    }
    const ReplyReader::State end = reader.endOfStream();
    if (sinkCalls > 1) __builtin_trap();
    if (end == ReplyReader::State::Complete) {
        const ReplyHeader& header = reader.header();
        if (header.status == ReplyStatus::Drawn) {
            // A complete drawing is exactly one header and the announced pixels.
            if (fed != kReplyHeaderSize + header.pixelBytes) __builtin_trap();
            if (header.pixelBytes != uint64_t(header.width) * uint64_t(header.height) * 4) __builtin_trap();
            if (pixels.size() * 4 != header.pixelBytes) __builtin_trap();
            if (expected && (header.width != expected->width || header.height != expected->height)) __builtin_trap();
            if (kind != DrawnKind::Icon && !expected) __builtin_trap();
        } else if (fed != kReplyHeaderSize || sinkCalls != 0) {
            __builtin_trap();
        }
    } else if (end != ReplyReader::State::Failed) {
        __builtin_trap();
    }
    return 0;
}
