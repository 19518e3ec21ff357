#pragma once

// A piece of work under way on other threads that a thread waiting for it may take a share
// of. A picture read ahead runs on background threads (at a lower priority); when the
// window's thread needs that very picture, it does what is left of the read itself, at its
// own priority, instead of waiting for threads a busy machine may keep waiting.
#include <condition_variable>
#include <functional>
#include <mutex>

namespace qfip {

class SharedWork {
public:
    // The worker's side. `work` does pieces until none are left; any number of threads may
    // run it at once. It is on offer until the returned Offer goes, which waits for the
    // helpers still running it.
    class Offer {
    public:
        Offer(SharedWork* shared, const std::function<void()>& work);
        ~Offer();
        Offer(const Offer&) = delete;
        Offer& operator=(const Offer&) = delete;

    private:
        SharedWork* shared_;
    };

    // The worker has ended (whatever the outcome): helpers stop waiting.
    void finish();

    // The helper's side: runs whatever is offered (each offer once), on the calling thread
    // and its second thread (see runSideBySide), until finish(). Failures inside the work
    // are the worker's to meet, not the helper's.
    void helpUntilFinished();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    const std::function<void()>* offered_ = nullptr;
    unsigned offers_ = 0;   // counts offers, so a helper runs each one once
    int helpers_ = 0;       // helpers running the work on offer
    bool finished_ = false;
};

}  // namespace qfip
