#include "sim_fixture.h"

namespace simtest {
namespace {

using SimBusyBits = SimFixture;

constexpr std::uint32_t kBit31 = 1u << 31;
constexpr std::uint32_t kSequencer = perReg(0x60);
constexpr std::uint32_t kSequencerBusy = 1u << 30;
constexpr std::uint32_t kRun = 1u << 31;

// A status bit that counts reads: the write that starts it, the register polled, the bit,
// its waiting level (busy bits wait at 1, the focusing acknowledge at 0) and its default N.
struct CountedBit {
    const char* name;
    std::uint32_t busyBit;
    std::uint32_t startAddress, startValue;
    std::uint32_t polled, mask;
    bool waitsAtOne;
    std::uint32_t defaultReads;
};

constexpr CountedBit kCountedBits[] = {
    {"synthesiser mailbox", XAVO_SIM_BUSY_DDS_MAILBOX, smpReg(0x5C), 0x0412, smpReg(0x5C), kBit31, true, 1},
    {"gate load", XAVO_SIM_BUSY_GATE_LOAD, perReg(0x40), 2, perReg(0x40), kBit31, true, 1},
    {"D-to-A, sampling copy", XAVO_SIM_BUSY_DAC, perReg(0x0C), 0x2800, smpReg(0x0C), kBit31, true, 1},
    {"D-to-A, peripheral copy", XAVO_SIM_BUSY_DAC, perReg(0x0C), 0x2800, perReg(0x0C), kBit31, true, 1},
    {"EEPROM commit", XAVO_SIM_BUSY_EEPROM_COMMIT, kCommand, kCommit, kCommand, 1u << 1, true, 3},
    {"focusing acknowledge", XAVO_SIM_BUSY_FOCUSING_ACK, perReg(0x4C), 0x105, perReg(0x4C), kBit31, false, 1},
};

// Polls `bit` `n` times; returns how many reads showed the waiting level before the first
// final one (n when none did).
std::uint32_t waitingReads(const CountedBit& bit, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
        const bool set = (SimFixture::read(bit.polled) & bit.mask) != 0;
        if (set != bit.waitsAtOne) return i;
    }
    return n;
}

TEST_F(SimBusyBits, EachBitWaitsForItsReadCountThenShowsItsFinalState) {
    constexpr std::uint32_t kPolls = 50;
    openCard();
    for (const CountedBit& bit : kCountedBits) {
        SCOPED_TRACE(bit.name);
        EXPECT_EQ(0u, waitingReads(bit, kPolls)) << "idle before any event";
        write(bit.startAddress, bit.startValue);
        EXPECT_EQ(bit.defaultReads, waitingReads(bit, kPolls));
        EXPECT_EQ(0u, waitingReads(bit, kPolls)) << "stays final";

        for (std::uint32_t n : {0u, 2u, 7u, XAVO_SIM_NEVER}) {
            SCOPED_TRACE(n);
            ASSERT_EQ(1u, XAVO_SIM_SetBusyReads(0, bit.busyBit, n));
            write(bit.startAddress, bit.startValue);
            EXPECT_EQ(n == XAVO_SIM_NEVER ? kPolls : n, waitingReads(bit, kPolls));
        }
        // A new event with a finite count ends a "never" wait.
        ASSERT_EQ(1u, XAVO_SIM_SetBusyReads(0, bit.busyBit, bit.defaultReads));
        write(bit.startAddress, bit.startValue);
        EXPECT_EQ(bit.defaultReads, waitingReads(bit, kPolls));
    }
    EXPECT_EQ(0u, XAVO_SIM_SetBusyReads(0, 6, 1));
    EXPECT_EQ(0u, XAVO_SIM_SetBusyReads(1, XAVO_SIM_BUSY_DAC, 1));
}

TEST_F(SimBusyBits, DacBusyIsOneStateCountedByReadsOfEitherCopy) {
    openCard();
    ASSERT_EQ(1u, XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_DAC, 3));
    write(perReg(0x0C), 0x3123);
    EXPECT_EQ(kBit31, read(smpReg(0x0C)));
    EXPECT_EQ(kBit31 | 0x3123, read(perReg(0x0C)));
    EXPECT_EQ(kBit31, read(smpReg(0x0C)));
    EXPECT_EQ(0x3123u, read(perReg(0x0C)));
    EXPECT_EQ(0u, read(smpReg(0x0C)));

    // With the peripheral copy stuck, the sampling copy still clears.
    ASSERT_EQ(1u, XAVO_SIM_SetDacPeripheralBusyNeverClears(0, 1));
    ASSERT_EQ(1u, XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_DAC, 1));
    write(perReg(0x0C), 0x3124);
    EXPECT_EQ((std::vector<std::uint32_t>{kBit31, 0, 0}), reads(smpReg(0x0C), 3));
    EXPECT_EQ((std::vector<std::uint32_t>{kBit31 | 0x3124, kBit31 | 0x3124}), reads(perReg(0x0C), 2));
    ASSERT_EQ(1u, XAVO_SIM_SetDacPeripheralBusyNeverClears(0, 0));
    write(perReg(0x0C), 0x3125);
    EXPECT_EQ((std::vector<std::uint32_t>{kBit31 | 0x3125, 0x3125}), reads(perReg(0x0C), 2));
}

TEST_F(SimBusyBits, SequencerIsBusyWhileRunningAndForNReadsAfterStopping) {
    openCard();
    auto busy = [] { return (read(kSequencer) & kSequencerBusy) != 0; };
    EXPECT_FALSE(busy());
    write(kSequencer, kRun | 3);
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(busy()) << "running: " << i;
    EXPECT_EQ(kRun | kSequencerBusy | 3, read(kSequencer));

    write(kSequencer, 3);  // stop
    EXPECT_EQ((std::vector<std::uint32_t>{kSequencerBusy | 3, kSequencerBusy | 3, 3, 3}), reads(kSequencer, 4));

    write(kSequencer, 3);  // writing "stopped" again is no new stop
    EXPECT_FALSE(busy());

    for (std::uint32_t n : {0u, 5u}) {
        SCOPED_TRACE(n);
        ASSERT_EQ(1u, XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_SEQUENCER, n));
        write(kSequencer, kRun);
        write(kSequencer, 0);
        for (std::uint32_t i = 0; i < n; ++i) EXPECT_TRUE(busy()) << i;
        EXPECT_FALSE(busy());
    }
    ASSERT_EQ(1u, XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_SEQUENCER, XAVO_SIM_NEVER));
    write(kSequencer, kRun);
    write(kSequencer, kSequencerBusy);  // the busy bit is not writable: this stops the run
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(busy()) << i;
    EXPECT_EQ(0u, peek(kSequencer));
}

TEST_F(SimBusyBits, InspectionAndForcedReadsDoNotCount) {
    openCard();
    ASSERT_EQ(1u, XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_GATE_LOAD, 2));
    write(perReg(0x40), 1);
    XAVO_SIM_FaultRule rule = anyRule(XAVO_SIM_OP_GET_WORD, XAVO_SIM_ACTION_FORCE_VALUE);
    rule.count = 3;
    ASSERT_NE(0u, XAVO_SIM_AddFaultRule(&rule));
    for (int i = 0; i < 3; ++i) read(perReg(0x40));
    for (int i = 0; i < 3; ++i) peek(perReg(0x40));
    EXPECT_EQ((std::vector<std::uint32_t>{kBit31 | 1, kBit31 | 1, 1}), reads(perReg(0x40), 3));
}

}  // namespace
}  // namespace simtest
