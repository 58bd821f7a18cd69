// The camera transport: finding and binding the camera, the extension-unit requests and the
// chunked memory transfer. Every function returns a byte, 1 on success and 0 on failure, and
// writes its outputs only on success; nothing here retries or shows a message.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "transport/ks_platform.h"

namespace brivane {

// {7D41C2A8-3E95-4B6F-A0D7-1F82C6E4593B}: the camera's extension-unit property set.
inline constexpr Guid kXuPropertySet = {
    0x7D41C2A8, 0x3E95, 0x4B6F, {0xA0, 0xD7, 0x1F, 0x82, 0xC6, 0xE4, 0x59, 0x3B}};

namespace selector {
inline constexpr std::uint32_t reg = 1;     // 4 bytes: register write and read
inline constexpr std::uint32_t sensor = 2;  // 8 bytes: short transfer to a target id
inline constexpr std::uint32_t memory = 3;  // 12 bytes: memory, device erase, command word
inline constexpr std::uint32_t rom = 4;     // 12 bytes: controller ROM read
inline constexpr std::uint32_t info = 5;    // 12 bytes: info word and byte
}  // namespace selector

inline constexpr std::uint32_t kSetFlags = ksflags::set | ksflags::topology;  // 0x10000002
inline constexpr std::uint32_t kGetFlags = ksflags::get | ksflags::topology;  // 0x10000001
inline constexpr std::uint32_t kProbeFlags = ksflags::setSupport | ksflags::topology;

// Payload lengths by selector (index 0 unused).
inline constexpr std::array<std::uint32_t, 6> kPayloadLength = {0, 4, 8, 12, 12, 12};

// Selector-3 kind bytes.
inline constexpr std::uint8_t kKindReadRequest = 0x80;
inline constexpr std::uint8_t kKindDeviceErase = 0xC8;
inline constexpr std::uint8_t kKindCommandWord = 0x40;

// Transfer codes of XuMemTransfer.
namespace transfer {
inline constexpr std::uint8_t write = 6;
inline constexpr std::uint8_t read = 7;
inline constexpr std::uint8_t romRead = 9;
}  // namespace transfer

inline constexpr std::size_t kDevicePathSize = 260;

// Process-wide transport state: one camera per process.
struct TransportState {
    KsPlatform* platform = nullptr;  // not owned
    std::unique_ptr<KsFilter> boundFilter;
    std::uint32_t xuNode = 0;
    std::array<char, kDevicePathSize> devicePath{};
};

TransportState& transportState();

// Selects the platform the transport runs on (not owned; must outlive its use).
void XuSetPlatform(KsPlatform* platform);

// Drops the binding without any platform call and returns the state to program start, keeping
// the selected platform. For tests and for a fresh run in the same process.
void XuResetState();

// The operation table's memTransfer signature: slot, code, address, buffer, length, chunk size.
using MemTransferFn = std::uint8_t (*)(int, std::uint8_t, std::uint32_t, std::uint8_t*,
                                       std::uint32_t, std::uint32_t);
// Chip matching as the flash library provides it: slot, read function, out 8 bytes.
using ChipMatchFn = std::uint8_t (*)(int, MemTransferFn, std::uint8_t*);

// Extension-unit requests.
std::uint8_t XuRegWrite(int slot, std::uint16_t reg, std::uint8_t value);
std::uint8_t XuRegRead(int slot, std::uint16_t reg, std::uint8_t* value);
// Selector 2. The caller's buffer holds `count` bytes; no more than fit the payload and the
// caller's buffer are ever sent or stored, whatever the control byte asks for.
std::uint8_t XuSensorWrite(std::uint8_t id, std::uint8_t control, const std::uint8_t* bytes,
                           std::size_t count);
std::uint8_t XuSensorRead(std::uint8_t id, std::uint8_t control, std::uint8_t* bytes,
                          std::size_t count);
std::uint8_t XuMemWrite(int slot, std::uint16_t address, std::uint8_t count,
                        const std::uint8_t* data);
std::uint8_t XuMemReadRequest(int slot, std::uint16_t address, std::uint8_t count);
std::uint8_t XuMemReadData(int slot, std::uint8_t* out8);
std::uint8_t XuDeviceErase(int slot);
std::uint8_t XuCommandWord(int slot, std::uint8_t code, std::uint16_t value);
// Copies as many ROM bytes as the reply counts, but never more than the reply holds (9) or
// `room`. `delivered`, when given, receives the number copied.
std::uint8_t XuRomRead(int slot, std::uint16_t address, std::uint8_t* out, std::size_t room,
                       std::size_t* delivered = nullptr);
std::uint8_t XuInfoWord(int slot, std::uint16_t* word);
std::uint8_t XuInfoByte(int slot, std::uint8_t* value);

// Chunked memory transfer (codes 6, 7, 9).
std::uint8_t XuMemTransfer(int slot, std::uint8_t code, std::uint32_t address, std::uint8_t* buffer,
                           std::uint32_t length, std::uint32_t chunkSize);

// Discovery. XuFindCamera returns 0 (bound, path read), 1 (no device enumeration), 2 (no camera)
// or the failure code of the "DevicePath" read (camera bound).
int XuFindCamera(int slot, ChipMatchFn match);
std::uint8_t XuFindNode(std::uint32_t* node);
std::uint8_t XuClose(int slot);
const char* XuDevicePath();

}  // namespace brivane
