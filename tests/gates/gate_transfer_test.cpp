// Gates on their way to the card: the staging registers of every step, the load hand-shake, the
// sequencer paused around it, the rescale, and the memory layout the gates shape.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <optional>

#include "gate_test_support.h"

namespace kz::test {
namespace {

using SequencedTransfer = FirmwareRunningCardFixture;

class Transfer : public BothGenerationsFixture {};
XAVO_INSTANTIATE_FOR_BOTH_GENERATIONS(Transfer);

constexpr std::uint32_t window(std::uint32_t start, std::uint32_t end) { return end << 16 | start; }

constexpr std::uint32_t kRunBit = 0x80000000;
constexpr std::uint32_t kLoadBusyBit = 0x80000000;

// The value the card library wrote or read in the last call of `operation` on `address`, and
// the position of that call in the log.
struct LoggedCall {
    std::uint32_t index;
    std::uint32_t value;
};

std::optional<LoggedCall> lastCall(std::uint32_t operation, std::uint32_t address, std::uint32_t before = UINT32_MAX)
{
    std::optional<LoggedCall> found;
    const std::uint32_t length = std::min(XAVO_SIM_ReturnCallLogLength(), before);
    for (std::uint32_t i = 0; i < length; ++i) {
        XAVO_SIM_CallRecord record{};
        if (XAVO_SIM_GetCallLogEntry(i, &record) == 1 && record.operation == operation && record.address == address) {
            found = LoggedCall{i, record.value};
        }
    }
    return found;
}

std::optional<LoggedCall> firstCall(std::uint32_t operation, std::uint32_t address)
{
    for (std::uint32_t i = 0; i < XAVO_SIM_ReturnCallLogLength(); ++i) {
        XAVO_SIM_CallRecord record{};
        if (XAVO_SIM_GetCallLogEntry(i, &record) == 1 && record.operation == operation && record.address == address) {
            return LoggedCall{i, record.value};
        }
    }
    return std::nullopt;
}

TEST_F(SequencedTransfer, AGateGoesToEveryStepDividedByThatStepsOversamplesAndTheStepIsSelectedAgain)
{
    ASSERT_EQ(KZ_SetSequenceStep(0, 5), 1u);
    ASSERT_EQ(addGate(enabledGate(1, 50, 60)), 1u);
    ASSERT_EQ(KZ_SetSequenceStep(0, 3), 1u);
    ASSERT_EQ(KZ_SetNumberOfOversamples(0, 2), 1u);
    ASSERT_EQ(addGate(enabledGate(1, 400, 800)), 1u);
    EXPECT_TRUE(reportedErrors().empty());

    EXPECT_EQ(cardSlot(3, 1).window, window(200 - 4, 400 - 4));
    EXPECT_EQ(cardSlot(3, 1).attributes & kEnabledBit, kEnabledBit);
    EXPECT_EQ(cardSlot(5, 1).window, window(50 - 4, 60 - 4));
    EXPECT_EQ(cardSlot(0, 1).window, 0u);
    EXPECT_EQ(cardSlot(0, 1).attributes, 0u);
    EXPECT_EQ(peek(kSamplingStep), 3u);
    EXPECT_EQ(peek(kPeripheralStep), 3u);
    EXPECT_EQ(card0().currentSequenceStep, 3u);
}

// The raw single-channel write stages the gate as it is, oversamples or not.
TEST_F(SequencedTransfer, TheRawWriteDoesNotDivideByTheOversamples)
{
    ASSERT_EQ(KZ_SetNumberOfOversamples(0, 2), 1u);
    const GateDefinition gate = enabledGate(1, 400, 800);
    ASSERT_EQ(KZ_RawWriteGate(0, &gate), 1u);
    EXPECT_EQ(cardSlot(0, 1).window, window(400 - 4, 800 - 4));
    EXPECT_EQ(card0().gateTable[0][1].enabled, 0u); // the raw write keeps no record
}

struct LoadCase {
    const char* name;
    std::uint32_t busyReads;
    bool failFrequency;
    std::uint32_t result;
    Errors errors;
};

TEST_F(SequencedTransfer, TheLoadWaitsForTheCardAtMostOneMillisecondAndTheTimeOutWins)
{
    const LoadCase cases[] = {
        {"free after one read", 1, false, 1, {}},
        {"never free", XAVO_SIM_NEVER, false, 0, {0x4d0c}},
        // The 1001st read, the first past 1 ms, shows the card free; the time-out decides.
        {"free on the first read past the time-out", 1000, false, 0, {0x4d0c}},
        {"free on the last read within the time-out", 999, false, 1, {}},
        {"no counter frequency", 1, true, 0, {0x4d0b}},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_GATE_LOAD, c.busyReads), 1u);
        clock.failFrequency = c.failFrequency;
        clearErrors();
        XAVO_SIM_ClearCallLog();
        const std::uint64_t start = clock.now;
        EXPECT_EQ(addGate(enabledGate(1, 10, 20)), c.result);
        EXPECT_EQ(reportedErrors(), c.errors);
        EXPECT_LT(clock.now - start, 1100u);
        if (c.busyReads == 1000) {
            const auto read = lastCall(XAVO_SIM_OP_GET_WORD, kGateLoad);
            ASSERT_TRUE(read.has_value());
            EXPECT_EQ(read->value & kLoadBusyBit, 0u);
        }
        clock.failFrequency = false;
        // The definition is kept whatever the card made of it.
        EXPECT_EQ(card0().gateTable[0][1].enabled, 1u);
    }
}

