#include "camsim/sim_platform.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "camsim/wire.h"

namespace brivane::camsim {
namespace {

bool isCamera(SimDeviceKind kind) {
    return kind == SimDeviceKind::camera || kind == SimDeviceKind::cameraNoNode;
}

class SimControl : public KsControl {
public:
    SimControl(SimPlatform& platform, SimDeviceKind kind, std::uint32_t node)
        : platform_(platform), kind_(kind), node_(node) {}
    HResult ksProperty(const KspNode& p, std::uint8_t* data, std::uint32_t length) override {
        return platform_.dispatch(kind_, node_, p, data, length);
    }

private:
    SimPlatform& platform_;
    SimDeviceKind kind_;
    std::uint32_t node_;
};

class SimTopology : public KsTopology {
public:
    SimTopology(SimPlatform& platform, SimDeviceKind kind) : platform_(platform), kind_(kind) {}
    HResult nodeCount(std::uint32_t& count) override {
        count = kind_ == SimDeviceKind::camera ? 4 : 3;
        return platform_.okFor(ComCall::nodeCount);
    }
    HResult nodeType(std::uint32_t node, Guid& type) override {
        std::uint32_t count = 0;
        nodeCount(count);
        if (node >= count) {
            return hr::invalidArg;
        }
        type = node == 0   ? wire::kNodeCameraTerminal
               : node == 1 ? wire::kNodeProcessing
                           : wire::kNodeExtensionUnit;
        return platform_.okFor(ComCall::nodeType);
    }
    HResult createNodeControl(std::uint32_t node, std::unique_ptr<KsControl>& control) override {
        std::uint32_t count = 0;
        nodeCount(count);
        if (node >= count) {
            return hr::invalidArg;
        }
        control = std::make_unique<SimControl>(platform_, kind_, node);
        return platform_.okFor(ComCall::createNodeControl);
    }

private:
    SimPlatform& platform_;
    SimDeviceKind kind_;
};

class SimFilter : public KsFilter {
public:
    SimFilter(SimPlatform& platform, SimDeviceKind kind)
        : platform_(platform), kind_(kind), control_(platform, kind, kFilterControl) {
        ++platform_.stats().liveFilters;
    }
    ~SimFilter() override { --platform_.stats().liveFilters; }
    SimFilter(const SimFilter&) = delete;
    SimFilter& operator=(const SimFilter&) = delete;

