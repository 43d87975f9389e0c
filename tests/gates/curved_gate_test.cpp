// The curved gate: its table on the card and the record's copy of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "gate_test_support.h"
#include "platform/platform.h"

namespace kz::test {
namespace {

constexpr std::uint32_t kPort = samplingAddress(reg::smp::kCurvedGatePort);
constexpr std::uint32_t kEntries = KZ_CURVED_GATE_NUMBER_OF_VALUES;

using Table = std::vector<std::uint16_t>;

Table ramp()
{
    Table values(kEntries);
    for (std::uint32_t i = 0; i < kEntries; ++i) {
        values[i] = static_cast<std::uint16_t>(i % 2048);
    }
    return values;
}

// The card's table, and its port pointer through `pointer`.
Table cardTable(std::uint32_t* pointer = nullptr)
{
    Table entries(kEntries, 0xFFFF);
    EXPECT_EQ(XAVO_SIM_GetCurvedGateTable(0, entries.data(), pointer), 1u);
    return entries;
}

Table recordTable()
{
    const std::uint16_t* copy = card0().curvedGateData;
    return copy == nullptr ? Table{} : Table(copy, copy + kEntries);
}

class CurvedGate : public BothGenerationsFixture {};
XAVO_INSTANTIATE_FOR_BOTH_GENERATIONS(CurvedGate);

TEST_P(CurvedGate, AFullTableReachesTheCardAndTheRecordHandsOutItsOwnCopy)
{
    std::uint16_t* handed = reinterpret_cast<std::uint16_t*>(1);
    ASSERT_EQ(KZ_GetCurvedGateData(0, &handed), 1u);
    EXPECT_EQ(handed, nullptr);

    const Table values = ramp();
    ASSERT_EQ(KZ_SetCurvedGateData(0, values.data()), 1u);
    std::uint32_t pointer = 1;
    EXPECT_EQ(cardTable(&pointer), values);
    EXPECT_EQ(pointer, 0u); // 4096 writes: the port pointer went round once
    EXPECT_EQ(recordTable(), values);
    ASSERT_EQ(KZ_GetCurvedGateData(0, &handed), 1u);
    EXPECT_EQ(handed, card0().curvedGateData);

    // The next load overwrites the same buffer in place.
    const Table highest(kEntries, 2047);
    ASSERT_EQ(KZ_SetCurvedGateData(0, highest.data()), 1u);
    EXPECT_EQ(cardTable(), highest);
    EXPECT_EQ(card0().curvedGateData, handed);
    EXPECT_EQ(handed[kEntries - 1], 2047u);
    EXPECT_TRUE(reportedErrors().empty());
}

bool failCurvedGateAllocation(std::size_t bytes) { return bytes == kEntries * sizeof(std::uint16_t); }

struct Refusal {
    const char* name;
    void (*arrange)();
    std::uint16_t lastValue;
    std::uint32_t code;
    bool allocated;
};

TEST_P(CurvedGate, ARefusedTableWritesNothing)
{
    // In this order: the first two leave the record without a table.
    const Refusal refusals[] = {
        {"sampling firmware version 0", [] { XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_SAMPLING, 0x0028); }, 0, 0x1400,
         false},
        {"no memory for the copy",
         [] {
             XAVO_SIM_ClearVersionOverride(0, XAVO_SIM_BANK_SAMPLING);
             platform::setAllocationFailurePredicate(failCurvedGateAllocation);
         },
         0, 0x1402, false},
        {"last value 2048", [] { platform::setAllocationFailurePredicate(nullptr); }, 2048, 0x1401, true},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        refusal.arrange();
        Table values(kEntries, 7);
        values.back() = refusal.lastValue;
        clearErrors();
        XAVO_SIM_ClearCallLog();
        EXPECT_EQ(KZ_SetCurvedGateData(0, values.data()), 0u);
        EXPECT_EQ(reportedErrors(), Errors{refusal.code});
        EXPECT_EQ(writesTo(kPort), 0u);
        EXPECT_EQ(cardTable(), Table(kEntries, 0));
        EXPECT_EQ(card0().curvedGateData != nullptr, refusal.allocated);
    }
}

TEST_F(FirmwareRunningCardFixture, ATableThatFailsPartWayStaysPartWritten)
{
    const Table old(kEntries, 5);
    ASSERT_EQ(KZ_SetCurvedGateData(0, old.data()), 1u);
    addRule(XAVO_SIM_OP_SET_WORD, kPort, XAVO_SIM_ACTION_FAIL, 0, 100);

    const Table fresh(kEntries, 9);
    EXPECT_EQ(KZ_SetCurvedGateData(0, fresh.data()), 0u);
    Table expected = old;
    std::fill_n(expected.begin(), 100, 9);
    std::uint32_t pointer = 0;
    EXPECT_EQ(cardTable(&pointer), expected);
    EXPECT_EQ(pointer, 100u);
    EXPECT_EQ(recordTable(), expected);
}

// The record's table lives until the record's defaults are filled again or the library unloads
// (the sanitizer build reports a table left behind at unload).
TEST_F(FirmwareRunningCardFixture, TheTableIsReleasedWithTheRecordsBuffers)
{
    const Table values = ramp();
    ASSERT_EQ(KZ_SetCurvedGateData(0, values.data()), 1u);
    card0().isInitialised = 0;
    ASSERT_EQ(KZ_StructuresInitialise(0, kSequencedFirmware.dsp, kSequencedFirmware.per), 1u);
    EXPECT_EQ(card0().curvedGateData, nullptr);

    card0().isInitialised = 1;
    ASSERT_EQ(KZ_SetCurvedGateData(0, values.data()), 1u);
    reload();
    EXPECT_EQ(KZ_ReturnNumberOfKelzorBoards(), 1u);
}

} // namespace
} // namespace kz::test
