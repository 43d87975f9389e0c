#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "card_registers.h"
#include "frame/error_codes.h"
#include "library_fixture.h"

namespace kz::test {
namespace {

using reg::per::kAScanTrigger;
using reg::per::kOversamplesLessOne;
using reg::smp::kSampleControl;

std::uint32_t samplesReadBack()
{
    std::uint32_t count = 0xDEADBEEF;
    EXPECT_EQ(KZ_GetNumberOfSamples(0, &count), 1u);
    return count;
}

using Sampling = FirmwareRunningCardFixture;

TEST_F(Sampling, NumberOfSamplesIsRoundedUpToWholeWordsPerOversample)
{
    struct Case {
        std::uint32_t mode;
        std::uint32_t oversamples;
        std::uint32_t requested;
        std::uint32_t stored;
        std::uint32_t wordsPlusOne;
    };
    const Case cases[] = {
        {0, 1, 1, 2, 2},           {0, 1, 7, 8, 5},          {0, 1, 8, 8, 5},
        {1, 1, 6, 8, 3},           {1, 1, 1, 4, 2},          {1, 1, 8, 8, 3},
        {0, 4, 1000, 1000, 126},   {0, 3, 1000, 1002, 168},  {1, 3, 1000, 1008, 85},
        {0, 1, 65532, 65532, 32767}, {1, 1, 65532, 65532, 16384},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << c.mode << ", oversamples " << c.oversamples << ", request "
                                          << c.requested);
        ASSERT_EQ(KZ_SetSampleStorageMode(0, c.mode), 1u);
        ASSERT_EQ(KZ_SetNumberOfOversamples(0, c.oversamples), 1u);
        clearErrors();
        ASSERT_EQ(KZ_SetNumberOfSamples(0, c.requested), 1u);
        EXPECT_EQ(pBoardStates[0].aScanSampleValues[0], c.stored);
        EXPECT_EQ(samplingField(kSampleControl, reg::smp::kSampleWordsPlusOne), c.wordsPlusOne);
        EXPECT_EQ(samplesReadBack(), c.stored);
        EXPECT_TRUE(reportedErrors().empty());
    }
}

TEST_F(Sampling, NumberOfSamplesRefusesZeroTooManyAndFewerThanTheOversamples)
{
    ASSERT_EQ(KZ_SetNumberOfSamples(0, 100), 1u);
    ASSERT_EQ(KZ_SetNumberOfOversamples(0, 4), 1u);
    for (const std::uint32_t count : {0u, 3u, 65533u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(count);
        clearErrors();
        EXPECT_EQ(KZ_SetNumberOfSamples(0, count), 0u);
        EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{err::SetNumberOfSamplesInvalidNumber});
        EXPECT_EQ(pBoardStates[0].aScanSampleValues[0], 100u);
        EXPECT_EQ(samplingField(kSampleControl, reg::smp::kSampleWordsPlusOne), 51u);
    }
}

class SamplingBoth : public BothGenerationsFixture {};
XAVO_INSTANTIATE_FOR_BOTH_GENERATIONS(SamplingBoth);

TEST_P(SamplingBoth, NumberOfSamplesIsStoredForTheStepOrForEveryPosition)
{
    if (sequenced()) {
        ASSERT_EQ(KZ_SetSequenceStep(0, 3), 1u);
    }
    pBoardStates[0].sampleDecimation = 3;
    ASSERT_EQ(KZ_SetNumberOfSamples(0, 96), 1u);
    const BoardState& board = pBoardStates[0];
    EXPECT_EQ(board.aScanSampleValues[3], 96u);
    EXPECT_EQ(board.aScanSampleSpan[3], 288u);
    EXPECT_EQ(board.aScanSampleValues[0], sequenced() ? 4u : 96u);
    EXPECT_EQ(board.aScanSampleValues[127], sequenced() ? 4u : 96u);
    EXPECT_EQ(board.aScanOffset[0], 4u);
    if (sequenced()) {
        // The word count went to the selected step's copy of the register only.
        std::uint32_t step3 = 0;
        std::uint32_t step0 = 0;
        ASSERT_EQ(XAVO_SIM_PeekStep(0, samplingAddress(kSampleControl), 3, &step3), 1u);
        ASSERT_EQ(XAVO_SIM_PeekStep(0, samplingAddress(kSampleControl), 0, &step0), 1u);
        EXPECT_EQ(reg::smp::kSampleWordsPlusOne.extract(step3), 49u);
        EXPECT_EQ(reg::smp::kSampleWordsPlusOne.extract(step0), 3u);
    }
    EXPECT_EQ(samplesReadBack(), 96u);
}

TEST_P(SamplingBoth, NumberOfSamplesReadsZeroWordsAsNoSamples)
{
    pokeSampling(kSampleControl, 0);
    EXPECT_EQ(samplesReadBack(), 0u);
}

// A card whose word count at power-up differs from the one the record starts from: the count
// reported is the card's, in every step.
class SamplingFromPowerUp : public LibraryFixture, public ::testing::WithParamInterface<FirmwarePair> {};
XAVO_INSTANTIATE_FOR_BOTH_GENERATIONS(SamplingFromPowerUp);

TEST_P(SamplingFromPowerUp, NumberOfSamplesReportsTheWordCountTheCardStartedWith)
{
    ASSERT_EQ(XAVO_SIM_SetSampleWordsAtPowerUp(0, 0x0011), 1u); // 16 words of two 16-bit samples
    initialiseCard(0, GetParam());
    const bool sequenced = GetParam().dsp >= 0x200;
    for (const std::uint32_t step : sequenced ? std::vector<std::uint32_t>{0, 7, 31} : std::vector<std::uint32_t>{0}) {
        SCOPED_TRACE(step);
        if (sequenced) {
            ASSERT_EQ(KZ_SetSequenceStep(0, step), 1u);
        }
        EXPECT_EQ(samplesReadBack(), 32u);
    }
}

TEST_F(Sampling, NumberOfSamplesFailsWhenTheStepCannotBeReadBack)
{
    forceRead(peripheralAddress(reg::per::kSequenceStep), 0, XAVO_SIM_ACTION_FAIL);
    std::uint32_t count = 0xDEADBEEF;
    EXPECT_EQ(KZ_GetNumberOfSamples(0, &count), 0u);
    EXPECT_EQ(count, 0xDEADBEEFu);
}

TEST_F(Sampling, StorageModeChangeDoublesOrHalvesTheSamplesReadBack)
{
    ASSERT_EQ(KZ_SetNumberOfSamples(0, 1000), 1u);
    ASSERT_EQ(KZ_SetSampleStorageMode(0, 1), 1u);
    EXPECT_EQ(samplesReadBack(), 2000u);
    EXPECT_EQ(pBoardStates[0].aScanSampleValues[0], 1000u);
    EXPECT_EQ(pBoardStates[0].bytesPerSample, 1u);
    ASSERT_EQ(KZ_SetSampleStorageMode(0, 0), 1u);
    EXPECT_EQ(samplesReadBack(), 1000u);

    EXPECT_EQ(KZ_SetSampleStorageMode(0, 2), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{err::SetSampleStorageModeInvalidMode});
}

TEST_F(Sampling, StartDelayIsDividedByTheOversamplesAndLimitedTo21Bits)
{
    struct Case {
        std::uint32_t oversamples;
        std::uint32_t delay;
        bool accepted;
        std::uint32_t programmed;
    };
    const Case cases[] = {
        {1, 2097151, true, 2097151}, {1, 2097152, false, 0},      {2, 4194303, true, 2097151},
        {2, 4194304, false, 0},      {3, 100, true, 33},          {20, 0xFFFFFFFF, false, 0},
        {1, 0x10000, true, 0x10000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "oversamples " << c.oversamples << ", delay " << c.delay);
        ASSERT_EQ(KZ_SetNumberOfOversamples(0, 1), 1u);
        ASSERT_EQ(KZ_SetStartDelay(0, 5), 1u);
        ASSERT_EQ(KZ_SetNumberOfOversamples(0, c.oversamples), 1u);
        clearErrors();
        EXPECT_EQ(KZ_SetStartDelay(0, c.delay), c.accepted ? 1u : 0u);
        const std::uint32_t expected = c.accepted ? c.programmed : 5u;
        std::uint32_t delay = 0;
        ASSERT_EQ(KZ_GetStartDelay(0, &delay), 1u);
        EXPECT_EQ(delay, expected);
        const std::uint32_t word = peek(peripheralAddress(reg::per::kTriggerDelay));
        EXPECT_EQ(reg::per::kStartDelayLow.extract(word), expected & 0xFFFF);
        EXPECT_EQ(reg::per::kStartDelayHigh.extract(word), expected >> 16);
        EXPECT_EQ(reg::per::kTriggerInternal.extract(word), 1u); // the trigger bit is kept
        EXPECT_EQ(word, pBoardStates[0].triggerDelayShadow);
        EXPECT_EQ(reportedErrors(),
                  c.accepted ? std::vector<std::uint32_t>{}
                             : std::vector<std::uint32_t>{err::SetStartDelayInvalidStartDelay});
    }
}

TEST_P(SamplingBoth, OversamplesExistOnlyOnSequenceCompatibleFirmware)
{
    installRecordingHook();
    ASSERT_EQ(KZ_SetSequenceStep(0, 2), sequenced() ? 1u : 0u);
    clearErrors();
    for (const std::uint32_t count : {0u, 1u, 20u, 21u}) {
        SCOPED_TRACE(count);
        const bool valid = sequenced() && count >= 1 && count <= 20;
        EXPECT_EQ(KZ_SetNumberOfOversamples(0, count), valid ? 1u : 0u);
        if (!valid) {
            EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{err::SetNumberOfOversamplesInvalidMultiplier});
            clearErrors();
        }
    }
    std::uint32_t count = 0;
    ASSERT_EQ(KZ_GetNumberOfOversamples(0, &count), 1u);
    EXPECT_EQ(count, sequenced() ? 20u : 1u);
    if (sequenced()) {
        std::uint32_t step2 = 0;
        ASSERT_EQ(XAVO_SIM_PeekStep(0, peripheralAddress(kAScanTrigger), 2, &step2), 1u);
        EXPECT_EQ(kOversamplesLessOne.extract(step2), 19u);
        EXPECT_EQ(pBoardStates[0].oversampleCount[2], 20u);
        EXPECT_EQ(pBoardStates[0].oversampleCount[0], 1u);
    }
    EXPECT_EQ(hookRecord().calls, 0u); // no layout is recomputed
}

