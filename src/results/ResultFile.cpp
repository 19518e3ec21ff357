#include "results/ResultFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
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

// How many numbered names a recovery copy may try before the save goes on without one.
constexpr int kMaxRecoveryNames = 100;

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

// Makes a new, renamed or removed entry of `folder` durable; a failure here is not
// reported (the file's own bytes are on disk either way).
void syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// ---- temporary files ----------------------------------------------------------------------

// Every temporary file of a save is named so, and locked (flock) by its writer for as long
// as the writer lives: an unlocked one was left by a save that was killed.
constexpr std::string_view kTemporaryPrefix = ".qfip-result-";
constexpr size_t kTemporarySuffixLength = 6;

std::string randomSuffix() {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char random[kTemporarySuffixLength] = {};
    if (::getrandom(random, sizeof random, 0) != ssize_t(sizeof random)) {
        for (unsigned char& r : random) r = static_cast<unsigned char>(std::rand());
    }
    std::string suffix;
    for (const unsigned char r : random) suffix += kLetters[r % (sizeof kLetters - 1)];
    return suffix;
}

bool isTemporaryName(std::string_view name) {
    return name.size() == kTemporaryPrefix.size() + kTemporarySuffixLength && name.starts_with(kTemporaryPrefix);
}

// A new file of a save beside its target, locked, removed again unless it was given its
// final name.
class Temporary {
public:
    // Creates it with `mode` (the umask applies, as for any new file); nothing when the
    // folder doesn't take a new file.
    static std::optional<Temporary> create(const fs::path& folder, mode_t mode) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            Temporary t;
            t.path_ = (folder / (std::string(kTemporaryPrefix) + randomSuffix())).string();
            t.fd_.reset(::open(t.path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode));
            if (!t.fd_.valid()) {
                if (errno == EEXIST) continue;
                return std::nullopt;
            }
            // A clean-up that ran between the creation and the lock took the name away:
            // start again under a new name.
            struct stat opened{}, named{};
            if (::flock(t.fd_.get(), LOCK_EX) != 0 || ::fstat(t.fd_.get(), &opened) != 0 ||
                ::lstat(t.path_.c_str(), &named) != 0 || opened.st_ino != named.st_ino ||
                opened.st_dev != named.st_dev) {
                t.path_.clear();
                continue;
            }
            return t;
        }
        return std::nullopt;
    }

    Temporary(Temporary&& other) noexcept : path_(std::move(other.path_)), fd_(std::move(other.fd_)) {
        other.path_.clear();
    }
    Temporary& operator=(Temporary&&) = delete;
    ~Temporary() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }

    int fd() const { return fd_.get(); }

    // Writes and flushes the whole text; false on any failure.
    bool write(std::string_view text) { return writeAllAt(fd_.get(), text.data(), text.size(), 0) && ::fsync(fd_.get()) == 0; }

    // Renames it over `target`; false when refused (it is then removed with this object).
    bool renameOver(const std::string& target) {
        if (std::rename(path_.c_str(), target.c_str()) != 0) return false;
        path_.clear();
        return true;
    }

    // Gives it `name`, only where no file of that name is; false when one is.
    bool renameToNew(const std::string& name) {
        if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) != 0) {
            // A file system without the flag: a new link fails just as well when the name is taken.
            if (errno != EINVAL || ::link(path_.c_str(), name.c_str()) != 0) return false;
            ::unlink(path_.c_str());
        }
        path_.clear();
        return true;
    }

    // Closes it now, so a failure the kernel reports only then is seen.
    bool close() { return fd_.close(); }

private:
    Temporary() = default;
    std::string path_;
    FileDescriptor fd_;
};

// Removes the temporary files that a killed save of this user left in `folder`: only ours by
// name and owner, and only where no writer holds the lock any more.
void removeAbandonedTemporaries(const fs::path& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTemporaryName(entry->d_name)) continue;
        const std::string path = (folder / entry->d_name).string();
        FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
        struct stat opened{}, named{};
        if (!file.valid() || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
            opened.st_uid != ::geteuid() || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        // Still the same file under that name, now locked by us: no writer can own it.
        if (::lstat(path.c_str(), &named) == 0 && named.st_ino == opened.st_ino && named.st_dev == opened.st_dev)
            ::unlink(path.c_str());
    }
    ::closedir(dir);
}

// ---- the three ways a save goes ---------------------------------------------------------

