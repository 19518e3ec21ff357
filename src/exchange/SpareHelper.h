#pragma once

// The spare drawing helper: the next picture's helper, started ahead in the background so
// that its start-up (loading Qt and the libraries) is not waited for: still one process
// per picture, started before the picture is known.
#include <condition_variable>
#include <memory>
#include <mutex>

#include "common/JobThread.h"
#include "exchange/HelperProcess.h"

namespace qfip::exchange {

// Started by a thread of its own, which lives as long as the program, so the helper's
// parent-death signal (sent when the thread that forked it ends) is not tied to a caller's
// thread.
class SpareHelper {
public:
    // The one the program keeps.
    static SpareHelper& instance();

    ~SpareHelper();

    // The spare if it was started by this command and still waits for its request (a
    // stopped or ended one is replaced at once; one being started is waited for); null
    // otherwise.
    std::unique_ptr<HelperProcess> take(const HelperCommand& command);

    // Starts a spare by this command in the background (when none is there yet).
    void want(const HelperCommand& command);

    // Kills and reaps the spare, if one was started.
    void discard();

private:
    SpareHelper() = default;
    void start(const HelperCommand& command);

    std::mutex mutex_;
    std::condition_variable ready_;
    std::unique_ptr<HelperProcess> spare_;
    HelperCommand spareCommand_, startingCommand_;
    bool starting_ = false;
    qfip::JobThread starter_;  // last: stopped and joined before the spare goes
};

}  // namespace qfip::exchange