    HResult queryTopology(std::unique_ptr<KsTopology>& topology) override {
        if (kind_ == SimDeviceKind::cameraNoNode) {
            return hr::noInterface;
        }
        topology = std::make_unique<SimTopology>(platform_, kind_);
        return platform_.okFor(ComCall::queryTopology);
    }
    HResult queryControl(KsControl*& control) override {
        control = &control_;
        return platform_.okFor(ComCall::queryControl);
    }

private:
    SimPlatform& platform_;
    SimDeviceKind kind_;
    SimControl control_;
};

class SimPropertyBag : public KsPropertyBag {
public:
    SimPropertyBag(SimDeviceKind kind, int index, bool pathUnreadable, std::string instance)
        : kind_(kind),
          index_(index),
          pathUnreadable_(pathUnreadable),
          instance_(std::move(instance)) {}
    HResult read(const std::string& name, std::string& value) override {
        if (name == "FriendlyName") {
            if (kind_ == SimDeviceKind::noname) {
                return hr::fail;
            }
            value = isCamera(kind_) ? "Brivane USB Camera" : "Integrated Webcam";
            return hr::ok;
        }
        if (name == "DevicePath") {
            if (pathUnreadable_ && isCamera(kind_)) {
                return hr::fail;
            }
            value = "\\\\?\\usb#vid_1d6b&pid_0c45&mi_00#7&" + instance_ + "&0&000" +
                    std::to_string(index_) + "#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
            return hr::ok;
        }
        return hr::invalidArg;
    }

private:
    SimDeviceKind kind_;
    int index_;
    bool pathUnreadable_;
    std::string instance_;
};

class SimDevice : public KsDevice {
public:
    SimDevice(SimPlatform& platform, SimDeviceKind kind, int index)
        : platform_(platform), kind_(kind), index_(index) {}
    HResult bindPropertyBag(std::unique_ptr<KsPropertyBag>& bag) override {
        bag = std::make_unique<SimPropertyBag>(
            kind_, index_, platform_.faults().devicePathUnreadable, platform_.instance());
        return platform_.okFor(ComCall::bindPropertyBag);
    }
    HResult bindFilter(std::unique_ptr<KsFilter>& filter) override {
        ++platform_.stats().filterBinds[static_cast<std::size_t>(index_)];
        filter = std::make_unique<SimFilter>(platform_, kind_);
        return platform_.okFor(ComCall::bindFilter);
    }

private:
    SimPlatform& platform_;
    SimDeviceKind kind_;
    int index_;
};

class SimDeviceList : public KsDeviceList {
public:
    explicit SimDeviceList(SimPlatform& platform) : platform_(platform) {}
    void reset() override { next_ = 0; }
    HResult next(std::unique_ptr<KsDevice>& device) override {
        if (next_ >= platform_.devices().size()) {
            return hr::falseResult;
        }
        const int index = static_cast<int>(next_++);
        device = std::make_unique<SimDevice>(platform_, platform_.devices()[index], index);
        return hr::ok;
    }

private:
    SimPlatform& platform_;
    std::size_t next_ = 0;
};

}  // namespace

std::optional<SimDeviceKind> simDeviceKindByName(std::string_view name) {
    if (name == "camera")
        return SimDeviceKind::camera;
    if (name == "camera-nonode")
        return SimDeviceKind::cameraNoNode;
    if (name == "webcam")
        return SimDeviceKind::webcam;
    if (name == "noname")
        return SimDeviceKind::noname;
    return std::nullopt;
}

SimPlatform::SimPlatform(std::vector<SimDeviceKind> devices, std::shared_ptr<EmulatedCamera> camera,
                         PlatformFaults faults)
    : devices_(std::move(devices)), camera_(std::move(camera)), faults_(faults) {
    stats_.filterBinds.assign(devices_.size(), 0);
}

HResult SimPlatform::initialize() {
    ++stats_.initializeCalls;
    return hr::ok;
}

void SimPlatform::uninitialize() {
    ++stats_.uninitializeCalls;
}

HResult SimPlatform::videoInputDevices(std::unique_ptr<KsDeviceList>& list) {
    if (faults_.noEnumerator) {
        return hr::fail;
    }
    if (devices_.empty()) {
        return hr::falseResult;  // no video-capture device: no enumerator
    }
    list = std::make_unique<SimDeviceList>(*this);
    return hr::ok;
}

HResult SimPlatform::dispatch(SimDeviceKind kind, std::uint32_t nodeOfControl, const KspNode& p,
                              std::uint8_t* data, std::uint32_t length) {
    const std::uint64_t n = ++stats_.propertyRequests;
    if (faults_.latencyUs != 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(faults_.latencyUs));
    }
    if (faults_.unplugFrom != 0 && n >= faults_.unplugFrom) {
        return hr::notConnected;
    }
    if (n == faults_.failRequest) {
        return hr::genFailure;
    }
    // A node control serves its own node only.
    if (nodeOfControl != kFilterControl && p.nodeId != nodeOfControl) {
        return hr::notFound;
    }
    const std::uint32_t xuNode =
        kind == SimDeviceKind::camera ? kCameraXuNode : kNoNodeCameraXuNode;
    if (!isCamera(kind) || camera_ == nullptr || p.nodeId != xuNode ||
        p.set != wire::kPropertySet) {
        return hr::setNotFound;
    }
    // The driver takes a node request only with one of these flag words and Reserved 0.
    const bool probe = p.flags == (wire::kFlagSetSupport | wire::kFlagTopology) ||
                       p.flags == (wire::kFlagBasicSupport | wire::kFlagTopology);
    if (camera_->strictness().requestFrame &&
        (p.reserved != 0 || !(probe || p.flags == (wire::kFlagGet | wire::kFlagTopology) ||
                              p.flags == (wire::kFlagSet | wire::kFlagTopology)))) {
        return hr::invalidArg;
    }
    const HResult result = camera_->handle(p.id, p.flags, data, length);
    if (result == hr::ok) {
        return okFor(probe ? ComCall::nodeProbe : ComCall::request);
    }
    return result;
}

}  // namespace brivane::camsim
