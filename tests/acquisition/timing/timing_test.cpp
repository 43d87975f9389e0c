#include <gtest/gtest.h>

#include <vector>

#include "acquisition/timing.h"
#include "hardware/registers.h"
#include "library_fixture.h"
#include "timing_test_support.h"

namespace kz::test {
namespace {

constexpr std::uint32_t kTriggerDelay = peripheralAddress(reg::per::kTriggerDelay);
constexpr std::uint32_t kPulseWidth = peripheralAddress(reg::per::kPulseWidth);
constexpr std::uint32_t kAScanTrigger = peripheralAddress(reg::per::kAScanTrigger);
constexpr std::uint32_t kEncoderControl = peripheralAddress(reg::per::kEncoderControl);
constexpr std::uint32_t kFirmwareControl = samplingAddress(reg::smp::kFirmwareControl);
constexpr std::uint32_t kHoldoff = samplingAddress(reg::smp::kTrailingFlankHoldoff);
constexpr std::uint32_t kPeriodBits = 0x1FFFF;
constexpr std::uint32_t kBScanPeriodBits = 0x3FFFFFF;
constexpr std::uint32_t kMegahertz = 1'000'000;

using Errors = std::vector<std::uint32_t>;

class PulseTiming : public FirmwareRunningCardFixture {
protected:
    static void setFrequency(std::uint32_t hz) { card0().samplingFrequency = hz; }
    static std::uint32_t programmedPeriods() { return (peek(kAScanTrigger) & kPeriodBits) + 1; }

    // A-scans at `aScanRate` per second at 100 MHz, `aScans` A-scans per B-scan.
    static void setUpBScans(std::uint32_t aScanRate, std::uint32_t aScans)
    {
        setFrequency(100 * kMegahertz);
        ASSERT_EQ(KZ_SetRepetitionRate(0, aScanRate), 1u);
        card0().numberOfAScansPerBScan = aScans;
        clearErrors();
        XAVO_SIM_ClearCallLog();
    }
};

TEST_F(PulseTiming, RepetitionRateIsAPeriodCountOfTheFifthOfTheSamplingFrequency)
{
    struct Case {
        std::uint32_t hz;
        std::uint32_t rate;
        std::uint32_t periods; // 0: refused
    };
    const Case cases[] = {
        {100 * kMegahertz, 153, 130718},   {100 * kMegahertz, 152, 0},
        {40 * kMegahertz, 62, 129032},     {40 * kMegahertz, 61, 0},
        {100 * kMegahertz, 20'000'000, 1}, {100 * kMegahertz, 20'000'001, 0}, // above the pulse clock
        {100 * kMegahertz, 0, 0},          {0, 1000, 0},                      // no frequency known
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hz << " Hz, rate " << c.rate);
        setFrequency(c.hz);
        card0().repetitionRate = 7;
        card0().repetitionTime = 8;
        clearErrors();
        XAVO_SIM_ClearCallLog();
        if (c.periods == 0) {
            EXPECT_EQ(KZ_SetRepetitionRate(0, c.rate), 0u);
            EXPECT_EQ(reportedErrors(), Errors{0x3e00});
            EXPECT_EQ(cardWrites(), 0u);
            EXPECT_EQ(card0().repetitionRate, 7u);
            EXPECT_EQ(card0().repetitionTime, 8u);
            continue;
        }
        ASSERT_EQ(KZ_SetRepetitionRate(0, c.rate), 1u);
        EXPECT_EQ(programmedPeriods(), c.periods);
        std::uint32_t rate = 0;
        std::uint32_t periods = 0;
        ASSERT_EQ(KZ_GetRepetitionRate(0, &rate), 1u);
        ASSERT_EQ(KZ_GetRepetitionTime(0, &periods), 1u);
        EXPECT_EQ(rate, c.rate);
        EXPECT_EQ(periods, c.periods);
    }
}

TEST_F(PulseTiming, RepetitionTimeAcceptsOneTo131072PeriodsAndKeepsTheOtherBits)
{
    setFrequency(100 * kMegahertz);
    poke(kAScanTrigger, 0x0A500000); // oversample bits of the selected step
    for (const std::uint32_t periods : {131072u, 1u}) {
        ASSERT_EQ(KZ_SetRepetitionTime(0, periods), 1u);
        EXPECT_EQ(peek(kAScanTrigger), 0x0A500000u | (periods - 1));
        std::uint32_t read = 0;
        ASSERT_EQ(getNumberOfPeriodsBetweenAScanTriggers(0, &read), 1u);
        EXPECT_EQ(read, periods);
        EXPECT_EQ(card0().repetitionTime, periods);
        EXPECT_EQ(card0().repetitionRate, 20'000'000u / periods);
    }
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetRepetitionTime(0, 131073), 0u);
    EXPECT_EQ(KZ_SetRepetitionTime(0, 0), 0u);
    EXPECT_EQ(reportedErrors(), (Errors{0x3e00, 0x3e00}));
    EXPECT_EQ(cardWrites(), 0u);
    EXPECT_EQ(card0().repetitionTime, 1u);
}

