#include "bench/request_counts.h"

#include <algorithm>
#include <map>

#include "app/update_steps.h"

#include "camsim/chips.h"

namespace brivane::bench {

const char* const kImpliedArithmetic =
    R"(How the implied counts are worked out (one property request per SET or GET):
  register write 1; register read 2 (SET with the read marker, then GET)
  SfSend = write 0x1082, write 0x1081, one ready poll (2)               = 4
  SfReceive = write 0x1083, write 0x1081, ready poll (2), read 0x1083 (2) = 6
  port on/off, select/deselect                                          = 1 each
  idle wait of k tries = k * (select 1 + SfSend 4 + SfReceive 6) + deselect 1 = 11k + 1
    (the flash model stays busy for 24 status bytes after a chip erase and 3 after a status
     write; the first try shifts out one status byte, each later try two, since the chip select
     stays low and the repeated 0x05 clocks out status too: k = 1 when idle, else
     1 + ceil(busy / 2): 13 tries after an erase and 3 after a status write)
  id probe = port on 1 + select 1 + SfSend(opcode) 4 + 4 per dummy + 6 per byte received + port off 1
    (RDID receives 3 bytes, 4 after a 0x7F; the others 2); detection stops at the first probe found
  flash type = detection, + 2 for the chip's register when no probe found the part
  status write = on 1 + select 1 + WREN 4 + deselect 1 + idle(1) + [SST: 1 + EWSR 4 + 1]
                 + select 1 + WRSR 4 + value 4 + deselect 1 + idle(k) + off 1
  discovery = topology probes (2: another vendor's unit, then the camera's) + 2 per id address read
  identification = 2 per id address read again, + variant probe (row 15: 5; row 20: 8, 9 if plain),
                   + 2 for register 0x3C5 on row 0
  lift = flash type + [info: word 1 + register 2 + byte 1] + [opcode registers: 2+1+4+2+1]
         + [GPIO: 2] + [status write unless info byte 2]
  erase = flash type + (camera command 1 | on 1 + select 1 + WREN 4 + deselect 1 + select 1
          + opcode 4 + deselect 1 + idle(k) + off 1)
  a read of n bytes at chunk c = 1 request + ceil(n / c) fetches (tail re-requested: +1)
  a write of n bytes at chunk c = ceil(n / c) writes (aligned here)
  restore = flash type + [info 4] + [opcode registers 6] + [block bytes 2 * 2] + [status write]
            + [GPIO 1]
  post-update = 1 on rows other than 0 and 1)";

