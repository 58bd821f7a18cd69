#include "tools/sim_options.h"

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <sstream>

#include "brivane_version.h"
#include "camsim/chips.h"

namespace brivane::sim {
namespace {

bool parseNumber(const std::string& text, unsigned long max, unsigned long& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > max || text[0] == '-') {
        return false;
    }
    value = v;
    return true;
}

// A CLI11 check and conversion for numbers written in decimal or 0x hexadecimal.
template <typename T>
CLI::Option* addNumber(CLI::App& app, const std::string& name, T& target, unsigned long max,
                       const std::string& help) {
    return app
        .add_option_function<std::string>(
            name,
            [&target, max, name](const std::string& text) {
                unsigned long v = 0;
                if (!parseNumber(text, max, v)) {
                    throw CLI::ValidationError(
                        name, "'" + text + "' is not a number from 0 to " + std::to_string(max));
                }
                target = static_cast<T>(v);
            },
            help)
        ->type_name("N");
}

bool parseFirmwareId(const std::string& text, camsim::FirmwareId& id) {
    if (text.size() != 8) {
        return false;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        unsigned long v = 0;
        if (!parseNumber("0x" + text.substr(i * 2, 2), 0xFF, v)) {
            return false;
        }
        id[i] = static_cast<std::uint8_t>(v);
    }
    return true;
}

constexpr std::uint32_t kCurrentFirmwareSeed = 1;

}  // namespace

bool applyFault(const std::string& fault, camsim::CameraFaults& camera,
                camsim::PlatformFaults& platform, std::string& error) {
    const auto colon = fault.find(':');
    const std::string kind = fault.substr(0, colon);
    const std::string arg = colon == std::string::npos ? std::string() : fault.substr(colon + 1);
    const bool hasArg = colon != std::string::npos;
    unsigned long n = 0;
    if (kind == "busy" && !hasArg) {
        camera.flashStuckBusy = true;
    } else if (kind == "not-ready" && !hasArg) {
        camera.portNeverReady = true;
    } else if (kind == "no-erase" && !hasArg) {
        camera.eraseRefused = true;
    } else if (kind == "no-info" && !hasArg) {
        camera.infoFails = true;
    } else if ((kind == "fail" || kind == "unplug") && parseNumber(arg, 0xFFFFFFFF, n) && n > 0) {
        (kind == "fail" ? platform.failRequest : platform.unplugFrom) = n;
    } else if (kind == "bad-cell" && parseNumber(arg, 0xFFFF, n)) {
        camera.badCells.push_back(static_cast<std::uint16_t>(n));
    } else if (kind == "corrupt") {
        const auto at = arg.find('@');
        unsigned long k = 0;
        if (!parseNumber(arg.substr(0, at), 0xFFFF, n) ||
            (at != std::string::npos &&
             (!parseNumber(arg.substr(at + 1), 0xFFFFFFFF, k) || k == 0))) {
            error = "--fault " + fault + ": expected corrupt:ADDR or corrupt:ADDR@K (K from 1)";
            return false;
        }
        camera.corruptReads.push_back(
            {static_cast<std::uint16_t>(n), static_cast<std::uint32_t>(k)});
    } else {
        error = "--fault " + fault +
                ": expected fail:N, unplug:N, corrupt:ADDR[@K], bad-cell:ADDR, busy, not-ready, "
                "no-erase or no-info";
        return false;
    }
    return true;
}

camsim::FlashImage demoImage(const SimOptions& options, const camsim::FirmwareId& id) {
    return camsim::updateImage(options.camera.chipRow, id, options.configByte,
                               options.camera.blockHigh);
}

void addEmulationOptions(CLI::App& app, SimOptions& options, EmulationOptionText& text) {
    app.add_option("--chip", text.chip, "controller chip row, 0 to 22")
        ->check(CLI::Range(0, camsim::kCameraChipCount - 1))
        ->capture_default_str();
    app.add_flag("--variant", options.camera.variant, "the chip's variant probe answers yes");
    text.revisionOption =
        addNumber(app, "--revision", text.revision, 0xFF, "chip id revision byte");

    std::vector<std::string> partNames;
    for (const auto& p : camsim::allFlashParts()) {
        partNames.emplace_back(p.name);
    }
    app.add_option("--flash", text.flash, "flash part")
        ->check(CLI::IsMember(partNames))
        ->capture_default_str();
    addNumber(app, "--flash-type-register", options.camera.flashTypeRegister, 0xFF,
              "value of the chip's flash-type register (default 0)");
    addNumber(app, "--config", options.configByte, 0xFF,
              "configuration byte of the current firmware and the images (default 0x51)");
    addNumber(app, "--info-word", options.camera.infoWord, 0xFFFF, "selector-5 info word");
    addNumber(app, "--info-byte", options.camera.infoByte, 0xFF, "selector-5 info byte");
    addNumber(app, "--block-high", options.camera.blockHigh, 0xFF,
              "register at info word + 8: high byte of the configuration block (default 0xC0)");
    addNumber(app, "--in-use", options.camera.inUse, 0xFF, "register 0x1061");
    app.add_option("--firmware-id", text.firmwareId,
                   "the 4 id bytes at 0xC006 of the current firmware")
        ->type_name("HEX8")
        ->capture_default_str();
    app.add_option("--devices", text.devices,
                   "video-capture devices in order: camera, camera-nonode, webcam, noname")
        ->capture_default_str();
    app.add_option("--fault", text.faults,
                   "fail:N, unplug:N, corrupt:ADDR[@K], bad-cell:ADDR, busy, not-ready, "
                   "no-erase, no-info (repeatable)")
        ->type_name("SPEC");
    addNumber(app, "--latency-us", options.platformFaults.latencyUs, 10000000,
              "each request takes N microseconds");
    addNumber(app, "--port-ready-polls", options.camera.strict.portReadyPolls, 1000,
              "polls of the serial-flash port before it reads ready (default 0)");
    app.add_option("--flash-file", text.flashFile,
                   "the flash contents at power-up from FILE (65536 bytes) instead of the firmware "
                   "the options build");
    app.add_flag("--lenient", text.lenient,
                 "a camera that forgives request-frame, payload, port and busy-flash mistakes");
}