// No file of that name yet: written under a temporary name and renamed into place once
// every byte is on disk, so a kill never leaves part of the text under the file's name.
void createNew(const std::string& target, std::string_view text, const std::string& cannotCreate) {
    std::optional<Temporary> file = Temporary::create(folderOf(target), 0666);
    if (!file) throw Error(cannotCreate);
    if (!file->write(text) || !file->close()) throw Error("Stream write error");
    if (!file->renameOver(target)) throw Error(cannotCreate);
    syncFolder(folderOf(target));
}

// Writes the text to a temporary file beside `target` that looks like the old file (owner,
// group, permission bits), then renames it over `target`. Returns false, having changed
// nothing, when no such file can be made there or the rename is refused (the caller then
// overwrites in place); a failed write leaves the old file as it was.
bool replaceThroughTemporary(const std::string& target, const struct stat& old, std::string_view text) {
    std::optional<Temporary> file = Temporary::create(folderOf(target), 0600);
    if (!file) return false;
    // Owner and group first: changing them may clear set-id bits that the mode then sets.
    // What could not be kept is found by the fstat below.
    if (::fchown(file->fd(), old.st_uid, old.st_gid) != 0 && ::fchown(file->fd(), uid_t(-1), old.st_gid) != 0) {}
    struct stat now{};
    if (::fchmod(file->fd(), old.st_mode & 07777) != 0 || ::fstat(file->fd(), &now) != 0 ||
        now.st_uid != old.st_uid || now.st_gid != old.st_gid || (now.st_mode & 07777) != (old.st_mode & 07777))
        return false;
    if (!file->write(text)) throw Error("Stream write error");
    // Refused in a sticky folder for another user's file, among others. The lock is held
    // until the new file has its name.
    if (!file->renameOver(target)) return false;
    syncFolder(folderOf(target));
    return true;
}

// A complete, durable copy of a file's old bytes beside it, named "<name>.qfip-backup" (or
// "-2", "-3", ... when that name is taken: an earlier copy is never replaced). Nothing when
// the folder takes no new file; throws "Stream write error" when a copy was begun but can't
// be completed (the file itself is then not touched).
std::optional<std::string> keepRecoveryCopy(const std::string& target, const struct stat& old,
                                            std::string_view bytes) {
    std::optional<Temporary> copy = Temporary::create(folderOf(target), old.st_mode & 0666);
    if (!copy) return std::nullopt;
    if (!copy->write(bytes)) throw Error("Stream write error");
    for (int n = 1; n <= kMaxRecoveryNames; ++n) {
        std::string name = target + ".qfip-backup";
        if (n > 1) name.append("-").append(std::to_string(n));
        if (copy->renameToNew(name)) {
            syncFolder(folderOf(target));
            return name;
        }
        if (errno != EEXIST) break;
    }
    return std::nullopt;
}

// Overwrites the existing file itself, so its inode, links, owner and mode stay. Its old
// bytes are read first, copied beside it where the folder allows (so a kill or a power cut
// half-way leaves them in that copy), and written back if the new ones can't all be written
// and flushed; the copy is removed once the file holds a whole text again.
void overwriteInPlace(const std::string& target, std::string_view text, const std::string& cannotCreate) {
    // Non-blocking, so that a pipe put in the file's place meanwhile can't stall the save.
    FileDescriptor file(::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat st{};
    if (!file.valid() || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) throw Error(cannotCreate);
    const std::optional<std::string> old = readAll(file.get(), st.st_size);
    if (!old) throw Error(cannotCreate);
    const std::optional<std::string> copy = keepRecoveryCopy(target, st, *old);
    const auto removeCopy = [&] {
        if (copy) ::unlink(copy->c_str());
    };

    // Writing over the old bytes before cutting the file to length frees no space that the
    // old bytes might need again.
    const int fd = file.get();
    if (writeAllAt(fd, text.data(), text.size(), 0) && ::ftruncate(fd, off_t(text.size())) == 0 && ::fsync(fd) == 0) {
        removeCopy();
        return;
    }
    // Best effort, each part whatever the others did: the save has failed either way. The
    // copy goes only once the old bytes are back on disk.
    const bool restored = writeAllAt(fd, old->data(), old->size(), 0) && ::ftruncate(fd, off_t(old->size())) == 0 && ::fsync(fd) == 0;
    if (restored) removeCopy();
    throw Error("Stream write error");
}

}  // namespace

void writeResultFile(const std::string& path, std::string_view text) {
    const std::string cannotCreate = "Cannot create file " + path;
    if (path.empty()) throw Error(cannotCreate);
    const std::optional<std::string> resolved = followLinks(path);
    if (!resolved) throw Error(cannotCreate);
    const std::string& target = *resolved;
    removeAbandonedTemporaries(folderOf(target));

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
