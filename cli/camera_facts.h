// What brivanectl reads of an open camera to describe it. Reading changes nothing.
#pragma once

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "app/update_steps.h"

namespace brivane::cli {

struct CameraFacts {
    std::string devicePath;
    int chipRow = 0;
    std::array<std::uint8_t, 8> chipId{};
    int flashType = 0;
    std::array<std::uint8_t, 3> flashId{};
    std::string flashPart;
    std::optional<std::uint8_t> configByte;
    std::optional<ProductId> firmwareId;
    std::optional<std::array<std::uint8_t, 16>> header;
    bool interrupted = false;  // the header reads all 0xFF: an update stopped after the erase
    std::optional<std::uint8_t> inUse;
    const char* imageFile = nullptr;
    // Write protection, for `info`.
    std::optional<std::uint8_t> status;
    std::optional<bool> wpPinHigh;
    std::optional<std::array<std::uint8_t, 4>> guard;
};

// The camera open on slot 0; `protection` adds the write-protection state.
CameraFacts readCameraFacts(bool protection);
nlohmann::json toJson(const CameraFacts& facts);
std::string describeFirmware(const CameraFacts& facts);
std::string chipName(const CameraFacts& facts);

}  // namespace brivane::cli
