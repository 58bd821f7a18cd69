// The library's whole write sequence on every flash part: lift, erase, blank check, body then
// header with verification, restore. The emulated flash refuses what the real part refuses, so
// a sequence that skips a protection layer fails instead of passing by accident.
#include <gtest/gtest.h>

#include "support/port_log.h"
#include "support/sim_rig.h"

namespace brivane::testing {
namespace {

using camsim::FlashPart;

constexpr std::uint8_t kProtectingConfig = 0xD1;  // pin 5 driven low, protect flag set

camsim::FlashImage newImage(int row) {
    camsim::FirmwareLayout layout;
    layout.chipRow = row;
    layout.configByte = kProtectingConfig;
    layout.seed = 77;
    return camsim::makeFirmwareImage(layout);
}

enum class Step { done, lift, erase, blank, body, header };

struct Skip {
    bool gpio = false;        // the lift is told of no GPIO action
    bool writeGuard = false;  // the guard registers are locked again after the lift
};

// Runs the sequence as the updater does; returns the first step that failed.
Step runSequence(const camsim::FlashImage& image, Skip skip = {}) {
    std::uint16_t restoreRegister = 0xFFFF;
    std::uint8_t restoreValue = 0;
    if (CamMemTransfer(transfer::read, 0xC034, &restoreValue, 1) == 0) {
        return Step::lift;
    }
    if (skip.gpio) {
        restoreValue &= 0xFC;
    }
    if (CamFlashProtect(0, &restoreRegister, &restoreValue) == 0) {
        return Step::lift;
    }
    if (skip.writeGuard) {
        CamRegWrite(0x5F8, 0x34);
    }
    if (CamFlashErase() == 0) {
        return Step::erase;
    }
    std::vector<std::uint8_t> readBack(0x10000, 0);
    if (CamMemTransfer(transfer::read, 0, readBack.data(), 0x10000) == 0 ||
        std::any_of(readBack.begin(), readBack.end(), [](std::uint8_t b) { return b != 0xFF; })) {
        return Step::blank;
    }
    std::vector<std::uint8_t> data(image.begin(), image.end());
    if (CamMemTransfer(transfer::write, 16, data.data() + 16, 0x10000 - 16) == 0 ||
        CamMemTransfer(transfer::read, 16, readBack.data() + 16, 0x10000 - 16) == 0 ||
        !std::equal(readBack.begin() + 16, readBack.end(), data.begin() + 16)) {
        return Step::body;
    }
    if (CamMemTransfer(transfer::write, 0, data.data(), 16) == 0 ||
        CamMemTransfer(transfer::read, 0, readBack.data(), 16) == 0 ||
        !std::equal(readBack.begin(), readBack.begin() + 16, data.begin())) {
        return Step::header;
    }
    CamFlashProtect(1, &restoreRegister, &restoreValue);
    return Step::done;
}

struct SequenceCase {
    FlashPart part;
    int row;
};

class WholeSequence : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(WholeSequence, LeavesTheImageInAProtectedFlash) {
    const auto [part, row] = GetParam();
    SimRig rig(defaultCamera(row, part, kProtectingConfig));
    ASSERT_EQ(CamOpen(), kOpenOk);
    const auto image = newImage(row);
    ASSERT_EQ(runSequence(image), Step::done);
    EXPECT_EQ(rig.camera->flash().memory(), image);
    EXPECT_TRUE(rig.camera->flash().protectedNow());
    EXPECT_NE(rig.camera->flash().statusRegister() & 0x80, 0) << "status register locked";
    if (part != FlashPart::sst25vf512a) {
        EXPECT_TRUE(rig.camera->flash().writeProtectAsserted());
    }
}

std::vector<SequenceCase> sequenceCases() {
    std::vector<SequenceCase> cases;
    for (FlashPart part :
         {FlashPart::mx25l512, FlashPart::mx25l5121e, FlashPart::at25df512c, FlashPart::pm25lv512,
          FlashPart::pm25ld512, FlashPart::sst25vf512a, FlashPart::unknown}) {
        // Camera erase command, port erase, opcode registers, block through the info word.
        for (int row : {2, 5, 12, 18}) {
            cases.push_back({part, row});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(PartsAndChips, WholeSequence, ::testing::ValuesIn(sequenceCases()),
                         [](const ::testing::TestParamInfo<SequenceCase>& p) {
                             return std::string(camsim::flashPartInfo(p.param.part).name) + "_row" +
                                    std::to_string(p.param.row);
                         });

TEST(ProtectionLayers, WithoutTheGpioPinTheStatusWriteIsRefusedAndNothingErases) {
    SimRig rig(defaultCamera(18, FlashPart::mx25l512, kProtectingConfig));
    ASSERT_EQ(CamOpen(), kOpenOk);
    const auto before = rig.camera->flash().memory();
    EXPECT_EQ(runSequence(newImage(18), {.gpio = true}), Step::blank);
    EXPECT_EQ(rig.camera->flash().memory(), before);
}

TEST(ProtectionLayers, WithoutTheStatusWriteNothingErases) {
    auto config = defaultCamera(19, FlashPart::mx25l512, kProtectingConfig);
    config.infoByte = 2;  // the chip says to leave the flash's status register alone
    SimRig rig(config);
    ASSERT_EQ(CamOpen(), kOpenOk);
    EXPECT_EQ(runSequence(newImage(19)), Step::blank);
}

TEST(ProtectionLayers, WithoutTheOpcodeRegistersTheControllerWritesNothing) {
    SimRig rig(defaultCamera(12, FlashPart::mx25l512, kProtectingConfig));
    ASSERT_EQ(CamOpen(), kOpenOk);
    EXPECT_EQ(runSequence(newImage(12), {.writeGuard = true}), Step::body);
    EXPECT_EQ(rig.camera->flash().memory()[0], 0xFF) << "the header is never written";
}

TEST(ProtectionLayers, SstTakesNoStatusWriteWithoutEwsr) {
    SimRig rig(defaultCamera(18, FlashPart::sst25vf512a, 0x00));
    ASSERT_EQ(CamOpen(), kOpenOk);
    const std::uint8_t before = rig.camera->flash().statusRegister();
    sf::portOn(0);
    const std::vector<std::vector<std::uint8_t>> commands = {{0x06}, {0x01, 0x00}};
    for (const auto& command : commands) {
        sf::select(0);
        for (std::uint8_t b : command) {
            sf::send(0, b);
        }
        sf::deselect(0);
    }
    sf::portOff(0);
    EXPECT_EQ(rig.camera->flash().statusRegister() & 0x8C, before & 0x8C);
}

TEST(ProtectionLayers, APartErasedWithAnOpcodeItDoesNotKnowKeepsItsData) {
    // The Pm25LV512 knows 0xC7 only; a camera whose own erase command sends 0x60 cannot
    // erase it, and the blank check catches that.
    SimRig rig(defaultCamera(2, FlashPart::pm25lv512, kProtectingConfig));
    ASSERT_EQ(CamOpen(), kOpenOk);
    std::uint16_t restoreRegister = 0xFFFF;
    std::uint8_t restoreValue = kProtectingConfig;
    ASSERT_EQ(CamFlashProtect(0, &restoreRegister, &restoreValue), 1);
    EXPECT_EQ(XuDeviceErase(0), 1);
    EXPECT_EQ(rig.camera->flash().chipErases, 0u);
    EXPECT_EQ(runSequence(newImage(2)), Step::done) << "0xC7 over the port does erase it";
}

TEST(PartDisagreement, At25f512aCannotBeErasedByAnyBranch) {
    // Its id answers only 0x15 with two bytes, which the flash table cannot match, and it
    // accepts only 0x62 for a chip erase; every erase this updater can send is ignored.
    for (std::uint8_t type : {0, 2, 255}) {
        for (int row : {2, 5}) {
            SCOPED_TRACE(::testing::Message() << "type " << int(type) << " row " << row);
            auto config = defaultCamera(row, FlashPart::at25f512a, kProtectingConfig);
            config.flashTypeRegister = type;
            SimRig rig(config);
            ASSERT_EQ(CamOpen(), kOpenOk);
            EXPECT_EQ(runSequence(newImage(row)), Step::blank);
        }
    }
}

}  // namespace
}  // namespace brivane::testing
