#include "raster/SharedWork.h"

#include "raster/SideBySide.h"

namespace qfip {

SharedWork::Offer::Offer(SharedWork* shared, const std::function<void()>& work) : shared_(shared) {
    if (!shared_) return;
    {
        std::lock_guard lock(shared_->mutex_);
        shared_->offered_ = &work;
        ++shared_->offers_;
    }
    shared_->changed_.notify_all();
}

// The work and what it uses go once this returns: no helper may be left inside it.
SharedWork::Offer::~Offer() {
    if (!shared_) return;
    std::unique_lock lock(shared_->mutex_);
    shared_->offered_ = nullptr;
    shared_->changed_.wait(lock, [this] { return shared_->helpers_ == 0; });
}

void SharedWork::finish() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}

void SharedWork::helpUntilFinished() {
    std::unique_lock lock(mutex_);
    unsigned helped = 0;
    for (;;) {
        changed_.wait(lock, [&] { return finished_ || (offered_ && offers_ != helped); });
        if (finished_) return;
        helped = offers_;
        const std::function<void()>* work = offered_;
        ++helpers_;
        lock.unlock();
        try {
            // The helper's second thread takes its share too, at the helper's priority.
            runSideBySide(*work, *work);
        } catch (...) {
            // A stop or a failure ends the worker's own share too; it reports it.
        }
        lock.lock();
        --helpers_;
        changed_.notify_all();
    }
}

}  // namespace qfip
