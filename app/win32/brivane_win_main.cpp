// brivane.exe: the updater for a real camera on Windows. No command line: it finds the camera
// and updates it from the image files beside the program.
#include <windows.h>

#include "app/scaled_clock.h"
#include "app/update_app.h"
#include "app/win32/win32_dialog_host.h"
#include "transport/win32/win32_platform.h"
#include "transport/xu.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    brivane::Win32Platform platform;
    brivane::XuSetPlatform(&platform);
    brivane::Win32DialogHost host(instance);
    brivane::ScaledClock clock;
    brivane::UpdateApp app(host, clock);
    app.InitInstance();
    brivane::XuSetPlatform(nullptr);
    return 0;
}
