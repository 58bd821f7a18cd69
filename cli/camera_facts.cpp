#include "cli/camera_facts.h"

#include <algorithm>

#include "cli/output.h"
#include "flashlib/flashlib.h"

namespace brivane::cli {
namespace {

// The parts behind the flash table's rows.
const char* partName(int flashType, const std::array<std::uint8_t, 3>& id) {
    struct Part {
        std::uint8_t manufacturer;
        std::uint8_t device;
        const char* name;
    };
    static constexpr Part kParts[] = {
        {0xC2, 0x20, "Macronix MX25L512"}, {0xC2, 0x22, "Macronix MX25L5121E"},
        {0x1F, 0x65, "Atmel AT25DF512C"},  {0x9D, 0x20, "PMC Pm25LD512"},
        {0x9D, 0x7B, "PMC Pm25LV512"},     {0xBF, 0x48, "SST SST25VF512A"},
    };
    for (const Part& p : kParts) {
        if (p.manufacturer == id[0] && p.device == id[1]) {
            return p.name;
        }
    }
    return flashType == 0 ? "unknown" : "not identified (type from the controller)";
}

}  // namespace

CameraFacts readCameraFacts(bool protection) {
    CameraFacts f;
    const LibraryState& state = libraryState();
    f.devicePath = CamDevicePath();
    f.chipRow = state.slots[0].chipIndex;
    f.chipId = state.slots[0].chipId;
    f.flashType = CamFlashType(0);
    f.flashId = {state.flash.manufacturerId, state.flash.deviceId1, state.flash.deviceId2};
    f.flashPart = partName(state.flash.detectedFlashType, f.flashId);

    std::uint8_t byte = 0;
    if (CamMemTransfer(transfer::read, kConfigAddress, &byte, 1) != 0) {
        f.configByte = byte;
    }
    ProductId id{};
    if (CamMemTransfer(transfer::read, kIdAddress, id.data(), 4) != 0) {
        f.firmwareId = id;
        if (const SupportedImage* s = supportedImageFor(id)) {
            f.imageFile = s->fileName;
        }
    }
    std::array<std::uint8_t, 16> header{};
    if (CamMemTransfer(transfer::read, 0, header.data(), 16) != 0) {
        f.header = header;
        f.interrupted =
            std::all_of(header.begin(), header.end(), [](std::uint8_t b) { return b == 0xFF; });
    }
    if (CamRegRead(reg::inUse, &byte) != 0) {
        f.inUse = byte;
    }
    if (protection) {
        if (CamFlashReadStatus(0, &byte) != 0) {
            f.status = byte;
        }
        if (f.configByte && CamRegRead(reg::gpioInput, &byte) != 0) {
            const int pin = (*f.configByte >> 4) & 0x07;
            f.wpPinHigh = ((byte >> pin) & 1) != 0;
        }
        if (kChipTable[f.chipRow].opcodeRegisters != 0) {
            std::array<std::uint8_t, 4> guard{};
            bool ok = true;
            for (int i = 0; i < 4; ++i) {
                ok = ok && CamRegRead(static_cast<std::uint16_t>(reg::writeGuard0 + i),
                                      &guard[static_cast<std::size_t>(i)]) != 0;
            }
            if (ok) {
                f.guard = guard;
            }
        }
    }
    return f;
}

std::string chipName(const CameraFacts& f) {
    const ChipRow& row = kChipTable[f.chipRow];
    return std::string(row.signature, 4) + " rev " + std::to_string(row.revision) + " (row " +
           std::to_string(f.chipRow) + ")";
}

std::string describeFirmware(const CameraFacts& f) {
    if (f.interrupted) {
        return "interrupted update";
    }
    if (!f.firmwareId) {
        return "unreadable";
    }
    return hexBytes(f.firmwareId->data(), 4) +
           (f.imageFile != nullptr ? std::string(" (") + f.imageFile + ")" : " (foreign)");
}

nlohmann::json toJson(const CameraFacts& f) {
    nlohmann::json j;
    j["path"] = f.devicePath;
    j["chip"] = {{"row", f.chipRow},
                 {"id", hexBytes(f.chipId.data(), f.chipId.size())},
                 {"name", std::string(kChipTable[f.chipRow].signature, 4)},
                 {"revision", kChipTable[f.chipRow].revision}};
    j["flash"] = {{"part", f.flashPart},
                  {"type", f.flashType},
                  {"id", hexBytes(f.flashId.data(), f.flashId.size())}};
    j["configByte"] = f.configByte ? nlohmann::json(*f.configByte) : nlohmann::json();
    j["firmwareId"] =
        f.firmwareId ? nlohmann::json(hexBytes(f.firmwareId->data(), 4)) : nlohmann::json();
    j["imageFile"] = f.imageFile != nullptr ? nlohmann::json(f.imageFile) : nlohmann::json();
    j["interruptedUpdate"] = f.interrupted;
    j["inUse"] = f.inUse ? nlohmann::json((*f.inUse & 3) == 3) : nlohmann::json();
    if (f.status || f.wpPinHigh || f.guard) {
        nlohmann::json p;
        p["statusRegister"] = f.status ? nlohmann::json(*f.status) : nlohmann::json();
        p["writeProtectPinHigh"] = f.wpPinHigh ? nlohmann::json(*f.wpPinHigh) : nlohmann::json();
        p["controllerGuard"] =
            f.guard ? nlohmann::json(hexBytes(f.guard->data(), 4)) : nlohmann::json();
        j["protection"] = p;
    }
    return j;
}

}  // namespace brivane::cli
