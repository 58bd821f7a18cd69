// What went over the camera's serial-flash port, read from the emulated camera's register
// writes: the bytes shifted out, and how many id probes were started.
#pragma once

#include <cstdint>
#include <vector>

#include "camsim/camera.h"

namespace brivane::testing {

// Bytes shifted out (transmit register values at each start-1), from write `from` on.
inline std::vector<std::uint8_t> bytesSent(const camsim::EmulatedCamera& camera,
                                           std::size_t from = 0) {
    std::vector<std::uint8_t> sent;
    std::uint8_t transmit = 0;
    const auto& writes = camera.counters().registerWrites;
    for (std::size_t i = from; i < writes.size(); ++i) {
        if (writes[i].first == 0x1082) {
            transmit = writes[i].second;
        } else if (writes[i].first == 0x1081 && writes[i].second == 1) {
            sent.push_back(transmit);
        }
    }
    return sent;
}

inline std::size_t writesTo(const camsim::EmulatedCamera& camera, std::uint16_t reg,
                            std::size_t from = 0) {
    std::size_t n = 0;
    const auto& writes = camera.counters().registerWrites;
    for (std::size_t i = from; i < writes.size(); ++i) {
        n += writes[i].first == reg ? 1 : 0;
    }
    return n;
}

// The values written to `reg`, in order.
inline std::vector<std::uint8_t> valuesWritten(const camsim::EmulatedCamera& camera,
                                               std::uint16_t reg, std::size_t from = 0) {
    std::vector<std::uint8_t> values;
    const auto& writes = camera.counters().registerWrites;
    for (std::size_t i = from; i < writes.size(); ++i) {
        if (writes[i].first == reg) {
            values.push_back(writes[i].second);
        }
    }
    return values;
}

}  // namespace brivane::testing
