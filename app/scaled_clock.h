// A real-time clock whose waits can be scaled (demos, tests) and cut short once the dialog has
// gone, so no thread sleeps on behalf of a dialog that no longer exists.
#pragma once

#include <condition_variable>
#include <mutex>

#include "app/dialog_host.h"

namespace brivane {

class ScaledClock : public Clock {
public:
    explicit ScaledClock(double scale = 1.0) : scale_(scale) {}
    void sleepMs(unsigned milliseconds) override;
    void cancel();  // wakes every sleeper; later sleeps return at once

private:
    double scale_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool cancelled_ = false;
};

}  // namespace brivane
