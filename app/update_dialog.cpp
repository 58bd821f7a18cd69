#include "app/update_dialog.h"

#include <system_error>

#include "app/messages.h"

namespace brivane {

ThreadStarter defaultThreadStarter() {
    return [](std::function<void()> body, std::thread& thread) {
        try {
            thread = std::thread(std::move(body));
            return true;
        } catch (const std::system_error&) {
            return false;
        }
    };
}

UpdateDialog::UpdateDialog(DialogHost& host, Clock& clock, ThreadStarter starter)
    : host_(host), clock_(clock), starter_(std::move(starter)) {}

UpdateDialog::~UpdateDialog() {
    dialogEnded();
}

void UpdateDialog::onInitDialog() {
    setStatusText(text::initializing);
    dotPhase = 0;
    stopFlag = 0;
    threads_.resize(2);
    animationStarted_ = starter_([this] { StatusAnimation(*this); }, threads_[0]);
    starter_([this] { UpdateWorker(*this); }, threads_[1]);
}

void UpdateDialog::dialogEnded() {
    ended_ = true;
    for (std::thread& t : threads_) {
        if (t.joinable()) {
            t.join();
        }
    }
    threads_.clear();
}

std::string UpdateDialog::statusText() const {
    std::lock_guard lock(statusMutex_);
    return statusText_;
}

void UpdateDialog::setStatusText(const std::string& text) {
    std::lock_guard lock(statusMutex_);
    statusText_ = text;
}

int StatusAnimation(UpdateDialog& dialog) {
    static constexpr const char* kSuffixes[4] = {"    ", " .  ", " .. ", " ..."};
    constexpr unsigned kLineMs = 500;
    while (dialog.stopFlag.load() == 0 && !dialog.ended()) {
        const int phase = dialog.dotPhase.load();
        dialog.host().setItemText(kStatusBoxId, dialog.statusText() + kSuffixes[phase]);
        dialog.dotPhase = phase + 1 == 4 ? 0 : phase + 1;
        dialog.clock().sleepMs(kLineMs);
    }
    dialog.stopFlag = 0;
    return 1;
}

void GuardedHost::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
}

void GuardedHost::runModal(const std::function<void()>& onInitDialog) {
    inner_.runModal(onInitDialog);
}

void GuardedHost::enableDialog(bool enabled) {
    std::lock_guard lock(mutex_);
    if (!closed_) {
        inner_.enableDialog(enabled);
    }
}

void GuardedHost::setItemText(int id, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (!closed_) {
        inner_.setItemText(id, text);
    }
}

void GuardedHost::messageBox(const std::string& text) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
    }
    // Not under the lock: the box blocks until the user dismisses it, and the user may end the
    // dialog meanwhile. The shell's message box returns when its dialog goes.
    inner_.messageBox(text);
}

void GuardedHost::endDialog() {
    std::lock_guard lock(mutex_);
    if (!closed_) {
        inner_.endDialog();
    }
}

std::string GuardedHost::programDirectory() {
    return inner_.programDirectory();
}

}  // namespace brivane
