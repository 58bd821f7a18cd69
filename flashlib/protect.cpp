// Chip erase and the write protection: the flash status register, a GPIO pin wired to the
// flash's WP#, and the controller's opcode registers.
#include "flashlib/flashlib.h"
#include "flashlib/serial_flash.h"

namespace brivane {
namespace {

constexpr std::uint16_t kNoRegister = 0xFFFF;
constexpr std::uint8_t kStatusUnprotected = 0x00;
constexpr std::uint8_t kStatusProtected = 0x8C;
constexpr std::uint8_t kFlashTypeSst = 3;
constexpr std::uint8_t kInfoByteLeaveStatus = 2;
constexpr int kRowGale = 8;
constexpr int kRowAlwaysProtect = 13;

constexpr std::uint8_t kGuardLifted[4] = {0x12, 0x12, 0xED, 0xED};
constexpr std::uint8_t kGuardRestored = 0x34;

bool erasesWithC7(int flashType) {
    switch (flashType) {
        case 2:
        case 7:
        case 8:
        case 10:
        case 11:
            return true;
        default:
            return false;
    }
}

void writeStatus(int slot, int flashType, std::uint8_t value) {
    sf::portOn(slot);
    sf::select(slot);
    sf::send(slot, sf::opcode::wren);
    sf::deselect(slot);
    CamSfWaitIdle(slot);
    if (flashType == kFlashTypeSst) {
        sf::select(slot);
        sf::send(slot, sf::opcode::ewsr);
        sf::deselect(slot);
    }
    sf::select(slot);
    sf::send(slot, sf::opcode::wrsr);
    sf::send(slot, value);
    sf::deselect(slot);
    CamSfWaitIdle(slot);
    sf::portOff(slot);
}

enum class GpioAction { none, driveLow, driveHigh };

struct ConfigByte {
    int pin;
    bool commandSetOpcodes;
    GpioAction action;
};

ConfigByte decode(std::uint8_t config) {
    ConfigByte c{};
    c.pin = (config >> 4) & 0x07;
    c.commandSetOpcodes = ((config >> 2) & 0x03) == 0x02;
    const int low = config & 0x03;
    if (c.commandSetOpcodes) {
        c.action = low == 0x02 ? GpioAction::driveLow : GpioAction::driveHigh;
    } else {
        c.action = low == 0   ? GpioAction::none
                   : low == 1 ? GpioAction::driveLow
                              : GpioAction::driveHigh;
    }
    return c;
}

struct InfoValues {
    std::uint8_t high = 0;  // H: the configuration block's base is H * 256
    std::uint8_t infoByte = 0;
};

std::uint16_t configBlockBase(int chip, const InfoValues& info) {
    const ChipRow& row = kChipTable[chip];
    if (row.configHigh != 0) {
        if (row.configViaInfo != 0) {
            return static_cast<std::uint16_t>(info.high << 8);
        }
        return chip == kRowGale ? 0x5800 : 0xC000;
    }
    return static_cast<std::uint16_t>(0x8000 + (row.configViaInfo != 0 ? info.high << 8 : 0));
}

void lift(int slot, int flashType, const ConfigByte& config, std::uint16_t* restoreRegister,
          std::uint8_t* restoreValue) {
    LibraryState& state = libraryState();
    SlotState& s = state.slots[slot];
    if (kChipTable[s.chipIndex].opcodeRegisters != 0) {
        const CommandSet& set = kCommandSets[state.flash.commandSetIndex];
        const std::uint8_t wren = config.commandSetOpcodes ? set.wrenOpcode : 0x06;
        const std::uint8_t program = config.commandSetOpcodes     ? set.programOpcode
                                     : flashType == kFlashTypeSst ? 0xAF
                                                                  : 0x02;
        CamRegRead(slot, reg::wrenOpcode, &s.savedWrenOpcode);
        CamRegWrite(slot, reg::wrenOpcode, wren);
        for (int i = 0; i < 4; ++i) {
            CamRegWrite(slot, static_cast<std::uint16_t>(reg::writeGuard0 + i), kGuardLifted[i]);
        }
        CamRegRead(slot, reg::programOpcode, &s.savedProgramOpcode);
        CamRegWrite(slot, reg::programOpcode, program);
    }
    const auto mask = static_cast<std::uint8_t>(1u << config.pin);
    std::uint8_t level = 0;
    switch (config.action) {
        case GpioAction::none:
            *restoreValue = 0;
            return;
        case GpioAction::driveLow:
            level = static_cast<std::uint8_t>(mask ^ 0xFF);
            break;
        case GpioAction::driveHigh:
            level = mask;
            break;
    }
    CamRegWrite(slot, reg::gpioEnable, mask);
    CamRegWrite(slot, reg::gpioOutput, level);
    *restoreValue = level;
    *restoreRegister = reg::gpioOutput;
}

}  // namespace

std::uint8_t CamFlashErase(int slot) {
    LibraryState& state = libraryState();
    if (state.slots[slot].open == 0) {
        return 0;
    }
    const int flashType = CamFlashType(slot);
    std::uint8_t opcode = sf::opcode::chipEraseC7;
    if (!erasesWithC7(flashType)) {
        if (kChipTable[state.slots[slot].chipIndex].spiErase == 0) {
            return state.ops.deviceErase(slot);
        }
        opcode = sf::opcode::chipErase60;
    }
    sf::portOn(slot);
    sf::select(slot);
    sf::send(slot, sf::opcode::wren);
    sf::deselect(slot);
    sf::select(slot);
    sf::send(slot, opcode);
    sf::deselect(slot);
    CamSfWaitIdle(slot);
    return sf::portOff(slot);
}

std::uint8_t CamFlashErase() {
    return CamFlashErase(0);
}

std::uint8_t CamFlashProtect(int slot, std::uint8_t mode, std::uint16_t* restoreRegister,
                             std::uint8_t* restoreValue) {
    LibraryState& state = libraryState();
    if (state.slots[slot].open == 0) {
        return 0;
    }
    const int flashType = CamFlashType(slot);
    const int chip = state.slots[slot].chipIndex;
    const ChipRow& row = kChipTable[chip];

    InfoValues info;
    if (row.configViaInfo != 0) {
        std::uint16_t word = 0;
        CamInfoWord(slot, &word);
        CamRegRead(slot, static_cast<std::uint16_t>(word + 8), &info.high);
        if (CamInfoByte(slot, &info.infoByte) == 0) {
            return 0;
        }
    }
    const bool leaveStatus = row.configViaInfo != 0 && info.infoByte == kInfoByteLeaveStatus;

    if (mode == 0) {
        *restoreRegister = kNoRegister;
        lift(slot, flashType, decode(*restoreValue), restoreRegister, restoreValue);
        if (!leaveStatus) {
            writeStatus(slot, flashType, kStatusUnprotected);
        }
        return 1;
    }

    if (row.opcodeRegisters != 0) {
        const SlotState& s = state.slots[slot];
        CamRegWrite(slot, reg::wrenOpcode, s.savedWrenOpcode);
        CamRegWrite(slot, reg::programOpcode, s.savedProgramOpcode);
        for (int i = 0; i < 4; ++i) {
            CamRegWrite(slot, static_cast<std::uint16_t>(reg::writeGuard0 + i), kGuardRestored);
        }
    }
    if (!leaveStatus) {
        const std::uint16_t base = configBlockBase(chip, info);
        std::uint8_t byte3 = 0;
        std::uint8_t config = 0;
        CamMemTransfer(slot, transfer::read, static_cast<std::uint16_t>(base + 0x03), &byte3, 1);
        CamMemTransfer(slot, transfer::read, static_cast<std::uint16_t>(base + 0x34), &config, 1);
        if ((byte3 >= 0x35 && (config & 0x80) != 0) || chip == kRowAlwaysProtect) {
            writeStatus(slot, flashType, kStatusProtected);
        }
    }
    if (*restoreRegister != kNoRegister) {
        CamRegWrite(slot, *restoreRegister, static_cast<std::uint8_t>(*restoreValue ^ 0xFF));
    }
    return 1;
}

std::uint8_t CamFlashProtect(std::uint8_t mode, std::uint16_t* restoreRegister,
                             std::uint8_t* restoreValue) {
    return CamFlashProtect(0, mode, restoreRegister, restoreValue);
}

}  // namespace brivane
