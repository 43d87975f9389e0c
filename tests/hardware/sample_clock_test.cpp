#include <gtest/gtest.h>

#include "frame/board_table.h"
#include "hardware/sample_clock.h"
#include "library_fixture.h"

namespace kz::test {
namespace {

TEST(TuningWord, IsTheFrequencyScaledBy2To32Over264MHzRoundedDown)
{
    EXPECT_EQ(tuningWord(66'000'000), 0x40000000u);
    EXPECT_EQ(tuningWord(100'000'000), 0x60F83E0Fu);
    EXPECT_EQ(tuningWord(40'000'000), 0x26C9B26Cu);
}

class SampleClock : public FirmwareRunningCardFixture {
protected:
    static std::uint32_t ddsRegister(std::uint32_t reg, std::uint32_t* writes = nullptr)
    {
        std::uint32_t value = 0xFFFF;
        XAVO_SIM_GetDdsRegister(0, reg, &value, writes);
        return value;
    }
};

TEST_F(SampleClock, ProgramsTheTuningWordMostSignificantByteFirstFiveTimesEachAndLocks)
{
    std::uint32_t stable = 7;
    ASSERT_EQ(KZ_GetHasSampleClockStabilised(0, &stable), 1u);
    EXPECT_EQ(stable, 0u);

    ASSERT_EQ(KZ_SetSamplingFrequency(0, 66'000'000), 1u);
    const std::uint32_t expected[] = {0x40, 0x00, 0x00, 0x00, 0x00, 0x00};
    for (std::uint32_t reg = 4; reg <= 9; ++reg) {
        std::uint32_t writes = 0;
        EXPECT_EQ(ddsRegister(reg, &writes), expected[reg - 4]) << reg;
        EXPECT_EQ(writes, 5u) << reg;
    }
    // Every mailbox write is followed by 1 ms.
    EXPECT_EQ(clock.sleptMilliseconds, 30u);

    std::uint32_t frequency = 0;
    EXPECT_EQ(KZ_GetSamplingFrequency(0, &frequency), 1u);
    EXPECT_EQ(frequency, 66'000'000u);
    EXPECT_EQ(KZ_GetHasSampleClockStabilised(0, &stable), 1u);
    EXPECT_EQ(stable, 1u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(SampleClock, AcceptsFortyToOneHundredMegahertzOnly)
{
    struct Case {
        std::uint32_t hz;
        bool accepted;
    };
    for (const Case c : {Case{39'999'999, false}, Case{40'000'000, true}, Case{100'000'000, true},
                         Case{100'000'001, false}, Case{0, false}, Case{0xFFFFFFFF, false}}) {
        clearErrors();
        XAVO_SIM_ClearCallLog();
        EXPECT_EQ(KZ_SetSamplingFrequency(0, c.hz), c.accepted ? 1u : 0u) << c.hz;
        if (!c.accepted) {
            EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x800});
            EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
        }
    }
    std::uint32_t frequency = 0;
    KZ_GetSamplingFrequency(0, &frequency);
    EXPECT_EQ(frequency, 100'000'000u);
}

TEST_F(SampleClock, SynthesiserRegisterValuesAndAddressesAreChecked)
{
    EXPECT_EQ(setSynthesiserRegister(0, 256, 4), 0u);
    EXPECT_EQ(setSynthesiserRegister(0, 0, 64), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x1e00, 0x1e01}));
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_EQ(setSynthesiserRegister(0, 255, 63), 1u);
    EXPECT_EQ(ddsRegister(63), 255u);
    EXPECT_EQ(setSynthesiserRegister(1, 1, 1), 0u);
}

