#include "raster/SideBySide.h"

#include <exception>
#include <memory>
#include <thread>

#include "common/JobThread.h"

namespace qfip {

namespace {

// A calling thread's second thread. Each calling thread has its own, made from it, so the
// second thread shares its caller's scheduling priority (a background reader's stays in
// the background) and two callers never wait for each other.
JobThread* secondThread() {
    static const bool twoCores = std::thread::hardware_concurrency() >= 2;
    if (!twoCores) return nullptr;
    thread_local std::unique_ptr<JobThread> mine;
    if (!mine) mine = std::make_unique<JobThread>();
    return mine.get();
}

}  // namespace

void runSideBySide(const std::function<void()>& first, const std::function<void()>& second) {
    JobThread* side = secondThread();
    if (!side) {
        first();
        second();
        return;
    }
    std::exception_ptr firstError;
    side->post([&](std::stop_token) {
        try {
            first();
        } catch (...) {
            firstError = std::current_exception();
        }
    });
    std::exception_ptr error;
    try {
        second();
    } catch (...) {
        error = std::current_exception();
    }
    // The first piece may still be writing into what the second shares with it.
    side->waitUntilIdle();
    if (firstError) error = firstError;
    if (error) std::rethrow_exception(error);
}

}  // namespace qfip
