// Finding the camera among the video-capture devices, binding its capture filter and locating
// its extension-unit node; and the transport's close.
#include <cstring>

#include "transport/debug_log.h"
#include "transport/xu.h"

namespace brivane {

TransportState& transportState() {
    static TransportState state;
    return state;
}

void XuSetPlatform(KsPlatform* platform) {
    transportState().platform = platform;
}

void XuResetState() {
    TransportState& state = transportState();
    KsPlatform* platform = state.platform;
    state = TransportState{};
    state.platform = platform;
}

std::uint8_t XuFindNode(std::uint32_t* node) {
    TransportState& state = transportState();
    if (!state.boundFilter) {
        return 0;
    }
    std::unique_ptr<KsTopology> topology;
    if (state.boundFilter->queryTopology(topology) != hr::ok || !topology) {
        return 0;
    }
    std::uint32_t count = 0;
    if (!succeeded(topology->nodeCount(count)) || count == 0) {
        return 0;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        Guid type{};
        if (!succeeded(topology->nodeType(i, type)) || type != kNodeTypeDevSpecific) {
            continue;
        }
        std::unique_ptr<KsControl> control;
        if (!succeeded(topology->createNodeControl(i, control)) || !control) {
            continue;
        }
        const KspNode probe{kXuPropertySet, 0, kProbeFlags, i, 0};
        const HResult result = control->ksProperty(probe, nullptr, 0);
        control.reset();
        if (succeeded(result)) {
            *node = i;
            return 1;
        }
    }
    return 0;
}

int XuFindCamera(int slot, ChipMatchFn match) {
    TransportState& state = transportState();
    if (state.platform == nullptr) {
        return 1;
    }
    state.platform->initialize();

    std::unique_ptr<KsDeviceList> devices;
    if (state.platform->videoInputDevices(devices) != hr::ok || !devices) {
        return 1;
    }
    devices->reset();

    std::unique_ptr<KsDevice> device;
    std::unique_ptr<KsPropertyBag> bag;
    std::string value;
    HResult pathResult = hr::ok;
    int index = 0;
    for (; devices->next(device) == hr::ok && device; ++index) {
        bag.reset();
        if (!succeeded(device->bindPropertyBag(bag)) || !bag) {
            debugLog("device %d: no property bag", index);
            continue;
        }
        if (bag->read("FriendlyName", value) != hr::ok) {
            debugLog("device %d: no readable FriendlyName", index);
            continue;
        }
        if (device->bindFilter(state.boundFilter) != hr::ok || !state.boundFilter) {
            state.boundFilter.reset();
            debugLog("device %d (%s): capture filter not bound", index, value.c_str());
            continue;
        }
        bool matched = false;
        for (std::uint32_t attempt = 1; attempt <= 2 && !matched; ++attempt) {
            if (XuFindNode(&state.xuNode) == 0) {
                state.xuNode = attempt;
            }
            std::uint8_t scratch[8] = {};
            matched = match != nullptr && match(slot, XuMemTransfer, scratch) != 0;
        }
        if (!matched) {
            debugLog("device %d (%s): no known chip on node %u", index, value.c_str(),
                     static_cast<unsigned>(state.xuNode));
            state.boundFilter.reset();
            continue;
        }
        pathResult = bag->read("DevicePath", value);
        if (pathResult == hr::ok) {
            const std::size_t n = std::min(value.size(), kDevicePathSize - 1);
            std::memcpy(state.devicePath.data(), value.data(), n);
            state.devicePath[n] = '\0';
        }
        break;
    }
    if (!state.boundFilter) {
        return 2;
    }
    // A "DevicePath" read that succeeded without S_OK must not read as codes 1 or 2.
    return pathResult > 0 ? hr::fail : pathResult;
}

std::uint8_t XuClose(int) {
    TransportState& state = transportState();
    state.boundFilter.reset();
    if (state.platform != nullptr) {
        state.platform->uninitialize();
    }
    return 1;
}

const char* XuDevicePath() {
    return transportState().devicePath.data();
}

}  // namespace brivane
