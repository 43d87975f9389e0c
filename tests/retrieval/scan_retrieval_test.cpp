#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "XAVODataCollectionControl.h"
#include "XAVORawScanControl.h"
#include "bound_card_fixture.h"
#include "frame/error_codes.h"
#include "frame/error_table.h"
#include "retrieval/scan_retrieval.h"

namespace kz::test {
namespace {

constexpr std::uint8_t kUntouched = 0xEE;
constexpr std::uint32_t kGuardBytes = 16;

struct Shape {
    std::uint32_t mode;
    std::vector<Position> positions;
};

// B-scan shapes the firmware can hold: the older firmware keeps one sample count and no
// oversamples for all positions; sequence-compatible firmware one of each per step.
std::vector<Shape> shapesFor(bool sequenced)
{
    if (sequenced) {
        return {{kStorage16Bit, {{64, 1}, {32, 2}, {16, 3}}},
                {kStorage8Bit, {{128, 1}, {64, 4}}},
                {kStorage16Bit, {{200, 1}, {8, 1}, {40, 5}, {100, 1}}}};
    }
    return {{kStorage16Bit, {{100}, {100}, {100}}}, {kStorage8Bit, {{200}, {200}}}};
}

std::uint32_t bytesPerSample(std::uint32_t mode) { return mode == kStorage16Bit ? 2 : 1; }

using ScanRetrieval = BoundCardBothGenerations;
XAVO_INSTANTIATE_FOR_BOTH_GENERATIONS(ScanRetrieval);

TEST_P(ScanRetrieval, BScanBringsEachPositionsOwnLengthFromItsHeaderOn)
{
    for (const Shape& shape : shapesFor(sequenced())) {
        SCOPED_TRACE(testing::Message() << "mode " << shape.mode << ", " << shape.positions.size() << " positions");
        shapeBScans(shape.mode, shape.positions);
        std::uint32_t entries = 0;
        ASSERT_EQ(KZ_GetNumberOfAScansPerBScan(0, &entries), 1u);

        // One buffer per A-scan the card counts (oversamples included), each with room for its
        // position's samples and a guard behind.
        std::vector<std::vector<std::uint8_t>> buffers(entries);
        std::vector<void*> pointers(entries);
        for (std::uint32_t i = 0; i < entries; ++i) {
            const std::uint32_t bytes = i < shape.positions.size() ? board0().aScanSampleValues[i] * bytesPerSample(shape.mode) : 0;
            buffers[i].assign(bytes + kGuardBytes, kUntouched);
            pointers[i] = buffers[i].data();
        }
        const std::uint32_t releasesBefore = releases();
        ASSERT_EQ(KZ_GetBScan(0, pointers.data()), 1u);
        EXPECT_EQ(releases(), releasesBefore + 1);

        for (std::uint32_t k = 0; k < entries; ++k) {
            SCOPED_TRACE(testing::Message() << "position " << k);
            const std::vector<std::uint8_t>& got = buffers[k];
            if (k >= shape.positions.size()) {
                EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](std::uint8_t b) { return b == kUntouched; }));
                continue;
            }
            const Position& p = shape.positions[k];
            const std::uint32_t length = p.samples * p.oversamples * bytesPerSample(shape.mode);
            ASSERT_EQ(board0().aScanSampleValues[k], p.samples * p.oversamples);
            std::vector<std::uint8_t> expected = rampRecord(0, k, p, shape.mode);
            expected.resize(length); // the transfer counts sample bytes from the header word on
            expected.insert(expected.end(), kGuardBytes, kUntouched);
            EXPECT_EQ(got, expected);
        }
        EXPECT_TRUE(reportedErrors().empty());
    }
}

