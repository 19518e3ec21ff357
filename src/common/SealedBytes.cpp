#include "common/SealedBytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <vector>

namespace qfip {

namespace {

constexpr int kSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;

// Copies up to `size` bytes from the start of file `from` to the start of `to`, in the
// kernel where it can (no mapping of `to` is ever writable: a process forked meanwhile
// would keep it, and the file could not be sealed); the bytes copied.
uint64_t copyFileStart(int from, int to, uint64_t size) {
    off_t offset = 0;
    while (uint64_t(offset) < size) {
        const ssize_t n = ::sendfile(to, from, &offset, size_t(std::min<uint64_t>(size - uint64_t(offset), 1 << 30)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && offset == 0 && (errno == EINVAL || errno == ENOSYS)) break;  // no in-kernel copy here
        if (n <= 0) return uint64_t(offset);  // the end of the file (it may have shrunk), or an error
    }
    if (uint64_t(offset) >= size) return size;
    std::vector<uint8_t> buffer(size_t(std::min<uint64_t>(size, 1 << 20)));
    uint64_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(from, buffer.data(), size_t(std::min<uint64_t>(size - done, buffer.size())), off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || !writeAllAt(to, buffer.data(), size_t(n), off_t(done))) break;
        done += uint64_t(n);
    }
    return done;
}

}  // namespace

SealedBytes SealedBytes::create(uint64_t size, size_t padding) {
    SealedBytes sealed;
    sealed.size_ = size;
    sealed.padding_ = padding;
    sealed.fd_.reset(::memfd_create("quendral-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!sealed.fd_.valid() || size + padding > uint64_t(SIZE_MAX)) throw std::bad_alloc();
    return sealed;
}

// Gives the file its final length (the padding's zeros after the bytes), seals it and
// maps it read-only.
void SealedBytes::seal() {
    const size_t total = size_t(size_ + padding_);
    if (::ftruncate(fd_.get(), off_t(total)) != 0 || ::fcntl(fd_.get(), F_ADD_SEALS, kSeals) != 0)
        throw std::bad_alloc();
    if (total > 0) {
        void* map = ::mmap(nullptr, total, PROT_READ, MAP_SHARED, fd_.get(), 0);
        if (map == MAP_FAILED) throw std::bad_alloc();
        map_ = static_cast<uint8_t*>(map);
    }
}

SealedBytes SealedBytes::copyOf(int fd, uint64_t size, size_t padding) {
    SealedBytes sealed = create(size, padding);
    // A file that shrank meanwhile keeps what was read, with zeros after it as after the whole.
    sealed.size_ = copyFileStart(fd, sealed.fd_.get(), size);
    sealed.seal();
    return sealed;
}

SealedBytes SealedBytes::copyOf(std::span<const uint8_t> bytes, size_t padding) {
    SealedBytes sealed = create(bytes.size(), padding);
    if (!writeAllAt(sealed.fd_.get(), bytes.data(), bytes.size(), 0)) throw std::bad_alloc();
    sealed.seal();
    return sealed;
}

SealedBytes::SealedBytes(SealedBytes&& other) noexcept
    : fd_(std::move(other.fd_)), size_(other.size_), padding_(other.padding_), map_(other.map_) {
    other.map_ = nullptr;
    other.size_ = 0;
    other.padding_ = 0;
}

SealedBytes::~SealedBytes() {
    if (map_) ::munmap(map_, size_t(size_ + padding_));
}

}  // namespace qfip
