#include "raster/BmpReader.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <vector>

#include "raster/BmpPixels.h"
#include "raster/BmpRle.h"
#include "raster/SideBySide.h"

namespace qfip {

namespace {

// Pixels of one row taken from the source at a time: the whole row when it fits in a
// read chunk, else pieces of a multiple of 8 pixels (so every piece starts at a byte).
int64_t piecePixels(const BmpLayout& layout) {
    const int64_t chunkPixels = int64_t(SequentialReader::kChunk) * 8 / layout.bitCount / 8 * 8;
    return std::min<int64_t>(layout.width, chunkPixels);
}

// The bytes of the first `pixels` pixels of a row.
size_t bytesOf(int64_t pixels, uint16_t bitCount) { return size_t((pixels * bitCount + 7) / 8); }

void checkStop(const std::stop_token& stop) {
    if (stop.stop_requested()) throw DecodeStopped{};
}

// Ends the writes past the caches however the rows end (a stop or a failure included).
struct PastCacheWrites {
    bool on;
    ~PastCacheWrites() {
        if (on) finishWritingPastCache();
    }
};

// Uncompressed stored rows [first, end), each straight into its raster row; rows (or row
// ends) missing from the file are black. A raster too large for the caches is written
// past them.
void decodeRows(const BmpLayout& layout, const BmpRowDecoder& decoder, SequentialReader& pixels, int32_t first,
                int32_t end, Raster& out, const std::stop_token& stop) {
    const int32_t width = layout.width, height = layout.height;
    const int64_t piece = piecePixels(layout);
    const uint64_t padding = uint64_t(layout.rowBytes()) - bytesOf(width, layout.bitCount);
    const bool pastCache = uint64_t(out.bytesPerLine()) * uint64_t(height) >= kPastCacheBytes;
    const PastCacheWrites finish{pastCache};
    for (int32_t stored = first; stored < end; ++stored) {
        checkStop(stop);
        uint32_t* dst = out.row(layout.topDown ? stored : height - 1 - stored);
        for (int64_t x = 0; x < width; x += piece) {
            const int64_t wanted = std::min<int64_t>(piece, width - x);
            const std::span<const uint8_t> bytes = pixels.next(bytesOf(wanted, layout.bitCount));
            const int64_t count = std::min<int64_t>(wanted, int64_t(bytes.size()) * 8 / layout.bitCount);
            if (count > 0 && pastCache) {
                decoder.decodePastCache(bytes.data(), int32_t(count), dst + x);
            } else if (count > 0) {
                decoder.decode(bytes.data(), int32_t(count), dst + x);
            }
            if (count < wanted) {  // the data ends inside this row
                fillBlack(dst + x + count, size_t(width - x - count));
                break;
            }
        }
        pixels.skip(padding);
    }
}

// Pixel data from this size on is read and decoded by two threads at once.
constexpr uint64_t kSideBySideBytes = uint64_t(1) << 20;

// All uncompressed rows. A large picture's are read and decoded a band of about a read
// chunk at a time, each band through its own reader from where its rows start in the file,
// by the calling thread and its second thread taking bands in turn; a thread waiting for
// the picture may take bands too (`share`).
void decodeAllRows(const BmpLayout& layout, ByteSource& source, size_t readChunk, Raster& out,
                   const std::stop_token& stop, SharedWork* share) {
    const BmpRowDecoder decoder(layout);
    const auto rows = [&](int32_t first, int32_t end) {
        const uint64_t start = uint64_t(first) * uint64_t(layout.rowBytes());
        const uint64_t length = start < layout.pixelBytes
                                    ? std::min(layout.pixelBytes - start, uint64_t(end - first) * uint64_t(layout.rowBytes()))
                                    : 0;
        SequentialReader pixels(source, layout.pixelOffset + start, length, readChunk);
        decodeRows(layout, decoder, pixels, first, end, out, stop);
    };
    const int32_t height = layout.height;
    if (layout.pixelBytes < kSideBySideBytes || height < 2) {
        rows(0, height);
        return;
    }
    const int32_t bandRows = int32_t(std::clamp<uint64_t>(readChunk / uint64_t(layout.rowBytes()), 1, uint64_t(height)));
    const int32_t bands = height / bandRows + (height % bandRows != 0);
    std::atomic<int32_t> next{0};
    const std::function<void()> work = [&] {
        for (int32_t band; (band = next.fetch_add(1)) < bands;) {
            rows(band * bandRows, int32_t(std::min<int64_t>(height, int64_t(band + 1) * bandRows)));
        }
    };
    const SharedWork::Offer offer(share, work);
    runSideBySide(work, work);
}

// Only the sampled rows are read, each from its own offset, and of them only the
// sampled columns are converted.
void sampleRows(const BmpLayout& layout, ByteSource& source, Raster& out, const std::stop_token& stop) {
    const BmpRowDecoder decoder(layout);
    const int64_t piece = piecePixels(layout);
    const uint64_t rowBytes = uint64_t(layout.rowBytes());
    std::vector<int32_t> columns(size_t(out.width()));
    for (int32_t x = 0; x < out.width(); ++x) columns[size_t(x)] = sampledIndex(x, out.width(), layout.width);
    const int64_t lastColumn = columns.back();
    for (int32_t y = 0; y < out.height(); ++y) {
        checkStop(stop);
        const int32_t pictureRow = sampledIndex(y, out.height(), layout.height);
        const uint64_t stored = uint64_t(layout.topDown ? pictureRow : layout.height - 1 - pictureRow);
        const uint64_t start = stored * rowBytes;
        const uint64_t present = start < layout.pixelBytes ? layout.pixelBytes - start : 0;
        // The row up to its last sampled column, read a piece at a time.
        SequentialReader row(source, layout.pixelOffset + start,
                             std::min<uint64_t>(present, bytesOf(lastColumn + 1, layout.bitCount)));
        uint32_t* dst = out.row(y);
        size_t next = 0;  // the next output column
        for (int64_t x = 0; x <= lastColumn && next < columns.size(); x += piece) {
            const int64_t wanted = std::min<int64_t>(piece, lastColumn + 1 - x);
            const std::span<const uint8_t> bytes = row.next(bytesOf(wanted, layout.bitCount));
            const int64_t count = std::min<int64_t>(wanted, int64_t(bytes.size()) * 8 / layout.bitCount);
            for (; next < columns.size() && columns[next] < x + count; ++next) {
                dst[next] = decoder.pixelAt(bytes.data(), columns[next] - x);
            }
            if (count < wanted) break;
        }
        fillBlack(dst + next, columns.size() - next);  // columns the file holds no data for
    }
}

}  // namespace

BmpDecoder::BmpDecoder(ByteSource& source, int64_t maxPixels, size_t readChunk)
    : source_(source), readChunk_(readChunk) {
    if (source.size() > 0) layout_ = readBmpLayout(source, maxPixels);
}

Raster BmpDecoder::decode(std::stop_token stop, SharedWork* share) {
    if (layout_.isEmpty()) return Raster();
    Raster out = Raster::uninitialised(layout_.width, layout_.height);
    if (layout_.compression == BmpCompression::Rle8 || layout_.compression == BmpCompression::Rle4) {
        SequentialReader pixels(source_, layout_.pixelOffset, layout_.pixelBytes, readChunk_);
        RowSink rows(out);
        decodeBmpRle(layout_, pixels, rows, stop);
    } else {
        decodeAllRows(layout_, source_, readChunk_, out, stop, share);
    }
    return out;
}

Raster BmpDecoder::decodeSampled(int32_t width, int32_t height, std::stop_token stop) {
    if (layout_.isEmpty()) return Raster();
    width = std::clamp(width, 1, layout_.width);
    height = std::clamp(height, 1, layout_.height);
    if (width == layout_.width && height == layout_.height) return decode(std::move(stop));
    Raster out = Raster::uninitialised(width, height);
    if (layout_.compression == BmpCompression::Rle8 || layout_.compression == BmpCompression::Rle4) {
        SequentialReader pixels(source_, layout_.pixelOffset, layout_.pixelBytes);
        RowSink rows(out, layout_.width, layout_.height);
        decodeBmpRle(layout_, pixels, rows, stop);
    } else {
        sampleRows(layout_, source_, out, stop);
    }
    return out;
}

Raster readBmp(std::span<const uint8_t> bytes, int64_t maxPixels) {
    MemorySource source(bytes);
    return BmpDecoder(source, maxPixels).decode();
}

}  // namespace qfip
