#include "exchange/SpareHelper.h"

namespace qfip::exchange {

SpareHelper& SpareHelper::instance() {
    static SpareHelper spare;
    return spare;
}

SpareHelper::~SpareHelper() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

std::unique_ptr<HelperProcess> SpareHelper::take(const HelperCommand& command) {
    std::unique_ptr<HelperProcess> taken, stale;
    {
        std::unique_lock lock(mutex_);
        if (starting_ && startingCommand_ == command) ready_.wait(lock, [&] { return !starting_ || stopping_; });
        if (spare_ && spareCommand_ == command) taken = std::move(spare_);
        stale = std::move(spare_);
    }
    stale.reset();  // kills and reaps a spare of another command, outside the lock
    if (taken && !taken->waiting()) taken.reset();
    return taken;
}

void SpareHelper::want(const HelperCommand& command) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        wanted_ = command;
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }
    wake_.notify_all();
}

void SpareHelper::discard() {
    std::unique_ptr<HelperProcess> old;
    std::unique_lock lock(mutex_);
    wanted_.reset();
    ready_.wait(lock, [&] { return !starting_; });
    old = std::move(spare_);
    lock.unlock();  // the old one is killed and reaped outside the lock
}

void SpareHelper::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || wanted_; });
        if (stopping_) {
            spare_.reset();
            return;
        }
        const HelperCommand command = *wanted_;
        wanted_.reset();
        if (spare_ && spareCommand_ == command && spare_->waiting()) continue;
        std::unique_ptr<HelperProcess> old = std::move(spare_);
        starting_ = true;
        startingCommand_ = command;
        lock.unlock();
        old.reset();
        std::unique_ptr<HelperProcess> started = HelperProcess::start(command);
        lock.lock();
        starting_ = false;
        spare_ = std::move(started);
        spareCommand_ = command;
        ready_.notify_all();
    }
}

}  // namespace qfip::exchange