TEST_F(PulseTiming, BScanRateIsBoundedByTheAScanRateOverTheAScansPlusOne)
{
    setUpBScans(1000, 9);
    EXPECT_EQ(returnMaximumBScanRepetitionRate(0), 100u);
    // The shadow's trigger and routing bits go with the period; the shadow keeps its encoder bits.
    card0().encoderControlShadow = 0x50070050;

    EXPECT_EQ(KZ_SetBScanRepetitionRate(0, 101), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0xa500});
    EXPECT_EQ(cardWrites(), 0u);

    ASSERT_EQ(KZ_SetBScanRepetitionRate(0, 100), 1u);
    EXPECT_EQ(peek(kEncoderControl), 0x50000000u | 200'000u);
    EXPECT_EQ(card0().encoderControlShadow, 0x50070050u);
    std::uint32_t rate = 0;
    ASSERT_EQ(KZ_GetBScanRepetitionRate(0, &rate), 1u);
    EXPECT_EQ(rate, 100u);

    card0().numberOfAScansPerBScan = 4;
    ASSERT_EQ(KZ_AutoSetBScanRepetitionRate(0), 1u);
    EXPECT_EQ(card0().bScanRepetitionRate, 200u);
    EXPECT_EQ(peek(kEncoderControl) & kBScanPeriodBits, 100'000u);
}

TEST_F(PulseTiming, BScanRatesWithoutAWholePeriodAreRefusedBeforeAnyWrite)
{
    setUpBScans(1000, 1);
    struct Case {
        const char* what;
        std::uint32_t aScanRate;
        std::uint32_t hz;
        bool automatic;
        std::uint32_t rate;
    };
    const Case cases[] = {
        {"rate 0", 1000, 100 * kMegahertz, false, 0},
        {"bound 0 through the automatic setter", 1, 100 * kMegahertz, true, 0},
        {"no sampling frequency", 1000, 0, false, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        card0().repetitionRate = c.aScanRate;
        setFrequency(c.hz);
        clearErrors();
        XAVO_SIM_ClearCallLog();
        EXPECT_EQ(c.automatic ? KZ_AutoSetBScanRepetitionRate(0) : KZ_SetBScanRepetitionRate(0, c.rate), 0u);
        EXPECT_EQ(reportedErrors(), Errors{0xa500});
        EXPECT_EQ(cardWrites(), 0u);
        EXPECT_EQ(card0().bScanRepetitionRate, 10u);
    }
}

TEST_F(PulseTiming, TriggerSourcesProgramTheInternalTriggerAndTheSourceBits)
{
    struct Case {
        std::uint32_t source;
        std::uint32_t internal;   // peripheral 0x04 bit 16
        std::uint32_t sourceBits; // peripheral 0x1C bits 29 and 30
    };
    for (const Case c : {Case{1, 1, 0}, Case{2, 1, 0x40000000}, Case{0, 0, 0}}) {
        SCOPED_TRACE(c.source);
        ASSERT_EQ(KZ_SetTriggerSelect(0, c.source), 1u);
        EXPECT_EQ(peek(kTriggerDelay), card0().triggerDelayShadow);
        EXPECT_EQ((card0().triggerDelayShadow >> 16) & 1, c.internal);
        EXPECT_EQ(peek(kEncoderControl), card0().encoderControlShadow);
        EXPECT_EQ(card0().encoderControlShadow, 0x70050u | c.sourceBits);
        std::uint32_t source = 9;
        ASSERT_EQ(KZ_GetTriggerSelect(0, &source), 1u);
        EXPECT_EQ(source, c.source);
    }
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetTriggerSelect(0, 4), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x1900});
    EXPECT_EQ(cardWrites(), 0u);
}

