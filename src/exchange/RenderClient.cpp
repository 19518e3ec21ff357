#include "exchange/RenderClient.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <optional>

#include "common/Error.h"
#include "common/FileDescriptor.h"
#include "exchange/SpareHelper.h"

namespace qfip::exchange {

namespace {

// How a helper that ended early (or was reaped) is reported: its death first.
DrawResult byExitStatus(int status, Outcome otherwise, int detail = 0) {
    if (WIFSIGNALED(status)) return drawResult(Outcome::Signalled, WTERMSIG(status));
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0) return drawResult(Outcome::ExitCode, WEXITSTATUS(status));
    return drawResult(otherwise, detail);
}

// A descriptor that becomes readable, from whichever thread, once `stop` is requested:
// the waits below watch it beside the helper's.
class StopSignal {
public:
    explicit StopSignal(std::stop_token stop)
        : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), onStop_(std::move(stop), [fd = fd_.get()] {
              const uint64_t one = 1;
              [[maybe_unused]] const ssize_t ignored = ::write(fd, &one, sizeof one);
          }) {}
    bool valid() const { return fd_.valid(); }
    int fd() const { return fd_.get(); }

private:
    FileDescriptor fd_;
    std::stop_callback<std::function<void()>> onStop_;
};

// The spare if it takes the request, else a helper started now. Null when none could be
// started (errno tells why). A helper that died meanwhile refuses the request; its end
// tells why when the reply is read.
std::unique_ptr<HelperProcess> handOver(DrawnKind kind, const SealedBytes& file, const ClientOptions& options) {
    const RequestHeaderBytes header = encodeRequestHeader(kind, file.size());
    std::unique_ptr<HelperProcess> helper = options.spare ? SpareHelper::instance().take(options.command()) : nullptr;
    if (helper && helper->sendRequest(header, file.fd())) return helper;
    helper = HelperProcess::start(options.command());
    if (helper) helper->sendRequest(header, file.fd());
    return helper;
}

// When a helper's time is up: its deadline from the request, counted in the time the
// helper could run. Whatever time it spent waiting for a CPU that other work held is
// added when the deadline comes, up to kStarvedDeadlines deadlines by the clock.
class HelperDeadline {
public:
    HelperDeadline(const HelperProcess& helper, Clock::duration allowed)
        : helper_(helper), start_(Clock::now()), allowed_(allowed), waitedBefore_(helper.waitedForCpu()),
          at_(start_ + allowed) {}

    Clock::time_point at() const { return at_; }

    // Once at() has come: moves it on by the time the helper has waited for a CPU since
    // the request; true when the helper has time left.
    bool extend() {
        const Clock::duration waited = std::max(helper_.waitedForCpu() - waitedBefore_, Clock::duration::zero());
        at_ = start_ + std::min(allowed_ + waited, allowed_ * kStarvedDeadlines);
        return Clock::now() < at_;
    }

private:
    const HelperProcess& helper_;
    Clock::time_point start_;
    Clock::duration allowed_;
    Clock::duration waitedBefore_;
    Clock::time_point at_;
};

// Reads the reply stream to its end into `reader`; the outcome when the drawing failed
// on the way (the helper then killed), nothing when the stream ended.
std::optional<DrawResult> readReply(HelperProcess& helper, ReplyReader& reader, HelperDeadline& deadline,
                                    int stopFd) {
    for (;;) {
        pollfd fds[2] = {{helper.replyFd(), POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, HelperProcess::remainingMs(deadline.at()));
        if (ready < 0 && errno == EINTR) continue;
        std::optional<Outcome> failed;
        if (ready < 0) {
            failed = Outcome::ShortReply;
        } else if (fds[1].revents & POLLIN) {
            failed = Outcome::Stopped;
        } else if (ready == 0) {
            if (Clock::now() < deadline.at() || deadline.extend()) continue;
            failed = Outcome::Timeout;
        }
        if (failed) {
            helper.killAndReap();
            return drawResult(*failed);
        }
        const std::span<uint8_t> buffer = reader.nextBuffer();
        const ssize_t n = ::read(helper.replyFd(), buffer.data(), std::min<size_t>(buffer.size(), size_t(1) << 24));
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n == 0) return std::nullopt;  // the end of the stream
        if (n < 0 || reader.received(size_t(n)) == ReplyReader::State::Failed) {
            helper.killAndReap();
            return n < 0 ? drawResult(Outcome::ShortReply) : drawResult(reader.failure(), reader.failureDetail());
        }
    }
}

