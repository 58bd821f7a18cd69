#include "app/headless_host.h"

#include "app/scaled_clock.h"
#include "app/update_dialog.h"

#include "app/messages.h"

namespace brivane {
namespace {

// The phase word without the animated dots.
std::string phaseWord(const std::string& status) {
    const auto end = status.find_last_not_of(" .");
    return end == std::string::npos ? std::string() : status.substr(0, end + 1);
}

}  // namespace

HeadlessHost::HeadlessHost(std::string programDirectory, std::FILE* out, bool rewriteLine)
    : programDirectory_(std::move(programDirectory)),
      out_(out),
      rewriteLine_(rewriteLine),
      hintLabel_(text::hint) {}

void HeadlessHost::runModal(const std::function<void()>& onInitDialog) {
    onInitDialog();
    std::unique_lock lock(mutex_);
    ended_.wait(lock, [this] { return done_; });
}

void HeadlessHost::record(HostCall::Kind kind, int id, const std::string& text) {
    calls_.push_back({kind, id, text, std::chrono::steady_clock::now()});
}

void HeadlessHost::enableDialog(bool enabled) {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
    record(HostCall::Kind::enable, enabled ? 1 : 0, {});
}

void HeadlessHost::printStatus(const std::string& text) {
    if (out_ == nullptr) {
        return;
    }
    if (rewriteLine_) {
        std::fprintf(out_, "\r%s\033[K", text.c_str());
        std::fflush(out_);
        return;
    }
    // One line per change; when the waits are scaled right down the dots would flood the
    // output, so a dot-only change within a quarter second is not printed.
    const auto now = std::chrono::steady_clock::now();
    if (phaseWord(text) == phaseWord(lastPrinted_) &&
        now - lastPrintedAt_ < std::chrono::milliseconds(250)) {
        return;
    }
    lastPrinted_ = text;
    lastPrintedAt_ = now;
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void HeadlessHost::setItemText(int id, const std::string& text) {
    std::lock_guard lock(mutex_);
    record(HostCall::Kind::setText, id, text);
    if (id == kStatusBoxId) {
        statusBox_ = text;
        printStatus(text);
    } else if (id == kHintLabelId) {
        hintLabel_ = text;
    }
}

void HeadlessHost::messageBox(const std::string& text) {
    std::lock_guard lock(mutex_);
    record(HostCall::Kind::messageBox, 0, text);
    if (out_ != nullptr) {
        std::fprintf(out_, "%s%s\n", rewriteLine_ ? "\n" : "", text.c_str());
        std::fflush(out_);
    }
}

void HeadlessHost::endDialog() {
    {
        std::lock_guard lock(mutex_);
        record(HostCall::Kind::endDialog, 0, {});
        done_ = true;
    }
    ended_.notify_all();
}

bool HeadlessHost::userClose() {
    {
        std::lock_guard lock(mutex_);
        if (!enabled_ || done_) {
            return false;
        }
        done_ = true;
    }
    ended_.notify_all();
    return true;
}

std::vector<HostCall> HeadlessHost::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::string HeadlessHost::itemText(int id) const {
    std::lock_guard lock(mutex_);
    return id == kStatusBoxId ? statusBox_ : hintLabel_;
}

bool HeadlessHost::enabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

std::string HeadlessHost::resultMessage() const {
    std::string result;
    for (const HostCall& call : calls()) {
        if (call.kind == HostCall::Kind::messageBox) {
            result = call.text;
        }
    }
    return result;
}

std::string runUpdateHeadless(const std::string& imageDirectory) {
    HeadlessHost host(imageDirectory, nullptr, false);
    ScaledClock clock(0);
    UpdateDialog dialog(host, clock, [](std::function<void()>, std::thread&) { return false; });
    UpdateWorker(dialog);
    return host.resultMessage();
}

}  // namespace brivane
