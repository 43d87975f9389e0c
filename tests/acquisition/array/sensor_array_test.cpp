#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <vector>

#include "acquisition/sensor_array.h"
#include "array_test_support.h"
#include "frame/board_table.h"
#include "hardware/registers.h"
#include "library_fixture.h"
#include "platform/platform.h"

namespace kz::test {
namespace {

constexpr std::uint32_t kSensorArray = peripheralAddress(reg::per::kSensorArray);
constexpr std::uint32_t kPingPong = peripheralAddress(reg::per::kPingPong);
constexpr std::uint32_t kFocusing = peripheralAddress(reg::per::kFocusingUnit);
constexpr std::uint32_t kPeripheralVersion = peripheralAddress(reg::per::kVersion);

class SensorArray : public FirmwareRunningCardFixture {
protected:
    BoardState& board() { return *boardInRange(0); }

    // Peripheral firmware version in bits 12-15 of the version word.
    static void setPeripheralVersion(std::uint32_t version)
    {
        ASSERT_EQ(XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_PERIPHERAL, (version << 12) | 0x01F), 1u);
    }

    static std::uint32_t cardElement(std::uint32_t position)
    {
        std::uint32_t element = 0xFFFF;
        EXPECT_EQ(XAVO_SIM_GetPingPongElement(0, position, &element), 1u);
        return element;
    }

    void expectNoTables()
    {
        EXPECT_EQ(board().pingPongElements, nullptr);
        EXPECT_EQ(board().pingPongOrder, nullptr);
        EXPECT_EQ(board().pingPongPositionOfOrder, nullptr);
    }
};

// ---- sensor-array register ----

TEST_F(SensorArray, ApertureSizeAndElementCountChangeOnlyTheirFields)
{
    poke(kSensorArray, 0x1C00); // DI interface bits set
    for (const std::uint32_t size : {3u, 0u, 2u}) {
        ASSERT_EQ(KZ_SetSensorArrayApertureSize(0, size), 1u);
        std::uint32_t read = 9;
        ASSERT_EQ(KZ_GetSensorArrayApertureSize(0, &read), 1u);
        EXPECT_EQ(read, size);
    }
    EXPECT_EQ(setSensorArrayNumberOfElements(0, 128), 1u);
    EXPECT_EQ(peek(kSensorArray), 0x1C00u | 0x200u | 127u);
    EXPECT_EQ(setSensorArrayNumberOfElements(0, 1), 1u);
    EXPECT_EQ(peek(kSensorArray), 0x1C00u | 0x200u);
    EXPECT_TRUE(reportedErrors().empty());

    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetSensorArrayApertureSize(0, 4), 0u);
    EXPECT_EQ(setSensorArrayNumberOfElements(0, 0), 0u);
    EXPECT_EQ(setSensorArrayNumberOfElements(0, 129), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x4100, 0x4000, 0x4000}));
    EXPECT_EQ(setSensorArrayNumberOfElements(1, 5), 0u); // no such card
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
}

TEST_F(SensorArray, BScanModeTakesAnyReadableFirmwareVersionAndAFlag)
{
    for (const std::uint32_t version : {0u, 1u, 2u, 15u}) {
        setPeripheralVersion(version);
        ASSERT_EQ(KZ_SetIsBScanModeEnabled(0, 1), 1u) << version;
        std::uint32_t flag = 0;
        ASSERT_EQ(KZ_GetIsBScanModeEnabled(0, &flag), 1u);
        EXPECT_EQ(flag, 1u);
        ASSERT_EQ(KZ_SetIsBScanModeEnabled(0, 0), 1u);
        EXPECT_EQ(peek(kSensorArray) & 0x1000u, 0u);
    }
    EXPECT_EQ(KZ_SetIsBScanModeEnabled(0, 2), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x4600});

    // An unreadable version fails before the flag is looked at or anything is written.
    clearErrors();
    failEvery(XAVO_SIM_OP_GET_WORD, kPeripheralVersion);
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetIsBScanModeEnabled(0, 2), 0u);
    EXPECT_EQ(KZ_SetIsBScanModeEnabled(0, 1), 0u);
    EXPECT_TRUE(reportedErrors().empty());
    EXPECT_EQ(writesTo(kSensorArray), 0u);
}

