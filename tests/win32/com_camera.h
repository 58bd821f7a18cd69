// A video-capture machine at the COM boundary, in-process: the system device enumerator (put
// in place with CoRegisterClassObject), monikers with property bags, and capture filters whose
// IKsTopologyInfo and IKsControl answer from the emulated camera. The platform code above it
// runs unchanged, down to KsProperty.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "camsim/camera.h"

namespace brivane::testing {

struct ComDevice {
    std::wstring friendlyName;  // empty: the read fails
    std::wstring devicePath;
    bool camera = false;  // its extension unit answers from the emulated camera
};

class ComCameraMachine {
public:
    // Registers the fake enumerator in the calling thread's apartment (initialised here).
    ComCameraMachine(std::vector<ComDevice> devices, camsim::EmulatedCamera* camera);
    ~ComCameraMachine();
    ComCameraMachine(const ComCameraMachine&) = delete;
    ComCameraMachine& operator=(const ComCameraMachine&) = delete;

    int filtersAlive() const;
    int propertyRequests() const;

private:
    DWORD cookie_ = 0;
    IUnknown* factory_ = nullptr;
};

// A class factory whose objects are capture filters of the camera answered by `camera`, as a
// COM server registered for a video-capture device hands them out.
IClassFactory* newCameraFilterFactory(camsim::EmulatedCamera* camera);

}  // namespace brivane::testing