TEST_F(SampleClock, AMailboxThatNeverFreesFailsAfterATenthOfASecond)
{
    XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_DDS_MAILBOX, XAVO_SIM_NEVER);
    const std::uint64_t start = clock.now;
    EXPECT_EQ(KZ_SetSamplingFrequency(0, 66'000'000), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x2001});
    // Polled for just over 0.1 s of counter time, then gave up on the first write.
    EXPECT_GE(clock.now - start, 100'000u);
    EXPECT_LT(clock.now - start, 250'000u);
    std::uint32_t writes = 0;
    ddsRegister(4, &writes);
    EXPECT_EQ(writes, 1u);
    std::uint32_t frequency = 1;
    KZ_GetSamplingFrequency(0, &frequency);
    EXPECT_EQ(frequency, 0u);
}

TEST_F(SampleClock, AMailboxThatFreesOnlyAfterATenthOfASecondCountsAsATimeOut)
{
    // The counter advances 1 µs per read and is read once per poll: the mailbox reads free at
    // poll N + 1, that is after N + 1 µs.
    XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_DDS_MAILBOX, 99'999);
    ASSERT_EQ(KZ_SetSamplingRegister(0, 0x5C, 0x0104), 1u);
    EXPECT_EQ(waitForSynthesiserMailbox(0), 1u);
    EXPECT_TRUE(reportedErrors().empty());

    XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_DDS_MAILBOX, 100'000);
    ASSERT_EQ(KZ_SetSamplingRegister(0, 0x5C, 0x0104), 1u);
    EXPECT_EQ(waitForSynthesiserMailbox(0), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x2001});
}

TEST_F(SampleClock, ACounterThatCannotBeQueriedFailsTheWait)
{
    clock.failFrequency = true;
    EXPECT_EQ(KZ_SetSamplingFrequency(0, 66'000'000), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x2000});
}

TEST_F(SampleClock, AFailureHalfWayLeavesThePartialTuningWordAndTheOldFrequency)
{
    ASSERT_EQ(KZ_SetSamplingFrequency(0, 66'000'000), 1u);
    XAVO_SIM_FaultRule rule{};
    rule.operations = XAVO_SIM_OP_SET_WORD;
    rule.card = XAVO_SIM_ANY;
    rule.addressFirst = rule.addressLast = XAVO_HAL_REGISTER_BASE + 512 + 0x5C;
    rule.skip = 5; // the five writes of register 4 pass
    XAVO_SIM_AddFaultRule(&rule);
    EXPECT_EQ(KZ_SetSamplingFrequency(0, 100'000'000), 0u);
    EXPECT_EQ(ddsRegister(4), 0x60u);
    EXPECT_EQ(ddsRegister(5), 0x00u);
    std::uint32_t frequency = 0;
    KZ_GetSamplingFrequency(0, &frequency);
    EXPECT_EQ(frequency, 66'000'000u);
}

TEST_F(SampleClock, LockIsReportedOnlyAfterTheClockSettles)
{
    XAVO_SIM_SetClockLockReads(0, 1);
    ASSERT_EQ(KZ_SetSamplingFrequency(0, 40'000'000), 1u);
    std::uint32_t stable = 9;
    EXPECT_EQ(KZ_GetHasSampleClockStabilised(0, &stable), 1u);
    EXPECT_EQ(stable, 0u);
    EXPECT_EQ(KZ_GetHasSampleClockStabilised(0, &stable), 1u);
    EXPECT_EQ(stable, 1u);
}

TEST_F(SampleClock, OutputsAreWrittenOnlyOnSuccess)
{
    std::uint32_t value = 5;
    EXPECT_EQ(KZ_GetSamplingFrequency(0, nullptr), 0u);
    EXPECT_EQ(KZ_GetHasSampleClockStabilised(0, nullptr), 0u);
    EXPECT_EQ(KZ_GetSamplingFrequency(1, &value), 0u);
    XAVO_SIM_FaultRule rule{};
    rule.operations = XAVO_SIM_OP_GET_WORD;
    rule.card = XAVO_SIM_ANY;
    rule.addressLast = 0xFFFFFFFF;
    XAVO_SIM_AddFaultRule(&rule);
    EXPECT_EQ(KZ_GetHasSampleClockStabilised(0, &value), 0u);
    EXPECT_EQ(value, 5u);
}

} // namespace
} // namespace kz::test
