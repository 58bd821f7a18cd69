#include "camsim/chips.h"

#include <cstdio>
#include <vector>

namespace brivane::camsim {
namespace {

// row, id address, signature, revision, flash-type register, features:
// o = opcode registers, h = configuration block high, i = block reported through info.
constexpr const char* kChipLines[kCameraChipCount] = {
    "0 9FF8 VELA 1 03C5 ---",  "1 9FF8 MORA 3 031D ---",  "2 9FF8 KITE 1 0530 ---",
    "3 9FF8 KITE 2 05F0 ---",  "4 D2B2 DUNE 1 0530 ---",  "5 DFF8 DUNE 2 05E0 ---",
    "6 DFF8 DUNE 3 05F0 ---",  "7 DFF8 FERN 1 05F0 ---",  "8 DFF8 GALE 1 05F0 oh-",
    "9 BFF8 HAZE 1 05F0 ---",  "10 BFF8 IRIS 1 0690 ---", "11 BFF8 IRIS 2 05F0 ---",
    "12 BFF8 JADE 1 05F0 o--", "13 BFF8 FERN 2 05F0 o--", "14 BFF8 LARK 1 05F0 o--",
    "15 BFF8 MIST 1 05F0 oh-", "16 BFF8 NOVA 1 05F0 oh-", "17 BFF8 OPAL 1 05F0 oh-",
    "18 BFF8 OPAL 2 05F0 ohi", "19 BFF8 PINE 1 05F0 ohi", "20 BFF8 REED 1 05F0 ohi",
    "21 C7F8 SAGE 1 05F0 oh-", "22 C7F8 SAGE 2 05F0 ohi",
};

std::vector<CameraChip> parseChips() {
    std::vector<CameraChip> chips;
    for (const char* line : kChipLines) {
        int row = 0;
        unsigned idAddress = 0;
        unsigned revision = 0;
        unsigned typeRegister = 0;
        char signature[5] = {};
        char features[4] = {};
        std::sscanf(line, "%d %x %4s %u %x %3s", &row, &idAddress, signature, &revision,
                    &typeRegister, features);
        chips.push_back({row, static_cast<std::uint16_t>(idAddress), signature,
                         static_cast<std::uint8_t>(revision),
                         static_cast<std::uint16_t>(typeRegister), features[0] == 'o',
                         features[1] == 'h', features[2] == 'i'});
    }
    return chips;
}

}  // namespace

const CameraChip& cameraChip(int row) {
    static const std::vector<CameraChip> chips = parseChips();
    return chips.at(static_cast<std::size_t>(row));
}

std::uint16_t configBlockBase(int row, std::uint8_t blockHigh) {
    const CameraChip& chip = cameraChip(row);
    const unsigned reported = chip.configViaInfo ? blockHigh * 0x100u : 0;
    if (!chip.configHigh) {
        return static_cast<std::uint16_t>(0x8000 + reported);
    }
    if (chip.configViaInfo) {
        return static_cast<std::uint16_t>(reported);
    }
    return row == 8 ? 0x5800 : 0xC000;
}

}  // namespace brivane::camsim
