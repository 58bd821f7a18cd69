// The units of a UVC camera's VideoControl interfaces, read from the USB device's raw
// descriptors (the sysfs "descriptors" file: the device descriptor, then each configuration).
// The bytes come from the device: every length is checked before it is used.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace brivane::uvc {

inline constexpr std::uint8_t kInputTerminal = 0x02;
inline constexpr std::uint8_t kOutputTerminal = 0x03;
inline constexpr std::uint8_t kSelectorUnit = 0x04;
inline constexpr std::uint8_t kProcessingUnit = 0x05;
inline constexpr std::uint8_t kExtensionUnit = 0x06;

struct Unit {
    std::uint8_t subtype = 0;             // one of the above
    std::uint8_t id = 0;                  // bUnitID / bTerminalID
    std::array<std::uint8_t, 16> guid{};  // extension units: guidExtensionCode as stored
    std::vector<std::uint8_t> controls;   // extension units: bmControls
};

struct VideoControlInterface {
    std::uint8_t interfaceNumber = 0;
    std::vector<Unit> units;  // in descriptor order
};

// Every VideoControl interface (class 0x0E, subclass 0x01) of every configuration. Malformed
// input ends the walk where it stops making sense; what was read up to there is kept.
std::vector<VideoControlInterface> parseVideoControl(std::span<const std::uint8_t> descriptors);

// Whether an extension unit serves control `selector` (1-based) by its bmControls.
bool hasControl(const Unit& unit, unsigned selector);

}  // namespace brivane::uvc
