#include "transport/linux/uvc_descriptors.h"

#include <algorithm>

namespace brivane::uvc {
namespace {

constexpr std::uint8_t kTypeInterface = 0x04;
constexpr std::uint8_t kTypeCsInterface = 0x24;
constexpr std::uint8_t kClassVideo = 0x0E;
constexpr std::uint8_t kSubclassVideoControl = 0x01;

}  // namespace

std::vector<VideoControlInterface> parseVideoControl(std::span<const std::uint8_t> bytes) {
    std::vector<VideoControlInterface> interfaces;
    bool inVideoControl = false;
    std::size_t at = 0;
    while (at + 2 <= bytes.size()) {
        const std::size_t length = bytes[at];
        if (length < 2 || length > bytes.size() - at) {
            break;  // a zero length would never advance; one past the end is cut off
        }
        const std::span<const std::uint8_t> d = bytes.subspan(at, length);
        at += length;
        const std::uint8_t type = d[1];
        if (type == kTypeInterface) {
            inVideoControl = length >= 9 && d[5] == kClassVideo && d[6] == kSubclassVideoControl;
            if (inVideoControl) {
                // Alternate settings of one interface share its units.
                const std::uint8_t number = d[2];
                const bool seen = std::any_of(interfaces.begin(), interfaces.end(),
                                              [number](const VideoControlInterface& i) {
                                                  return i.interfaceNumber == number;
                                              });
                if (!seen) {
                    interfaces.push_back({number, {}});
                } else {
                    inVideoControl = false;
                }
            }
            continue;
        }
        if (!inVideoControl || type != kTypeCsInterface || length < 4) {
            continue;
        }
        const std::uint8_t subtype = d[2];
        if (subtype < kInputTerminal || subtype > kExtensionUnit) {
            continue;
        }
        Unit unit;
        unit.subtype = subtype;
        unit.id = d[3];
        if (subtype == kExtensionUnit) {
            // 4..19 GUID, 20 bNumControls, 21 p, 22.. baSourceID[p], 22+p n, 23+p.. bmControls[n]
            if (length < 24) {
                continue;
            }
            const std::size_t p = d[21];
            if (22 + p >= length) {
                continue;
            }
            const std::size_t n = d[22 + p];
            if (length < 24 + p + n) {
                continue;
            }
            std::copy(d.begin() + 4, d.begin() + 20, unit.guid.begin());
            unit.controls.assign(d.begin() + static_cast<std::ptrdiff_t>(23 + p),
                                 d.begin() + static_cast<std::ptrdiff_t>(23 + p + n));
        }
        interfaces.back().units.push_back(std::move(unit));
    }
    return interfaces;
}

bool hasControl(const Unit& unit, unsigned selector) {
    if (selector == 0) {
        return false;
    }
    const unsigned bit = selector - 1;
    return bit / 8 < unit.controls.size() && ((unit.controls[bit / 8] >> (bit % 8)) & 1) != 0;
}

}  // namespace brivane::uvc