TEST_F(SensorArray, ProbeAttachedFollowsBit31)
{
    for (const std::uint32_t attached : {0u, 1u}) {
        ASSERT_EQ(XAVO_SIM_SetProbeAttached(0, attached), 1u);
        std::uint32_t reported = 7;
        ASSERT_EQ(KZ_GetSensorArrayIsProbeAttached(0, &reported), 1u);
        EXPECT_EQ(reported, attached);
    }
}

TEST_F(SensorArray, NullOutputsAreRefusedWithoutTouchingTheCard)
{
    EXPECT_EQ(KZ_GetSensorArrayApertureSize(0, nullptr), 0u);
    EXPECT_EQ(KZ_GetSensorArrayDisableAperturePositionWrites(0, nullptr), 0u);
    EXPECT_EQ(KZ_GetSensorArrayDisableApertureDelayWrites(0, nullptr), 0u);
    EXPECT_EQ(KZ_GetIsBScanModeEnabled(0, nullptr), 0u);
    EXPECT_EQ(KZ_GetSensorArrayIsProbeAttached(0, nullptr), 0u);
    std::uint16_t* table = nullptr;
    const std::uint16_t values[KZ_PINGPONG_SEQUENCE_LENGTH] = {};
    EXPECT_EQ(KZ_GetPingPongSequence(0, nullptr, &table), 0u);
    EXPECT_EQ(KZ_GetPingPongSequence(0, &table, nullptr), 0u);
    EXPECT_EQ(KZ_SetPingPongSequence(0, nullptr, values), 0u);
    EXPECT_EQ(KZ_SetPingPongSequence(0, values, nullptr), 0u);
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_TRUE(reportedErrors().empty());
    expectNoTables();
}

// ---- disable switches: peripheral firmware version 1 only ----

struct DisableSwitchCase {
    const char* name;
    std::uint32_t (*set)(std::uint32_t, std::uint32_t);
    std::uint32_t (*get)(std::uint32_t, std::uint32_t*);
    std::uint32_t bit;
    std::uint32_t setWrongVersion;
    std::uint32_t invalidFlag;
    std::uint32_t getWrongVersion;
};

const DisableSwitchCase kDisableSwitches[] = {
    {"AperturePosition", KZ_SetSensorArrayDisableAperturePositionWrites,
     KZ_GetSensorArrayDisableAperturePositionWrites, 1u << 10, 0x4300, 0x4301, 0x4302},
    {"ApertureDelay", KZ_SetSensorArrayDisableApertureDelayWrites, KZ_GetSensorArrayDisableApertureDelayWrites,
     1u << 11, 0x4400, 0x4401, 0x4402},
};

TEST_F(SensorArray, DisableSwitchesWorkOnPeripheralVersionOneOnly)
{
    for (const DisableSwitchCase& c : kDisableSwitches) {
        SCOPED_TRACE(c.name);
        setPeripheralVersion(1);
        poke(kFocusing, 0x3FF);
        ASSERT_EQ(c.set(0, 1), 1u);
        EXPECT_EQ(peek(kFocusing), 0x3FFu | c.bit);
        std::uint32_t flag = 5;
        ASSERT_EQ(c.get(0, &flag), 1u);
        EXPECT_EQ(flag, 1u);
        ASSERT_EQ(c.set(0, 0), 1u);
        EXPECT_EQ(peek(kFocusing), 0x3FFu);

        clearErrors();
        EXPECT_EQ(c.set(0, 2), 0u);
        EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{c.invalidFlag});

        for (const std::uint32_t version : {0u, 2u}) {
            setPeripheralVersion(version);
            clearErrors();
            XAVO_SIM_ClearCallLog();
            flag = 5;
            EXPECT_EQ(c.set(0, 1), 0u);
            EXPECT_EQ(c.set(0, 2), 0u); // the version is checked first
            EXPECT_EQ(c.get(0, &flag), 0u);
            EXPECT_EQ(flag, 5u);
            EXPECT_EQ(reportedErrors(),
                      (std::vector<std::uint32_t>{c.setWrongVersion, c.setWrongVersion, c.getWrongVersion}));
            EXPECT_EQ(writesTo(kFocusing), 0u);
        }
    }
}

// ---- focusing unit ----