TEST_P(SamplingBoth, TestPatternAndSignAndMagnitudeTakeBitZeroOfTheFlagOnTheOlderFirmware)
{
    struct Case {
        std::uint32_t flag;
        std::uint32_t bit;
    };
    struct Mode {
        Field field;
        std::function<std::uint32_t(std::uint32_t)> set;
    };
    const Mode modes[] = {
        {reg::smp::kTestPattern, [](std::uint32_t flag) { return KZ_SetTestPatternMode(0, flag); }},
        {reg::smp::kSignAndMagnitude, [](std::uint32_t flag) { return KZ_SetSignAndMagnitudeMode(0, flag); }},
    };
    for (const Mode& mode : modes) {
        for (const Case c : {Case{1, 1}, Case{2, 0}, Case{0x200, 0}, Case{3, 1}, Case{0, 0}}) {
            SCOPED_TRACE(::testing::Message() << "bit " << mode.field.shift << ", flag " << c.flag);
            pokeSampling(kSampleControl, 0x3);
            clearErrors();
            if (!sequenced()) {
                EXPECT_EQ(mode.set(c.flag), 1u);
                EXPECT_EQ(peek(samplingAddress(kSampleControl)), 0x3u | (c.bit << mode.field.shift));
            } else {
                EXPECT_EQ(mode.set(c.flag), 0u);
                EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{err::InitialiseFirmwareVersionTooOld});
                EXPECT_EQ(peek(samplingAddress(kSampleControl)), 0x3u);
            }
        }
    }
    EXPECT_EQ(KZ_SetSignAndMagnitudeMode(0, 3), sequenced() ? 0u : 1u);
    EXPECT_EQ(KZ_ReturnIsSignAndMag(0), sequenced() ? 0u : 1u);
}

