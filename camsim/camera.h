// The emulated camera: the controller as the host sees it through the five extension-unit
// controls, with its ROM, its 8-bit registers, the serial-flash port wired to a flash model,
// GPIO wired to the flash's WP#, and the controller's own memory read, write and erase paths.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "camsim/firmware.h"
#include "camsim/flash_model.h"
#include "transport/ks_platform.h"

namespace brivane::camsim {

struct CorruptRead {
    std::uint16_t address;
    std::uint32_t nth;  // 0: every read of the address; K: only the K-th (from 1)
};

struct CameraFaults {
    std::vector<CorruptRead> corruptReads;
    std::vector<std::uint16_t> badCells;
    bool flashStuckBusy = false;  // once a write operation starts, the flash never finishes
    bool portNeverReady = false;
    bool eraseRefused = false;
    bool infoFails = false;
};

// How strictly the camera holds the host to the rules a real camera and its driver enforce. Each
// rule can be turned off only where a test needs a lenient camera to show what the rule catches.
struct Strictness {
    bool requestFrame = true;  // flags exactly GET, SET or a support query, Reserved 0
    bool fixedBytes = true;    // payload bytes the layouts fix (markers, counts, zeros) hold them
    bool receiveNeedsClear = true;  // 0x1083 must be written 0 before a receive: it only sets bits
    bool busyReads = true;          // a memory read while the flash is busy returns no flash data
    std::uint32_t portReadyPolls = 0;  // after each start, polls of 0x1084 that read not ready
};

struct CameraConfig {
    int chipRow = 18;
    bool variant = false;                  // the variant probe of rows 15 and 20 answers yes
    std::optional<std::uint8_t> revision;  // default: the row's own revision
    char variantDigit = '0';
    bool lowercaseSignature = false;
    FlashPart flash = FlashPart::mx25l512;
    std::optional<std::vector<std::uint8_t>> rdidAnswer;  // replaces the part's 0x9F answer
    std::uint8_t flashTypeRegister = 0;                   // value of the chip's flash-type register
    std::optional<std::uint8_t> chunkRegister;            // register 0x3C5, when it differs
    std::uint8_t inUse = 0;                               // register 0x1061
    std::uint16_t infoWord = 0x0A40;
    std::uint8_t infoByte = 0;
    std::uint8_t blockHigh = 0xC0;  // the register at info word + 8
    FlashImage firmware{};          // the flash contents at power-up
    CameraFaults faults;
    Strictness strict;
};

// A camera as it ships: the chip row, the flash part, and firmware (seed 1) with this id and
// configuration byte.
CameraConfig shippedCamera(int chipRow = 18, FlashPart flash = FlashPart::mx25l512,
                           std::uint8_t configByte = 0x51, const FirmwareId& id = kFirstProductId);

class EmulatedCamera {
public:
    explicit EmulatedCamera(const CameraConfig& config);

    // One property request of the extension unit: selector, KS flags, the control's data.
    HResult handle(std::uint32_t selector, std::uint32_t flags, std::uint8_t* data,
                   std::uint32_t length);

    const FlashModel& flash() const { return *flash_; }
    FlashModel& flash() { return *flash_; }
    std::uint8_t reg(std::uint16_t address) const { return regs_[address]; }
    const std::array<std::uint8_t, 0x10000>& rom() const { return rom_; }
    const Strictness& strictness() const { return config_.strict; }

    // For tests: what the controller was asked to do.
    struct Counters {
        std::uint32_t deviceErases = 0;
        std::uint32_t postUpdateWrites = 0;
        std::uint32_t commandWords = 0;
        std::uint32_t memoryWriteRequests = 0;
        std::uint32_t memoryReadRequests = 0;
        std::uint32_t memoryFetches = 0;
        std::uint32_t romReads = 0;
        std::vector<std::pair<std::uint16_t, std::uint8_t>> registerWrites;
    };
    const Counters& counters() const { return counters_; }

private:
    HResult registerControl(bool set, std::uint8_t* data);
    HResult sensorControl(bool set, std::uint8_t* data);
    HResult memoryControl(bool set, std::uint8_t* data);
    HResult romControl(bool set, std::uint8_t* data);
    HResult infoControl(bool set, std::uint8_t* data);

    std::uint8_t readRegister(std::uint16_t address);
    void writeRegister(std::uint16_t address, std::uint8_t value);
    void updateChipSelect();
    bool oneBytePerRequest() const;
    bool writeGuardOpen() const;
    bool writeProtectAsserted() const;
    std::uint8_t readFlash(std::uint16_t address);
    void programByte(std::uint16_t address, std::uint8_t value);
    void eraseChip();
    void waitFlashIdle();
    void spiCommand(std::initializer_list<std::uint8_t> bytes);
    void latchReceived();
    bool zeroFrom(const std::uint8_t* data, std::size_t from, std::size_t to) const;

    CameraConfig config_;
    std::array<std::uint8_t, 0x10000> rom_{};
    std::array<std::uint8_t, 0x10000> regs_{};
    std::unique_ptr<FlashModel> flash_;
    std::vector<std::uint32_t> readCounts_;  // per corrupt-read entry

    // GPIO: the pin wired to WP# and the level that releases it.
    int wpPin_ = 0;
    bool wpTiedInactive_ = false;
    bool wpReleaseLevel_ = false;

    std::optional<std::uint16_t> pendingRegisterRead_;
    std::optional<std::uint16_t> pendingRomRead_;
    std::uint32_t readAddress_ = 0;
    std::uint8_t readCount_ = 0;
    bool readPending_ = false;
    std::array<std::uint8_t, 8> sensorBytes_{};
    std::uint32_t portBusyPolls_ = 0;       // ready polls left before the port reads ready
    std::optional<std::uint8_t> received_;  // a received byte not yet latched into 0x1083
    Counters counters_;
};

}  // namespace brivane::camsim
