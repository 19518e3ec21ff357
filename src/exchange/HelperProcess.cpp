#include "exchange/HelperProcess.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qfip::exchange {

namespace {

// Everything the child needs, prepared before the fork: after it, the child may only
// make async-signal-safe calls (the parent can have other threads holding locks).
struct ChildPlan {
    const char* path;
    char* const* argv;
    char* const* envp;
    int requestFd;  // the helper's end of the request socket
    int replyFd;
    int nullFd;
    pid_t parent;
    rlimit addressSpace;
    rlimit cpu;
    rlimit openFiles;
};

[[noreturn]] void runChild(const ChildPlan& plan) {
    // Only async-signal-safe calls (plain system calls) from here to execve.
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_SETMASK, &all, nullptr);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &action, nullptr);
    // Writing past RLIMIT_FSIZE then fails with EFBIG instead of killing the helper.
    action.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &action, nullptr);

    setpgid(0, 0);
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != plan.parent) _exit(127);

    // Out of the way of 0 to 2 first, in case one of them is a descriptor we move.
    const int in = fcntl(plan.requestFd, F_DUPFD, 10);
    const int out = fcntl(plan.replyFd, F_DUPFD, 10);
    const int err = fcntl(plan.nullFd, F_DUPFD, 10);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) != 0 || dup2(out, 1) != 1 || dup2(err, 2) != 2) _exit(127);
    if (syscall(SYS_close_range, 3U, ~0U, 0U) != 0) {
        for (int fd = 3; fd < 65536; ++fd) close(fd);
    }

    const rlimit none{0, 0};
    if (setrlimit(RLIMIT_AS, &plan.addressSpace) != 0 || setrlimit(RLIMIT_CPU, &plan.cpu) != 0 ||
        setrlimit(RLIMIT_NOFILE, &plan.openFiles) != 0 || setrlimit(RLIMIT_CORE, &none) != 0 ||
        setrlimit(RLIMIT_FSIZE, &none) != 0)
        _exit(127);
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) _exit(127);

    sigset_t nothing;
    sigemptyset(&nothing);
    sigprocmask(SIG_SETMASK, &nothing, nullptr);
    execve(plan.path, plan.argv, plan.envp);
    _exit(127);
}

}  // namespace

std::unique_ptr<HelperProcess> HelperProcess::start(const HelperCommand& command) {
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) != 0) return nullptr;
    FileDescriptor requestsParent(sockets[0]), requestsChild(sockets[1]);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return nullptr;
    FileDescriptor replyRead(pipeFds[0]), replyWrite(pipeFds[1]);
    ::fcntl(replyRead.get(), F_SETPIPE_SZ, 1 << 20);  // fewer wake-ups for large pictures
    FileDescriptor devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!devNull.valid()) return nullptr;

    std::string path = command.path;
    char* argv[] = {path.data(), nullptr};
    const auto limit = [](uint64_t v) { return rlimit{rlim_t(v), rlim_t(v)}; };
    ChildPlan plan{path.c_str(), argv, environ, requestsChild.get(), replyWrite.get(), devNull.get(), ::getpid(),
                   limit(command.limits.addressSpaceBytes),
                   rlimit{rlim_t(command.limits.cpuSeconds), rlim_t(command.limits.cpuSeconds + 1)},
                   limit(command.limits.openFiles)};
    const pid_t pid = ::_Fork();
    if (pid == 0) runChild(plan);
    if (pid < 0) return nullptr;
    return std::unique_ptr<HelperProcess>(new HelperProcess(pid, std::move(requestsParent), std::move(replyRead)));
}

HelperProcess::HelperProcess(pid_t pid, FileDescriptor requests, FileDescriptor reply)
    : pid_(pid), requests_(std::move(requests)), reply_(std::move(reply)) {
    // Also set here, so a kill of the group can't miss a child that hasn't run yet.
    ::setpgid(pid_, pid_);
    const long pidfd = ::syscall(SYS_pidfd_open, pid_, 0);
    pidfd_.reset(pidfd >= 0 ? int(pidfd) : -1);
}

