#include <windows.h>

#include "app/camera_hold.h"
#include "transport/debug_log.h"

namespace brivane {

bool CameraHold::acquire(const std::string& devicePath) {
    release();
    const std::string name = cameraHoldName(devicePath);
    // Seen across sessions where the system allows it, else within the user's session.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, ("Global\\" + name).c_str());
    if (mutex == nullptr) {
        mutex = CreateMutexA(nullptr, FALSE, ("Local\\" + name).c_str());
    }
    if (mutex == nullptr) {
        debugLog("camera hold %s: cannot create (error %lu)", name.c_str(), GetLastError());
        return false;
    }
    // A holder that died leaves the mutex abandoned: it is free again.
    const DWORD wait = WaitForSingleObject(mutex, 0);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        debugLog("camera hold %s: held by another run", name.c_str());
        CloseHandle(mutex);
        return false;
    }
    handle_ = mutex;
    return true;
}

void CameraHold::release() {
    if (handle_ != nullptr) {
        ReleaseMutex(static_cast<HANDLE>(handle_));
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
}

}  // namespace brivane
