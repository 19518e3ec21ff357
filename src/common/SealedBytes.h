#pragma once

// Bytes in a sealed memory file (a Linux memfd): once sealed nobody can change, grow or
// shrink them, any process handed the descriptor reads the very same pages, and mapping
// them copies nothing. An icon or metafile is read from its file once, straight into one
// of these, and that descriptor is what the drawing helper is given.
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/FileDescriptor.h"

namespace qfip {

class SealedBytes {
public:
    // The first `size` bytes of the open file `fd` (from offset 0; fewer when the file is
    // shorter by now: what it holds), followed by `padding` zero bytes. Throws
    // std::bad_alloc when no memory file of that size can be made.
    static SealedBytes copyOf(int fd, uint64_t size, size_t padding);
    // The same from bytes in memory.
    static SealedBytes copyOf(std::span<const uint8_t> bytes, size_t padding);

    SealedBytes(SealedBytes&& other) noexcept;
    SealedBytes& operator=(SealedBytes&&) = delete;
    SealedBytes(const SealedBytes&) = delete;
    ~SealedBytes();

    // The memory file: its size is size() + padding().
    int fd() const { return fd_.get(); }
    uint64_t size() const { return size_; }
    size_t padding() const { return padding_; }
    // The bytes (without the padding), mapped read-only.
    std::span<const uint8_t> bytes() const { return {map_, size_t(size_)}; }

private:
    SealedBytes() = default;
    static SealedBytes create(uint64_t size, size_t padding);
    void seal();

    FileDescriptor fd_;
    uint64_t size_ = 0;
    size_t padding_ = 0;
    uint8_t* map_ = nullptr;  // size_ + padding_ bytes, read-only, once sealed
};

}  // namespace qfip
