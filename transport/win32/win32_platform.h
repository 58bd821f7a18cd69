// The platform seam on COM, the DirectShow system device enumerator, monikers, property bags,
// the capture filter and its kernel-streaming interfaces IKsTopologyInfo and IKsControl.
#pragma once

#include "transport/ks_platform.h"

namespace brivane {

class Win32Platform : public KsPlatform {
public:
    HResult initialize() override;
    void uninitialize() override;
    HResult videoInputDevices(std::unique_ptr<KsDeviceList>& list) override;
};

}  // namespace brivane
