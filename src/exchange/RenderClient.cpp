#include "exchange/RenderClient.h"

#include <bit>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/Error.h"
#include "common/FileDescriptor.h"

extern char** environ;

namespace qfip::exchange {

namespace {

using Clock = std::chrono::steady_clock;

// The request in a sealed memfd: nobody can change it once the helper may read it.
int makeRequest(DrawnKind kind, std::span<const uint8_t> bytes) {
    const int fd = ::memfd_create("quendral-request", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) return -1;
    const auto header = encodeRequestHeader(kind, bytes.size());
    if (!writeAll(fd, header.data(), header.size()) || !writeAll(fd, bytes.data(), bytes.size()) ||
        ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0 ||
        ::lseek(fd, 0, SEEK_SET) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

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

// One started helper: its process (killed with its whole process group and reaped
// unless it was reaped already, whatever way it goes), the socket its request goes
// through and the pipe its reply comes back on.
class Helper {
public:
    Helper(pid_t pid, FileDescriptor& requests, FileDescriptor& reply) : pid_(pid) {
        requests_.reset(requests.get());
        reply_.reset(reply.get());
        requests.release();
        reply.release();
        // Also set here, so a kill of the group can't miss a child that hasn't run yet.
        ::setpgid(pid_, pid_);
        const long pidfd = ::syscall(SYS_pidfd_open, pid_, 0);
        pidfd_.reset(pidfd >= 0 ? int(pidfd) : -1);
    }
    ~Helper() {
        if (!reaped_) killAndReap();
    }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    int replyFd() const { return reply_.get(); }

    // Hands the sealed request memfd to the helper (it waits for it in recvmsg).
    bool sendRequest(int memfd) {
        const bool sent = exchange::sendRequest(requests_.get(), memfd);
        requests_.reset();  // one request per helper: it sees the end of the socket next
        return sent;
    }

    // A started helper still waiting for its request: running (not stopped by a signal
    // or a tracer, not ended), and silent so far.
    bool waiting() const {
        pollfd fds[2] = {{reply_.get(), POLLIN, 0}, {pidfd_.valid() ? pidfd_.get() : -1, POLLIN, 0}};
        if (::poll(fds, 2, 0) != 0) return false;
        if (!pidfd_.valid()) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG | WNOWAIT) != 0) return false;
        }
        return !stoppedOrEnded();
    }

    void killGroup() {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
    }

    // Kills the helper and waits for it (a killed process ends at once).
    int killAndReap() {
        if (reaped_) return status_;
        killGroup();
        return reap();
    }

    // The exit status once the helper ended (anything still in its group is killed).
    int reap() {
        if (reaped_) return status_;
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        reaped_ = true;
        status_ = status;
        return status;
    }

    // Waits until the helper has ended (true; it is then reaped), the deadline passes or
    // the stop descriptor becomes readable (false; `stopped` tells which).
    bool waitForExit(Clock::time_point deadline, int stopFd, bool& stopped) {
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

    static int remainingMs(Clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return 0;
        return int(std::min<long long>(left + 1, 60000));
    }

private:
    // The state letter of /proc/<pid>/stat (after the name in parentheses, which may hold
    // any character): T or t stopped, Z or X ended. The helper is not reaped yet, so the
    // number is still its own. Without /proc the poll above has to do.
    bool stoppedOrEnded() const {
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

    pid_t pid_;
    FileDescriptor pidfd_;
    FileDescriptor requests_;
    FileDescriptor reply_;
    bool reaped_ = false;
    int status_ = 0;
};

// Starts a helper: it sets itself up (Qt, its filter) and then waits for its request.
// Null when no process could be started (errno tells why).
std::unique_ptr<Helper> spawnHelper(const ClientOptions& options) {
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) != 0) return nullptr;
    FileDescriptor requestsParent(sockets[0]), requestsChild(sockets[1]);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return nullptr;
    FileDescriptor replyRead(pipeFds[0]), replyWrite(pipeFds[1]);
    ::fcntl(replyRead.get(), F_SETPIPE_SZ, 1 << 20);  // fewer wake-ups for large pictures
    FileDescriptor devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!devNull.valid()) return nullptr;

