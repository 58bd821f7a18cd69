// One complete update run on device slot 0, and the end sequence every outcome passes through.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "app/image_file.h"
#include "app/messages.h"
#include "app/update_dialog.h"
#include "flashlib/flashlib.h"

namespace brivane {
namespace {

constexpr std::uint16_t kIdAddress = 0xC006;
constexpr std::uint16_t kConfigAddress = 0xC034;
constexpr std::uint32_t kHeaderSize = 16;
constexpr std::uint32_t kBodySize = kImageSize - kHeaderSize;

struct SupportedImage {
    std::array<std::uint8_t, 4> id;
    const char* fileName;
};

constexpr SupportedImage kSupportedImages[] = {
    {{0x2E, 0x7B, 0x91, 0xD4}, "CAMERA_2E7B91D4.bin"},
    {{0x5A, 0x3C, 0x07, 0xF2}, "CAMERA_5A3C07F2.bin"},
};

struct Run {
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(kImageSize);
    std::vector<std::uint8_t> readBack = std::vector<std::uint8_t>(kImageSize);
    std::uint8_t inUse = 0;
    std::array<std::uint8_t, 4> id{};
    std::uint8_t restoreValue = 0;
    std::uint16_t restoreRegister = 0xFFFF;
    int openResult = 0;
};

bool readBackEquals(Run& run, std::uint16_t address, std::uint32_t length) {
    std::fill(run.readBack.begin(), run.readBack.end(), 0);
    if (CamMemTransfer(transfer::read, address, run.readBack.data() + address, length) == 0) {
        return false;
    }
    return std::equal(run.readBack.begin() + address, run.readBack.begin() + address + length,
                      run.image.begin() + address);
}

// Steps 3 to 19; the outcome's message.
const char* update(UpdateDialog& dialog, Run& run) {
    run.openResult = CamOpen();
    if (run.openResult <= 0) {
        return text::noDevice;
    }
    CamRegRead(reg::inUse, &run.inUse);
    if ((run.inUse & 3) == 3) {
        return text::deviceInUse;
    }
    std::string imagePath = dialog.host().programDirectory();
    if (CamMemTransfer(transfer::read, kIdAddress, run.id.data(), 4) == 0) {
        return text::checkDeviceFail;
    }
    // The id bytes are compared exactly.
    const auto supported = std::find_if(std::begin(kSupportedImages), std::end(kSupportedImages),
                                        [&](const SupportedImage& s) { return s.id == run.id; });
    if (supported == std::end(kSupportedImages)) {
        return text::noUpdateNeeded;
    }
    imagePath += supported->fileName;
    // Refused unless the file holds exactly one image: nothing on the camera has changed yet.
    if (!loadImageFile(imagePath, run.image)) {
        return text::loadFail;
    }
    dialog.setStatusText(text::processing);

    if (CamMemTransfer(transfer::read, kConfigAddress, &run.restoreValue, 1) == 0) {
        return text::updateFailed;
    }
    if (CamFlashProtect(0, &run.restoreRegister, &run.restoreValue) == 0) {
        return text::updateFailed;
    }
    if (CamFlashErase() == 0) {
        return text::eraseFail;
    }
    std::fill(run.readBack.begin(), run.readBack.end(), 0);
    if (CamMemTransfer(transfer::read, 0, run.readBack.data(), kImageSize) == 0 ||
        std::any_of(run.readBack.begin(), run.readBack.end(),
                    [](std::uint8_t b) { return b != 0xFF; })) {
        return text::updateFailed;
    }
    if (CamMemTransfer(transfer::write, kHeaderSize, run.image.data() + kHeaderSize, kBodySize) ==
            0 ||
        !readBackEquals(run, kHeaderSize, kBodySize)) {
        return text::updateFailed;
    }
    if (CamMemTransfer(transfer::write, 0, run.image.data(), kHeaderSize) == 0 ||
        !readBackEquals(run, 0, kHeaderSize)) {
        return text::updateFailed;
    }
    CamFlashProtect(1, &run.restoreRegister, &run.restoreValue);
    CamPostUpdate();
    return text::success;
}

}  // namespace

int UpdateWorker(UpdateDialog& dialog) {
    DialogHost& host = dialog.host();
    auto run = std::make_unique<Run>();
    host.enableDialog(false);

    const std::string message = update(dialog, *run);

    host.enableDialog(true);
    dialog.stopFlag = 1;
    if (run->openResult > 0) {
        CamClose();
    }
    run.reset();
    // Without an animation thread nobody would answer the stop request.
    if (!dialog.animationRunning()) {
        dialog.stopFlag = 0;
    }
    while (dialog.stopFlag.load() != 0 && !dialog.ended()) {
        dialog.clock().sleepMs(100);
    }
    host.setItemText(kStatusBoxId, message);
    host.messageBox(message);
    host.setItemText(kHintLabelId, text::autoClose);
    dialog.clock().sleepMs(3000);
    host.endDialog();
    return 1;
}

}  // namespace brivane
