// The application object: runs the main dialog once, modally; the program ends with it.
#pragma once

#include "app/dialog_host.h"
#include "app/update_dialog.h"

namespace brivane {

class ScaledClock;

class UpdateApp {
public:
    UpdateApp(DialogHost& host, ScaledClock& clock, ThreadStarter starter = defaultThreadStarter())
        : host_(host), clock_(clock), starter_(std::move(starter)) {}

    // Creates the dialog, runs it modally, and returns false once it has ended: there is no
    // message loop after it. The threads are stopped and joined before it returns, so none
    // outlives the dialog it works on.
    bool InitInstance();

private:
    DialogHost& host_;
    ScaledClock& clock_;
    ThreadStarter starter_;
};

}  // namespace brivane