    std::string path = options.helperPath;
    char* argv[] = {path.data(), nullptr};
    const auto limit = [](uint64_t v) { return rlimit{rlim_t(v), rlim_t(v)}; };
    ChildPlan plan{path.c_str(), argv, environ, requestsChild.get(), replyWrite.get(), devNull.get(), ::getpid(),
                   limit(options.limits.addressSpaceBytes),
                   rlimit{rlim_t(options.limits.cpuSeconds), rlim_t(options.limits.cpuSeconds + 1)},
                   limit(options.limits.openFiles)};
    const pid_t pid = ::_Fork();
    if (pid == 0) runChild(plan);
    if (pid < 0) return nullptr;
    return std::make_unique<Helper>(pid, requestsParent, replyRead);
}

bool sameProcess(const ClientOptions& a, const ClientOptions& b) {
    return a.helperPath == b.helperPath && a.limits.addressSpaceBytes == b.limits.addressSpaceBytes &&
           a.limits.cpuSeconds == b.limits.cpuSeconds && a.limits.openFiles == b.limits.openFiles;
}

// The spare: one helper started ahead, by a thread of its own (which lives as long as
// the program, so the helper's parent-death signal is not tied to a caller's thread),
// and handed to the next drawing. Still one process per picture.
class Spares {
public:
    ~Spares() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    // The spare if it was started with these options and still waits (waiting for one
    // being started); null otherwise.
    std::unique_ptr<Helper> take(const ClientOptions& options) {
        std::unique_ptr<Helper> taken, stale;
        {
            std::unique_lock lock(mutex_);
            if (starting_ && sameProcess(startingOptions_, options))
                ready_.wait(lock, [&] { return !starting_ || stopping_; });
            if (spare_ && sameProcess(spareOptions_, options)) taken = std::move(spare_);
            stale = std::move(spare_);
        }
        stale.reset();  // kills and reaps a spare of other options, outside the lock
        if (taken && !taken->waiting()) taken.reset();
        return taken;
    }

    // Starts a spare with these options in the background (when none is there yet).
    void want(const ClientOptions& options) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            wanted_ = options;
            if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
        }
        wake_.notify_all();
    }

    void discard() {
        std::unique_ptr<Helper> old;
        {
            std::unique_lock lock(mutex_);
            wanted_.reset();
            ready_.wait(lock, [&] { return !starting_; });
            old = std::move(spare_);
        }
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || wanted_; });
            if (stopping_) {
                spare_.reset();
                return;
            }
            const ClientOptions options = *wanted_;
            wanted_.reset();
            if (spare_ && sameProcess(spareOptions_, options) && spare_->waiting()) continue;
            std::unique_ptr<Helper> old = std::move(spare_);
            starting_ = true;
            startingOptions_ = options;
            lock.unlock();
            old.reset();
            std::unique_ptr<Helper> started = spawnHelper(options);
            lock.lock();
            starting_ = false;
            spare_ = std::move(started);
            spareOptions_ = options;
            ready_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, ready_;
    std::thread thread_;
    std::unique_ptr<Helper> spare_;
    ClientOptions spareOptions_, startingOptions_;
    std::optional<ClientOptions> wanted_;
    bool starting_ = false;
    bool stopping_ = false;
};

Spares& spares() {
    static Spares instance;
    return instance;
}

DrawResult result(Outcome outcome, int detail = 0) {
    DrawResult r;
    r.outcome = outcome;
    r.detail = detail;
    return r;
}

// How a helper that ended early (or was reaped) is reported: its death first.
DrawResult byExitStatus(int status, Outcome otherwise, int detail = 0) {
    if (WIFSIGNALED(status)) return result(Outcome::Signalled, WTERMSIG(status));
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0) return result(Outcome::ExitCode, WEXITSTATUS(status));
    return result(otherwise, detail);
}

}  // namespace

