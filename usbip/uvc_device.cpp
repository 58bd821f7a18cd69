#include "usbip/uvc_device.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "camsim/wire.h"

namespace brivane::usbip {
namespace {

// USB standard requests and descriptor types.
constexpr std::uint8_t kGetStatus = 0x00;
constexpr std::uint8_t kClearFeature = 0x01;
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kGetConfiguration = 0x08;
constexpr std::uint8_t kSetConfiguration = 0x09;
constexpr std::uint8_t kSetInterface = 0x0B;
constexpr std::uint8_t kDescDevice = 1;
constexpr std::uint8_t kDescConfiguration = 2;
constexpr std::uint8_t kDescString = 3;

// UVC class requests.
constexpr std::uint8_t kSetCur = 0x01;
constexpr std::uint8_t kGetCur = 0x81;
constexpr std::uint8_t kGetMin = 0x82;
constexpr std::uint8_t kGetMax = 0x83;
constexpr std::uint8_t kGetRes = 0x84;
constexpr std::uint8_t kGetLen = 0x85;
constexpr std::uint8_t kGetInfo = 0x86;
constexpr std::uint8_t kGetDef = 0x87;

constexpr std::uint8_t kVcInterface = 0;
constexpr std::uint8_t kVsInterface = 1;

// Another vendor's extension unit, on the plain webcam.
constexpr Guid kForeignUnit = {
    0x0F3A99C1, 0x4B2D, 0x4E77, {0x9A, 0x5C, 0x31, 0x6E, 0xB2, 0x08, 0xD4, 0x57}};

void put16(std::vector<std::uint8_t>& d, std::uint16_t v) {
    d.push_back(static_cast<std::uint8_t>(v));
    d.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& d, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        d.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

void putGuid(std::vector<std::uint8_t>& d, const Guid& g) {
    put32(d, g.data1);
    put16(d, g.data2);
    put16(d, g.data3);
    d.insert(d.end(), std::begin(g.data4), std::end(g.data4));
}

// Appends a descriptor: its length byte first, then the rest.
void descriptor(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& body) {
    out.push_back(static_cast<std::uint8_t>(body.size() + 1));
    out.insert(out.end(), body.begin(), body.end());
}

std::vector<std::uint8_t> stringDescriptor(const std::string& text) {
    std::vector<std::uint8_t> d = {static_cast<std::uint8_t>(2 + 2 * text.size()), kDescString};
    for (char c : text) {
        d.push_back(static_cast<std::uint8_t>(c));
        d.push_back(0);
    }
    return d;
}

constexpr std::uint32_t kFrameInterval = 333333;  // 30 frames a second
constexpr std::uint16_t kWidth = 160;
constexpr std::uint16_t kHeight = 120;
constexpr std::uint32_t kFrameSize = kWidth * kHeight * 2;

}  // namespace

SetupPacket SetupPacket::parse(const std::uint8_t b[8]) {
    return {b[0], b[1], static_cast<std::uint16_t>(b[2] | b[3] << 8),
            static_cast<std::uint16_t>(b[4] | b[5] << 8),
            static_cast<std::uint16_t>(b[6] | b[7] << 8)};
}

UvcDevice::UvcDevice(std::shared_ptr<camsim::EmulatedCamera> camera, std::uint16_t productId)
    : camera_(std::move(camera)), productId_(productId) {
    // Device: USB 2.0, class from the interface association, 64-byte control endpoint.
    descriptor(device_, {kDescDevice, 0x00, 0x02, 0xEF, 0x02, 0x01, 64});
    put16(device_, 0x1D6B);
    put16(device_, productId_);
    put16(device_, 0x0100);
    device_.insert(device_.end(), {1, 2, 0, 1});
    device_[0] = static_cast<std::uint8_t>(device_.size());

    // VideoControl's class-specific descriptors.
    std::vector<std::uint8_t> vc;
    std::vector<std::uint8_t> d;
    // Camera terminal.
    d = {0x24, 0x02, 1};
    put16(d, 0x0201);
    d.insert(d.end(), {0, 0});
    put16(d, 0);
    put16(d, 0);
    put16(d, 0);
    d.insert(d.end(), {3, 0, 0, 0});
    descriptor(vc, d);
    // Processing unit (UVC 1.1: with bmVideoStandards).
    d = {0x24, 0x05, 2, 1};
    put16(d, 0);
    d.insert(d.end(), {2, 0, 0, 0, 0});
    descriptor(vc, d);
    // The extension unit: controls 1 to 5.
    d = {0x24, 0x06, kXuUnitId};
    putGuid(d, camera_ ? camsim::wire::kPropertySet : kForeignUnit);
    d.insert(d.end(), {5, 1, 2, 1, 0x1F, 0});
    descriptor(vc, d);
    // Output terminal: streaming.
    d = {0x24, 0x03, 4};
    put16(d, 0x0101);
    d.insert(d.end(), {0, kXuUnitId, 0});
    descriptor(vc, d);
    std::vector<std::uint8_t> header = {0x24, 0x01};
    put16(header, 0x0110);
    put16(header, static_cast<std::uint16_t>(vc.size() + 13));
    put32(header, 48000000);
    header.insert(header.end(), {1, kVsInterface});
    std::vector<std::uint8_t> vcAll;
    descriptor(vcAll, header);
    vcAll.insert(vcAll.end(), vc.begin(), vc.end());

    // VideoStreaming: one uncompressed YUY2 format with one frame.
    std::vector<std::uint8_t> vs;
    d = {0x24, 0x04, 1, 1};
    putGuid(d, Guid{0x32595559, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}});
    d.insert(d.end(), {16, 1, 0, 0, 0, 0});
    descriptor(vs, d);
    d = {0x24, 0x05, 1, 0};
    put16(d, kWidth);
    put16(d, kHeight);
    put32(d, kFrameSize * 8 * 30);
    put32(d, kFrameSize * 8 * 30);
    put32(d, kFrameSize);
    put32(d, kFrameInterval);
    d.push_back(1);
    put32(d, kFrameInterval);
    descriptor(vs, d);
    std::vector<std::uint8_t> input = {0x24, 0x01, 1};
    put16(input, static_cast<std::uint16_t>(vs.size() + 14));
    input.insert(input.end(), {kStreamingEndpoint, 0, 4, 0, 0, 0, 1, 0});
    std::vector<std::uint8_t> vsAll;
    descriptor(vsAll, input);
    vsAll.insert(vsAll.end(), vs.begin(), vs.end());

