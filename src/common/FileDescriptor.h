#pragma once

// An owned POSIX file descriptor, and writing or reading a whole buffer through one: the
// picture reader, the result file and both ends of the drawing helper's exchange share
// these.
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace qfip {

// Closes its descriptor when it goes out of scope, unless it was closed or released.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset(other.fd_);
            other.fd_ = -1;
        }
        return *this;
    }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes the one held (if any) and holds `fd` instead.
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Gives the descriptor up without closing it.
    void release() { fd_ = -1; }
    // Closes now and tells whether the kernel reported the close as complete (a write
    // error can first show here).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd >= 0 && ::close(fd) == 0;
    }

private:
    int fd_ = -1;
};

// Writes all `size` bytes at the descriptor's position, through short writes and
// interruptions; false on an error or a write that makes no progress.
inline bool writeAll(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, p, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        p += written;
        size -= size_t(written);
    }
    return true;
}

// The same at an offset of the file (pwrite), leaving the descriptor's position alone.
inline bool writeAllAt(int fd, const void* data, size_t size, off_t offset) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, p, size, offset);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        p += written;
        size -= size_t(written);
        offset += written;
    }
    return true;
}

// Reads exactly `size` bytes at the descriptor's position, through short reads and
// interruptions; false on an error or when the data ends sooner.
inline bool readExactly(int fd, void* into, size_t size) {
    auto* p = static_cast<uint8_t*>(into);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

}  // namespace qfip