std::chrono::milliseconds drawingDeadline(const ClientOptions& options, DrawnKind kind,
                                          std::span<const uint8_t> bytes) {
    using std::chrono::milliseconds;
    if (kind == DrawnKind::Icon) return options.deadline;
    const std::optional<Size> size = expectedSize(kind, bytes);
    const uint64_t pixels = size ? uint64_t(size->width) * uint64_t(size->height) : 0;
    const uint64_t records = metafileRecordCount(kind, bytes);
    const uint64_t extraMs = pixels * 1000 / (uint64_t(1) << 22) + records * 1000 / 40000;
    const uint64_t mostMs = options.limits.cpuSeconds * 1000;
    return options.deadline + milliseconds(std::min(extraMs, mostMs));
}

void discardSpareHelper() { spares().discard(); }
void startSpareHelper(const ClientOptions& options) { spares().want(options); }

ReplyReader::ReplyReader(DrawnKind kind, std::optional<Size> expected, const PixelSink& sink)
    : kind_(kind), expected_(expected), sink_(sink) {}

std::span<uint8_t> ReplyReader::nextBuffer() {
    switch (phase_) {
    case Phase::Header: return std::span(header_).subspan(headerBytes_);
    case Phase::Pixels: return std::span(pixels_ + received_, size_t(parsed_.header.pixelBytes - received_));
    case Phase::End: break;
    }
    return std::span(&scratch_, 1);
}

ReplyReader::State ReplyReader::fail(Outcome outcome, int detail) {
    state_ = State::Failed;
    failure_ = outcome;
    detail_ = detail;
    return state_;
}

ReplyReader::State ReplyReader::received(size_t count) {
    if (state_ != State::Reading || count == 0) return state_;
    switch (phase_) {
    case Phase::Header: {
        headerBytes_ += count;
        if (headerBytes_ < header_.size()) return state_;
        parsed_ = parseReplyHeader(header_, kind_, expected_);
        if (parsed_.check != ReplyCheck::Ok) return fail(Outcome::MalformedReply, int(parsed_.check));
        if (parsed_.header.status == ReplyStatus::NotValid) {
            phase_ = Phase::End;
            return state_;
        }
        uint32_t* buffer = nullptr;
        try {
            buffer = sink_(parsed_.header.width, parsed_.header.height);
        } catch (...) {
            buffer = nullptr;
        }
        if (!buffer) return fail(Outcome::NoImage);
        pixels_ = reinterpret_cast<uint8_t*>(buffer);
        phase_ = Phase::Pixels;
        return state_;
    }
    case Phase::Pixels:
        received_ += count;
        if (received_ == parsed_.header.pixelBytes) {
            phase_ = Phase::End;
            if constexpr (std::endian::native == std::endian::big) {
                auto* words = reinterpret_cast<uint32_t*>(pixels_);
                for (uint64_t i = 0; i < received_ / 4; ++i) words[i] = __builtin_bswap32(words[i]);
            }
        }
        return state_;
    case Phase::End: break;
    }
    return fail(Outcome::ExtraBytes);
}

ReplyReader::State ReplyReader::endOfStream() {
    if (state_ != State::Reading) return state_;
    if (phase_ != Phase::End) return fail(Outcome::ShortReply);
    state_ = State::Complete;
    return state_;
}

std::string describe(const DrawResult& r) {
    switch (r.outcome) {
    case Outcome::Drawn: return "drawn " + std::to_string(r.width) + " x " + std::to_string(r.height);
    case Outcome::NotValid: return "not valid";
    case Outcome::Signalled: return "killed by signal " + std::to_string(r.detail) + " (" + strsignal(r.detail) + ")";
    case Outcome::ExitCode: return "exited with status " + std::to_string(r.detail);
    case Outcome::Timeout: return "past its deadline, killed";
    case Outcome::Stopped: return "abandoned by its caller, killed";
    case Outcome::MalformedReply: return "malformed reply: " + describe(ReplyCheck(r.detail));
    case Outcome::ShortReply: return "short reply";
    case Outcome::ExtraBytes: return "more bytes than announced";
    case Outcome::NoImage: return "no image of that size";
    case Outcome::SpawnFailed: return std::string("not started: ") + strerror(r.detail);
    }
    return "?";
}

