#include "exchange/SpareHelper.h"

namespace qfip::exchange {

SpareHelper& SpareHelper::instance() {
    static SpareHelper spare;
    return spare;
}

SpareHelper::~SpareHelper() { starter_.cancel(true); }

std::unique_ptr<HelperProcess> SpareHelper::take(const HelperCommand& command) {
    std::unique_ptr<HelperProcess> taken, stale;
    {
        std::unique_lock lock(mutex_);
        if (starting_ && startingCommand_ == command) ready_.wait(lock, [&] { return !starting_; });
        if (spare_ && spareCommand_ == command) taken = std::move(spare_);
        stale = std::move(spare_);
    }
    stale.reset();  // kills and reaps a spare of another command, outside the lock
    if (taken && !taken->waiting()) taken.reset();
    return taken;
}

void SpareHelper::want(const HelperCommand& command) {
    starter_.post([this, command](std::stop_token) { start(command); });
}

void SpareHelper::discard() {
    starter_.cancel(true);  // a spare wanted is not started, one being started is waited for
    std::unique_ptr<HelperProcess> old;
    std::lock_guard lock(mutex_);
    old = std::move(spare_);
}

void SpareHelper::start(const HelperCommand& command) {
    std::unique_ptr<HelperProcess> old;
    {
        std::lock_guard lock(mutex_);
        if (spare_ && spareCommand_ == command && spare_->waiting()) return;
        old = std::move(spare_);
        starting_ = true;
        startingCommand_ = command;
    }
    old.reset();
    std::unique_ptr<HelperProcess> started = HelperProcess::start(command);
    {
        std::lock_guard lock(mutex_);
        starting_ = false;
        spare_ = std::move(started);
        spareCommand_ = command;
    }
    ready_.notify_all();
}

}  // namespace qfip::exchange
