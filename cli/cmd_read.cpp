// backup and verify: the whole flash to a file, and the flash against a file.
#include "app/messages.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/firmware_files.h"
#include "flashlib/flashlib.h"

namespace brivane::cli {

int runBackup(Session& session, Output& out, const std::string& file, bool force) {
    if (const int status = openCamera(session, out)) {
        return status;
    }
    const CameraFacts facts = readCameraFacts(false);
    std::vector<std::uint8_t> flash;
    const bool read = readWholeFlash(flash);
    CamClose();
    if (!read) {
        out.error("the flash could not be read; nothing was written");
        out.data()["error"] = "the flash could not be read";
        return kExitFailed;
    }
    std::string error;
    if (!writeBackup(file, flash, facts, force, error)) {
        out.error(error);
        out.data()["error"] = error;
        return kExitFailed;
    }
    out.line("backed up the flash of " + facts.devicePath + " to " + file);
    out.data() = {{"file", file}, {"sidecar", file + ".json"}, {"camera", toJson(facts)}};
    return kExitDone;
}

int runVerify(Session& session, Output& out, const std::string& file) {
    std::vector<std::uint8_t> expected;
    std::string error;
    if (!readFlashFile(file, expected, error)) {
        out.error(error);
        out.data()["error"] = error;
        return kExitUsage;
    }
    if (const int status = openCamera(session, out)) {
        return status;
    }
    std::vector<std::uint8_t> flash;
    const bool read = readWholeFlash(flash);
    CamClose();
    if (!read) {
        out.error("the flash could not be read");
        out.data()["error"] = "the flash could not be read";
        return kExitFailed;
    }
    std::optional<std::size_t> first;
    std::size_t differing = 0;
    for (std::size_t a = 0; a < flash.size(); ++a) {
        if (flash[a] != expected[a]) {
            ++differing;
            if (!first) {
                first = a;
            }
        }
    }
    out.data() = {{"file", file},
                  {"equal", differing == 0},
                  {"differingBytes", differing},
                  {"firstDifference", first ? nlohmann::json(*first) : nlohmann::json()}};
    if (differing == 0) {
        out.line("the flash equals " + file);
        return kExitDone;
    }
    char text[120];
    std::snprintf(text, sizeof text, "the flash differs from %s: %zu bytes, the first at 0x%04zX",
                  file.c_str(), differing, *first);
    out.line(text);
    return kExitFailed;
}

}  // namespace brivane::cli
