#pragma once

// Landlock, the kernel's unprivileged file-access confinement (Linux 5.13 and later),
// through its raw system calls: the C library has no wrappers, and the kernel header of
// the build machine can be older than the kernel the program runs on, so the numbers and
// flags are spelled out here. The drawing helper confines itself with a ReadOnlyRuleset;
// the program asks abiVersion() to tell the user once when the kernel has none.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "common/FileDescriptor.h"

namespace qfip::landlock {

namespace detail {

// The same numbers on every architecture (they were added after the numbering was unified).
constexpr long kCreateRuleset = 444;
constexpr long kAddRule = 445;
constexpr long kRestrictSelf = 446;
constexpr uint32_t kCreateRulesetVersion = 1u << 0;
constexpr int kRulePathBeneath = 1;

// File-system rights, by the ABI version that introduced them.
constexpr uint64_t kReadFile = 1u << 2;
constexpr uint64_t kReadDir = 1u << 3;
constexpr uint64_t kFsAbi1 = (1u << 13) - 1;  // execute ... make symlink
constexpr uint64_t kFsRefer = 1u << 13;       // ABI 2
constexpr uint64_t kFsTruncate = 1u << 14;    // ABI 3
constexpr uint64_t kFsIoctlDev = 1u << 15;    // ABI 5
// TCP bind and connect (ABI 4); abstract Unix sockets and signals outside the domain (ABI 6).
constexpr uint64_t kNetTcp = (1u << 0) | (1u << 1);
constexpr uint64_t kScopes = (1u << 0) | (1u << 1);

struct RulesetAttr {
    uint64_t handledAccessFs;
    uint64_t handledAccessNet;  // read by ABI 4 and later
    uint64_t scoped;            // read by ABI 6 and later
};

struct [[gnu::packed]] PathBeneathAttr {
    uint64_t allowedAccess;
    int32_t parentFd;
};

}  // namespace detail

// The Landlock ABI version of the running kernel; 0 when it has none (older than 5.13,
// or Landlock not enabled at boot).
inline int abiVersion() {
    const long version = ::syscall(detail::kCreateRuleset, nullptr, 0, detail::kCreateRulesetVersion);
    return version > 0 ? int(version) : 0;
}

// A ruleset that handles every right the given ABI knows, so that once it is enforced
// everything no rule grants is refused: opening files and folders beyond the rules,
// writing, creating, removing, executing, truncating, device ioctls, TCP, abstract
// Unix sockets and signals to processes outside the domain.
class ReadOnlyRuleset {
public:
    explicit ReadOnlyRuleset(int abi) {
        if (abi < 1) return;
        detail::RulesetAttr attr{detail::kFsAbi1, 0, 0};
        if (abi >= 2) attr.handledAccessFs |= detail::kFsRefer;
        if (abi >= 3) attr.handledAccessFs |= detail::kFsTruncate;
        if (abi >= 5) attr.handledAccessFs |= detail::kFsIoctlDev;
        if (abi >= 4) attr.handledAccessNet = detail::kNetTcp;
        if (abi >= 6) attr.scoped = detail::kScopes;
        // A kernel refuses a larger structure whose fields it doesn't know are set.
        const size_t size = abi >= 6 ? sizeof attr : abi >= 4 ? 2 * sizeof(uint64_t) : sizeof(uint64_t);
        const long fd = ::syscall(detail::kCreateRuleset, &attr, size, 0);
        ruleset_.reset(fd >= 0 ? int(fd) : -1);
    }

    bool valid() const { return ruleset_.valid(); }

    // Allows reading the file, or reading every file and listing every folder beneath the
    // folder (the rule holds for what the path names once symbolic links are followed).
    // False when the path can't be opened (errno tells why) or the rule isn't taken.
    bool allowReading(const char* path) {
        FileDescriptor target(::open(path, O_PATH | O_CLOEXEC));
        if (!target.valid()) return false;
        struct stat info {};
        if (::fstat(target.get(), &info) != 0) return false;
        const uint64_t access = S_ISDIR(info.st_mode) ? detail::kReadFile | detail::kReadDir : detail::kReadFile;
        const detail::PathBeneathAttr rule{access, target.get()};
        return ::syscall(detail::kAddRule, ruleset_.get(), detail::kRulePathBeneath, &rule, 0) == 0;
    }

    // Confines the calling thread and every thread or process it starts from now on (a
    // thread that already runs is not confined). Needs no_new_privs (or CAP_SYS_ADMIN).
    bool enforce() { return valid() && ::syscall(detail::kRestrictSelf, ruleset_.get(), 0) == 0; }

private:
    FileDescriptor ruleset_;
};

}  // namespace qfip::landlock
