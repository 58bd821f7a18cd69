// An exclusive hold on one camera for the length of a run, so that two updaters never write the
// same flash at once. Named by the camera's device path; the operating system drops it when the
// process ends, however it ends.
#pragma once

#include <string>

namespace brivane {

class CameraHold {
public:
    CameraHold() = default;
    ~CameraHold() { release(); }
    CameraHold(const CameraHold&) = delete;
    CameraHold& operator=(const CameraHold&) = delete;

    // Takes the hold without waiting; false when another run holds the camera (or the hold
    // cannot be made).
    bool acquire(const std::string& devicePath);
    void release();
    bool held() const { return handle_ != nullptr; }

private:
    void* handle_ = nullptr;  // the lock file's descriptor (POSIX) or the mutex (Windows)
};

// The name the hold is known by: a stable digest of the device path.
std::string cameraHoldName(const std::string& devicePath);

}  // namespace brivane
