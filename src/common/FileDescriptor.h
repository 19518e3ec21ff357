#pragma once

// An owned POSIX file descriptor, and writing a whole buffer to one: the picture reader,
// the result file and both ends of the drawing helper's exchange share these.
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
inline bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= size_t(written);
    }
    return true;
}

}  // namespace qfip
