#include "transport/linux/linux_platform.h"

#include <fcntl.h>
#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "transport/debug_log.h"
#include "transport/linux/uvc_descriptors.h"

namespace brivane {
namespace {

constexpr Guid kNodeTypeOther = {
    0xDFF229E1, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

std::string trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\0')) {
        s.pop_back();
    }
    return s;
}

// The GUID's bytes as Windows keeps it in memory, and in text order, which some devices use.
bool sameGuid(const Guid& set, const std::array<std::uint8_t, 16>& stored) {
    std::array<std::uint8_t, 16> windows{};
    windows[0] = static_cast<std::uint8_t>(set.data1);
    windows[1] = static_cast<std::uint8_t>(set.data1 >> 8);
    windows[2] = static_cast<std::uint8_t>(set.data1 >> 16);
    windows[3] = static_cast<std::uint8_t>(set.data1 >> 24);
    windows[4] = static_cast<std::uint8_t>(set.data2);
    windows[5] = static_cast<std::uint8_t>(set.data2 >> 8);
    windows[6] = static_cast<std::uint8_t>(set.data3);
    windows[7] = static_cast<std::uint8_t>(set.data3 >> 8);
    std::copy(std::begin(set.data4), std::end(set.data4), windows.begin() + 8);
    std::array<std::uint8_t, 16> text = windows;
    std::reverse(text.begin(), text.begin() + 4);
    std::swap(text[4], text[5]);
    std::swap(text[6], text[7]);
    return stored == windows || stored == text;
}

// Sends property requests to the units of one bound node.
class UnitControl : public KsControl {
public:
    UnitControl(LinuxSystem& system, int fd, const std::vector<uvc::Unit>& units,
                std::optional<std::uint32_t> onlyNode)
        : system_(system), fd_(fd), units_(units), onlyNode_(onlyNode) {}

    HResult ksProperty(const KspNode& p, std::uint8_t* data, std::uint32_t length) override {
        if ((onlyNode_ && p.nodeId != *onlyNode_) || p.nodeId >= units_.size()) {
            return hr::notFound;
        }
        const uvc::Unit& unit = units_[p.nodeId];
        if (unit.subtype != uvc::kExtensionUnit || !sameGuid(p.set, unit.guid)) {
            return hr::setNotFound;
        }
        if ((p.flags & (ksflags::setSupport | ksflags::basicSupport)) != 0) {
            return hr::ok;
        }
        const bool set = (p.flags & ksflags::set) != 0;
        const bool get = (p.flags & ksflags::get) != 0;
        if (set == get || p.id == 0 || p.id > 255 || data == nullptr || length == 0 ||
            length > 0xFFFF) {
            return hr::invalidArg;
        }
        uvc_xu_control_query query{};
        query.unit = unit.id;
        query.selector = static_cast<std::uint8_t>(p.id);
        query.query = set ? UVC_SET_CUR : UVC_GET_CUR;
        query.size = static_cast<std::uint16_t>(length);
        query.data = data;
        const int r = system_.ioctl(fd_, UVCIOC_CTRL_QUERY, &query);
        if (r != 0) {
            debugLog("UVCIOC_CTRL_QUERY unit %u selector %u %s: %s", unit.id, p.id,
                     set ? "SET_CUR" : "GET_CUR", std::strerror(-r));
            return hresultFromErrno(-r);
        }
        return hr::ok;
    }

private:
    LinuxSystem& system_;
    int fd_;
    const std::vector<uvc::Unit>& units_;
    std::optional<std::uint32_t> onlyNode_;
};

class UnitTopology : public KsTopology {
public:
    UnitTopology(LinuxSystem& system, int fd, const std::vector<uvc::Unit>& units)
        : system_(system), fd_(fd), units_(units) {}
    HResult nodeCount(std::uint32_t& count) override {
        count = static_cast<std::uint32_t>(units_.size());
        return hr::ok;
    }
    HResult nodeType(std::uint32_t node, Guid& type) override {
        if (node >= units_.size()) {
            return hr::invalidArg;
        }
        switch (units_[node].subtype) {
            case uvc::kExtensionUnit:
                type = kNodeTypeDevSpecific;
                break;
            case uvc::kInputTerminal:
                type = kNodeTypeCameraTerminal;
                break;
            case uvc::kProcessingUnit:
                type = kNodeTypeProcessing;
                break;
            default:
                type = kNodeTypeOther;
                break;
        }
        return hr::ok;
    }
    HResult createNodeControl(std::uint32_t node, std::unique_ptr<KsControl>& control) override {
        if (node >= units_.size()) {
            return hr::invalidArg;
        }
        control = std::make_unique<UnitControl>(system_, fd_, units_, node);
        return hr::ok;
    }

private:
    LinuxSystem& system_;
    int fd_;
    const std::vector<uvc::Unit>& units_;
};

class NodeFilter : public KsFilter {
public:
    NodeFilter(LinuxSystem& system, int fd, std::vector<uvc::Unit> units)
        : system_(system), fd_(fd), units_(std::move(units)), control_(system, fd, units_, {}) {}
    ~NodeFilter() override { system_.close(fd_); }
    NodeFilter(const NodeFilter&) = delete;
    NodeFilter& operator=(const NodeFilter&) = delete;

