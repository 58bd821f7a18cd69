// The Linux platform over a fake sysfs tree and device nodes whose ioctl is answered by the
// emulated camera: the real platform code, down to UVCIOC_CTRL_QUERY.
#include "transport/linux/linux_platform.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <linux/videodev2.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/app_rig.h"
#include "app/messages.h"
#include "linux/descriptor_fixtures.h"

namespace brivane::testing {
namespace {

namespace fs = std::filesystem;

struct FakeNode {
    std::string name;
    Bytes descriptors;     // of the USB device the node belongs to
    std::uint32_t caps;    // device capabilities
    int openError = 0;     // errno that open fails with, 0 to open
    bool brivane = false;  // its unit 4 is answered by the emulated camera
};

class FakeSystem : public RealLinuxSystem {
public:
    FakeSystem(const std::vector<FakeNode>& nodes, camsim::EmulatedCamera* camera)
        : nodes_(nodes), camera_(camera) {
        root_ = fs::path(::testing::TempDir()) /
                ("brivane-sysfs-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        sysfsRoot = (root_ / "sys").string();
        devRoot = "/fake-dev";
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            const fs::path usb =
                root_ / "sys/devices/pci0000:00/usb1" / ("1-" + std::to_string(i + 1));
            const fs::path interface = usb / ("1-" + std::to_string(i + 1) + ":1.0");
            fs::create_directories(interface);
            write(usb / "descriptors", nodes[i].descriptors);
            write(interface / "bInterfaceNumber", Bytes{'0', '0', '\n'});
            const fs::path entry = root_ / "sys/class/video4linux" / ("video" + std::to_string(i));
            fs::create_directories(entry);
            write(entry / "name", Bytes(nodes[i].name.begin(), nodes[i].name.end()));
            fs::create_directory_symlink(interface, entry / "device");
        }
    }
    ~FakeSystem() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    int open(const std::string& path, int) override {
        const std::string prefix = devRoot + "/video";
        if (path.rfind(prefix, 0) != 0) {
            return -ENOENT;
        }
        const std::size_t index = std::stoul(path.substr(prefix.size()));
        if (index >= nodes_.size()) {
            return -ENOENT;
        }
        if (nodes_[index].openError != 0) {
            return -nodes_[index].openError;
        }
        ++openFiles;
        return 1000 + static_cast<int>(index);
    }
    void close(int) override { --openFiles; }
    int ioctl(int fd, unsigned long request, void* argument) override {
        const FakeNode& node = nodes_.at(static_cast<std::size_t>(fd - 1000));
        if (request == VIDIOC_QUERYCAP) {
            auto* caps = static_cast<v4l2_capability*>(argument);
            std::strncpy(reinterpret_cast<char*>(caps->card), node.name.c_str(), 31);
            caps->capabilities = node.caps | V4L2_CAP_DEVICE_CAPS;
            caps->device_caps = node.caps;
            return 0;
        }
        if (request != UVCIOC_CTRL_QUERY) {
            return -ENOTTY;
        }
        ++queries;
        auto* q = static_cast<uvc_xu_control_query*>(argument);
        if (!node.brivane || q->unit != 4) {
            return -ENOENT;
        }
        const std::uint32_t flags = q->query == UVC_SET_CUR ? kSetFlags : kGetFlags;
        return camera_->handle(q->selector, flags, q->data, q->size) == hr::ok ? 0 : -EPIPE;
    }

