#include "raster/SideBySide.h"

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>

namespace qfip {

namespace {

// A calling thread's second thread: one job at a time, handed over by begin() and
// collected by finish(). Each calling thread has its own, made from it, so the second
// thread shares its caller's scheduling priority (a background reader's stays in the
// background) and two callers never wait for each other.
class SecondThread {
public:
    SecondThread() : thread_([this](std::stop_token quit) { serve(quit); }) {}
    ~SecondThread() {
        {
            std::lock_guard lock(mutex_);
            thread_.request_stop();
        }
        changed_.notify_all();
    }

    void begin(const std::function<void()>& job) {
        std::lock_guard lock(mutex_);
        job_ = &job;
        done_ = false;
        error_ = nullptr;
        changed_.notify_all();
    }

    // Waits for the job handed over by begin(); its exception, if it threw.
    std::exception_ptr finish() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return done_; });
        job_ = nullptr;
        return std::exchange(error_, nullptr);
    }

private:
    void serve(std::stop_token quit) {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, quit, [this] { return job_ && !done_; });
            if (quit.stop_requested()) return;
            const std::function<void()>& job = *job_;
            lock.unlock();
            std::exception_ptr error;
            try {
                job();
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            error_ = error;
            done_ = true;
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable_any changed_;
    const std::function<void()>* job_ = nullptr;
    bool done_ = false;
    std::exception_ptr error_;
    std::jthread thread_;  // last: stopped and joined before the members it uses go
};

SecondThread* secondThread() {
    static const bool twoCores = std::thread::hardware_concurrency() >= 2;
    if (!twoCores) return nullptr;
    thread_local std::unique_ptr<SecondThread> mine;
    if (!mine) mine = std::make_unique<SecondThread>();
    return mine.get();
}

}  // namespace

void runSideBySide(const std::function<void()>& first, const std::function<void()>& second) {
    SecondThread* side = secondThread();
    if (!side) {
        first();
        second();
        return;
    }
    side->begin(first);
    std::exception_ptr error;
    try {
        second();
    } catch (...) {
        error = std::current_exception();
    }
    // The first piece may still be writing into what the second shares with it.
    if (std::exception_ptr firstError = side->finish()) error = firstError;
    if (error) std::rethrow_exception(error);
}

}  // namespace qfip
