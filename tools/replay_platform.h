// A platform that answers a run from a recorded request trace: each property request must be
// the next one the trace holds (same device, set, selector, flags, node and data sent), and
// gets the recorded reply and result. The first request that differs fails, and is reported,
// as do all after it: a user's recorded run becomes a test case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "transport/ks_platform.h"
#include "transport/trace.h"

namespace brivane::sim {

// One line of a trace; nothing when it is not a well-formed record.
std::optional<TraceRecord> parseTraceLine(const std::string& line);
// The whole file; false with `error` naming the first bad line.
bool readTrace(const std::string& path, std::vector<TraceRecord>& records, std::string& error);

class ReplayPlatform : public KsPlatform {
public:
    explicit ReplayPlatform(std::vector<TraceRecord> records);

    HResult initialize() override { return hr::ok; }
    void uninitialize() override {}
    HResult videoInputDevices(std::unique_ptr<KsDeviceList>& list) override;

    HResult answer(int device, const KspNode& property, std::uint8_t* data, std::uint32_t length);
    bool hasNode(int device, std::uint32_t node) const;
    std::uint32_t nodeCount(int device) const;
    int deviceCount() const { return deviceCount_; }

    std::size_t answered() const { return next_; }
    std::size_t total() const { return records_.size(); }
    // The first request that was not the trace's next, described.
    const std::optional<std::string>& divergence() const { return divergence_; }

private:
    std::vector<TraceRecord> records_;
    std::size_t next_ = 0;
    int deviceCount_ = 0;
    std::optional<std::string> divergence_;
};

}  // namespace brivane::sim
