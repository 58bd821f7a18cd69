// Chip identification: the chip id read from controller ROM, matched against the chip table,
// and the variant probes of rows 15 and 20.
#include <cstring>

#include "flashlib/flashlib.h"

namespace brivane {
namespace {

std::uint8_t foldCase(std::uint8_t b) {
    return (b >= 'A' && b <= 'Z') ? static_cast<std::uint8_t>(b + ('a' - 'A')) : b;
}

bool signatureMatches(const std::uint8_t* id, const ChipRow& row) {
    for (int i = 0; i < 4; ++i) {
        if (foldCase(id[i]) != foldCase(static_cast<std::uint8_t>(row.signature[i]))) {
            return false;
        }
    }
    return true;
}

bool revisionMatches(std::uint8_t revision, const ChipRow& row) {
    return row.revisionAtLeast != 0 ? revision >= row.revision : revision == row.revision;
}

constexpr int kRowRegisterVariant = 15;
constexpr int kRowGpioVariant = 20;
constexpr std::uint8_t kVariantDigit = '1';

void probeRegisterVariant(int slot, std::uint8_t* out) {
    std::uint8_t a = 0;
    CamRegRead(slot, reg::variantProbe, &a);
    a |= 0x70;
    CamRegWrite(slot, reg::variantProbe, a);
    std::uint8_t b = 0;
    CamRegRead(slot, reg::variantProbe, &b);
    if (((b ^ a) & 0x70) == 0) {
        out[4] = kVariantDigit;
    }
}

void probeGpioVariant(int slot, std::uint8_t* out) {
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    CamRegRead(slot, reg::gpioEnable, &b);
    b &= 0xDF;
    CamRegRead(slot, reg::gpioOutput, &a);
    CamRegWrite(slot, reg::gpioEnable, b);
    a |= 0x20;
    CamRegWrite(slot, reg::gpioOutput, a);
    b = 0;
    CamRegRead(slot, reg::gpioInput, &b);
    if ((b & 0x20) != 0) {
        out[4] = kVariantDigit;
        return;
    }
    CamRegWrite(slot, reg::gpioOutput, static_cast<std::uint8_t>(a & 0xDF));
}

}  // namespace

std::uint8_t CamChipMatch(int slot, MemTransferFn read, std::uint8_t* out) {
    if (read == nullptr || out == nullptr) {
        return 0;
    }
    for (std::uint16_t address : kIdAddresses) {
        std::uint8_t id[8] = {};
        if (read(slot, transfer::romRead, address, id, 8, 8) == 0) {
            return 0;
        }
        for (int row = 0; row < kChipRowCount; ++row) {
            const ChipRow& chip = kChipTable[row];
            if (chip.idAddress != address || !signatureMatches(id, chip) ||
                !revisionMatches(id[5], chip)) {
                continue;
            }
            std::memcpy(out, id, 8);
            libraryState().slots[slot].chipIndex = row;
            return 1;
        }
    }
    return 0;
}

std::uint8_t CamChipIdentify(int slot, std::uint8_t* out) {
    if (out == nullptr || libraryState().slots[slot].open == 0) {
        return 0;
    }
    if (CamChipMatch(slot, libraryState().ops.memTransfer, out) == 0) {
        return 0;
    }
    const int chip = libraryState().slots[slot].chipIndex;
    if (chip == kRowRegisterVariant) {
        probeRegisterVariant(slot, out);
    }
    if (chip == kRowGpioVariant) {
        probeGpioVariant(slot, out);
    }
    return 1;
}

std::uint8_t CamChipIdentify(std::uint8_t* out) {
    return CamChipIdentify(0, out);
}

}  // namespace brivane