TEST_P(Transfer, TheTablesKeepAGateTheCardRefused)
{
    addRule(XAVO_SIM_OP_SET_WORD, kGateLoad);
    EXPECT_EQ(addGate(enabledGate(2, 10, 20)), 0u);
    EXPECT_TRUE(reportedErrors().empty()); // the register layer has no code for a failed card call
    EXPECT_EQ(card0().gateTable[0][2].enabled, 1u);
    EXPECT_EQ(card0().enabledGateCount[0], 1u);
    EXPECT_EQ(cardSlot(0, 2).attributes, 0u);
}

TEST_F(SequencedTransfer, AFailedWriteOfTheStepsStillSelectsTheCurrentStepAgain)
{
    ASSERT_EQ(KZ_SetSequenceStep(0, 3), 1u);
    addRule(XAVO_SIM_OP_SET_WORD, kGateWindow, XAVO_SIM_ACTION_FAIL, 0, 5); // step 5's window
    EXPECT_EQ(addGate(enabledGate(1, 10, 20)), 0u);
    EXPECT_EQ(peek(kSamplingStep), 3u);
    EXPECT_EQ(peek(kPeripheralStep), 3u);
    EXPECT_EQ(card0().currentSequenceStep, 3u);
    EXPECT_EQ(writesTo(kGateLoad), 0u);
}

// When the write that selects the current step again after the staging fails, the card's step
// registers still name the last step staged. The gate write selects the record's step once more,
// and never takes the card's stale step over into the record: the host's current step, and the
// gates and per-step settings it sees, stay where the host put them.
TEST_F(SequencedTransfer, AFailedReselectionOfTheStepLeavesTheRecordsStepAndTheNextWriteKeepsIt)
{
    for (const std::uint32_t stepRegister : {kSamplingStep, kPeripheralStep}) {
        SCOPED_TRACE(stepRegister == kSamplingStep ? "sampling side" : "peripheral side");
        ASSERT_EQ(KZ_SetSequenceStep(0, 3), 1u);
        XAVO_SIM_ClearCallLog();
        XAVO_SIM_FaultRule rule{};
        rule.operations = XAVO_SIM_OP_SET_WORD;
        rule.card = 0;
        rule.addressFirst = stepRegister;
        rule.addressLast = stepRegister;
        rule.caller = XAVO_SIM_CALLER_ANY;
        rule.skip = KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS; // the write after the last step staged
        rule.count = 1;
        rule.action = XAVO_SIM_ACTION_FAIL;
        const std::uint32_t id = XAVO_SIM_AddFaultRule(&rule);
        ASSERT_NE(id, 0u);
        const GateDefinition gate = enabledGate(1, 10, 20);
        EXPECT_EQ(addGate(gate), 0u);
        EXPECT_EQ(XAVO_SIM_ReturnFaultRuleHits(id), 1u);
        EXPECT_EQ(card0().currentSequenceStep, 3u);
        EXPECT_EQ(peek(kSamplingStep), 3u);
        EXPECT_EQ(peek(kPeripheralStep), 3u);

        EXPECT_EQ(addGate(gate), 1u);
        EXPECT_EQ(card0().currentSequenceStep, 3u);
        GateDefinition* current = nullptr;
        ASSERT_EQ(KZ_GetGate(0, 1, &current), 1u);
        EXPECT_TRUE(sameGate(*current, gate));
        EXPECT_EQ(cardSlot(3, 1).window, window(10 - 4, 20 - 4));
        XAVO_SIM_RemoveFaultRule(id);
    }
}

