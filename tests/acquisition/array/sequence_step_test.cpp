#include <gtest/gtest.h>

#include <vector>

#include "acquisition/sequence_step.h"
#include "array_test_support.h"
#include "frame/board_table.h"
#include "hardware/registers.h"
#include "library_fixture.h"

namespace kz::test {
namespace {

constexpr std::uint32_t kSamplingStep = samplingAddress(reg::smp::kSequenceStep);
constexpr std::uint32_t kPeripheralStep = peripheralAddress(reg::per::kSequenceStep);

class SequenceStep : public BothGenerationsFixture {
protected:
    BoardState& board() { return *boardInRange(0); }
};

XAVO_INSTANTIATE_FOR_BOTH_GENERATIONS(SequenceStep);

TEST_P(SequenceStep, SelectsStepsZeroToThirtyOneOnSequencedFirmwareOnly)
{
    std::uint32_t step = 99;
    if (!sequenced()) {
        EXPECT_EQ(KZ_SetSequenceStep(0, 0), 0u);
        EXPECT_EQ(KZ_GetSequenceStep(0, &step), 0u);
        EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x6800, 0x6900}));
        EXPECT_EQ(step, 99u);
        EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
        return;
    }
    for (const std::uint32_t selected : {31u, 0u, 17u}) {
        ASSERT_EQ(KZ_SetSequenceStep(0, selected), 1u) << selected;
        EXPECT_EQ(peek(kSamplingStep), selected);
        EXPECT_EQ(peek(kPeripheralStep), selected);
        EXPECT_EQ(board().currentSequenceStep, selected);
        ASSERT_EQ(KZ_GetSequenceStep(0, &step), 1u);
        EXPECT_EQ(step, selected);
    }
    XAVO_SIM_ClearCallLog();
    for (const std::uint32_t invalid : {32u, 0xFFFFFFFFu}) {
        EXPECT_EQ(KZ_SetSequenceStep(0, invalid), 0u) << invalid;
    }
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x6801, 0x6801}));
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_EQ(board().currentSequenceStep, 17u);
}

TEST_P(SequenceStep, NullOutputIsRefusedWithoutTouchingTheCard)
{
    EXPECT_EQ(KZ_GetSequenceStep(0, nullptr), 0u);
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

class SequenceStepWrites : public FirmwareRunningCardFixture {};

TEST_F(SequenceStepWrites, AFailedPeripheralWriteStillSucceedsAndTheGetterReportsTheCard)
{
    ASSERT_EQ(KZ_SetSequenceStep(0, 4), 1u);
    failEvery(XAVO_SIM_OP_SET_WORD, kPeripheralStep);
    EXPECT_EQ(KZ_SetSequenceStep(0, 9), 1u);
    EXPECT_EQ(peek(kSamplingStep), 9u);
    EXPECT_EQ(boardInRange(0)->currentSequenceStep, 9u);
    std::uint32_t step = 0;
    ASSERT_EQ(KZ_GetSequenceStep(0, &step), 1u);
    EXPECT_EQ(step, 4u);
}

TEST_F(SequenceStepWrites, AFailedSamplingWriteFailsButKeepsTheStoredStep)
{
    failEvery(XAVO_SIM_OP_SET_WORD, kSamplingStep);
    EXPECT_EQ(KZ_SetSequenceStep(0, 6), 0u);
    EXPECT_EQ(boardInRange(0)->currentSequenceStep, 6u);
    EXPECT_EQ(writesTo(kPeripheralStep), 0u);
}

TEST_F(SequenceStepWrites, GetterReadsOnlyTheFiveStepBitsAndLeavesTheOutputOnAFailedRead)
{
    // The card returns bits 0-4 only; a raw word with more bits still yields its step.
    XAVO_SIM_FaultRule rule{};
    rule.operations = XAVO_SIM_OP_GET_WORD;
    rule.card = 0;
    rule.addressFirst = rule.addressLast = kPeripheralStep;
    rule.action = XAVO_SIM_ACTION_FORCE_VALUE;
    rule.forcedValue = 0xFFFFFFE3;
    rule.count = 1;
    ASSERT_NE(XAVO_SIM_AddFaultRule(&rule), 0u);
    std::uint32_t step = 0;
    ASSERT_EQ(KZ_GetSequenceStep(0, &step), 1u);
    EXPECT_EQ(step, 3u);

    failEvery(XAVO_SIM_OP_GET_WORD, kPeripheralStep);
    step = 77;
    EXPECT_EQ(KZ_GetSequenceStep(0, &step), 0u);
    EXPECT_EQ(step, 77u);
}

} // namespace
} // namespace kz::test