TEST_P(ScanRetrieval, AScansOfEveryBScanOfTheBankComeThroughTheService)
{
    const Shape shape = shapesFor(sequenced())[0];
    constexpr std::uint32_t kBScans = 3;
    shapeBScans(shape.mode, shape.positions, kBScans);
    for (std::uint32_t b = 0; b < kBScans; ++b) {
        for (std::uint32_t k = 0; k < shape.positions.size(); ++k) {
            SCOPED_TRACE(testing::Message() << "B-scan " << b << ", position " << k);
            const std::vector<std::uint8_t> expected = rampRecord(b, k, shape.positions[k], shape.mode);
            std::vector<std::uint8_t> got(expected.size(), kUntouched);
            ASSERT_EQ(KZ_GetAScan(0, got.data(), static_cast<std::uint32_t>(got.size()), k, b), 1u);
            EXPECT_EQ(got, expected);
        }
    }
    EXPECT_TRUE(reportedErrors().empty());
}

// With a scan storage option that keeps gate results, each captured B-scan's gate area holds,
// per position, a status word naming the gates that crossed and one result word per enabled gate.
TEST_P(ScanRetrieval, GateAreaHoldsTheEnabledGatesResults)
{
    shapeBScans(kStorage16Bit, {{1000}}, 1, 2);
    // The ramp of position 0 is j - 2048: at sample 100 its magnitude is 1948, falling after.
    GateDefinition both{};
    both.gateIndex = 0;
    both.start = 100;
    both.end = 300;
    both.threshold = 100;
    both.thresholdPolarity = 2;
    both.triggerGate = KZ_GATE_TRIGGER_NONE;
    both.distanceMetric = KZ_GDMPeak;
    both.enabled = 1;
    both.amplitudePeakSelect = KZ_GAPSLargestPeak;
    both.distancePeakSelect = KZ_GDPSLargestPeak;
    GateDefinition positive = both;
    positive.gateIndex = 1;
    positive.start = 500;
    positive.end = 600;
    positive.thresholdPolarity = 0; // every sample is negative: no crossing
    ASSERT_EQ(KZ_AddGate(0, &both), 1u);
    ASSERT_EQ(KZ_AddGate(0, &positive), 1u);

    ASSERT_EQ(XAVO_SIM_AdvanceCardTime(0, 1'000'000), 1u);
    XAVO_SIM_CaptureStatus status{};
    ASSERT_EQ(XAVO_SIM_GetCaptureStatus(0, &status), 1u);
    ASSERT_EQ(status.capturedBScans, 1u);
    EXPECT_EQ(status.gateAreaBytes, KZ_ReturnGateBytesPerBScan(0));
    std::uint32_t base = 0;
    ASSERT_EQ(KZ_GetCScanBaseSRAMAddress(0, &base), 1u);
    std::uint32_t words[4] = {};
    ASSERT_EQ(XAVO_SIM_ReadMemory(0, base, words, sizeof words), 1u);
    EXPECT_EQ(words[0], 0xC3000000u);                 // gate area header of B-scan 0
    EXPECT_EQ(words[1], 0xC5000000u | 0x1);           // position 0: gate 0 crossed
    EXPECT_EQ(words[2], 1948u | 0x8000 | 100u << 16); // amplitude, crossed, time of the peak
    EXPECT_EQ(words[3], 0u);
    EXPECT_EQ(KZ_ReturnGateOffsetThisStep(0, 0), 4u);
}

// ---------------------------------------------------------------- edge cases (one generation)

class Retrieval : public BoundCardFixture {
protected:
    void SetUp() override
    {
        BoundCardFixture::SetUp();
        shapeBScans(kStorage16Bit, positions);
    }

    const std::vector<Position> positions{{64}, {32}, {16}};

    static std::uint32_t waits() { return DC_SIM_ReturnCallCount(DC_SIM_CALL_WAIT); }
    static std::uint32_t downloads() { return DC_SIM_ReturnCallCount(DC_SIM_CALL_DOWNLOADED); }

    struct Buffers {
        std::vector<std::vector<std::uint8_t>> bytes;
        std::vector<void*> pointers;
        bool untouched(std::uint32_t i) const
        {
            return std::all_of(bytes[i].begin(), bytes[i].end(), [](std::uint8_t b) { return b == kUntouched; });
        }
    };
    static Buffers buffers(std::uint32_t count = 3)
    {
        Buffers b;
        b.bytes.assign(count, std::vector<std::uint8_t>(256, kUntouched));
        for (auto& v : b.bytes) {
            b.pointers.push_back(v.data());
        }
        return b;
    }
};