struct PauseCase {
    const char* name;
    GateDefinition gate;
    std::uint32_t result;
};

// A running sequencer is stopped before the gate reaches the card and started again after,
// also when the gate is refused.
TEST_F(SequencedTransfer, ARunningSequencerIsStoppedWhileTheGateIsWrittenAndStartedAfter)
{
    GateDefinition refused = enabledGate(1, 10, 20);
    refused.threshold = 4096;
    const PauseCase cases[] = {{"gate added", enabledGate(1, 10, 20), 1}, {"gate refused", refused, 0}};
    for (const PauseCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(KZ_StartSequence(0), 1u);
        XAVO_SIM_ClearCallLog();
        EXPECT_EQ(KZ_AddGate(0, &c.gate), c.result);

        const auto stop = firstCall(XAVO_SIM_OP_SET_WORD, kSequencer);
        ASSERT_TRUE(stop.has_value());
        EXPECT_EQ(stop->value & kRunBit, 0u);
        const auto start = lastCall(XAVO_SIM_OP_SET_WORD, kSequencer);
        ASSERT_TRUE(start.has_value());
        EXPECT_EQ(start->value & kRunBit, kRunBit);
        if (const auto load = lastCall(XAVO_SIM_OP_SET_WORD, kGateLoad)) {
            EXPECT_LT(stop->index, load->index);
            EXPECT_GT(start->index, load->index);
            // Nothing started the sequencer between the stop and the load.
            EXPECT_EQ(lastCall(XAVO_SIM_OP_SET_WORD, kSequencer, load->index)->index, stop->index);
        }
        EXPECT_EQ(peek(kSequencer) & kRunBit, kRunBit);
        EXPECT_EQ(card0().sequenceState, 2u);
        EXPECT_EQ(card0().sequencePauseCount, 0u);
        EXPECT_EQ(card0().lockDepth, 0u);
    }
}

// The pause around a gate write must hold: a sequencer that cannot be stopped is not reprogrammed
// while it runs, and one that cannot be started again fails the call instead of leaving the card
// silently idle. The record then keeps the sequencer paused, and the next gate write starts it.
TEST_F(SequencedTransfer, AGateWriteFailsWhenTheSequencerCannotBeStoppedOrStartedAgain)
{
    ASSERT_EQ(KZ_StartSequence(0), 1u);
    const GateDefinition gate = enabledGate(1, 10, 20);
    // Fails one write of the sequencer register, after `skip` others.
    const auto failOneSequencerWrite = [](std::uint32_t skip) {
        XAVO_SIM_FaultRule rule{};
        rule.operations = XAVO_SIM_OP_SET_WORD;
        rule.card = 0;
        rule.addressFirst = kSequencer;
        rule.addressLast = kSequencer;
        rule.skip = skip;
        rule.count = 1;
        rule.action = XAVO_SIM_ACTION_FAIL;
        ASSERT_NE(XAVO_SIM_AddFaultRule(&rule), 0u);
    };

    // The stop's write of the run bit fails: nothing of the gate reaches the card and the
    // sequencer keeps running.
    failOneSequencerWrite(0);
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_AddGate(0, &gate), 0u);
    EXPECT_EQ(gateRegisterWrites(), 0u);
    EXPECT_EQ(peek(kSequencer) & kRunBit, kRunBit);
    EXPECT_EQ(card0().sequenceState, 2u);
    EXPECT_EQ(card0().sequencePauseCount, 0u);

    // The start's write fails (the stop before it passes): the gate is written, the call fails,
    // the card's sequencer is stopped and the record says paused, not running.
    failOneSequencerWrite(1);
    EXPECT_EQ(KZ_AddGate(0, &gate), 0u);
    EXPECT_TRUE(sameGate(card0().gateTable[0][1], gate));
    EXPECT_EQ(peek(kSequencer) & kRunBit, 0u);
    EXPECT_EQ(card0().sequenceState, 1u);
    EXPECT_EQ(card0().sequencePauseCount, 0u);

    EXPECT_EQ(KZ_AddGate(0, &gate), 1u);
    EXPECT_EQ(peek(kSequencer) & kRunBit, kRunBit);
    EXPECT_EQ(card0().sequenceState, 2u);
    EXPECT_EQ(card0().lockDepth, 0u);
}

