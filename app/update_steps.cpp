#include "app/update_steps.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/messages.h"
#include "flashlib/flashlib.h"
#include "transport/debug_log.h"

namespace brivane {
namespace {

bool fail(UpdateRun& run, std::string why) {
    run.why = std::move(why);
    return false;
}

std::string at(const char* what, std::uint32_t address) {
    char text[80];
    std::snprintf(text, sizeof text, "%s at 0x%04X", what, static_cast<unsigned>(address));
    return text;
}

// Reads [address, address + length) into the read-back buffer (cleared first) and compares it
// with `expected` at the same offsets.
bool readBackAndCompare(UpdateRun& run, std::uint32_t address, std::uint32_t length,
                        const std::uint8_t* expected) {
    std::fill(run.readBack.begin(), run.readBack.end(), 0);
    if (CamMemTransfer(transfer::read, static_cast<std::uint16_t>(address),
                       run.readBack.data() + address, length) == 0) {
        return fail(run, "read-back failed");
    }
    for (std::uint32_t a = address; a < address + length; ++a) {
        const std::uint8_t want = expected != nullptr ? expected[a] : 0xFF;
        if (run.readBack[a] != want) {
            return fail(run, at("read-back differs", a));
        }
    }
    return true;
}

bool openCamera(UpdateRun& run) {
    run.openResult = CamOpen();
    return run.openResult > 0 || fail(run, "no camera could be opened");
}

bool holdCamera(UpdateRun& run) {
    return run.hold.acquire(CamDevicePath()) || fail(run, "another run holds the camera");
}

bool checkInUse(UpdateRun& run) {
    // A failed read leaves the value at 0: not in use.
    CamRegRead(reg::inUse, &run.inUse);
    return (run.inUse & 3) != 3 || fail(run, "the camera reports that it is in use");
}

bool readId(UpdateRun& run) {
    return CamMemTransfer(transfer::read, kIdAddress, run.id.data(), 4) != 0 ||
           fail(run, "the id bytes could not be read");
}

bool chooseImage(UpdateRun& run) {
    if (run.givenImage) {
        return true;
    }
    const SupportedImage* supported = supportedImageFor(run.id);
    if (supported == nullptr) {
        return fail(run, "the id bytes match no supported image");
    }
    run.imageFile = supported->fileName;
    return true;
}

bool loadImage(UpdateRun& run) {
    if (run.givenImage) {
        if (run.givenImage->size() != kImageSize) {
            return fail(run, "the given image is not 65536 bytes");
        }
        run.image = *run.givenImage;
    } else if (!loadImageFile(run.imageDirectory + run.imageFile, run.image)) {
        return fail(run, std::string("cannot load ") + run.imageFile);
    }
    if (run.onImageLoaded) {
        run.onImageLoaded();
    }
    return true;
}

bool readConfiguration(UpdateRun& run) {
    return CamMemTransfer(transfer::read, kConfigAddress, &run.restoreValue, 1) != 0 ||
           fail(run, "the configuration byte could not be read");
}

bool liftProtection(UpdateRun& run) {
    return CamFlashProtect(0, &run.restoreRegister, &run.restoreValue) != 0 ||
           fail(run, "the write protection could not be lifted");
}

bool erase(UpdateRun& run) {
    return CamFlashErase() != 0 || fail(run, "the chip erase failed");
}

bool blankCheck(UpdateRun& run) {
    return readBackAndCompare(run, 0, kImageSize, nullptr);
}

bool writeBody(UpdateRun& run) {
    return CamMemTransfer(transfer::write, kHeaderSize, run.image.data() + kHeaderSize,
                          kBodySize) != 0 ||
           fail(run, "the body write failed");
}

bool verifyBody(UpdateRun& run) {
    return readBackAndCompare(run, kHeaderSize, kBodySize, run.image.data());
}

bool writeHeader(UpdateRun& run) {
    return CamMemTransfer(transfer::write, 0, run.image.data(), kHeaderSize) != 0 ||
           fail(run, "the header write failed");
}

bool verifyHeader(UpdateRun& run) {
    return readBackAndCompare(run, 0, kHeaderSize, run.image.data());
}

bool restoreProtection(UpdateRun& run) {
    return CamFlashProtect(1, &run.restoreRegister, &run.restoreValue) != 0 ||
           fail(run, "the write protection could not be restored");
}

bool postUpdate(UpdateRun& run) {
    return CamPostUpdate() != 0 || fail(run, "the post-update register write failed");
}

constexpr UpdateStep kSteps[] = {
    {"open", openCamera, text::noDevice, FlashState::untouched},
    {"camera hold", holdCamera, text::deviceInUse, FlashState::untouched},
    {"in-use check", checkInUse, text::deviceInUse, FlashState::untouched},
    {"id read", readId, text::checkDeviceFail, FlashState::untouched},
    {"image choice", chooseImage, text::noUpdateNeeded, FlashState::untouched},
    {"image load", loadImage, text::loadFail, FlashState::untouched},
    {"configuration read", readConfiguration, text::updateFailed, FlashState::untouched},
    {"protection lift", liftProtection, text::updateFailed, FlashState::protectionLifted},
    {"erase", erase, text::eraseFail, FlashState::erased},
    {"blank check", blankCheck, text::updateFailed, FlashState::erased},
    {"body write", writeBody, text::updateFailed, FlashState::bodyWritten},
    {"body verification", verifyBody, text::updateFailed, FlashState::bodyWritten},
    {"header write", writeHeader, text::updateFailed, FlashState::headerWritten},
    {"header verification", verifyHeader, text::updateFailed, FlashState::headerWritten},
    {"protection restore", restoreProtection, nullptr, FlashState::protectionRestored},
    {"post-update", postUpdate, nullptr, FlashState::protectionRestored},
};

}  // namespace

const char* flashStateName(FlashState state) {
    switch (state) {
        case FlashState::untouched:
            return "untouched";
        case FlashState::protectionLifted:
            return "protection lifted";
        case FlashState::erased:
            return "erased";
        case FlashState::bodyWritten:
            return "body written";
        case FlashState::headerWritten:
            return "header written";
        case FlashState::protectionRestored:
            return "protection restored";
    }
    return "?";
}

const SupportedImage* supportedImageFor(const ProductId& id) {
    for (const SupportedImage& s : kSupportedImages) {
        if (s.id == id) {
            return &s;
        }
    }
    return nullptr;
}

std::span<const UpdateStep> updateSteps() {
    return kSteps;
}

std::size_t updateStepIndex(const char* name) {
    const auto steps = updateSteps();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (std::strcmp(steps[i].name, name) == 0) {
            return i;
        }
    }
    return steps.size();
}

