// A simulated platform: the video-capture devices of a machine, one or more of them the
// emulated camera, with the topology nodes and property answers of a real capture filter.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "camsim/camera.h"
#include "transport/ks_platform.h"

namespace brivane::camsim {

enum class SimDeviceKind {
    camera,        // the emulated camera; its extension unit is found by the topology probe
    cameraNoNode,  // the same camera whose topology cannot be read; the unit is node 2
    webcam,        // a video-capture device without the camera's extension unit
    noname,        // a device whose "FriendlyName" cannot be read
};

std::optional<SimDeviceKind> simDeviceKindByName(std::string_view name);

// The COM-shaped calls of the platform, each of which can answer S_FALSE (success, but not
// S_OK) with a valid object, to show which calls the host requires to be exactly S_OK.
enum class ComCall : std::uint32_t {
    bindPropertyBag = 1u << 0,
    bindFilter = 1u << 1,
    queryTopology = 1u << 2,
    queryControl = 1u << 3,
    nodeCount = 1u << 4,
    nodeType = 1u << 5,
    createNodeControl = 1u << 6,
    nodeProbe = 1u << 7,  // the support query that finds the extension unit
    request = 1u << 8,    // a GET or SET of one of the camera's controls
};

struct PlatformFaults {
    std::uint64_t failRequest = 0;  // the N-th property request fails (1-based; 0: none)
    std::uint64_t unplugFrom = 0;   // every property request from the N-th on fails
    bool noEnumerator = false;      // the device enumerator cannot be created
    bool devicePathUnreadable = false;
    std::uint32_t latencyUs = 0;     // each property request takes this long
    std::uint32_t falseResults = 0;  // ComCall bits: these calls answer S_FALSE
};

// Topology of the emulated camera: camera terminal, processing unit, another vendor's
// extension unit, then the camera's own.
inline constexpr std::uint32_t kCameraXuNode = 3;
inline constexpr std::uint32_t kNoNodeCameraXuNode = 2;

class SimPlatform : public KsPlatform {
public:
    // Every camera device answers through the same emulated camera.
    SimPlatform(std::vector<SimDeviceKind> devices, std::shared_ptr<EmulatedCamera> camera,
                PlatformFaults faults = {});

    HResult initialize() override;
    void uninitialize() override;
    HResult videoInputDevices(std::unique_ptr<KsDeviceList>& list) override;

    // What happened, for tests.
    struct Stats {
        int initializeCalls = 0;
        int uninitializeCalls = 0;
        std::vector<int> filterBinds;  // per device
        int liveFilters = 0;
        std::uint64_t propertyRequests = 0;
    };
    Stats& stats() { return stats_; }

    // Called for every property request a camera node receives, before the camera answers;
    // a non-empty result replaces the camera's answer.
    HResult dispatch(SimDeviceKind kind, std::uint32_t nodeOfControl, const KspNode& property,
                     std::uint8_t* data, std::uint32_t length);

    const std::vector<SimDeviceKind>& devices() const { return devices_; }
    // The instance part of the devices' paths: another instance is another machine's camera
    // (tests running side by side each emulate a camera of their own).
    void setInstance(std::string instance) { instance_ = std::move(instance); }
    const std::string& instance() const { return instance_; }
    PlatformFaults& faults() { return faults_; }
    // S_OK, or S_FALSE when the options ask this call to answer so.
    HResult okFor(ComCall call) const {
        return (faults_.falseResults & static_cast<std::uint32_t>(call)) != 0 ? hr::falseResult
                                                                              : hr::ok;
    }

private:
    std::vector<SimDeviceKind> devices_;
    std::shared_ptr<EmulatedCamera> camera_;
    PlatformFaults faults_;
    Stats stats_;
    std::string instance_ = "2a41c3";
};

inline constexpr std::uint32_t kFilterControl = 0xFFFFFFFF;  // a control of the whole filter

}  // namespace brivane::camsim
