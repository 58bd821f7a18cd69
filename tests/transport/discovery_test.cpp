#include <gtest/gtest.h>

#include "support/sim_rig.h"

namespace brivane::testing {
namespace {

using camsim::SimDeviceKind;

// Recognises the emulated camera's default chip by its id in ROM, as chip matching would.
std::uint8_t matchOpal(int, MemTransferFn read, std::uint8_t* out) {
    std::uint8_t id[8] = {};
    if (read(0, transfer::romRead, 0xBFF8, id, 8, 8) == 0) {
        return 0;
    }
    std::copy(id, id + 8, out);
    return std::equal(id, id + 4, "OPAL") ? 1 : 0;
}

struct SearchCase {
    const char* name;
    std::vector<SimDeviceKind> devices;
    camsim::PlatformFaults faults;
    int result;
    std::vector<int> filterBinds;
    int liveFilters;
    std::uint32_t xuNode;
    const char* pathEnd;  // the device path ends with this; "" when none was read
};

class CameraSearch : public ::testing::TestWithParam<SearchCase> {};

TEST_P(CameraSearch, BindsTheFirstDeviceWhoseChipAnswers) {
    const SearchCase& c = GetParam();
    SimRig rig(defaultCamera(), c.devices, c.faults);
    EXPECT_EQ(XuFindCamera(0, matchOpal), c.result);
    EXPECT_EQ(rig.platform.stats().filterBinds, c.filterBinds);
    EXPECT_EQ(rig.platform.stats().liveFilters, c.liveFilters);
    EXPECT_EQ(transportState().boundFilter != nullptr, c.liveFilters == 1);
    EXPECT_EQ(transportState().xuNode, c.xuNode);
    const std::string path = XuDevicePath();
    if (*c.pathEnd == '\0') {
        EXPECT_EQ(path, "");
    } else {
        EXPECT_TRUE(path.ends_with(c.pathEnd)) << path;
    }
    EXPECT_EQ(rig.platform.stats().initializeCalls, 1);
    EXPECT_EQ(rig.platform.stats().uninitializeCalls, 0);
}

constexpr const char* kPathOf0 = "0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
constexpr const char* kPathOf1 = "0001#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";

INSTANTIATE_TEST_SUITE_P(
    Machines, CameraSearch,
    ::testing::Values(
        SearchCase{"NoDevice", {}, {}, 1, {}, 0, 0, ""},
        SearchCase{
            "NoEnumerator", {SimDeviceKind::camera}, {.noEnumerator = true}, 1, {0}, 0, 0, ""},
        SearchCase{"NoDeviceAnswers",
                   {SimDeviceKind::webcam, SimDeviceKind::webcam},
                   {},
                   2,
                   {1, 1},
                   0,
                   2,
                   ""},
        SearchCase{"SecondDeviceIsTheCamera",
                   {SimDeviceKind::webcam, SimDeviceKind::camera},
                   {},
                   0,
                   {1, 1},
                   1,
                   camsim::kCameraXuNode,
                   kPathOf1},
        SearchCase{"UnnamedDeviceIsSkippedUnbound",
                   {SimDeviceKind::noname, SimDeviceKind::camera},
                   {},
                   0,
                   {0, 1},
                   1,
                   camsim::kCameraXuNode,
                   kPathOf1},
        SearchCase{"UnfoundNodeTriesOneThenTwo",
                   {SimDeviceKind::cameraNoNode},
                   {},
                   0,
                   {1},
                   1,
                   2,
                   kPathOf0},
        SearchCase{"UnreadablePathKeepsTheCameraBound",
                   {SimDeviceKind::camera},
                   {.devicePathUnreadable = true},
                   hr::fail,
                   {1},
                   1,
                   camsim::kCameraXuNode,
                   ""}),
    ByName());

TEST(CameraSearchNodes, ProbesOnlyVendorNodesAndTakesTheOneThatAnswers) {
    SimRig rig;
    ASSERT_EQ(XuFindCamera(0, matchOpal), 0);
    // The topology holds two vendor-specific nodes; the first is another vendor's unit.
    ASSERT_GE(rig.trace.records.size(), 2u);
    const TraceRecord& first = rig.trace.records[0];
    const TraceRecord& second = rig.trace.records[1];
    EXPECT_EQ(first.node, 2u);
    EXPECT_EQ(first.flags, 0x10000100u);
    EXPECT_EQ(first.id, 0u);
    EXPECT_TRUE(first.out.empty());
    EXPECT_LT(first.hr, 0);
    EXPECT_EQ(second.node, 3u);
    EXPECT_EQ(second.hr, 0);
}

TEST(CameraSearchNodes, WithoutTopologyTheRomIsReadOnNodeOneThenTwo) {
    SimRig rig(defaultCamera(), {SimDeviceKind::cameraNoNode});
    ASSERT_EQ(XuFindCamera(0, matchOpal), 0);
    std::vector<std::uint32_t> romNodes;
    for (const TraceRecord& r : rig.trace.records) {
        if (r.id == selector::rom && (r.flags & ksflags::set) != 0) {
            romNodes.push_back(r.node);
        }
    }
    EXPECT_EQ(romNodes, (std::vector<std::uint32_t>{1, 2}));
}

TEST(CameraClose, ReleasesTheFilterAndEndsEveryRequest) {
    SimRig rig;
    ASSERT_EQ(XuFindCamera(0, matchOpal), 0);
    EXPECT_EQ(XuClose(0), 1);
    EXPECT_EQ(rig.platform.stats().liveFilters, 0);
    EXPECT_EQ(rig.platform.stats().uninitializeCalls, 1);
    const auto before = rig.platform.stats().propertyRequests;
    std::uint8_t value = 0;
    EXPECT_EQ(XuRegRead(0, 0x1061, &value), 0);
    EXPECT_EQ(XuRegWrite(0, 0x1061, 1), 0);
    EXPECT_EQ(rig.platform.stats().propertyRequests, before);
}

}  // namespace
}  // namespace brivane::testing
