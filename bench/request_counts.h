// Property requests of a whole update run, phase by phase: counted on the emulated camera, and
// worked out from the algorithms alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/bench_rig.h"

namespace brivane::bench {

struct Phase {
    std::string name;
    std::uint64_t measured = 0;
    std::uint64_t implied = 0;
};

struct RunCount {
    std::vector<Phase> phases;
    std::uint64_t measuredTotal = 0;
    std::uint64_t impliedTotal = 0;
    unsigned long portSleepMs = 0;  // the 1 ms waits of the serial-flash port
    bool complete = true;           // every step ran and has an implied count
};

RunCount countRequests(const Scenario& s);

// How the implied counts are worked out, for the report.
extern const char* const kImpliedArithmetic;

}  // namespace brivane::bench
