// The extension-unit request functions: one frame for all of them, then the payload layouts of
// the five controls.
#include <algorithm>
#include <cstring>

#include "transport/xu.h"

namespace brivane {
namespace {

KspNode makeProperty(std::uint32_t sel, std::uint32_t flags) {
    return KspNode{kXuPropertySet, sel, flags, transportState().xuNode, 0};
}

// Sends `payload` with a SET (when `set`), then, only if that returned exactly S_OK, fetches
// the control's reply into `reply` with a GET (when `get`). The control is obtained anew for
// every request and released at the end. True when every call returned exactly S_OK.
bool request(std::uint32_t sel, const std::uint8_t* payload, bool set, std::uint8_t* reply,
             bool get) {
    TransportState& state = transportState();
    if (!state.boundFilter) {
        return false;
    }
    std::unique_ptr<KsControl> control;
    if (state.boundFilter->queryControl(control) != hr::ok || !control) {
        return false;
    }
    const std::uint32_t length = kPayloadLength[sel];
    if (set) {
        std::uint8_t buffer[12];
        std::memcpy(buffer, payload, length);
        if (control->ksProperty(makeProperty(sel, kSetFlags), buffer, length) != hr::ok) {
            return false;
        }
    }
    if (get) {
        std::uint8_t buffer[12] = {};
        if (control->ksProperty(makeProperty(sel, kGetFlags), buffer, length) != hr::ok) {
            return false;
        }
        std::memcpy(reply, buffer, length);
    }
    return true;
}

bool send(std::uint32_t sel, const std::uint8_t* payload) {
    return request(sel, payload, true, nullptr, false);
}

void putAddress(std::uint8_t* p, std::uint16_t address) {
    p[0] = static_cast<std::uint8_t>(address & 0xFF);
    p[1] = static_cast<std::uint8_t>(address >> 8);
}

// Selector 2: address width A and byte count n from the control byte.
std::size_t sensorCount(std::uint8_t control) {
    const std::size_t width = (control & 0xF0) == 0x20 ? 2 : 1;
    return (control & 0x0F) + width;
}

}  // namespace

std::uint8_t XuRegWrite(int, std::uint16_t reg, std::uint8_t value) {
    std::uint8_t p[4] = {0, 0, value, 0x00};
    putAddress(p, reg);
    return send(selector::reg, p) ? 1 : 0;
}

std::uint8_t XuRegRead(int, std::uint16_t reg, std::uint8_t* value) {
    std::uint8_t p[4] = {0, 0, 0x00, 0xFF};
    putAddress(p, reg);
    std::uint8_t reply[4];
    if (!request(selector::reg, p, true, reply, true)) {
        return 0;
    }
    *value = reply[2];
    return 1;
}

std::uint8_t XuSensorWrite(std::uint8_t id, std::uint8_t control, const std::uint8_t* bytes,
                           std::size_t count) {
    // Offsets 2..6 hold the bytes; offset 7 is the 0x00 marker.
    const std::size_t n = std::min({sensorCount(control), std::size_t{5}, count});
    std::uint8_t p[8] = {id, control};
    std::memcpy(p + 2, bytes, n);
    p[7] = 0x00;
    return send(selector::sensor, p) ? 1 : 0;
}

std::uint8_t XuSensorRead(std::uint8_t id, std::uint8_t control, std::uint8_t* bytes,
                          std::size_t count) {
    const bool wide = (control & 0xF0) == 0x20;
    std::uint8_t p[8] = {id, control};
    if (count > 0) {
        p[2] = bytes[0];
    }
    if (wide && count > 1) {
        p[3] = bytes[1];
    }
    p[7] = 0xFF;
    std::uint8_t reply[8];
    if (!request(selector::sensor, p, true, reply, true)) {
        return 0;
    }
    // Reply offsets 2..7 can carry at most 6 bytes.
    const std::size_t n = std::min({sensorCount(control), std::size_t{6}, count});
    std::memcpy(bytes, reply + 2, n);
    return 1;
}

std::uint8_t XuMemWrite(int, std::uint16_t address, std::uint8_t count, const std::uint8_t* data) {
    const std::uint8_t n = std::min<std::uint8_t>(count, 8);
    std::uint8_t p[12] = {};
    putAddress(p, address);
    p[2] = n;
    if (n > 0) {
        std::memcpy(p + 3, data, n);
    }
    return send(selector::memory, p) ? 1 : 0;
}

std::uint8_t XuMemReadRequest(int, std::uint16_t address, std::uint8_t count) {
    std::uint8_t p[12] = {};
    putAddress(p, address);
    p[2] = static_cast<std::uint8_t>(kKindReadRequest | std::min<std::uint8_t>(count, 8));
    return send(selector::memory, p) ? 1 : 0;
}

std::uint8_t XuMemReadData(int, std::uint8_t* out8) {
    std::uint8_t reply[12];
    if (!request(selector::memory, nullptr, false, reply, true)) {
        return 0;
    }
    std::memcpy(out8, reply + 3, 8);
    return 1;
}

std::uint8_t XuDeviceErase(int) {
    std::uint8_t p[12] = {};
    p[2] = kKindDeviceErase;
    return send(selector::memory, p) ? 1 : 0;
}

std::uint8_t XuCommandWord(int, std::uint8_t code, std::uint16_t value) {
    std::uint8_t p[12] = {};
    p[2] = kKindCommandWord;
    p[3] = code;
    putAddress(p + 4, value);
    return send(selector::memory, p) ? 1 : 0;
}

std::uint8_t XuRomRead(int, std::uint16_t address, std::uint8_t* out, std::size_t room,
                       std::size_t* delivered) {
    std::uint8_t p[12] = {};
    putAddress(p, address);
    p[2] = 8;
    std::uint8_t reply[12];
    if (!request(selector::rom, p, true, reply, true)) {
        return 0;
    }
    // The count byte is device input: never copy past the reply (9 bytes) or the caller's room.
    const std::size_t n = std::min({std::size_t{reply[2]}, std::size_t{9}, room});
    if (n > 0) {
        std::memcpy(out, reply + 3, n);
    }
    if (delivered != nullptr) {
        *delivered = n;
    }
    return 1;
}

std::uint8_t XuInfoWord(int, std::uint16_t* word) {
    std::uint8_t reply[12];
    if (!request(selector::info, nullptr, false, reply, true)) {
        return 0;
    }
    *word = static_cast<std::uint16_t>(reply[0] | (reply[1] << 8));
    return 1;
}

std::uint8_t XuInfoByte(int, std::uint8_t* value) {
    std::uint8_t reply[12];
    if (!request(selector::info, nullptr, false, reply, true)) {
        return 0;
    }
    *value = reply[2];
    return 1;
}

}  // namespace brivane