// The stream has ended: the helper is ending too, within the same deadline; its end and
// the reply give the outcome.
DrawResult finish(HelperProcess& helper, ReplyReader& reader, HelperDeadline& deadline, int stopFd) {
    for (bool stopped = false;;) {
        const Clock::time_point until = deadline.at();
        if (helper.waitForExit(until, stopFd, stopped)) break;
        if (!stopped && Clock::now() >= until && deadline.extend()) continue;
        helper.killAndReap();
        return drawResult(stopped ? Outcome::Stopped : Outcome::Timeout);
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

}  // namespace

std::chrono::milliseconds drawingDeadline(const ClientOptions& options, DrawnKind kind,
                                          std::span<const uint8_t> bytes) {
    using std::chrono::milliseconds;
    // Never past the CPU limit (less a second for the helper's start-up): the helper is
    // single-threaded while it draws, so the deadline always comes first.
    const auto most = milliseconds(std::max<int64_t>(int64_t(options.limits.cpuSeconds) * 1000 - 1000, 0));
    if (kind == DrawnKind::Icon) return std::min(options.deadline, most);
    const std::optional<Size> size = expectedSize(kind, bytes);
    const uint64_t pixels = size ? uint64_t(size->width) * uint64_t(size->height) : 0;
    const uint64_t meanSide = size ? (uint64_t(size->width) + uint64_t(size->height)) / 2 : 0;
    const MetafileWork work = metafileWork(kind, bytes);
    // Each term gives a second for about a fifth of the work this machine does in one on
    // its own (docs/performance.md), so that a busy machine still finishes an honest file.
    const long double extraMs = (long double)pixels * 1000 / (uint64_t(1) << 22)          // the picture itself
                                + (long double)work.records * 1000 / 10000                 // each record's way
                                + (long double)work.points * meanSide * 1000 / 25000000    // lines across it
                                + (long double)work.savedDepth * work.savedDepth * 1000 / 100000000  // libwmf's
                                + (long double)work.clipRecords * 1000 / 1000;  // the clip region's
    const milliseconds deadline = options.deadline + milliseconds(int64_t(std::min<long double>(extraMs, 1e12L)));
    return std::min(deadline, most);
}

std::chrono::milliseconds longestDrawingWait(const ClientOptions& options, DrawnKind kind,
                                             std::span<const uint8_t> bytes) {
    return drawingDeadline(options, kind, bytes) * kStarvedDeadlines;
}

void discardSpareHelper() { SpareHelper::instance().discard(); }
void startSpareHelper(const ClientOptions& options) { SpareHelper::instance().want(options.command()); }

DrawResult drawInHelper(DrawnKind kind, const SealedBytes& file, const PixelSink& sink, const ClientOptions& options,
                        std::stop_token stop) {
    if (file.size() > kMaxDrawnFileBytes) return drawResult(Outcome::NotValid);
    if (stop.stop_requested()) return drawResult(Outcome::Stopped);
    const std::span<const uint8_t> bytes = file.bytes();
    const std::optional<Size> expected = expectedSize(kind, bytes);
    if (kind != DrawnKind::Icon && !expected) return drawResult(Outcome::NotValid);
    if (expected && expected->isEmpty()) return drawResult(Outcome::Drawn);

    const StopSignal stopSignal(stop);
    if (!stopSignal.valid()) return drawResult(Outcome::SpawnFailed, errno);
    // The next picture's helper starts in the background once this one is done.
    struct StartSpareAfter {
        const ClientOptions& options;
        ~StartSpareAfter() {
            if (options.spare) startSpareHelper(options);
        }
    } startSpareAfter{options};

    const std::unique_ptr<HelperProcess> helper = handOver(kind, file, options);
    if (!helper) return drawResult(Outcome::SpawnFailed, errno);
    // The deadline runs from the request: a spare's start-up is not the picture's time.
    HelperDeadline deadline(*helper, drawingDeadline(options, kind, bytes));
    ReplyReader reader(kind, expected, sink);
    if (std::optional<DrawResult> failed = readReply(*helper, reader, deadline, stopSignal.fd())) return *failed;
    return finish(*helper, reader, deadline, stopSignal.fd());
}

DrawResult drawInHelper(DrawnKind kind, std::span<const uint8_t> bytes, const PixelSink& sink,
                        const ClientOptions& options, std::stop_token stop) {
    if (bytes.size() > kMaxDrawnFileBytes) return drawResult(Outcome::NotValid);
    try {
        return drawInHelper(kind, SealedBytes::copyOf(bytes, kDrawnFilePadding), sink, options, std::move(stop));
    } catch (const std::bad_alloc&) {
        return drawResult(Outcome::SpawnFailed, ENOMEM);
    }
}

void drawInHelperOrThrow(DrawnKind kind, std::span<const uint8_t> bytes, const PixelSink& sink,
                         const ClientOptions& options, std::stop_token stop) {
    const DrawResult r = drawInHelper(kind, bytes, sink, options, std::move(stop));
    if (r.outcome != Outcome::Drawn) throw Error(notValidMessage(kind));
}

}  // namespace qfip::exchange
