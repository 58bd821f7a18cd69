// A dialog host without a window: the status line goes to a terminal, the message box text is
// printed and dismissed at once, and every call is recorded (for tests and the command line).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "app/dialog_host.h"

namespace brivane {

struct HostCall {
    enum class Kind { enable, setText, messageBox, endDialog };
    Kind kind;
    int id = 0;  // control id for setText; 1/0 for enable
    std::string text;
    std::chrono::steady_clock::time_point at;
};

class HeadlessHost : public DialogHost {
public:
    // `out` may be null (silent). When `rewriteLine` is set the status line is rewritten in
    // place, as on a terminal; otherwise each change is one line.
    HeadlessHost(std::string programDirectory, std::FILE* out, bool rewriteLine);

    void runModal(const std::function<void()>& onInitDialog) override;
    void enableDialog(bool enabled) override;
    void setItemText(int id, const std::string& text) override;
    void messageBox(const std::string& text) override;
    void endDialog() override;
    std::string programDirectory() override { return programDirectory_; }

    // Ends the dialog as a user closing it would; refused while the dialog is disabled.
    bool userClose();

    std::vector<HostCall> calls() const;
    // The message of the run's message box; "" when there was none.
    std::string resultMessage() const;
    std::string itemText(int id) const;
    bool enabled() const;

private:
    void record(HostCall::Kind kind, int id, const std::string& text);
    void printStatus(const std::string& text);

    std::string programDirectory_;
    std::FILE* out_;
    bool rewriteLine_;
    mutable std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    bool enabled_ = true;
    std::vector<HostCall> calls_;
    std::string statusBox_;
    std::string hintLabel_;
    std::string lastPrinted_;
    std::chrono::steady_clock::time_point lastPrintedAt_{};
};

// Runs the update worker alone on the calling thread, with no window, no animation and no
// waits, the images looked up in `imageDirectory`; the result message.
std::string runUpdateHeadless(const std::string& imageDirectory);

}  // namespace brivane