class FocusingUnit : public SensorArray {
protected:
    void SetUp() override
    {
        SensorArray::SetUp();
        setPeripheralVersion(1);
        XAVO_SIM_ClearCallLog();
    }
};

TEST_F(FocusingUnit, CommandIsWrittenWholeAndWaitsForTheAcknowledge)
{
    ASSERT_EQ(KZ_SetSensorArrayDisableAperturePositionWrites(0, 1), 1u);
    ASSERT_EQ(KZ_SetSensorArrayDisableApertureDelayWrites(0, 1), 1u);
    ASSERT_EQ(XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_FOCUSING_ACK, 5), 1u);
    XAVO_SIM_ClearCallLog();
    ASSERT_EQ(KZ_SetFocusingUnitControl(0, 7, 255), 1u);
    // The whole-register write also clears both disable switches.
    EXPECT_EQ(peek(kFocusing), 0x7FFu);
    EXPECT_EQ(writesTo(kFocusing), 1u);
    EXPECT_EQ(XAVO_SIM_CountCalls(XAVO_SIM_OP_GET_WORD, 0, kFocusing), 6u);
    ASSERT_EQ(KZ_SetFocusingUnitControl(0, 3, 0x5A), 1u);
    EXPECT_EQ(peek(kFocusing), 0x35Au);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(FocusingUnit, InvalidVersionBusAndDataAreRefusedBeforeAnyWrite)
{
    EXPECT_EQ(KZ_SetFocusingUnitControl(0, 8, 0), 0u);
    EXPECT_EQ(KZ_SetFocusingUnitControl(0, 0, 256), 0u);
    setPeripheralVersion(0);
    EXPECT_EQ(KZ_SetFocusingUnitControl(0, 0, 0), 0u);
    setPeripheralVersion(2);
    EXPECT_EQ(KZ_SetFocusingUnitControl(0, 0, 0), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x5801, 0x5802, 0x5800, 0x5800}));
    EXPECT_EQ(writesTo(kFocusing), 0u);

    clearErrors();
    failEvery(XAVO_SIM_OP_GET_WORD, kPeripheralVersion);
    EXPECT_EQ(KZ_SetFocusingUnitControl(0, 0, 0), 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(FocusingUnit, FailuresOfTheWriteTheTimerAndThePoll)
{
    failEvery(XAVO_SIM_OP_SET_WORD, kFocusing);
    EXPECT_EQ(KZ_SetFocusingUnitControl(0, 1, 1), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x5802});
    XAVO_SIM_ClearFaultRules();

    clearErrors();
    clock.failFrequency = true;
    EXPECT_EQ(KZ_SetFocusingUnitControl(0, 1, 1), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x5803});
    clock.failFrequency = false;

    clearErrors();
    failEvery(XAVO_SIM_OP_GET_WORD, kFocusing);
    EXPECT_EQ(KZ_SetFocusingUnitControl(0, 1, 1), 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(FocusingUnit, AnAcknowledgeThatNeverComesTimesOutAfterOneMillisecond)
{
    ASSERT_EQ(XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_FOCUSING_ACK, XAVO_SIM_NEVER), 1u);
    const std::uint64_t before = clock.now;
    EXPECT_EQ(KZ_SetFocusingUnitControl(0, 2, 2), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x5804});
    const std::uint64_t elapsedMicroseconds = clock.now - before;
    EXPECT_GT(elapsedMicroseconds, 1000u);
    EXPECT_LT(elapsedMicroseconds, 1010u);
}

TEST_F(FocusingUnit, AnAcknowledgeSeenOnlyAfterTheLimitStillTimesOut)
{
    // Each poll reads the counter (1 µs on the virtual clock) and then the register: the
    // 1000th poll is at 1 ms, the 1001st past it.
    struct Case {
        std::uint32_t waitingReads;
        std::uint32_t result;
    };
    for (const Case c : {Case{999, 1}, Case{1000, 0}}) {
        ASSERT_EQ(XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_FOCUSING_ACK, c.waitingReads), 1u);
        clearErrors();
        EXPECT_EQ(KZ_SetFocusingUnitControl(0, 0, 1), c.result) << c.waitingReads;
        EXPECT_EQ(reportedErrors().size(), c.result == 1 ? 0u : 1u);
    }
}

// ---- ping-pong sequence and flipping ----

