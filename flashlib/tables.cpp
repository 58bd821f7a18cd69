#include "flashlib/tables.h"

namespace brivane {

const std::array<std::uint16_t, 5> kIdAddresses = {0x9FF8, 0xD2B2, 0xDFF8, 0xBFF8, 0xC7F8};

// clang-format off
const std::array<ChipRow, kChipRowCount> kChipTable = {{
    // idAddress signature revision flashTypeRegister atLeast spiErase opcodeRegs configHigh viaInfo
    {0x9FF8, {'V','E','L','A'}, 1, 0x03C5, 1, 0, 0, 0, 0},  // 0
    {0x9FF8, {'M','O','R','A'}, 3, 0x031D, 1, 0, 0, 0, 0},  // 1
    {0x9FF8, {'K','I','T','E'}, 1, 0x0530, 0, 0, 0, 0, 0},  // 2
    {0x9FF8, {'K','I','T','E'}, 2, 0x05F0, 1, 0, 0, 0, 0},  // 3
    {0xD2B2, {'D','U','N','E'}, 1, 0x0530, 0, 0, 0, 0, 0},  // 4
    {0xDFF8, {'D','U','N','E'}, 2, 0x05E0, 0, 1, 0, 0, 0},  // 5
    {0xDFF8, {'D','U','N','E'}, 3, 0x05F0, 1, 1, 0, 0, 0},  // 6
    {0xDFF8, {'F','E','R','N'}, 1, 0x05F0, 0, 1, 0, 0, 0},  // 7
    {0xDFF8, {'G','A','L','E'}, 1, 0x05F0, 1, 1, 1, 1, 0},  // 8
    {0xBFF8, {'H','A','Z','E'}, 1, 0x05F0, 1, 0, 0, 0, 0},  // 9
    {0xBFF8, {'I','R','I','S'}, 1, 0x0690, 0, 0, 0, 0, 0},  // 10
    {0xBFF8, {'I','R','I','S'}, 2, 0x05F0, 1, 1, 0, 0, 0},  // 11
    {0xBFF8, {'J','A','D','E'}, 1, 0x05F0, 1, 1, 1, 0, 0},  // 12
    {0xBFF8, {'F','E','R','N'}, 2, 0x05F0, 1, 1, 1, 0, 0},  // 13
    {0xBFF8, {'L','A','R','K'}, 1, 0x05F0, 1, 1, 1, 0, 0},  // 14
    {0xBFF8, {'M','I','S','T'}, 1, 0x05F0, 1, 1, 1, 1, 0},  // 15
    {0xBFF8, {'N','O','V','A'}, 1, 0x05F0, 1, 1, 1, 1, 0},  // 16
    {0xBFF8, {'O','P','A','L'}, 1, 0x05F0, 0, 1, 1, 1, 0},  // 17
    {0xBFF8, {'O','P','A','L'}, 2, 0x05F0, 1, 1, 1, 1, 1},  // 18
    {0xBFF8, {'P','I','N','E'}, 1, 0x05F0, 1, 1, 1, 1, 1},  // 19
    {0xBFF8, {'R','E','E','D'}, 1, 0x05F0, 1, 1, 1, 1, 1},  // 20
    {0xC7F8, {'S','A','G','E'}, 1, 0x05F0, 0, 1, 1, 1, 0},  // 21
    {0xC7F8, {'S','A','G','E'}, 2, 0x05F0, 1, 1, 1, 1, 1},  // 22
}};

const std::array<FlashRow, kFlashRowCount> kFlashTable = {{
    {0x00, 0x00, 0x00, 0, 0, 0},
    {0xC2, 0x20, 0x10, 1, 1, 1},  // Macronix
    {0xC2, 0x22, 0x10, 1, 1, 1},  // Macronix
    {0x1F, 0x65, 0x01, 4, 2, 1},  // Atmel
    {0x9D, 0x20, 0xFF, 8, 3, 1},  // PMC
    {0x9D, 0x7B, 0xFF, 8, 3, 1},  // PMC
    {0xBF, 0x48, 0xFF, 3, 4, 1},  // SST
}};

// Record 0 serves a part that is not in the flash table: every opcode that would write is
// replaced by one that does not.
const std::array<CommandSet, 5> kCommandSets = {{
    // read  wren  program wrsr  chipErase sectorErase wrdi
    {0x03, 0x04, 0x03, 0x05, 0x03, 0x03, 0x04},
    {0x03, 0x06, 0x02, 0x01, 0x60, 0x20, 0x04},
    {0x03, 0x06, 0x02, 0x01, 0x60, 0x20, 0x04},
    {0x03, 0x06, 0x02, 0x01, 0xC7, 0xD7, 0x04},
    {0x03, 0x06, 0xAF, 0x01, 0x60, 0x20, 0x04},
}};
// clang-format on

}  // namespace brivane