    int openFiles = 0;
    int queries = 0;

private:
    static void write(const fs::path& path, const Bytes& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

    std::vector<FakeNode> nodes_;
    camsim::EmulatedCamera* camera_;
    fs::path root_;
    static inline int counter_ = 0;
};

Bytes brivaneCameraDescriptors() {
    Bytes units = cameraAUnits();
    const Bytes ours = brivaneUnit();
    units.insert(units.end(), ours.begin(), ours.end());
    return usbDevice(units);
}

// A laptop's webcam and its metadata node, a node the user may not open, then the camera.
std::vector<FakeNode> machine() {
    return {
        {"Integrated Camera", usbDevice(cameraBUnits()), V4L2_CAP_VIDEO_CAPTURE, 0, false},
        {"Integrated Camera", usbDevice(cameraBUnits()), V4L2_CAP_META_CAPTURE, 0, false},
        {"Locked Camera", usbDevice(cameraAUnits()), V4L2_CAP_VIDEO_CAPTURE, EACCES, false},
        {"Brivane USB Camera", brivaneCameraDescriptors(), V4L2_CAP_VIDEO_CAPTURE, 0, true},
    };
}

struct LinuxRig {
    explicit LinuxRig(std::vector<FakeNode> nodes)
        : camera(cameraFor({})), system(std::move(nodes), &camera), platform(system) {
        XuResetState();
        CamResetState();
        CamSetSleep([](unsigned) {});
        XuSetPlatform(&platform);
    }
    ~LinuxRig() {
        XuSetPlatform(nullptr);
        XuResetState();
        CamResetState();
        CamSetSleep(nullptr);
    }
    camsim::EmulatedCamera camera;
    FakeSystem system;
    LinuxPlatform platform;
};

TEST(LinuxPlatformDevices, ListsCaptureNodesInOrderWithNameAndPath) {
    LinuxRig rig(machine());
    std::unique_ptr<KsDeviceList> list;
    ASSERT_EQ(rig.platform.videoInputDevices(list), hr::ok);
    std::vector<std::string> seen;
    std::unique_ptr<KsDevice> device;
    while (list->next(device) == hr::ok) {
        std::unique_ptr<KsPropertyBag> bag;
        ASSERT_EQ(device->bindPropertyBag(bag), hr::ok);
        std::string name, path;
        ASSERT_EQ(bag->read("FriendlyName", name), hr::ok);
        ASSERT_EQ(bag->read("DevicePath", path), hr::ok);
        seen.push_back(name + " @ " + path);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"Integrated Camera @ /fake-dev/video0",
                                              "Locked Camera @ /fake-dev/video2",
                                              "Brivane USB Camera @ /fake-dev/video3"}));
    EXPECT_EQ(rig.system.openFiles, 0);
}

TEST(LinuxPlatformDevices, NoCaptureNodeIsNoEnumeration) {
    LinuxRig rig({});
    std::unique_ptr<KsDeviceList> list;
    EXPECT_EQ(rig.platform.videoInputDevices(list), hr::falseResult);
    EXPECT_EQ(CamOpen(), kOpenNoEnumeration);
}

TEST(LinuxPlatformSearch, FindsTheCameraByItsExtensionUnit) {
    LinuxRig rig(machine());
    ASSERT_EQ(CamOpen(), kOpenOk);
    EXPECT_STREQ(XuDevicePath(), "/fake-dev/video3");
    // Camera terminal, processing unit, camera A's two units, then the camera's own.
    EXPECT_EQ(transportState().xuNode, 4u);
    EXPECT_EQ(libraryState().slots[0].chipIndex, 18);
    EXPECT_EQ(rig.system.openFiles, 1) << "only the camera stays open";
    EXPECT_EQ(CamClose(), 1);
    EXPECT_EQ(rig.system.openFiles, 0);
}

TEST(LinuxPlatformSearch, AGuidStoredInTextOrderIsFoundToo) {
    Bytes unit = brivaneUnit();
    std::reverse(unit.begin() + 4, unit.begin() + 8);
    std::swap(unit[8], unit[9]);
    std::swap(unit[10], unit[11]);
    std::vector<FakeNode> nodes = {
        {"Brivane USB Camera", usbDevice(unit), V4L2_CAP_VIDEO_CAPTURE, 0, true}};
    LinuxRig rig(nodes);
    EXPECT_EQ(CamOpen(), kOpenOk);
}

TEST(LinuxPlatformRun, UpdatesTheCameraThroughUvcQueries) {
    LinuxRig rig(machine());
    ImageFolder images(18, 0x51);
    HeadlessHost host(images.directory(), nullptr, false);
    ScaledClock clock(0);
    UpdateApp app(host, clock);
    app.InitInstance();
    EXPECT_EQ(resultOf(host), text::success);
    EXPECT_EQ(rig.camera.flash().memory(), imageFor(18, camsim::kFirstProductId, 0x51));
    EXPECT_GT(rig.system.queries, 20000);
    EXPECT_EQ(rig.system.openFiles, 0);
}

TEST(LinuxPlatformErrors, DriverErrorsBecomeFailureCodes) {
    struct Case {
        int error;
        HResult code;
    };
    for (const Case c : {Case{ENOENT, hr::notFound}, Case{ENOBUFS, hr::insufficientBuffer},
                         Case{EINVAL, hr::invalidArg}, Case{EACCES, hr::accessDenied},
                         Case{ENODEV, hr::notConnected}, Case{ESHUTDOWN, hr::notConnected},
                         Case{EPIPE, hr::genFailure}, Case{EIO, hr::genFailure},
                         Case{ETIMEDOUT, hr::genFailure}, Case{EBUSY, hr::genFailure}}) {
        EXPECT_EQ(hresultFromErrno(c.error), c.code) << c.error;
        EXPECT_LT(hresultFromErrno(c.error), 0);
    }
}

}  // namespace
}  // namespace brivane::testing
