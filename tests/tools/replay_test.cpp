// Replaying a recorded run: the trace's lines are checked before use, a run that makes the
// recorded requests gets the recorded answers, and the first request that differs is named.
#include <gtest/gtest.h>

#include "app/app_rig.h"
#include "app/messages.h"
#include "tools/replay_platform.h"

namespace brivane::testing {
namespace {

TEST(TraceLines, ARecordSurvivesTheRoundTrip) {
    TraceRecord r;
    r.seq = 12;
    r.device = 1;
    r.set = kXuPropertySet;
    r.id = 3;
    r.flags = kGetFlags;
    r.node = 2;
    r.out = std::vector<std::uint8_t>(12, 0);
    r.in = {0x00, 0x40, 0x08, 1, 2, 3, 4, 5, 6, 7, 8, 0};
    r.hr = hr::genFailure;
    const auto back = sim::parseTraceLine(formatTraceLine(r));
    ASSERT_TRUE(back);
    EXPECT_EQ(formatTraceLine(*back), formatTraceLine(r));
}

TEST(TraceLines, MalformedLinesAreRefused) {
    const std::string good =
        R"({"seq":1,"device":0,"set":"7d41c2a8-3e95-4b6f-a0d7-1f82c6e4593b","id":1,"flags":268435458,"node":3,"out":"8010ab00","in":"","hr":0})";
    ASSERT_TRUE(sim::parseTraceLine(good));
    const auto with = [&good](const std::string& from, const std::string& to) {
        std::string s = good;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    for (const std::string& bad : {
             std::string(""),
             std::string("[]"),
             good.substr(0, good.size() - 1),
             with(R"("seq":1,)", ""),
             with(R"("seq":1)", R"("seq":-1)"),
             with(R"("device":0)", R"("device":"0")"),
             with(R"("device":0)", R"("device":100000)"),
             with(R"("out":"8010ab00")", R"("out":"8010ab0")"),
             with(R"("out":"8010ab00")", R"("out":"8010AB00")"),
             with(R"("out":"8010ab00")", R"("out":"80 0ab00")"),
             with("7d41c2a8-3e95", "7d41c2a8_3e95"),
             with("7d41c2a8-3e95", "7d41c2a-83e95"),
             with(R"("hr":0)", R"("hr":4294967296)"),
             with(R"("hr":0)", R"("hr":0.5)"),
             with(R"("flags":268435458)", R"("flags":4294967296)"),
         }) {
        EXPECT_FALSE(sim::parseTraceLine(bad)) << bad;
    }
}

TEST(Replay, ARecordedRunReplaysExactlyAndADifferentRunIsCaught) {
    ImageFolder images(18, 0x51);
    std::vector<TraceRecord> recorded;
    {
        auto config = cameraFor({});
        config.faults.badCells.push_back(0x1234);
        SimRig rig(config);
        EXPECT_EQ(runWorker(images.directory()), text::updateFailed);
        recorded = rig.trace.records;
    }
    {
        sim::ReplayPlatform replay(recorded);
        XuSetPlatform(&replay);
        EXPECT_EQ(runWorker(images.directory()), text::updateFailed);
        EXPECT_EQ(replay.answered(), replay.total());
        EXPECT_FALSE(replay.divergence());
        XuSetPlatform(nullptr);
        XuResetState();
        CamResetState();
    }
    {
        // Another image: the first body write differs from the recording.
        ImageFolder other(18, 0x52);
        sim::ReplayPlatform replay(recorded);
        XuSetPlatform(&replay);
        EXPECT_EQ(runWorker(other.directory()), text::updateFailed);
        ASSERT_TRUE(replay.divergence());
        EXPECT_NE(replay.divergence()->find("differs from the trace"), std::string::npos);
        EXPECT_LT(replay.answered(), replay.total());
        XuSetPlatform(nullptr);
        XuResetState();
        CamResetState();
    }
}

}  // namespace
}  // namespace brivane::testing
