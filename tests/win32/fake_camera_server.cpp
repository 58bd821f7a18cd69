// An in-process COM server for a video-capture device whose capture filter is the emulated
// camera, as brivane-sim's defaults describe it. Registered in a wine prefix under the
// video-input category, it lets brivane.exe itself run its update through DirectShow and
// kernel streaming against the emulator.
#include <windows.h>

#include "tools/sim_options.h"
#include "win32/com_camera.h"

namespace {

// {6F1A9C3E-2B7D-4E58-9A41-C7D2E8B05F13}
constexpr GUID kCameraFilter = {
    0x6F1A9C3E, 0x2B7D, 0x4E58, {0x9A, 0x41, 0xC7, 0xD2, 0xE8, 0xB0, 0x5F, 0x13}};

brivane::camsim::EmulatedCamera& camera() {
    static brivane::camsim::EmulatedCamera instance = [] {
        brivane::sim::SimOptions options;
        const char* argv[] = {"fake-camera"};
        brivane::sim::parseSimOptions(1, argv, options);
        return brivane::camsim::EmulatedCamera(options.camera);
    }();
    return instance;
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT
    __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    *out = nullptr;
    if (clsid != kCameraFilter) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    IClassFactory* factory = brivane::testing::newCameraFilterFactory(&camera());
    const HRESULT r = factory->QueryInterface(iid, out);
    factory->Release();
    return r;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllCanUnloadNow() {
    return S_FALSE;
}
