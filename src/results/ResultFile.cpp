#include "results/ResultFile.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "common/Error.h"

namespace qfip {

std::string withCrlfLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

// The file the bytes finally land in: a symbolic link is followed, so saving over a
// link replaces the file it points to, as writing through it would.
std::string finalTarget(const std::string& path) {
    struct stat st{};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), &free);
        if (resolved) return resolved.get();
    }
    return path;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Permission bits for the new file: those of the file it replaces, or 0644 less the umask.
mode_t newFileMode(const std::string& target) {
    struct stat st{};
    if (stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0644 & ~mask;
}

bool writeAll(int fd, std::string_view text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        p += n;
        left -= size_t(n);
    }
    return true;
}

}  // namespace

void writeResultFile(const std::string& path, std::string_view text) {
    const std::string cannotCreate = "Cannot create file " + path;
    if (path.empty()) throw Error(cannotCreate);

    const std::string target = finalTarget(path);
    // An existing file we may not write stays as it is, as opening it for writing would fail.
    if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0) throw Error(cannotCreate);
    const std::string folder = folderOf(target);
    std::string temp = (folder == "/" ? std::string("/") : folder + "/") + ".qfip-result-XXXXXX";

    const int fd = mkstemp(temp.data());
    if (fd < 0) throw Error(cannotCreate);

    const auto discard = [&] { ::unlink(temp.c_str()); };

    if (fchmod(fd, newFileMode(target)) != 0) {
        ::close(fd);
        discard();
        throw Error(cannotCreate);
    }
    if (!writeAll(fd, text) || fsync(fd) != 0) {
        ::close(fd);
        discard();
        throw Error("Stream write error");
    }
    if (::close(fd) != 0) {
        discard();
        throw Error("Stream write error");
    }
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
        discard();
        throw Error(cannotCreate);
    }
    // Make the rename itself durable; the file is complete either way, so a failure here
    // is not reported.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        fsync(dir);
        ::close(dir);
    }
}

}  // namespace qfip
