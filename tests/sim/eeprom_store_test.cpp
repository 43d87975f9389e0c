#include "sim_fixture.h"

namespace simtest {
namespace {

using SimEepromStore = SimFixture;
using SimPowerCycle = SimFixture;

constexpr std::uint32_t kCommitBusy = 1u << 1;
constexpr std::uint32_t kSignature = 14;
constexpr std::uint32_t kMask = 16;

std::uint32_t stored(std::uint32_t index, std::uint32_t copy) {
    std::uint32_t v = kUntouched;
    EXPECT_EQ(1u, XAVO_SIM_GetEepromWord(0, index, copy, &v));
    return v;
}
std::uint32_t persistent(std::uint32_t index) { return stored(index, XAVO_SIM_EEPROM_PERSISTENT); }

struct CommitCounts {
    std::uint32_t requested = kUntouched, completed = kUntouched;
    bool operator==(const CommitCounts&) const = default;
};
CommitCounts commits() {
    CommitCounts c;
    EXPECT_EQ(1u, XAVO_SIM_GetEepromCommitCounts(0, &c.requested, &c.completed));
    return c;
}

TEST_F(SimEepromStore, CommitStoresTheWorkingCopyWhenItsBusyBitClears) {
    openCard();
    write(eepromWord(3), 2100);
    EXPECT_EQ(2060u, persistent(3)) << "writes reach the working copy only";

    write(kCommand, kCommit);
    EXPECT_EQ((std::vector<std::uint32_t>{kCommitBusy, kCommitBusy, kCommitBusy}), reads(kCommand, 3));
    EXPECT_EQ(2060u, persistent(3)) << "still running";
    EXPECT_EQ((CommitCounts{1, 0}), commits());
    write(eepromWord(4), 2200);  // made while the commit runs: stored with it
    EXPECT_EQ(0u, read(kCommand));
    EXPECT_EQ(2100u, persistent(3));
    EXPECT_EQ(2200u, persistent(4));
    EXPECT_EQ((CommitCounts{1, 1}), commits());

    // A commit that never finishes stores nothing, and a power cycle loses it.
    ASSERT_EQ(1u, XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_EEPROM_COMMIT, XAVO_SIM_NEVER));
    write(eepromWord(3), 1);
    write(kCommand, kCommit);
    for (int i = 0; i < 10000; ++i) ASSERT_EQ(kCommitBusy, read(kCommand)) << i;
    ASSERT_EQ(1u, XAVO_SIM_PowerCycle(0));
    EXPECT_EQ(0u, read(kCommand));
    EXPECT_EQ(2100u, read(eepromWord(3)));
    EXPECT_EQ((CommitCounts{2, 1}), commits());

    // With N = 0 the commit is done before the first read.
    ASSERT_EQ(1u, XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_EEPROM_COMMIT, 0));
    write(eepromWord(3), 5);
    write(kCommand, kCommit);
    EXPECT_EQ(5u, persistent(3));
}

TEST_F(SimEepromStore, PersonalitiesAndWordsSetBothCopies) {
    const struct {
        std::uint32_t personality, signature, mask, offset0;
    } cases[] = {
        {XAVO_SIM_EEPROM_VALID, 0x1234AA55, 0x1F, 2011},
        {XAVO_SIM_EEPROM_RESET_REQUEST, 0x123455AA, 0x1F, 2011},
        {XAVO_SIM_EEPROM_BLANK, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
    };
    openCard();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.personality);
        write(eepromWord(2), 77);
        ASSERT_EQ(1u, XAVO_SIM_SetEepromPersonality(0, c.personality));
        for (std::uint32_t copy : {XAVO_SIM_EEPROM_WORKING, XAVO_SIM_EEPROM_PERSISTENT}) {
            EXPECT_EQ(c.signature, stored(kSignature, copy));
            EXPECT_EQ(c.mask, stored(kMask, copy));
            EXPECT_EQ(c.offset0, stored(2, copy));
        }
        EXPECT_EQ(c.signature, read(eepromWord(kSignature)));
    }
    ASSERT_EQ(1u, XAVO_SIM_SetEepromWord(0, kMask, 0x21));
    EXPECT_EQ(0x21u, read(eepromWord(kMask)));
    EXPECT_EQ(0x21u, persistent(kMask));

    std::uint32_t v = 0;
    EXPECT_EQ(0u, XAVO_SIM_SetEepromPersonality(0, 3));
    EXPECT_EQ(0u, XAVO_SIM_SetEepromWord(0, 128, 1));
    EXPECT_EQ(0u, XAVO_SIM_GetEepromWord(0, 0, 2, &v));
    EXPECT_EQ(0u, XAVO_SIM_GetEepromWord(0, 128, XAVO_SIM_EEPROM_WORKING, &v));
    EXPECT_EQ(0u, XAVO_SIM_SetEepromWord(1, 0, 1));
    EXPECT_EQ(0x21u, persistent(kMask)) << "refused calls change nothing";
}

