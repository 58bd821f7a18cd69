// list and info: the video-capture devices, and one camera in detail.
#include <cstdio>

#include "app/messages.h"
#include "cli/camera_facts.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/holders.h"
#include "flashlib/flashlib.h"

namespace brivane::cli {
namespace {

std::string bindProblem(HResult bind) {
    if (bind == hr::accessDenied) {
        return "permission denied — see the udev rule in the README";
    }
    char text[48];
    std::snprintf(text, sizeof text, "cannot be opened (0x%08X)", static_cast<unsigned>(bind));
    return text;
}

}  // namespace

int openCamera(Session& session, Output& out) {
    if (const int status = session.chooseCamera(out)) {
        return status;
    }
    if (CamOpen() <= 0) {
        out.error(text::noDevice);
        out.data()["error"] = text::noDevice;
        return kExitNoCamera;
    }
    return 0;
}

int runList(Session& session, Output& out) {
    out.data()["devices"] = nlohmann::json::array();
    int cameras = 0;
    for (const DeviceListing& d : session.devices()) {
        nlohmann::json j = {{"index", d.index}, {"name", d.name}, {"path", d.path}};
        std::string line = std::to_string(d.index) + "  " + d.path + "  \"" + d.name + "\"";
        if (d.bind != hr::ok) {
            j["camera"] = nullptr;
            j["problem"] = bindProblem(d.bind);
            line += "\n     " + bindProblem(d.bind);
        } else {
            session.showOnly(d.path);
            const bool camera = CamOpen() > 0;
            j["camera"] = camera;
            if (camera) {
                ++cameras;
                const CameraFacts facts = readCameraFacts(false);
                j.update(toJson(facts));
                j["path"] = d.path;
                line += "\n     camera: chip " + chipName(facts) + ", flash " + facts.flashPart +
                        ", firmware " + describeFirmware(facts) +
                        (facts.inUse && (*facts.inUse & 3) == 3 ? ", in use" : ", not in use");
            } else {
                line += "\n     no camera extension unit";
            }
            CamClose();
        }
        out.line(line);
        out.data()["devices"].push_back(j);
    }
    session.showOnly(std::nullopt);
    if (cameras == 0) {
        out.line("no camera found");
    }
    return kExitDone;
}

int runInfo(Session& session, Output& out) {
    if (const int status = openCamera(session, out)) {
        return status;
    }
    const CameraFacts f = readCameraFacts(true);
    CamClose();
    nlohmann::json j = toJson(f);
    const bool inUse = f.inUse && (*f.inUse & 3) == 3;
    std::vector<Holder> holders;
    if (inUse && !session.emulated()) {
        holders = holdersOf(f.devicePath);
    }
    j["heldBy"] = nlohmann::json::array();
    for (const Holder& h : holders) {
        j["heldBy"].push_back({{"pid", h.pid}, {"name", h.name}});
    }
    out.data() = j;

    char buffer[160];
    out.line("device        " + f.devicePath);
    out.line("chip          " + chipName(f) + ", id " + hexBytes(f.chipId.data(), 8));
    std::snprintf(buffer, sizeof buffer, "flash         %s, id %s, type %d", f.flashPart.c_str(),
                  hexBytes(f.flashId.data(), 3).c_str(), f.flashType);
    out.line(buffer);
    out.line("firmware      " + describeFirmware(f));
    out.line("config byte   " + (f.configByte ? hexBytes(&*f.configByte, 1) : "unreadable"));
    out.line("status reg    " + (f.status ? hexBytes(&*f.status, 1) : "unreadable"));
    out.line("WP# pin       " +
             (f.wpPinHigh ? std::string(*f.wpPinHigh ? "high" : "low") : "unknown"));
    out.line("guard         " + (f.guard ? hexBytes(f.guard->data(), 4) : "none on this chip"));
    std::string use = !f.inUse ? "unknown" : inUse ? "in use" : "not in use";
    for (const Holder& h : holders) {
        use += "; held by " + h.name + " (pid " + std::to_string(h.pid) + ")";
    }
    out.line("in use        " + use);
    return kExitDone;
}

}  // namespace brivane::cli
