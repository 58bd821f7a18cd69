// The dialog's threads: the status animation, the stop handshake, threads that cannot start,
// and a dialog that ends before its worker.
#include <gtest/gtest.h>

#include <condition_variable>

#include "app/app_rig.h"
#include "app/messages.h"

namespace brivane::testing {
namespace {

// A clock whose sleeps last until the test lets them go, one at a time.
class StepClock : public Clock {
public:
    void sleepMs(unsigned) override {
        std::unique_lock lock(mutex_);
        ++started_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_ >= started_; });
    }
    // Lets the current sleep end and waits until the sleeper sleeps again.
    void step() {
        std::unique_lock lock(mutex_);
        released_ = started_;
        changed_.notify_all();
        const int next = started_ + 1;
        changed_.wait(lock, [this, next] { return started_ >= next; });
    }
    void waitForFirstSleep() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return started_ > 0; });
    }
    void releaseAll() {
        std::lock_guard lock(mutex_);
        released_ = 1 << 30;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int started_ = 0;
    int released_ = 0;
};

// Starts the first thread asked for (the animation) and refuses the rest.
ThreadStarter animationOnly() {
    auto count = std::make_shared<int>(0);
    return [count](std::function<void()> body, std::thread& thread) {
        if ((*count)++ > 0) {
            return false;
        }
        thread = std::thread(std::move(body));
        return true;
    };
}

TEST(StatusAnimation, ShowsOneLinePerStepAndStopsOnRequest) {
    HeadlessHost host("", nullptr, false);
    StepClock clock;
    UpdateDialog dialog(host, clock, animationOnly());
    dialog.onInitDialog();
    const auto lastLine = [&host] { return host.itemText(kStatusBoxId); };

    clock.waitForFirstSleep();
    EXPECT_EQ(lastLine(), "Initializing    ");
    for (const char* expected : {"Initializing .  ", "Initializing .. "}) {
        clock.step();
        EXPECT_EQ(lastLine(), expected);
    }
    // A new phase word takes effect at the next line, with the dots going on.
    dialog.setStatusText(text::processing);
    clock.step();
    EXPECT_EQ(lastLine(), "Processing ...");
    clock.step();
    EXPECT_EQ(lastLine(), "Processing    ");

    dialog.stopFlag = 1;
    clock.releaseAll();
    dialog.dialogEnded();  // joins the animation
    EXPECT_EQ(dialog.stopFlag.load(), 0) << "the animation answers the stop request";
    EXPECT_EQ(lastLine(), "Processing    ") << "no line after the stop request was seen";
}

TEST(ThreadStart, ARunWithoutAnAnimationThreadStillEnds) {
    SimRig rig(cameraFor({}));
    ImageFolder images(18, 0x51);
    HeadlessHost host(images.directory(), nullptr, false);
    ScaledClock clock(0.001);
    int started = 0;
    UpdateApp app(host, clock, [&started](std::function<void()> body, std::thread& thread) {
        if (started++ == 0) {
            return false;  // the animation cannot start
        }
        thread = std::thread(std::move(body));
        return true;
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(resultOf(host), text::success);
}

TEST(ThreadStart, WithoutAWorkerTheUserCanStillCloseTheDialog) {
    SimRig rig(cameraFor({}));
    HeadlessHost host("", nullptr, false);
    ScaledClock clock(0.001);
    UpdateApp app(host, clock, animationOnly());
    std::thread user([&host] {
        while (!host.userClose()) {
            std::this_thread::yield();
        }
    });
    EXPECT_FALSE(app.InitInstance());
    user.join();
    EXPECT_EQ(rig.requestCount(), 0u);
}

// A host whose user closes the dialog instead of dismissing the message box.
class ClosingHost : public HeadlessHost {
public:
    ClosingHost(std::string dir) : HeadlessHost(std::move(dir), nullptr, false) {}
    void messageBox(const std::string& text) override {
        HeadlessHost::messageBox(text);
        EXPECT_TRUE(userClose());
        closedAt = calls().size();
    }
    std::size_t closedAt = 0;
};

TEST(EarlyClose, NothingReachesTheDialogOnceItHasEnded) {
    SimRig rig(cameraFor({}));
    ImageFolder images(18, 0x51);
    ClosingHost host(images.directory());
    ScaledClock clock(1.0);  // the real 3000 ms close delay, cut short when the dialog goes
    UpdateApp app(host, clock);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(app.InitInstance());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    EXPECT_EQ(resultOf(host), text::success);
    // The worker may still set the hint while the close is under way, but it never ends the
    // dialog that the user already closed.
    const auto calls = host.calls();
    for (std::size_t i = host.closedAt; i < calls.size(); ++i) {
        EXPECT_NE(calls[i].kind, HostCall::Kind::endDialog);
    }
    EXPECT_EQ(rig.camera->flash().memory(), imageFor(18, camsim::kFirstProductId, 0x51));
}

TEST(EarlyClose, IsRefusedWhileTheWorkerHasTheDialogDisabled) {
    HeadlessHost host("", nullptr, false);
    host.enableDialog(false);
    EXPECT_FALSE(host.userClose());
    host.enableDialog(true);
    EXPECT_TRUE(host.userClose());
}

TEST(GuardedHostTest, DropsEveryCallAfterClose) {
    HeadlessHost inner("", nullptr, false);
    GuardedHost guarded(inner);
    guarded.setItemText(kStatusBoxId, "before");
    guarded.close();
    guarded.setItemText(kStatusBoxId, "after");
    guarded.enableDialog(false);
    guarded.messageBox("after");
    guarded.endDialog();
    ASSERT_EQ(inner.calls().size(), 1u);
    EXPECT_EQ(inner.itemText(kStatusBoxId), "before");
}

}  // namespace
}  // namespace brivane::testing