TEST_F(SequencedTransfer, RewritingByOneHalfHalvesEveryGateOfEveryStepWithoutPausing)
{
    for (const std::uint32_t step : {0u, 7u, 31u}) {
        ASSERT_EQ(KZ_SetSequenceStep(0, step), 1u);
        ASSERT_EQ(addGate(enabledGate(1, 401 + static_cast<std::int32_t>(step), 801)), 1u);
        ASSERT_EQ(addGate(enabledGate(5, 1000, 3001)), 1u);
    }
    ASSERT_EQ(KZ_SetSequenceStep(0, 7), 1u);
    ASSERT_EQ(KZ_StartSequence(0), 1u);
    const auto before = std::make_unique<BoardState>(card0());
    XAVO_SIM_ClearCallLog();

    EXPECT_EQ(KZ_RewriteGates(0, 2, 1), 1u);
    for (std::uint32_t step = 0; step < KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS; ++step) {
        for (std::uint32_t g = 0; g < 6; ++g) {
            SCOPED_TRACE(testing::Message() << "step " << step << " gate " << g);
            EXPECT_EQ(card0().gateTable[step][g].start, before->gateTable[step][g].start / 2);
            EXPECT_EQ(card0().gateTable[step][g].end, before->gateTable[step][g].end / 2);
        }
    }
    EXPECT_EQ(cardSlot(7, 1).window, window(204 - 4, 400 - 4));
    EXPECT_EQ(cardSlot(31, 5).window, window(500 - 4, 1500 - 4));
    EXPECT_EQ(writesTo(kSequencer), 0u);
    EXPECT_EQ(peek(kSequencer) & kRunBit, kRunBit);
    EXPECT_EQ(peek(kPeripheralStep), 7u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(SequencedTransfer, TheRescaleTakesItsProductIn64BitsAndRefusesADivisorOf0)
{
    ASSERT_EQ(addGate(enabledGate(1, 40000, 50000)), 1u);
    const auto before = std::make_unique<BoardState>(card0());
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_RewriteGates(0, 0, 1), 0u);
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_EQ(std::memcmp(card0().gateTable, before->gateTable, sizeof before->gateTable), 0);

    EXPECT_EQ(KZ_RewriteGates(0, 100000, 200000), 1u);
    EXPECT_EQ(card0().gateTable[0][1].start, 80000);
    EXPECT_EQ(card0().gateTable[0][1].end, 100000);
}

// Eight-bit samples on two positions with 2 and 3 oversamples, one gate on the first.
TEST_F(SequencedTransfer, GatesShapeTheGateAreaOfTheLayoutAsTheCardHoldsThem)
{
    ASSERT_EQ(KZ_SetSampleStorageMode(0, 1), 1u);
    const std::uint32_t oversamples[] = {2, 3};
    for (std::uint32_t step = 0; step < 2; ++step) {
        ASSERT_EQ(KZ_SetSequenceStep(0, step), 1u);
        ASSERT_EQ(KZ_SetNumberOfOversamples(0, oversamples[step]), 1u);
        ASSERT_EQ(KZ_SetNumberOfSamples(0, 96), 1u);
    }
    ASSERT_EQ(KZ_SetStepsInSequence(0, 2), 1u);
    ASSERT_EQ(KZ_SetSequenceStep(0, 1), 1u);
    ASSERT_EQ(addGate(enabledGate(4, 10, 20)), 1u);
    ASSERT_EQ(KZ_RemoveGate(0, 4), 1u);
    ASSERT_EQ(KZ_SetSequenceStep(0, 0), 1u);
    ASSERT_EQ(addGate(enabledGate(2, 10, 20)), 1u);

    EXPECT_EQ(KZ_ReturnAScanOffsetThisStep(0, 1), 108u);
    EXPECT_EQ(KZ_ReturnGateOffsetThisStep(0, 1), 20u);
    EXPECT_EQ(KZ_ReturnGateBytesPerBScan(0), 52u);
    // The card counts the enabled slots of each position's step as the library does.
    EXPECT_EQ(cardSlot(0, 2).attributes & kEnabledBit, kEnabledBit);
    EXPECT_EQ(cardSlot(1, 2).attributes & kEnabledBit, 0u);
    EXPECT_EQ(cardSlot(1, 4).attributes & kEnabledBit, 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

} // namespace
} // namespace kz::test
