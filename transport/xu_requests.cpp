// The extension-unit request functions: one frame for all of them, then the payload layouts of
// the five controls.
#include <algorithm>
#include <array>
#include <cstring>

#include "transport/xu.h"

namespace brivane {
namespace {

KspNode makeProperty(std::uint32_t sel, std::uint32_t flags) {
    return KspNode{kXuPropertySet, sel, flags, transportState().xuNode, 0};
}

using Payload = std::array<std::uint8_t, 12>;

// Sends `payload` with a SET (when `set`), then, only if that returned exactly S_OK, fetches
// the control's reply into `reply` with a GET (when `get`). The control is asked for anew for
// every request. True when every call returned exactly S_OK. Only the control's length of
// each buffer is sent.
bool request(std::uint32_t sel, Payload payload, bool set, Payload* reply, bool get) {
    TransportState& state = transportState();
    if (!state.boundFilter) {
        return false;
    }
    KsControl* control = nullptr;
    if (state.boundFilter->queryControl(control) != hr::ok || control == nullptr) {
        return false;
    }
    const std::uint32_t length = kPayloadLength[sel];
    if (set &&
        control->ksProperty(makeProperty(sel, kSetFlags), payload.data(), length) != hr::ok) {
        return false;
    }
    if (get) {
        *reply = Payload{};
        if (control->ksProperty(makeProperty(sel, kGetFlags), reply->data(), length) != hr::ok) {
            return false;
        }
    }
    return true;
}

bool send(std::uint32_t sel, const Payload& payload) {
    return request(sel, payload, true, nullptr, false);
}

bool fetch(std::uint32_t sel, Payload& reply) {
    return request(sel, Payload{}, false, &reply, true);
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
    Payload p{};
    putAddress(p.data(), reg);
    p[2] = value;
    return send(selector::reg, p) ? 1 : 0;
}

std::uint8_t XuRegRead(int, std::uint16_t reg, std::uint8_t* value) {
    Payload p{};
    putAddress(p.data(), reg);
    p[3] = 0xFF;
    Payload reply;
    if (!request(selector::reg, p, true, &reply, true)) {
        return 0;
    }
    *value = reply[2];
    return 1;
}

std::uint8_t XuSensorWrite(std::uint8_t id, std::uint8_t control, const std::uint8_t* bytes,
                           std::size_t count) {
    // Offsets 2..6 hold the bytes; offset 7 is the 0x00 marker.
    const std::size_t n = std::min({sensorCount(control), std::size_t{5}, count});
    Payload p{id, control};
    std::memcpy(p.data() + 2, bytes, n);
    p[7] = 0x00;
    return send(selector::sensor, p) ? 1 : 0;
}

std::uint8_t XuSensorRead(std::uint8_t id, std::uint8_t control, std::uint8_t* bytes,
                          std::size_t count) {
    const bool wide = (control & 0xF0) == 0x20;
    Payload p{id, control};
    if (count > 0) {
        p[2] = bytes[0];
    }
    if (wide && count > 1) {
        p[3] = bytes[1];
    }
    p[7] = 0xFF;
    Payload reply;
    if (!request(selector::sensor, p, true, &reply, true)) {
        return 0;
    }
    // Reply offsets 2..7 can carry at most 6 bytes.
    const std::size_t n = std::min({sensorCount(control), std::size_t{6}, count});
    std::memcpy(bytes, reply.data() + 2, n);
    return 1;
}

std::uint8_t XuMemWrite(int, std::uint16_t address, std::uint8_t count, const std::uint8_t* data) {
    const std::uint8_t n = std::min<std::uint8_t>(count, 8);
    Payload p{};
    putAddress(p.data(), address);
    p[2] = n;
    if (n > 0) {
        std::memcpy(p.data() + 3, data, n);
    }
    return send(selector::memory, p) ? 1 : 0;
}

std::uint8_t XuMemReadRequest(int, std::uint16_t address, std::uint8_t count) {
    Payload p{};
    putAddress(p.data(), address);
    p[2] = static_cast<std::uint8_t>(kKindReadRequest | std::min<std::uint8_t>(count, 8));
    return send(selector::memory, p) ? 1 : 0;
}

std::uint8_t XuMemReadData(int, std::uint8_t* out8) {
    Payload reply;
    if (!fetch(selector::memory, reply)) {
        return 0;
    }
    std::memcpy(out8, reply.data() + 3, 8);
    return 1;
}

std::uint8_t XuDeviceErase(int) {
    Payload p{};
    p[2] = kKindDeviceErase;
    return send(selector::memory, p) ? 1 : 0;
}

std::uint8_t XuCommandWord(int, std::uint8_t code, std::uint16_t value) {
    Payload p{};
    p[2] = kKindCommandWord;
    p[3] = code;
    putAddress(p.data() + 4, value);
    return send(selector::memory, p) ? 1 : 0;
}

std::uint8_t XuRomRead(int, std::uint16_t address, std::uint8_t* out, std::size_t room,
                       std::size_t* delivered) {
    Payload p{};
    putAddress(p.data(), address);
    p[2] = 8;
    Payload reply;
    if (!request(selector::rom, p, true, &reply, true)) {
        return 0;
    }
    // The count byte is device input: never copy past the reply (9 bytes) or the caller's room.
    const std::size_t n = std::min({std::size_t{reply[2]}, std::size_t{9}, room});
    if (n > 0) {
        std::memcpy(out, reply.data() + 3, n);
    }
    if (delivered != nullptr) {
        *delivered = n;
    }
    return 1;
}

std::uint8_t XuInfoWord(int, std::uint16_t* word) {
    Payload reply;
    if (!fetch(selector::info, reply)) {
        return 0;
    }
    *word = static_cast<std::uint16_t>(reply[0] | (reply[1] << 8));
    return 1;
}

std::uint8_t XuInfoByte(int, std::uint8_t* value) {
    Payload reply;
    if (!fetch(selector::info, reply)) {
        return 0;
    }
    *value = reply[2];
    return 1;
}

}  // namespace brivane
