// The platform seam on V4L2 and uvcvideo: video-capture nodes are the devices, opening a node
// binds it, the units of the camera's VideoControl interface are the topology nodes (an
// extension unit is the vendor-specific node type, its GUID the property set it serves), and a
// property request on an extension unit is a UVCIOC_CTRL_QUERY with SET_CUR or GET_CUR.
#pragma once

#include "transport/ks_platform.h"
#include "transport/linux/linux_system.h"

namespace brivane {

class LinuxPlatform : public KsPlatform {
public:
    explicit LinuxPlatform(LinuxSystem& system) : system_(system) {}
    HResult initialize() override { return hr::ok; }
    void uninitialize() override {}
    HResult videoInputDevices(std::unique_ptr<KsDeviceList>& list) override;

private:
    LinuxSystem& system_;
};

// The failure code for an errno value of the uvcvideo driver.
HResult hresultFromErrno(int error);

}  // namespace brivane
