// What the run logic needs of a dialog framework and of the clock. Each shell (Win32, Qt,
// headless) implements DialogHost on its own toolkit and honours that toolkit's threading rules:
// the worker and the animation call these from their own threads.
#pragma once

#include <functional>
#include <string>

namespace brivane {

inline constexpr int kHintLabelId = 1001;
inline constexpr int kStatusBoxId = 1002;

class DialogHost {
public:
    virtual ~DialogHost() = default;
    // Creates the main dialog, calls onInitDialog during its creation, and returns when the
    // dialog has ended (endDialog, or the user closing it while it is enabled).
    virtual void runModal(const std::function<void()>& onInitDialog) = 0;
    virtual void enableDialog(bool enabled) = 0;
    virtual void setItemText(int id, const std::string& text) = 0;
    // Shows the message modal to the dialog and returns when it is dismissed.
    virtual void messageBox(const std::string& text) = 0;
    virtual void endDialog() = 0;  // ends the dialog with the cancel result
    // The directory of the running program, ending with a path separator.
    virtual std::string programDirectory() = 0;
};

// The dialog's waits (500 ms animation, 100 ms stop polls, 3000 ms before closing).
class Clock {
public:
    virtual ~Clock() = default;
    virtual void sleepMs(unsigned milliseconds) = 0;
};

}  // namespace brivane
