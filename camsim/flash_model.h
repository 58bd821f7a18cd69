// SPI NOR flash models of the 64 KiB parts a camera may carry, driven one byte per shift.
// Each answers the id probes as the real part does and keeps its status register, write-enable
// latch, block protection and WP# rules, accepted erase and program opcodes, and a busy time
// counted in status reads so that runs are deterministic.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace brivane::camsim {

inline constexpr std::size_t kFlashSize = 0x10000;
using FlashImage = std::array<std::uint8_t, kFlashSize>;

enum class FlashPart {
    mx25l512,
    mx25l5121e,
    at25df512c,
    at25f512a,
    pm25lv512,
    pm25ld512,
    sst25vf512a,
    unknown,
};

struct IdAnswer {
    std::vector<std::uint8_t> bytes;  // empty: the part does not answer (the bus floats high)
    bool cycles = false;              // repeats for as long as the clock runs
};

struct FlashPartInfo {
    FlashPart part;
    const char* name;
    IdAnswer rdid;                // 0x9F
    IdAnswer rdid15;              // 0x15
    IdAnswer rems;                // 0x90 + 3 address bytes
    IdAnswer res;                 // 0xAB + 3 dummy bytes
    std::uint8_t protectBits;     // block-protect bits of the status register
    bool protectNeedsAllBits;     // Pm25LV512: only both bits set protect
    std::uint8_t writableStatus;  // bits WRSR may change
    std::uint8_t powerUpStatus;   // as a shipped camera's flash comes up
    std::uint8_t wpPinStatusBit;  // AT25DF512C: WPP shows WP# (0 when asserted)
    std::uint8_t eraseErrorBit;   // AT25DF512C: EPE
    bool needsEwsr;               // SST: WRSR only right after EWSR (0x50)
    std::vector<std::uint8_t> chipEraseOpcodes;
    bool autoAddressIncrement;  // SST: program with 0xAF
    std::uint32_t pageSize;     // for 0x02
    std::uint32_t chipEraseBusyPolls;
    std::uint32_t statusWriteBusyPolls;
};

const FlashPartInfo& flashPartInfo(FlashPart part);
std::optional<FlashPart> flashPartByName(std::string_view name);
const std::vector<FlashPartInfo>& allFlashParts();

class FlashModel {
public:
    FlashModel(FlashPartInfo info, const FlashImage& contents);

    // The board's WP# line: true while asserted (low).
    void setWriteProtectLine(std::function<bool()> asserted) { wpAsserted_ = std::move(asserted); }

    void select();    // chip select falls: a new command begins
    void deselect();  // chip select rises: a complete command is carried out
    std::uint8_t shift(std::uint8_t mosi);
    bool selected() const { return selected_; }

    // Faults.
    void setStuckBusy(bool stuck) { stuckBusyFault_ = stuck; }
    void addBadCell(std::uint16_t address) { badCells_.insert(address); }

    const FlashPartInfo& info() const { return info_; }
    const FlashImage& memory() const { return memory_; }
    std::uint8_t statusRegister() const;
    bool busy() const { return stuck_ || busyPolls_ > 0; }
    bool protectedNow() const;
    bool writeProtectAsserted() const { return wpAsserted_ && wpAsserted_(); }

    // Counters for tests.
    std::uint32_t chipErases = 0;
    std::uint32_t statusWrites = 0;
    std::uint32_t bytesProgrammed = 0;

private:
    void startCommand();
    void execute();
    void beginBusy(std::uint32_t polls);
    void program(std::uint32_t address, std::uint8_t value);
    std::uint8_t idByte(const IdAnswer& answer, std::size_t index) const;
    std::uint32_t commandAddress() const;

    const FlashPartInfo info_;
    FlashImage memory_;
    std::function<bool()> wpAsserted_;
    std::set<std::uint16_t> badCells_;
    bool stuckBusyFault_ = false;

    std::uint8_t status_;  // stored bits; WIP, WEL and WPP are derived
    bool wel_ = false;
    bool ewsrArmed_ = false;
    bool aai_ = false;
    std::uint32_t aaiAddress_ = 0;
    std::uint32_t busyPolls_ = 0;
    bool stuck_ = false;

    bool selected_ = false;
    bool ignoring_ = false;  // the command arrived while busy
    std::vector<std::uint8_t> command_;
};

}  // namespace brivane::camsim
