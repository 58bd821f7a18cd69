#include <gtest/gtest.h>

#include <cstdio>

#include "support/sim_rig.h"
#include "transport/debug_log.h"

namespace brivane::testing {
namespace {

std::uint8_t acceptAny(int, MemTransferFn, std::uint8_t*) {
    return 1;
}

// The memory and ROM requests of a trace, one word each: "W 0003:5" a write of 5 bytes at 3,
// "R 0100:8" a read request, "F" a fetch, "ROM 9ff8" a ROM read. Runs of fetches, and of
// writes that continue one another with the same count, are folded: "F x8192".
std::string summarize(const std::vector<TraceRecord>& records) {
    std::vector<std::string> ops;
    std::vector<int> repeats;
    std::uint32_t nextWrite = 0xFFFFFFFF;
    std::uint8_t lastCount = 0;
    for (const TraceRecord& r : records) {
        const bool set = (r.flags & ksflags::set) != 0;
        char text[32];
        if (r.id == selector::memory && !set) {
            if (!ops.empty() && ops.back() == "F") {
                ++repeats.back();
                continue;
            }
            ops.emplace_back("F");
            repeats.push_back(1);
            continue;
        }
        if (!set) {
            continue;
        }
        const std::uint32_t address = r.out[0] | r.out[1] << 8;
        if (r.id == selector::rom) {
            std::snprintf(text, sizeof text, "ROM %04x", address);
        } else if ((r.out[2] & 0x80) != 0) {
            std::snprintf(text, sizeof text, "R %04x:%d", address, r.out[2] & 0x7F);
        } else {
            if (!ops.empty() && ops.back()[0] == 'W' && address == nextWrite &&
                r.out[2] == lastCount) {
                ++repeats.back();
                nextWrite += r.out[2];
                continue;
            }
            std::snprintf(text, sizeof text, "W %04x:%d", address, r.out[2]);
            nextWrite = address + r.out[2];
            lastCount = r.out[2];
        }
        ops.emplace_back(text);
        repeats.push_back(1);
    }
    std::string s;
    for (std::size_t i = 0; i < ops.size(); ++i) {
        s += (i ? ", " : "") + ops[i] + (repeats[i] > 1 ? " x" + std::to_string(repeats[i]) : "");
    }
    return s;
}

struct ChunkCase {
    const char* name;
    std::uint8_t code;
    std::uint32_t address;
    std::uint32_t length;
    std::uint32_t chunk;
    std::uint8_t result;
    const char* requests;
};

class Chunking : public ::testing::TestWithParam<ChunkCase> {
protected:
    void SetUp() override {
        ASSERT_EQ(XuFindCamera(0, acceptAny), 0);
        rig.trace.records.clear();
    }
    SimRig rig;
};

TEST_P(Chunking, SplitsIntoTheExpectedRequests) {
    const ChunkCase& c = GetParam();
    std::vector<std::uint8_t> buffer(0x10000 + 16, 0x5A);
    EXPECT_EQ(XuMemTransfer(0, c.code, c.address, buffer.data(), c.length, c.chunk), c.result);
    EXPECT_EQ(summarize(rig.trace.records), c.requests);
}

INSTANTIATE_TEST_SUITE_P(
    Transfers, Chunking,
    ::testing::Values(ChunkCase{"ReadIdBytes", 7, 0xC006, 4, 8, 1, "R c006:4, F"},
                      ChunkCase{"ReadWholeFlash", 7, 0, 0x10000, 8, 1, "R 0000:8, F x8192"},
                      ChunkCase{"ReadWithTail", 7, 0x100, 20, 8, 1, "R 0100:8, F x2, R 0110:4, F"},
                      ChunkCase{"ReadOneBytePerRequest", 7, 0, 3, 1, 1, "R 0000:1, F x3"},
                      ChunkCase{"WriteBody", 6, 0x10, 65520, 8, 1, "W 0010:8 x8190"},
                      ChunkCase{"WriteHeadChunkTail", 6, 3, 16, 8, 1,
                                "W 0003:5, W 0008:8, W 0010:3"},
                      ChunkCase{"WriteHeadThenShortRest", 6, 6, 4, 8, 1, "W 0006:2 x2"},
                      ChunkCase{"WriteWithinOneChunk", 6, 5, 3, 8, 1, "W 0005:3"},
                      ChunkCase{"WriteChunkOneHasNoHead", 6, 5, 3, 1, 1, "W 0005:1 x3"},
                      ChunkCase{"RomReadIsOneRequest", 9, 0x9FF8, 8, 8, 1, "ROM 9ff8"},
                      ChunkCase{"RomReadChunkOneReadsEachAddress", 9, 0x10, 3, 1, 1,
                                "ROM 0010, ROM 0011, ROM 0012"},
                      ChunkCase{"ChunkAboveEightCountsAsEight", 7, 0x100, 20, 20, 1,
                                "R 0100:8, F x2, R 0110:4, F"},
                      ChunkCase{"EmptyWrite", 6, 0, 0, 8, 1, "W 0000:0"},
                      ChunkCase{"EmptyRead", 7, 0, 0, 8, 1, "R 0000:0, F"},
                      ChunkCase{"EmptyRomRead", 9, 0, 0, 8, 1, "ROM 0000"},
                      ChunkCase{"CodeFiveIsRefused", 5, 0, 8, 8, 0, ""},
                      ChunkCase{"CodeEightIsRefused", 8, 0, 8, 8, 0, ""},
                      ChunkCase{"ChunkZeroIsRefused", 7, 0, 8, 0, 0, ""},
                      ChunkCase{"WriteThatWouldWrapIsRefused", 6, 0xFFF8, 16, 8, 0, ""},
                      ChunkCase{"ReadToTheLastByte", 7, 0xFFF8, 8, 8, 1, "R fff8:8, F"}),
    ByName());

TEST(ChunkingData, ReadStoresExactlyTheRequestedBytes) {
    SimRig rig;
    ASSERT_EQ(XuFindCamera(0, acceptAny), 0);
    std::vector<std::uint8_t> buffer(24, 0x5A);
    ASSERT_EQ(XuMemTransfer(0, 7, 0x100, buffer.data(), 20, 8), 1);
    const auto& flash = rig.camera->flash().memory();
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 20, flash.begin() + 0x100));
    EXPECT_EQ(buffer[20], 0x5A);
    EXPECT_EQ(buffer[23], 0x5A);
}