StepOutcome runUpdateSteps(UpdateRun& run, std::size_t first, std::size_t last,
                           StepObserver* observer) {
    const auto steps = updateSteps();
    last = std::min(last, steps.size());
    for (std::size_t i = first; i < last; ++i) {
        const UpdateStep& step = steps[i];
        if (observer != nullptr) {
            observer->stepStarting(i, step);
        }
        run.why.clear();
        const bool ok = step.action(run);
        if (observer != nullptr) {
            observer->stepEnded(i, step, ok);
        }
        if (!ok && step.failureMessage != nullptr) {
            debugLog("update step '%s' failed: %s", step.name, run.why.c_str());
            return {step.failureMessage, i};
        }
        if (!ok) {
            debugLog("update step '%s' failed, not consulted: %s", step.name, run.why.c_str());
        }
    }
    return {nullptr, steps.size()};
}

StepOutcome runUpdateSteps(UpdateRun& run, StepObserver* observer) {
    const StepOutcome outcome = runUpdateSteps(run, 0, updateSteps().size(), observer);
    return {outcome.message != nullptr ? outcome.message : text::success, outcome.failedStep};
}

void finishUpdateRun(UpdateRun& run) {
    run.hold.release();
    if (run.openResult > 0) {
        CamClose();
        run.openResult = 0;
    }
}

}  // namespace brivane
