#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "support/sim_rig.h"

namespace brivane::testing {
namespace {

TEST(TraceFormat, OneJsonObjectPerRequest) {
    TraceRecord set;
    set.seq = 12;
    set.device = 0;
    set.set = kXuPropertySet;
    set.id = 1;
    set.flags = 0x10000002;
    set.node = 2;
    set.out = {0x80, 0x10, 0xAB, 0x00};
    set.hr = 0;
    EXPECT_EQ(formatTraceLine(set),
              R"({"seq":12,"device":0,"set":"7d41c2a8-3e95-4b6f-a0d7-1f82c6e4593b","id":1,)"
              R"("flags":268435458,"node":2,"out":"8010ab00","in":"","hr":0})");

    TraceRecord get = set;
    get.seq = 13;
    get.device = 1;
    get.flags = 0x10000001;
    get.out = {0, 0, 0, 0};
    get.in = {0x61, 0x10, 0x03, 0xFF};
    get.hr = static_cast<HResult>(0x8007048F);
    EXPECT_EQ(formatTraceLine(get),
              R"({"seq":13,"device":1,"set":"7d41c2a8-3e95-4b6f-a0d7-1f82c6e4593b","id":1,)"
              R"("flags":268435457,"node":2,"out":"00000000","in":"611003ff","hr":-2147023729})");
}

TEST(TraceFile, RecordsEveryRequestInCallOrderWithTheDeviceIndex) {
    const std::string path = ::testing::TempDir() + "brivane-trace.jsonl";
    {
        auto camera = std::make_shared<camsim::EmulatedCamera>(defaultCamera());
        camsim::SimPlatform platform({camsim::SimDeviceKind::webcam, camsim::SimDeviceKind::camera},
                                     camera);
        JsonLinesTraceSink sink(path);
        ASSERT_TRUE(sink.isOpen());
        auto traced = makeTracingPlatform(platform, sink);
        XuResetState();
        XuSetPlatform(traced.get());
        // Any device whose ROM can be read is taken for the camera.
        ASSERT_EQ(XuFindCamera(0,
                               [](int slot, MemTransferFn read, std::uint8_t* out) {
                                   return read(slot, transfer::romRead, 0xBFF8, out, 8, 8);
                               }),
                  0);
        std::uint8_t value = 0;
        ASSERT_EQ(XuRegRead(0, 0x1061, &value), 1);
        XuSetPlatform(nullptr);
        XuResetState();
    }
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    ASSERT_GE(lines.size(), 3u);
    EXPECT_NE(lines.front().find(R"({"seq":1,"device":0,)"), std::string::npos);
    // The register read: the marker SET, then the GET with the camera's reply.
    EXPECT_NE(lines[lines.size() - 2].find(R"("device":1,)"), std::string::npos);
    EXPECT_NE(lines[lines.size() - 2].find(R"("out":"611000ff","in":"")"), std::string::npos);
    EXPECT_NE(lines.back().find(R"("flags":268435457,"node":3,"out":"00000000","in":"611000ff")"),
              std::string::npos);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace brivane::testing
