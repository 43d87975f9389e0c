#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "acquisition/memory_layout.h"
#include "card_registers.h"
#include "frame/error_codes.h"
#include "library_fixture.h"

namespace kz::test {
namespace {

using reg::smp::kAScansPerBScanLessOne;
using reg::smp::kBScansPerBankLessOne;
using reg::smp::kFirmwareControl;

std::uint32_t cScanBase()
{
    return samplingField(reg::smp::kCScanBase, reg::smp::kCScanBaseAddress);
}

std::uint32_t bScansPerBank()
{
    std::uint32_t count = 0;
    EXPECT_EQ(KZ_GetNumberOfBScansPerBank(0, &count), 1u);
    return count;
}

using Errors = std::vector<std::uint32_t>;

class OlderLayout : public FirmwareRunningCardFixture {
protected:
    OlderLayout() { firmware = kNonSequencedFirmware; }
};

using SequencedLayout = FirmwareRunningCardFixture;

class LayoutBoth : public BothGenerationsFixture {};
XAVO_INSTANTIATE_FOR_BOTH_GENERATIONS(LayoutBoth);

TEST_F(OlderLayout, ThousandSixteenBitSamplesFillTheMemoryWith2028BScansUnderOption2)
{
    ASSERT_EQ(KZ_SetNumberOfSamples(0, 1000), 1u);
    const BoardState& board = pBoardStates[0];
    // Samples, extra header word and one oversample word; the B-scan header and trailer.
    EXPECT_EQ(board.aScanBytesPerBScan, 2036u);
    EXPECT_EQ(board.gateBytesPerBScan, 32u);
    EXPECT_EQ(board.aScanOffset[1], 2012u);
    EXPECT_EQ(board.bytesPerSample, 2u);

    ASSERT_EQ(KZ_SetScanStorageOptions(0, 2), 1u);
    EXPECT_EQ(bScansPerBank(), 2028u);
    EXPECT_EQ(board.numberOfBScansPerBank, 2028u);
    EXPECT_EQ(cScanBase(), 4129008u);
    std::uint32_t option = 0;
    ASSERT_EQ(KZ_GetScanStorageOptions(0, &option), 1u);
    EXPECT_EQ(option, 2u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(SequencedLayout, TwoPositionsWithTheirOwnOversamplesAndGates)
{
    ASSERT_EQ(KZ_SetSampleStorageMode(0, 1), 1u);
    const std::uint32_t oversamples[] = {2, 3};
    for (std::uint32_t step = 0; step < 2; ++step) {
        ASSERT_EQ(KZ_SetSequenceStep(0, step), 1u);
        ASSERT_EQ(KZ_SetNumberOfOversamples(0, oversamples[step]), 1u);
        ASSERT_EQ(KZ_SetNumberOfSamples(0, 96), 1u);
    }
    pBoardStates[0].enabledGateCount[0] = 1;
    pBoardStates[0].enabledGateCount[1] = 0;
    ASSERT_EQ(KZ_SetNumberOfAScansPerBScan(0, 2), 1u);

    EXPECT_EQ(KZ_ReturnAScanOffsetThisStep(0, 1), 108u);
    EXPECT_EQ(KZ_ReturnGateOffsetThisStep(0, 1), 20u);
    EXPECT_EQ(KZ_ReturnGateBytesPerBScan(0), 52u);
    EXPECT_EQ(KZ_ReturnAScanBytesPerBScan(0), 236u);
    EXPECT_EQ(KZ_ReturnOversampleCountThisStep(0, 1), 3u);
    EXPECT_EQ(KZ_ReturnAScanSampleValuesThisStep(0, 1), 96u);

    // The card counts the A-scans with their oversamples, and so does the sensor array.
    std::uint32_t aScans = 0;
    ASSERT_EQ(KZ_GetNumberOfAScansPerBScan(0, &aScans), 1u);
    EXPECT_EQ(aScans, 5u);
    EXPECT_EQ(peripheralField(reg::per::kSensorArray, reg::per::kElementsLessOne), 4u);
    EXPECT_EQ(pBoardStates[0].numberOfAScansPerBScan, 2u);

    // 4 MiB / (236 + 52) is above the limit of 4096 B-scans.
    EXPECT_EQ(bScansPerBank(), 4096u);
    EXPECT_EQ(cScanBase(), 236u * 4096u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(SequencedLayout, LayoutCoversAtMostThirtyTwoPositions)
{
    // The field after the oversample table is non-zero, so reading past the table would show.
    pBoardStates[0].supportsTestPatternMode = 7;
    ASSERT_EQ(KZ_SetNumberOfAScansPerBScan(0, 40), 1u);
    EXPECT_EQ(samplingField(kFirmwareControl, kAScansPerBScanLessOne), 31u);
    EXPECT_EQ(pBoardStates[0].numberOfAScansPerBScan, 40u);
    // 32 positions of 4 samples of 2 bytes and one oversample word each, plus the trailer.
    EXPECT_EQ(KZ_ReturnAScanBytesPerBScan(0), 32u * 12u + 24u);
    EXPECT_EQ(KZ_ReturnGateBytesPerBScan(0), 4u + 32u * 4u - 4u + 24u);
}

TEST_P(LayoutBoth, AScansWithOversamplesAbove128AreRefusedBeforeAnythingIsWritten)
{
    struct Case {
        std::uint32_t oversamples; // for the first `oversampledSteps` steps, 1 elsewhere
        std::uint32_t oversampledSteps;
        std::uint32_t count;
        bool accepted;
    };
    const std::vector<Case> cases = sequenced()
                                        ? std::vector<Case>{{20, 7, 7, false}, {20, 6, 14, true}, {20, 6, 15, false}}
                                        : std::vector<Case>{{2, 1, 65, false}, {2, 1, 64, true}, {3, 1, 43, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "oversamples " << c.oversamples << ", count " << c.count);
        for (std::uint32_t k = 0; k < KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS; ++k) {
            pBoardStates[0].oversampleCount[k] = k < c.oversampledSteps ? c.oversamples : 1;
        }
        ASSERT_EQ(KZ_SetNumberOfAScansPerBScan(0, 1), 1u);
        const std::uint32_t before = pBoardStates[0].numberOfAScansPerBScan;
        clearErrors();
        XAVO_SIM_ClearCallLog();
        EXPECT_EQ(KZ_SetNumberOfAScansPerBScan(0, c.count), c.accepted ? 1u : 0u);
        if (c.accepted) {
            EXPECT_EQ(samplingField(kFirmwareControl, kAScansPerBScanLessOne), 127u);
            EXPECT_EQ(peripheralField(reg::per::kSensorArray, reg::per::kElementsLessOne), 127u);
            EXPECT_EQ(pBoardStates[0].numberOfAScansPerBScan, c.count);
        } else {
            EXPECT_EQ(reportedErrors(), Errors{err::SetSensorArrayNumberOfElementsInvalidNumber});
            EXPECT_EQ(cardWrites(), 0u);
            EXPECT_EQ(pBoardStates[0].numberOfAScansPerBScan, before);
        }
    }
}

TEST_F(OlderLayout, BankThatWouldNeedMoreThan4GiBIsRefusedNotWrapped)
{
    ASSERT_EQ(KZ_SetNumberOfBScansPerBankIsAutomatic(0, 0), 1u);
    ASSERT_EQ(KZ_SetNumberOfSamples(0, 65532), 1u);
    ASSERT_EQ(KZ_SetNumberOfAScansPerBScan(0, 63), 1u);
    clearErrors();
    const std::uint32_t before = peek(samplingAddress(kFirmwareControl));

    // ((65532 + 4 + 4) × 63 + 28) × 1041 bytes is just above 4 GiB.
    EXPECT_EQ(KZ_SetNumberOfBScansPerBank(0, 1041), 0u);
    EXPECT_EQ(reportedErrors(), Errors{err::CheckSramInsufficientSram});
    EXPECT_EQ(peek(samplingAddress(kFirmwareControl)), before);
    EXPECT_EQ(layout::checkSram(0, {.option = 0, .numberOfSamples = 65532, .storageMode = 0, .aScans = 63, .bScans = 1041}),
              0u);
}

TEST_F(OlderLayout, PlacementBeyondTheMemoryIsRefusedNotWrapped)
{
    ASSERT_EQ(KZ_SetNumberOfBScansPerBankIsAutomatic(0, 0), 1u);
    ASSERT_EQ(KZ_SetNumberOfSamples(0, 65532), 1u);
    ASSERT_EQ(pBoardStates[0].aScanBytesPerBScan, 131100u);
    const std::uint32_t base = cScanBase();
    // 32768 B-scans of 131100 bytes pass 4 GiB.
    pokeSampling(kFirmwareControl, kBScansPerBankLessOne.insert(0, 32767));
    clearErrors();
    EXPECT_EQ(layout::handleSram(0), 0u);
    EXPECT_EQ(reportedErrors(), Errors{err::HandleSramInsufficientSram});
    EXPECT_EQ(cScanBase(), base);
}

TEST_F(OlderLayout, SingleAScanLargerThanTheMemoryLeavesNoRoomForGateAreas)
{
    installRecordingHook();
    ASSERT_EQ(KZ_SetNumberOfSamples(0, 65532), 1u);
    ASSERT_EQ(KZ_SetScanStorageOptions(0, 1), 1u);
    clearErrors();
    hookRecord().calls = 0;
    // 32 A-scans of 131072 bytes are more than the 4 MiB; the automatic count becomes 0, which
    // is refused, and the setter itself still succeeds.
    EXPECT_EQ(KZ_SetNumberOfAScansPerBScan(0, 32), 1u);
    EXPECT_EQ(KZ_ReturnAScanBytesPerBScan(0), 32u * 131072u + 28u);
    EXPECT_EQ(reportedErrors(), Errors{err::SetNumberOfBScansPerBankInvalidNumber});
    EXPECT_EQ(hookRecord().calls, 1u);
}

TEST_P(LayoutBoth, HooksRunAtTheEndOfEveryLayoutComputationOnly)
{
    installRecordingHook();
    struct Case {
        const char* name;
        std::function<std::uint32_t()> change;
        std::uint32_t hookCalls;
    };
    const Case cases[] = {
        {"samples", [] { return KZ_SetNumberOfSamples(0, 1000); }, 1},
        {"drop", [] { return KZ_SetDropNumberOfSamples(0, 2); }, 1},
        {"storage mode", [] { return KZ_SetSampleStorageMode(0, 1); }, 1},
        {"scan storage", [] { return KZ_SetScanStorageOptions(0, 2); }, 1},
        {"A-scans", [] { return KZ_SetNumberOfAScansPerBScan(0, 2); }, 1},
        {"noise filter", [] { KZ_SetSampleNoiseFilter(0, 1, 2); return 1u; }, 1},
        {"oversamples", [this] { return sequenced() ? KZ_SetNumberOfOversamples(0, 2) : 1u; }, 0},
        {"automatic", [] { return KZ_SetNumberOfBScansPerBankIsAutomatic(0, 0); }, 0},
        {"B-scans", [] { return KZ_SetNumberOfBScansPerBank(0, 10); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hookRecord().calls = 0;
        ASSERT_EQ(c.change(), 1u);
        EXPECT_EQ(hookRecord().calls, c.hookCalls);
        if (c.hookCalls != 0) {
            // The hook saw the finished layout, with the C-scan area placed after the bank.
            EXPECT_EQ(hookRecord().aScanBytes, KZ_ReturnAScanBytesPerBScan(0));
            EXPECT_EQ(hookRecord().gateBytes, KZ_ReturnGateBytesPerBScan(0));
            EXPECT_EQ(hookRecord().cScanBase, KZ_ReturnAScanBytesPerBScan(0) * bScansPerBank());
        }
    }
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_P(LayoutBoth, SettersFailWhenTheLayoutCannotBeWrittenToTheCard)
{
    struct Case {
        const char* name;
        std::function<std::uint32_t()> change;
        // Writes of the firmware control register the setter makes itself before the layout's.
        std::uint32_t ownFirmwareControlWrites;
    };
    std::vector<Case> cases = {
        {"samples", [] { return KZ_SetNumberOfSamples(0, 1000); }, 0},
        {"drop", [] { return KZ_SetDropNumberOfSamples(0, 2); }, 0},
        {"storage mode", [] { return KZ_SetSampleStorageMode(0, 1); }, 0},
        {"scan storage", [] { return KZ_SetScanStorageOptions(0, 2); }, 1},
        {"A-scans", [] { return KZ_SetNumberOfAScansPerBScan(0, 2); }, 1},
    };
    if (sequenced()) {
        cases.push_back({"steps", [] { return KZ_SetStepsInSequence(0, 3); }, 1});
    }
    // The layout writes the B-scans per bank (the count is automatic) and the C-scan base.
    struct Failing {
        const char* name;
        std::uint32_t address;
        bool afterTheSettersOwnWrites;
    };
    const Failing failures[] = {{"B-scans per bank", samplingAddress(kFirmwareControl), true},
                                {"C-scan base", samplingAddress(reg::smp::kCScanBase), false}};
    for (const Failing& failing : failures) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.name << ", " << failing.name);
            const std::uint32_t rule = addRule(XAVO_SIM_OP_SET_WORD, failing.address, XAVO_SIM_ACTION_FAIL, 0,
                                               failing.afterTheSettersOwnWrites ? c.ownFirmwareControlWrites : 0);
            EXPECT_EQ(c.change(), 0u);
            XAVO_SIM_RemoveFaultRule(rule);
        }
    }
}

TEST_P(LayoutBoth, AScanCountTheSensorArrayRefusesLeavesCardAndRecordAgreeing)
{
    ASSERT_EQ(KZ_SetNumberOfAScansPerBScan(0, 2), 1u);
    const std::uint32_t sensorArray = peripheralAddress(reg::per::kSensorArray);
    struct Case {
        const char* name;
        bool putBackFails; // the write after the card's new count fails too
        std::uint32_t recordedCount;
    };
    for (const Case c : {Case{"put back", false, 2}, Case{"cannot be put back", true, 3}}) {
        SCOPED_TRACE(c.name);
        const std::uint32_t elements = addRule(XAVO_SIM_OP_SET_WORD, sensorArray);
        const std::uint32_t control =
            c.putBackFails ? addRule(XAVO_SIM_OP_SET_WORD, samplingAddress(kFirmwareControl), XAVO_SIM_ACTION_FAIL, 0, 1)
                           : 0;
        EXPECT_EQ(KZ_SetNumberOfAScansPerBScan(0, 3), 0u);
        XAVO_SIM_RemoveFaultRule(elements);
        if (control != 0) {
            XAVO_SIM_RemoveFaultRule(control);
        }
        EXPECT_EQ(pBoardStates[0].numberOfAScansPerBScan, c.recordedCount);
        EXPECT_EQ(samplingField(kFirmwareControl, kAScansPerBScanLessOne) + 1, c.recordedCount);
        ASSERT_EQ(KZ_SetNumberOfAScansPerBScan(0, 2), 1u);
    }
}

TEST_P(LayoutBoth, BScansPerBankAreSetByHandOnlyWhenNotAutomatic)
{
    ASSERT_EQ(KZ_SetNumberOfSamples(0, 2), 1u);
    EXPECT_EQ(bScansPerBank(), 4096u); // the automatic count is held at the limit

    EXPECT_EQ(KZ_SetNumberOfBScansPerBank(0, 10), 0u);
    EXPECT_EQ(reportedErrors(), Errors{err::SetNumberOfBScansPerBankIsAutomatic});

    ASSERT_EQ(KZ_SetNumberOfBScansPerBankIsAutomatic(0, 0), 1u);
    for (const std::uint32_t count : {0u, 4097u}) {
        clearErrors();
        EXPECT_EQ(KZ_SetNumberOfBScansPerBank(0, count), 0u);
        EXPECT_EQ(reportedErrors(), Errors{err::SetNumberOfBScansPerBankInvalidNumber});
    }
    ASSERT_EQ(KZ_SetNumberOfBScansPerBank(0, 1), 1u);
    EXPECT_EQ(bScansPerBank(), 1u);
    EXPECT_EQ(pBoardStates[0].numberOfBScansPerBank, 1u);
}

TEST_F(SequencedLayout, CScanBaseIsAWordAddressBelowTheEndOfTheMemory)
{
    struct Case {
        std::uint32_t address;
        bool accepted;
    };
    for (const Case c : {Case{0, true}, Case{0x3FFFFC, true}, Case{0x3FFFFD, false}, Case{0x400000, false},
                         Case{6, false}, Case{0xFFFFFFFC, false}}) {
        SCOPED_TRACE(c.address);
        ASSERT_EQ(KZ_SetCScanBaseSRAMAddress(0, 8), 1u);
        clearErrors();
        EXPECT_EQ(KZ_SetCScanBaseSRAMAddress(0, c.address), c.accepted ? 1u : 0u);
        std::uint32_t address = 0;
        ASSERT_EQ(KZ_GetCScanBaseSRAMAddress(0, &address), 1u);
        EXPECT_EQ(address, c.accepted ? c.address : 8u);
        EXPECT_EQ(reportedErrors(),
                  c.accepted ? Errors{} : Errors{err::SetCScanBaseSramAddressInvalidAddress});
    }
    std::uint32_t aScanBase = 7;
    EXPECT_EQ(KZ_GetAScanBaseSRAMAddress(5, &aScanBase), 1u);
    EXPECT_EQ(aScanBase, 0u);
}

TEST_F(SequencedLayout, ScanStorageOptionIsZeroToThreeAndHeldAgainstTheBudget)
{
    EXPECT_EQ(KZ_SetScanStorageOptions(0, 4), 0u);
    EXPECT_EQ(reportedErrors(), Errors{err::SetScanStorageOptionsInvalidOptions});

    // A gate area too large for what the A-scans leave refuses the options that store gates.
    ASSERT_EQ(KZ_SetNumberOfBScansPerBankIsAutomatic(0, 0), 1u);
    ASSERT_EQ(KZ_SetNumberOfBScansPerBank(0, 4096), 1u);
    ASSERT_EQ(KZ_SetNumberOfSamples(0, 500), 1u);
    pBoardStates[0].gateBytesPerBScan = 1024;
    clearErrors();
    const std::uint32_t before = peek(samplingAddress(kFirmwareControl));
    EXPECT_EQ(KZ_SetScanStorageOptions(0, 2), 0u);
    EXPECT_EQ(reportedErrors(), Errors{err::CheckSramInsufficientSram});
    EXPECT_EQ(peek(samplingAddress(kFirmwareControl)), before);
    clearErrors();
    EXPECT_EQ(KZ_SetScanStorageOptions(0, 3), 1u);
}

TEST_F(SequencedLayout, LayoutQueriesAnswerZeroBeyondTheirTables)
{
    struct Case {
        const char* name;
        std::function<std::uint32_t(std::uint32_t, std::uint32_t)> query;
        std::uint32_t lastIndex;
        std::uint32_t lastValue;
    };
    const Case cases[] = {
        {"oversamples", KZ_ReturnOversampleCountThisStep, 31, 1},
        {"sample values", KZ_ReturnAScanSampleValuesThisStep, 127, 4},
        {"A-scan offset", KZ_ReturnAScanOffsetThisStep, 127, 4},
        {"gate offset", KZ_ReturnGateOffsetThisStep, 127, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.query(0, c.lastIndex), c.lastValue);
        EXPECT_EQ(c.query(0, c.lastIndex + 1), 0u);
        EXPECT_EQ(c.query(0, 0xFFFFFFFF), 0u);
        clearErrors();
        EXPECT_EQ(c.query(3, 0), 0u);
        EXPECT_EQ(reportedErrors(), Errors{err::ReturnBoardStatePointerInvalidCardIndex});
    }
}

} // namespace
} // namespace kz::test
