#include <gtest/gtest.h>

#include <map>

#include "camsim/chips.h"
#include "support/sim_rig.h"
#include "support/trace_query.h"

namespace brivane::testing {
namespace {

class EveryChipRow : public ::testing::TestWithParam<int> {};

TEST_P(EveryChipRow, OpeningTheCameraIdentifiesItsRow) {
    const int row = GetParam();
    const auto& chip = camsim::cameraChip(row);
    struct Variant {
        bool lowercase;
        std::uint8_t revision;
    };
    // The row's own revision, in upper and lower case; rows that accept later revisions also
    // with a later one.
    std::vector<Variant> variants = {{false, chip.revision}, {true, chip.revision}};
    if (kChipTable[row].revisionAtLeast != 0) {
        variants.push_back({false, static_cast<std::uint8_t>(chip.revision + 5)});
    }
    for (const Variant v : variants) {
        SCOPED_TRACE(::testing::Message()
                     << "lowercase " << v.lowercase << " revision " << int(v.revision));
        auto config = defaultCamera(row);
        config.lowercaseSignature = v.lowercase;
        config.revision = v.revision;
        config.variantDigit = '7';
        SimRig rig(config);
        ASSERT_EQ(CamOpen(), kOpenOk);
        EXPECT_EQ(libraryState().slots[0].chipIndex, row);
        const auto& id = libraryState().slots[0].chipId;
        EXPECT_TRUE(std::equal(id.begin(), id.end(), rig.camera->rom().begin() + chip.idAddress));
        EXPECT_EQ(id[4], '7') << "the variant digit is copied, not compared";
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, EveryChipRow, ::testing::Range(0, kChipRowCount));

// Chip matching over a ROM given as a few 8-byte ids; every other read answers bytes that
// match nothing.
std::map<std::uint16_t, std::array<std::uint8_t, 8>> rom;
std::vector<std::uint16_t> romReads;
std::uint16_t failingAddress = 0;

std::uint8_t readRom(int, std::uint8_t code, std::uint32_t address, std::uint8_t* out,
                     std::uint32_t length, std::uint32_t chunk) {
    EXPECT_EQ(code, transfer::romRead);
    EXPECT_EQ(length, 8u);
    EXPECT_EQ(chunk, 8u);
    romReads.push_back(static_cast<std::uint16_t>(address));
    if (address == failingAddress) {
        return 0;
    }
    const auto it = rom.find(static_cast<std::uint16_t>(address));
    std::array<std::uint8_t, 8> bytes;
    bytes.fill(0xEE);
    if (it != rom.end()) {
        bytes = it->second;
    }
    std::copy(bytes.begin(), bytes.end(), out);
    return 1;
}

std::array<std::uint8_t, 8> id(const char* signature, std::uint8_t revision) {
    return {static_cast<std::uint8_t>(signature[0]),
            static_cast<std::uint8_t>(signature[1]),
            static_cast<std::uint8_t>(signature[2]),
            static_cast<std::uint8_t>(signature[3]),
            '0',
            revision,
            0x12,
            0x34};
}

struct MatchCase {
    const char* name;
    std::uint16_t address;
    std::array<std::uint8_t, 8> id;
    int row;  // -1: no match
    std::size_t reads;
};

class ChipMatch : public ::testing::TestWithParam<MatchCase> {
protected:
    void SetUp() override {
        CamResetState();
        rom.clear();
        romReads.clear();
        failingAddress = 0;
        libraryState().slots[2].chipIndex = 21;
    }
    void TearDown() override { CamResetState(); }
};

TEST_P(ChipMatch, FindsTheFirstRowInAddressAndTableOrder) {
    const MatchCase& c = GetParam();
    rom[c.address] = c.id;
    std::array<std::uint8_t, 8> out;
    out.fill(0x99);
    EXPECT_EQ(CamChipMatch(2, readRom, out.data()), c.row >= 0 ? 1 : 0);
    EXPECT_EQ(libraryState().slots[2].chipIndex, c.row >= 0 ? c.row : 21);
    if (c.row >= 0) {
        EXPECT_EQ(out, c.id);
    } else {
        EXPECT_EQ(out[0], 0x99) << "output untouched without a match";
    }
    EXPECT_EQ(romReads.size(), c.reads);
}

INSTANTIATE_TEST_SUITE_P(
    Ids, ChipMatch,
    ::testing::Values(MatchCase{"LaterRevisionMatchesAtLeastRow", 0x9FF8, id("VELA", 5), 0, 1},
                      MatchCase{"ExactRevisionRow", 0x9FF8, id("KITE", 1), 2, 1},
                      MatchCase{"NextRowTakesLaterRevisions", 0x9FF8, id("KITE", 2), 3, 1},
                      MatchCase{"MuchLaterRevision", 0x9FF8, id("KITE", 9), 3, 1},
                      MatchCase{"TooEarlyRevisionMatchesNothing", 0x9FF8, id("MORA", 2), -1, 5},
                      MatchCase{"DuneOneOnlyAtD2B2", 0xD2B2, id("DUNE", 1), 4, 2},
                      MatchCase{"DuneTwoAtDFF8", 0xDFF8, id("DUNE", 2), 5, 3},
                      MatchCase{"DuneLaterAtDFF8", 0xDFF8, id("DUNE", 4), 6, 3},
                      MatchCase{"DuneOneAtDFF8MatchesNothing", 0xDFF8, id("DUNE", 1), -1, 5},
                      MatchCase{"LowerCaseSignature", 0xBFF8, id("opal", 2), 18, 4},
                      MatchCase{"MixedCaseSignature", 0xC7F8, id("SaGe", 3), 22, 5},
                      MatchCase{"SignatureOffByOneBit", 0xBFF8, id("OPAM", 2), -1, 5}),
    ByName());

TEST_F(ChipMatch, AFailedReadEndsTheSearch) {
    rom[0xD2B2] = id("DUNE", 1);
    failingAddress = 0x9FF8;
    std::uint8_t out[8] = {};
    EXPECT_EQ(CamChipMatch(2, readRom, out), 0);
    EXPECT_EQ(romReads, std::vector<std::uint16_t>{0x9FF8});
    EXPECT_EQ(libraryState().slots[2].chipIndex, 21);
}

TEST_F(ChipMatch, MissingReadFunctionOrOutputFailsWithoutARead) {
    std::uint8_t out[8] = {};
    EXPECT_EQ(CamChipMatch(2, nullptr, out), 0);
    EXPECT_EQ(CamChipMatch(2, readRom, nullptr), 0);
    EXPECT_TRUE(romReads.empty());
}

struct ProbeCase {
    const char* name;
    int row;
    bool variant;
    char digit;
};

class VariantProbe : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(VariantProbe, MarksTheVariantAndLeavesItsRegisters) {
    const ProbeCase& c = GetParam();
    auto config = defaultCamera(c.row);
    config.variant = c.variant;
    SimRig rig(config);
    ASSERT_EQ(CamOpen(), kOpenOk);
    EXPECT_EQ(libraryState().slots[0].chipId[4], c.digit);
    if (c.row == 15) {
        // The probe writes the first value read with bits 4 to 6 set and never restores it.
        EXPECT_EQ(rig.camera->counters().registerWrites.back(),
                  (std::pair<std::uint16_t, std::uint8_t>{0x1185, 0x70}));
    } else {
        EXPECT_EQ(rig.camera->reg(0x1007) & 0x20, 0);
        EXPECT_EQ(rig.camera->reg(0x1006) & 0x20, c.variant ? 0x20 : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, VariantProbe,
                         ::testing::Values(ProbeCase{"Row15Variant", 15, true, '1'},
                                           ProbeCase{"Row15Plain", 15, false, '0'},
                                           ProbeCase{"Row20Variant", 20, true, '1'},
                                           ProbeCase{"Row20Plain", 20, false, '0'}),
                         ByName());

TEST(VariantProbeRegisters, OnlyRows15And20AreProbed) {
    for (int row : {14, 16, 19, 21}) {
        SCOPED_TRACE(row);
        SimRig rig(defaultCamera(row));
        ASSERT_EQ(CamOpen(), kOpenOk);
        for (const auto& [reg, value] : rig.camera->counters().registerWrites) {
            EXPECT_NE(reg, 0x1185);
            EXPECT_NE(reg, 0x1006);
        }
    }
}

}  // namespace
}  // namespace brivane::testing
