// How well brivanectl's progress foresees the time left: an update on the emulated camera with
// a fixed request latency, sampled all along, against the time it really took.
#pragma once

#include <cstdint>

namespace brivane::bench {

struct TimeLeftFigure {
    double seconds = 0;     // the whole update
    double worstError = 0;  // relative, from a quarter done to 95 % done
    double meanError = 0;
    std::uint64_t samples = 0;
};

TimeLeftFigure measureTimeLeft(std::uint32_t latencyUs);

}  // namespace brivane::bench
