// The drawing helper's confinement: its file rules (Landlock) and its system-call filter.
// Each call they refuse fails with its error and what the helper needs still works. Each
// case runs in a forked child that first becomes an ordinary user (uid and gid 65534)
// with no new privileges, as the helper runs, then confines itself as the helper does
// and makes the one call; the exit code carries errno.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "common/Landlock.h"
#include "render/FileConfinement.h"
#include "render/Sandbox.h"

namespace {

constexpr int kNotInstalled = 200;
constexpr int kCrashed = 201;
const char* const kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// The errno the call left (0 when it succeeded), as seen by the parent, with the file
// rules of Landlock ABI `abi` (0: as on a kernel without Landlock) and the filter.
int errnoInSandbox(const std::function<int()>& call, int abi = qfip::landlock::abiVersion()) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(kNotInstalled);
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) _exit(kNotInstalled);
        const FileConfinement expected = abi > 0 ? FileConfinement::Confined : FileConfinement::NoLandlock;
        if (confineHelperFiles(abi) != expected || !installHelperSandbox()) _exit(kNotInstalled);
        errno = 0;
        const int rc = call();
        _exit(rc < 0 ? errno : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : kCrashed;
}

int readable(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    return fd < 0 ? -1 : close(fd);
}

}  // namespace

TEST(HelperSandbox, RefusesWhatTheHelperNeverNeedsAndAllowsWhatItDoes) {
    char scratch[] = "/tmp/qfip-sandbox-XXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    chmod(scratch, 0777);  // writable by the ordinary user, so only the filter refuses
    const std::string folder = scratch;
    const std::string existing = folder + "/existing";
    close(open(existing.c_str(), O_WRONLY | O_CREAT, 0666));
    chmod(existing.c_str(), 0666);
    const pid_t parent = getpid();
    // Files the user can read but drawing never needs: refused where Landlock is there.
    const int outsideTheRules = qfip::landlock::abiVersion() > 0 ? EACCES : 0;

    struct Case {
        const char* what;
        std::function<int()> call;
        int error;
    };
    const Case cases[] = {
        {"an internet socket", [] { return socket(AF_INET, SOCK_STREAM, 0); }, EPERM},
        {"a local socket", [] { return socket(AF_UNIX, SOCK_STREAM, 0); }, EPERM},
        {"a socket pair", [] { int fds[2]; return socketpair(AF_UNIX, SOCK_STREAM, 0, fds); }, EPERM},
        {"starting a program", [] { char* argv[] = {const_cast<char*>("/bin/true"), nullptr}; return execv("/bin/true", argv); }, EPERM},
        {"a new process", [] { return int(fork()); }, EPERM},
        {"a new process by clone3", [] { return int(syscall(SYS_clone3, nullptr, 0)); }, ENOSYS},
        {"tracing", [] { return int(ptrace(PTRACE_TRACEME, 0, nullptr, nullptr)); }, EPERM},
        {"mounting", [] { return mount("none", "/tmp", "tmpfs", 0, nullptr); }, EPERM},
        {"new namespaces", [] { return unshare(CLONE_NEWUSER); }, EPERM},
        {"a signal to another process", [parent] { return kill(parent, 0); }, EPERM},
        {"raising a limit", [] { rlimit r{RLIM_INFINITY, RLIM_INFINITY}; return setrlimit(RLIMIT_AS, &r); }, EPERM},
        {"creating a file", [folder] { return open((folder + "/new").c_str(), O_WRONLY | O_CREAT, 0600); }, EACCES},
        {"opening a file to write", [existing] { return open(existing.c_str(), O_WRONLY); }, EACCES},
        {"opening a file to read and write", [existing] { return openat(AT_FDCWD, existing.c_str(), O_RDWR); }, EACCES},
        {"truncating by opening", [existing] { return open(existing.c_str(), O_RDONLY | O_TRUNC); }, EACCES},
        {"removing a file", [existing] { return unlink(existing.c_str()); }, EPERM},
        {"renaming a file", [existing, folder] { return rename(existing.c_str(), (folder + "/moved").c_str()); }, EPERM},
        {"making a folder", [folder] { return mkdir((folder + "/sub").c_str(), 0700); }, EPERM},
        {"changing permissions", [existing] { return chmod(existing.c_str(), 0600); }, EPERM},
        {"reading a font", [] { return readable(kFont); }, 0},
        {"listing the fonts", [] { return readable("/usr/share/fonts/truetype"); }, 0},
        {"reading fontconfig's configuration", [] { return readable("/etc/fonts/fonts.conf"); }, 0},
        {"reading a picture in /tmp", [existing] { return readable(existing); }, outsideTheRules},
        {"reading another file of the system", [] { return readable("/etc/passwd"); }, outsideTheRules},
        {"listing /usr/share", [] { return readable("/usr/share"); }, outsideTheRules},
        {"writing to its own output", [] { return int(write(1, "", 0)); }, 0},
        {"a signal to itself", [] { return kill(getpid(), 0); }, 0},
        {"a thread", [] { std::thread t([] {}); t.join(); return 0; }, 0},
        {"memory", [] { return std::malloc(64 << 20) ? 0 : -1; }, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(errnoInSandbox(c.call), c.error) << c.what;

    // Nothing changed on disk.
    struct stat info{};
    EXPECT_EQ(stat(existing.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666u);
    EXPECT_NE(stat((folder + "/new").c_str(), &info), 0);
    unlink(existing.c_str());
    rmdir(folder.c_str());
}

// Every Landlock version the kernel knows keeps the helper to its fonts (an older
// kernel's version handles fewer rights, reading among them); without one the helper
// still runs.
TEST(HelperSandbox, EveryLandlockVersionKeepsReadingToTheFonts) {
    for (int abi = 0; abi <= qfip::landlock::abiVersion(); ++abi) {
        EXPECT_EQ(errnoInSandbox([] { return readable(kFont); }, abi), 0) << abi;
        EXPECT_EQ(errnoInSandbox([] { return readable("/etc/passwd"); }, abi), abi > 0 ? EACCES : 0) << abi;
    }
}

TEST(HelperSandbox, AbortStillEndsTheHelperBySignal) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (!installHelperSandbox()) _exit(kNotInstalled);
        std::abort();
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
}
