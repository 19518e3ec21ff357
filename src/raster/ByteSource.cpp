#include "raster/ByteSource.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace qfip {

namespace {

std::vector<uint8_t>& threadBuffer() {
    thread_local std::vector<uint8_t> buffer;
    return buffer;
}

}  // namespace

std::span<const uint8_t> MemorySource::read(uint64_t offset, size_t length, uint8_t*) {
    if (offset >= bytes_.size()) return {};
    return bytes_.subspan(size_t(offset), size_t(std::min<uint64_t>(length, bytes_.size() - offset)));
}

std::span<const uint8_t> FileSource::read(uint64_t offset, size_t length, uint8_t* scratch) {
    size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(fd_, scratch + done, length - done, off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // the end of the file (it may have shrunk), or an error
        done += size_t(got);
    }
    return {scratch, done};
}

SequentialReader::SequentialReader(ByteSource& source, uint64_t offset, uint64_t length, size_t chunk)
    : source_(source), position_(offset), end_(offset + length), chunk_(std::max<size_t>(chunk, 1)),
      buffer_(threadBuffer()) {}

void SequentialReader::refill(size_t n) {
    const size_t want = size_t(std::min<uint64_t>(std::max(n, chunk_), end_ - position_));
    if (buffer_.size() < want) buffer_.resize(want);
    window_ = source_.read(position_, want, buffer_.data());
    // Less than asked for: the data ends here.
    if (window_.size() < want) end_ = position_ + window_.size();
}

std::span<const uint8_t> SequentialReader::next(size_t n) {
    if (window_.size() < n && position_ < end_) refill(n);
    const size_t take = std::min(n, window_.size());
    const std::span<const uint8_t> out = window_.first(take);
    window_ = window_.subspan(take);
    position_ += take;
    return out;
}

void SequentialReader::skip(uint64_t n) {
    if (n <= window_.size()) {
        window_ = window_.subspan(size_t(n));
        position_ += n;
        return;
    }
    window_ = {};
    position_ = std::min(end_, position_ + n);
}

}  // namespace qfip
