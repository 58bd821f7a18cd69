// brivane: the updater for a real camera on Linux. No command line: it finds the camera and
// updates it from the image files beside the program.
#include <QApplication>

#include "app/program_directory.h"
#include "app/qt/qt_dialog_host.h"
#include "app/scaled_clock.h"
#include "app/update_app.h"
#include "transport/linux/linux_platform.h"
#include "transport/xu.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    brivane::RealLinuxSystem system;
    brivane::LinuxPlatform platform(system);
    brivane::XuSetPlatform(&platform);
    brivane::QtDialogHost host(brivane::ProgramDirectory());
    brivane::ScaledClock clock;
    brivane::UpdateApp app(host, clock);
    app.InitInstance();
    brivane::XuSetPlatform(nullptr);
    return 0;
}
