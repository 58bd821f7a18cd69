// The emulated camera holds the host to the rules a real camera and its driver enforce. Each
// rule is shown to matter: a host that breaks exactly that rule gets through a lenient camera
// and fails against the strict one, while the library's own host passes the strict camera.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "camsim/wire.h"
#include "support/sim_rig.h"

namespace brivane::testing {
namespace {

using camsim::Strictness;

// One property request as a host might send it, straight to the bound camera's control.
struct RawRequest {
    std::uint32_t selector;
    std::uint32_t flags;
    std::uint32_t reserved;
    std::vector<std::uint8_t> payload;
};

HResult sendRaw(const RawRequest& r) {
    KsControl* control = nullptr;
    EXPECT_EQ(transportState().boundFilter->queryControl(control), hr::ok);
    const KspNode node{kXuPropertySet, r.selector, r.flags, transportState().xuNode, r.reserved};
    std::vector<std::uint8_t> data = r.payload;
    return control->ksProperty(node, data.data(), static_cast<std::uint32_t>(data.size()));
}

std::vector<std::uint8_t> bytes12(std::initializer_list<std::uint8_t> head, std::uint8_t last = 0) {
    std::vector<std::uint8_t> b(12, 0);
    std::copy(head.begin(), head.end(), b.begin());
    b[11] = last;
    return b;
}

struct RequestRule {
    const char* name;
    RawRequest request;
    bool Strictness::*rule;
};

class RequestRules : public ::testing::TestWithParam<RequestRule> {};

TEST_P(RequestRules, ARequestBreakingTheRuleFailsOnlyOnTheStrictCamera) {
    const RequestRule& c = GetParam();
    for (const bool strict : {false, true}) {
        SCOPED_TRACE(strict ? "strict" : "lenient");
        auto config = defaultCamera();
        config.strict.*c.rule = strict;
        SimRig rig(config);
        ASSERT_GT(CamOpen(), 0);
        const HResult result = sendRaw(c.request);
        if (strict) {
            EXPECT_LT(result, 0);
        } else {
            EXPECT_EQ(result, hr::ok);
        }
    }
}

constexpr std::uint32_t kSet = 0x10000002;
constexpr std::uint32_t kGet = 0x10000001;

INSTANTIATE_TEST_SUITE_P(
    EveryRule, RequestRules,
    ::testing::Values(
        RequestRule{
            "ReservedNotZero", {1, kSet, 1, {0x00, 0x40, 0x12, 0x00}}, &Strictness::requestFrame},
        RequestRule{"FlagsWithoutTopology",
                    {1, 0x2, 0, {0x00, 0x40, 0x12, 0x00}},
                    &Strictness::requestFrame},
        RequestRule{"FlagsWithAnExtraBit",
                    {1, kSet | 0x4, 0, {0x00, 0x40, 0x12, 0x00}},
                    &Strictness::requestFrame},
        RequestRule{"RegisterReadMarkerWithAValue",
                    {1, kSet, 0, {0x61, 0x10, 0x01, 0xFF}},
                    &Strictness::fixedBytes},
        RequestRule{"ReadRequestWithATrailingByte",
                    {3, kSet, 0, bytes12({0x00, 0x40, 0x88}, 1)},
                    &Strictness::fixedBytes},
        RequestRule{"WriteWithBytesPastItsCount",
                    {3, kSet, 0, bytes12({0x00, 0x40, 0x02, 0xAA, 0xBB, 0xCC})},
                    &Strictness::fixedBytes},
        RequestRule{"DeviceEraseWithAnAddress",
                    {3, kSet, 0, bytes12({0x01, 0x00, 0xC8})},
                    &Strictness::fixedBytes},
        RequestRule{"DeviceEraseWithATrailingByte",
                    {3, kSet, 0, bytes12({0x00, 0x00, 0xC8}, 1)},
                    &Strictness::fixedBytes},
        RequestRule{"CommandWordWithATrailingByte",
                    {3, kSet, 0, bytes12({0x00, 0x00, 0x40, 0x01, 0x34, 0x12}, 1)},
                    &Strictness::fixedBytes},
        RequestRule{"RomReadAskingForNine",
                    {4, kSet, 0, bytes12({0xF8, 0x9F, 0x09})},
                    &Strictness::fixedBytes},
        RequestRule{"GetWithADirtyBuffer", {5, kGet, 0, bytes12({0x5A})}, &Strictness::fixedBytes}),
    ByName{});

// The serial-flash port driven by hand, the way a careless host might.
struct PortHost {
    bool pollReady = true;
    bool clearReceive = true;

