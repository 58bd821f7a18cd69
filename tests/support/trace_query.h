// Questions asked of a request trace.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "transport/trace.h"
#include "transport/xu.h"

namespace brivane::testing {

// True for the SET of a register read of `reg` (selector 1 with the read marker).
inline bool isRegisterReadOf(const TraceRecord& r, std::uint16_t reg) {
    return r.id == selector::reg && (r.flags & ksflags::set) != 0 && r.out.size() == 4 &&
           r.out[3] == 0xFF && (r.out[0] | r.out[1] << 8) == reg;
}

inline bool isRomRead(const TraceRecord& r) {
    return r.id == selector::rom && (r.flags & ksflags::set) != 0;
}

// Addresses of the memory read requests in the trace.
inline std::vector<std::uint16_t> readRequestAddresses(const std::vector<TraceRecord>& trace) {
    std::vector<std::uint16_t> addresses;
    for (const TraceRecord& r : trace) {
        if (r.id == selector::memory && (r.flags & ksflags::set) != 0 && (r.out[2] & 0x80) != 0) {
            addresses.push_back(static_cast<std::uint16_t>(r.out[0] | r.out[1] << 8));
        }
    }
    return addresses;
}

// The 1-based sequence number of the n-th (from 1) request that satisfies `match`, or 0.
inline std::uint64_t seqOf(const std::vector<TraceRecord>& trace,
                           const std::function<bool(const TraceRecord&)>& match, int n = 1) {
    for (const TraceRecord& r : trace) {
        if (match(r) && --n == 0) {
            return r.seq;
        }
    }
    return 0;
}

}  // namespace brivane::testing
