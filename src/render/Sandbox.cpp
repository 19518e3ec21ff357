#include "render/Sandbox.h"

#include <cerrno>
#include <fcntl.h>
#include <initializer_list>
#include <sched.h>
#include <seccomp.h>
#include <unistd.h>

namespace {

class Filter {
public:
    Filter() : ctx_(seccomp_init(SCMP_ACT_ALLOW)) {}
    ~Filter() {
        if (ctx_) seccomp_release(ctx_);
    }
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    bool valid() const { return ctx_ != nullptr; }

    // Refuses a call (by name, so calls this architecture lacks are skipped).
    void refuse(const char* name, int error = EPERM) {
        const int number = seccomp_syscall_resolve_name(name);
        if (number == __NR_SCMP_ERROR) return;
        ok_ = ok_ && seccomp_rule_add(ctx_, SCMP_ACT_ERRNO(uint32_t(error)), number, 0) == 0;
    }
    // Refuses a call when one argument matches.
    void refuseWhen(const char* name, scmp_arg_cmp compare, int error = EPERM) {
        const int number = seccomp_syscall_resolve_name(name);
        if (number == __NR_SCMP_ERROR) return;
        ok_ = ok_ && seccomp_rule_add(ctx_, SCMP_ACT_ERRNO(uint32_t(error)), number, 1, compare) == 0;
    }

    bool load() { return ok_ && seccomp_load(ctx_) == 0; }

private:
    scmp_filter_ctx ctx_;
    bool ok_ = true;
};

}  // namespace

bool installHelperSandbox() {
    Filter filter;
    if (!filter.valid()) return false;

    for (const char* name : {"execve", "execveat", "fork", "vfork", "socket", "socketpair", "connect", "bind",
                             "listen", "accept", "accept4", "ptrace", "process_vm_readv", "process_vm_writev",
                             "pidfd_open", "pidfd_send_signal", "pidfd_getfd", "creat", "unlink", "unlinkat",
                             "rename", "renameat", "renameat2", "mkdir", "mkdirat", "rmdir", "link", "linkat",
                             "symlink", "symlinkat", "chmod", "fchmod", "fchmodat", "chown", "fchown", "lchown",
                             "fchownat", "truncate", "ftruncate", "mknod", "mknodat", "utime", "utimes",
                             "utimensat", "futimesat", "setxattr", "lsetxattr", "fsetxattr", "removexattr",
                             "lremovexattr", "fremovexattr", "mount", "umount2", "pivot_root", "chroot",
                             "unshare", "setns", "kexec_load", "kexec_file_load", "init_module",
                             "finit_module", "delete_module", "bpf", "perf_event_open", "keyctl", "add_key",
                             "request_key", "userfaultfd", "reboot", "swapon", "swapoff", "acct", "quotactl",
                             "setrlimit", "prlimit64", "fanotify_init", "open_by_handle_at", "name_to_handle_at",
                             "move_mount", "open_tree", "fsopen", "fsmount", "fsconfig", "fspick"})
        filter.refuse(name);
    filter.refuse("clone3", ENOSYS);
    filter.refuse("openat2", ENOSYS);
    // clone is allowed for threads only.
    filter.refuseWhen("clone", SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0));
    // Opening for writing, creating or truncating.
    filter.refuseWhen("open", SCMP_A1(SCMP_CMP_MASKED_EQ, O_WRONLY, O_WRONLY), EACCES);
    filter.refuseWhen("open", SCMP_A1(SCMP_CMP_MASKED_EQ, O_RDWR, O_RDWR), EACCES);
    filter.refuseWhen("open", SCMP_A1(SCMP_CMP_MASKED_EQ, O_CREAT, O_CREAT), EACCES);
    filter.refuseWhen("open", SCMP_A1(SCMP_CMP_MASKED_EQ, O_TRUNC, O_TRUNC), EACCES);
    filter.refuseWhen("openat", SCMP_A2(SCMP_CMP_MASKED_EQ, O_WRONLY, O_WRONLY), EACCES);
    filter.refuseWhen("openat", SCMP_A2(SCMP_CMP_MASKED_EQ, O_RDWR, O_RDWR), EACCES);
    filter.refuseWhen("openat", SCMP_A2(SCMP_CMP_MASKED_EQ, O_CREAT, O_CREAT), EACCES);
    filter.refuseWhen("openat", SCMP_A2(SCMP_CMP_MASKED_EQ, O_TRUNC, O_TRUNC), EACCES);
    // Signals only to the helper itself (abort() raises SIGABRT with tgkill).
    const scmp_datum_t self = scmp_datum_t(getpid());
    filter.refuseWhen("kill", SCMP_A0(SCMP_CMP_NE, self));
    filter.refuseWhen("tgkill", SCMP_A0(SCMP_CMP_NE, self));
    filter.refuse("tkill");
    return filter.load();
}
