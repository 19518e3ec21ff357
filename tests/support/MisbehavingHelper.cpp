// quendral-render-misbehaving: a test-only stand-in for the drawing helper that fails in
// the way its environment variable QFIP_MISBEHAVE names (tests only; the program runs
// the real helper and reads no environment variable). Started by the real client, so it
// runs with the same limits; "limits" reports them as the pixels of a 1 x N icon.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <ctime>
#include <unistd.h>
#include <vector>

#include "exchange/WireFormat.h"

using namespace qfip::exchange;

namespace {

void writeAll(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(1, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) _exit(9);
        p += n;
        size -= size_t(n);
    }
}

void header(ReplyStatus status, uint32_t width, uint32_t height) {
    const auto h = encodeReplyHeader(status, width, height);
    writeAll(h.data(), h.size());
}

void pixels(uint64_t count) {
    std::vector<uint32_t> words(size_t(count), 0xFF336699u);
    writeAll(words.data(), words.size() * 4);
}

[[noreturn]] void hang() {
    for (;;) pause();
}

// Hangs in a loop that always wants a CPU.
[[noreturn]] void spin() {
    volatile uint64_t turns = 0;
    for (;;) turns = turns + 1;
}

struct Request {
    DrawnKind kind = DrawnKind::Icon;
    std::vector<uint8_t> bytes;
};

int requestFd = -1;

Request readRequest() {
    Request r;
    const std::optional<ReceivedRequest> received = receiveRequest(0);
    if (!received) _exit(8);
    requestFd = received->memoryFile;
    const auto parsed = parseRequestHeader(received->header);
    if (!parsed) _exit(8);
    r.kind = parsed->kind;
    r.bytes.resize(parsed->byteCount);
    if (::pread(requestFd, r.bytes.data(), r.bytes.size(), 0) != ssize_t(r.bytes.size())) _exit(8);
    return r;
}

Size drawnSize(const Request& r) { return expectedSize(r.kind, r.bytes).value_or(Size{2, 2}); }

int openDescriptors() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
    return count - 1;  // the directory's own descriptor
}

// The limits and the state the client set, one pair of words each (low, high).
void reportLimits(const Request& request) {
    std::vector<uint64_t> values;
    for (int resource : {RLIMIT_AS, RLIMIT_CPU, RLIMIT_CORE, RLIMIT_FSIZE, RLIMIT_NOFILE}) {
        rlimit limit{};
        getrlimit(resource, &limit);
        values.push_back(limit.rlim_cur);
        values.push_back(limit.rlim_max);
    }
    values.push_back(uint64_t(prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0)));
    int deathSignal = 0;
    prctl(PR_GET_PDEATHSIG, &deathSignal);
    values.push_back(uint64_t(deathSignal));
    values.push_back(uint64_t(openDescriptors()));
    struct sigaction action;
    sigaction(SIGXFSZ, nullptr, &action);
    values.push_back(action.sa_handler == SIG_IGN ? 1 : 0);
    values.push_back(getpgid(0) == getpid() ? 1 : 0);
    values.push_back(uint64_t(fcntl(requestFd, F_GET_SEALS)));
    values.push_back(request.bytes.size());
    // Standard error is /dev/null: the same file as a fresh open of it.
    struct stat err{}, null{};
    fstat(2, &err);
    stat("/dev/null", &null);
    values.push_back(err.st_rdev == null.st_rdev ? 1 : 0);
    header(ReplyStatus::Drawn, 1, uint32_t(values.size() * 2));
    for (uint64_t v : values) {
        const uint32_t words[2] = {uint32_t(v), uint32_t(v >> 32)};
        writeAll(words, sizeof words);
    }
}

}  // namespace

int64_t nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

int main() {
    const int64_t started = nowMs();
    const char* env = std::getenv("QFIP_MISBEHAVE");
    const std::string mode = env ? env : "draw";
    if (mode == "segv") {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    }
    if (mode == "abort") std::abort();
    if (mode == "hang") hang();
    if (mode == "spin") spin();
    if (mode == "exit3") _exit(3);
    if (mode == "silent") _exit(0);
    const Request request = readRequest();
    const Size size = drawnSize(request);
    const uint64_t count = uint64_t(size.width) * uint64_t(size.height);
    if (mode == "draw") {
        header(ReplyStatus::Drawn, uint32_t(size.width), uint32_t(size.height));
        pixels(count);
    } else if (mode == "not-valid") {
        header(ReplyStatus::NotValid, 0, 0);
    } else if (mode == "not-valid-exit1") {
        header(ReplyStatus::NotValid, 0, 0);
        _exit(1);
    } else if (mode == "short-header") {
        const auto h = encodeReplyHeader(ReplyStatus::Drawn, uint32_t(size.width), uint32_t(size.height));
        writeAll(h.data(), 10);
    } else if (mode == "short-pixels") {
        header(ReplyStatus::Drawn, uint32_t(size.width), uint32_t(size.height));
        pixels(count / 2);
    } else if (mode == "absurd") {
        header(ReplyStatus::Drawn, 1000000, 1000000);
        pixels(1000);
    } else if (mode == "wrong-count") {
        auto h = encodeReplyHeader(ReplyStatus::Drawn, uint32_t(size.width), uint32_t(size.height));
        h[23] = 0x40;  // a byte count of 2^62 and more
        writeAll(h.data(), h.size());
    } else if (mode == "wrong-size") {
        header(ReplyStatus::Drawn, uint32_t(size.width + 1), uint32_t(size.height));
        pixels(count + uint64_t(size.height));
    } else if (mode == "bad-magic") {
        auto h = encodeReplyHeader(ReplyStatus::Drawn, uint32_t(size.width), uint32_t(size.height));
        h[0] ^= 0xFF;
        writeAll(h.data(), h.size());
        pixels(count);
    } else if (mode == "extra") {
        header(ReplyStatus::Drawn, uint32_t(size.width), uint32_t(size.height));
        pixels(count + 1);
    } else if (mode == "reply-then-hang") {
        header(ReplyStatus::Drawn, uint32_t(size.width), uint32_t(size.height));
        pixels(count);
        hang();
    } else if (mode == "close-then-hang") {
        close(1);
        hang();
    } else if (mode == "crash-midway") {
        header(ReplyStatus::Drawn, uint32_t(size.width), uint32_t(size.height));
        pixels(count / 2);
        raise(SIGSEGV);
    } else if (mode == "grandchild") {
        // A process of its own that keeps the reply pipe open after the helper exits.
        if (fork() == 0) hang();
        header(ReplyStatus::Drawn, uint32_t(size.width), uint32_t(size.height));
        pixels(count);
    } else if (mode == "pid") {
        // Its process id and how long it waited for its request after it started.
        header(ReplyStatus::Drawn, 1, 2);
        const uint32_t words[2] = {uint32_t(getpid()), uint32_t(nowMs() - started)};
        writeAll(words, sizeof words);
    } else if (mode == "limits") {
        reportLimits(request);
    } else {
        _exit(7);
    }
    return 0;
}