TEST_F(Retrieval, AScanIndexPastTheCountCopiesNothingAndStillHandsTheBankBack)
{
    std::uint32_t aScans = 0;
    ASSERT_EQ(KZ_GetNumberOfAScansPerBScan(0, &aScans), 1u);
    struct Case {
        std::uint32_t aScan;
        std::uint32_t bScan;
    };
    for (const Case c : {Case{aScans, 0}, Case{0, 1}}) {
        std::vector<std::uint8_t> buffer(64, kUntouched);
        const std::uint32_t before = downloads();
        EXPECT_EQ(KZ_GetAScan(0, buffer.data(), 64, c.aScan, c.bScan), 0u);
        EXPECT_EQ(downloads(), before + 1);
        EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == kUntouched; }));
    }
}

TEST_F(Retrieval, BScanRefusesSingleAScanModeAndBanksOfSeveralBeforeTheWait)
{
    struct Case {
        std::uint32_t option;
        std::uint32_t bScansPerBank;
        std::uint32_t code;
    };
    for (const Case c : {Case{1, 1, err::GetBScanSingleAScanMode}, Case{0, 2, err::GetBScanInvalidNumberOfBScansPerBank}}) {
        ASSERT_EQ(KZ_SetScanStorageOptions(0, c.option), 1u);
        if (c.option == 0) {
            ASSERT_EQ(KZ_SetNumberOfBScansPerBank(0, c.bScansPerBank), 1u);
        }
        clearErrors();
        Buffers b = buffers();
        const std::uint32_t waitsBefore = waits();
        const std::uint32_t downloadsBefore = downloads();
        EXPECT_EQ(KZ_GetBScan(0, b.pointers.data()), 0u);
        EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{c.code});
        EXPECT_EQ(waits(), waitsBefore);
        EXPECT_EQ(downloads(), downloadsBefore);
    }
}

TEST_F(Retrieval, HeaderFaultKeepsTheEarlierPositionsAndHandsTheBankBack)
{
    ASSERT_EQ(RawScan_SIM_SetHeaderCheck(RAWSCAN_SIM_HEADERS_REJECT_POSITION, 1), 1u);
    Buffers b = buffers();
    const std::uint32_t releasesBefore = releases();
    EXPECT_EQ(KZ_GetBScan(0, b.pointers.data()), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{err::GetBScanInternalDataFormatError});
    EXPECT_EQ(releases(), releasesBefore + 1);
    EXPECT_FALSE(b.untouched(0));
    EXPECT_TRUE(b.untouched(1));
    EXPECT_TRUE(b.untouched(2));
}

TEST_F(Retrieval, TransferOrHeaderReadFailureReturnsWithoutHandingTheBankBack)
{
    for (const std::uint32_t operation : {XAVO_SIM_OP_DMA_TRANSFER, XAVO_SIM_OP_GET_WORD}) {
        XAVO_SIM_FaultRule rule{};
        rule.operations = operation;
        rule.card = 0;
        rule.addressFirst = 0;
        rule.addressLast = KZ_SYSTEM_RAM_OFFSET - 1; // sample memory only
        rule.caller = XAVO_SIM_CALLER_LIBRARY;
        const std::uint32_t id = XAVO_SIM_AddFaultRule(&rule);
        ASSERT_NE(id, 0u);
        Buffers b = buffers();
        const std::uint32_t downloadsBefore = downloads();
        EXPECT_EQ(KZ_GetBScan(0, b.pointers.data()), 0u);
        EXPECT_EQ(downloads(), downloadsBefore);
        EXPECT_TRUE(reportedErrors().empty());
        ASSERT_EQ(XAVO_SIM_RemoveFaultRule(id), 1u);
        // The held bank is still there for the next call.
        EXPECT_EQ(KZ_GetBScan(0, b.pointers.data()), 1u);
    }
}

