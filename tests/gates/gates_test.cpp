// Gate definitions: validation, storage in the record, the enabled lists and the queries.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>

#include "gate_test_support.h"

namespace kz::test {
namespace {

using SequencedGates = FirmwareRunningCardFixture;

class Gates : public BothGenerationsFixture {
protected:
    std::uint32_t maximum() const { return sequenced() ? 6 : 8; }
};
XAVO_INSTANTIATE_FOR_BOTH_GENERATIONS(Gates);

GateDefinition gateWith(void (*change)(GateDefinition&))
{
    GateDefinition gate = enabledGate(1, 100, 200);
    change(gate);
    return gate;
}

struct Refusal {
    const char* name;
    GateDefinition gate;
    std::uint32_t code;
};

TEST_F(SequencedGates, EachBrokenRuleIsRefusedWithItsCodeAndChangesNothing)
{
    const Refusal refusals[] = {
        {"gate index below 0", gateWith([](GateDefinition& g) { g.gateIndex = -1; }), 0x4d0a},
        {"gate index 6", gateWith([](GateDefinition& g) { g.gateIndex = 6; }), 0x4d0a},
        {"start -1", gateWith([](GateDefinition& g) { g.start = -1; }), 0x4d00},
        {"lowest start", gateWith([](GateDefinition& g) { g.start = INT_MIN; }), 0x4d00},
        {"start 65540", gateWith([](GateDefinition& g) { g.start = 65540; g.end = 65540; }), 0x4d00},
        {"gate 0 start 65539",
         gateWith([](GateDefinition& g) { g.gateIndex = 0; g.start = 65539; g.end = 65539; }), 0x4d00},
        {"end 65540 after start 4", gateWith([](GateDefinition& g) { g.start = 4; g.end = 65540; }), 0x4d01},
        {"end below the count offset", gateWith([](GateDefinition& g) { g.start = 4; g.end = 3; }), 0x4d01},
        {"lowest end", gateWith([](GateDefinition& g) { g.end = INT_MIN; }), 0x4d01},
        {"highest end", gateWith([](GateDefinition& g) { g.end = INT_MAX; }), 0x4d01},
        {"threshold 2048", gateWith([](GateDefinition& g) { g.threshold = 2048; }), 0x4d02},
        {"trigger gate is the gate itself", gateWith([](GateDefinition& g) { g.triggerGate = 1; }), 0x4d03},
        {"trigger gate 10", gateWith([](GateDefinition& g) { g.triggerGate = 10; }), 0x4d03},
        {"trigger gate 14", gateWith([](GateDefinition& g) { g.triggerGate = 14; }), 0x4d03},
        {"threshold polarity 3", gateWith([](GateDefinition& g) { g.thresholdPolarity = 3; }), 0x4d04},
        {"trigger mode 2", gateWith([](GateDefinition& g) { g.triggerMode = 2; }), 0x4d05},
        {"store gate value 2", gateWith([](GateDefinition& g) { g.storeGateValue = 2; }), 0x4d0d},
        {"snapshot selection 6", gateWith([](GateDefinition& g) { g.snapshotSelection = 6; }), 0x4d12},
        {"snapshot selection -1", gateWith([](GateDefinition& g) { g.snapshotSelection = -1; }), 0x4d12},
        {"store always with distance metric 1",
         gateWith([](GateDefinition& g) { g.storeGateValue = 1; g.distanceMetric = 1; }), 0x4d10},
        {"store always with amplitude peak 14",
         gateWith([](GateDefinition& g) { g.storeGateValue = 1; g.amplitudePeakSelect = 14; }), 0x4d10},
        {"distance metric 5", gateWith([](GateDefinition& g) { g.distanceMetric = 5; }), 0x4d06},
        {"enable 2", gateWith([](GateDefinition& g) { g.enabled = 2; }), 0x4d07},
        {"amplitude peak select 16", gateWith([](GateDefinition& g) { g.amplitudePeakSelect = 16; }), 0x4d08},
        {"distance peak select 16", gateWith([](GateDefinition& g) { g.distancePeakSelect = 16; }), 0x4d09},
        {"the first broken rule names the error",
         gateWith([](GateDefinition& g) { g.threshold = 2048; g.thresholdPolarity = 3; }), 0x4d02},
    };
    const auto before = std::make_unique<BoardState>(card0());
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        clearErrors();
        XAVO_SIM_ClearCallLog();
        EXPECT_EQ(KZ_AddGate(0, &refusal.gate), 0u);
        EXPECT_EQ(reportedErrors(), Errors{refusal.code});
        EXPECT_EQ(gateRegisterWrites(), 0u);
        EXPECT_EQ(std::memcmp(card0().gateTable, before->gateTable, sizeof before->gateTable), 0);
        EXPECT_EQ(std::memcmp(card0().enabledGateCount, before->enabledGateCount, sizeof before->enabledGateCount), 0);
        EXPECT_EQ(card0().lockDepth, 0u);
    }
}

struct AcceptedWindow {
    std::int32_t gate;
    std::int32_t start;
    std::int32_t end;
    std::uint32_t window; // (end - k) << 16 | (start - k)
};

TEST_P(Gates, WindowsAreAcceptedAsTheCountOffsetAllowsAndReachTheCard)
{
    const AcceptedWindow windows[] = {
        {0, 2, 2, 0x00000000},      // k = 2
        {1, 4, 65539, 0xFFFF0000},  // k = 4: the top of the range
        {0, 65538, 65538, 0xFFFFFFFF},
        {0, 0, 65535, 0xFFFF0000},  // k = 0
        {1, 3, 65538, 0xFFFF0000},  // k = 3
        {2, 100, 50, 0x002E0060},   // the end may lie before the start
    };
    for (const AcceptedWindow& w : windows) {
        SCOPED_TRACE(testing::Message() << "gate " << w.gate << " from " << w.start << " to " << w.end);
        const GateDefinition gate = enabledGate(w.gate, w.start, w.end);
        ASSERT_EQ(KZ_AddGate(0, &gate), 1u);
        EXPECT_TRUE(reportedErrors().empty());
        EXPECT_TRUE(sameGate(card0().gateTable[0][w.gate], gate));
        const Slot slot = cardSlot(0, static_cast<std::uint32_t>(w.gate));
        EXPECT_EQ(slot.window, w.window);
        EXPECT_EQ(slot.attributes & kEnabledBit, kEnabledBit);
    }
}

TEST_P(Gates, ADisabledGateIsStoredInItsResetFormWhateverElseItHeld)
{
    ASSERT_EQ(addGate(enabledGate(2, 10, 20)), 1u);
    GateDefinition junk{2, -5, INT_MIN, 9999, 2, 9, 9, 9, 0, 99, 99, 7, 42, {7, 7, 7, 7, 7}};
    ASSERT_EQ(KZ_AddGate(0, &junk), 1u);
    EXPECT_TRUE(reportedErrors().empty());

    GateDefinition reset{};
    reset.gateIndex = 2;
    reset.triggerGate = KZ_GATE_TRIGGER_NONE;
    GateDefinition stored{};
    ASSERT_EQ(KZ_GetGate2(0, 0, 2, &stored), 1u);
    EXPECT_TRUE(sameGate(stored, reset));
    EXPECT_EQ(card0().storeGateValueTable[0][2], 0u);
    EXPECT_EQ(card0().enabledGateCount[0], 0u);
    const Slot slot = cardSlot(0, 2);
    EXPECT_EQ(slot.attributes, 0u);
    EXPECT_EQ(slot.window, 0u);
}

TEST_P(Gates, EnabledGatesAreCountedAndListedInAscendingOrder)
{
    ASSERT_EQ(addGate(enabledGate(3, 10, 20)), 1u);
    ASSERT_EQ(addGate(enabledGate(1, 10, 20)), 1u);
    // The older firmware's one set of gates is kept in every channel.
    const std::uint32_t lastChannel = sequenced() ? 0 : KZ_NUMBER_OF_GATE_CHANNELS - 1;
    for (const std::uint32_t channel : {0u, lastChannel}) {
        SCOPED_TRACE(channel);
        EXPECT_EQ(card0().enabledGateCount[channel], 2u);
        const std::vector<std::uint8_t> list(card0().enabledGateList[channel], card0().enabledGateList[channel] + maximum());
        std::vector<std::uint8_t> expected(maximum(), 0);
        expected[0] = 1;
        expected[1] = 3;
        EXPECT_EQ(list, expected);
        std::uint32_t count = 0;
        ASSERT_EQ(KZ_GetNumberOfEnabledGatesThisChannel(0, channel, &count), 1u);
        EXPECT_EQ(count, 2u);
    }
    std::uint32_t count = 0;
    ASSERT_EQ(KZ_GetNumberOfEnabledGates(0, &count), 1u);
    EXPECT_EQ(count, 2u);
    if (sequenced()) {
        ASSERT_EQ(KZ_GetNumberOfEnabledGatesThisChannel(0, 1, &count), 1u);
        EXPECT_EQ(count, 0u);
    }

    ASSERT_EQ(KZ_RemoveGate(0, 3), 1u);
    EXPECT_EQ(card0().enabledGateCount[0], 1u);
    EXPECT_EQ(card0().enabledGateList[0][0], 1u);
    EXPECT_EQ(card0().enabledGateList[0][1], 0u);
    EXPECT_EQ(card0().gateTable[0][3].enabled, 0u);
    EXPECT_EQ(card0().gateTable[0][3].triggerGate, KZ_GATE_TRIGGER_NONE);
    EXPECT_EQ(cardSlot(0, 3).attributes, 0u);

    ASSERT_EQ(addGate(enabledGate(0, 2, 2)), 1u);
    ASSERT_EQ(KZ_RemoveAllGates(0), 1u);
    ASSERT_EQ(KZ_GetNumberOfEnabledGates(0, &count), 1u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(card0().enabledGateCount[lastChannel], 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_P(Gates, TheHighestGateIndexFollowsTheFirmwareGeneration)
{
    EXPECT_EQ(KZ_ReturnMaximumNumberOfGates(sequenced() ? 1 : 0), maximum());
    const auto last = static_cast<std::int32_t>(maximum() - 1);
    EXPECT_EQ(addGate(enabledGate(last, 10, 20)), 1u);
    EXPECT_EQ(addGate(enabledGate(last + 1, 10, 20)), 0u);
    EXPECT_EQ(KZ_RemoveGate(0, last + 1), 0u);
    EXPECT_EQ(KZ_RemoveGate(0, -1), 0u);
    GateDefinition* live = nullptr;
    EXPECT_EQ(KZ_GetGate(0, last + 1, &live), 0u);
    EXPECT_EQ(reportedErrors(), (Errors{0x4d0a, 0x4e00, 0x4e00, 0x4f00}));
    EXPECT_EQ(live, nullptr);
}

TEST_P(Gates, GateZeroSkipsTheMetricChecksAndFailsOnlyInTheEncodingAfterTheTablesChanged)
{
    GateDefinition gate = enabledGate(0, 2, 2);
    gate.enabled = 0;
    ASSERT_EQ(addGate(gate), 1u); // lays the memory out with no gate
    const std::uint32_t gateBytesBefore = KZ_ReturnGateBytesPerBScan(0);
    gate.enabled = 1;
    gate.distanceMetric = 7;
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_AddGate(0, &gate), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x7500});
    EXPECT_TRUE(sameGate(card0().gateTable[0][0], gate));
    EXPECT_EQ(card0().enabledGateCount[0], 1u);
    EXPECT_EQ(KZ_ReturnGateBytesPerBScan(0), gateBytesBefore + 4);
    EXPECT_EQ(writesTo(kGateLoad), 0u);
    EXPECT_EQ(cardSlot(0, 0).attributes, 0u);
}

TEST_P(Gates, StoreAlwaysIsKeptForTheLargestPeakOnTheCardAndInTheTable)
{
    GateDefinition gate = enabledGate(4, 10, 20);
    gate.storeGateValue = KZ_SGVAlways;
    ASSERT_EQ(KZ_AddGate(0, &gate), 1u);
    EXPECT_EQ(card0().storeGateValueTable[0][4], 1u);
    EXPECT_EQ(reg::per::kGateStoreValue.extract(cardSlot(0, 4).attributes), 1u);
}

struct EncodedField {
    const char* name;
    void (*set)(GateDefinition&);
    std::uint32_t word;
};

// Every field is cut to its width: a value too wide for it never reaches its neighbours.
TEST_F(SequencedGates, EveryAttributeFieldIsCutToItsWidth)
{
    const EncodedField fields[] = {
        {"threshold", [](GateDefinition& g) { g.threshold = 0xFFFFFFFF; }, 0x00800FFF},
        {"trigger gate", [](GateDefinition& g) { g.triggerGate = 0xFFFFFFFF; }, 0x0080F000},
        {"metric 4", [](GateDefinition& g) { g.distanceMetric = 4; }, 0x00A10000},
        {"metric 3", [](GateDefinition& g) { g.distanceMetric = 3; }, 0x00810000},
        {"metric 2", [](GateDefinition& g) { g.distanceMetric = 2; }, 0x00C00000},
        {"store gate value", [](GateDefinition& g) { g.storeGateValue = 0xFFFFFFFF; }, 0x00820000},
        {"threshold polarity", [](GateDefinition& g) { g.thresholdPolarity = 0xFFFFFFFF; }, 0x008C0000},
        {"trigger mode", [](GateDefinition& g) { g.triggerMode = 0xFFFFFFFF; }, 0x00900000},
        {"enabled", [](GateDefinition& g) { g.enabled = 0xFFFFFFFF; }, 0x00800000},
        {"amplitude peak select", [](GateDefinition& g) { g.amplitudePeakSelect = 0xFFFFFFFF; }, 0x0F800000},
        {"distance peak select", [](GateDefinition& g) { g.distancePeakSelect = 0xFFFFFFFF; }, 0xF0800000},
    };
    for (const EncodedField& field : fields) {
        SCOPED_TRACE(field.name);
        GateDefinition gate{};
        gate.enabled = 1;
        field.set(gate);
        ASSERT_EQ(KZ_SetGateAttributesRegister(0, &gate), 1u);
        EXPECT_EQ(peek(kGateAttributes), field.word);
    }

    // Gate 0 is exempt from the peak-select checks, so a wide value comes this far.
    GateDefinition gate = enabledGate(0, 2, 2);
    gate.amplitudePeakSelect = 0x1F;
    gate.distancePeakSelect = 0;
    ASSERT_EQ(KZ_AddGate(0, &gate), 1u);
    const std::uint32_t attributes = cardSlot(0, 0).attributes;
    EXPECT_EQ(reg::per::kGateAmplitudePeakSelect.extract(attributes), 0xFu);
    EXPECT_EQ(reg::per::kGateDistancePeakSelect.extract(attributes), 0u);

    // A metric above 4 is refused, also for a disabled gate, before anything is written.
    clearErrors();
    XAVO_SIM_ClearCallLog();
    GateDefinition badMetric{};
    badMetric.distanceMetric = 5;
    EXPECT_EQ(KZ_SetGateAttributesRegister(0, &badMetric), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x7500});
    EXPECT_EQ(cardWrites(), 0u);
}

// The budget check runs first, so a card whose memory is already over-committed refuses every
// gate change with the budget's code, a removal or an invalid gate included.
TEST_F(SequencedGates, TheMemoryBudgetIsCheckedBeforeTheDefinition)
{
    ASSERT_EQ(KZ_SetNumberOfSamples(0, 1000), 1u);
    ASSERT_EQ(KZ_SetNumberOfBScansPerBankIsAutomatic(0, 0), 1u);
    const std::uint32_t control = samplingAddress(reg::smp::kFirmwareControl);
    poke(control, reg::smp::kBScansPerBankLessOne.insert(peek(control), 4095));
    clearErrors();

    GateDefinition invalid = enabledGate(1, 10, 20);
    invalid.threshold = 5000;
    EXPECT_EQ(KZ_AddGate(0, &invalid), 0u);
    EXPECT_EQ(KZ_RemoveGate(0, 1), 0u);
    EXPECT_EQ(reportedErrors(), (Errors{0x5a00, 0x5a00}));
}

TEST_F(SequencedGates, AGateChangeCutsTheStoredAScanCountTo32)
{
    ASSERT_EQ(KZ_SetNumberOfAScansPerBScan(0, 100), 1u);
    ASSERT_EQ(card0().numberOfAScansPerBScan, 100u);
    ASSERT_EQ(addGate(enabledGate(1, 10, 20)), 1u);
    EXPECT_EQ(card0().numberOfAScansPerBScan, 32u);
}

TEST_F(SequencedGates, GetGateHandsOutTheLiveRecordOfTheCurrentStep)
{
    ASSERT_EQ(KZ_SetSequenceStep(0, 2), 1u);
    GateDefinition* live = nullptr;
    ASSERT_EQ(KZ_GetGate(0, 1, &live), 1u);
    EXPECT_EQ(live, &card0().gateTable[2][1]);
    ASSERT_EQ(addGate(enabledGate(1, 300, 400)), 1u);
    EXPECT_EQ(live->start, 300);
    EXPECT_EQ(card0().gateTable[0][1].enabled, 0u);
}

struct Query {
    const char* name;
    std::function<std::uint32_t()> call;
    std::uint32_t result;
    Errors errors;
};

// Indices beyond the tables are refused (never read), the snapshot query answers 0 for them.
TEST_F(SequencedGates, QueriesRefuseChannelsAndGatesBeyondTheTables)
{
    GateDefinition gate = enabledGate(1, 10, 20);
    gate.snapshotSelection = 3;
    ASSERT_EQ(KZ_AddGate(0, &gate), 1u);
    std::uint32_t count = 77;
    GateDefinition copy{};
    GateDefinition* live = nullptr;
    const Query queries[] = {
        {"enabled gates of channel 128", [&] { return KZ_GetNumberOfEnabledGatesThisChannel(0, 128, &count); }, 0,
         {0x4f00}},
        {"copy of channel 128", [&] { return KZ_GetGate2(0, 128, 1, &copy); }, 0, {0x4f00}},
        {"copy of gate 6", [&] { return KZ_GetGate2(0, 0, 6, &copy); }, 0, {0x4f00}},
        {"copy of gate -1", [&] { return KZ_GetGate2(0, 0, -1, &copy); }, 0, {0x4f00}},
        {"live gate -1", [&] { return KZ_GetGate(0, -1, &live); }, 0, {0x4f00}},
        {"snapshot of gate 1", [] { return KZ_ReturnSnapshotSelectionForGate(0, 0, 1); }, 3, {}},
        {"snapshot of channel 128", [] { return KZ_ReturnSnapshotSelectionForGate(0, 128, 1); }, 0, {}},
        {"snapshot of gate 6", [] { return KZ_ReturnSnapshotSelectionForGate(0, 0, 6); }, 0, {}},
        {"snapshot of an unknown card", [] { return KZ_ReturnSnapshotSelectionForGate(1, 0, 1); }, 0, {0x7900}},
    };
    for (const Query& query : queries) {
        SCOPED_TRACE(query.name);
        clearErrors();
        EXPECT_EQ(query.call(), query.result);
        EXPECT_EQ(reportedErrors(), query.errors);
    }
    EXPECT_EQ(count, 77u);
    EXPECT_EQ(copy.gateIndex, 0);
    EXPECT_EQ(live, nullptr);
}

TEST_F(SequencedGates, NullPointersAreRefusedWithoutTouchingTheCard)
{
    const std::function<std::uint32_t()> calls[] = {
        [] { return KZ_AddGate(0, nullptr); },
        [] { return KZ_GetGate(0, 1, nullptr); },
        [] { return KZ_GetGate2(0, 0, 1, nullptr); },
        [] { return KZ_GetNumberOfEnabledGatesThisChannel(0, 0, nullptr); },
        [] { return KZ_GetNumberOfEnabledGates(0, nullptr); },
        [] { return KZ_SetGateAttributesRegister(0, nullptr); },
        [] { return KZ_RawWriteGate(0, nullptr); },
        [] { return KZ_SetCurvedGateData(0, nullptr); },
        [] { return KZ_GetCurvedGateData(0, nullptr); },
    };
    for (const auto& call : calls) {
        EXPECT_EQ(call(), 0u);
    }
    EXPECT_TRUE(reportedErrors().empty());
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_EQ(card0().lockDepth, 0u);
}

} // namespace
} // namespace kz::test