TEST_F(Sampling, RawConversionIsATwelveBitTwosComplementCode)
{
    for (const std::int32_t code : {0, 1, 2047, -1, -2048, -1000}) {
        SCOPED_TRACE(code);
        ASSERT_EQ(XAVO_SIM_SetRawConversionCode(0, code), 1u);
        std::int16_t value = 0x5555;
        ASSERT_EQ(KZ_ReadRawADCData(0, &value), 1u);
        EXPECT_EQ(value, code);
    }
    struct Forced {
        std::uint32_t word;
        std::int16_t value;
    };
    // Bits above the code are not part of it.
    for (const Forced f : {Forced{0x800, -2048}, Forced{0xFFF, -1}, Forced{0xFFFFF800, -2048},
                           Forced{0x12345FFF, -1}, Forced{0xFFFFF7FF, 2047}}) {
        SCOPED_TRACE(f.word);
        ASSERT_EQ(XAVO_SIM_ForceRawConversionWord(0, 1, f.word), 1u);
        std::int16_t value = 0x5555;
        ASSERT_EQ(KZ_ReadRawADCData(0, &value), 1u);
        EXPECT_EQ(value, f.value);
    }
    // Each read starts its conversion first.
    XAVO_SIM_ClearCallLog();
    std::int16_t value = 0;
    ASSERT_EQ(KZ_ReadRawADCData(0, &value), 1u);
    XAVO_SIM_CallRecord write{};
    ASSERT_EQ(XAVO_SIM_GetCallLogEntry(0, &write), 1u);
    EXPECT_EQ(write.operation, XAVO_SIM_OP_SET_WORD);
    EXPECT_EQ(write.address, samplingAddress(reg::smp::kRawConversion));
    EXPECT_EQ(write.value, 0xFFFFFFFFu);
}

