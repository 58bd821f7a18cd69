#include "camsim/camera.h"

#include <cstring>

#include "camsim/chips.h"
#include "camsim/wire.h"

namespace brivane::camsim {
namespace {

namespace r {
constexpr std::uint16_t chunk = 0x03C5;
constexpr std::uint16_t gpioInput = 0x1005;
constexpr std::uint16_t gpioOutput = 0x1006;
constexpr std::uint16_t gpioEnable = 0x1007;
constexpr std::uint16_t inUse = 0x1061;
constexpr std::uint16_t postUpdate = 0x1073;
constexpr std::uint16_t portEnable = 0x1080;
constexpr std::uint16_t portStart = 0x1081;
constexpr std::uint16_t portTransmit = 0x1082;
constexpr std::uint16_t portReceive = 0x1083;
constexpr std::uint16_t portReady = 0x1084;
constexpr std::uint16_t chipSelect = 0x1091;
constexpr std::uint16_t variantProbe = 0x1185;
constexpr std::uint16_t wrenOpcode = 0x05F3;
constexpr std::uint16_t programOpcode = 0x05F5;
constexpr std::uint16_t guard = 0x05F8;
}  // namespace r

constexpr std::uint8_t kGuardOpen[4] = {0x12, 0x12, 0xED, 0xED};
constexpr std::uint8_t kGuardPowerUp = 0x34;
constexpr int kControllerBusyPolls = 200;

}  // namespace

CameraConfig shippedCamera(int chipRow, FlashPart flash, std::uint8_t configByte,
                           const FirmwareId& id) {
    CameraConfig c;
    c.chipRow = chipRow;
    c.flash = flash;
    FirmwareLayout layout;
    layout.chipRow = chipRow;
    layout.id = id;
    layout.configByte = configByte;
    layout.blockHigh = c.blockHigh;
    c.firmware = makeFirmwareImage(layout);
    return c;
}

EmulatedCamera::EmulatedCamera(const CameraConfig& config)
    : config_(config), readCounts_(config.faults.corruptReads.size(), 0) {
    const CameraChip& chip = cameraChip(config.chipRow);

    // ROM bytes outside the chip id are never ASCII letters, so they match no chip.
    for (std::size_t a = 0; a < rom_.size(); ++a) {
        rom_[a] = static_cast<std::uint8_t>(0x80 | ((a * 37 + 11) & 0x7F));
    }
    for (int i = 0; i < 4; ++i) {
        const char c = chip.signature[i];
        rom_[chip.idAddress + i] =
            static_cast<std::uint8_t>(config.lowercaseSignature ? c - 'A' + 'a' : c);
    }
    rom_[chip.idAddress + 4] = static_cast<std::uint8_t>(config.variantDigit);
    rom_[chip.idAddress + 5] = config.revision.value_or(chip.revision);
    rom_[chip.idAddress + 6] = 0x12;
    rom_[chip.idAddress + 7] = 0x34;

    regs_[r::inUse] = config.inUse;
    regs_[chip.flashTypeRegister] = config.flashTypeRegister;
    if (config.chunkRegister) {
        regs_[r::chunk] = *config.chunkRegister;
    }
    regs_[r::wrenOpcode] = 0x06;
    regs_[r::programOpcode] = 0x02;
    for (int i = 0; i < 4; ++i) {
        regs_[r::guard + i] = kGuardPowerUp;
    }
    regs_[r::chipSelect] = 1;
    regs_[static_cast<std::uint16_t>(config.infoWord + 8)] = config.blockHigh;

    // WP# is wired to the pin the firmware's configuration byte names; the level its lift
    // drives is the one that releases it. With no GPIO action WP# is tied inactive.
    const std::uint8_t c = config.firmware[kConfigAddress];
    wpPin_ = (c >> 4) & 0x07;
    const int low = c & 0x03;
    if (((c >> 2) & 0x03) == 0x02) {
        wpReleaseLevel_ = low != 0x02;
    } else {
        wpTiedInactive_ = low == 0;
        wpReleaseLevel_ = low != 1;
    }

    FlashPartInfo part = flashPartInfo(config.flash);
    if (config.rdidAnswer) {
        part.rdid = {*config.rdidAnswer, false};
    }
    flash_ = std::make_unique<FlashModel>(part, config.firmware);
    flash_->setWriteProtectLine([this] { return writeProtectAsserted(); });
    flash_->setStuckBusy(config.faults.flashStuckBusy);
    for (std::uint16_t cell : config.faults.badCells) {
        flash_->addBadCell(cell);
    }
}

bool EmulatedCamera::writeProtectAsserted() const {
    if (wpTiedInactive_) {
        return false;
    }
    const bool driven = ((regs_[r::gpioEnable] >> wpPin_) & 1) != 0;
    const bool level = ((regs_[r::gpioOutput] >> wpPin_) & 1) != 0;
    return !(driven && level == wpReleaseLevel_);
}

bool EmulatedCamera::oneBytePerRequest() const {
    return config_.chipRow == 0 && regs_[r::chunk] == 3;
}

bool EmulatedCamera::writeGuardOpen() const {
    for (int i = 0; i < 4; ++i) {
        if (regs_[r::guard + i] != kGuardOpen[i]) {
            return false;
        }
    }
    return true;
}

bool EmulatedCamera::zeroFrom(const std::uint8_t* data, std::size_t from, std::size_t to) const {
    if (!config_.strict.fixedBytes) {
        return true;
    }
    for (std::size_t i = from; i < to; ++i) {
        if (data[i] != 0) {
            return false;
        }
    }
    return true;
}

HResult EmulatedCamera::handle(std::uint32_t selector, std::uint32_t flags, std::uint8_t* data,
                               std::uint32_t length) {
    if ((flags & (wire::kFlagSetSupport | wire::kFlagBasicSupport)) != 0) {
        return hr::ok;
    }
    if (selector < 1 || selector > 5) {
        return hr::notFound;
    }
    if (data == nullptr || length != wire::kLength[selector]) {
        return hr::insufficientBuffer;
    }
    const bool set = (flags & wire::kFlagSet) != 0;
    const bool get = (flags & wire::kFlagGet) != 0;
    if (set == get) {
        return hr::invalidArg;
    }
    // A GET is made with a zeroed buffer.
    if (get && !zeroFrom(data, 0, length)) {
        return hr::genFailure;
    }
    switch (selector) {
        case 1:
            return registerControl(set, data);
        case 2:
            return sensorControl(set, data);
        case 3:
            return memoryControl(set, data);
        case 4:
            return romControl(set, data);
        default:
            return infoControl(set, data);
    }
}

HResult EmulatedCamera::registerControl(bool set, std::uint8_t* data) {
    if (set) {
        const auto address = static_cast<std::uint16_t>(data[0] | data[1] << 8);
        if (data[3] == wire::kRegisterReadMark) {
            // The read marker's value byte is 0.
            if (!zeroFrom(data, 2, 3)) {
                return hr::genFailure;
            }
            pendingRegisterRead_ = address;
        } else if (data[3] == wire::kRegisterWriteMark) {
            writeRegister(address, data[2]);
        } else {
            return hr::genFailure;
        }
        return hr::ok;
    }
    if (!pendingRegisterRead_) {
        return hr::genFailure;
    }
    const std::uint16_t address = *pendingRegisterRead_;
    pendingRegisterRead_.reset();
    data[0] = static_cast<std::uint8_t>(address);
    data[1] = static_cast<std::uint8_t>(address >> 8);
    data[2] = readRegister(address);
    data[3] = wire::kRegisterReadMark;
    return hr::ok;
}

HResult EmulatedCamera::sensorControl(bool set, std::uint8_t* data) {
    if (set) {
        if (data[7] != 0xFF) {
            std::memcpy(sensorBytes_.data(), data + 2, 5);
        }
        return hr::ok;
    }
    std::memcpy(data + 2, sensorBytes_.data(), 6);
    return hr::ok;
}

HResult EmulatedCamera::memoryControl(bool set, std::uint8_t* data) {
    if (!set) {
        if (!readPending_) {
            return hr::genFailure;
        }
        std::memset(data, 0, 12);
        data[0] = static_cast<std::uint8_t>(readAddress_);
        data[1] = static_cast<std::uint8_t>(readAddress_ >> 8);
        data[2] = readCount_;
        for (int i = 0; i < readCount_; ++i) {
            data[3 + i] = readFlash(static_cast<std::uint16_t>(readAddress_ + i));
        }
        readAddress_ += readCount_;
        ++counters_.memoryFetches;
        return hr::ok;
    }
    const auto address = static_cast<std::uint16_t>(data[0] | data[1] << 8);
    const std::uint8_t kind = data[2];
    if (kind == wire::kKindErase) {
        // Address 0 and nine zero bytes.
        if (!zeroFrom(data, 0, 2) || !zeroFrom(data, 3, 12)) {
            return hr::genFailure;
        }
        ++counters_.deviceErases;
        if (config_.faults.eraseRefused) {
            return hr::genFailure;
        }
        eraseChip();
        return hr::ok;
    }
    if (kind == wire::kKindCommand) {
        if (!zeroFrom(data, 0, 2) || !zeroFrom(data, 6, 12)) {
            return hr::genFailure;
        }
        ++counters_.commandWords;
        return hr::ok;
    }
    const std::uint8_t count = kind & wire::kKindCountMask;
    if (count > wire::kMaxCount || (oneBytePerRequest() && count > 1)) {
        return hr::genFailure;
    }
    if ((kind & wire::kKindRead) != 0) {
        if (!zeroFrom(data, 3, 12)) {
            return hr::genFailure;
        }
        readAddress_ = address;
        readCount_ = count;
        readPending_ = true;
        ++counters_.memoryReadRequests;
        return hr::ok;
    }
    if (!zeroFrom(data, 3 + count, 12)) {
        return hr::genFailure;
    }
    ++counters_.memoryWriteRequests;
    for (int i = 0; i < count; ++i) {
        programByte(static_cast<std::uint16_t>(address + i), data[3 + i]);
    }
    return hr::ok;
}

HResult EmulatedCamera::romControl(bool set, std::uint8_t* data) {
    if (set) {
        // The request asks for the fixed count, and nothing follows it.
        if (config_.strict.fixedBytes && (data[2] != wire::kRomCount || !zeroFrom(data, 3, 12))) {
            return hr::genFailure;
        }
        pendingRomRead_ = static_cast<std::uint16_t>(data[0] | data[1] << 8);
        return hr::ok;
    }
    if (!pendingRomRead_) {
        return hr::genFailure;
    }
    const std::uint16_t address = *pendingRomRead_;
    pendingRomRead_.reset();
    std::memset(data, 0, 12);
    data[0] = static_cast<std::uint8_t>(address);
    data[1] = static_cast<std::uint8_t>(address >> 8);
    data[2] = 8;
    for (int i = 0; i < 8; ++i) {
        data[3 + i] = rom_[static_cast<std::uint16_t>(address + i)];
    }
    ++counters_.romReads;
    return hr::ok;
}

HResult EmulatedCamera::infoControl(bool set, std::uint8_t* data) {
    if (set || config_.faults.infoFails) {
        return hr::genFailure;
    }
    std::memset(data, 0, 12);
    data[0] = static_cast<std::uint8_t>(config_.infoWord);
    data[1] = static_cast<std::uint8_t>(config_.infoWord >> 8);
    data[2] = config_.infoByte;
    return hr::ok;
}

std::uint8_t EmulatedCamera::readRegister(std::uint16_t address) {
    switch (address) {
        case r::portReady:
            if (config_.faults.portNeverReady) {
                return 0;
            }
            if (portBusyPolls_ > 0) {
                --portBusyPolls_;
                return 0;
            }
            latchReceived();
            return 1;
        case r::gpioInput: {
            // Pins not driven read their strap; pin 5 of row 20's variant is strapped high.
            const std::uint8_t strap = (config_.chipRow == 20 && config_.variant) ? 0x20 : 0x00;
            const std::uint8_t enable = regs_[r::gpioEnable];
            return static_cast<std::uint8_t>((regs_[r::gpioOutput] & enable) | (strap & ~enable));
        }
        default:
            return regs_[address];
    }
}

void EmulatedCamera::writeRegister(std::uint16_t address, std::uint8_t value) {
    counters_.registerWrites.emplace_back(address, value);
    switch (address) {
        case r::inUse:
        case r::portReady:
        case r::gpioInput:
            return;  // read-only
        case r::portEnable:
        case r::chipSelect:
            regs_[address] = value;
            updateChipSelect();
            return;
        case r::portStart:
            regs_[address] = value;
            portBusyPolls_ = config_.strict.portReadyPolls;
            if (value == 1) {
                flash_->shift(regs_[r::portTransmit]);
            } else if (value == 2) {
                // The byte reaches 0x1083 when the port reports ready.
                received_ = flash_->selected() ? flash_->shift(0xFF) : 0xFF;
                if (portBusyPolls_ == 0) {
                    latchReceived();
                }
            }
            return;
        case r::variantProbe:
            // Bits 4 to 6 exist only on row 15's variant.
            if (config_.chipRow == 15 && !config_.variant) {
                value &= 0x8F;
            }
            regs_[address] = value;
            return;
        case r::postUpdate:
            ++counters_.postUpdateWrites;
            regs_[address] = value;
            return;
        default:
            regs_[address] = value;
            return;
    }
}

void EmulatedCamera::latchReceived() {
    if (!received_) {
        return;
    }
    // The receive register only sets bits: a host must clear it before each receive.
    regs_[r::portReceive] =
        config_.strict.receiveNeedsClear ? regs_[r::portReceive] | *received_ : *received_;
    received_.reset();
}

void EmulatedCamera::updateChipSelect() {
    const bool active = (regs_[r::portEnable] & 1) != 0 && regs_[r::chipSelect] == 0;
    if (active) {
        flash_->select();
    } else {
        flash_->deselect();
    }
}

std::uint8_t EmulatedCamera::readFlash(std::uint16_t address) {
    // A part busy with an erase or a status write ignores the controller's read command; its
    // output floats and the controller's input, pulled down, reads 0.
    if (config_.strict.busyReads && flash_->busy()) {
        return 0x00;
    }
    std::uint8_t value = flash_->memory()[address];
    for (std::size_t i = 0; i < config_.faults.corruptReads.size(); ++i) {
        const CorruptRead& c = config_.faults.corruptReads[i];
        if (c.address != address) {
            continue;
        }
        ++readCounts_[i];
        if (c.nth == 0 || c.nth == readCounts_[i]) {
            value ^= 0x01;
        }
    }
    return value;
}

void EmulatedCamera::spiCommand(std::initializer_list<std::uint8_t> bytes) {
    flash_->deselect();
    flash_->select();
    for (std::uint8_t b : bytes) {
        flash_->shift(b);
    }
    flash_->deselect();
}

void EmulatedCamera::waitFlashIdle() {
    for (int i = 0; i < kControllerBusyPolls; ++i) {
        flash_->deselect();
        flash_->select();
        flash_->shift(0x05);
        const std::uint8_t status = flash_->shift(0xFF);
        flash_->deselect();
        if ((status & 0x01) == 0) {
            return;
        }
    }
}

void EmulatedCamera::programByte(std::uint16_t address, std::uint8_t value) {
    // Chips with opcode registers program with the opcodes loaded there, and only while the
    // guard registers hold the unlocking pattern.
    const bool opcodeRegisters = cameraChip(config_.chipRow).opcodeRegisters;
    if (opcodeRegisters && !writeGuardOpen()) {
        return;
    }
    const std::uint8_t wren = opcodeRegisters ? regs_[r::wrenOpcode] : 0x06;
    const std::uint8_t program = opcodeRegisters ? regs_[r::programOpcode] : 0x02;
    spiCommand({wren});
    spiCommand({program, 0x00, static_cast<std::uint8_t>(address >> 8),
                static_cast<std::uint8_t>(address), value});
    if (program == 0xAF) {
        spiCommand({0x04});  // WRDI ends auto-address-increment programming
    }
    waitFlashIdle();
}

void EmulatedCamera::eraseChip() {
    spiCommand({0x06});
    spiCommand({0x60});
    waitFlashIdle();
}

}  // namespace brivane::camsim
