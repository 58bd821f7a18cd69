// The progress tracker on a scripted run: the fraction never goes back, even when the plan
// grows (a rollback), is full only once finished, and the time left follows the measured rate.
#include <gtest/gtest.h>

#include "cli/progress.h"

namespace brivane::cli {
namespace {

using Clock = ProgressTracker::Clock;

TEST(Progress, NeverGoesBackAndIsFullOnlyAtTheEnd) {
    ProgressTracker t;
    const Clock::time_point start{};
    t.plan({{"a", 100}, {"b", 600}});
    std::uint64_t requests = 0;
    double last = 0;
    const auto step = [&](std::uint64_t n, int ms) {
        requests += n;
        t.update(requests, start + std::chrono::milliseconds(ms));
        EXPECT_GE(t.fraction(), last);
        last = t.fraction();
    };
    t.begin("a", requests, start);
    step(50, 10);
    EXPECT_DOUBLE_EQ(t.fraction(), 50.0 / 700);
    EXPECT_FALSE(t.secondsLeft()) << "too few requests to measure a rate";
    step(500, 20);  // more requests than planned: the phase stays at its share
    EXPECT_DOUBLE_EQ(t.fraction(), 100.0 / 700);
    t.end(requests, start + std::chrono::milliseconds(20));
    t.begin("b", requests, start + std::chrono::milliseconds(20));
    step(300, 320);
    // 300 requests in 300 ms: 300 left at 1000 per second.
    ASSERT_TRUE(t.secondsLeft());
    EXPECT_NEAR(*t.secondsLeft(), 0.3, 1e-9);
    // A rollback adds work: what is done stays done.
    const double before = t.fraction();
    t.plan({{"c", 1000}});
    EXPECT_DOUBLE_EQ(t.fraction(), before);
    t.begin("c", requests, start);
    step(1000, 200);
    t.end(requests, start);
    EXPECT_LT(t.fraction(), 1.0);
    t.finish();
    EXPECT_DOUBLE_EQ(t.fraction(), 1.0);
}

}  // namespace
}  // namespace brivane::cli
