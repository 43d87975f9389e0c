#include <gtest/gtest.h>

#include <vector>

#include "hardware/registers.h"
#include "library_fixture.h"
#include "timing_test_support.h"

namespace kz::test {
namespace {

constexpr std::uint32_t kSequencer = peripheralAddress(reg::per::kSequencer);
constexpr std::uint32_t kStepsInSequence = samplingAddress(reg::smp::kStepsInSequence);
constexpr std::uint32_t kRunBit = 0x80000000;

using Errors = std::vector<std::uint32_t>;

class Sequencer : public FirmwareRunningCardFixture {
protected:
    static bool runBit() { return (peek(kSequencer) & kRunBit) != 0; }
    static std::uint32_t state() { return card0().sequenceState; }
    static std::uint32_t pauses() { return card0().sequencePauseCount; }
};

TEST_F(Sequencer, StepsInSequenceAreOneTo32)
{
    ASSERT_EQ(KZ_SetStepsInSequence(0, 32), 1u);
    EXPECT_EQ(peek(kStepsInSequence), 31u);
    EXPECT_EQ(peek(kSequencer), 31u);
    EXPECT_EQ(card0().numberOfAScansPerBScan, 32u);
    std::uint32_t count = 0;
    ASSERT_EQ(KZ_GetStepsInSequence(0, &count), 1u);
    EXPECT_EQ(count, 32u);

    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetStepsInSequence(0, 0), 0u);
    EXPECT_EQ(KZ_SetStepsInSequence(0, 33), 0u);
    EXPECT_EQ(reportedErrors(), (Errors{0x7001, 0x7001}));
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_EQ(card0().numberOfAScansPerBScan, 32u);
}

TEST_F(Sequencer, SettingTheStepsStopsARunningSequencerButKeepsItsState)
{
    ASSERT_EQ(KZ_StartSequence(0), 1u);
    ASSERT_TRUE(runBit());
    ASSERT_EQ(KZ_SetStepsInSequence(0, 4), 1u);
    EXPECT_FALSE(runBit());
    EXPECT_EQ(state(), 2u);
}

TEST_F(Sequencer, ARefusedBudgetLeavesTheStepsAndTheAScanCountAsTheyWere)
{
    // Two banks of the longest A-scans fit one step, not 32.
    ASSERT_EQ(KZ_SetStepsInSequence(0, 1), 1u);
    ASSERT_EQ(KZ_SetNumberOfSamples(0, XAVO_MAXIMUM_NUMBER_OF_SAMPLES), 1u);
    ASSERT_EQ(KZ_SetNumberOfBScansPerBankIsAutomatic(0, 0), 1u);
    ASSERT_EQ(KZ_SetNumberOfBScansPerBank(0, 2), 1u);
    clearErrors();

    EXPECT_EQ(KZ_SetStepsInSequence(0, 32), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x5a00});
    EXPECT_EQ(card0().numberOfAScansPerBScan, 1u);
    EXPECT_EQ(peek(kStepsInSequence), 0u);
    EXPECT_EQ(peek(kSequencer), 0u);
}

TEST_F(Sequencer, ARefusedCountIsUndoneFromTheSequencersStepsNotByReadingTheSamplingSide)
{
    ASSERT_EQ(KZ_SetStepsInSequence(0, 4), 1u);
    ASSERT_EQ(KZ_SetNumberOfSamples(0, XAVO_MAXIMUM_NUMBER_OF_SAMPLES), 1u);
    ASSERT_EQ(KZ_SetNumberOfBScansPerBankIsAutomatic(0, 0), 1u);
    ASSERT_EQ(KZ_SetNumberOfBScansPerBank(0, 2), 1u);
    clearErrors();
    // A card whose sampling-side step register does not read back what it was given.
    addRule(XAVO_SIM_OP_GET_WORD, kStepsInSequence, XAVO_SIM_ACTION_FORCE_VALUE, 0x1F);

    EXPECT_EQ(KZ_SetStepsInSequence(0, 32), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x5a00});
    EXPECT_EQ(peek(kStepsInSequence), 3u);
    EXPECT_EQ(peek(kSequencer), 3u);
    EXPECT_EQ(card0().numberOfAScansPerBScan, 4u);
}

