// One complete update run on device slot 0, and the end sequence every outcome passes through.
#include "app/messages.h"
#include "app/update_dialog.h"
#include "app/update_steps.h"

namespace brivane {

int UpdateWorker(UpdateDialog& dialog) {
    DialogHost& host = dialog.host();
    auto run = std::make_unique<UpdateRun>();
    run->imageDirectory = host.programDirectory();
    run->onImageLoaded = [&dialog] { dialog.setStatusText(text::processing); };
    host.enableDialog(false);

    const std::string message = runUpdateSteps(*run).message;

    host.enableDialog(true);
    dialog.stopFlag = 1;
    finishUpdateRun(*run);
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
