// Memory transfers of any length, split into requests of at most one chunk each.
#include <algorithm>
#include <cstring>

#include "transport/debug_log.h"
#include "transport/xu.h"

namespace brivane {
namespace {

constexpr std::uint32_t kAddressSpace = 0x10000;

// One transfer of `count` (at most 8) bytes at `address`: a write from `data`, a read request
// and one fetch into `data`, or one ROM read into `data`.
bool shortTransfer(int slot, std::uint8_t code, std::uint32_t address, std::uint8_t* data,
                   std::uint32_t count) {
    const auto a16 = static_cast<std::uint16_t>(address);
    const auto n = static_cast<std::uint8_t>(count);
    switch (code) {
        case transfer::write:
            return XuMemWrite(slot, a16, n, data) != 0;
        case transfer::read: {
            std::uint8_t scratch[8];
            if (XuMemReadRequest(slot, a16, n) == 0 || XuMemReadData(slot, scratch) == 0) {
                return false;
            }
            std::memcpy(data, scratch, count);
            return true;
        }
        default:
            return XuRomRead(slot, a16, data, count) != 0;
    }
}

bool fail(int stage) {
    debugLog("ReqToDriver fail %d!", stage);
    return false;
}

}  // namespace

std::uint8_t XuMemTransfer(int slot, std::uint8_t code, std::uint32_t address, std::uint8_t* buffer,
                           std::uint32_t length, std::uint32_t chunkSize) {
    if (code != transfer::write && code != transfer::read && code != transfer::romRead) {
        return 0;
    }
    // A chunk size of 0 has no meaning, and a transfer that runs past 0xFFFF would wrap round
    // to the start of the address space (the flash header): refuse both before any request.
    if (chunkSize == 0 || address > kAddressSpace || length > kAddressSpace - address) {
        debugLog("memory transfer refused: code %u address 0x%X length %u chunk %u", code,
                 static_cast<unsigned>(address), static_cast<unsigned>(length),
                 static_cast<unsigned>(chunkSize));
        return 0;
    }
    const std::uint32_t c = std::min<std::uint32_t>(chunkSize, 8);
    std::uint32_t a = address;
    std::uint32_t d = 0;
    std::uint32_t rest = length;

    if (code == transfer::write && a % c != 0) {
        const std::uint32_t head = std::min(c - a % c, rest);
        if (!shortTransfer(slot, code, a, buffer, head)) {
            return fail(0);
        }
        if (head == rest) {
            return 1;
        }
        a += head;
        d += head;
        rest -= head;
    }

    const std::uint32_t n = rest / c;
    const std::uint32_t r = rest % c;
    if (n == 0) {
        return shortTransfer(slot, code, a, buffer + d, r) ? 1 : fail(1);
    }

    if (code == transfer::read &&
        XuMemReadRequest(slot, static_cast<std::uint16_t>(a), static_cast<std::uint8_t>(c)) == 0) {
        return fail(2);
    }
    for (std::uint32_t i = 0; i < n; ++i, a += c, d += c) {
        bool ok = false;
        if (code == transfer::write) {
            ok = XuMemWrite(slot, static_cast<std::uint16_t>(a), static_cast<std::uint8_t>(c),
                            buffer + d) != 0;
        } else if (code == transfer::read) {
            std::uint8_t scratch[8];
            ok = XuMemReadData(slot, scratch) != 0;
            if (ok) {
                std::memcpy(buffer + d, scratch, c);
            }
        } else {
            ok = XuRomRead(slot, static_cast<std::uint16_t>(a), buffer + d, c) != 0;
        }
        if (!ok) {
            return fail(2);
        }
    }

    if (r == 0) {
        return 1;
    }
    return shortTransfer(slot, code, a, buffer + d, r) ? 1 : fail(3);
}

}  // namespace brivane
