// One USB/IP connection of the server, as the kernel's vhci-hcd and usbip tools speak it: the
// device list and import requests first (unless the socket was handed to vhci directly), then
// URBs. It only turns bytes received into bytes to send, so it is tested without a socket.
// Every field read from the peer is checked; a malformed or hostile peer ends the connection.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "usbip/uvc_device.h"

namespace brivane::usbip {

inline constexpr std::uint16_t kProtocolVersion = 0x0111;
inline constexpr std::uint16_t kOpReqDevlist = 0x8005;
inline constexpr std::uint16_t kOpRepDevlist = 0x0005;
inline constexpr std::uint16_t kOpReqImport = 0x8003;
inline constexpr std::uint16_t kOpRepImport = 0x0003;
inline constexpr std::uint32_t kCmdSubmit = 1;
inline constexpr std::uint32_t kCmdUnlink = 2;
inline constexpr std::uint32_t kRetSubmit = 3;
inline constexpr std::uint32_t kRetUnlink = 4;
inline constexpr std::size_t kHeaderSize = 48;
inline constexpr std::uint32_t kMaxTransfer = 1u << 20;
inline constexpr std::int32_t kEpipe = -32;
inline constexpr std::int32_t kEconnreset = -104;

inline constexpr const char* kBusId = "1-1";

class UsbipSession {
public:
    // `imported`: the socket was handed to vhci, so URBs come at once.
    UsbipSession(UvcDevice& device, bool imported);

    // Takes received bytes; appends what to send to `out`. False when the connection must end:
    // `error()` says why (a malformed request, or the device gone).
    bool receive(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out);
    const std::string& error() const { return error_; }

    // The device disappears: the connection ends at the next request.
    void unplug() { unplugged_ = true; }
    std::size_t heldUrbs() const { return held_.size(); }

private:
    bool step(std::vector<std::uint8_t>& out, bool& progressed);
    bool operation(std::vector<std::uint8_t>& out, bool& progressed);
    bool urb(std::vector<std::uint8_t>& out, bool& progressed);
    bool fail(const std::string& why);
    void deviceRecord(std::vector<std::uint8_t>& out, bool withInterfaces) const;

    UvcDevice& device_;
    bool imported_;
    bool unplugged_ = false;
    std::vector<std::uint8_t> buffer_;
    std::set<std::uint32_t> held_;  // IN URBs of the interrupt and bulk endpoints, never answered
    std::string error_;
};

}  // namespace brivane::usbip
