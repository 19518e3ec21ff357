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
      // The worker reads while the user points: whenever the window's thread has work (a
      // step, a repaint) it comes first. Not the idle class: a step that cancels a read
      // waits for the worker to notice, and the idle class can starve for long on a busy
      // machine. A thread's nice value is its own on Linux, and the second thread a large
      // picture is read with is made from this one and inherits it.
      worker_([] { ::setpriority(PRIO_PROCESS, ::gettid(), kBackgroundNice); }) {}

PicturePrefetch::~PicturePrefetch() { cancel(); }

void PicturePrefetch::setLoader(Loader loader) {
    cancel();
    std::lock_guard lock(mutex_);
    loader_ = std::move(loader);
}

void PicturePrefetch::start(const std::string& path, PrefetchKey key) {
    cancel();
    auto work = std::make_shared<SharedWork>();
    {
        std::lock_guard lock(mutex_);
        reading_ = Wanted{path, key, work};
    }
    worker_.post([this, path, key, work](std::stop_token stop) {
        freeReleased();  // before the next picture is allocated
        read(path, key, *work, stop);
    });
}

void PicturePrefetch::cancel() {
    worker_.cancel(true);
    std::vector<Picture> released;
    std::optional<Done> done;
    {
        std::lock_guard lock(mutex_);
        released = std::move(released_);
        released_.clear();
        done = std::move(done_);
        done_.reset();
        reading_.reset();  // a read dropped before it started never ends by itself
    }
    // Freed here, before the caller goes on.
}

std::optional<Picture> PicturePrefetch::take(const std::string& path, PrefetchKey key) {
    // The read of this very picture is not thrown away: what is left of it is done here,
    // at this thread's priority, alongside the worker.
    std::shared_ptr<SharedWork> underWay;
    {
        std::lock_guard lock(mutex_);
        if (reading_ && reading_->is(path, key)) underWay = reading_->work;
    }
    if (underWay) underWay->helpUntilFinished();
    std::optional<Done> done;
    {
        std::lock_guard lock(mutex_);
        if (done_ && done_->key == key && done_->path == path) done = std::move(done_);
        done_.reset();
    }
    // A read of another picture is not kept.
    if (!done) {
        cancel();
        return std::nullopt;
    }
    // A file changed since the worker read it, or one that no longer opens for reading, is
    // read again by the caller (who then meets its failure); the picture read before is
    // released first.
    if (!done->picture) return std::nullopt;
    const std::optional<FileIdentity> now = identityOf(path);
    if (!now || *now != done->identity) return std::nullopt;
    return std::move(done->picture);
}

void PicturePrefetch::release(Picture picture) {
    std::lock_guard lock(mutex_);
    released_.push_back(std::move(picture));
}

void PicturePrefetch::releaseNow() {
    {
        std::lock_guard lock(mutex_);
        if (released_.empty()) return;
    }
    worker_.post([this](std::stop_token) { freeReleased(); });
}

bool PicturePrefetch::idle() const { return worker_.idle(); }

void PicturePrefetch::waitUntilIdle() const { worker_.waitUntilIdle(); }

void PicturePrefetch::freeReleased() {
    std::vector<Picture> old;
    {
        std::lock_guard lock(mutex_);
        old.swap(released_);
    }
}

void PicturePrefetch::read(const std::string& path, PrefetchKey key, SharedWork& work, std::stop_token stop) {
    Loader loader;
    {
        std::lock_guard lock(mutex_);
        loader = loader_;
    }
    Done done{path, key, std::nullopt, FileIdentity{}};
    try {
        LoadOptions options;
        options.stop = stop;
        options.share = &work;
        options.plan = [](int32_t width, int32_t height) -> std::optional<std::pair<int32_t, int32_t>> {
            if (!fitsInMemory(width, height, availableMemory())) return std::nullopt;
            return std::pair{width, height};
        };
        LoadInfo info;
        Picture picture = loader(path, options, &info);
        // A file that changed while it was read may hold a mix of old and new bytes.
        if (!info.changed) {
            done.picture = std::move(picture);
            done.identity = info.identity;
        }
    } catch (...) {
        // Any failure (or a refusal) leaves the file to the caller, who meets it itself.
    }
    std::optional<Done> dropped;
    {
        std::lock_guard lock(mutex_);
        // A cancelled read's picture is released here, before the canceller goes on.
        if (stop.stop_requested()) {
            dropped = std::move(done);
        } else {
            done_ = std::move(done);
        }
        reading_.reset();
    }
    work.finish();
}

}  // namespace qfip
