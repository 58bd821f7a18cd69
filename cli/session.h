// One brivanectl run's hold on the machine: the platform (the system's devices, or the emulated
// camera), the request trace and count, and the choice of camera.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/device_filter.h"
#include "cli/output.h"
#include "tools/sim_options.h"
#include "transport/trace.h"

namespace brivane::cli {

struct GlobalOptions {
    std::optional<std::string> device;
    bool json = false;
    std::optional<std::string> trace;
    bool emulated = false;
    sim::SimOptions sim;
    std::optional<std::string> dumpFlash;
};

class Session {
public:
    explicit Session(const GlobalOptions& options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Builds the platform and installs it; false (with the error said) when it cannot.
    bool start(Output& out);
    // Narrows the search to the camera the user chose, or to the only camera there is. An exit
    // status when that is not possible (several cameras and no --device), else 0.
    int chooseCamera(Output& out);

    // The devices as enumeration shows them.
    std::vector<DeviceListing> devices();
    // Shows only this device to the library's search (none: all).
    void showOnly(std::optional<std::string> path) { filter_->showOnly(std::move(path)); }
    bool emulated() const { return options_.emulated; }
    // The emulated camera (with --emulated), for tests.
    camsim::EmulatedCamera* emulatedCamera() { return camera_.get(); }

    // Requests made so far, the last one's result, and a call after each.
    std::uint64_t requests() const;
    HResult lastResult() const;
    void onRequest(std::function<void()> listener);

private:
    class Counter;
    const GlobalOptions& options_;
    std::unique_ptr<KsPlatform> system_;
    std::shared_ptr<camsim::EmulatedCamera> camera_;
    std::unique_ptr<JsonLinesTraceSink> traceFile_;
    std::unique_ptr<Counter> counter_;
    std::unique_ptr<KsPlatform> traced_;
    std::unique_ptr<DeviceFilterPlatform> filter_;
};

// The system's own video-capture platform (Linux V4L2 or Windows DirectShow).
std::unique_ptr<KsPlatform> makeSystemPlatform();

}  // namespace brivane::cli
