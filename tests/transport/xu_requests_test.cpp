#include <gtest/gtest.h>

#include <functional>

#include "support/scripted_filter.h"
#include "support/sim_rig.h"

namespace brivane::testing {
namespace {

std::uint8_t acceptAny(int, MemTransferFn, std::uint8_t*) {
    return 1;
}

struct Expected {
    std::uint32_t id;
    std::uint32_t flags;
    const char* out;
};

struct RequestCase {
    const char* name;
    std::function<std::uint8_t()> call;
    std::vector<Expected> requests;
};

const std::uint8_t kBytes[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
const std::uint8_t kSensor[6] = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
constexpr const char* kZero12 = "000000000000000000000000";

class XuRequestPayloads : public ::testing::TestWithParam<RequestCase> {
protected:
    void SetUp() override {
        ASSERT_EQ(XuFindCamera(0, acceptAny), 0);
        rig.trace.records.clear();
    }
    SimRig rig;
};

TEST_P(XuRequestPayloads, SendsTheControlsExactBytes) {
    const RequestCase& c = GetParam();
    EXPECT_EQ(c.call(), 1);
    ASSERT_EQ(rig.trace.records.size(), c.requests.size());
    for (std::size_t i = 0; i < c.requests.size(); ++i) {
        const TraceRecord& r = rig.trace.records[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(r.set, kXuPropertySet);
        EXPECT_EQ(r.node, camsim::kCameraXuNode);
        EXPECT_EQ(r.id, c.requests[i].id);
        EXPECT_EQ(r.flags, c.requests[i].flags);
        EXPECT_EQ(hexOf(r.out), c.requests[i].out);
    }
}

std::uint8_t scratch[8];
std::uint16_t word;
std::uint8_t sensorOut[6];

INSTANTIATE_TEST_SUITE_P(
    EveryRequestKind, XuRequestPayloads,
    ::testing::Values(
        RequestCase{"RegisterWrite",
                    [] { return XuRegWrite(0, 0x1080, 0xAB); },
                    {{1, 0x10000002, "8010ab00"}}},
        RequestCase{"RegisterReadSetsMarkerThenFetches",
                    [] { return XuRegRead(0, 0x1061, scratch); },
                    {{1, 0x10000002, "611000ff"}, {1, 0x10000001, "00000000"}}},
        RequestCase{"MemoryWriteCapsCountAtEight",
                    [] { return XuMemWrite(0, 0x0010, 12, kBytes); },
                    {{3, 0x10000002, "100008010203040506070800"}}},
        RequestCase{"MemoryWriteOfNothing",
                    [] { return XuMemWrite(0, 0x0020, 0, nullptr); },
                    {{3, 0x10000002, "200000000000000000000000"}}},
        RequestCase{"ReadRequestOfThree",
                    [] { return XuMemReadRequest(0, 0x0106, 3); },
                    {{3, 0x10000002, "060183000000000000000000"}}},
        RequestCase{"ReadRequestCapsAtEight",
                    [] { return XuMemReadRequest(0, 0x0106, 9); },
                    {{3, 0x10000002, "060188000000000000000000"}}},
        RequestCase{"ReadDataIsOneGet",
                    [] {
                        XuMemReadRequest(0, 0, 8);
                        return XuMemReadData(0, scratch);
                    },
                    {{3, 0x10000002, "000088000000000000000000"}, {3, 0x10000001, kZero12}}},
        RequestCase{"DeviceErase",
                    [] { return XuDeviceErase(0); },
                    {{3, 0x10000002, "0000c8000000000000000000"}}},
        RequestCase{"CommandWord",
                    [] { return XuCommandWord(0, 0x12, 0x3456); },
                    {{3, 0x10000002, "000040125634000000000000"}}},
        RequestCase{"RomReadAlwaysAsksForEight",
                    [] { return XuRomRead(0, 0x9FF8, scratch, 2); },
                    {{4, 0x10000002, "f89f08000000000000000000"}, {4, 0x10000001, kZero12}}},
        RequestCase{
            "InfoWordIsOneGet", [] { return XuInfoWord(0, &word); }, {{5, 0x10000001, kZero12}}},
        RequestCase{
            "InfoByteIsOneGet", [] { return XuInfoByte(0, scratch); }, {{5, 0x10000001, kZero12}}},
        RequestCase{"SensorWriteWideAddressSendsThree",
                    [] { return XuSensorWrite(0x42, 0x21, kSensor, 6); },
                    {{2, 0x10000002, "4221aabbcc000000"}}},
        RequestCase{"SensorWriteNarrowAddressSendsFour",
                    [] { return XuSensorWrite(0x42, 0x13, kSensor, 6); },
                    {{2, 0x10000002, "4213aabbccdd0000"}}},
        RequestCase{"SensorWriteNeverOverwritesTheMarker",
                    [] { return XuSensorWrite(0x42, 0x2F, kSensor, 6); },
                    {{2, 0x10000002, "422faabbccddee00"}}},
        RequestCase{"SensorWriteNeverReadsPastTheCallersBytes",
                    [] { return XuSensorWrite(0x42, 0x2F, kSensor, 2); },
                    {{2, 0x10000002, "422faabb00000000"}}},
        RequestCase{"SensorReadSendsAddressAndMarker",
                    [] {
                        std::copy(kSensor, kSensor + 6, sensorOut);
                        return XuSensorRead(0x42, 0x21, sensorOut, 6);
                    },
                    {{2, 0x10000002, "4221aabb000000ff"}, {2, 0x10000001, "0000000000000000"}}}),
    ByName());

class XuRequestOutputs : public ::testing::Test {
protected:
    static camsim::CameraConfig camera() {
        auto c = defaultCamera();
        c.inUse = 0x07;
        c.infoWord = 0x1234;
        c.infoByte = 0x02;
        return c;
    }
    void SetUp() override { ASSERT_EQ(XuFindCamera(0, acceptAny), 0); }
    void failRequestAfter(std::uint64_t k) {
        rig.platform.faults().failRequest = rig.platform.stats().propertyRequests + k;
    }
    SimRig rig{camera()};
};

TEST_F(XuRequestOutputs, RegisterReadDeliversReplyByteTwo) {
    std::uint8_t value = 0;
    EXPECT_EQ(XuRegRead(0, 0x1061, &value), 1);
    EXPECT_EQ(value, 0x07);
}

TEST_F(XuRequestOutputs, FailedFetchLeavesTheOutputAlone) {
    std::uint8_t value = 0x5A;
    failRequestAfter(2);
    EXPECT_EQ(XuRegRead(0, 0x1061, &value), 0);
    EXPECT_EQ(value, 0x5A);
}

TEST_F(XuRequestOutputs, FailedSetEndsTheRequestWithoutTheGet) {
    std::uint8_t value = 0x5A;
    failRequestAfter(1);
    const auto before = rig.platform.stats().propertyRequests;
    EXPECT_EQ(XuRegRead(0, 0x1061, &value), 0);
    EXPECT_EQ(rig.platform.stats().propertyRequests, before + 1);
    EXPECT_EQ(value, 0x5A);
}

TEST_F(XuRequestOutputs, InfoWordAndByteComeFromOneReply) {
    std::uint16_t w = 0;
    std::uint8_t b = 0;
    EXPECT_EQ(XuInfoWord(0, &w), 1);
    EXPECT_EQ(XuInfoByte(0, &b), 1);
    EXPECT_EQ(w, 0x1234);
    EXPECT_EQ(b, 0x02);
}

TEST_F(XuRequestOutputs, MemoryReadDataDeliversAllEightBytes) {
    std::uint8_t out[8] = {};
    ASSERT_EQ(XuMemReadRequest(0, 0x0200, 3), 1);
    ASSERT_EQ(XuMemReadData(0, out), 1);
    const auto& flash = rig.camera->flash().memory();
    EXPECT_TRUE(std::equal(out, out + 3, flash.begin() + 0x200));
}

TEST(XuRequestsUnbound, EveryRequestFailsWithoutAPlatformCall) {
    SimRig rig;
    std::uint8_t b[8] = {};
    std::uint16_t w = 0;
    EXPECT_EQ(XuRegWrite(0, 1, 2), 0);
    EXPECT_EQ(XuRegRead(0, 1, b), 0);
    EXPECT_EQ(XuSensorWrite(1, 0x21, b, 8), 0);
    EXPECT_EQ(XuSensorRead(1, 0x21, b, 8), 0);
    EXPECT_EQ(XuMemWrite(0, 0, 8, b), 0);
    EXPECT_EQ(XuMemReadRequest(0, 0, 8), 0);
    EXPECT_EQ(XuMemReadData(0, b), 0);
    EXPECT_EQ(XuDeviceErase(0), 0);
    EXPECT_EQ(XuCommandWord(0, 1, 2), 0);
    EXPECT_EQ(XuRomRead(0, 0, b, 8), 0);
    EXPECT_EQ(XuInfoWord(0, &w), 0);
    EXPECT_EQ(XuInfoByte(0, b), 0);
    EXPECT_EQ(rig.platform.stats().propertyRequests, 0u);
}

// Device replies are input: a count byte or a control byte never moves data past the reply,
// the payload or the caller's buffer.
class MalformedReplies : public ::testing::Test {
protected:
    void SetUp() override {
        XuResetState();
        transportState().boundFilter = std::make_unique<ScriptedFilter>(
            [this](const KspNode& p, std::uint8_t* d, std::uint32_t n) {
                if ((p.flags & ksflags::get) != 0) {
                    for (std::uint32_t i = 0; i < n; ++i) {
                        d[i] = static_cast<std::uint8_t>(0xA0 + i);
                    }
                    d[2] = countByte;
                }
                return hr::ok;
            });
    }
    void TearDown() override { XuResetState(); }
    std::uint8_t countByte = 8;
};

TEST_F(MalformedReplies, RomCountBeyondTheRoomCopiesOnlyWhatFits) {
    struct Case {
        std::uint8_t count;
        std::size_t room;
        std::size_t copied;
    };
    for (const Case c :
         {Case{0xFF, 16, 9}, Case{12, 4, 4}, Case{8, 8, 8}, Case{0, 8, 0}, Case{3, 8, 3}}) {
        SCOPED_TRACE(::testing::Message() << "count " << int(c.count) << " room " << c.room);
        countByte = c.count;
        std::uint8_t out[17];
        std::fill(std::begin(out), std::end(out), 0xEE);
        std::size_t delivered = 99;
        EXPECT_EQ(XuRomRead(0, 0, out, c.room, &delivered), 1);
        EXPECT_EQ(delivered, c.copied);
        for (std::size_t i = 0; i < 17; ++i) {
            EXPECT_EQ(out[i], i < c.copied ? 0xA3 + i : 0xEE) << "byte " << i;
        }
    }
}

TEST_F(MalformedReplies, SensorReadNeverWritesPastTheCallersBytes) {
    countByte = 0xA2;
    std::uint8_t out[4] = {0x11, 0x22, 0xEE, 0xEE};
    EXPECT_EQ(XuSensorRead(0x42, 0x2F, out, 2), 1);  // the control byte asks for 17
    EXPECT_EQ(out[0], 0xA2);
    EXPECT_EQ(out[1], 0xA3);
    EXPECT_EQ(out[2], 0xEE);
    EXPECT_EQ(out[3], 0xEE);
}

TEST_F(MalformedReplies, SensorReadTakesAtMostSixReplyBytes) {
    countByte = 0xA2;
    std::uint8_t out[10];
    std::fill(std::begin(out), std::end(out), 0xEE);
    EXPECT_EQ(XuSensorRead(0x42, 0x2F, out, 10), 1);
    EXPECT_EQ(out[5], 0xA7);
    EXPECT_EQ(out[6], 0xEE);
}

}  // namespace
}  // namespace brivane::testing
