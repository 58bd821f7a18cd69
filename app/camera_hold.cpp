#include <cstdint>
#include <cstdio>

#include "app/camera_hold.h"

namespace brivane {

std::string cameraHoldName(const std::string& devicePath) {
    // FNV-1a, 64 bits: device paths hold characters no file or object name may carry.
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (unsigned char c : devicePath) {
        h = (h ^ c) * 0x100000001B3ull;
    }
    char name[40];
    std::snprintf(name, sizeof name, "brivane-camera-%016llx", static_cast<unsigned long long>(h));
    return name;
}

}  // namespace brivane
