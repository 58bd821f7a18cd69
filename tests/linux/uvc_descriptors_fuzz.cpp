// libFuzzer target: the descriptor parser on any bytes a device could hand over.
#include <cstddef>
#include <cstdint>

#include "transport/linux/uvc_descriptors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const auto& vc : brivane::uvc::parseVideoControl({data, size})) {
        for (const auto& unit : vc.units) {
            for (unsigned selector = 0; selector < 80; ++selector) {
                brivane::uvc::hasControl(unit, selector);
            }
        }
    }
    return 0;
}