    std::vector<std::uint8_t> body;
    // Interface association: both interfaces make one video function.
    descriptor(body, {0x0B, kVcInterface, 2, 0x0E, 0x03, 0x00, 0});
    descriptor(body, {0x04, kVcInterface, 0, 1, 0x0E, 0x01, 0x00, 0});
    body.insert(body.end(), vcAll.begin(), vcAll.end());
    d = {0x05, kStatusEndpoint, 0x03};
    put16(d, 16);
    d.push_back(8);
    descriptor(body, d);
    d = {0x25, 0x03};
    put16(d, 16);
    descriptor(body, d);
    descriptor(body, {0x04, kVsInterface, 0, 1, 0x0E, 0x02, 0x00, 0});
    body.insert(body.end(), vsAll.begin(), vsAll.end());
    d = {0x05, kStreamingEndpoint, 0x02};
    put16(d, 512);
    d.push_back(0);
    descriptor(body, d);

    configuration_ = {9, kDescConfiguration};
    put16(configuration_, static_cast<std::uint16_t>(9 + body.size()));
    configuration_.insert(configuration_.end(), {2, 1, 0, 0x80, 250});
    configuration_.insert(configuration_.end(), body.begin(), body.end());

    // The streaming probe's defaults: format 1, frame 1, 30 frames a second.
    probe_[2] = 1;
    probe_[3] = 1;
    std::memcpy(&probe_[4], &kFrameInterval, 4);
    const std::uint32_t frameSize = kFrameSize;
    const std::uint32_t payload = 512;
    std::memcpy(&probe_[18], &frameSize, 4);
    std::memcpy(&probe_[22], &payload, 4);
}

ControlResult UvcDevice::control(const SetupPacket& s, const std::vector<std::uint8_t>& out) {
    ControlResult r;
    switch (s.requestType & 0x60) {
        case 0x00:
            r = standard(s, out);
            break;
        case 0x20:
            if ((s.requestType & 0x1F) == 0x01 && (s.index & 0xFF) == kVcInterface &&
                (s.index >> 8) == kXuUnitId) {
                r = extensionUnit(s, out);
            } else if ((s.requestType & 0x1F) == 0x01 && (s.index & 0xFF) == kVsInterface &&
                       (s.index >> 8) == 0) {
                r = streaming(s, out);
            } else {
                r.stall = true;
            }
            break;
        default:
            r.stall = true;
    }
    if (!r.stall && r.data.size() > s.length) {
        r.data.resize(s.length);
    }
    return r;
}

ControlResult UvcDevice::standard(const SetupPacket& s, const std::vector<std::uint8_t>&) {
    ControlResult r;
    const bool in = (s.requestType & 0x80) != 0;
    if (s.request == kGetDescriptor && in) {
        const std::uint8_t type = static_cast<std::uint8_t>(s.value >> 8);
        const std::uint8_t index = static_cast<std::uint8_t>(s.value);
        if (type == kDescDevice) {
            r.data = device_;
        } else if (type == kDescConfiguration && index == 0) {
            r.data = configuration_;
        } else if (type == kDescString && index == 0) {
            r.data = {4, kDescString, 0x09, 0x04};
        } else if (type == kDescString && index == 1) {
            r.data = stringDescriptor("Brivane");
        } else if (type == kDescString && index == 2) {
            r.data = stringDescriptor(camera_ ? "Brivane USB Camera" : "Integrated Webcam");
        } else {
            r.stall = true;
        }
    } else if (s.request == kGetStatus && in) {
        r.data = {0, 0};
    } else if (s.request == kGetConfiguration && in) {
        r.data = {configurationValue_};
    } else if (s.request == kSetConfiguration && !in && s.value <= 1) {
        configurationValue_ = static_cast<std::uint8_t>(s.value);
    } else if (s.request == kSetInterface && !in && s.value == 0) {
        // Only alternate setting 0 exists.
    } else if (s.request == kClearFeature && !in) {
        // Endpoint halt cleared.
    } else {
        r.stall = true;
    }
    return r;
}

ControlResult UvcDevice::extensionUnit(const SetupPacket& s, const std::vector<std::uint8_t>& out) {
    ControlResult r;
    const std::uint32_t selector = s.value >> 8;
    if (selector < 1 || selector > 5 || (s.value & 0xFF) != 0) {
        r.stall = true;
        return r;
    }
    const std::uint32_t length = camsim::wire::kLength[selector];
    switch (s.request) {
        case kGetLen:
            r.data = {static_cast<std::uint8_t>(length), 0};
            return r;
        case kGetInfo:
            r.data = {0x03};  // GET and SET supported
            return r;
        case kGetMin:
        case kGetMax:
        case kGetRes:
        case kGetDef:
            r.data.assign(length, 0);
            return r;
        case kGetCur:
        case kSetCur:
            break;
        default:
            r.stall = true;
            return r;
    }
    const bool set = s.request == kSetCur;
    if (s.length != length || (set && out.size() != length)) {
        r.stall = true;
        return r;
    }
    XuRequest x{selector, set, set ? out : std::vector<std::uint8_t>(length, 0), {}, hr::ok};
    std::optional<HResult> injected;
    if (beforeXuRequest) {
        injected = beforeXuRequest(++xuRequests_);
    }
    std::vector<std::uint8_t> data = x.sent;
    if (injected) {
        x.result = *injected;
    } else if (!camera_) {
        x.result = hr::genFailure;
    } else {
        x.result = camera_->handle(
            selector,
            camsim::wire::kFlagTopology | (set ? camsim::wire::kFlagSet : camsim::wire::kFlagGet),
            data.data(), length);
    }
    if (!set && x.result == hr::ok) {
        x.reply = data;
        r.data = data;
    }
    r.stall = x.result != hr::ok;
    if (onXuRequest) {
        onXuRequest(x);
    }
    return r;
}

ControlResult UvcDevice::streaming(const SetupPacket& s, const std::vector<std::uint8_t>& out) {
    ControlResult r;
    const std::uint32_t selector = s.value >> 8;
    if (selector != 1 && selector != 2) {  // probe and commit
        r.stall = true;
        return r;
    }
    switch (s.request) {
        case kSetCur:
            if (out.size() < 26 || out.size() > probe_.size()) {
                r.stall = true;
                return r;
            }
            std::copy(out.begin(), out.end(), probe_.begin());
            // One format, one frame: whatever was asked, these are what the camera can do.
            probe_[2] = 1;
            probe_[3] = 1;
            return r;
        case kGetCur:
        case kGetMin:
        case kGetMax:
        case kGetDef:
            r.data.assign(probe_.begin(), probe_.end());
            return r;
        case kGetLen:
            r.data = {static_cast<std::uint8_t>(probe_.size()), 0};
            return r;
        case kGetInfo:
            r.data = {0x03};
            return r;
        default:
            r.stall = true;
            return r;
    }
}

}  // namespace brivane::usbip
