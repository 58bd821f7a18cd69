#include "cli/session.h"

#include "camsim/sim_platform.h"
#include "cli/exit_codes.h"
#include "flashlib/flashlib.h"

namespace brivane::cli {

// Counts every request, keeps the last result, and passes each on to the trace file.
class Session::Counter : public TraceSink {
public:
    explicit Counter(TraceSink* file) : file_(file) {}
    void record(const TraceRecord& r) override {
        ++count;
        last = r.hr;
        if (file_ != nullptr) {
            file_->record(r);
        }
        if (listener) {
            listener();
        }
    }
    std::uint64_t count = 0;
    HResult last = hr::ok;
    std::function<void()> listener;

private:
    TraceSink* file_;
};

Session::Session(const GlobalOptions& options) : options_(options) {}

Session::~Session() {
    XuSetPlatform(nullptr);
    if (camera_ && options_.dumpFlash) {
        const auto& flash = camera_->flash().memory();
        std::FILE* f = std::fopen(options_.dumpFlash->c_str(), "wb");
        const bool ok =
            f != nullptr && std::fwrite(flash.data(), 1, flash.size(), f) == flash.size();
        if (f == nullptr || std::fclose(f) != 0 || !ok) {
            std::fprintf(stderr, "brivanectl: --dump-flash: cannot write %s\n",
                         options_.dumpFlash->c_str());
        }
    }
}

bool Session::start(Output& out) {
    if (options_.emulated) {
        camera_ = std::make_shared<camsim::EmulatedCamera>(options_.sim.camera);
        auto platform = std::make_unique<camsim::SimPlatform>(options_.sim.devices, camera_,
                                                              options_.sim.platformFaults);
        platform->setInstance(options_.sim.instance);
        system_ = std::move(platform);
    } else {
        system_ = makeSystemPlatform();
    }
    if (options_.trace) {
        traceFile_ = std::make_unique<JsonLinesTraceSink>(*options_.trace);
        if (!traceFile_->isOpen()) {
            out.error("--trace: cannot write " + *options_.trace);
            return false;
        }
    }
    counter_ = std::make_unique<Counter>(traceFile_.get());
    traced_ = makeTracingPlatform(*system_, *counter_);
    filter_ = std::make_unique<DeviceFilterPlatform>(*traced_);
    XuSetPlatform(filter_.get());
    return true;
}

std::vector<DeviceListing> Session::devices() {
    return listDevices(*traced_);
}

int Session::chooseCamera(Output& out) {
    if (options_.device) {
        showOnly(*options_.device);
        return 0;
    }
    std::vector<DeviceListing> cameras;
    for (const DeviceListing& d : devices()) {
        if (d.bind != hr::ok || d.path.empty()) {
            continue;
        }
        showOnly(d.path);
        if (CamOpen() > 0) {
            cameras.push_back(d);
        }
        CamClose();
    }
    if (cameras.size() > 1) {
        std::string text = "more than one camera; choose one with --device:";
        for (const DeviceListing& c : cameras) {
            text += "\n  " + c.path + "  " + c.name;
        }
        out.error(text);
        if (out.json()) {
            for (const DeviceListing& c : cameras) {
                out.data()["cameras"].push_back({{"path", c.path}, {"name", c.name}});
            }
            out.data()["error"] = "more than one camera";
        }
        return kExitManyCameras;
    }
    showOnly(cameras.empty() ? std::nullopt : std::optional<std::string>(cameras[0].path));
    return 0;
}

std::uint64_t Session::requests() const {
    return counter_ ? counter_->count : 0;
}

HResult Session::lastResult() const {
    return counter_ ? counter_->last : hr::ok;
}

void Session::onRequest(std::function<void()> listener) {
    counter_->listener = std::move(listener);
}

}  // namespace brivane::cli
