#include "cli/device_filter.h"

#include <vector>

namespace brivane::cli {
namespace {

std::optional<std::string> pathOf(KsDevice& device) {
    std::unique_ptr<KsPropertyBag> bag;
    std::string path;
    if (!succeeded(device.bindPropertyBag(bag)) || !bag ||
        bag->read("DevicePath", path) != hr::ok) {
        return std::nullopt;
    }
    return path;
}

class FilteredList : public KsDeviceList {
public:
    FilteredList(std::unique_ptr<KsDeviceList> inner, std::string path)
        : inner_(std::move(inner)), path_(std::move(path)) {}
    void reset() override { inner_->reset(); }
    HResult next(std::unique_ptr<KsDevice>& device) override {
        while (true) {
            const HResult r = inner_->next(device);
            if (r != hr::ok || !device) {
                return r;
            }
            if (pathOf(*device) == path_) {
                return r;
            }
            device.reset();
        }
    }

private:
    std::unique_ptr<KsDeviceList> inner_;
    std::string path_;
};

}  // namespace

HResult DeviceFilterPlatform::videoInputDevices(std::unique_ptr<KsDeviceList>& list) {
    std::unique_ptr<KsDeviceList> all;
    const HResult r = inner_.videoInputDevices(all);
    if (r != hr::ok || !all || !only_) {
        list = std::move(all);
        return r;
    }
    list = std::make_unique<FilteredList>(std::move(all), *only_);
    return r;
}

std::vector<DeviceListing> listDevices(KsPlatform& platform) {
    std::vector<DeviceListing> devices;
    platform.initialize();
    std::unique_ptr<KsDeviceList> list;
    if (platform.videoInputDevices(list) == hr::ok && list) {
        list->reset();
        std::unique_ptr<KsDevice> device;
        for (int index = 0; list->next(device) == hr::ok && device; ++index) {
            DeviceListing d;
            d.index = index;
            std::unique_ptr<KsPropertyBag> bag;
            if (succeeded(device->bindPropertyBag(bag)) && bag) {
                bag->read("FriendlyName", d.name);
                bag->read("DevicePath", d.path);
            }
            std::unique_ptr<KsFilter> filter;
            d.bind = device->bindFilter(filter);
            devices.push_back(std::move(d));
        }
    }
    platform.uninitialize();
    return devices;
}

}  // namespace brivane::cli