DrawResult drawInHelper(DrawnKind kind, std::span<const uint8_t> bytes, const PixelSink& sink,
                        const ClientOptions& options, std::stop_token stop) {
    if (bytes.size() > kMaxRequestBytes) return result(Outcome::NotValid);
    if (stop.stop_requested()) return result(Outcome::Stopped);
    const std::optional<Size> expected = expectedSize(kind, bytes);
    // A metafile whose header gives no drawable size is not sent at all, and neither is
    // an empty one: it has nothing to draw.
    if (kind != DrawnKind::Icon && !expected) return result(Outcome::NotValid);
    if (expected && expected->isEmpty()) return result(Outcome::Drawn);

    FileDescriptor request(makeRequest(kind, bytes));
    if (!request.valid()) return result(Outcome::SpawnFailed, errno);
    FileDescriptor stopFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!stopFd.valid()) return result(Outcome::SpawnFailed, errno);
    // Wakes the waits below at once from whichever thread asks to stop.
    std::stop_callback onStop(stop, [fd = stopFd.get()] {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(fd, &one, sizeof one);
    });
    // The next picture's helper starts in the background once this one is done.
    struct StartSpareAfter {
        const ClientOptions& options;
        ~StartSpareAfter() {
            if (options.spare) spares().want(options);
        }
    } startSpareAfter{options};

    std::unique_ptr<Helper> started = options.spare ? spares().take(options) : nullptr;
    if (!started || !started->sendRequest(request.get())) {
        started = spawnHelper(options);
        if (!started) return result(Outcome::SpawnFailed, errno);
        // A helper that has died meanwhile refuses it; its end tells why below.
        started->sendRequest(request.get());
    }
    request.reset();
    Helper& helper = *started;
    // The deadline runs from the request: a spare's start-up is not the picture's time.
    const Clock::time_point deadline = Clock::now() + drawingDeadline(options, kind, bytes);

    ReplyReader reader(kind, expected, sink);
    for (;;) {
        pollfd fds[2] = {{helper.replyFd(), POLLIN, 0}, {stopFd.get(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, Helper::remainingMs(deadline));
        if (ready < 0) {
            if (errno == EINTR) continue;
            helper.killAndReap();
            return result(Outcome::ShortReply);
        }
        if (fds[1].revents & POLLIN) {
            helper.killAndReap();
            return result(Outcome::Stopped);
        }
        if (ready == 0) {
            if (Clock::now() < deadline) continue;
            helper.killAndReap();
            return result(Outcome::Timeout);
        }
        const std::span<uint8_t> buffer = reader.nextBuffer();
        const ssize_t n = ::read(helper.replyFd(), buffer.data(), std::min<size_t>(buffer.size(), size_t(1) << 24));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            helper.killAndReap();
            return result(Outcome::ShortReply);
        }
        if (n == 0) break;  // the end of the stream
        if (reader.received(size_t(n)) == ReplyReader::State::Failed) {
            helper.killAndReap();
            return result(reader.failure(), reader.failureDetail());
        }
    }

    // The stream has ended: the helper is ending too, within the same deadline.
    bool stopped = false;
    if (!helper.waitForExit(deadline, stopFd.get(), stopped)) {
        helper.killAndReap();
        return result(stopped ? Outcome::Stopped : Outcome::Timeout);
    }
    const int status = helper.reap();
    if (reader.endOfStream() == ReplyReader::State::Failed)
        return byExitStatus(status, reader.failure(), reader.failureDetail());
    const ReplyHeader& header = reader.header();
    DrawResult done = byExitStatus(status, header.status == ReplyStatus::Drawn ? Outcome::Drawn : Outcome::NotValid);
    if (done.outcome == Outcome::Drawn) {
        done.width = header.width;
        done.height = header.height;
    }
    return done;
}

void drawInHelperOrThrow(DrawnKind kind, std::span<const uint8_t> bytes, const PixelSink& sink,
                         const ClientOptions& options, std::stop_token stop) {
    const DrawResult r = drawInHelper(kind, bytes, sink, options, stop);
    if (r.outcome != Outcome::Drawn) throw Error(notValidMessage(kind));
}

}  // namespace qfip::exchange
