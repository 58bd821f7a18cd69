// A platform that shows only the video-capture device with one device path, so that the
// library's camera search binds the device the user chose. With no path set it shows all.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "transport/ks_platform.h"

namespace brivane::cli {

class DeviceFilterPlatform : public KsPlatform {
public:
    explicit DeviceFilterPlatform(KsPlatform& inner) : inner_(inner) {}
    void showOnly(std::optional<std::string> devicePath) { only_ = std::move(devicePath); }

    HResult initialize() override { return inner_.initialize(); }
    void uninitialize() override { inner_.uninitialize(); }
    HResult videoInputDevices(std::unique_ptr<KsDeviceList>& list) override;

private:
    KsPlatform& inner_;
    std::optional<std::string> only_;
};

// One device as enumeration shows it, before any request reaches it.
struct DeviceListing {
    int index = 0;
    std::string name;
    std::string path;
    HResult bind = hr::ok;  // binding the capture filter (opening the node)
};
std::vector<DeviceListing> listDevices(KsPlatform& platform);

}  // namespace brivane::cli
