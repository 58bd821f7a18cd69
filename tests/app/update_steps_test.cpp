// The table of named steps: each leaves the flash in the state it names, and a failing step
// says which it was and why.
#include <gtest/gtest.h>

#include "app/app_rig.h"
#include "app/messages.h"
#include "app/update_steps.h"
#include "transport/debug_log.h"

namespace brivane::testing {
namespace {

bool allFF(const camsim::FlashImage& flash, std::size_t from, std::size_t to) {
    return std::all_of(flash.begin() + from, flash.begin() + to, [](auto b) { return b == 0xFF; });
}

TEST(UpdateSteps, EachStepLeavesTheFlashInTheStateItNames) {
    SimRig rig(cameraFor({}));
    ImageFolder images(18, 0x51);
    const auto firmware = cameraFor({}).firmware;
    const auto image = imageFor(18, camsim::kFirstProductId, 0x51);
    UpdateRun run;
    run.imageDirectory = images.directory();
    const auto steps = updateSteps();
    FlashState previous = FlashState::untouched;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(steps[i].name);
        ASSERT_EQ(runUpdateSteps(run, i, i + 1).message, nullptr);
        EXPECT_GE(steps[i].leaves, previous) << "states only move forward";
        previous = steps[i].leaves;
        const auto& flash = rig.camera->flash().memory();
        const bool wp =
            rig.camera->flash().protectedNow() || rig.camera->flash().writeProtectAsserted();
        switch (steps[i].leaves) {
            case FlashState::untouched:
                EXPECT_EQ(flash, firmware);
                EXPECT_TRUE(wp);
                break;
            case FlashState::protectionLifted:
                EXPECT_EQ(flash, firmware);
                EXPECT_FALSE(wp);
                break;
            case FlashState::erased:
                EXPECT_TRUE(allFF(flash, 0, flash.size()));
                break;
            case FlashState::bodyWritten:
                EXPECT_TRUE(allFF(flash, 0, 16));
                EXPECT_TRUE(std::equal(flash.begin() + 16, flash.end(), image.begin() + 16));
                break;
            case FlashState::headerWritten:
                EXPECT_EQ(flash, image);
                EXPECT_FALSE(wp);
                break;
            case FlashState::protectionRestored:
                EXPECT_EQ(flash, image);
                EXPECT_TRUE(wp);
                break;
        }
    }
    finishUpdateRun(run);
    EXPECT_EQ(rig.platform.stats().liveFilters, 0);
}

TEST(UpdateSteps, AFailingStepLogsItsNameAndWhy) {
    struct Case {
        const char* name;
        std::function<void(camsim::CameraConfig&)> fault;
        const char* message;
        const char* log;
    };
    const Case cases[] = {
        {"body", [](auto& c) { c.faults.badCells.push_back(0x1234); }, text::updateFailed,
         "update step 'body verification' failed: read-back differs at 0x1234"},
        {"blank",
         [](auto& c) {
             c.faults.corruptReads.push_back({0xFFFF, 1});
         },
         text::updateFailed, "update step 'blank check' failed: read-back differs at 0xFFFF"},
        {"erase", [](auto& c) { c.chipRow = 2, c.faults.eraseRefused = true; }, text::eraseFail,
         "update step 'erase' failed: the chip erase failed"},
        {"foreign", [](auto& c) { c.firmware[0xC006] = 0; }, text::noUpdateNeeded,
         "update step 'image choice' failed: the id bytes match no supported image"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto config = cameraFor({});
        c.fault(config);
        SimRig rig(config);
        ImageFolder images(config.chipRow, 0x51);
        std::vector<std::string> log;
        setDebugSink([&log](const std::string& line) { log.push_back(line); });
        UpdateRun run;
        run.imageDirectory = images.directory();
        const StepOutcome outcome = runUpdateSteps(run);
        finishUpdateRun(run);
        setDebugSink(nullptr);
        EXPECT_STREQ(outcome.message, c.message);
        EXPECT_NE(std::find(log.begin(), log.end(), c.log), log.end())
            << ::testing::PrintToString(log);
    }
}

TEST(UpdateSteps, AGivenImageTakesThePlaceOfTheChosenFile) {
    auto config = cameraFor({});
    // An interrupted camera: its id bytes read all 0xFF, so no file would be chosen.
    std::fill(config.firmware.begin(), config.firmware.end(), 0xFF);
    SimRig rig(config);
    const auto image = imageFor(18, camsim::kSecondProductId, 0x51);
    UpdateRun run;
    run.imageDirectory = "/nonexistent/";
    run.givenImage.emplace(image.begin(), image.end());
    EXPECT_STREQ(runUpdateSteps(run).message, text::success);
    finishUpdateRun(run);
    EXPECT_EQ(rig.camera->flash().memory(), image);
}

}  // namespace
}  // namespace brivane::testing