    HResult queryTopology(std::unique_ptr<KsTopology>& topology) override {
        topology = std::make_unique<UnitTopology>(system_, fd_, units_);
        return hr::ok;
    }
    HResult queryControl(KsControl*& control) override {
        control = &control_;
        return hr::ok;
    }

private:
    LinuxSystem& system_;
    int fd_;
    std::vector<uvc::Unit> units_;
    UnitControl control_;
};

struct NodeInfo {
    std::string sysfsEntry;  // <sysfs>/class/video4linux/videoN
    std::string devicePath;  // /dev/videoN
    std::string name;
};

// The units of the VideoControl interface the node belongs to, from the USB device's raw
// descriptors; none when sysfs does not say.
std::vector<uvc::Unit> unitsOf(LinuxSystem& system, const NodeInfo& node) {
    const auto interfaceDir = system.resolve(node.sysfsEntry + "/device");
    if (!interfaceDir) {
        debugLog("%s: no device in sysfs", node.devicePath.c_str());
        return {};
    }
    const auto numberText = system.readFile(*interfaceDir + "/bInterfaceNumber");
    const auto descriptors = system.readFile(*interfaceDir + "/../descriptors");
    if (!numberText || !descriptors) {
        debugLog("%s: no USB descriptors in sysfs", node.devicePath.c_str());
        return {};
    }
    const unsigned long number =
        std::strtoul(std::string(numberText->begin(), numberText->end()).c_str(), nullptr, 16);
    for (auto& vc : uvc::parseVideoControl(*descriptors)) {
        if (vc.interfaceNumber == number) {
            return std::move(vc.units);
        }
    }
    debugLog("%s: no VideoControl interface %lu", node.devicePath.c_str(), number);
    return {};
}

class NodePropertyBag : public KsPropertyBag {
public:
    explicit NodePropertyBag(NodeInfo info) : info_(std::move(info)) {}
    HResult read(const std::string& name, std::string& value) override {
        if (name == "FriendlyName") {
            value = info_.name;
            return value.empty() ? hr::notFound : hr::ok;
        }
        if (name == "DevicePath") {
            value = info_.devicePath;
            return hr::ok;
        }
        return hr::invalidArg;
    }

private:
    NodeInfo info_;
};

class NodeDevice : public KsDevice {
public:
    NodeDevice(LinuxSystem& system, NodeInfo info) : system_(system), info_(std::move(info)) {}
    HResult bindPropertyBag(std::unique_ptr<KsPropertyBag>& bag) override {
        bag = std::make_unique<NodePropertyBag>(info_);
        return hr::ok;
    }
    HResult bindFilter(std::unique_ptr<KsFilter>& filter) override {
        const int fd = system_.open(info_.devicePath, O_RDWR | O_NONBLOCK);
        if (fd < 0) {
            debugLog("%s: cannot open: %s", info_.devicePath.c_str(), std::strerror(-fd));
            return hresultFromErrno(-fd);
        }
        filter = std::make_unique<NodeFilter>(system_, fd, unitsOf(system_, info_));
        return hr::ok;
    }

private:
    LinuxSystem& system_;
    NodeInfo info_;
};

class NodeList : public KsDeviceList {
public:
    NodeList(LinuxSystem& system, std::vector<NodeInfo> nodes)
        : system_(system), nodes_(std::move(nodes)) {}
    void reset() override { next_ = 0; }
    HResult next(std::unique_ptr<KsDevice>& device) override {
        if (next_ >= nodes_.size()) {
            return hr::falseResult;
        }
        device = std::make_unique<NodeDevice>(system_, nodes_[next_++]);
        return hr::ok;
    }

private:
    LinuxSystem& system_;
    std::vector<NodeInfo> nodes_;
    std::size_t next_ = 0;
};

// Whether the node captures video; a node that cannot be opened is kept, and its bind will
// say why it fails.
bool capturesVideo(LinuxSystem& system, const std::string& devicePath) {
    const int fd = system.open(devicePath, O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        return true;
    }
    v4l2_capability caps{};
    const int r = system.ioctl(fd, VIDIOC_QUERYCAP, &caps);
    system.close(fd);
    if (r != 0) {
        return false;
    }
    const std::uint32_t deviceCaps =
        (caps.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? caps.device_caps : caps.capabilities;
    return (deviceCaps & V4L2_CAP_VIDEO_CAPTURE) != 0;
}

}  // namespace

HResult hresultFromErrno(int error) {
    switch (error) {
        case ENOENT:
            return hr::notFound;
        case ENOBUFS:
            return hr::insufficientBuffer;
        case EINVAL:
        case EFAULT:
            return hr::invalidArg;
        case EACCES:
        case EPERM:
            return hr::accessDenied;
        case ENODEV:
        case ENXIO:
        case ESHUTDOWN:  // a request in flight when the camera was pulled out
            return hr::notConnected;
        default:
            // EBUSY, EIO, EPIPE, ETIMEDOUT, EPROTO, EBADRQC, ERANGE: the device refused or
            // stalled.
            return hr::genFailure;
    }
}

HResult LinuxPlatform::videoInputDevices(std::unique_ptr<KsDeviceList>& list) {
    const std::string classDir = system_.sysfsRoot + "/class/video4linux";
    std::vector<std::pair<unsigned long, std::string>> names;
    for (const std::string& entry : system_.listDirectory(classDir)) {
        if (entry.rfind("video", 0) == 0 && entry.size() > 5 &&
            std::all_of(entry.begin() + 5, entry.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            names.emplace_back(std::stoul(entry.substr(5)), entry);
        }
    }
    std::sort(names.begin(), names.end());
    std::vector<NodeInfo> nodes;
    for (const auto& [number, entry] : names) {
        NodeInfo info;
        info.sysfsEntry = classDir + "/" + entry;
        info.devicePath = system_.devRoot + "/" + entry;
        const auto name = system_.readFile(info.sysfsEntry + "/name");
        info.name = name ? trim(std::string(name->begin(), name->end())) : std::string();
        if (capturesVideo(system_, info.devicePath)) {
            nodes.push_back(std::move(info));
        }
    }
    if (nodes.empty()) {
        return hr::falseResult;  // no video-capture device
    }
    list = std::make_unique<NodeList>(system_, std::move(nodes));
    return hr::ok;
}

}  // namespace brivane
