#include "transport/linux/uvc_descriptors.h"

#include <gtest/gtest.h>

#include "linux/descriptor_fixtures.h"

namespace brivane::testing {
namespace {

using uvc::parseVideoControl;

std::vector<std::uint8_t> unitIds(const uvc::VideoControlInterface& vc) {
    std::vector<std::uint8_t> ids;
    for (const auto& u : vc.units) {
        ids.push_back(u.id);
    }
    return ids;
}

TEST(UvcDescriptors, CameraAHasBothExtensionUnits) {
    const auto vcs = parseVideoControl(usbDevice(cameraAUnits()));
    ASSERT_EQ(vcs.size(), 1u);
    EXPECT_EQ(unitIds(vcs[0]), (std::vector<std::uint8_t>{1, 2, 11, 10, 3}));
    const uvc::Unit& first = vcs[0].units[2];
    const uvc::Unit& second = vcs[0].units[3];
    EXPECT_EQ(first.subtype, uvc::kExtensionUnit);
    EXPECT_TRUE(first.controls.empty());
    EXPECT_EQ(Bytes(second.guid.begin(), second.guid.end()),
              guidBytes("1229a78c-47b4-4094-b0ce-db07386fb938"));
    EXPECT_EQ(second.controls, (Bytes{0x00, 0x06}));
    EXPECT_FALSE(uvc::hasControl(second, 1));
    EXPECT_TRUE(uvc::hasControl(second, 10));
    EXPECT_TRUE(uvc::hasControl(second, 11));
    EXPECT_FALSE(uvc::hasControl(second, 17));
}

TEST(UvcDescriptors, CameraBKeepsTheBitsWhateverItsControlCountSays) {
    const auto vcs = parseVideoControl(usbDevice(cameraBUnits(), 2));
    ASSERT_EQ(vcs.size(), 1u);
    EXPECT_EQ(vcs[0].interfaceNumber, 2);
    const uvc::Unit& xu = vcs[0].units[2];
    EXPECT_EQ(xu.id, 13);
    EXPECT_EQ(xu.controls, (Bytes{0x00, 0xE0, 0x00, 0x00}));
    EXPECT_TRUE(uvc::hasControl(xu, 14));
    EXPECT_TRUE(uvc::hasControl(xu, 16));
    EXPECT_FALSE(uvc::hasControl(xu, 13));
}

TEST(UvcDescriptors, TheBrivaneUnitStandsBesideOthers) {
    Bytes units = cameraAUnits();
    const Bytes ours = brivaneUnit();
    units.insert(units.end(), ours.begin(), ours.end());
    const auto vcs = parseVideoControl(usbDevice(units));
    ASSERT_EQ(vcs.size(), 1u);
    EXPECT_EQ(unitIds(vcs[0]), (std::vector<std::uint8_t>{1, 2, 11, 10, 4, 3}));
    EXPECT_EQ(Bytes(vcs[0].units[4].guid.begin(), vcs[0].units[4].guid.end()),
              (Bytes{0xA8, 0xC2, 0x41, 0x7D, 0x95, 0x3E, 0x6F, 0x4B, 0xA0, 0xD7, 0x1F, 0x82, 0xC6,
                     0xE4, 0x59, 0x3B}));
}

TEST(UvcDescriptors, MalformedInputNeverReadsPastTheEnd) {
    const Bytes good = usbDevice(cameraBUnits());
    // Every truncation, and every byte replaced by the values that upset lengths.
    for (std::size_t n = 0; n <= good.size(); ++n) {
        const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        parseVideoControl(cut);
    }
    for (std::size_t i = 0; i < good.size(); ++i) {
        for (std::uint8_t v : {0x00, 0x01, 0x02, 0x18, 0x7F, 0xFF}) {
            Bytes bad = good;
            bad[i] = v;
            for (const auto& vc : parseVideoControl(bad)) {
                for (const auto& unit : vc.units) {
                    EXPECT_LE(unit.controls.size(), bad.size());
                }
            }
        }
    }
}

TEST(UvcDescriptors, AZeroLengthEndsTheWalk) {
    Bytes bytes = usbDevice(cameraBUnits());
    bytes[0] = 0;  // the device descriptor claims no length
    EXPECT_TRUE(parseVideoControl(bytes).empty());
}

TEST(UvcDescriptors, AnExtensionUnitTooShortForItsControlsIsLeftOut) {
    Bytes unit = brivaneUnit();
    unit[23] = 9;  // bControlSize (at 22 + bNrInPins) past bLength
    const auto vcs = parseVideoControl(usbDevice(unit));
    ASSERT_EQ(vcs.size(), 1u);
    EXPECT_EQ(unitIds(vcs[0]), (std::vector<std::uint8_t>{1, 2, 3}));
}

}  // namespace
}  // namespace brivane::testing
