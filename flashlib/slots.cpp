// Device slots, the operation table and the thin operations that forward to it.
#include <chrono>
#include <thread>

#include "flashlib/flashlib.h"

namespace brivane {
namespace {

std::function<void(unsigned)>& sleepHook() {
    static std::function<void(unsigned)> hook;
    return hook;
}

bool isOpen(int slot) {
    return libraryState().slots[slot].open != 0;
}

const ChipRow& chipRow(int slot) {
    return kChipTable[libraryState().slots[slot].chipIndex];
}

}  // namespace

LibraryState& libraryState() {
    static LibraryState state;
    return state;
}

void CamResetState() {
    libraryState() = LibraryState{};
}

void CamSetSleep(std::function<void(unsigned)> sleep) {
    sleepHook() = std::move(sleep);
}

void CamSleep(unsigned milliseconds) {
    if (sleepHook()) {
        sleepHook()(milliseconds);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

int CamOpen(int& slot) {
    const int found = XuFindCamera(slot, CamChipMatch);
    if (found == 1) {
        return kOpenNoEnumeration;
    }
    if (found == 2) {
        return kOpenNoCamera;
    }
    if (found != 0) {
        return 0;
    }
    slot = 0;
    LibraryState& state = libraryState();
    OperationTable& ops = state.ops;
    ops.regWrite = XuRegWrite;
    ops.regRead = XuRegRead;
    ops.deviceErase = XuDeviceErase;
    ops.infoByte = XuInfoByte;
    ops.infoWord = XuInfoWord;
    ops.commandWord = XuCommandWord;
    ops.memTransfer = XuMemTransfer;
    ops.close = XuClose;
    ops.sensorWrite = XuSensorWrite;
    ops.sensorRead = XuSensorRead;
    ops.devicePath = XuDevicePath;
    state.chunkSize = 8;
    state.slots[0].open = 1;

    CamChipIdentify(0, state.slots[0].chipId.data());

    if (state.slots[0].chipIndex == 0) {
        std::uint8_t value = 0;
        if (ops.regRead(0, reg::chunkSize, &value) == 0) {
            return 0;
        }
        if (value == 3) {
            state.chunkSize = 1;
        }
    }
    return kOpenOk;
}

int CamOpen() {
    int slot = 0;
    return CamOpen(slot);
}

const char* CamDevicePath() {
    const LibraryState& state = libraryState();
    return state.slots[0].open != 0 && state.ops.devicePath != nullptr ? state.ops.devicePath()
                                                                       : "";
}

std::uint8_t CamClose(int slot) {
    if (!isOpen(slot)) {
        return 0;
    }
    libraryState().slots[slot].open = 0;
    return libraryState().ops.close(slot);
}

std::uint8_t CamClose() {
    return CamClose(0);
}

std::uint8_t CamRegWrite(int slot, std::uint16_t reg, std::uint8_t value) {
    return isOpen(slot) ? libraryState().ops.regWrite(slot, reg, value) : 0;
}

std::uint8_t CamRegWrite(std::uint16_t reg, std::uint8_t value) {
    return CamRegWrite(0, reg, value);
}

std::uint8_t CamRegRead(int slot, std::uint16_t reg, std::uint8_t* value) {
    return isOpen(slot) ? libraryState().ops.regRead(slot, reg, value) : 0;
}

std::uint8_t CamRegRead(std::uint16_t reg, std::uint8_t* value) {
    return CamRegRead(0, reg, value);
}

std::uint8_t CamMemTransfer(int slot, std::uint8_t code, std::uint16_t address,
                            std::uint8_t* buffer, std::uint32_t length) {
    if (!isOpen(slot)) {
        return 0;
    }
    return libraryState().ops.memTransfer(slot, code, address, buffer, length,
                                          libraryState().chunkSize);
}

std::uint8_t CamMemTransfer(std::uint8_t code, std::uint16_t address, std::uint8_t* buffer,
                            std::uint32_t length) {
    return CamMemTransfer(0, code, address, buffer, length);
}

std::uint8_t CamInfoByte(int slot, std::uint8_t* value) {
    if (!isOpen(slot) || chipRow(slot).configViaInfo == 0) {
        return 0;
    }
    return libraryState().ops.infoByte(slot, value);
}

std::uint8_t CamInfoWord(int slot, std::uint16_t* word) {
    if (!isOpen(slot) || chipRow(slot).configViaInfo == 0) {
        return 0;
    }
    return libraryState().ops.infoWord(slot, word);
}

int CamPostUpdate(int slot) {
    if (!isOpen(slot)) {
        return 0;
    }
    const int chip = libraryState().slots[slot].chipIndex;
    if (chip == 0 || chip == 1) {
        return 1;
    }
    CamRegWrite(slot, reg::postUpdate, 0);
    return 2;
}

int CamPostUpdate() {
    return CamPostUpdate(0);
}

}  // namespace brivane
