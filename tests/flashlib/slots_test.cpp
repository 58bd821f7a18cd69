#include <gtest/gtest.h>

#include "support/sim_rig.h"
#include "support/trace_query.h"

namespace brivane::testing {
namespace {

using camsim::SimDeviceKind;

TEST(ClosedSlot, EveryOperationFailsWithoutARequest) {
    SimRig rig;
    ASSERT_EQ(CamOpen(), kOpenOk);
    const auto before = rig.requestCount();
    const int slot = 3;  // never opened
    std::uint8_t byte = 0x5A;
    std::uint16_t word = 0x5A5A;
    std::uint8_t buffer[8] = {};
    std::uint16_t restoreRegister = 0x1234;
    std::uint8_t restoreValue = 0x51;
    EXPECT_EQ(CamClose(slot), 0);
    EXPECT_EQ(CamRegWrite(slot, 0x1080, 1), 0);
    EXPECT_EQ(CamRegRead(slot, 0x1061, &byte), 0);
    EXPECT_EQ(CamMemTransfer(slot, transfer::read, 0, buffer, 8), 0);
    EXPECT_EQ(CamInfoByte(slot, &byte), 0);
    EXPECT_EQ(CamInfoWord(slot, &word), 0);
    EXPECT_EQ(CamPostUpdate(slot), 0);
    EXPECT_EQ(CamChipIdentify(slot, buffer), 0);
    EXPECT_EQ(CamFlashType(slot), -1);
    EXPECT_EQ(CamFlashErase(slot), 0);
    EXPECT_EQ(CamFlashProtect(slot, 0, &restoreRegister, &restoreValue), 0);
    EXPECT_EQ(CamFlashProtect(slot, 1, &restoreRegister, &restoreValue), 0);
    EXPECT_EQ(rig.requestCount(), before);
    EXPECT_EQ(byte, 0x5A);
    EXPECT_EQ(word, 0x5A5A);
    EXPECT_EQ(restoreRegister, 0x1234);
    EXPECT_EQ(restoreValue, 0x51);
}

struct OpenCase {
    const char* name;
    std::vector<SimDeviceKind> devices;
    camsim::PlatformFaults faults;
    int result;
    bool open;
};

class OpenResults : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenResults, MapTheCameraSearch) {
    const OpenCase& c = GetParam();
    SimRig rig(defaultCamera(), c.devices, c.faults);
    EXPECT_EQ(CamOpen(), c.result);
    EXPECT_EQ(libraryState().slots[0].open != 0, c.open);
    EXPECT_EQ(libraryState().ops.regRead != nullptr, c.open);
    EXPECT_EQ(libraryState().chunkSize, c.open ? 8u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, OpenResults,
    ::testing::Values(
        OpenCase{"Camera", {SimDeviceKind::camera}, {}, kOpenOk, true},
        OpenCase{"NoDevice", {}, {}, kOpenNoEnumeration, false},
        OpenCase{"NoCamera", {SimDeviceKind::webcam}, {}, kOpenNoCamera, false},
        OpenCase{
            "UnreadablePath", {SimDeviceKind::camera}, {.devicePathUnreadable = true}, 0, false}),
    ByName());

TEST(Open, TheSearchMatchesForTheCallersSlotAndSlotZeroOpens) {
    SimRig rig;
    int slot = 5;
    EXPECT_EQ(CamOpen(slot), kOpenOk);
    EXPECT_EQ(slot, 0);
    EXPECT_EQ(libraryState().slots[5].chipIndex, 18);
    EXPECT_EQ(libraryState().slots[5].open, 0);
    EXPECT_EQ(libraryState().slots[0].open, 1);
}

TEST(Open, RowZeroWithChunkRegisterThreeMovesOneBytePerRequest) {
    auto config = defaultCamera(0);
    config.chunkRegister = 3;
    SimRig rig(config);
    ASSERT_EQ(CamOpen(), kOpenOk);
    EXPECT_EQ(libraryState().chunkSize, 1u);
    rig.trace.records.clear();
    std::uint8_t id[4] = {};
    ASSERT_EQ(CamMemTransfer(transfer::read, 0xC006, id, 4), 1);
    EXPECT_EQ(rig.trace.records.size(), 5u);  // one 1-byte read request, four fetches
    EXPECT_EQ(rig.trace.records[0].out[2], 0x81);
    const auto& flash = rig.camera->flash().memory();
    EXPECT_TRUE(std::equal(id, id + 4, flash.begin() + 0xC006));
}

TEST(Open, ChunkRegisterIsReadOnRowZeroOnly) {
    for (int row : {0, 1, 18}) {
        SCOPED_TRACE(row);
        SimRig rig(defaultCamera(row));
        ASSERT_EQ(CamOpen(), kOpenOk);
        EXPECT_EQ(libraryState().chunkSize, 8u);
        const bool read = seqOf(rig.trace.records,
                                [](const TraceRecord& r) { return isRegisterReadOf(r, 0x3C5); });
        EXPECT_EQ(read, row == 0);
    }
}

TEST(Open, RowZeroWhoseChunkRegisterCannotBeReadLeavesTheSlotOpenWithResultZero) {
    std::uint64_t failing = 0;
    {
        SimRig probe(defaultCamera(0));
        ASSERT_EQ(CamOpen(), kOpenOk);
        failing = seqOf(probe.trace.records,
                        [](const TraceRecord& r) { return isRegisterReadOf(r, 0x3C5); });
        ASSERT_NE(failing, 0u);
    }
    SimRig rig(defaultCamera(0), {SimDeviceKind::camera}, {.failRequest = failing});
    EXPECT_EQ(CamOpen(), 0);
    EXPECT_EQ(libraryState().slots[0].open, 1);
    EXPECT_EQ(libraryState().chunkSize, 8u);
}

TEST(Open, FailedIdentificationStillOpensWithTheSearchsRow) {
    // The search reads four id addresses before it reaches row 18's; identification's first
    // ROM read is the fifth.
    std::uint64_t failing = 0;
    {
        SimRig probe;
        ASSERT_EQ(CamOpen(), kOpenOk);
        failing = seqOf(probe.trace.records, isRomRead, 5);
    }
    SimRig failingRig(defaultCamera(), {SimDeviceKind::camera}, {.failRequest = failing});
    EXPECT_EQ(CamOpen(), kOpenOk);
    EXPECT_EQ(libraryState().slots[0].chipIndex, 18);
    EXPECT_EQ(libraryState().slots[0].chipId, (std::array<std::uint8_t, 8>{}));
}

TEST(Close, SecondCloseFailsWithoutClosingTheTransportAgain) {
    SimRig rig;
    ASSERT_EQ(CamOpen(), kOpenOk);
    EXPECT_EQ(CamClose(), 1);
    EXPECT_EQ(CamClose(), 0);
    EXPECT_EQ(rig.platform.stats().uninitializeCalls, 1);
    EXPECT_EQ(rig.platform.stats().liveFilters, 0);
}

TEST(PostUpdate, RowsZeroAndOneWriteNothingOthersClearRegister1073) {
    struct Case {
        int row;
        int result;
        std::uint32_t writes;
    };
    for (const Case c : {Case{0, 1, 0}, Case{1, 1, 0}, Case{2, 2, 1}, Case{22, 2, 1}}) {
        SCOPED_TRACE(c.row);
        SimRig rig(defaultCamera(c.row));
        ASSERT_EQ(CamOpen(), kOpenOk);
        EXPECT_EQ(CamPostUpdate(), c.result);
        EXPECT_EQ(rig.camera->counters().postUpdateWrites, c.writes);
    }
}

TEST(PostUpdate, ReportsTwoEvenWhenTheWriteFails) {
    SimRig rig(defaultCamera(5));
    ASSERT_EQ(CamOpen(), kOpenOk);
    rig.platform.faults().unplugFrom = rig.platform.stats().propertyRequests + 1;
    EXPECT_EQ(CamPostUpdate(), 2);
}

TEST(Info, AskedOnlyOfChipsThatReportIt) {
    for (int row : {17, 18}) {
        SCOPED_TRACE(row);
        auto config = defaultCamera(row);
        config.infoWord = 0x0B00;
        config.infoByte = 2;
        SimRig rig(config);
        ASSERT_EQ(CamOpen(), kOpenOk);
        const auto before = rig.requestCount();
        std::uint8_t byte = 0x5A;
        std::uint16_t word = 0x5A5A;
        const bool reports = row == 18;
        EXPECT_EQ(CamInfoByte(0, &byte), reports ? 1 : 0);
        EXPECT_EQ(CamInfoWord(0, &word), reports ? 1 : 0);
        EXPECT_EQ(byte, reports ? 2 : 0x5A);
        EXPECT_EQ(word, reports ? 0x0B00 : 0x5A5A);
        EXPECT_EQ(rig.requestCount() - before, reports ? 2u : 0u);
    }
}

}  // namespace
}  // namespace brivane::testing
