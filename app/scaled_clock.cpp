#include "app/scaled_clock.h"

#include <chrono>
#include <thread>

namespace brivane {

void ScaledClock::sleepMs(unsigned milliseconds) {
    const auto duration = std::chrono::duration<double, std::milli>(milliseconds * scale_);
    std::unique_lock lock(mutex_);
    if (duration.count() <= 0.0) {
        lock.unlock();
        std::this_thread::yield();
        return;
    }
    wake_.wait_for(lock, duration, [this] { return cancelled_; });
}

void ScaledClock::cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    wake_.notify_all();
}

}  // namespace brivane
