// The update run against the emulated camera, through the application core: image files in a
// folder of their own, a headless host that records every call, and a scaled clock.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/headless_host.h"
#include "app/scaled_clock.h"
#include "app/update_app.h"
#include "support/sim_rig.h"

namespace brivane::testing {

inline camsim::FlashImage imageFor(int row, const camsim::FirmwareId& id, std::uint8_t config) {
    return camsim::updateImage(row, id, config);
}

// A folder holding the two image files for a chip row and configuration byte.
class ImageFolder {
public:
    ImageFolder(int row, std::uint8_t config) {
        static int counter = 0;
        path_ = std::filesystem::path(::testing::TempDir()) /
                ("brivane-images-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
        for (const auto& id : {camsim::kFirstProductId, camsim::kSecondProductId}) {
            write(camsim::imageFileName(id), imageFor(row, id, config).data(), 0x10000);
        }
    }
    ~ImageFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ImageFolder(const ImageFolder&) = delete;
    ImageFolder& operator=(const ImageFolder&) = delete;

    void write(const std::string& name, const std::uint8_t* data, std::size_t size) const {
        std::FILE* f = std::fopen((path_ / name).string().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        if (size > 0) {
            ASSERT_EQ(std::fwrite(data, 1, size, f), size);
        }
        std::fclose(f);
    }
    void remove(const std::string& name) const { std::filesystem::remove(path_ / name); }
    std::string directory() const { return path_.string() + "/"; }

private:
    std::filesystem::path path_;
};

struct Scenario {
    int row = 18;
    camsim::FlashPart part = camsim::FlashPart::mx25l512;
    std::uint8_t config = 0x51;
    camsim::FirmwareId firmwareId = camsim::kFirstProductId;
};

inline camsim::CameraConfig cameraFor(const Scenario& s) {
    return camsim::shippedCamera(s.row, s.part, s.config, s.firmwareId);
}

// Starts the threads as the dialog asks, but holds the worker back until `firstLineShown` says
// the animation's first line is up, as on a real camera whose search takes far longer than a
// thread's start.
inline ThreadStarter animationFirst(std::function<bool()> firstLineShown) {
    auto started = std::make_shared<int>(0);
    return [started, firstLineShown](std::function<void()> body, std::thread& thread) {
        if ((*started)++ == 0) {
            thread = std::thread(std::move(body));
        } else {
            thread = std::thread([body = std::move(body), firstLineShown] {
                while (!firstLineShown()) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                body();
            });
        }
        return true;
    };
}

// The message of the run's message box, "" when there was none.
inline std::string resultOf(const HeadlessHost& host) {
    return host.resultMessage();
}

// Runs the update worker alone on this thread: no animation, no waits. The result message.
inline std::string runWorker(const std::string& imageDirectory) {
    return runUpdateHeadless(imageDirectory);
}

}  // namespace brivane::testing
