#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/camera_hold.h"
#include "transport/debug_log.h"

namespace brivane {
namespace {

// Where the lock files live: BRIVANE_LOCK_DIR, else the user's runtime folder, else /tmp.
std::string lockDirectory() {
    for (const char* name : {"BRIVANE_LOCK_DIR", "XDG_RUNTIME_DIR"}) {
        if (const char* dir = std::getenv(name); dir != nullptr && *dir != '\0') {
            return dir;
        }
    }
    return "/tmp";
}

}  // namespace

bool CameraHold::acquire(const std::string& devicePath) {
    release();
    const std::string path = lockDirectory() + "/" + cameraHoldName(devicePath) + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        debugLog("camera hold %s: cannot open (%s)", path.c_str(), std::strerror(errno));
        return false;
    }
    // A lock of the open file: released by close or by the process's end.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        debugLog("camera hold %s: held by another run", path.c_str());
        ::close(fd);
        return false;
    }
    handle_ = reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1);
    return true;
}

void CameraHold::release() {
    if (handle_ != nullptr) {
        ::close(static_cast<int>(reinterpret_cast<std::intptr_t>(handle_) - 1));
        handle_ = nullptr;
    }
}

}  // namespace brivane