TEST_F(SensorArray, TablesAreHandedOutAsNullUntilTheFirstElement)
{
    std::uint16_t* elements = reinterpret_cast<std::uint16_t*>(1);
    std::uint16_t* order = reinterpret_cast<std::uint16_t*>(1);
    ASSERT_EQ(KZ_GetPingPongSequence(0, &elements, &order), 1u);
    EXPECT_EQ(elements, nullptr);
    EXPECT_EQ(order, nullptr);

    ASSERT_EQ(KZ_SetPingPongSequenceElement(0, 128, 127, 5), 1u);
    ASSERT_EQ(KZ_GetPingPongSequence(0, &elements, &order), 1u);
    ASSERT_EQ(elements, board().pingPongElements);
    ASSERT_EQ(order, board().pingPongOrder);
    EXPECT_EQ(elements[127], 128u);
    EXPECT_EQ(order[127], 5u);
    EXPECT_EQ(board().pingPongPositionOfOrder[5], 127u);
    EXPECT_EQ(elements[0], 0u); // fresh tables are zero-filled
    EXPECT_EQ(cardElement(127), 128u);
    EXPECT_EQ(peek(kPingPong) & 0x7FFFu, 128u + 127u * 256u);
}

TEST_F(SensorArray, ElementPositionAndOrderOutOfRangeAreRefusedBeforeAnyTableExists)
{
    struct Case {
        std::uint32_t element;
        std::uint32_t position;
        std::uint16_t order;
        std::uint32_t code;
    };
    for (const Case c : {Case{129, 0, 0, 0x4700}, Case{0xFFFFFFFF, 0, 0, 0x4700}, Case{0, 128, 0, 0x4701},
                         Case{0, 0, 128, 0x4701}, Case{0, 0, 0xFFFF, 0x4701}}) {
        clearErrors();
        EXPECT_EQ(KZ_SetPingPongSequenceElement(0, c.element, c.position, c.order), 0u);
        EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{c.code});
    }
    expectNoTables();
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
}

TEST_F(SensorArray, AnOutOfRangeOrderLeavesTheExistingTablesAlone)
{
    ASSERT_EQ(KZ_SetPingPongSequenceElement(0, 7, 2, 9), 1u);
    EXPECT_EQ(KZ_SetPingPongSequenceElement(0, 8, 2, 128), 0u);
    EXPECT_EQ(board().pingPongElements[2], 7u);
    EXPECT_EQ(board().pingPongOrder[2], 9u);
    EXPECT_EQ(board().pingPongPositionOfOrder[9], 2u);
    EXPECT_EQ(cardElement(2), 7u);
}

