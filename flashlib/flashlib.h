// The flash access library: device slots, the operation table through which every camera
// access leaves the library, chip identification, the serial-flash port and flash
// identification, chip erase and write protection. Operations that take a slot test its open
// flag first and report failure on a closed slot without a request.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "flashlib/tables.h"
#include "transport/xu.h"

namespace brivane {

inline constexpr int kSlotCount = 24;

struct SlotState {
    std::uint8_t open = 0;
    std::int32_t chipIndex = 0;
    std::array<std::uint8_t, 8> chipId{};
    std::uint8_t savedWrenOpcode = 0;
    std::uint8_t savedProgramOpcode = 0;
};

struct OperationTable {
    std::uint8_t (*regWrite)(int, std::uint16_t, std::uint8_t) = nullptr;
    std::uint8_t (*regRead)(int, std::uint16_t, std::uint8_t*) = nullptr;
    std::uint8_t (*deviceErase)(int) = nullptr;
    std::uint8_t (*infoByte)(int, std::uint8_t*) = nullptr;
    std::uint8_t (*infoWord)(int, std::uint16_t*) = nullptr;
    std::uint8_t (*commandWord)(int, std::uint8_t, std::uint16_t) = nullptr;
    MemTransferFn memTransfer = nullptr;
    std::uint8_t (*close)(int) = nullptr;
    std::uint8_t (*sensorWrite)(std::uint8_t, std::uint8_t, const std::uint8_t*,
                                std::size_t) = nullptr;
    std::uint8_t (*sensorRead)(std::uint8_t, std::uint8_t, std::uint8_t*, std::size_t) = nullptr;
    const char* (*devicePath)() = nullptr;
};

// What the last flash identification left: the id bytes, the flash type and command-set index
// of the flash-table row it chose.
struct FlashIdState {
    std::uint8_t manufacturerId = 0;
    std::uint8_t deviceId1 = 0;
    std::uint8_t deviceId2 = 0;
    std::uint8_t detectedFlashType = 0;
    std::uint8_t commandSetIndex = 0;
};

// The library's process-wide state, one copy.
struct LibraryState {
    std::array<SlotState, kSlotCount> slots{};
    OperationTable ops{};
    std::uint32_t chunkSize = 0;
    FlashIdState flash{};
};

LibraryState& libraryState();
// Returns the library to program start (tests and a fresh run in the same process).
void CamResetState();

// The clock seam for the 1 ms waits of the serial-flash port; an empty function restores the
// real sleep.
void CamSetSleep(std::function<void(unsigned milliseconds)> sleep);
void CamSleep(unsigned milliseconds);

// Open results.
inline constexpr int kOpenOk = 2;
inline constexpr int kOpenNoEnumeration = -1;
inline constexpr int kOpenNoCamera = -2;

// Slots and operation table.
int CamOpen(int& slot);
int CamOpen();
std::uint8_t CamClose(int slot);
std::uint8_t CamClose();
// The open camera's device path; "" when slot 0 is closed.
const char* CamDevicePath();
std::uint8_t CamRegWrite(int slot, std::uint16_t reg, std::uint8_t value);
std::uint8_t CamRegWrite(std::uint16_t reg, std::uint8_t value);
std::uint8_t CamRegRead(int slot, std::uint16_t reg, std::uint8_t* value);
std::uint8_t CamRegRead(std::uint16_t reg, std::uint8_t* value);
std::uint8_t CamMemTransfer(int slot, std::uint8_t code, std::uint16_t address,
                            std::uint8_t* buffer, std::uint32_t length);
std::uint8_t CamMemTransfer(std::uint8_t code, std::uint16_t address, std::uint8_t* buffer,
                            std::uint32_t length);
std::uint8_t CamInfoByte(int slot, std::uint8_t* value);
std::uint8_t CamInfoWord(int slot, std::uint16_t* word);
int CamPostUpdate(int slot);
int CamPostUpdate();

// Chip identification.
std::uint8_t CamChipMatch(int slot, MemTransferFn read, std::uint8_t* out);
std::uint8_t CamChipIdentify(int slot, std::uint8_t* out);
std::uint8_t CamChipIdentify(std::uint8_t* out);

// Serial-flash port and flash identification.
void CamSfWaitReady(int slot);
void CamSfWaitReady();
void CamSfWaitIdle(int slot);
void CamFlashReadId(std::uint8_t opcode, std::uint8_t dummyCount, std::uint8_t deviceIdBytes);
std::uint8_t CamFlashLookup();
std::uint8_t CamFlashDetect();
int CamFlashType(int slot);
// The flash's status register through the port (RDSR); changes nothing.
std::uint8_t CamFlashReadStatus(int slot, std::uint8_t* status);

// Erase and write protection.
std::uint8_t CamFlashErase(int slot);
std::uint8_t CamFlashErase();
std::uint8_t CamFlashProtect(int slot, std::uint8_t mode, std::uint16_t* restoreRegister,
                             std::uint8_t* restoreValue);
std::uint8_t CamFlashProtect(std::uint8_t mode, std::uint16_t* restoreRegister,
                             std::uint8_t* restoreValue);

}  // namespace brivane