TEST_F(Sampling, DropCountSetsTheDecimationAndTheSampleSpans)
{
    ASSERT_EQ(KZ_SetNumberOfSamples(0, 100), 1u);
    ASSERT_EQ(KZ_SetDropNumberOfSamples(0, 15), 1u);
    EXPECT_EQ(pBoardStates[0].sampleDecimation, 16u);
    EXPECT_EQ(pBoardStates[0].aScanSampleSpan[0], 1600u);
    EXPECT_EQ(pBoardStates[0].aScanSampleSpan[5], 64u);
    std::uint32_t drop = 0;
    ASSERT_EQ(KZ_GetDropNumberOfSamples(0, &drop), 1u);
    EXPECT_EQ(drop, 15u);

    EXPECT_EQ(KZ_SetDropNumberOfSamples(0, 16), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{err::SetDropNumberOfSamplesInvalidNumber});
    EXPECT_EQ(pBoardStates[0].sampleDecimation, 16u);
}

TEST_F(Sampling, DropCountRunsTheBudgetCheckBeforeItsOwnValidation)
{
    ASSERT_EQ(KZ_SetNumberOfBScansPerBankIsAutomatic(0, 0), 1u);
    // 65532 samples in each of 128 A-scans do not fit; the card holds that shape already.
    pokeSampling(kSampleControl, 32767);
    pokeSampling(reg::smp::kFirmwareControl, 127);
    EXPECT_EQ(KZ_SetDropNumberOfSamples(0, 16), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{err::CheckSramInsufficientSram});
}

