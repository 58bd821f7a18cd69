#include <gtest/gtest.h>

#include "support/port_log.h"
#include "support/sim_rig.h"
#include "support/trace_query.h"

namespace brivane::testing {
namespace {

using camsim::FlashPart;

enum class EraseBy { c7, e60, camera };

struct EraseCase {
    const char* name;
    int row;
    FlashPart part;
    std::uint8_t typeRegister;
    EraseBy by;
};

class EraseChoice : public ::testing::TestWithParam<EraseCase> {};

TEST_P(EraseChoice, FollowsTheFlashTypeThenTheChipRow) {
    const EraseCase& c = GetParam();
    auto config = defaultCamera(c.row, c.part);
    config.flashTypeRegister = c.typeRegister;
    SimRig rig(config);
    ASSERT_EQ(CamOpen(), kOpenOk);
    const std::size_t from = rig.camera->counters().registerWrites.size();
    EXPECT_EQ(CamFlashErase(), 1);
    const auto sent = bytesSent(*rig.camera, from);
    const bool c7 = std::find(sent.begin(), sent.end(), 0xC7) != sent.end();
    const bool e60 = std::find(sent.begin(), sent.end(), 0x60) != sent.end();
    EXPECT_EQ(c7, c.by == EraseBy::c7);
    EXPECT_EQ(e60, c.by == EraseBy::e60);
    EXPECT_EQ(rig.camera->counters().deviceErases, c.by == EraseBy::camera ? 1u : 0u);
    if (c.by != EraseBy::camera) {
        // Write enable, then the erase opcode, each in a command of its own.
        ASSERT_GE(sent.size(), 2u);
        const auto at = std::find(sent.begin(), sent.end(), c.by == EraseBy::c7 ? 0xC7 : 0x60);
        EXPECT_EQ(*(at - 1), 0x06);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Choices, EraseChoice,
    ::testing::Values(EraseCase{"PmcEvenWithoutSpiErase", 2, FlashPart::pm25ld512, 0, EraseBy::c7},
                      EraseCase{"PmcOnSpiEraseChip", 18, FlashPart::pm25lv512, 0, EraseBy::c7},
                      EraseCase{"MacronixCameraCommand", 2, FlashPart::mx25l512, 0,
                                EraseBy::camera},
                      EraseCase{"MacronixOverThePort", 5, FlashPart::mx25l512, 0, EraseBy::e60},
                      EraseCase{"SstCameraCommand", 2, FlashPart::sst25vf512a, 0, EraseBy::camera},
                      EraseCase{"AtmelOverThePort", 11, FlashPart::at25df512c, 0, EraseBy::e60},
                      EraseCase{"RegisterTypeZero", 2, FlashPart::unknown, 0, EraseBy::camera},
                      EraseCase{"RegisterType255", 5, FlashPart::unknown, 255, EraseBy::e60},
                      EraseCase{"RegisterType2", 2, FlashPart::unknown, 2, EraseBy::c7},
                      EraseCase{"RegisterType7", 9, FlashPart::unknown, 7, EraseBy::c7},
                      EraseCase{"RegisterType10", 2, FlashPart::unknown, 10, EraseBy::c7},
                      EraseCase{"RegisterType11", 2, FlashPart::unknown, 11, EraseBy::c7},
                      EraseCase{"RegisterType9", 2, FlashPart::unknown, 9, EraseBy::camera}),
    ByName());

TEST(EraseResult, IsTheCameraCommandsResult) {
    auto config = defaultCamera(2);
    config.faults.eraseRefused = true;
    SimRig rig(config);
    ASSERT_EQ(CamOpen(), kOpenOk);
    EXPECT_EQ(CamFlashErase(), 0);
}

struct GpioCase {
    const char* name;
    std::uint8_t config;
    std::vector<std::uint8_t> enableWrites;
    std::vector<std::uint8_t> outputWrites;
    std::uint16_t restoreRegister;
    std::uint8_t restoreValue;
    std::vector<std::uint8_t> restoreWrites;
};

class GpioLayer : public ::testing::TestWithParam<GpioCase> {};

TEST_P(GpioLayer, DrivesTheConfiguredPinAndTheRestoreInvertsIt) {
    const GpioCase& c = GetParam();
    SimRig rig(defaultCamera(17, FlashPart::mx25l512, c.config));
    ASSERT_EQ(CamOpen(), kOpenOk);
    std::uint16_t restoreRegister = 0x4242;
    std::uint8_t restoreValue = c.config;
    std::size_t from = rig.camera->counters().registerWrites.size();
    ASSERT_EQ(CamFlashProtect(0, &restoreRegister, &restoreValue), 1);
    EXPECT_EQ(valuesWritten(*rig.camera, 0x1007, from), c.enableWrites);
    EXPECT_EQ(valuesWritten(*rig.camera, 0x1006, from), c.outputWrites);
    EXPECT_EQ(restoreRegister, c.restoreRegister);
    EXPECT_EQ(restoreValue, c.restoreValue);

    from = rig.camera->counters().registerWrites.size();
    ASSERT_EQ(CamFlashProtect(1, &restoreRegister, &restoreValue), 1);
    EXPECT_EQ(valuesWritten(*rig.camera, 0x1006, from), c.restoreWrites);
    EXPECT_EQ(writesTo(*rig.camera, 0x1007, from), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    ConfigurationBytes, GpioLayer,
    ::testing::Values(GpioCase{"NoAction", 0x00, {}, {}, 0xFFFF, 0x00, {}},
                      GpioCase{"Pin5Low", 0x51, {0x20}, {0xDF}, 0x1006, 0xDF, {0x20}},
                      GpioCase{"Pin5High", 0x52, {0x20}, {0x20}, 0x1006, 0x20, {0xDF}},
                      GpioCase{"Pin5HighToo", 0x53, {0x20}, {0x20}, 0x1006, 0x20, {0xDF}},
                      GpioCase{"CommandSetPin5Low", 0x5A, {0x20}, {0xDF}, 0x1006, 0xDF, {0x20}},
                      GpioCase{"CommandSetPin5High", 0x58, {0x20}, {0x20}, 0x1006, 0x20, {0xDF}},
                      GpioCase{"CommandSetPin5HighToo", 0x59, {0x20}, {0x20}, 0x1006, 0x20, {0xDF}},
                      GpioCase{"ProtectFlagIgnored", 0xD1, {0x20}, {0xDF}, 0x1006, 0xDF, {0x20}},
                      GpioCase{"Pin0Low", 0x01, {0x01}, {0xFE}, 0x1006, 0xFE, {0x01}},
                      GpioCase{"Pin7High", 0x72, {0x80}, {0x80}, 0x1006, 0x80, {0x7F}}),
    ByName());

struct OpcodeCase {
    const char* name;
    int row;
    FlashPart part;
    std::uint8_t config;
    std::uint8_t wren;
    std::uint8_t program;
};

class OpcodeLayer : public ::testing::TestWithParam<OpcodeCase> {};

TEST_P(OpcodeLayer, LoadsOpcodesAndUnlocksThenPutsBackWhatItSaved) {
    const OpcodeCase& c = GetParam();
    SimRig rig(defaultCamera(c.row, c.part, c.config));
    ASSERT_EQ(CamOpen(), kOpenOk);
    std::uint16_t restoreRegister = 0;
    std::uint8_t restoreValue = c.config;
    ASSERT_EQ(CamFlashProtect(0, &restoreRegister, &restoreValue), 1);
    EXPECT_EQ(rig.camera->reg(0x5F3), c.wren);
    EXPECT_EQ(rig.camera->reg(0x5F5), c.program);
    for (auto [reg, value] :
         {std::pair{0x5F8, 0x12}, {0x5F9, 0x12}, {0x5FA, 0xED}, {0x5FB, 0xED}}) {
        EXPECT_EQ(rig.camera->reg(static_cast<std::uint16_t>(reg)), value);
    }
    EXPECT_EQ(libraryState().slots[0].savedWrenOpcode, 0x06);
    EXPECT_EQ(libraryState().slots[0].savedProgramOpcode, 0x02);

    ASSERT_EQ(CamFlashProtect(1, &restoreRegister, &restoreValue), 1);
    EXPECT_EQ(rig.camera->reg(0x5F3), 0x06);
    EXPECT_EQ(rig.camera->reg(0x5F5), 0x02);
    for (int reg = 0x5F8; reg <= 0x5FB; ++reg) {
        EXPECT_EQ(rig.camera->reg(static_cast<std::uint16_t>(reg)), 0x34);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Chips, OpcodeLayer,
    ::testing::Values(OpcodeCase{"Defaults", 12, FlashPart::mx25l512, 0x51, 0x06, 0x02},
                      OpcodeCase{"SstDefaults", 12, FlashPart::sst25vf512a, 0x51, 0x06, 0xAF},
                      OpcodeCase{"CommandSetMacronix", 14, FlashPart::mx25l512, 0x5A, 0x06, 0x02},
                      OpcodeCase{"CommandSetSst", 8, FlashPart::sst25vf512a, 0x5A, 0x06, 0xAF},
                      OpcodeCase{"CommandSetUnknownPartWritesNothing", 16, FlashPart::unknown, 0x5A,
                                 0x04, 0x03}),
    ByName());

TEST(OpcodeLayerAbsent, ChipsWithoutOpcodeRegistersAreLeftAlone) {
    SimRig rig(defaultCamera(9));
    ASSERT_EQ(CamOpen(), kOpenOk);
    std::uint16_t restoreRegister = 0;
    std::uint8_t restoreValue = 0x51;
    const std::size_t from = rig.camera->counters().registerWrites.size();
    ASSERT_EQ(CamFlashProtect(0, &restoreRegister, &restoreValue), 1);
    ASSERT_EQ(CamFlashProtect(1, &restoreRegister, &restoreValue), 1);
    for (int reg = 0x5F3; reg <= 0x5FB; ++reg) {
        EXPECT_EQ(writesTo(*rig.camera, static_cast<std::uint16_t>(reg), from), 0u) << reg;
    }
}

// The status-register writes a protection call sends: the value after each WRSR (0x01).
std::vector<std::uint8_t> statusWrites(const std::vector<std::uint8_t>& sent) {
    std::vector<std::uint8_t> values;
    for (std::size_t i = 0; i + 1 < sent.size(); ++i) {
        if (sent[i] == 0x01 && i > 0 &&
            (sent[i - 1] == 0x06 || sent[i - 1] == 0x50 || sent[i - 1] == 0x05 ||
             sent[i - 1] == 0x00)) {
            values.push_back(sent[i + 1]);
        }
    }
    return values;
}

TEST(StatusLayer, SstGetsEwsrBetweenWriteEnableAndEveryStatusWrite) {
    SimRig rig(defaultCamera(12, FlashPart::sst25vf512a, 0xD1));
    ASSERT_EQ(CamOpen(), kOpenOk);
    std::uint16_t restoreRegister = 0;
    std::uint8_t restoreValue = 0xD1;
    const std::size_t from = rig.camera->counters().registerWrites.size();
    ASSERT_EQ(CamFlashProtect(0, &restoreRegister, &restoreValue), 1);
    ASSERT_EQ(CamFlashProtect(1, &restoreRegister, &restoreValue), 1);
    const auto sent = bytesSent(*rig.camera, from);
    std::vector<std::uint8_t> sequence;
    for (std::uint8_t b : sent) {
        if (b == 0x06 || b == 0x50 || b == 0x01) {
            sequence.push_back(b);
        }
    }
    EXPECT_EQ(sequence, (std::vector<std::uint8_t>{0x06, 0x50, 0x01, 0x06, 0x50, 0x01}));
    EXPECT_EQ(rig.camera->flash().statusRegister() & 0x8C, 0x8C);
}

struct InfoCase {
    const char* name;
    int row;
    std::uint8_t infoByte;
    std::uint8_t blockHigh;
    std::uint16_t blockBase;  // 0: no block read
    bool statusWritten;
};

class ConfigurationBlock : public ::testing::TestWithParam<InfoCase> {};

TEST_P(ConfigurationBlock, RestoreReadsTheBlockWhereTheChipKeepsIt) {
    const InfoCase& c = GetParam();
    auto config = defaultCamera(c.row, FlashPart::mx25l512, 0x51);
    config.infoByte = c.infoByte;
    config.blockHigh = c.blockHigh;
    SimRig rig(config);
    ASSERT_EQ(CamOpen(), kOpenOk);
    std::uint16_t restoreRegister = 0;
    std::uint8_t restoreValue = 0x51;
    const std::size_t from = rig.camera->counters().registerWrites.size();
    ASSERT_EQ(CamFlashProtect(0, &restoreRegister, &restoreValue), 1);
    rig.trace.records.clear();
    ASSERT_EQ(CamFlashProtect(1, &restoreRegister, &restoreValue), 1);
    const auto reads = readRequestAddresses(rig.trace.records);
    if (c.blockBase == 0) {
        EXPECT_TRUE(reads.empty());
    } else {
        EXPECT_EQ(reads,
                  (std::vector<std::uint16_t>{static_cast<std::uint16_t>(c.blockBase + 3),
                                              static_cast<std::uint16_t>(c.blockBase + 0x34)}));
    }
    const bool wrsr = !statusWrites(bytesSent(*rig.camera, from)).empty();
    EXPECT_EQ(wrsr, c.statusWritten);
    // The GPIO pin and the opcode registers are handled whatever the info byte says.
    EXPECT_EQ(rig.camera->reg(0x1006), 0x20);
}

INSTANTIATE_TEST_SUITE_P(Chips, ConfigurationBlock,
                         ::testing::Values(InfoCase{"Row8KeepsItAt5800", 8, 0, 0xC0, 0x5800, true},
                                           InfoCase{"HighChipAtC000", 16, 0, 0x7C, 0xC000, true},
                                           InfoCase{"LowChipAt8000", 12, 0, 0x7C, 0x8000, true},
                                           InfoCase{"ReportedHighByte", 18, 0, 0x7C, 0x7C00, true},
                                           InfoCase{"InfoByteTwoLeavesTheStatusAlone", 19, 2, 0x7C,
                                                    0, false}),
                         ByName());

TEST(ConfigurationBlockRead, AFailedInfoByteReadStopsBeforeAnyChange) {
    auto config = defaultCamera(18);
    config.faults.infoFails = true;
    SimRig rig(config);
    ASSERT_EQ(CamOpen(), kOpenOk);
    std::uint16_t restoreRegister = 0x4242;
    std::uint8_t restoreValue = 0x51;
    const std::size_t from = rig.camera->counters().registerWrites.size();
    EXPECT_EQ(CamFlashProtect(0, &restoreRegister, &restoreValue), 0);
    EXPECT_EQ(restoreRegister, 0x4242);
    EXPECT_EQ(restoreValue, 0x51);
    for (std::uint16_t reg : {0x1006, 0x1007, 0x5F3, 0x5F5, 0x5F8}) {
        EXPECT_EQ(writesTo(*rig.camera, reg, from), 0u) << reg;
    }
    EXPECT_TRUE(statusWrites(bytesSent(*rig.camera, from)).empty());
}

struct RestoreCase {
    const char* name;
    int row;
    std::uint8_t blockVersion;
    std::uint8_t config;
    bool protects;
};

class RestoreStatus : public ::testing::TestWithParam<RestoreCase> {};

TEST_P(RestoreStatus, WritesProtectionWhenTheNewImageAsksForIt) {
    const RestoreCase& c = GetParam();
    auto config = defaultCamera(c.row, FlashPart::mx25l512, c.config);
    camsim::FirmwareLayout layout;
    layout.chipRow = c.row;
    layout.configByte = c.config;
    layout.blockVersion = c.blockVersion;
    config.firmware = camsim::makeFirmwareImage(layout);
    SimRig rig(config);
    ASSERT_EQ(CamOpen(), kOpenOk);
    std::uint16_t restoreRegister = 0;
    std::uint8_t restoreValue = c.config;
    ASSERT_EQ(CamFlashProtect(0, &restoreRegister, &restoreValue), 1);
    const std::size_t from = rig.camera->counters().registerWrites.size();
    ASSERT_EQ(CamFlashProtect(1, &restoreRegister, &restoreValue), 1);
    const auto writes = statusWrites(bytesSent(*rig.camera, from));
    EXPECT_EQ(writes, c.protects ? std::vector<std::uint8_t>{0x8C} : std::vector<std::uint8_t>{});
}

INSTANTIATE_TEST_SUITE_P(Blocks, RestoreStatus,
                         ::testing::Values(RestoreCase{"VersionAndFlag", 16, 0x35, 0xD1, true},
                                           RestoreCase{"OldVersion", 16, 0x34, 0xD1, false},
                                           RestoreCase{"NoFlag", 16, 0x35, 0x51, false},
                                           RestoreCase{"Row13Always", 13, 0x00, 0x51, true}),
                         ByName());

}  // namespace
}  // namespace brivane::testing