namespace {

constexpr std::uint64_t kSend = 4;
constexpr std::uint64_t kReceive = 6;
constexpr std::uint32_t kEraseBusy = 24;
constexpr std::uint32_t kStatusBusy = 3;

std::uint64_t idleTries(std::uint32_t busy) {
    // First try: the status opcode starts the read and one status byte comes back. Every later
    // try shifts two more status bytes out (the opcode again, then the byte read).
    if (busy == 0) {
        return 1;
    }
    std::uint32_t left = busy - 1;
    std::uint64_t tries = 1;
    while (true) {
        ++tries;
        left = left > 0 ? left - 1 : 0;
        if (left == 0) {
            return tries;
        }
        --left;
    }
}

std::uint64_t idle(std::uint32_t busy) {
    return 11 * idleTries(busy) + 1;
}

std::uint64_t probe(int dummies, int received) {
    return 1 + 1 + kSend + 4 * dummies + kReceive * received + 1;
}

// The probes sent until the part is found, and whether it was found.
std::uint64_t detection(camsim::FlashPart part, bool& found) {
    using camsim::FlashPart;
    const std::uint64_t rdid = probe(0, 3);
    const std::uint64_t p15 = probe(0, 2);
    const std::uint64_t rems = probe(3, 2);
    const std::uint64_t res = probe(3, 2);
    found = true;
    switch (part) {
        case FlashPart::mx25l512:
        case FlashPart::mx25l5121e:
        case FlashPart::at25df512c:
            return rdid;
        case FlashPart::pm25ld512:
            return rdid + kReceive;  // one 0x7F skipped
        case FlashPart::sst25vf512a:
            return rdid + p15 + rems;
        case FlashPart::pm25lv512:
            return rdid + p15 + rems + res;
        default:
            found = false;
            return rdid + p15 + rems + res;
    }
}

std::uint64_t flashType(camsim::FlashPart part) {
    bool found = false;
    const std::uint64_t n = detection(part, found);
    return n + (found ? 0 : 2);
}

std::uint64_t statusWrite(bool sst) {
    return 1 + 1 + kSend + 1 + idle(0) + (sst ? 1 + kSend + 1 : 0) + 1 + kSend + kSend + 1 +
           idle(kStatusBusy) + 1;
}

std::uint64_t readCost(std::uint64_t n, std::uint64_t c) {
    const std::uint64_t full = n / c;
    return full == 0 ? 2 : 1 + full + (n % c ? 2 : 0);
}

std::uint64_t writeCost(std::uint64_t n, std::uint64_t c) {
    return (n + c - 1) / c;
}

int idAddressIndex(int row) {
    const std::uint16_t a = camsim::cameraChip(row).idAddress;
    const std::uint16_t order[] = {0x9FF8, 0xD2B2, 0xDFF8, 0xBFF8, 0xC7F8};
    return static_cast<int>(std::find(std::begin(order), std::end(order), a) - order) + 1;
}

std::vector<std::uint64_t> implied(const Scenario& s) {
    const camsim::CameraChip& chip = camsim::cameraChip(s.row);
    const bool sst = s.part == camsim::FlashPart::sst25vf512a;
    const std::uint64_t c = s.row == 0 && s.chunkRegister == 3 ? 1 : 8;
    const bool info = chip.configViaInfo;
    const int action = s.config & 0x03;
    const bool commandSet = ((s.config >> 2) & 3) == 2;
    const bool gpio = commandSet || action != 0;
    bool found = false;
    detection(s.part, found);
    const int type =
        found
            ? (s.part == camsim::FlashPart::pm25lv512 || s.part == camsim::FlashPart::pm25ld512 ? 8
               : sst                                                                            ? 3
                                                                                                : 1)
            : 0;
    const bool c7 = type == 8;
    const bool spiErase = s.row >= 5 && s.row != 9 && s.row != 10;
    const bool protectFlag = (s.config & 0x80) != 0;

    std::uint64_t identification = 2 * idAddressIndex(s.row);
    if (s.row == 15) {
        identification += 5;
    } else if (s.row == 20) {
        identification += 9;
    } else if (s.row == 0) {
        identification += 2;
    }
    const std::uint64_t lift = flashType(s.part) + (info ? 4 : 0) +
                               (chip.opcodeRegisters ? 10 : 0) + (gpio ? 2 : 0) + statusWrite(sst);
    const std::uint64_t erase =
        flashType(s.part) +
        (!c7 && !spiErase ? 1 : 1 + 1 + kSend + 1 + 1 + kSend + 1 + idle(kEraseBusy) + 1);
    const std::uint64_t restore =
        flashType(s.part) + (info ? 4 : 0) + (chip.opcodeRegisters ? 6 : 0) + 4 +
        (protectFlag || s.row == 13 ? statusWrite(sst) : 0) + (gpio ? 1 : 0);
    return {2 + 2 * static_cast<std::uint64_t>(idAddressIndex(s.row)),
            identification,
            2,
            readCost(4, c),
            readCost(1, c),
            lift,
            erase,
            readCost(0x10000, c),
            writeCost(0x10000 - 16, c),
            readCost(0x10000 - 16, c),
            writeCost(16, c),
            readCost(16, c),
            restore,
            s.row >= 2 ? 1u : 0u};
}

}  // namespace

// The implied requests of each step of the update, by the step's name.
std::map<std::string, std::uint64_t> impliedBySteps(const Scenario& s) {
    const std::vector<std::uint64_t> v = implied(s);
    return {
        {"open", v[0] + v[1]},  // discovery, then identification
        {"camera hold", 0},
        {"in-use check", v[2]},
        {"id read", v[3]},
        {"image choice", 0},
        {"image load", 0},
        {"configuration read", v[4]},
        {"protection lift", v[5]},
        {"erase", v[6]},
        {"blank check", v[7]},
        {"body write", v[8]},
        {"body verification", v[9]},
        {"header write", v[10]},
        {"header verification", v[11]},
        {"protection restore", v[12]},
        {"post-update", v[13]},
    };
}

RunCount countRequests(const Scenario& s) {
    RunCount result;
    BenchRig rig(s);
    UpdateRun run;
    run.imageDirectory = writeImages(s);
    const auto expected = impliedBySteps(s);
    const auto steps = updateSteps();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const std::uint64_t before = rig.requests();
        const StepOutcome outcome = runUpdateSteps(run, i, i + 1);
        Phase phase{steps[i].name, rig.requests() - before, 0};
        // A step the arithmetic does not know, or a run that stopped, is no measurement.
        const auto implied = expected.find(steps[i].name);
        if (implied == expected.end() || outcome.message != nullptr) {
            result.complete = false;
        } else {
            phase.implied = implied->second;
        }
        result.measuredTotal += phase.measured;
        result.impliedTotal += phase.implied;
        result.phases.push_back(std::move(phase));
    }
    finishUpdateRun(run);
    result.portSleepMs = rig.sleptMs();
    return result;
}

}  // namespace brivane::bench
