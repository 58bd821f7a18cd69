// The emulated camera installed as the platform, for measurements.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "camsim/camera.h"
#include "camsim/firmware.h"
#include "camsim/sim_platform.h"
#include "flashlib/flashlib.h"

namespace brivane::bench {

struct Scenario {
    const char* name;
    int row;
    camsim::FlashPart part;
    std::uint8_t config;
    std::uint8_t chunkRegister = 0;  // row 0: 3 moves one byte per request
};

camsim::CameraConfig cameraFor(const Scenario& s);
camsim::FlashImage imageFor(const Scenario& s);

class BenchRig {
public:
    explicit BenchRig(const Scenario& s);
    ~BenchRig();
    BenchRig(const BenchRig&) = delete;
    BenchRig& operator=(const BenchRig&) = delete;

    std::uint64_t requests() const { return platform_->stats().propertyRequests; }
    unsigned long sleptMs() const { return sleptMs_; }
    camsim::EmulatedCamera& camera() { return *camera_; }

private:
    std::shared_ptr<camsim::EmulatedCamera> camera_;
    std::unique_ptr<camsim::SimPlatform> platform_;
    unsigned long sleptMs_ = 0;
};

// Writes the scenario's two image files into a fresh folder; returns it, ending with '/'.
std::string writeImages(const Scenario& s);

// Runs the update worker once on the calling thread; returns the result message.
std::string runWorker(const std::string& imageDirectory);

}  // namespace brivane::bench
