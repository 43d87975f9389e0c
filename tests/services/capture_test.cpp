#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "capturing_card.h"

namespace services_test {
namespace {

// Older firmware, 16-bit, 1000 samples, one position: A = 4 + (4 + 2000 + 4) + 4 + 20 = 2036.
constexpr std::uint32_t kAScanArea = 2036;

class Capture : public CapturingCard {
protected:
    void SetUp() override
    {
        CapturingCard::SetUp();
        setSamples(1000);
        setScanControl(1, 4);
    }
};

TEST_F(Capture, TimerFillsTheBankThenHoldsItUntilReleased)
{
    ASSERT_EQ(XAVO_SIM_SetEncoderCount(0, 0, 77), 1u);
    runTimer();
    advance(500 * kMicrosecond); // triggers at 200 and 400 µs
    EXPECT_EQ(read(kStatus) >> 16 & 0x7FFF, 2u);
    EXPECT_EQ(read(kBScansInMemory), 1u);
    EXPECT_EQ(read(kStatus) & kBankHeld, 0u);

    advance(300 * kMicrosecond); // the fourth B-scan at 800 µs completes the bank
    EXPECT_EQ(read(kStatus) >> 16 & 0x7FFF, 4u);
    EXPECT_NE(read(kStatus) & kBankHeld, 0u);
    EXPECT_NE(read(kCommand) & kSamplingIrq, 0u);
    advance(1 * kMillisecond);
    XAVO_SIM_CaptureStatus s = status();
    EXPECT_EQ(s.capturedBScans, 4u);
    EXPECT_EQ(s.aScansCaptured, 4u);
    EXPECT_EQ(s.droppedTriggers, 5u);
    EXPECT_EQ(s.aScanAreaBytes, kAScanArea);
    EXPECT_EQ(s.positions, 1u);

    // B-scan 1 of the bank: its header, its A-scan's header, the extra word with encoder 0's
    // count, and a trailer stamped with the capture's card time and sequence number.
    const std::uint32_t b1 = kAScanArea;
    EXPECT_EQ(memoryWord(b1), 0x5A000001u);
    EXPECT_EQ(memoryWord(b1 + 4), 0xA5000001u);
    EXPECT_EQ(memoryWord(b1 + 8 + 2000), 77u);
    const std::uint32_t trailer = b1 + kAScanArea - 24;
    EXPECT_EQ(memoryWord(trailer), 77u);
    EXPECT_EQ(memoryWord(trailer + 12), 400u);
    EXPECT_EQ(memoryWord(trailer + 16), 1u);

    write(kCommand, kReleaseBank);
    EXPECT_EQ(read(kStatus) & (kBankHeld | 0x7FFF0000u), 0u);
    EXPECT_EQ(read(kCommand) & kSamplingIrq, 0u);
    advance(200 * kMicrosecond);
    EXPECT_EQ(status().capturedBScans, 1u);
    EXPECT_EQ(memoryWord(0), 0x5A000000u); // the next capture starts at B-scan 0 again
    EXPECT_EQ(status().releases, 1u);
}

TEST_F(Capture, OneAdvanceRendersAtMostOneBank)
{
    runTimer();
    const auto start = std::chrono::steady_clock::now();
    advance(3600ull * 1000 * kMillisecond); // an hour of card time
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    const XAVO_SIM_CaptureStatus s = status();
    EXPECT_EQ(s.aScansCaptured, 4u);
    EXPECT_EQ(s.droppedTriggers, 3600u * 5000 - 4);
    EXPECT_EQ(s.cardTimeNanoseconds, 3600ull * 1000 * kMillisecond);
}

TEST_F(Capture, TriggersComeFromTheTimerExternalPulsesOrAForcedWrite)
{
    // Without the internal timer, time passes without a capture; external pulses capture.
    advance(10 * kMillisecond);
    EXPECT_EQ(status().aScansCaptured, 0u);
    ASSERT_EQ(XAVO_SIM_ExternalPulses(0, 2), 1u);
    EXPECT_EQ(status().aScansCaptured, 2u);

    // A forced A-scan captures at once, and the strobe bit is never stored.
    write(kSampleControl, read(kSampleControl) | kForceAScan);
    EXPECT_EQ(status().aScansCaptured, 3u);
    EXPECT_EQ(read(kSampleControl) & kForceAScan, 0u);

    // Paused, neither the timer nor pulses fire; a forced A-scan still does.
    ASSERT_EQ(XAVO_SIM_SetTriggersPaused(0, 1), 1u);
    ASSERT_EQ(XAVO_SIM_ExternalPulses(0, 1), 1u);
    runTimer();
    advance(1 * kMillisecond);
    EXPECT_EQ(status().aScansCaptured, 3u);
    write(kSampleControl, read(kSampleControl) | kForceAScan);
    EXPECT_EQ(status().aScansCaptured, 4u);

    // External pulses only count while the internal timer is off.
    ASSERT_EQ(XAVO_SIM_SetTriggersPaused(0, 0), 1u);
    write(kCommand, kReleaseBank);
    ASSERT_EQ(XAVO_SIM_ExternalPulses(0, 1), 1u);
    EXPECT_EQ(status().aScansCaptured, 4u);
}

TEST_F(Capture, NothingIsCapturedWhileTheSampleClockIsUnlocked)
{
    write(kMailbox, 4u << 8); // tuning word 0: no clock
    runTimer();
    advance(10 * kMillisecond);
    write(kSampleControl, read(kSampleControl) | kForceAScan);
    EXPECT_EQ(status().aScansCaptured, 0u);
    ASSERT_EQ(XAVO_SIM_SetCaptureWithoutLock(0, 1), 1u);
    advance(1 * kMillisecond); // at 66 MHz then
    EXPECT_EQ(status().aScansCaptured, 4u);
}

TEST_F(Capture, FullMemoryStopsCaptureUntilTheScanControlIsWritten)
{
    runTimer();
    ASSERT_EQ(XAVO_SIM_ForceDataFull(0), 1u);
    EXPECT_NE(read(kStatus) & kDataFull, 0u);
    advance(1 * kMillisecond);
    write(kCommand, kReleaseBank);
    advance(1 * kMillisecond);
    EXPECT_EQ(status().aScansCaptured, 0u);
    EXPECT_EQ(status().droppedTriggers, 10u);

    write(kScanControl, read(kScanControl));
    EXPECT_EQ(read(kStatus) & kDataFull, 0u);
    advance(200 * kMicrosecond);
    EXPECT_EQ(status().aScansCaptured, 1u);

    // Left held long enough, the card fills by itself when told to.
    ASSERT_EQ(XAVO_SIM_SetDataFullAfterDroppedTriggers(0, 3), 1u);
    advance(600 * kMicrosecond + 600 * kMicrosecond);
    EXPECT_NE(read(kStatus) & kDataFull, 0u);
}

TEST_F(Capture, TimerTriggerIsSkippedWhileTheAScanIsStillSampling)
{
    setSamples(8000); // 121.2 µs at 66 MHz
    setScanControl(1, 100);
    runTimer(40);     // a trigger every 3.03 µs
    advance(1 * kMillisecond);
    // One A-scan per 40 periods (121.2 µs), the trigger at its end included: at 3.03, 124.2, ...
    // up to 973 µs.
    EXPECT_EQ(status().aScansCaptured, 9u);
}

TEST_F(Capture, BScansStartAtTimerTicksStrobesOrEncoderDistances)
{
    setScanControl(1, 100);
    runTimer();
    // B-scan timer (bit 29): a tick every 13200 pulse clocks, 1 ms.
    write(kEncoderControl, 1u << 29 | 13200);
    advance(9500 * kMicrosecond);
    EXPECT_EQ(status().capturedBScans, 10u); // the first at once, then one per tick
    write(kEncoderControl, 1u << 31 | 1u << 29 | 13200);
    advance(200 * kMicrosecond);
    EXPECT_EQ(status().capturedBScans, 11u); // the strobe started one without a tick

    // Encoder 0 every 10 clicks (bit 30; bits 0-15 clicks less 1; bits 16-18 encoder 0).
    write(kScanControl, read(kScanControl)); // restart
    write(kEncoderControl, 1u << 30 | 9);
    advance(10 * kMillisecond);
    EXPECT_EQ(status().capturedBScans, 1u);
    ASSERT_EQ(XAVO_SIM_AdvanceEncoder(0, 0, 25), 1u);
    advance(10 * kMillisecond);
    EXPECT_EQ(status().capturedBScans, 3u);
}

TEST_F(Capture, StorageWidthRectifierAndSignAndMagnitudeShapeTheCode)
{
    struct Case {
        std::int32_t code;
        std::uint32_t rectifier;
        std::uint32_t flags; // sampling 0x58 bits 20 (8-bit) and 23 (sign and magnitude)
        std::uint32_t stored;
    };
    constexpr std::uint32_t kSignMag = 1u << 23;
    const Case cases[] = {
        {-1000, 0, 0, 0xFC18},       {-1000, 1, 0, 1000},        {-1000, 2, 0, 0},
        {-1000, 3, 0, 1000},         {1000, 3, 0, 0},            {-2048, 1, 0, 2047},
        {-1000, 0, kEightBit, 0xC1}, {1000, 0, kEightBit, 0x3E}, {-1000, 1, kEightBit, 125},
        {2047, 1, kEightBit, 255},   {-1000, 0, kSignMag, 0x83E8}, {-1000, 0, kSignMag | kEightBit, 0xBE},
    };
    setScanControl(1, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.code << " rectifier " << c.rectifier << " flags " << std::hex << c.flags);
        ASSERT_EQ(XAVO_SIM_SetDataSource(0, XAVO_SIM_DATA_CONSTANT, c.code), 1u);
        write(kRectifier, c.rectifier);
        setSamples(8, c.flags);
        write(kCommand, kReleaseBank);
        write(kSampleControl, read(kSampleControl) | kForceAScan);
        const std::uint32_t mask = (c.flags & kEightBit) != 0 ? 0xFF : 0xFFFF;
        EXPECT_EQ(memoryWord(8) & mask, c.stored);
    }
}

class SequencedCapture : public CapturingCard {
protected:
    void SetUp() override
    {
        sequenced = true;
        CapturingCard::SetUp();
    }
    // Step `step`: samples per oversample and oversamples.
    static void setStep(std::uint32_t step, std::uint32_t samples, std::uint32_t oversamples)
    {
        write(kSamplingStep, step);
        write(kPeripheralStep, step);
        setSamples(samples);
        write(kTriggerPeriod, (oversamples - 1) << 20 | (kPeriods5000 - 1));
    }
};

TEST_F(SequencedCapture, GateAreaFollowsTheAScansWithAStatusWordPerOversample)
{
    runTimer(); // the oversamples of each step are written with the period below
    setStep(0, 16, 2);
    setStep(1, 8, 1);
    write(kSteps, 1);
    // Option 2: whole banks with gate results; the gate area placed after the bank's A-scans.
    setScanControl(3, 1, 2);
    // A = 4 + (2 (4 + 32)) + (4 + 16) + 20 = 116; G = 4 + 4 * 3 + 20 = 36.
    write(kCScanBase, 116);
    advance(1 * kMillisecond);
    const XAVO_SIM_CaptureStatus s = status();
    EXPECT_EQ(s.positions, 2u);
    EXPECT_EQ(s.aScanAreaBytes, 116u);
    EXPECT_EQ(s.gateAreaBytes, 36u);
    EXPECT_EQ(s.geometryMismatch, 0u);
    EXPECT_EQ(s.clipped, 0u);
    EXPECT_EQ(memoryWord(0), 0x5A020000u);          // two positions
    EXPECT_EQ(memoryWord(4 + 36), 0xA5001000u);     // position 0, oversample 1
    EXPECT_EQ(memoryWord(4 + 72), 0xA5020000u);     // position 1
    EXPECT_EQ(memoryWord(116), 0xC3000000u);
    EXPECT_EQ(memoryWord(116 + 4), 0xC5000000u);
    EXPECT_EQ(memoryWord(116 + 8), 0xC5001000u);
    EXPECT_EQ(memoryWord(116 + 12), 0xC5020000u);
    EXPECT_EQ(memoryWord(116 + 36 - 4), 0u);        // the trailer's sequence number

    // A gate area placed over the A-scans is not written there, and the card says so.
    write(kCScanBase, 8);
    write(kScanControl, read(kScanControl));
    advance(1 * kMillisecond);
    EXPECT_EQ(status().clipped, 1u);
    EXPECT_EQ(memoryWord(4 + 36) >> 24, 0xA5u);
}

TEST_F(SequencedCapture, OversamplesThatDoNotAddUpAreFlagged)
{
    runTimer();
    setStep(0, 16, 2);
    write(kSteps, 0);
    setScanControl(3, 1); // three A-scans, but one step of two oversamples
    advance(1 * kMillisecond);
    EXPECT_EQ(status().geometryMismatch, 1u);
}

} // namespace
} // namespace services_test
