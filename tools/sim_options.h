// The command line of brivane-sim: which camera to emulate, in which machine, with which
// faults, and how to run and record the update.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "camsim/camera.h"
#include "camsim/sim_platform.h"

namespace brivane::sim {

struct SimOptions {
    bool gui = false;
    camsim::CameraConfig camera;
    std::uint8_t configByte = 0x51;
    camsim::FirmwareId firmwareId = camsim::kFirstProductId;
    std::vector<camsim::SimDeviceKind> devices = {camsim::SimDeviceKind::camera};
    camsim::PlatformFaults platformFaults;
    std::optional<std::string> imageDir;
    std::optional<std::string> writeImagesDir;
    double timeScale = 1.0;
    std::optional<std::string> traceFile;
    std::optional<std::string> replayFile;
    std::optional<std::string> dumpFlashFile;
    std::string instance = "2a41c3";  // the device paths' instance part
};

// The text of the emulated camera's options until they are checked.
struct EmulationOptionText {
    int chip = 18;
    std::uint8_t revision = 0;
    CLI::Option* revisionOption = nullptr;
    std::string flash = "mx25l512";
    std::string firmwareId = "2e7b91d4";
    std::string devices = "camera";
    std::vector<std::string> faults;
    bool lenient = false;
    std::optional<std::string> flashFile;
};

// The emulated camera's, the machine's and the faults' options, added to a command line (shared
// by brivane-sim and brivanectl --emulated); then their checks. finishEmulationOptions returns 2
// (message on standard error) for options that do not hold together, nothing when they do.
void addEmulationOptions(CLI::App& app, SimOptions& options, EmulationOptionText& text);
std::optional<int> finishEmulationOptions(const EmulationOptionText& text, SimOptions& options);

// Parses the command line. Returns the exit status when the program should stop here (help:
// 0; bad options: 2, with the message on standard error), or nothing to go on with `options`
// filled in. The camera's firmware is built from the options.
std::optional<int> parseSimOptions(int argc, const char* const* argv, SimOptions& options);

// Parses one --fault argument into the camera's or the platform's faults; false (with
// `error` set) when it is not understood.
bool applyFault(const std::string& fault, camsim::CameraFaults& camera,
                camsim::PlatformFaults& platform, std::string& error);

// The two image files for the options' chip row and configuration byte.
camsim::FlashImage demoImage(const SimOptions& options, const camsim::FirmwareId& id);

}  // namespace brivane::sim
