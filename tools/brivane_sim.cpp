// brivane-sim: the updater run against the emulated camera, for demos and QA.
#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define STDOUT_FILENO _fileno(stdout)
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <memory>
#include <mutex>

#include "app/headless_host.h"
#include "app/messages.h"
#include "app/program_directory.h"
#include "app/scaled_clock.h"
#include "app/update_app.h"
#include "camsim/sim_platform.h"
#include "flashlib/flashlib.h"
#include "tools/replay_platform.h"
#include "tools/sim_options.h"
#include "transport/trace.h"

#ifdef BRIVANE_HAVE_WIN32
#include "app/win32/win32_dialog_host.h"
#endif
#ifdef BRIVANE_HAVE_QT
#include <QApplication>

#include "app/qt/qt_dialog_host.h"
#endif

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

// Passes every call on to the shell, keeps the result message, and looks for the images where
// the options say.
class ResultRecorder : public DialogHost {
public:
    ResultRecorder(DialogHost& inner, std::string imageDirectory)
        : inner_(inner), imageDirectory_(std::move(imageDirectory)) {}
    void runModal(const std::function<void()>& onInitDialog) override {
        inner_.runModal(onInitDialog);
    }
    void enableDialog(bool enabled) override { inner_.enableDialog(enabled); }
    void setItemText(int id, const std::string& text) override { inner_.setItemText(id, text); }
    void messageBox(const std::string& text) override {
        {
            std::lock_guard lock(mutex_);
            result_ = text;
        }
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
        inner_.messageBox(text);
    }
    void endDialog() override { inner_.endDialog(); }
    std::string programDirectory() override { return imageDirectory_; }
    std::string result() {
        std::lock_guard lock(mutex_);
        return result_;
    }

private:
    DialogHost& inner_;
    std::string imageDirectory_;
    std::mutex mutex_;
    std::string result_;
};

}  // namespace

int main(int argc, char** argv) {
    sim::SimOptions options;
    if (const auto status = sim::parseSimOptions(argc, argv, options)) {
        return *status;
    }
    if (options.writeImagesDir) {
        return writeImages(options);
    }
#if !defined(BRIVANE_HAVE_QT) && !defined(BRIVANE_HAVE_WIN32)
    if (options.gui) {
        std::fprintf(stderr, "--gui: this build has no windowed shell; use --headless\n");
        return 2;
    }
#endif

    auto camera = std::make_shared<camsim::EmulatedCamera>(options.camera);
    camsim::SimPlatform platform(options.devices, camera, options.platformFaults);
    std::unique_ptr<sim::ReplayPlatform> replay;
    if (options.replayFile) {
        std::vector<TraceRecord> records;
        std::string error;
        if (!sim::readTrace(*options.replayFile, records, error)) {
            std::fprintf(stderr, "--replay: %s\n", error.c_str());
            return 2;
        }
        replay = std::make_unique<sim::ReplayPlatform>(std::move(records));
    }
    std::unique_ptr<JsonLinesTraceSink> traceSink;
    std::unique_ptr<KsPlatform> traced;
    KsPlatform* active = replay ? static_cast<KsPlatform*>(replay.get()) : &platform;
    if (options.traceFile) {
        traceSink = std::make_unique<JsonLinesTraceSink>(*options.traceFile);
        if (!traceSink->isOpen()) {
            std::fprintf(stderr, "--trace: cannot write %s\n", options.traceFile->c_str());
            return 2;
        }
        traced = makeTracingPlatform(*active, *traceSink);
        active = traced.get();
    }
    XuSetPlatform(active);

    std::string directory = options.imageDir ? *options.imageDir : ProgramDirectory();
    if (!directory.empty() && directory.back() != '/') {
        directory += '/';
    }
    ScaledClock clock(options.timeScale);
    // The serial-flash port's 1 ms polls follow the same scale.
    ScaledClock portClock(options.timeScale);
    CamSetSleep([&portClock](unsigned ms) { portClock.sleepMs(ms); });
    std::string result;
#ifdef BRIVANE_HAVE_WIN32
    if (options.gui) {
        Win32DialogHost shell(GetModuleHandleW(nullptr));
        ResultRecorder host(shell, directory);
        UpdateApp app(host, clock);
        app.InitInstance();
        result = host.result();
    }
#endif
#ifdef BRIVANE_HAVE_QT
    if (options.gui) {
        QApplication application(argc, argv);
        QtDialogHost shell(directory);
        ResultRecorder host(shell, directory);
        UpdateApp app(host, clock);
        app.InitInstance();
        result = host.result();
    }
#endif
    if (!options.gui) {
        HeadlessHost host(directory, stdout, isatty(STDOUT_FILENO) != 0);
        UpdateApp app(host, clock);
        app.InitInstance();
        result = host.resultMessage();
    }
    XuSetPlatform(nullptr);
    CamSetSleep(nullptr);

    if (options.dumpFlashFile && !writeFile(*options.dumpFlashFile, camera->flash().memory())) {
        std::fprintf(stderr, "--dump-flash: cannot write %s\n", options.dumpFlashFile->c_str());
    }
    if (replay) {
        std::printf("replayed %zu of %zu recorded requests\n", replay->answered(), replay->total());
        if (replay->divergence()) {
            std::fprintf(stderr, "--replay: %s\n", replay->divergence()->c_str());
        }
        return !replay->divergence() && replay->answered() == replay->total() ? 0 : 1;
    }
    return result == text::success ? 0 : 1;
}