TEST(ChunkingData, RomReadOfChunkOneStoresOneByteOfEachRequest) {
    SimRig rig;
    ASSERT_EQ(XuFindCamera(0, acceptAny), 0);
    std::uint8_t buffer[4] = {0x5A, 0x5A, 0x5A, 0x5A};
    ASSERT_EQ(XuMemTransfer(0, 9, 0x9FF8, buffer, 3, 1), 1);
    const auto& rom = rig.camera->rom();
    EXPECT_EQ(buffer[0], rom[0x9FF8]);
    EXPECT_EQ(buffer[1], rom[0x9FF9]);
    EXPECT_EQ(buffer[2], rom[0x9FFA]);
    EXPECT_EQ(buffer[3], 0x5A);
}

struct StageCase {
    const char* name;
    std::uint8_t code;
    std::uint32_t address;
    std::uint32_t length;
    std::uint64_t failingRequest;  // counted from the transfer's first request
    const char* diagnostic;
};

class ChunkingFailures : public ::testing::TestWithParam<StageCase> {};

TEST_P(ChunkingFailures, NameTheStageThatFailedAndStop) {
    const StageCase& c = GetParam();
    SimRig rig;
    ASSERT_EQ(XuFindCamera(0, acceptAny), 0);
    std::vector<std::string> log;
    setDebugSink([&log](const std::string& line) { log.push_back(line); });
    const auto before = rig.platform.stats().propertyRequests;
    rig.platform.faults().failRequest = before + c.failingRequest;
    std::vector<std::uint8_t> buffer(64, 0);
    EXPECT_EQ(XuMemTransfer(0, c.code, c.address, buffer.data(), c.length, 8), 0);
    setDebugSink(nullptr);
    EXPECT_EQ(rig.platform.stats().propertyRequests, before + c.failingRequest)
        << "no request after the failing one";
    EXPECT_EQ(log, std::vector<std::string>{c.diagnostic});
}

INSTANTIATE_TEST_SUITE_P(
    Stages, ChunkingFailures,
    ::testing::Values(StageCase{"WriteHead", 6, 3, 16, 1, "ReqToDriver fail 0!"},
                      StageCase{"WriteChunk", 6, 3, 16, 2, "ReqToDriver fail 2!"},
                      StageCase{"WriteTail", 6, 3, 16, 3, "ReqToDriver fail 3!"},
                      StageCase{"ShortReadRequest", 7, 0, 4, 1, "ReqToDriver fail 1!"},
                      StageCase{"ShortReadFetch", 7, 0, 4, 2, "ReqToDriver fail 1!"},
                      StageCase{"ReadRequest", 7, 0x100, 20, 1, "ReqToDriver fail 2!"},
                      StageCase{"ReadChunkFetch", 7, 0x100, 20, 3, "ReqToDriver fail 2!"},
                      StageCase{"TailReadRequest", 7, 0x100, 20, 4, "ReqToDriver fail 3!"},
                      StageCase{"TailReadFetch", 7, 0x100, 20, 5, "ReqToDriver fail 3!"},
                      StageCase{"ShortRomRead", 9, 0x10, 3, 1, "ReqToDriver fail 1!"}),
    ByName());

}  // namespace
}  // namespace brivane::testing
