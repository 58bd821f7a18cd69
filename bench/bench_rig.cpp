#include "bench/bench_rig.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "app/headless_host.h"
#include "app/scaled_clock.h"
#include "app/update_dialog.h"

namespace brivane::bench {

camsim::CameraConfig cameraFor(const Scenario& s) {
    camsim::CameraConfig c = camsim::shippedCamera(s.row, s.part, s.config);
    if (s.chunkRegister != 0) {
        c.chunkRegister = s.chunkRegister;
    }
    return c;
}

camsim::FlashImage imageFor(const Scenario& s) {
    return camsim::updateImage(s.row, camsim::kFirstProductId, s.config);
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
    return runUpdateHeadless(imageDirectory);
}

}  // namespace brivane::bench
