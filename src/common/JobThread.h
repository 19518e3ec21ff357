#pragma once

// One worker thread that runs the jobs handed to it, one at a time and in order, outside
// any lock of its caller's. Each job gets a stop token, requested by cancel() and on
// destruction, so a long job can give up early. The thread is made by the first job,
// from the calling thread (so it starts with that thread's scheduling priority), and is
// stopped and joined on destruction. Reading ahead, the open dialog's preview, the spare
// drawing helper and the second half of a large picture's read each run on one.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

namespace qfip {

class JobThread {
public:
    using Job = std::function<void(std::stop_token)>;

    // `onStart` runs first on the new thread (to set its priority, say).
    explicit JobThread(std::function<void()> onStart = {}) : onStart_(std::move(onStart)) {}
    ~JobThread() {
        cancel(false);
        std::unique_lock lock(mutex_);
        if (!thread_.joinable()) return;
        thread_.request_stop();
        lock.unlock();
        changed_.notify_all();
        thread_.join();
    }
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    // Queues a job after those already queued. A job must let no exception out.
    void post(Job job) {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(Queued{std::move(job), std::stop_source()});
            if (!thread_.joinable()) thread_ = std::jthread([this](std::stop_token quit) { serve(quit); });
        }
        changed_.notify_all();
    }

    // Drops the queued jobs and asks the running one to stop; with `wait`, returns only
    // once it has ended (so whatever it held is let go).
    void cancel(bool wait) {
        std::unique_lock lock(mutex_);
        queue_.clear();
        running_.request_stop();
        if (wait) changed_.wait(lock, [this] { return !busy_; });
    }

    // Nothing queued or running.
    bool idle() const {
        std::lock_guard lock(mutex_);
        return queue_.empty() && !busy_;
    }
    void waitUntilIdle() const {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return queue_.empty() && !busy_; });
    }

private:
    struct Queued {
        Job job;
        std::stop_source stop;
    };

    void serve(std::stop_token quit) {
        if (onStart_) onStart_();
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, quit, [this] { return !queue_.empty(); });
            if (quit.stop_requested()) return;
            Queued next = std::move(queue_.front());
            queue_.pop_front();
            running_ = next.stop;
            busy_ = true;
            lock.unlock();
            next.job(next.stop.get_token());
            next = Queued{};  // whatever the job held goes before it counts as done
            lock.lock();
            busy_ = false;
            changed_.notify_all();
        }
    }

    std::function<void()> onStart_;
    mutable std::mutex mutex_;
    mutable std::condition_variable_any changed_;
    std::deque<Queued> queue_;
    std::stop_source running_;
    bool busy_ = false;
    std::jthread thread_;  // last: stopped and joined before the members it uses go
};

}  // namespace qfip
