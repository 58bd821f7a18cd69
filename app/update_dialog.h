// The main dialog's state shared by the user-interface thread, the status animation and the
// update worker, and the start of both threads. Toolkit-neutral: the window itself is the
// shell's, reached through DialogHost.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/dialog_host.h"

namespace brivane {

// Starts `body` on a new thread into `thread`; false when the thread cannot be started.
using ThreadStarter = std::function<bool(std::function<void()> body, std::thread& thread)>;
ThreadStarter defaultThreadStarter();

class UpdateDialog {
public:
    UpdateDialog(DialogHost& host, Clock& clock, ThreadStarter starter = defaultThreadStarter());
    ~UpdateDialog();
    UpdateDialog(const UpdateDialog&) = delete;
    UpdateDialog& operator=(const UpdateDialog&) = delete;

    // The dialog's initialisation, on the user-interface thread: the status text, the dot phase
    // and the stop flag, then the animation and the worker threads.
    void onInitDialog();

    // Called once the dialog has ended, however it ended: from then on the threads leave the
    // dialog alone and finish; returns when they have.
    void dialogEnded();

    DialogHost& host() { return host_; }
    Clock& clock() { return clock_; }

    std::string statusText() const;
    void setStatusText(const std::string& text);

    std::atomic<int> dotPhase{0};
    std::atomic<int> stopFlag{0};

    bool animationRunning() const { return animationStarted_; }
    bool ended() const { return ended_.load(); }

private:
    DialogHost& host_;
    Clock& clock_;
    ThreadStarter starter_;
    mutable std::mutex statusMutex_;
    std::string statusText_;
    std::vector<std::thread> threads_;
    bool animationStarted_ = false;
    std::atomic<bool> ended_{false};
};

// Thread bodies; both return 1.
int StatusAnimation(UpdateDialog& dialog);
int UpdateWorker(UpdateDialog& dialog);

// Wraps a host so that nothing reaches it once the dialog has ended: a call in flight finishes
// before close() returns, and later calls do nothing (a message box returns at once).
class GuardedHost : public DialogHost {
public:
    explicit GuardedHost(DialogHost& inner) : inner_(inner) {}
    void close();
    void runModal(const std::function<void()>& onInitDialog) override;
    void enableDialog(bool enabled) override;
    void setItemText(int id, const std::string& text) override;
    void messageBox(const std::string& text) override;
    void endDialog() override;
    std::string programDirectory() override;

private:
    DialogHost& inner_;
    std::mutex mutex_;
    bool closed_ = false;
};

}  // namespace brivane
