// Progress of a long camera operation, counted in requests: the phases are planned with their
// expected request counts, the requests made are counted as they go, and the time left comes
// from the rate measured in the phase under way. The fraction done never goes back and is 1
// only once the operation has finished.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace brivane::cli {

class ProgressTracker {
public:
    using Clock = std::chrono::steady_clock;
    struct Phase {
        std::string name;
        std::uint64_t planned;
    };

    // Plans what is left; whatever is already done stays done, and the new phases share what
    // remains of the bar.
    void plan(std::vector<Phase> phases);
    // The phase with this name starts with the request counter at `requests`; a phase not in
    // the plan is run outside it (it only shows its name).
    void begin(const std::string& name, std::uint64_t requests, Clock::time_point now);
    void update(std::uint64_t requests, Clock::time_point now);
    void end(std::uint64_t requests, Clock::time_point now);
    void finish() { finished_ = true; }

    double fraction() const;
    std::optional<double> secondsLeft() const;
    const std::string& phase() const { return current_; }

private:
    double planFraction() const;

    std::vector<Phase> phases_;
    std::vector<std::uint64_t> done_;
    double base_ = 0;  // the part of the bar done before the current plan
    std::optional<std::size_t> index_;
    std::string current_;
    std::uint64_t phaseStartRequests_ = 0;
    std::uint64_t requestsNow_ = 0;
    Clock::time_point phaseStart_{};
    Clock::time_point now_{};
    mutable double shownFraction_ = 0;
    double rate_ = 0;  // requests per second, last measured
    static constexpr std::uint64_t kRateRequests = 256;
    bool finished_ = false;
};

// Draws the tracker: a bar rewritten in place on a terminal, plain lines elsewhere (at each
// phase and every tenth).
class ProgressPrinter {
public:
    ProgressPrinter(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}
    void show(const ProgressTracker& tracker, bool force = false);
    void close();

private:
    std::FILE* out_;
    bool terminal_;
    std::string lastPhase_;
    int lastTenth_ = -1;
    int lastPercent_ = -1;
    ProgressTracker::Clock::time_point lastDraw_{};
    bool drawn_ = false;
};

}  // namespace brivane::cli
