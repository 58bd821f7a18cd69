#include "cli/progress.h"

#include <algorithm>
#include <cmath>

namespace brivane::cli {

void ProgressTracker::plan(std::vector<Phase> phases) {
    base_ = fraction();
    phases_ = std::move(phases);
    done_.assign(phases_.size(), 0);
    index_.reset();
}

double ProgressTracker::planFraction() const {
    std::uint64_t planned = 0;
    std::uint64_t done = 0;
    for (std::size_t i = 0; i < phases_.size(); ++i) {
        planned += phases_[i].planned;
        done += std::min(done_[i], phases_[i].planned);
    }
    return planned == 0 ? 0.0 : static_cast<double>(done) / static_cast<double>(planned);
}

void ProgressTracker::begin(const std::string& name, std::uint64_t requests,
                            Clock::time_point now) {
    current_ = name;
    index_.reset();
    for (std::size_t i = 0; i < phases_.size(); ++i) {
        if (phases_[i].name == name && done_[i] == 0) {
            index_ = i;
            break;
        }
    }
    phaseStartRequests_ = requests;
    requestsNow_ = requests;
    phaseStart_ = now;
    now_ = now;
}

void ProgressTracker::update(std::uint64_t requests, Clock::time_point now) {
    requestsNow_ = requests;
    now_ = now;
    if (index_) {
        // A phase never counts more than planned until it ends.
        const std::uint64_t made = requests - phaseStartRequests_;
        done_[*index_] = std::min(made, phases_[*index_].planned);
        // The rate of the phase under way once it has made enough requests to measure it;
        // until then the last one measured.
        const double seconds = std::chrono::duration<double>(now - phaseStart_).count();
        if (made >= kRateRequests && seconds > 0) {
            rate_ = static_cast<double>(made) / seconds;
        }
    }
}

void ProgressTracker::end(std::uint64_t requests, Clock::time_point now) {
    update(requests, now);
    if (index_) {
        done_[*index_] = phases_[*index_].planned;
    }
    index_.reset();
}

double ProgressTracker::fraction() const {
    if (finished_) {
        return 1.0;
    }
    // Short of the end, never quite full, and never lower than shown before.
    const double f = std::min(base_ + (1.0 - base_) * planFraction(), 0.999);
    shownFraction_ = std::max(shownFraction_, f);
    return shownFraction_;
}

std::optional<double> ProgressTracker::secondsLeft() const {
    if (rate_ <= 0) {
        return std::nullopt;
    }
    const double rate = rate_;
    std::uint64_t left = 0;
    for (std::size_t i = 0; i < phases_.size(); ++i) {
        left += phases_[i].planned - std::min(done_[i], phases_[i].planned);
    }
    return static_cast<double>(left) / rate;
}

void ProgressPrinter::show(const ProgressTracker& tracker, bool force) {
    const double f = tracker.fraction();
    const int percent = static_cast<int>(std::floor(f * 100.0));
    const auto now = ProgressTracker::Clock::now();
    if (!terminal_) {
        const int tenth = percent / 10;
        if (tracker.phase() != lastPhase_ || tenth != lastTenth_ || (force && percent == 100)) {
            if (percent != lastPercent_ || tracker.phase() != lastPhase_) {
                std::fprintf(out_, "%3d%% %s\n", percent, tracker.phase().c_str());
                std::fflush(out_);
            }
            lastPhase_ = tracker.phase();
            lastTenth_ = tenth;
            lastPercent_ = percent;
        }
        return;
    }
    if (!force && drawn_ && now - lastDraw_ < std::chrono::milliseconds(100) &&
        tracker.phase() == lastPhase_) {
        return;
    }
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(f * kWidth);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '.');
    char left[32] = "";
    if (const auto s = tracker.secondsLeft(); s && f < 1.0) {
        const int total = static_cast<int>(std::lround(*s));
        std::snprintf(left, sizeof left, "  %d:%02d left", total / 60, total % 60);
    }
    std::fprintf(out_, "\r\033[K[%s] %3d%%  %s%s", bar.c_str(), percent, tracker.phase().c_str(),
                 left);
    std::fflush(out_);
    lastPhase_ = tracker.phase();
    lastDraw_ = now;
    drawn_ = true;
}

void ProgressPrinter::close() {
    if (terminal_ && drawn_) {
        std::fprintf(out_, "\n");
        std::fflush(out_);
    }
    drawn_ = false;
}

}  // namespace brivane::cli