TEST_F(SensorArray, FlippingProgramsTheMirroredElement)
{
    poke(kPingPong, 0x80000000u);
    ASSERT_EQ(KZ_SetPingPongSequenceElement(0, 10, 3, 3), 1u);
    ASSERT_EQ(KZ_SetPingPongSequenceElement(0, 100, 70, 70), 1u);
    XAVO_SIM_ClearCallLog();

    ASSERT_EQ(KZ_SetFlipArray(0, 64), 1u);
    EXPECT_EQ(board().flipArrayElements, 64u);
    EXPECT_EQ(cardElement(3), 54u);
    EXPECT_EQ(cardElement(0), 64u); // an unset position holds element 0
    // Only the first 64 positions are rewritten.
    EXPECT_EQ(writesTo(kPingPong), 64u);
    EXPECT_EQ(cardElement(70), 100u);
    // New elements are flipped as they are set; bits outside the entry are kept.
    ASSERT_EQ(KZ_SetPingPongSequenceElement(0, 10, 3, 3), 1u);
    EXPECT_EQ(peek(kPingPong), 0x80000000u | 822u);
    ASSERT_EQ(KZ_SetPingPongSequenceElement(0, 64, 4, 4), 1u);
    EXPECT_EQ(cardElement(4), 0u);

    XAVO_SIM_ClearCallLog();
    ASSERT_EQ(KZ_SetFlipArray(0, 0), 1u);
    EXPECT_EQ(writesTo(kPingPong), 128u);
    EXPECT_EQ(cardElement(3), 10u);
    EXPECT_EQ(cardElement(70), 100u);
    ASSERT_EQ(KZ_SetPingPongSequenceElement(0, 10, 3, 3), 1u);
    EXPECT_EQ(peek(kPingPong), 0x80000000u | 778u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(SensorArray, FlipCountsThatCannotBeProgrammedAreRefused)
{
    EXPECT_EQ(KZ_SetFlipArray(0, 129), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x6400});

    // Without tables the count is only stored.
    clearErrors();
    ASSERT_EQ(KZ_SetFlipArray(0, 40), 1u);
    EXPECT_EQ(board().flipArrayElements, 40u);
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    expectNoTables();

    // While flipped, an element above the count has no mirror.
    EXPECT_EQ(KZ_SetPingPongSequenceElement(0, 41, 0, 0), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x4700});
    expectNoTables();
    ASSERT_EQ(KZ_SetPingPongSequenceElement(0, 40, 0, 0), 1u);
    EXPECT_EQ(cardElement(0), 0u);

    // A count below an element one of the rewritten positions holds changes nothing.
    ASSERT_EQ(KZ_SetFlipArray(0, 0), 1u);
    ASSERT_EQ(KZ_SetPingPongSequenceElement(0, 90, 5, 5), 1u);
    ASSERT_EQ(KZ_SetPingPongSequenceElement(0, 120, 100, 6), 1u);
    clearErrors();
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetFlipArray(0, 80), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x6400});
    EXPECT_EQ(board().flipArrayElements, 0u);
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    // Position 100 lies beyond the rewritten range and keeps its entry.
    ASSERT_EQ(KZ_SetFlipArray(0, 95), 1u);
    EXPECT_EQ(cardElement(5), 5u);
    EXPECT_EQ(cardElement(100), 120u);
    // Nothing may reach the card outside the element field.
    EXPECT_EQ(writePingPongElement(0, 100, 120), 0u);
    EXPECT_EQ(writePingPongElement(0, 128, 0), 0u);
    EXPECT_EQ(cardElement(100), 120u);
}

TEST_F(SensorArray, WholeSequenceStopsAtTheFirstBadEntry)
{
    std::uint16_t elements[KZ_PINGPONG_SEQUENCE_LENGTH];
    std::uint16_t order[KZ_PINGPONG_SEQUENCE_LENGTH];
    for (std::uint16_t p = 0; p < KZ_PINGPONG_SEQUENCE_LENGTH; ++p) {
        elements[p] = static_cast<std::uint16_t>(127 - p);
        order[p] = p;
    }
    ASSERT_EQ(KZ_SetPingPongSequence(0, elements, order), 1u);
    for (std::uint32_t p = 0; p < KZ_PINGPONG_SEQUENCE_LENGTH; ++p) {
        ASSERT_EQ(cardElement(p), 127u - p) << p;
        ASSERT_EQ(board().pingPongPositionOfOrder[p], p);
    }

    for (std::uint16_t p = 0; p < KZ_PINGPONG_SEQUENCE_LENGTH; ++p) {
        elements[p] = p;
    }
    order[6] = 200;
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetPingPongSequence(0, elements, order), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x4701});
    EXPECT_EQ(writesTo(kPingPong), 6u);
    EXPECT_EQ(cardElement(5), 5u);
    EXPECT_EQ(cardElement(6), 121u);
    EXPECT_EQ(board().pingPongElements[6], 121u);
}

std::atomic<int> tableRequests{0};
std::atomic<int> failingRequest{0};

bool failNthTableAllocation(std::size_t bytes)
{
    return bytes == KZ_PINGPONG_SEQUENCE_LENGTH * sizeof(std::uint16_t) && ++tableRequests == failingRequest;
}

TEST_F(SensorArray, AFailedTableAllocationLeavesNoTable)
{
    for (const int failing : {1, 2, 3}) {
        tableRequests = 0;
        failingRequest = failing;
        platform::setAllocationFailurePredicate(failNthTableAllocation);
        clearErrors();
        EXPECT_EQ(KZ_SetPingPongSequenceElement(0, 1, 1, 1), 0u) << failing;
        EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x4702});
        expectNoTables();
    }
    platform::setAllocationFailurePredicate(nullptr);
    EXPECT_EQ(writesTo(kPingPong), 0u);
    ASSERT_EQ(KZ_SetPingPongSequenceElement(0, 1, 1, 1), 1u);
    EXPECT_EQ(cardElement(1), 1u);
}

} // namespace
} // namespace kz::test
