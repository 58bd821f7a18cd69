#include "bench/bench_rig.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "app/headless_host.h"
#include "app/scaled_clock.h"
#include "app/update_dialog.h"

namespace brivane::bench {

camsim::CameraConfig cameraFor(const Scenario& s) {
    camsim::CameraConfig c;
    c.chipRow = s.row;
    c.flash = s.part;
    if (s.chunkRegister != 0) {
        c.chunkRegister = s.chunkRegister;
    }
    camsim::FirmwareLayout layout;
    layout.chipRow = s.row;
    layout.configByte = s.config;
    c.firmware = camsim::makeFirmwareImage(layout);
    return c;
}

camsim::FlashImage imageFor(const Scenario& s) {
    camsim::FirmwareLayout layout;
    layout.chipRow = s.row;
    layout.configByte = s.config;
    layout.seed = 2;
    return camsim::makeFirmwareImage(layout);
}

BenchRig::BenchRig(const Scenario& s)
    : camera_(std::make_shared<camsim::EmulatedCamera>(cameraFor(s))),
      platform_(std::make_unique<camsim::SimPlatform>(
          std::vector<camsim::SimDeviceKind>{camsim::SimDeviceKind::camera}, camera_)) {
    XuResetState();
    CamResetState();
    CamSetSleep([this](unsigned ms) { sleptMs_ += ms; });
    XuSetPlatform(platform_.get());
}

BenchRig::~BenchRig() {
    XuSetPlatform(nullptr);
    XuResetState();
    CamResetState();
    CamSetSleep(nullptr);
}

std::string writeImages(const Scenario& s) {
    static int counter = 0;
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("brivane-bench-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(dir);
    const auto image = imageFor(s);
    const auto path = dir / camsim::imageFileName(camsim::kFirstProductId);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f != nullptr) {
        std::fwrite(image.data(), 1, image.size(), f);
        std::fclose(f);
    }
    return dir.string() + "/";
}

std::string runWorker(const std::string& imageDirectory) {
    HeadlessHost host(imageDirectory, nullptr, false);
    ScaledClock clock(0);
    UpdateDialog dialog(host, clock, [](std::function<void()>, std::thread&) { return false; });
    UpdateWorker(dialog);
    std::string result;
    for (const HostCall& call : host.calls()) {
        if (call.kind == HostCall::Kind::messageBox) {
            result = call.text;
        }
    }
    return result;
}

}  // namespace brivane::bench
