#include "camsim/flash_model.h"

#include <algorithm>
#include <utility>

namespace brivane::camsim {
namespace {

namespace op {
constexpr std::uint8_t wrsr = 0x01;
constexpr std::uint8_t program = 0x02;
constexpr std::uint8_t read = 0x03;
constexpr std::uint8_t wrdi = 0x04;
constexpr std::uint8_t rdsr = 0x05;
constexpr std::uint8_t wren = 0x06;
constexpr std::uint8_t rdid15 = 0x15;
constexpr std::uint8_t ewsr = 0x50;
constexpr std::uint8_t rems = 0x90;
constexpr std::uint8_t rdid = 0x9F;
constexpr std::uint8_t res = 0xAB;
constexpr std::uint8_t aai = 0xAF;
}  // namespace op

constexpr std::uint8_t kWip = 0x01;
constexpr std::uint8_t kWel = 0x02;
constexpr std::uint8_t kAaiBit = 0x40;
constexpr std::uint8_t kSrwd = 0x80;

// Busy times in status reads. Chip erase takes tens of milliseconds on these parts; a status
// write a few.
constexpr std::uint32_t kEraseBusy = 24;
constexpr std::uint32_t kStatusBusy = 3;

const std::vector<FlashPartInfo> kParts = {
    {
        .part = FlashPart::mx25l512,
        .name = "mx25l512",
        .rdid = {{0xC2, 0x20, 0x10}},
        .rdid15 = {},
        .rems = {{0xC2, 0x05}, true},
        .res = {{0x05}, true},
        .protectBits = 0x0C,
        .protectNeedsAllBits = false,
        .writableStatus = 0x8C,
        .powerUpStatus = 0x8C,
        .wpPinStatusBit = 0,
        .eraseErrorBit = 0,
        .needsEwsr = false,
        .chipEraseOpcodes = {0x60, 0xC7},
        .autoAddressIncrement = false,
        .pageSize = 256,
        .chipEraseBusyPolls = kEraseBusy,
        .statusWriteBusyPolls = kStatusBusy,
    },
    {
        .part = FlashPart::mx25l5121e,
        .name = "mx25l5121e",
        .rdid = {{0xC2, 0x22, 0x10}},
        .rdid15 = {},
        .rems = {{0xC2, 0x05}, true},
        .res = {{0x05}, true},
        .protectBits = 0x0C,
        .protectNeedsAllBits = false,
        .writableStatus = 0x8C,
        .powerUpStatus = 0x8C,
        .wpPinStatusBit = 0,
        .eraseErrorBit = 0,
        .needsEwsr = false,
        .chipEraseOpcodes = {0x60, 0xC7},
        .autoAddressIncrement = false,
        .pageSize = 32,
        .chipEraseBusyPolls = kEraseBusy,
        .statusWriteBusyPolls = kStatusBusy,
    },
    {
        .part = FlashPart::at25df512c,
        .name = "at25df512c",
        .rdid = {{0x1F, 0x65, 0x01, 0x00}},
        .rdid15 = {},
        .rems = {},
        .res = {},
        .protectBits = 0x04,
        .protectNeedsAllBits = false,
        .writableStatus = 0x84,
        .powerUpStatus = 0x84,
        .wpPinStatusBit = 0x10,
        .eraseErrorBit = 0x20,
        .needsEwsr = false,
        .chipEraseOpcodes = {0x60, 0xC7, 0x62},
        .autoAddressIncrement = false,
        .pageSize = 256,
        .chipEraseBusyPolls = kEraseBusy,
        .statusWriteBusyPolls = kStatusBusy,
    },
    {
        .part = FlashPart::at25f512a,
        .name = "at25f512a",
        .rdid = {},
        .rdid15 = {{0x1F, 0x65}},
        .rems = {},
        .res = {},
        .protectBits = 0x04,
        .protectNeedsAllBits = false,
        .writableStatus = 0x84,
        .powerUpStatus = 0x84,
        .wpPinStatusBit = 0,
        .eraseErrorBit = 0,
        .needsEwsr = false,
        .chipEraseOpcodes = {0x62},
        .autoAddressIncrement = false,
        .pageSize = 128,
        .chipEraseBusyPolls = kEraseBusy,
        .statusWriteBusyPolls = kStatusBusy,
    },
    {
        .part = FlashPart::pm25lv512,
        .name = "pm25lv512",
        .rdid = {},
        .rdid15 = {},
        .rems = {},
        .res = {{0x9D, 0x7B, 0x7F}},
        .protectBits = 0x0C,
        .protectNeedsAllBits = true,
        .writableStatus = 0x8C,
        .powerUpStatus = 0x8C,
        .wpPinStatusBit = 0,
        .eraseErrorBit = 0,
        .needsEwsr = false,
        .chipEraseOpcodes = {0xC7},
        .autoAddressIncrement = false,
        .pageSize = 256,
        .chipEraseBusyPolls = kEraseBusy,
        .statusWriteBusyPolls = kStatusBusy,
    },
    {
        .part = FlashPart::pm25ld512,
        .name = "pm25ld512",
        .rdid = {{0x7F, 0x9D, 0x20}},
        .rdid15 = {},
        .rems = {},
        .res = {{0x9D, 0x20, 0x7F}},
        .protectBits = 0x1C,
        .protectNeedsAllBits = false,
        .writableStatus = 0x9C,
        .powerUpStatus = 0x8C,
        .wpPinStatusBit = 0,
        .eraseErrorBit = 0,
        .needsEwsr = false,
        .chipEraseOpcodes = {0x60, 0xC7},
        .autoAddressIncrement = false,
        .pageSize = 256,
        .chipEraseBusyPolls = kEraseBusy,
        .statusWriteBusyPolls = kStatusBusy,
    },
    {
        .part = FlashPart::sst25vf512a,
        .name = "sst25vf512a",
        .rdid = {},
        .rdid15 = {},
        .rems = {{0xBF, 0x48}, true},
        .res = {{0xBF, 0x48}, true},
        .protectBits = 0x0C,
        .protectNeedsAllBits = false,
        .writableStatus = 0x8C,
        .powerUpStatus = 0x0C,
        .wpPinStatusBit = 0,
        .eraseErrorBit = 0,
        .needsEwsr = true,
        .chipEraseOpcodes = {0x60, 0xC7},
        .autoAddressIncrement = true,
        .pageSize = 1,
        .chipEraseBusyPolls = kEraseBusy,
        .statusWriteBusyPolls = kStatusBusy,
    },
    {
        .part = FlashPart::unknown,
        .name = "unknown",
        .rdid = {},
        .rdid15 = {},
        .rems = {},
        .res = {},
        .protectBits = 0x0C,
        .protectNeedsAllBits = false,
        .writableStatus = 0x8C,
        .powerUpStatus = 0x8C,
        .wpPinStatusBit = 0,
        .eraseErrorBit = 0,
        .needsEwsr = false,
        .chipEraseOpcodes = {0x60, 0xC7},
        .autoAddressIncrement = false,
        .pageSize = 256,
        .chipEraseBusyPolls = kEraseBusy,
        .statusWriteBusyPolls = kStatusBusy,
    },
};

}  // namespace

const std::vector<FlashPartInfo>& allFlashParts() {
    return kParts;
}

const FlashPartInfo& flashPartInfo(FlashPart part) {
    return *std::find_if(kParts.begin(), kParts.end(),
                         [part](const FlashPartInfo& p) { return p.part == part; });
}

std::optional<FlashPart> flashPartByName(std::string_view name) {
    for (const FlashPartInfo& p : kParts) {
        if (name == p.name) {
            return p.part;
        }
    }
    return std::nullopt;
}

FlashModel::FlashModel(FlashPartInfo info, const FlashImage& contents)
    : info_(std::move(info)), memory_(contents), status_(info_.powerUpStatus) {}

std::uint8_t FlashModel::statusRegister() const {
    std::uint8_t s = status_;
    if (busy()) {
        s |= kWip;
    }
    if (wel_) {
        s |= kWel;
    }
    if (aai_ && info_.autoAddressIncrement) {
        s |= kAaiBit;
    }
    if (info_.wpPinStatusBit != 0 && !writeProtectAsserted()) {
        s |= info_.wpPinStatusBit;
    }
    return s;
}

bool FlashModel::protectedNow() const {
    const std::uint8_t bits = status_ & info_.protectBits;
    return info_.protectNeedsAllBits ? bits == info_.protectBits : bits != 0;
}

void FlashModel::select() {
    if (!selected_) {
        selected_ = true;
        command_.clear();
        ignoring_ = false;
    }
}

void FlashModel::deselect() {
    if (!selected_) {
        return;
    }
    selected_ = false;
    if (!ignoring_ && !command_.empty()) {
        execute();
    }
    command_.clear();
}

std::uint8_t FlashModel::idByte(const IdAnswer& answer, std::size_t index) const {
    if (answer.bytes.empty()) {
        return 0xFF;
    }
    if (index < answer.bytes.size()) {
        return answer.bytes[index];
    }
    return answer.cycles ? answer.bytes[index % answer.bytes.size()] : 0xFF;
}

std::uint32_t FlashModel::commandAddress() const {
    return (static_cast<std::uint32_t>(command_[1]) << 16 | command_[2] << 8 | command_[3]) &
           (kFlashSize - 1);
}

std::uint8_t FlashModel::shift(std::uint8_t mosi) {
    if (!selected_) {
        return 0xFF;
    }
    command_.push_back(mosi);
    const std::size_t index = command_.size() - 1;
    if (index == 0) {
        // While busy the part ignores every command but a status read.
        ignoring_ = busy() && mosi != op::rdsr;
        return 0xFF;
    }
    if (ignoring_) {
        return 0xFF;
    }
    switch (command_[0]) {
        case op::rdsr: {
            // The status streams out for as long as the clock runs; each byte is one poll.
            const std::uint8_t s = statusRegister();
            if (busyPolls_ > 0) {
                --busyPolls_;
            }
            return s;
        }
        case op::rdid:
            return idByte(info_.rdid, index - 1);
        case op::rdid15:
            return idByte(info_.rdid15, index - 1);
        case op::rems:
            // With address bit 0 set the device id comes first.
            return index < 4 ? 0xFF : idByte(info_.rems, index - 4 + (command_[3] & 1));
        case op::res:
            return index < 4 ? 0xFF : idByte(info_.res, index - 4);
        case op::read:
            return index < 4 ? 0xFF : memory_[(commandAddress() + index - 4) & (kFlashSize - 1)];
        default:
            return 0xFF;
    }
}

void FlashModel::beginBusy(std::uint32_t polls) {
    if (stuckBusyFault_) {
        stuck_ = true;
    } else {
        busyPolls_ = polls;
    }
}

void FlashModel::program(std::uint32_t address, std::uint8_t value) {
    address &= kFlashSize - 1;
    if (badCells_.count(static_cast<std::uint16_t>(address)) != 0) {
        return;
    }
    memory_[address] &= value;  // NOR programming only clears bits
    ++bytesProgrammed;
}

void FlashModel::execute() {
    const std::uint8_t opcode = command_[0];
    const bool armed = ewsrArmed_;
    ewsrArmed_ = false;
    const bool eraseOpcode = std::find(info_.chipEraseOpcodes.begin(), info_.chipEraseOpcodes.end(),
                                       opcode) != info_.chipEraseOpcodes.end();
    if (eraseOpcode) {
        if (wel_) {
            if (protectedNow()) {
                status_ |= info_.eraseErrorBit;
            } else {
                memory_.fill(0xFF);
                ++chipErases;
                beginBusy(info_.chipEraseBusyPolls);
            }
        }
        wel_ = false;
        return;
    }
    switch (opcode) {
        case op::wren:
            wel_ = true;
            break;
        case op::wrdi:
            wel_ = false;
            aai_ = false;
            break;
        case op::ewsr:
            ewsrArmed_ = info_.needsEwsr;
            break;
        case op::wrsr: {
            const bool enabled = info_.needsEwsr ? armed : wel_;
            const bool hardwareProtected = (status_ & kSrwd) != 0 && writeProtectAsserted();
            if (command_.size() >= 2 && enabled && !hardwareProtected) {
                status_ = static_cast<std::uint8_t>((status_ & ~info_.writableStatus) |
                                                    (command_[1] & info_.writableStatus));
                ++statusWrites;
                beginBusy(info_.statusWriteBusyPolls);
            }
            wel_ = false;
            break;
        }
        case op::program: {
            if (command_.size() < 5 || !wel_) {
                break;
            }
            wel_ = false;
            if (protectedNow()) {
                status_ |= info_.eraseErrorBit;
                break;
            }
            const std::uint32_t address = commandAddress();
            const std::uint32_t page = info_.pageSize;
            const std::size_t count = std::min<std::size_t>(command_.size() - 4, page);
            for (std::size_t i = 0; i < count; ++i) {
                // Bytes past the page end wrap to its start.
                program((address & ~(page - 1)) | ((address + i) & (page - 1)), command_[4 + i]);
            }
            break;
        }
        case op::aai:
            if (!info_.autoAddressIncrement) {
                break;
            }
            if (!aai_) {
                if (command_.size() < 5 || !wel_ || protectedNow()) {
                    break;
                }
                program(commandAddress(), command_[4]);
                aaiAddress_ = commandAddress() + 1;
                aai_ = true;
            } else if (command_.size() >= 2) {
                program(aaiAddress_++, command_[1]);
            }
            break;
        default:
            break;
    }
}

}  // namespace brivane::camsim
