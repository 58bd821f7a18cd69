// The wire as the camera sees it: the extension unit's property set, the node types of its
// capture filter, the request flags, the controls' payload lengths and the memory control's
// kind bytes. Written here from the camera's side, apart from the host's own headers, so that a
// slip on either side shows up as a failing request instead of being mirrored.
#pragma once

#include <array>
#include <cstdint>

#include "transport/ks_platform.h"

namespace brivane::camsim::wire {

// {7D41C2A8-3E95-4B6F-A0D7-1F82C6E4593B}
inline constexpr Guid kPropertySet = {
    0x7D41C2A8, 0x3E95, 0x4B6F, {0xA0, 0xD7, 0x1F, 0x82, 0xC6, 0xE4, 0x59, 0x3B}};

// Node types of a UVC camera's topology: camera terminal, processing unit, extension unit.
inline constexpr Guid kNodeCameraTerminal = {
    0x941C7AC0, 0xC559, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC0}};
inline constexpr Guid kNodeProcessing = {
    0xDFF229E5, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
inline constexpr Guid kNodeExtensionUnit = {
    0x941C7AC0, 0xC559, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};

// KSPROPERTY_TYPE_* as a node request carries them.
inline constexpr std::uint32_t kFlagGet = 0x00000001;
inline constexpr std::uint32_t kFlagSet = 0x00000002;
inline constexpr std::uint32_t kFlagSetSupport = 0x00000100;
inline constexpr std::uint32_t kFlagBasicSupport = 0x00000200;
inline constexpr std::uint32_t kFlagTopology = 0x10000000;

// Payload length of each control, by selector (index 0 unused).
inline constexpr std::array<std::uint32_t, 6> kLength = {0, 4, 8, 12, 12, 12};

// Selector 3's kind byte.
inline constexpr std::uint8_t kKindCountMask = 0x7F;
inline constexpr std::uint8_t kKindRead = 0x80;
inline constexpr std::uint8_t kKindErase = 0xC8;
inline constexpr std::uint8_t kKindCommand = 0x40;
inline constexpr std::uint8_t kMaxCount = 8;

// Selector 1's byte 3, and the count a ROM read asks for.
inline constexpr std::uint8_t kRegisterWriteMark = 0x00;
inline constexpr std::uint8_t kRegisterReadMark = 0xFF;
inline constexpr std::uint8_t kRomCount = 8;

}  // namespace brivane::camsim::wire