std::optional<int> finishEmulationOptions(const EmulationOptionText& text, SimOptions& options) {
    options.camera.chipRow = text.chip;
    if (text.revisionOption->count() > 0) {
        options.camera.revision = text.revision;
    }
    options.camera.flash = *camsim::flashPartByName(text.flash);
    if (!parseFirmwareId(text.firmwareId, options.firmwareId)) {
        std::fprintf(stderr, "--firmware-id: '%s' is not 8 hexadecimal digits\n",
                     text.firmwareId.c_str());
        return 2;
    }
    options.devices.clear();
    std::stringstream list(text.devices);
    for (std::string name; std::getline(list, name, ',');) {
        const auto kind = camsim::simDeviceKindByName(name);
        if (!kind) {
            std::fprintf(stderr,
                         "--devices: unknown device '%s' (camera, camera-nonode, webcam, noname)\n",
                         name.c_str());
            return 2;
        }
        options.devices.push_back(*kind);
    }
    for (const std::string& fault : text.faults) {
        std::string error;
        if (!applyFault(fault, options.camera.faults, options.platformFaults, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 2;
        }
    }
    if (text.lenient) {
        const std::uint32_t polls = options.camera.strict.portReadyPolls;
        options.camera.strict = {.requestFrame = false,
                                 .fixedBytes = false,
                                 .receiveNeedsClear = false,
                                 .busyReads = false,
                                 .portReadyPolls = polls};
    }

    camsim::FirmwareLayout current;
    current.chipRow = text.chip;
    current.id = options.firmwareId;
    current.configByte = options.configByte;
    current.blockHigh = options.camera.blockHigh;
    current.seed = kCurrentFirmwareSeed;
    options.camera.firmware = camsim::makeFirmwareImage(current);
    if (text.flashFile) {
        std::FILE* f = std::fopen(text.flashFile->c_str(), "rb");
        camsim::FlashImage contents{};
        char extra = 0;
        const bool ok = f != nullptr &&
                        std::fread(contents.data(), 1, contents.size(), f) == contents.size() &&
                        std::fread(&extra, 1, 1, f) == 0;
        if (f != nullptr) {
            std::fclose(f);
        }
        if (!ok) {
            std::fprintf(stderr, "--flash-file: %s is not a readable file of 65536 bytes\n",
                         text.flashFile->c_str());
            return 2;
        }
        options.camera.firmware = contents;
    }
    return std::nullopt;
}

std::optional<int> parseSimOptions(int argc, const char* const* argv, SimOptions& options) {
    CLI::App app{
        "brivane-sim: the Brivane firmware update run against an emulated camera.\n"
        "Prints the status line and the result message; the last line is the result.\n"
        "Exit status: 0 update succeeded, 1 any other outcome, 2 bad options."};
    app.get_formatter()->column_width(34);
    app.set_version_flag("--version", std::string("brivane-sim ") + kVersion);

    bool headless = false;
    app.add_flag("--headless", headless, "run without a window (the default)");
    app.add_flag("--gui", options.gui, "show the update dialog")->excludes("--headless");
    EmulationOptionText text;
    addEmulationOptions(app, options, text);
    app.add_option("--image-dir", options.imageDir,
                   "where the image files are looked up (default: the program's directory)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--write-images", options.writeImagesDir,
                   "write the two image files for these options into DIR and exit");
    app.add_option("--time-scale", options.timeScale,
                   "scales the dialog's 500/100/3000 ms waits and the flash port's 1 ms polls; 0 "
                   "skips them")
        ->check(CLI::Range(0.0, 100.0));
    app.add_option("--trace", options.traceFile, "write the request trace to FILE");
    app.add_option("--dump-flash", options.dumpFlashFile, "write the flash after the run to FILE");
    app.add_option("--replay", options.replayFile,
                   "answer the run from a recorded trace instead of the emulated camera; exit 0 "
                   "only when the run makes exactly the recorded requests");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : 2;
    }
    return finishEmulationOptions(text, options);
}

}  // namespace brivane::sim
