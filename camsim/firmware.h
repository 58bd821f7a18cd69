// Firmware images as a camera carries them: 64 KiB, with the product id at 0xC006, the
// configuration byte at 0xC034 and the configuration block where the chip row keeps it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "camsim/flash_model.h"

namespace brivane::camsim {

using FirmwareId = std::array<std::uint8_t, 4>;

inline constexpr FirmwareId kFirstProductId = {0x2E, 0x7B, 0x91, 0xD4};
inline constexpr FirmwareId kSecondProductId = {0x5A, 0x3C, 0x07, 0xF2};
inline constexpr std::uint16_t kIdAddress = 0xC006;
inline constexpr std::uint16_t kConfigAddress = 0xC034;

struct FirmwareLayout {
    int chipRow = 18;
    FirmwareId id = kFirstProductId;
    std::uint8_t configByte = 0x51;
    std::uint8_t blockHigh = 0xC0;
    std::uint8_t blockVersion = 0x35;  // byte 3 of the configuration block
    std::uint32_t seed = 1;            // picks the firmware body
};

FlashImage makeFirmwareImage(const FirmwareLayout& layout);

// The image an update writes for a product id: another firmware body than the camera carries
// (seed 2 for the first id, 3 for the second), with the same layout.
FlashImage updateImage(int chipRow, const FirmwareId& id, std::uint8_t configByte,
                       std::uint8_t blockHigh = 0xC0);

// "CAMERA_2E7B91D4.bin" and the like.
std::string imageFileName(const FirmwareId& id);

}  // namespace brivane::camsim
