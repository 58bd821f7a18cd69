// The update run as one table of named steps. The dialog's worker, the command line, the fault
// sweep and the benchmark all go through this table; nothing else spells the sequence out.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/camera_hold.h"
#include "app/image_file.h"

namespace brivane {

// What the flash holds once a step has done its work. A step that fails may leave the flash
// anywhere between the state before it and the one it names.
enum class FlashState {
    untouched,
    protectionLifted,
    erased,  // header bytes 0 to 15 stay 0xFF until the header is written
    bodyWritten,
    headerWritten,  // the image is complete
    protectionRestored,
};
const char* flashStateName(FlashState state);

inline constexpr std::uint16_t kIdAddress = 0xC006;
inline constexpr std::uint16_t kConfigAddress = 0xC034;
inline constexpr std::uint32_t kHeaderSize = 16;
inline constexpr std::uint32_t kBodySize = kImageSize - kHeaderSize;

using ProductId = std::array<std::uint8_t, 4>;

struct SupportedImage {
    ProductId id;
    const char* fileName;
};
inline constexpr SupportedImage kSupportedImages[] = {
    {{0x2E, 0x7B, 0x91, 0xD4}, "CAMERA_2E7B91D4.bin"},
    {{0x5A, 0x3C, 0x07, 0xF2}, "CAMERA_5A3C07F2.bin"},
};
// The supported image for the id bytes (compared exactly), or null.
const SupportedImage* supportedImageFor(const ProductId& id);

// Everything one run carries from step to step.
struct UpdateRun {
    // Where the image comes from: the file chosen by the id bytes in this folder (ending with a
    // path separator), or, when set, an image already loaded and checked by the caller.
    std::string imageDirectory;
    std::optional<std::vector<std::uint8_t>> givenImage;
    // Called once the image is loaded, before the first step that may change the flash.
    std::function<void()> onImageLoaded;

    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(kImageSize);
    std::vector<std::uint8_t> readBack = std::vector<std::uint8_t>(kImageSize);
    std::uint8_t inUse = 0;
    ProductId id{};
    const char* imageFile = nullptr;  // the chosen file's name
    std::uint8_t restoreValue = 0;
    std::uint16_t restoreRegister = 0xFFFF;
    int openResult = 0;
    CameraHold hold;
    std::string why;  // set by a failing step: what went wrong, for the debug log and reports
};

struct UpdateStep {
    const char* name;
    bool (*action)(UpdateRun& run);
    // The result message when the action fails; null when its failure is not consulted.
    const char* failureMessage;
    FlashState leaves;
};

// The whole run, in order.
std::span<const UpdateStep> updateSteps();
// The index of the step with this name (the table's size when there is none).
std::size_t updateStepIndex(const char* name);

// Called around each step, for progress and reports.
class StepObserver {
public:
    virtual ~StepObserver() = default;
    virtual void stepStarting(std::size_t index, const UpdateStep& step) = 0;
    virtual void stepEnded(std::size_t index, const UpdateStep& step, bool ok) = 0;
};

struct StepOutcome {
    const char* message;     // null while the steps ran to `last` without a failure
    std::size_t failedStep;  // the table's size when none failed
};

// Runs steps [first, last) until one fails; a failing step's name and why go to the debug log.
StepOutcome runUpdateSteps(UpdateRun& run, std::size_t first, std::size_t last,
                           StepObserver* observer = nullptr);
// The whole table: the message of the outcome (success when no step failed).
StepOutcome runUpdateSteps(UpdateRun& run, StepObserver* observer = nullptr);

// What every run's end does with the camera: release the hold, close the camera if it was
// opened. Idempotent.
void finishUpdateRun(UpdateRun& run);

}  // namespace brivane