TEST_F(SimEepromStore, WriteLogCountsCardWritesOnly) {
    openCard();
    write(eepromWord(8), 2190);
    write(eepromWord(8), 2191);
    write(eepromWord(127), 3);
    ASSERT_EQ(1u, XAVO_SIM_Poke(0, eepromWord(9), 1));  // the backdoor leaves no trace
    ASSERT_EQ(1u, XAVO_SIM_SetEepromWord(0, 10, 1));

    const struct {
        std::uint32_t index, count, last;
    } expected[] = {{8, 2, 2191}, {127, 1, 3}, {9, 0, 0}, {10, 0, 0}, {0, 0, 0}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e.index);
        std::uint32_t count = kUntouched, last = kUntouched;
        ASSERT_EQ(1u, XAVO_SIM_GetEepromWriteLog(0, e.index, &count, &last));
        EXPECT_EQ(e.count, count);
        EXPECT_EQ(e.last, last);
    }
    write(kCommand, kCommit);
    ASSERT_EQ(1u, XAVO_SIM_ClearEepromLog(0));
    std::uint32_t count = kUntouched;
    ASSERT_EQ(1u, XAVO_SIM_GetEepromWriteLog(0, 8, &count, nullptr));
    EXPECT_EQ(0u, count);
    EXPECT_EQ((CommitCounts{0, 0}), commits());
    EXPECT_EQ(2191u, read(eepromWord(8))) << "clearing the log keeps the contents";
    EXPECT_EQ(0u, XAVO_SIM_GetEepromWriteLog(0, 128, &count, nullptr));
}

TEST_F(SimPowerCycle, ReturnsTheHardwareToPowerUpAndKeepsWhatSurvivesPower) {
    openCard(0, true);
    ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kSequencedSampling, kSequencedPeripheral));
    ASSERT_EQ(1u, XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_GATE_LOAD, 4));
    ASSERT_EQ(1u, XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_SYSTEM, 0x0202));
    write(sysReg(0x40), 5);
    write(smpReg(0x50), 1);
    write(perReg(0x0C), 0x2100);
    write(0x1000, 0xABCD);
    write(sysReg(0x14), 0x100);
    write(eepromWord(21), 21);
    write(kCommand, kCommit);
    reads(kCommand, 4);
    write(eepromWord(20), 20);  // never committed

    ASSERT_EQ(1u, XAVO_SIM_PowerCycle(0));

    EXPECT_EQ(0u, read(sysReg(0x40)));
    EXPECT_EQ(0u, read(smpReg(0x50)));
    EXPECT_EQ(0u, read(0x1000));
    EXPECT_EQ(0u, read(smpReg(0xFC)));
    EXPECT_EQ(0u, read(perReg(0xFC)));
    EXPECT_EQ(0u, firmwareWord(XAVO_SIM_BANK_SAMPLING));
    EXPECT_EQ(0u, XAVO_SIM_GetInRangeOnlyFlag(0));
    std::uint32_t dac = 0;
    ASSERT_EQ(1u, XAVO_SIM_GetDacWord(0, 2, &dac));
    EXPECT_EQ(0x800u, dac);
    EXPECT_EQ(21u, read(eepromWord(21)));
    EXPECT_EQ(0xFFFFFFFFu, read(eepromWord(20))) << "working copy reloaded from the persistent one";
    std::uint32_t count = 0;
    ASSERT_EQ(1u, XAVO_SIM_GetEepromWriteLog(0, 20, &count, nullptr));
    EXPECT_EQ(1u, count) << "the write log is the test's, not the card's";

    // Knobs and the host's handles stay.
    EXPECT_EQ(0x0202u, read(sysReg(0xFC)));
    EXPECT_EQ(1u, XAVO_SIM_IsDMAChannelOpen(0));
    write(perReg(0x40), 1);
    constexpr std::uint32_t kBusy = 1u << 31 | 1;
    EXPECT_EQ((std::vector<std::uint32_t>{kBusy, kBusy, kBusy, kBusy, 1}), reads(perReg(0x40), 5));
}

}  // namespace
}  // namespace simtest