TEST_F(PulseTiming, TriggerSourceThreeProgramsTheStoredBScanRateAgain)
{
    setUpBScans(1000, 9);
    ASSERT_EQ(KZ_SetTriggerSelect(0, 3), 1u);
    EXPECT_EQ(card0().encoderControlShadow, 0x20070050u);
    // First the shadow with the new source, then the period of 10 B-scans per second.
    EXPECT_EQ(writesTo(kEncoderControl), 2u);
    EXPECT_EQ(peek(kEncoderControl), 0x20000000u | 2'000'000u);
    EXPECT_EQ((peek(kTriggerDelay) >> 16) & 1, 1u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(PulseTiming, TriggerSourceThreeSucceedsEvenWhenTheBScanRateIsRefused)
{
    card0().repetitionRate = 0; // bound 0: the stored rate of 10 is too high
    ASSERT_EQ(KZ_SetTriggerSelect(0, 3), 1u);
    EXPECT_EQ(reportedErrors(), Errors{0xa500});
    EXPECT_EQ(card0().triggerSelect, 3u);
    EXPECT_EQ(peek(kEncoderControl), 0x20070050u);
}

TEST_F(PulseTiming, AFailedTriggerWriteLeavesTheLaterStepsUndone)
{
    card0().triggerDelayShadow = 0;
    addRule(XAVO_SIM_OP_SET_WORD, kEncoderControl);
    EXPECT_EQ(KZ_SetTriggerSelect(0, 2), 0u);
    EXPECT_EQ(card0().triggerSelect, 0u);
    EXPECT_EQ(card0().encoderControlShadow, 0x70050u);
    // The trigger delay write before it took effect.
    EXPECT_EQ((card0().triggerDelayShadow >> 16) & 1, 1u);
}

TEST_F(PulseTiming, ForcedBScanTriggersOnlyWithInternalSources)
{
    setUpBScans(1000, 9);
    for (const std::uint32_t source : {0u, 1u, 2u, 3u}) {
        SCOPED_TRACE(source);
        ASSERT_EQ(KZ_SetTriggerSelect(0, source), 1u);
        const std::uint32_t shadow = card0().encoderControlShadow;
        std::uint32_t before = 0;
        std::uint32_t after = 0;
        XAVO_SIM_GetStrobeCount(0, XAVO_SIM_STROBE_BSCAN_START, &before);
        clearErrors();
        const bool internal = source == 1 || source == 2;
        EXPECT_EQ(KZ_SetForceBScanTrigger(0), internal ? 1u : 0u);
        XAVO_SIM_GetStrobeCount(0, XAVO_SIM_STROBE_BSCAN_START, &after);
        EXPECT_EQ(after - before, internal ? 1u : 0u);
        EXPECT_EQ(reportedErrors(), internal ? Errors{} : Errors{0x4900});
        EXPECT_EQ(card0().encoderControlShadow, shadow);
        if (internal) {
            EXPECT_EQ(peek(kEncoderControl), shadow); // the strobe itself is not stored
        }
    }
}

TEST_F(PulseTiming, PulseWidthDependsOnThePeripheralFirmwareVersion)
{
    struct Case {
        std::uint32_t versionWord;
        std::uint32_t width;
        std::uint32_t programmed; // or the error code when refused
        bool accepted;
    };
    const Case cases[] = {
        {0x221F, 0, 5, true},        {0x221F, 4, 5, true},      {0x221F, 4095, 4095, true},
        {0x221F, 4096, 0x3901, false}, {0x0016, 0, 0, true},    {0x0016, 4095, 4095, true},
        {0x0016, 4096, 0x3901, false}, {0x1016, 100, 0x3900, false}, {0x3016, 0, 0x3900, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.versionWord << " width " << std::dec << c.width);
        ASSERT_EQ(XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_PERIPHERAL, c.versionWord), 1u);
        poke(kPulseWidth, 0xABCDE777);
        clearErrors();
        XAVO_SIM_ClearCallLog();
        std::uint32_t width = 0;
        if (!c.accepted) {
            EXPECT_EQ(KZ_SetTransducerPulseWidth(0, c.width), 0u);
            EXPECT_EQ(reportedErrors(), Errors{c.programmed});
            EXPECT_EQ(cardWrites(), 0u);
            continue;
        }
        ASSERT_EQ(KZ_SetTransducerPulseWidth(0, c.width), 1u);
        EXPECT_EQ(peek(kPulseWidth), 0xABCDE000u | c.programmed);
        ASSERT_EQ(KZ_GetTransducerPulseWidth(0, &width), 1u);
        EXPECT_EQ(width, c.programmed);
    }
    ASSERT_EQ(XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_PERIPHERAL, 0x1016), 1u);
    clearErrors();
    std::uint32_t width = 99;
    EXPECT_EQ(KZ_GetTransducerPulseWidth(0, &width), 0u);
    EXPECT_EQ(width, 99u);
    EXPECT_EQ(reportedErrors(), Errors{0x3a00});
}

TEST_F(PulseTiming, SyncPulseModeIsBit27AndTheHoldoffIsWrittenWhole)
{
    poke(kFirmwareControl, 0x40001F05);
    ASSERT_EQ(KZ_SetSyncPulseMode(0, 1), 1u);
    EXPECT_EQ(peek(kFirmwareControl), 0x48001F05u);
    std::uint32_t mode = 0;
    ASSERT_EQ(KZ_GetSyncPulseMode(0, &mode), 1u);
    EXPECT_EQ(mode, 1u);
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetSyncPulseMode(0, 2), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x9000});
    EXPECT_EQ(cardWrites(), 0u);

    for (const std::uint32_t holdoff : {0xFFFFFFFFu, 0u, 0x12345u}) {
        ASSERT_EQ(KZ_SetTrailingFlankHoldoff(0, holdoff), 1u);
        EXPECT_EQ(peek(kHoldoff), holdoff);
    }
}

} // namespace
} // namespace kz::test
