// The emulated camera as a USB device: a UVC 1.1 camera with one VideoControl interface (camera
// terminal, processing unit, the extension unit, output terminal, status endpoint) and one
// VideoStreaming interface (one uncompressed format and frame, a bulk endpoint). Control
// transfers are answered as a real camera would: the standard requests, the extension unit's
// GET_CUR/SET_CUR handed to the emulated controller, GET_LEN and GET_INFO, the streaming probe
// and commit; anything else stalls.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "camsim/camera.h"
#include "transport/ks_platform.h"

namespace brivane::usbip {

struct SetupPacket {
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;

    static SetupPacket parse(const std::uint8_t bytes[8]);
};

struct ControlResult {
    bool stall = false;
    std::vector<std::uint8_t> data;  // the IN data stage
};

// What a request that reached the extension unit did, for the camera-side trace.
struct XuRequest {
    std::uint32_t selector;
    bool set;
    std::vector<std::uint8_t> sent;   // SET: the payload; GET: the zeroed buffer
    std::vector<std::uint8_t> reply;  // GET only
    HResult result;
};

class UvcDevice {
public:
    // `camera` null: a plain webcam whose extension unit belongs to another vendor.
    UvcDevice(std::shared_ptr<camsim::EmulatedCamera> camera, std::uint16_t productId);

    ControlResult control(const SetupPacket& setup, const std::vector<std::uint8_t>& out);

    const std::vector<std::uint8_t>& deviceDescriptor() const { return device_; }
    const std::vector<std::uint8_t>& configurationDescriptor() const { return configuration_; }
    std::uint16_t productId() const { return productId_; }

    // Called for every request the extension unit's controls receive; may make the camera fail
    // it (the result then is a stall).
    std::function<std::optional<HResult>(std::uint64_t n)> beforeXuRequest;
    std::function<void(const XuRequest&)> onXuRequest;

    static constexpr std::uint8_t kXuUnitId = 3;
    static constexpr std::uint8_t kStatusEndpoint = 0x81;
    static constexpr std::uint8_t kStreamingEndpoint = 0x82;

private:
    ControlResult standard(const SetupPacket& s, const std::vector<std::uint8_t>& out);
    ControlResult extensionUnit(const SetupPacket& s, const std::vector<std::uint8_t>& out);
    ControlResult streaming(const SetupPacket& s, const std::vector<std::uint8_t>& out);

    std::shared_ptr<camsim::EmulatedCamera> camera_;
    std::uint16_t productId_;
    std::vector<std::uint8_t> device_;
    std::vector<std::uint8_t> configuration_;
    std::array<std::uint8_t, 34> probe_{};
    std::uint8_t configurationValue_ = 0;
    std::uint64_t xuRequests_ = 0;
};

}  // namespace brivane::usbip
