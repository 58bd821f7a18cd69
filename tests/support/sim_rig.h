// A machine with the emulated camera for tests: the simulated platform, a trace of every
// property request, and the process-wide transport and library state reset around each test.
#pragma once

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "camsim/camera.h"
#include "camsim/firmware.h"
#include "camsim/sim_platform.h"
#include "flashlib/flashlib.h"
#include "flashlib/serial_flash.h"
#include "transport/trace.h"
#include "transport/xu.h"

#include <gtest/gtest.h>

namespace brivane::testing {

// A camera of the given chip row and flash part, its firmware carrying the configuration byte.
inline camsim::CameraConfig defaultCamera(int chipRow = 18,
                                          camsim::FlashPart flash = camsim::FlashPart::mx25l512,
                                          std::uint8_t configByte = 0x51) {
    return camsim::shippedCamera(chipRow, flash, configByte);
}

struct SimRig {
    explicit SimRig(camsim::CameraConfig config = defaultCamera(),
                    std::vector<camsim::SimDeviceKind> devices = {camsim::SimDeviceKind::camera},
                    camsim::PlatformFaults faults = {}, bool traceRequests = true)
        : camera(std::make_shared<camsim::EmulatedCamera>(config)),
          platform(std::move(devices), camera, faults),
          traced(makeTracingPlatform(platform, trace)) {
        XuSetPlatform(nullptr);
        XuResetState();
        CamResetState();
        CamSetSleep([this](unsigned ms) { sleptMs += ms; });
        // Test programs run side by side: each emulates a camera of its own.
        char instance[24];
        std::snprintf(instance, sizeof instance, "t%d", static_cast<int>(::getpid()));
        platform.setInstance(instance);
        XuSetPlatform(traceRequests ? traced.get() : &platform);
    }
    ~SimRig() {
        XuSetPlatform(nullptr);
        XuResetState();
        CamResetState();
        CamSetSleep(nullptr);
    }
    SimRig(const SimRig&) = delete;
    SimRig& operator=(const SimRig&) = delete;

    std::size_t requestCount() const { return trace.records.size(); }

    std::shared_ptr<camsim::EmulatedCamera> camera;
    camsim::SimPlatform platform;
    MemoryTraceSink trace;
    std::unique_ptr<KsPlatform> traced;
    unsigned long sleptMs = 0;
};

// Names parameterised cases by their `name` member.
struct ByName {
    template <typename T>
    std::string operator()(const ::testing::TestParamInfo<T>& p) const {
        return p.param.name;
    }
};

// A trace record's data as lower-case hex, for readable expectations.
inline std::string hexOf(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (auto b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

}  // namespace brivane::testing
