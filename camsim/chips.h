// What the emulated camera knows of its controller chip: where the chip id sits in ROM, the
// register that holds the flash type, whether the controller has opcode registers, and where the
// firmware keeps its configuration block. Kept apart from the updater's own tables so that the
// emulator checks them rather than repeats them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace brivane::camsim {

struct CameraChip {
    int row;
    std::uint16_t idAddress;
    std::string signature;
    std::uint8_t revision;
    std::uint16_t flashTypeRegister;
    bool opcodeRegisters;
    bool configHigh;
    bool configViaInfo;
};

inline constexpr int kCameraChipCount = 23;
const CameraChip& cameraChip(int row);

// Flash address of the firmware's configuration block for a chip row; blockHigh is the high
// byte the camera reports through its info word on chips that report it.
std::uint16_t configBlockBase(int row, std::uint8_t blockHigh);

}  // namespace brivane::camsim
