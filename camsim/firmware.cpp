#include "camsim/firmware.h"

#include <cstdio>

#include "camsim/chips.h"

namespace brivane::camsim {

FlashImage makeFirmwareImage(const FirmwareLayout& layout) {
    FlashImage image{};
    // A body that is neither blank nor zero, different for every seed.
    std::uint32_t x = layout.seed * 2654435761u + 0x9E3779B9u;
    for (std::uint8_t& b : image) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }
    const std::uint16_t block = configBlockBase(layout.chipRow, layout.blockHigh);
    image[block + 0x03] = layout.blockVersion;
    image[block + 0x34] = layout.configByte;
    image[kConfigAddress] = layout.configByte;
    for (std::size_t i = 0; i < layout.id.size(); ++i) {
        image[kIdAddress + i] = layout.id[i];
    }
    return image;
}

FlashImage updateImage(int chipRow, const FirmwareId& id, std::uint8_t configByte,
                       std::uint8_t blockHigh) {
    FirmwareLayout layout;
    layout.chipRow = chipRow;
    layout.id = id;
    layout.configByte = configByte;
    layout.blockHigh = blockHigh;
    layout.seed = id == kFirstProductId ? 2 : 3;
    return makeFirmwareImage(layout);
}

std::string imageFileName(const FirmwareId& id) {
    char name[32];
    std::snprintf(name, sizeof name, "CAMERA_%02X%02X%02X%02X.bin", id[0], id[1], id[2], id[3]);
    return name;
}

}  // namespace brivane::camsim
