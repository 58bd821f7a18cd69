// brivane-sim: the updater run against the emulated camera, for demos and QA.
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "app/headless_host.h"
#include "app/program_directory.h"
#include "app/scaled_clock.h"
#include "app/update_app.h"
#include "camsim/sim_platform.h"
#include "flashlib/flashlib.h"
#include "tools/sim_options.h"
#include "transport/trace.h"

namespace {

using namespace brivane;

bool writeFile(const std::string& path, const camsim::FlashImage& data) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

int writeImages(const sim::SimOptions& options) {
    for (const auto& id : {camsim::kFirstProductId, camsim::kSecondProductId}) {
        const std::string path = *options.writeImagesDir + "/" + camsim::imageFileName(id);
        if (!writeFile(path, sim::demoImage(options, id))) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    sim::SimOptions options;
    if (const auto status = sim::parseSimOptions(argc, argv, options)) {
        return *status;
    }
    if (options.writeImagesDir) {
        return writeImages(options);
    }
    if (options.gui) {
        std::fprintf(stderr, "--gui: this build has no windowed shell; use --headless\n");
        return 2;
    }

    auto camera = std::make_shared<camsim::EmulatedCamera>(options.camera);
    camsim::SimPlatform platform(options.devices, camera, options.platformFaults);
    std::unique_ptr<JsonLinesTraceSink> traceSink;
    std::unique_ptr<KsPlatform> traced;
    KsPlatform* active = &platform;
    if (options.traceFile) {
        traceSink = std::make_unique<JsonLinesTraceSink>(*options.traceFile);
        if (!traceSink->isOpen()) {
            std::fprintf(stderr, "--trace: cannot write %s\n", options.traceFile->c_str());
            return 2;
        }
        traced = makeTracingPlatform(platform, *traceSink);
        active = traced.get();
    }
    XuSetPlatform(active);

    std::string directory = options.imageDir ? *options.imageDir : ProgramDirectory();
    if (!directory.empty() && directory.back() != '/') {
        directory += '/';
    }
    HeadlessHost host(directory, stdout, isatty(STDOUT_FILENO) != 0);
    ScaledClock clock(options.timeScale);
    // The serial-flash port's 1 ms polls follow the same scale.
    ScaledClock portClock(options.timeScale);
    CamSetSleep([&portClock](unsigned ms) { portClock.sleepMs(ms); });
    UpdateApp app(host, clock);
    app.InitInstance();
    XuSetPlatform(nullptr);
    CamSetSleep(nullptr);

    if (options.dumpFlashFile && !writeFile(*options.dumpFlashFile, camera->flash().memory())) {
        std::fprintf(stderr, "--dump-flash: cannot write %s\n", options.dumpFlashFile->c_str());
    }
    std::string result;
    for (const HostCall& call : host.calls()) {
        if (call.kind == HostCall::Kind::messageBox) {
            result = call.text;
        }
    }
    return result == "Update FW success !!" ? 0 : 1;
}
