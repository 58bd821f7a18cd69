#include "app/update_app.h"

#include "app/scaled_clock.h"

namespace brivane {

bool UpdateApp::InitInstance() {
    GuardedHost guarded(host_);
    UpdateDialog dialog(guarded, clock_, starter_);
    guarded.runModal([&dialog] { dialog.onInitDialog(); });
    // However the dialog ended, nothing may reach it any more.
    guarded.close();
    clock_.cancel();
    dialog.dialogEnded();
    return false;
}

}  // namespace brivane
