#include "results/ResultFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "common/Error.h"
#include "common/FileDescriptor.h"

namespace qfip {

namespace {

namespace fs = std::filesystem;

// The kernel gives up after as many links in a row.
constexpr int kMaxLinkHops = 40;

// A file is overwritten in place only when its old bytes fit in memory, so that they can
// be written back if the new ones can't; larger files are refused rather than put at risk.
constexpr off_t kMaxKeptBytes = off_t(1) << 30;

// The name the bytes finally land in: symbolic links, a chain of them too, are followed to
// the file they name, which need not exist yet (a dangling link creates it). None for a
// loop or an unreadable link.
std::optional<std::string> followLinks(const std::string& path) {
    fs::path name = path;
    for (int hops = 0; hops <= kMaxLinkHops; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(name, ec))) return name.string();
        const fs::path link = fs::read_symlink(name, ec);
        if (ec) return std::nullopt;
        name = name.parent_path() / link;  // a link holding an absolute path replaces it whole
    }
    return std::nullopt;
}

fs::path folderOf(const std::string& target) {
    fs::path folder = fs::path(target).parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

bool writeAllAt(int fd, std::string_view bytes, off_t offset) {
    while (!bytes.empty()) {
        const ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        bytes.remove_prefix(size_t(n));
        offset += n;
    }
    return true;
}

// The whole content of an open file, none when it can't be read or is too large to keep.
std::optional<std::string> readAll(int fd, off_t sizeNow) {
    if (sizeNow > kMaxKeptBytes) return std::nullopt;
    std::string bytes;
    bytes.reserve(size_t(sizeNow));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::pread(fd, chunk, sizeof chunk, off_t(bytes.size()));
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) return bytes;
        if (off_t(bytes.size()) + n > kMaxKeptBytes) return std::nullopt;
        bytes.append(chunk, size_t(n));
    }
}

// Makes a new or renamed entry of `folder` durable; the file is complete either way, so a
// failure here is not reported.
void syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// No file of that name yet: it is created with the usual permissions (the umask and the
// folder's defaults apply) and removed again if its bytes can't all be written.
void createNew(const std::string& target, std::string_view text, const std::string& cannotCreate) {
    FileDescriptor file(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
    if (!file.valid()) throw Error(cannotCreate);
    if (!writeAllAt(file.get(), text, 0) || ::fsync(file.get()) != 0 || !file.close()) {
        ::unlink(target.c_str());
        throw Error("Stream write error");
    }
    syncFolder(folderOf(target));
}

// Writes the text to a temporary file beside `target` that looks like the old file (owner,
// group, permission bits), then renames it over `target`. Returns false, having changed
// nothing, when no such file can be made there or the rename is refused (the caller then
// overwrites in place); a failed write leaves the old file as it was.
bool replaceThroughTemporary(const std::string& target, const struct stat& old, std::string_view text) {
    const fs::path folder = folderOf(target);
    std::string temp = (folder / ".qfip-result-XXXXXX").string();
    FileDescriptor file(::mkstemp(temp.data()));
    if (!file.valid()) return false;
    const auto discard = [&] { ::unlink(temp.c_str()); };

    // Owner and group first: changing them may clear set-id bits that the mode then sets.
    // What could not be kept is found by the fstat below.
    if (::fchown(file.get(), old.st_uid, old.st_gid) != 0 && ::fchown(file.get(), uid_t(-1), old.st_gid) != 0) {}
    struct stat now{};
    if (::fchmod(file.get(), old.st_mode & 07777) != 0 || ::fstat(file.get(), &now) != 0 ||
        now.st_uid != old.st_uid || now.st_gid != old.st_gid || (now.st_mode & 07777) != (old.st_mode & 07777)) {
        discard();
        return false;
    }
    if (!writeAllAt(file.get(), text, 0) || ::fsync(file.get()) != 0 || !file.close()) {
        discard();
        throw Error("Stream write error");
    }
    // Refused in a sticky folder for another user's file, among others.
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
        discard();
        return false;
    }
    syncFolder(folder);
    return true;
}

// Overwrites the existing file itself, so its inode, links, owner and mode stay. Its old
// bytes are read first and written back if the new ones can't all be written and flushed.
void overwriteInPlace(const std::string& target, std::string_view text, const std::string& cannotCreate) {
    // Non-blocking, so that a pipe put in the file's place meanwhile can't stall the save.
    FileDescriptor file(::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat st{};
    if (!file.valid() || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) throw Error(cannotCreate);
    const std::optional<std::string> old = readAll(file.get(), st.st_size);
    if (!old) throw Error(cannotCreate);

    // Writing over the old bytes before cutting the file to length frees no space that the
    // old bytes might need again.
    const int fd = file.get();
    if (writeAllAt(fd, text, 0) && ::ftruncate(fd, off_t(text.size())) == 0 && ::fsync(fd) == 0) return;
    // Best effort, each part whatever the others did: the save has failed either way.
    writeAllAt(fd, *old, 0);
    if (::ftruncate(fd, off_t(old->size())) != 0) {}
    ::fsync(fd);
    throw Error("Stream write error");
}

}  // namespace

void writeResultFile(const std::string& path, std::string_view text) {
    const std::string cannotCreate = "Cannot create file " + path;
    if (path.empty()) throw Error(cannotCreate);
    const std::optional<std::string> resolved = followLinks(path);
    if (!resolved) throw Error(cannotCreate);
    const std::string& target = *resolved;

    struct stat old{};
    if (::stat(target.c_str(), &old) != 0) {
        if (errno != ENOENT) throw Error(cannotCreate);
        createNew(target, text, cannotCreate);
        return;
    }
    // Only a regular file is replaced, and only one this process may write, as opening it
    // for writing would require.
    if (!S_ISREG(old.st_mode) || ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        throw Error(cannotCreate);
    }
    // Renaming a new file over one with other hard links would split them from it.
    if (old.st_nlink == 1 && replaceThroughTemporary(target, old, text)) return;
    overwriteInPlace(target, text, cannotCreate);
}

}  // namespace qfip
