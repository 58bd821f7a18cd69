// The Windows platform code, unchanged, over COM objects that stand in for the device
// enumerator and a camera's capture filter: wine's own capture filters offer no
// IKsTopologyInfo, so the kernel-streaming path is exercised here at the COM boundary.
#include "transport/win32/win32_platform.h"

#include <gtest/gtest.h>

#include "app/app_rig.h"
#include "app/messages.h"
#include "win32/com_camera.h"

namespace brivane::testing {
namespace {

class Win32PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        XuResetState();
        CamResetState();
        CamSetSleep([](unsigned) {});
        XuSetPlatform(&platform);
    }
    void TearDown() override {
        XuSetPlatform(nullptr);
        XuResetState();
        CamResetState();
        CamSetSleep(nullptr);
    }
    camsim::EmulatedCamera camera{cameraFor({})};
    Win32Platform platform;
};

const ComDevice kWebcam{L"Integrated Webcam", L"\\\\?\\usb#vid_04f2&pid_b6d9", false};
const ComDevice kUnnamed{L"", L"\\\\?\\usb#vid_0000&pid_0000", false};
const ComDevice kCamera{L"Brivane USB Camera", L"\\\\?\\usb#vid_1d6b&pid_0c45&mi_00", true};

TEST_F(Win32PlatformTest, UpdatesTheCameraThroughKsProperty) {
    ComCameraMachine machine({kWebcam, kUnnamed, kCamera}, &camera);
    ImageFolder images(18, 0x51);
    EXPECT_EQ(runWorker(images.directory()), text::success);
    EXPECT_EQ(camera.flash().memory(), imageFor(18, camsim::kFirstProductId, 0x51));
    EXPECT_STREQ(XuDevicePath(), "\\\\?\\usb#vid_1d6b&pid_0c45&mi_00");
    EXPECT_GT(machine.propertyRequests(), 20000);
    EXPECT_EQ(machine.filtersAlive(), 0) << "every filter released";
}

TEST_F(Win32PlatformTest, FindsTheExtensionUnitNodeByTopology) {
    ComCameraMachine machine({kCamera}, &camera);
    ASSERT_EQ(CamOpen(), kOpenOk);
    EXPECT_EQ(transportState().xuNode, 2u);
    EXPECT_EQ(libraryState().slots[0].chipIndex, 18);
    EXPECT_EQ(machine.filtersAlive(), 1);
    CamClose();
    EXPECT_EQ(machine.filtersAlive(), 0);
}

TEST_F(Win32PlatformTest, NoCaptureDeviceIsNoEnumeration) {
    ComCameraMachine machine({}, &camera);
    EXPECT_EQ(CamOpen(), kOpenNoEnumeration);
}

TEST_F(Win32PlatformTest, DevicesThatAreNotTheCameraAreReleased) {
    ComCameraMachine machine({kWebcam, kUnnamed}, &camera);
    EXPECT_EQ(CamOpen(), kOpenNoCamera);
    EXPECT_EQ(machine.filtersAlive(), 0);
    EXPECT_EQ(machine.propertyRequests(), 0) << "a webcam offers no IKsControl to ask";
}

}  // namespace
}  // namespace brivane::testing
