#pragma once

// Where a picture reader takes its bytes from: a file read piece by piece, or bytes
// already in memory. The readers ask for what they need at an offset, so a file's
// headers are checked before any pixel byte is read and no file is ever held whole.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qfip {

class ByteSource {
public:
    virtual ~ByteSource() = default;

    // The size the data had when it was opened; a file may shrink while it is read, and
    // then reads return less.
    virtual uint64_t size() const = 0;

    // Up to `length` bytes from `offset`: fewer where the data ends (or can't be read)
    // sooner. The bytes are either in `scratch`, which has room for `length`, or in the
    // source's own memory; they stay valid until the next call.
    virtual std::span<const uint8_t> read(uint64_t offset, size_t length, uint8_t* scratch) = 0;
};

// Bytes held in memory by the caller.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    std::span<const uint8_t> read(uint64_t offset, size_t length, uint8_t* scratch) override;

private:
    std::span<const uint8_t> bytes_;
};

// An open file descriptor (not owned), read with pread so reads at any offset are one
// call each; a read error counts as the end of the data, as a short file does.
class FileSource final : public ByteSource {
public:
    FileSource(int fd, uint64_t size) : fd_(fd), size_(size) {}
    uint64_t size() const override { return size_; }
    std::span<const uint8_t> read(uint64_t offset, size_t length, uint8_t* scratch) override;

private:
    int fd_;
    uint64_t size_;
};

// Reads a range of a source front to back, a chunk at a time, through one buffer that
// this thread keeps between pictures (fresh memory costs a page fault per 4 KiB here).
class SequentialReader {
public:
    // Bytes fetched from the source in one read (unless a single request is larger).
    static constexpr size_t kChunk = size_t(1) << 20;

    SequentialReader(ByteSource& source, uint64_t offset, uint64_t length, size_t chunk = kChunk);

    // The next `n` bytes, contiguous; fewer only where the data ends.
    std::span<const uint8_t> next(size_t n);
    // Passes over `n` bytes (or to the end).
    void skip(uint64_t n);
    bool atEnd() const { return position_ >= end_; }

private:
    void refill(size_t n);

    ByteSource& source_;
    uint64_t position_;  // offset in the source of the next byte handed out
    uint64_t end_;       // the range's end, lowered when the data turns out shorter
    size_t chunk_;
    std::span<const uint8_t> window_;  // bytes fetched and not yet handed out, from position_
    std::vector<uint8_t>& buffer_;
};

}  // namespace qfip