TEST_F(Sequencer, NestedPausesStopOnceAndOnlyTheOutermostResumeRestarts)
{
    ASSERT_EQ(KZ_StartSequence(0), 1u);
    EXPECT_EQ(state(), 2u);

    KZ_PauseSequence(0);
    KZ_PauseSequence(0);
    EXPECT_EQ(state(), 1u);
    EXPECT_EQ(pauses(), 2u);
    EXPECT_FALSE(runBit());

    KZ_ResumeSequence(0);
    EXPECT_EQ(state(), 1u);
    EXPECT_FALSE(runBit());

    KZ_ResumeSequence(0);
    EXPECT_EQ(state(), 2u);
    EXPECT_EQ(pauses(), 0u);
    EXPECT_TRUE(runBit());

    // A resume without a pause must not wind the count below zero: the next pause still stops.
    XAVO_SIM_ClearCallLog();
    KZ_ResumeSequence(0);
    EXPECT_EQ(pauses(), 0u);
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    KZ_PauseSequence(0);
    EXPECT_EQ(state(), 1u);
    EXPECT_FALSE(runBit());
    EXPECT_EQ(card0().lockDepth, 0u);
}

TEST_F(Sequencer, PauseAndResumeOfAStoppedSequencerDoNothing)
{
    ASSERT_EQ(KZ_StartSequence(0), 1u);
    ASSERT_EQ(KZ_StopSequence(0), 1u);
    EXPECT_EQ(state(), 0u);
    XAVO_SIM_ClearCallLog();
    KZ_PauseSequence(0);
    KZ_ResumeSequence(0);
    KZ_PauseSequence(7);
    EXPECT_EQ(pauses(), 0u);
    EXPECT_EQ(state(), 0u);
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
}

TEST_F(Sequencer, StopWaitsForRestAndCountsASequencerBusyAfterOneSecondAsStopped)
{
    ASSERT_EQ(KZ_StartSequence(0), 1u);
    std::uint64_t start = clock.now;
    ASSERT_EQ(KZ_StopSequence(0), 1u);
    EXPECT_LT(clock.now - start, 100u); // the card settles after two reads

    ASSERT_EQ(XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_SEQUENCER, XAVO_SIM_NEVER), 1u);
    ASSERT_EQ(KZ_StartSequence(0), 1u);
    start = clock.now;
    EXPECT_EQ(KZ_StopSequence(0), 1u);
    const std::uint64_t elapsedMicroseconds = clock.now - start;
    EXPECT_GE(elapsedMicroseconds, 1'000'000u);
    EXPECT_LT(elapsedMicroseconds, 1'010'000u);
    EXPECT_EQ(state(), 0u);
    EXPECT_FALSE(runBit());
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(Sequencer, WithoutACounterTheStopDoesNotWaitAndCountsAsDone)
{
    ASSERT_EQ(XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_SEQUENCER, XAVO_SIM_NEVER), 1u);
    ASSERT_EQ(KZ_StartSequence(0), 1u);
    clock.failFrequency = true;
    EXPECT_EQ(KZ_StopSequence(0), 1u);
    EXPECT_EQ(state(), 0u);
    EXPECT_FALSE(runBit());
}

TEST_F(Sequencer, AFailedReadWhileWaitingFailsTheStopAndReleasesTheLock)
{
    ASSERT_EQ(KZ_StartSequence(0), 1u);
    addRule(XAVO_SIM_OP_GET_WORD, kSequencer, XAVO_SIM_ACTION_FAIL, 0, 1); // the first read passes
    EXPECT_EQ(KZ_StopSequence(0), 0u);
    EXPECT_FALSE(runBit());
    EXPECT_EQ(state(), 2u);
    EXPECT_EQ(card0().lockDepth, 0u);
}

class OlderSequencer : public FirmwareRunningCardFixture {
protected:
    OlderSequencer() { firmware = kNonSequencedFirmware; }
};

TEST_F(OlderSequencer, RefusesEveryOperationAndIgnoresPauseAndResume)
{
    std::uint32_t count = 99;
    EXPECT_EQ(KZ_SetStepsInSequence(0, 4), 0u);
    EXPECT_EQ(KZ_GetStepsInSequence(0, &count), 0u);
    EXPECT_EQ(KZ_StartSequence(0), 0u);
    EXPECT_EQ(KZ_StopSequence(0), 0u);
    EXPECT_EQ(reportedErrors(), (Errors{0x7000, 0x7100, 0x7200, 0x7300}));
    EXPECT_EQ(count, 99u);

    card0().sequenceState = 2;
    clearErrors();
    KZ_PauseSequence(0);
    KZ_ResumeSequence(0);
    EXPECT_EQ(card0().sequencePauseCount, 0u);
    EXPECT_EQ(card0().sequenceState, 2u);
    EXPECT_TRUE(reportedErrors().empty());
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
}

} // namespace
} // namespace kz::test