    void waitReady() const {
        if (!pollReady) {
            return;
        }
        std::uint8_t ready = 0;
        for (int i = 0; i < 100 && ready == 0; ++i) {
            CamRegRead(reg::portReady, &ready);
        }
    }
    void send(std::uint8_t byte) const {
        CamRegWrite(reg::portTransmit, byte);
        CamRegWrite(reg::portStart, 1);
        waitReady();
    }
    std::uint8_t receive() const {
        if (clearReceive) {
            CamRegWrite(reg::portReceive, 0);
        }
        CamRegWrite(reg::portStart, 2);
        waitReady();
        std::uint8_t value = 0;
        CamRegRead(reg::portReceive, &value);
        return value;
    }
    void select() const {
        CamRegWrite(reg::portEnable, 1);
        CamRegWrite(reg::chipSelect, 0);
    }
    void deselect() const {
        CamRegWrite(reg::chipSelect, 1);
        CamRegWrite(reg::portEnable, 0);
    }
    std::vector<std::uint8_t> readId() const {
        select();
        send(0x9F);
        std::vector<std::uint8_t> id;
        for (int i = 0; i < 3; ++i) {
            id.push_back(receive());
        }
        deselect();
        return id;
    }
};

TEST(PortRules, AHostThatSkipsAPortRuleReadsAWrongIdOnlyFromTheStrictCamera) {
    struct Case {
        const char* name;
        PortHost host;
        std::function<void(Strictness&, bool)> rule;
    };
    const Case cases[] = {
        {"no ready poll",
         {.pollReady = false},
         [](Strictness& s, bool on) { s.portReadyPolls = on ? 3 : 0; }},
        {"no clear before a receive",
         {.clearReceive = false},
         [](Strictness& s, bool on) { s.receiveNeedsClear = on; }},
    };
    const auto& expected = camsim::flashPartInfo(camsim::FlashPart::mx25l512).rdid.bytes;
    for (const Case& c : cases) {
        for (const bool strict : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (strict ? ", strict" : ", lenient"));
            auto config = defaultCamera();
            c.rule(config.strict, strict);
            SimRig rig(config);
            ASSERT_GT(CamOpen(), 0);
            const auto id = c.host.readId();
            if (strict) {
                EXPECT_NE(id, expected);
            } else {
                EXPECT_EQ(id, expected);
            }
            // The careful host reads the right id either way.
            EXPECT_EQ(PortHost{}.readId(), expected);
        }
    }
}

TEST(PortRules, AnEraseThroughThePortReadsBlankOnlyOnceTheFlashIsIdle) {
    for (const bool strict : {false, true}) {
        SCOPED_TRACE(strict ? "strict" : "lenient");
        auto config = defaultCamera(2, camsim::FlashPart::pm25lv512, 0xD1);
        config.strict.busyReads = strict;
        SimRig rig(config);
        ASSERT_GT(CamOpen(), 0);
        std::uint16_t restoreRegister = 0xFFFF;
        std::uint8_t restoreValue = 0xD1;
        ASSERT_NE(CamFlashProtect(0, &restoreRegister, &restoreValue), 0);
        // Write enable and chip erase, then straight to a read: no wait for the flash.
        const PortHost host;
        host.select();
        host.send(0x06);
        host.deselect();
        host.select();
        host.send(0xC7);
        host.deselect();
        std::vector<std::uint8_t> head(16);
        ASSERT_NE(CamMemTransfer(transfer::read, 0, head.data(), 16), 0);
        const bool blank =
            std::all_of(head.begin(), head.end(), [](std::uint8_t b) { return b == 0xFF; });
        EXPECT_EQ(blank, !strict);
        // The library's erase waits for the flash to go idle, so its blank check is real.
        ASSERT_NE(CamFlashErase(), 0);
        ASSERT_NE(CamMemTransfer(transfer::read, 0, head.data(), 16), 0);
        EXPECT_TRUE(
            std::all_of(head.begin(), head.end(), [](std::uint8_t b) { return b == 0xFF; }));
    }
}

// Whether a call may answer S_FALSE: the camera search and the requests hold each call to its
// own rule, exactly S_OK or success.
struct FalseResultCase {
    const char* name;
    camsim::ComCall call;
    bool cameraFound;
};

class FalseResults : public ::testing::TestWithParam<FalseResultCase> {};

TEST_P(FalseResults, EachCallIsHeldToItsOwnRule) {
    const FalseResultCase& c = GetParam();
    SimRig rig(defaultCamera(), {camsim::SimDeviceKind::camera},
               {.falseResults = static_cast<std::uint32_t>(c.call)});
    const int opened = CamOpen();
    EXPECT_EQ(opened > 0, c.cameraFound);
    if (opened > 0) {
        std::uint8_t id[4] = {};
        EXPECT_NE(CamMemTransfer(transfer::read, 0xC006, id, 4), 0);
        EXPECT_EQ(id[0], 0x2E);
        CamClose();
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryCall, FalseResults,
    ::testing::Values(
        // Success is enough.
        FalseResultCase{"BindPropertyBag", camsim::ComCall::bindPropertyBag, true},
        FalseResultCase{"NodeCount", camsim::ComCall::nodeCount, true},
        FalseResultCase{"NodeType", camsim::ComCall::nodeType, true},
        FalseResultCase{"CreateNodeControl", camsim::ComCall::createNodeControl, true},
        FalseResultCase{"NodeProbe", camsim::ComCall::nodeProbe, true},
        // Exactly S_OK is required.
        FalseResultCase{"BindFilter", camsim::ComCall::bindFilter, false},
        FalseResultCase{"QueryTopology", camsim::ComCall::queryTopology, false},
        FalseResultCase{"QueryControl", camsim::ComCall::queryControl, false},
        FalseResultCase{"Request", camsim::ComCall::request, false}),
    ByName{});

TEST(StrictCamera, TheLibrarysHostUpdatesACameraWhosePortIsSlowToBeReady) {
    auto config = defaultCamera();
    config.strict.portReadyPolls = 3;
    SimRig rig(config);
    ASSERT_GT(CamOpen(), 0);
    std::uint16_t restoreRegister = 0xFFFF;
    std::uint8_t restoreValue = 0x51;
    EXPECT_NE(CamFlashProtect(0, &restoreRegister, &restoreValue), 0);
    EXPECT_NE(CamFlashErase(), 0);
    EXPECT_EQ(libraryState().flash.manufacturerId, 0xC2);
    std::vector<std::uint8_t> all(0x10000);
    ASSERT_NE(CamMemTransfer(transfer::read, 0, all.data(), 0x10000), 0);
    EXPECT_TRUE(std::all_of(all.begin(), all.end(), [](std::uint8_t b) { return b == 0xFF; }));
    CamClose();
}

}  // namespace
}  // namespace brivane::testing