HelperProcess::~HelperProcess() {
    if (!reaped_) killAndReap();
}

bool HelperProcess::sendRequest(const RequestHeaderBytes& header, int memoryFile) {
    const bool sent = exchange::sendRequest(requests_.get(), header, memoryFile);
    requests_.reset();
    return sent;
}

bool HelperProcess::waiting() const {
    pollfd fds[2] = {{reply_.get(), POLLIN, 0}, {pidfd_.valid() ? pidfd_.get() : -1, POLLIN, 0}};
    if (::poll(fds, 2, 0) != 0) return false;
    if (!pidfd_.valid()) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG | WNOWAIT) != 0) return false;
    }
    return !stoppedOrEnded();
}

void HelperProcess::killGroup() {
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
}

int HelperProcess::killAndReap() {
    if (reaped_) return status_;
    killGroup();
    return reap();
}

int HelperProcess::reap() {
    if (reaped_) return status_;
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    status_ = status;
    return status;
}

bool HelperProcess::waitForExit(Clock::time_point deadline, int stopFd, bool& stopped) {
    stopped = false;
    for (;;) {
        if (pidfd_.valid()) {
            pollfd fds[2] = {{pidfd_.get(), POLLIN, 0}, {stopFd, POLLIN, 0}};
            const int ready = ::poll(fds, 2, remainingMs(deadline));
            if (ready < 0 && errno != EINTR) return false;
            if (ready > 0 && (fds[1].revents & POLLIN)) {
                stopped = true;
                return false;
            }
            if (ready > 0 && fds[0].revents) {
                // The group is killed before the leader is reaped, so its id can't be
                // reused meanwhile: nothing the helper started outlives it.
                killGroup();
                reap();
                return true;
            }
            if (ready == 0 && Clock::now() >= deadline) return false;
        } else {
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                ::kill(-pid_, SIGKILL);
                reaped_ = true;
                status_ = status;
                return true;
            }
            if (Clock::now() >= deadline) return false;
            pollfd stopPoll{stopFd, POLLIN, 0};
            if (::poll(&stopPoll, 1, 1) > 0) {
                stopped = true;
                return false;
            }
        }
    }
}

int HelperProcess::remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return int(std::min<long long>(left + 1, 60000));
}

Clock::duration HelperProcess::waitedForCpu() const {
    char path[40];
    std::snprintf(path, sizeof path, "/proc/%d/schedstat", int(pid_));
    FileDescriptor schedstat(::open(path, O_RDONLY | O_CLOEXEC));
    if (!schedstat.valid()) return {};
    // "<time on a CPU> <time waiting for one> <times run>", in nanoseconds.
    char text[96];
    const ssize_t n = ::read(schedstat.get(), text, sizeof text);
    if (n <= 0) return {};
    const char* end = text + n;
    const char* waited = std::find(static_cast<const char*>(text), end, ' ');
    uint64_t nanoseconds = 0;
    if (waited == end || std::from_chars(waited + 1, end, nanoseconds).ec != std::errc()) return {};
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanoseconds));
}

// The state letter of /proc/<pid>/stat (after the name in parentheses, which may hold
// any character): T or t stopped, Z or X ended. The helper is not reaped yet, so the
// number is still its own. Without /proc the poll in waiting() has to do.
bool HelperProcess::stoppedOrEnded() const {
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%d/stat", int(pid_));
    FileDescriptor stat(::open(path, O_RDONLY | O_CLOEXEC));
    if (!stat.valid()) return false;
    char text[512];
    const ssize_t n = ::read(stat.get(), text, sizeof text - 1);
    if (n <= 0) return false;
    text[n] = 0;
    const char* end = std::strrchr(text, ')');
    if (!end || end[1] != ' ') return false;
    return std::strchr("TtZX", end[2]) != nullptr && end[2] != 0;
}

}  // namespace qfip::exchange
