#include "raster/PicturePrefetch.h"

#include <sys/resource.h>
#include <unistd.h>

#include "raster/PixelMemory.h"

namespace qfip {

namespace {

constexpr int kBackgroundNice = 10;

}  // namespace

bool PicturePrefetch::fitsInMemory(int32_t width, int32_t height, std::optional<uint64_t> available) {
    if (!available) return false;
    return uint64_t(width) * uint64_t(height) * sizeof(uint32_t) <= *available / 4;
}

PicturePrefetch::PicturePrefetch()
    : loader_([](const std::string& path, const LoadOptions& options, LoadInfo* info) {
          return loadPicture(path, options, info);
      }),
      worker_([this](std::stop_token quit) { run(quit); }) {}

PicturePrefetch::~PicturePrefetch() {
    {
        std::unique_lock lock(mutex_);
        cancelLocked(lock);
    }
    worker_.request_stop();
    changed_.notify_all();
}

void PicturePrefetch::setLoader(Loader loader) {
    std::unique_lock lock(mutex_);
    cancelLocked(lock);
    loader_ = std::move(loader);
}

void PicturePrefetch::start(const std::string& path, PrefetchKey key) {
    std::unique_lock lock(mutex_);
    cancelLocked(lock);
    job_ = Job{path, key, std::stop_source()};
    state_ = State::Running;
    pending_ = true;
    changed_.notify_all();
}

void PicturePrefetch::cancel() {
    std::unique_lock lock(mutex_);
    cancelLocked(lock);
}

void PicturePrefetch::cancelLocked(std::unique_lock<std::mutex>& lock) {
    if (state_ == State::Running) {
        job_->stop.request_stop();
        if (pending_) {
            pending_ = false;  // the worker never saw it
        } else {
            changed_.wait(lock, [this] { return state_ != State::Running; });
        }
    }
    result_.reset();  // a finished picture is released here, before the caller goes on
    released_.clear();
    job_.reset();
    state_ = State::Idle;
}

std::optional<Picture> PicturePrefetch::take(const std::string& path, PrefetchKey key) {
    std::optional<Result> result;
    {
        std::unique_lock lock(mutex_);
        if (state_ != State::Done || job_->key != key || job_->path != path) {
            cancelLocked(lock);
            return std::nullopt;
        }
        result = std::move(result_);
        result_.reset();
        job_.reset();
        state_ = State::Idle;
    }
    // A file changed since the worker read it, or one that no longer opens for reading, is
    // read again by the caller (who then meets its failure); the picture read before is
    // released first.
    if (!result->picture) return std::nullopt;
    const std::optional<FileIdentity> now = identityOf(path);
    if (!now || *now != result->identity) return std::nullopt;
    return std::move(result->picture);
}

void PicturePrefetch::release(Picture picture) {
    std::lock_guard lock(mutex_);
    released_.push_back(std::move(picture));
}

void PicturePrefetch::releaseNow() {
    std::lock_guard lock(mutex_);
    if (released_.empty()) return;
    releaseNow_ = true;
    changed_.notify_all();
}

bool PicturePrefetch::idle() const {
    std::lock_guard lock(mutex_);
    return state_ != State::Running;
}

void PicturePrefetch::waitUntilIdle() const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return state_ != State::Running; });
}

void PicturePrefetch::run(std::stop_token quit) {
    // The worker reads while the user points: whenever the window's thread has work (a
    // step, a repaint) it comes first. Not the idle class: a step that cancels a read
    // waits for the worker to notice, and the idle class can starve for long on a busy
    // machine. A thread's nice value is its own on Linux, and the second thread a large
    // picture is read with is made from this one and inherits it.
    ::setpriority(PRIO_PROCESS, ::gettid(), kBackgroundNice);
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, quit, [this] { return pending_ || releaseNow_; });
        if (quit.stop_requested()) return;
        if (!released_.empty()) {
            std::vector<Picture> old = std::move(released_);
            released_.clear();
            releaseNow_ = false;
            lock.unlock();
            old.clear();  // before the next picture is allocated
            lock.lock();
            continue;
        }
        releaseNow_ = false;
        if (!pending_) continue;
        pending_ = false;
        const std::string path = job_->path;
        const std::stop_token stop = job_->stop.get_token();
        const Loader loader = loader_;
        lock.unlock();

        Result result;
        try {
            LoadOptions options;
            options.stop = stop;
            options.plan = [](int32_t width, int32_t height) -> std::optional<std::pair<int32_t, int32_t>> {
                if (!fitsInMemory(width, height, availableMemory())) return std::nullopt;
                return std::pair{width, height};
            };
            LoadInfo info;
            Picture picture = loader(path, options, &info);
            // A file that changed while it was read may hold a mix of old and new bytes.
            if (!info.changed) {
                result.picture = std::move(picture);
                result.identity = info.identity;
            }
        } catch (...) {
            // Any failure (or a refusal) leaves the file to the caller, who meets it itself.
        }

        lock.lock();
        if (stop.stop_requested()) {
            result.picture.reset();  // cancelled: released before the canceller goes on
            state_ = State::Idle;
        } else {
            result_ = std::move(result);
            state_ = State::Done;
        }
        changed_.notify_all();
    }
}

}  // namespace qfip
