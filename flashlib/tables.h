// Constant data of the flash library: the chip table with its id addresses, the flash table and
// the command-set table.
#pragma once

#include <array>
#include <cstdint>

namespace brivane {

struct ChipRow {
    std::uint16_t idAddress;
    char signature[4];
    std::uint8_t revision;
    std::uint16_t flashTypeRegister;
    std::uint8_t revisionAtLeast;
    std::uint8_t spiErase;
    std::uint8_t opcodeRegisters;
    std::uint8_t configHigh;
    std::uint8_t configViaInfo;
};

inline constexpr int kChipRowCount = 23;
extern const std::array<std::uint16_t, 5> kIdAddresses;
extern const std::array<ChipRow, kChipRowCount> kChipTable;

struct FlashRow {
    std::uint8_t manufacturerId;
    std::uint8_t deviceId1;  // 0xFF matches any byte
    std::uint8_t deviceId2;  // 0xFF matches any byte
    std::uint8_t flashType;
    std::uint8_t commandSet;
    std::uint8_t sixth;
};

inline constexpr int kFlashRowCount = 7;
extern const std::array<FlashRow, kFlashRowCount> kFlashTable;

struct CommandSet {
    std::uint8_t readOpcode;
    std::uint8_t wrenOpcode;
    std::uint8_t programOpcode;
    std::uint8_t wrsrOpcode;
    std::uint8_t chipEraseOpcode;
    std::uint8_t sectorEraseOpcode;
    std::uint8_t wrdiOpcode;
};

extern const std::array<CommandSet, 5> kCommandSets;

// Controller registers the library uses.
namespace reg {
inline constexpr std::uint16_t chunkSize = 0x03C5;
inline constexpr std::uint16_t inUse = 0x1061;
inline constexpr std::uint16_t postUpdate = 0x1073;
inline constexpr std::uint16_t gpioInput = 0x1005;
inline constexpr std::uint16_t gpioOutput = 0x1006;
inline constexpr std::uint16_t gpioEnable = 0x1007;
inline constexpr std::uint16_t variantProbe = 0x1185;
inline constexpr std::uint16_t portEnable = 0x1080;
inline constexpr std::uint16_t portStart = 0x1081;
inline constexpr std::uint16_t portTransmit = 0x1082;
inline constexpr std::uint16_t portReceive = 0x1083;
inline constexpr std::uint16_t portReady = 0x1084;
inline constexpr std::uint16_t chipSelect = 0x1091;
inline constexpr std::uint16_t wrenOpcode = 0x05F3;
inline constexpr std::uint16_t programOpcode = 0x05F5;
inline constexpr std::uint16_t writeGuard0 = 0x05F8;  // 0x5F8 to 0x5FB
}  // namespace reg

}  // namespace brivane
