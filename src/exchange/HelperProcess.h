#pragma once

// Starting, watching and ending one drawing helper process (Linux: pidfd, prctl,
// _Fork; standard library otherwise, no event loop: usable from any thread).
//
// The helper's standard input is one end of a socket pair, on which it receives its
// request; its standard output is the reply pipe and its standard error /dev/null; every
// other descriptor is closed. Between fork and exec (only async-signal-safe calls) the
// child gets its own process group, a parent-death signal, default signal handling with
// SIGXFSZ ignored, the resource limits below (soft and hard), and PR_SET_NO_NEW_PRIVS.
// Whatever way a HelperProcess goes, its whole process group is killed and the helper
// reaped, so no helper outlives it.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "common/DrawnPictures.h"
#include "common/FileDescriptor.h"
#include "exchange/WireFormat.h"

namespace qfip::exchange {

using Clock = std::chrono::steady_clock;

struct HelperLimits {
    uint64_t addressSpaceBytes = kHelperMemoryBytes;  // RLIMIT_AS
    uint64_t cpuSeconds = 30;                          // RLIMIT_CPU: the longest deadline and a second
    uint64_t openFiles = 256;                          // RLIMIT_NOFILE
    // RLIMIT_CORE and RLIMIT_FSIZE are always 0: no core dumps, no file written.
    friend bool operator==(const HelperLimits&, const HelperLimits&) = default;
};

// Which program is started, and under which limits.
struct HelperCommand {
    std::string path;
    HelperLimits limits;
    friend bool operator==(const HelperCommand&, const HelperCommand&) = default;
};

// One started helper: its process, the socket its request goes through and the pipe its
// reply comes back on.
class HelperProcess {
public:
    // Starts a helper: it sets itself up and then waits for its request. Null when no
    // process could be started (errno tells why).
    static std::unique_ptr<HelperProcess> start(const HelperCommand& command);

    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    int replyFd() const { return reply_.get(); }

    // Hands the request to the helper (it waits for it in recvmsg); one request per
    // helper: its end of the socket ends next.
    bool sendRequest(const RequestHeaderBytes& header, int memoryFile);

    // A started helper still waiting for its request: running (not stopped by a signal
    // or a tracer, not ended), and silent so far.
    bool waiting() const;

    // Kills the helper and waits for it (a killed process ends at once); its status.
    int killAndReap();
    // The exit status once the helper ended (anything still in its group is killed).
    int reap();

    // Waits until the helper has ended (true; it is then reaped), the deadline passes or
    // the stop descriptor becomes readable (false; `stopped` tells which).
    bool waitForExit(Clock::time_point deadline, int stopFd, bool& stopped);

    // Milliseconds to the deadline, for poll (0 when it has passed).
    static int remainingMs(Clock::time_point deadline);

    // How long the helper has been ready to run but waiting for a CPU that other work
    // held, as the kernel's scheduler counts it (/proc/<pid>/schedstat; zero where it
    // keeps no such count).
    Clock::duration waitedForCpu() const;

private:
    HelperProcess(pid_t pid, FileDescriptor requests, FileDescriptor reply);
    void killGroup();
    bool stoppedOrEnded() const;

    pid_t pid_;
    FileDescriptor pidfd_;
    FileDescriptor requests_;
    FileDescriptor reply_;
    bool reaped_ = false;
    int status_ = 0;
};

}  // namespace qfip::exchange
