#include <gtest/gtest.h>

#include "support/port_log.h"
#include "support/sim_rig.h"
#include "support/trace_query.h"

namespace brivane::testing {
namespace {

using camsim::FlashPart;

struct PartCase {
    const char* name;
    FlashPart part;
    std::uint8_t flashType;
    std::uint8_t commandSet;
    std::vector<std::uint8_t> probes;  // the opcodes sent, in order
};

class FlashDetection : public ::testing::TestWithParam<PartCase> {};

TEST_P(FlashDetection, FindsThePartByTheFirstProbeItAnswers) {
    const PartCase& c = GetParam();
    SimRig rig(defaultCamera(18, c.part));
    ASSERT_EQ(CamOpen(), kOpenOk);
    const std::size_t from = rig.camera->counters().registerWrites.size();
    EXPECT_EQ(CamFlashDetect(), c.flashType);
    EXPECT_EQ(libraryState().flash.detectedFlashType, c.flashType);
    EXPECT_EQ(libraryState().flash.commandSetIndex, c.commandSet);
    // Each probe opens the port once and sends its opcode first.
    std::vector<std::uint8_t> opcodes;
    const auto sent = bytesSent(*rig.camera, from);
    const auto& writes = rig.camera->counters().registerWrites;
    std::size_t shift = 0;
    bool fresh = false;
    for (std::size_t i = from; i < writes.size(); ++i) {
        if (writes[i] == std::pair<std::uint16_t, std::uint8_t>{0x1080, 1}) {
            fresh = true;
        } else if (writes[i].first == 0x1081 && writes[i].second == 1) {
            if (fresh) {
                opcodes.push_back(sent[shift]);
            }
            fresh = false;
            ++shift;
        }
    }
    EXPECT_EQ(opcodes, c.probes);
}

INSTANTIATE_TEST_SUITE_P(
    Parts, FlashDetection,
    ::testing::Values(
        PartCase{"Mx25l512ByRdid", FlashPart::mx25l512, 1, 1, {0x9F}},
        PartCase{"Mx25l5121eByRdid", FlashPart::mx25l5121e, 1, 1, {0x9F}},
        PartCase{"At25df512cByRdid", FlashPart::at25df512c, 4, 2, {0x9F}},
        PartCase{"At25f512aIsNotFound", FlashPart::at25f512a, 0, 0, {0x9F, 0x15, 0x90, 0xAB}},
        PartCase{"Pm25lv512ByRes", FlashPart::pm25lv512, 8, 3, {0x9F, 0x15, 0x90, 0xAB}},
        PartCase{"Pm25ld512ByRdidAfterContinuation", FlashPart::pm25ld512, 8, 3, {0x9F}},
        PartCase{"Sst25vf512aByRems", FlashPart::sst25vf512a, 3, 4, {0x9F, 0x15, 0x90}},
        PartCase{"UnknownAnswersNothing", FlashPart::unknown, 0, 0, {0x9F, 0x15, 0x90, 0xAB}}),
    ByName());

struct RdidCase {
    const char* name;
    std::vector<std::uint8_t> answer;
    std::array<std::uint8_t, 3> id;
    std::uint8_t flashType;
};

class RdidAnswers : public ::testing::TestWithParam<RdidCase> {};

TEST_P(RdidAnswers, SkipOneContinuationCodeOnly) {
    const RdidCase& c = GetParam();
    auto config = defaultCamera(18, FlashPart::unknown);
    config.rdidAnswer = c.answer;
    SimRig rig(config);
    ASSERT_EQ(CamOpen(), kOpenOk);
    CamFlashReadId(0x9F, 0, 2);
    const FlashIdState& id = libraryState().flash;
    EXPECT_EQ((std::array<std::uint8_t, 3>{id.manufacturerId, id.deviceId1, id.deviceId2}), c.id);
    EXPECT_EQ(CamFlashLookup(), c.flashType);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RdidAnswers,
    ::testing::Values(RdidCase{"Plain", {0xC2, 0x20, 0x10}, {0xC2, 0x20, 0x10}, 1},
                      RdidCase{"OneContinuation", {0x7F, 0xC2, 0x20, 0x10}, {0xC2, 0x20, 0x10}, 1},
                      RdidCase{"TwoContinuations", {0x7F, 0x7F, 0xC2, 0x20}, {0x7F, 0xC2, 0x20}, 0},
                      RdidCase{"PmcAnyThirdByte", {0x9D, 0x20, 0x42}, {0x9D, 0x20, 0x42}, 8},
                      RdidCase{
                          "AtmelNeedsItsThirdByte", {0x1F, 0x65, 0x02}, {0x1F, 0x65, 0x02}, 0}),
    ByName());

TEST(FlashType, FallsBackToTheChipsRegister) {
    auto config = defaultCamera(10, FlashPart::unknown);  // row 10 keeps it at 0x690
    config.flashTypeRegister = 0x0B;
    SimRig rig(config);
    ASSERT_EQ(CamOpen(), kOpenOk);
    EXPECT_EQ(CamFlashType(0), 0x0B);
    EXPECT_EQ(libraryState().flash.commandSetIndex, 0);
}

TEST(FlashType, IsTwoHundredFiftyFiveWhenTheRegisterCannotBeRead) {
    std::uint64_t failing = 0;
    {
        SimRig probe(defaultCamera(10, FlashPart::unknown));
        ASSERT_EQ(CamOpen(), kOpenOk);
        probe.trace.records.clear();
        CamFlashType(0);
        failing = seqOf(probe.trace.records,
                        [](const TraceRecord& r) { return isRegisterReadOf(r, 0x0690); });
        ASSERT_NE(failing, 0u);
    }
    SimRig rig(defaultCamera(10, FlashPart::unknown), {camsim::SimDeviceKind::camera},
               {.failRequest = failing});
    ASSERT_EQ(CamOpen(), kOpenOk);
    EXPECT_EQ(CamFlashType(0), 255);
}

TEST(PortWaits, APortThatIsNeverReadyCostsAThousandPollsPerShift) {
    auto config = defaultCamera();
    config.faults.portNeverReady = true;
    SimRig rig(config);
    ASSERT_EQ(CamOpen(), kOpenOk);
    rig.trace.records.clear();
    rig.sleptMs = 0;
    CamFlashReadId(0x9F, 0, 2);  // one shift out, three in
    std::size_t readyPolls = 0;
    for (const TraceRecord& r : rig.trace.records) {
        readyPolls += isRegisterReadOf(r, 0x1084) ? 1 : 0;
    }
    EXPECT_EQ(readyPolls, 4000u);
    EXPECT_EQ(rig.sleptMs, 4000u);
    // The probe went on regardless and read the part.
    EXPECT_EQ(libraryState().flash.manufacturerId, 0xC2);
}

// A camera whose WP# is tied inactive, so a status write is taken, and whose flash then never
// leaves busy.
SimRig* stuckFlash() {
    auto config = defaultCamera(18, FlashPart::mx25l512, 0x00);
    config.faults.flashStuckBusy = true;
    auto* rig = new SimRig(config);
    EXPECT_EQ(CamOpen(), kOpenOk);
    sf::portOn(0);
    sf::select(0);
    sf::send(0, 0x06);
    sf::deselect(0);
    sf::select(0);
    sf::send(0, 0x01);
    sf::send(0, 0x00);
    sf::deselect(0);
    EXPECT_TRUE(rig->camera->flash().busy());
    rig->sleptMs = 0;
    return rig;
}

TEST(PortWaits, AFlashThatStaysBusyEndsTheIdleWaitAfterTenThousandTriesSelected) {
    std::unique_ptr<SimRig> rig(stuckFlash());
    CamSfWaitIdle(0);
    EXPECT_EQ(rig->sleptMs, 10000u);
    EXPECT_EQ(rig->camera->reg(0x1091), 0) << "chip select left low";
}

TEST(PortWaits, AStatusReadThatFailsAtOnceEndsTheIdleWait) {
    std::unique_ptr<SimRig> rig(stuckFlash());
    rig->platform.faults().unplugFrom = rig->platform.stats().propertyRequests + 1;
    CamSfWaitIdle(0);
    // The status opcode out and the status byte in, each waiting out its ready polls; no
    // second try follows.
    EXPECT_EQ(rig->sleptMs, 2000u);
}

}  // namespace
}  // namespace brivane::testing
