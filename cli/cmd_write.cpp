// update and restore: the update run of the step table, with a backup taken before anything
// changes and, when a step after the erase fails, a verified rollback to that backup.
#include <unistd.h>

#include "app/messages.h"
#include "app/program_directory.h"
#include "app/update_steps.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/firmware_files.h"
#include "cli/progress.h"
#include "flashlib/flashlib.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#endif

namespace brivane::cli {
namespace {

constexpr const char* kBackupPhase = "backup";

// Requests a phase is expected to make at the camera's chunk size.
std::uint64_t plannedRequests(const std::string& name) {
    const std::uint64_t c = std::max<std::uint32_t>(libraryState().chunkSize, 1);
    const auto read = [c](std::uint64_t n) { return n < c ? 2 : 1 + n / c + (n % c ? 2 : 0); };
    const auto write = [c](std::uint64_t n) { return (n + c - 1) / c; };
    if (name == "in-use check")
        return 2;
    if (name == "id read")
        return read(4);
    if (name == "configuration read")
        return read(1);
    if (name == kBackupPhase || name == "blank check")
        return read(kImageSize);
    if (name == "protection lift" || name == "protection restore")
        return 150;
    if (name == "erase")
        return 200;
    if (name == "body write")
        return write(kBodySize);
    if (name == "body verification")
        return read(kBodySize);
    if (name == "header write")
        return write(kHeaderSize);
    if (name == "header verification")
        return read(kHeaderSize);
    if (name == "post-update")
        return 1;
    return 0;
}

// The steps from `first` on, with the backup before the protection is lifted.
std::vector<ProgressTracker::Phase> planFrom(std::size_t first, bool backup) {
    std::vector<ProgressTracker::Phase> phases;
    const auto steps = updateSteps();
    for (std::size_t i = first; i < steps.size(); ++i) {
        if (backup && i == updateStepIndex("protection lift")) {
            phases.push_back({kBackupPhase, plannedRequests(kBackupPhase)});
        }
        phases.push_back({steps[i].name, plannedRequests(steps[i].name)});
    }
    return phases;
}

class StepProgress : public StepObserver {
public:
    StepProgress(Session& session, bool backup, const WriteOptions& options)
        : session_(session),
          backup_(backup),
          printer_(options.progressOut, isatty(fileno(options.progressOut)) != 0) {
        session_.onRequest([this, sample = options.progressSample] {
            tracker_.update(session_.requests(), ProgressTracker::Clock::now());
            printer_.show(tracker_);
            if (sample) {
                sample(tracker_.fraction(), tracker_.secondsLeft());
            }
        });
    }
    ~StepProgress() override { session_.onRequest(nullptr); }
    StepProgress(const StepProgress&) = delete;
    StepProgress& operator=(const StepProgress&) = delete;

