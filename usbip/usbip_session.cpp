#include "usbip/usbip_session.h"

#include <cstring>

namespace brivane::usbip {
namespace {

std::uint32_t get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void putText(std::vector<std::uint8_t>& out, const std::string& text, std::size_t width) {
    std::vector<std::uint8_t> field(width, 0);
    std::memcpy(field.data(), text.data(), std::min(text.size(), width - 1));
    out.insert(out.end(), field.begin(), field.end());
}

constexpr std::uint32_t kBusNumber = 1;
constexpr std::uint32_t kDeviceNumber = 2;
constexpr std::uint32_t kSpeedHigh = 3;

}  // namespace

UsbipSession::UsbipSession(UvcDevice& device, bool imported)
    : device_(device), imported_(imported) {}

bool UsbipSession::fail(const std::string& why) {
    error_ = why;
    return false;
}

bool UsbipSession::receive(const std::uint8_t* data, std::size_t size,
                           std::vector<std::uint8_t>& out) {
    buffer_.insert(buffer_.end(), data, data + size);
    bool progressed = true;
    while (progressed) {
        progressed = false;
        if (!step(out, progressed)) {
            return false;
        }
    }
    return true;
}

bool UsbipSession::step(std::vector<std::uint8_t>& out, bool& progressed) {
    if (unplugged_) {
        return fail("the device was unplugged");
    }
    return imported_ ? urb(out, progressed) : operation(out, progressed);
}

void UsbipSession::deviceRecord(std::vector<std::uint8_t>& out, bool withInterfaces) const {
    const auto& d = device_.deviceDescriptor();
    putText(out, "/sys/devices/platform/brivane/usb1/1-1", 256);
    putText(out, kBusId, 32);
    put32(out, kBusNumber);
    put32(out, kDeviceNumber);
    put32(out, kSpeedHigh);
    put16(out, static_cast<std::uint16_t>(d[8] | d[9] << 8));
    put16(out, static_cast<std::uint16_t>(d[10] | d[11] << 8));
    put16(out, static_cast<std::uint16_t>(d[12] | d[13] << 8));
    out.insert(out.end(), {d[4], d[5], d[6], 1, d[17], 2});
    if (withInterfaces) {
        out.insert(out.end(), {0x0E, 0x01, 0x00, 0, 0x0E, 0x02, 0x00, 0});
    }
}

// OP_REQ_DEVLIST and OP_REQ_IMPORT: version, code, status, and for an import the bus id.
bool UsbipSession::operation(std::vector<std::uint8_t>& out, bool& progressed) {
    if (buffer_.size() < 8) {
        return true;
    }
    const std::uint16_t version = get16(buffer_.data());
    const std::uint16_t code = get16(buffer_.data() + 2);
    if (version != kProtocolVersion) {
        return fail("protocol version " + std::to_string(version) + " is not 0x0111");
    }
    if (code == kOpReqDevlist) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + 8);
        put16(out, kProtocolVersion);
        put16(out, kOpRepDevlist);
        put32(out, 0);
        put32(out, 1);
        deviceRecord(out, true);
        progressed = true;
        return true;
    }
    if (code != kOpReqImport) {
        return fail("unknown operation " + std::to_string(code));
    }
    if (buffer_.size() < 8 + 32) {
        return true;
    }
    std::string busId(reinterpret_cast<const char*>(buffer_.data() + 8), 32);
    busId = busId.substr(0, busId.find('\0'));
    buffer_.erase(buffer_.begin(), buffer_.begin() + 40);
    put16(out, kProtocolVersion);
    put16(out, kOpRepImport);
    if (busId != kBusId) {
        put32(out, 1);  // no such device
        progressed = true;
        return true;
    }
    put32(out, 0);
    deviceRecord(out, false);
    imported_ = true;
    progressed = true;
    return true;
}

bool UsbipSession::urb(std::vector<std::uint8_t>& out, bool& progressed) {
    if (buffer_.size() < kHeaderSize) {
        return true;
    }
    const std::uint8_t* h = buffer_.data();
    const std::uint32_t command = get32(h);
    const std::uint32_t seqnum = get32(h + 4);
    const std::uint32_t direction = get32(h + 12);
    const std::uint32_t ep = get32(h + 16);
    if (command == kCmdUnlink) {
        const std::uint32_t victim = get32(h + 20);
        buffer_.erase(buffer_.begin(), buffer_.begin() + kHeaderSize);
        // A held URB is given back unlinked; one already answered is past unlinking.
        const bool held = held_.erase(victim) > 0;
        put32(out, kRetUnlink);
        put32(out, seqnum);
        put32(out, 0);
        put32(out, 0);
        put32(out, 0);
        put32(out, static_cast<std::uint32_t>(held ? kEconnreset : 0));
        out.insert(out.end(), 24, 0);
        progressed = true;
        return true;
    }
    if (command != kCmdSubmit) {
        return fail("unknown command " + std::to_string(command));
    }
    const std::uint32_t length = get32(h + 24);
    const std::uint32_t packets = get32(h + 32);
    if (direction > 1 || ep > 15) {
        return fail("direction " + std::to_string(direction) + " or endpoint " +
                    std::to_string(ep) + " out of range");
    }
    if (length > kMaxTransfer) {
        return fail("transfer of " + std::to_string(length) + " bytes");
    }
    if (packets != 0 && packets != 0xFFFFFFFF) {
        return fail("isochronous transfers are not served");
    }
    const std::size_t outData = direction == 0 ? length : 0;
    if (buffer_.size() < kHeaderSize + outData) {
        return true;
    }
    const std::vector<std::uint8_t> data(
        buffer_.begin() + kHeaderSize, buffer_.begin() + static_cast<long>(kHeaderSize + outData));
    std::uint8_t setup[8];
    std::memcpy(setup, h + 40, 8);
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(kHeaderSize + outData));
    progressed = true;

    std::int32_t status = 0;
    std::vector<std::uint8_t> reply;
    if (ep == 0) {
        const SetupPacket s = SetupPacket::parse(setup);
        if (((s.requestType & 0x80) != 0) != (direction == 1) ||
            (direction == 1 ? s.length > length : s.length != length)) {
            return fail("control transfer whose setup disagrees with its header");
        }
        const ControlResult r = device_.control(s, data);
        if (unplugged_) {
            return fail("the device was unplugged");
        }
        status = r.stall ? kEpipe : 0;
        if (!r.stall && direction == 1) {
            reply = r.data;
        }
    } else if (direction == 1 && (ep == (UvcDevice::kStatusEndpoint & 0x0F) ||
                                  ep == (UvcDevice::kStreamingEndpoint & 0x0F))) {
        // No status changes and no frames: the URB waits until the host takes it back.
        held_.insert(seqnum);
        return true;
    } else {
        status = kEpipe;
    }
    put32(out, kRetSubmit);
    put32(out, seqnum);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, static_cast<std::uint32_t>(status));
    put32(out,
          direction == 1 ? static_cast<std::uint32_t>(reply.size()) : (status == 0 ? length : 0));
    put32(out, 0);  // start frame
    put32(out, 0);  // number of packets: none, not isochronous
    put32(out, 0);  // error count
    out.insert(out.end(), 8, 0);
    out.insert(out.end(), reply.begin(), reply.end());
    return true;
}

}  // namespace brivane::usbip
