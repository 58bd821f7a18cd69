// The controller's byte-wide serial-flash port, its two waits, and the identification of the
// flash part by its id probes.
#include "flashlib/serial_flash.h"

#include "flashlib/flashlib.h"
#include "transport/debug_log.h"

namespace brivane {

namespace sf {

void portOn(int slot) {
    CamRegWrite(slot, reg::portEnable, 1);
}
std::uint8_t portOff(int slot) {
    return CamRegWrite(slot, reg::portEnable, 0);
}
void select(int slot) {
    CamRegWrite(slot, reg::chipSelect, 0);
}
void deselect(int slot) {
    CamRegWrite(slot, reg::chipSelect, 1);
}

void send(int slot, std::uint8_t byte) {
    CamRegWrite(slot, reg::portTransmit, byte);
    CamRegWrite(slot, reg::portStart, 1);
    CamSfWaitReady(slot);
}

void receive(int slot, std::uint8_t& value) {
    CamRegWrite(slot, reg::portReceive, 0);
    CamRegWrite(slot, reg::portStart, 2);
    CamSfWaitReady(slot);
    CamRegRead(slot, reg::portReceive, &value);
}

}  // namespace sf

namespace {

constexpr int kReadyPolls = 1000;
constexpr int kIdleTries = 10000;
constexpr std::uint8_t kContinuationCode = 0x7F;

struct IdProbe {
    std::uint8_t opcode;
    std::uint8_t dummyCount;
    std::uint8_t deviceIdBytes;
};

constexpr IdProbe kProbes[] = {
    {sf::opcode::rdid, 0, 2},
    {sf::opcode::rdid15, 0, 1},
    {sf::opcode::rems, 3, 1},
    {sf::opcode::res, 3, 1},
};

}  // namespace

void CamSfWaitReady(int slot) {
    std::uint8_t status = 0;
    for (int i = 0; i < kReadyPolls; ++i) {
        CamRegRead(slot, reg::portReady, &status);
        if (status == 1) {
            debugLog("break i=%d", i);
            return;
        }
        CamSleep(1);
    }
}

void CamSfWaitReady() {
    CamSfWaitReady(0);
}

void CamSfWaitIdle(int slot) {
    std::uint8_t status = 0;
    for (int i = 0; i < kIdleTries; ++i) {
        sf::select(slot);
        sf::send(slot, sf::opcode::rdsr);
        sf::receive(slot, status);
        if ((status & 0x01) == 0) {
            sf::deselect(slot);
            return;
        }
        CamSleep(1);
    }
}

void CamFlashReadId(std::uint8_t opcode, std::uint8_t dummyCount, std::uint8_t deviceIdBytes) {
    FlashIdState& id = libraryState().flash;
    sf::portOn(0);
    sf::select(0);
    sf::send(0, opcode);
    for (int i = 0; i < dummyCount; ++i) {
        sf::send(0, 0x00);
    }
    sf::receive(0, id.manufacturerId);
    if (id.manufacturerId == kContinuationCode) {
        sf::receive(0, id.manufacturerId);
    }
    sf::receive(0, id.deviceId1);
    if (deviceIdBytes == 2) {
        sf::receive(0, id.deviceId2);
    } else {
        id.deviceId2 = 0xFF;
    }
    sf::portOff(0);
}

std::uint8_t CamFlashLookup() {
    FlashIdState& id = libraryState().flash;
    const FlashRow* chosen = &kFlashTable[0];
    for (int row = 1; row < kFlashRowCount; ++row) {
        const FlashRow& f = kFlashTable[row];
        if (f.manufacturerId == id.manufacturerId &&
            (f.deviceId1 == 0xFF || f.deviceId1 == id.deviceId1) &&
            (f.deviceId2 == 0xFF || f.deviceId2 == id.deviceId2)) {
            chosen = &f;
            break;
        }
    }
    id.detectedFlashType = chosen->flashType;
    id.commandSetIndex = chosen->commandSet;
    return chosen->flashType;
}

std::uint8_t CamFlashDetect() {
    std::uint8_t type = 0;
    for (const IdProbe& probe : kProbes) {
        CamFlashReadId(probe.opcode, probe.dummyCount, probe.deviceIdBytes);
        type = CamFlashLookup();
        if (type != 0) {
            break;
        }
    }
    return type;
}

std::uint8_t CamFlashReadStatus(int slot, std::uint8_t* status) {
    if (libraryState().slots[slot].open == 0) {
        return 0;
    }
    sf::portOn(slot);
    sf::select(slot);
    sf::send(slot, sf::opcode::rdsr);
    // The receive by hand, so that a failed read is seen.
    std::uint8_t value = 0;
    bool ok =
        CamRegWrite(slot, reg::portReceive, 0) != 0 && CamRegWrite(slot, reg::portStart, 2) != 0;
    CamSfWaitReady(slot);
    ok = ok && CamRegRead(slot, reg::portReceive, &value) != 0;
    sf::deselect(slot);
    sf::portOff(slot);
    if (ok) {
        *status = value;
    }
    return ok ? 1 : 0;
}

int CamFlashType(int slot) {
    LibraryState& state = libraryState();
    if (state.slots[slot].open == 0) {
        return -1;
    }
    CamFlashDetect();
    if (state.flash.detectedFlashType != 0) {
        return state.flash.detectedFlashType;
    }
    std::uint8_t value = 0;
    const std::uint16_t typeRegister = kChipTable[state.slots[slot].chipIndex].flashTypeRegister;
    if (CamRegRead(slot, typeRegister, &value) == 0) {
        return 255;
    }
    return value;
}

}  // namespace brivane