    void stepStarting(std::size_t, const UpdateStep& step) override { begin(step.name); }
    void stepEnded(std::size_t index, const UpdateStep& step, bool ok) override {
        end();
        // Once the camera is open its chunk size is known, and with it the work ahead.
        if (std::string(step.name) == "open" && ok) {
            tracker_.plan(planFrom(index + 1, backup_));
        }
    }
    void begin(const std::string& name) {
        tracker_.begin(name, session_.requests(), ProgressTracker::Clock::now());
        printer_.show(tracker_, true);
    }
    void end() {
        tracker_.end(session_.requests(), ProgressTracker::Clock::now());
        printer_.show(tracker_, true);
    }
    void replan(std::size_t first) { tracker_.plan(planFrom(first, false)); }
    void finish() {
        tracker_.finish();
        printer_.show(tracker_, true);
        printer_.close();
    }

private:
    Session& session_;
    bool backup_;
    ProgressTracker tracker_;
    ProgressPrinter printer_;
};

int exitFor(const std::string& message) {
    if (message == text::success)
        return kExitDone;
    if (message == text::noDevice)
        return kExitNoCamera;
    if (message == text::deviceInUse)
        return kExitInUse;
    return kExitFailed;
}

int writeFirmware(Session& session, Output& out, const WriteOptions& options,
                  std::optional<std::vector<std::uint8_t>> given) {
    if (const int status = session.chooseCamera(out)) {
        return status;
    }
    UpdateRun run;
    run.imageDirectory = options.imageDir ? *options.imageDir : ProgramDirectory();
    if (!run.imageDirectory.empty() && run.imageDirectory.back() != '/' &&
        run.imageDirectory.back() != '\\') {
        run.imageDirectory += '/';
    }
    run.givenImage = std::move(given);
    const bool backup = !options.noBackup;
    std::optional<StepProgress> progress;
    if (options.progress) {
        progress.emplace(session, backup, options);
    }
    StepObserver* observer = progress ? &*progress : nullptr;
    const auto steps = updateSteps();
    const std::size_t lift = updateStepIndex("protection lift");
    const std::size_t erase = updateStepIndex("erase");
    nlohmann::json& j = out.data();
    j["backup"] = nullptr;
    j["rollback"] = nullptr;

    const auto report = [&](const std::string& message, const std::string& text,
                            std::optional<std::size_t> failed) {
        if (progress) {
            progress->finish();
        }
        finishUpdateRun(run);
        j["result"] = message;
        j["success"] = message == text::success;
        j["failedStep"] = failed ? nlohmann::json(steps[*failed].name) : nlohmann::json();
        out.line(text);
        return exitFor(message);
    };

    StepOutcome outcome = runUpdateSteps(run, 0, lift, observer);
    if (outcome.message != nullptr) {
        // The result messages before the lift say what went wrong; the general one is named.
        const bool general = std::string(outcome.message) == text::updateFailed;
        return report(outcome.message,
                      general ? std::string(outcome.message) + " at " +
                                    steps[outcome.failedStep].name + "; nothing was changed"
                              : std::string(outcome.message),
                      outcome.failedStep);
    }

    // A copy of the flash as it is, before anything on the camera changes.
    std::optional<std::vector<std::uint8_t>> saved;
    std::string backupPath;
    if (backup) {
        if (progress) {
            progress->begin(kBackupPhase);
        }
        const CameraFacts facts = readCameraFacts(false);
        std::vector<std::uint8_t> flash;
        const bool read = readWholeFlash(flash);
        if (progress) {
            progress->end();
        }
        backupPath = options.backup ? *options.backup : defaultBackupPath(facts);
        std::string error = "the flash could not be read";
        if (!read || !writeBackup(backupPath, flash, facts, false, error)) {
            out.error("no backup (" + error + "); nothing on the camera was changed");
            return report(text::updateFailed,
                          std::string(text::updateFailed) + " at backup; nothing was changed",
                          std::nullopt);
        }
        j["backup"] = backupPath;
        saved = std::move(flash);
    }

    outcome = runUpdateSteps(run, lift, steps.size(), observer);
    if (outcome.message == nullptr) {
        return report(text::success, text::success, std::nullopt);
    }
    const std::string failure =
        std::string(outcome.message) + " at " + steps[outcome.failedStep].name;
    if (outcome.failedStep < erase) {
        return report(outcome.message, failure + "; the flash contents were not changed",
                      outcome.failedStep);
    }
    if (session.lastResult() == hr::notConnected) {
        j["cameraGone"] = true;
        return report(outcome.message,
                      failure + "; the camera is gone" +
                          (saved ? "; once it is back, run: brivanectl restore " + backupPath
                                 : std::string("; no backup was taken")),
                      outcome.failedStep);
    }
    if (!saved) {
        return report(outcome.message, failure + "; no backup was taken, so nothing was restored",
                      outcome.failedStep);
    }
    const std::size_t failedStep = outcome.failedStep;
    // An erase that was refused may have left the flash as it was: then there is nothing to
    // roll back, only the protection to restore.
    if (failedStep == erase) {
        std::vector<std::uint8_t> now;
        if (readWholeFlash(now) && now == *saved) {
            const std::size_t restore = updateStepIndex("protection restore");
            runUpdateSteps(run, restore, restore + 1, observer);
            j["rollback"] = {{"verified", true}, {"failedStep", nullptr}};
            return report(outcome.message,
                          failure + "; the flash still holds the previous firmware (verified)",
                          failedStep);
        }
    }
    // Rollback: the same steps from the erase on, with the backup as the image.
    run.image = *saved;
    if (progress) {
        progress->replan(erase);
    }
    const StepOutcome rollback = runUpdateSteps(run, erase, steps.size(), observer);
    j["rollback"] = {{"verified", rollback.message == nullptr},
                     {"failedStep", rollback.message == nullptr
                                        ? nlohmann::json()
                                        : nlohmann::json(steps[rollback.failedStep].name)}};
    if (rollback.message == nullptr) {
        return report(outcome.message,
                      failure + "; the previous firmware was restored and verified", failedStep);
    }
    const bool gone = session.lastResult() == hr::notConnected;
    j["cameraGone"] = gone;
    return report(outcome.message,
                  failure + "; the rollback failed at " + steps[rollback.failedStep].name +
                      (gone ? " (the camera is gone)" : "") +
                      "; once the camera answers, run: brivanectl restore " + backupPath,
                  failedStep);
}

void refuse(Output& out, const std::string& why) {
    out.error(why + "; nothing on the camera was changed");
    out.data()["error"] = why;
}

// The image or backup a command was given, checked before anything on the camera changes.
bool readImageArgument(Output& out, const std::string& path, std::vector<std::uint8_t>& image) {
    std::string error;
    if (!readFlashFile(path, image, error)) {
        refuse(out, error);
        return false;
    }
    return true;
}

}  // namespace

int runUpdate(Session& session, Output& out, const WriteOptions& options) {
    if (!options.image) {
        return writeFirmware(session, out, options, std::nullopt);
    }
    std::vector<std::uint8_t> image;
    if (!readImageArgument(out, *options.image, image)) {
        return kExitUsage;
    }
    if (!imageIdSupported(image)) {
        if (!options.force) {
            refuse(out, *options.image +
                            ": its id bytes at 0xC006 name no supported image; --force writes "
                            "it all the same");
            return kExitUsage;
        }
        out.warn(*options.image +
                 ": its id bytes name no supported image; writing it as --force "
                 "asks");
    }
    return writeFirmware(session, out, options, std::move(image));
}

int runRestore(Session& session, Output& out, const WriteOptions& options) {
    std::vector<std::uint8_t> image;
    if (!readImageArgument(out, *options.image, image)) {
        return kExitUsage;
    }
    return writeFirmware(session, out, options, std::move(image));
}

}  // namespace brivane::cli