TEST_F(Retrieval, NoCompletedBankFailsBothRetrievalsAndHandsTheBankBack)
{
    ASSERT_EQ(XAVO_SIM_SetTriggersPaused(0, 1), 1u);
    DC_SIM_SetWaitTimeout(20'000'000); // 20 ms of card time
    Buffers b = buffers();
    std::uint32_t before = downloads();
    EXPECT_EQ(KZ_GetBScan(0, b.pointers.data()), 0u);
    EXPECT_EQ(downloads(), before + 1);
    before = downloads();
    EXPECT_EQ(KZ_GetAScan(0, b.pointers[0], 64, 0, 0), 0u);
    EXPECT_EQ(downloads(), before + 1);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(Retrieval, TransferThatWouldRunPastTheSampleMemoryIsRefusedBeforeIt)
{
    // A layout that puts position 0 at the end of the memory, with a header the service accepts.
    ASSERT_EQ(RawScan_SIM_SetHeaderCheck(RAWSCAN_SIM_HEADERS_ACCEPT_ALL, 0), 1u);
    board0().aScanOffset[0] = KZ_SYSTEM_RAM_OFFSET - 64;
    Buffers b = buffers();
    const std::uint32_t transfersBefore = XAVO_SIM_CountCalls(XAVO_SIM_OP_DMA_TRANSFER, 0, XAVO_SIM_ANY);
    EXPECT_EQ(KZ_GetBScan(0, b.pointers.data()), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{err::GetBScanInternalDataFormatError});
    EXPECT_EQ(XAVO_SIM_CountCalls(XAVO_SIM_OP_DMA_TRANSFER, 0, XAVO_SIM_ANY), transfersBefore);
}

TEST_F(Retrieval, NullPointersReturnZeroWithoutTouchingTheCard)
{
    XAVO_SIM_ClearCallLog();
    const std::uint32_t waitsBefore = waits();
    Buffers b = buffers();
    b.pointers[2] = nullptr;
    std::uint32_t word = 0;
    EXPECT_EQ(KZ_GetBScan(0, nullptr), 0u);
    EXPECT_EQ(KZ_GetAScan(0, nullptr, 64, 0, 0), 0u);
    EXPECT_EQ(getMemoryWord(0, 0, nullptr), 0u);
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_EQ(KZ_GetBScan(0, b.pointers.data()), 0u);
    EXPECT_EQ(waits(), waitsBefore);
    EXPECT_TRUE(b.untouched(0));
    EXPECT_EQ(getMemoryWord(0, 0, &word), 1u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(Retrieval, MemoryWordsEndAtTheLastPeripheralWord)
{
    constexpr std::uint32_t kLast = 0x500444; // peripheral I/O bank 0: its input pins read back
    ASSERT_EQ(XAVO_SIM_SetInputPins(0, XAVO_SIM_IO_PERIPHERAL_0, 0x1234), 1u);
    std::uint32_t value = 0;
    EXPECT_EQ(getMemoryWord(0, kLast, &value), 1u);
    EXPECT_EQ(value, 0x1234u);
    EXPECT_EQ(setMemoryWord(0, kLast, 0x5678), 1u);
    EXPECT_EQ(peek(kLast), 0x5678u);
    XAVO_SIM_ClearCallLog();
    value = 7;
    EXPECT_EQ(getMemoryWord(0, kLast + 1, &value), 0u);
    EXPECT_EQ(setMemoryWord(0, kLast + 1, 1), 0u);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{err::MemoryWordAddressOutOfRange, err::MemoryWordAddressOutOfRange}));
    EXPECT_STREQ(KZ_GetCodeString(err::MemoryWordAddressOutOfRange), "Unknown");
    EXPECT_EQ(getMemoryWord(99, 0, &value), 0u); // an index out of range reports nothing
    EXPECT_EQ(reportedErrors().size(), 2u);
}

TEST_F(Retrieval, SingleShotEntryPointsAcceptAnyCard)
{
    for (const std::uint32_t card : {0u, 1u, 0xFFFFFFFFu}) {
        EXPECT_EQ(KZ_PrepareForSingleShotMode(card), 1u);
        EXPECT_EQ(KZ_SingleShotCapture(card), 1u);
    }
    EXPECT_TRUE(reportedErrors().empty());
}

} // namespace
} // namespace kz::test