TEST_P(SamplingBoth, ForcedAScanTriggerNeedsAnInternalTriggerOnTheOlderFirmware)
{
    for (const std::uint32_t source : {0u, 1u}) {
        SCOPED_TRACE(source);
        pBoardStates[0].triggerSelect = source;
        clearErrors();
        std::uint32_t before = 0;
        ASSERT_EQ(XAVO_SIM_GetStrobeCount(0, XAVO_SIM_STROBE_FORCED_ASCAN, &before), 1u);
        const bool fires = sequenced() || source != 0;
        EXPECT_EQ(KZ_SetForceAScanTrigger(0), fires ? 1u : 0u);
        std::uint32_t after = 0;
        ASSERT_EQ(XAVO_SIM_GetStrobeCount(0, XAVO_SIM_STROBE_FORCED_ASCAN, &after), 1u);
        EXPECT_EQ(after - before, fires ? 1u : 0u);
        EXPECT_EQ(reportedErrors(), fires ? std::vector<std::uint32_t>{}
                                          : std::vector<std::uint32_t>{err::SetForceAScanTriggerInvalidLocale});
    }
}

TEST_F(Sampling, RectifierModeIsZeroToThree)
{
    ASSERT_EQ(KZ_SetRectifierMode(0, 3), 1u);
    EXPECT_EQ(KZ_SetRectifierMode(0, 4), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{err::SetRectifierModeInvalidMode});
    std::uint32_t mode = 0;
    ASSERT_EQ(KZ_GetRectifierMode(0, &mode), 1u);
    EXPECT_EQ(mode, 3u);
}

TEST_F(Sampling, NoiseFilterWordsAreKeptAsGivenAndTheLayoutFollows)
{
    installRecordingHook();
    KZ_SetSampleNoiseFilter(0, 0xFFFFFFFF, 0x40490FDB);
    EXPECT_EQ(pBoardStates[0].noiseFilterParameters[0], 0xFFFFFFFFu);
    EXPECT_EQ(pBoardStates[0].noiseFilterParameters[1], 0x40490FDBu);
    EXPECT_EQ(hookRecord().calls, 1u);

    KZ_SetSampleNoiseFilter(7, 1, 2);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{err::ReturnBoardStatePointerInvalidCardIndex});
}

TEST_F(Sampling, GettersWithANullPointerTouchNothing)
{
    const std::function<std::uint32_t()> getters[] = {
        [] { return KZ_GetRectifierMode(0, nullptr); },       [] { return KZ_GetStartDelay(0, nullptr); },
        [] { return KZ_GetNumberOfSamples(0, nullptr); },     [] { return KZ_GetDropNumberOfSamples(0, nullptr); },
        [] { return KZ_GetSampleStorageMode(0, nullptr); },   [] { return KZ_GetNumberOfOversamples(0, nullptr); },
        [] { return KZ_ReadRawADCData(0, nullptr); },         [] { return KZ_GetScanStorageOptions(0, nullptr); },
        [] { return KZ_GetNumberOfAScansPerBScan(0, nullptr); },
        [] { return KZ_GetNumberOfBScansPerBank(0, nullptr); },
        [] { return KZ_GetCScanBaseSRAMAddress(0, nullptr); }, [] { return KZ_GetAScanBaseSRAMAddress(0, nullptr); },
        [] { return KZ_GetNumberOfBScansInSRAM(0, nullptr); },
        [] { return KZ_GetNumberOfBScansCapturedInBank(0, nullptr); },
    };
    for (const auto& get : getters) {
        EXPECT_EQ(get(), 0u);
    }
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

} // namespace
} // namespace kz::test
