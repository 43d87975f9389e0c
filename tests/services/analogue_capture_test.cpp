// What the card captures from its analogue inputs: the analogue front end (offset and gain
// D-to-A words, range, calibration voltage, noise) and the TCG table act on captured A-scans as
// on the converter itself, while the ramp stays exact whatever they are set to.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "capturing_card.h"

namespace services_test {
namespace {

constexpr std::uint32_t kSamples = 1000;
constexpr std::uint32_t kAnalogueControl = perReg(0x00);
constexpr std::uint32_t kDac = perReg(0x0C);
constexpr std::uint32_t kTcgControl = smpReg(0x60);
constexpr std::uint32_t kTcgPort = smpReg(0x70);
constexpr std::uint32_t kTcgLoad = 1u << 31;
constexpr std::uint32_t kTcgEnable = 1u << 1;
constexpr std::uint32_t kFullScaleOneVolt = 1u << 14;
constexpr std::uint32_t kZeroInput = 3;
constexpr std::uint32_t kCalibrationInput = 2;

// The control word of `input` (0-3) on `range` with calibration voltage `code`.
constexpr std::uint32_t controlWord(std::uint32_t input, std::uint32_t range, std::uint32_t code = 0)
{
    return (1u << (2 + input)) | (1u << (6 + range)) | (code << 20) | kFullScaleOneVolt;
}

class AnalogueCapture : public CapturingCard {
protected:
    void SetUp() override
    {
        CapturingCard::SetUp();
        setSamples(kSamples);
        setScanControl(1, 1);
    }

    static void select(std::uint32_t word, std::uint32_t gainWord, std::uint32_t offsetWord)
    {
        write(kAnalogueControl, word);
        write(kDac, 0x2000 | gainWord);
        write(kDac, 0x3000 | offsetWord);
    }

    // One forced A-scan into a freshly released bank: the codes of its 1000 samples.
    static std::vector<std::int16_t> capture()
    {
        write(kCommand, kReleaseBank);
        write(kSampleControl, read(kSampleControl) | kForceAScan);
        std::vector<std::int16_t> codes(kSamples);
        EXPECT_EQ(XAVO_SIM_ReadMemory(0, 8, codes.data(), 2 * kSamples), 1u); // after the B-scan and A-scan headers
        return codes;
    }

    // The mean as the input calibration takes it: a 64-bit sum divided toward zero.
    static std::int32_t meanOf(const std::vector<std::int16_t>& codes)
    {
        std::int64_t sum = 0;
        for (const std::int16_t c : codes) {
            sum += c;
        }
        return static_cast<std::int32_t>(sum / static_cast<std::int64_t>(codes.size()));
    }
};

// The calibration's measurements by hand, noise off (range 1 from the defaults 0x800 and from the
// EEPROM words, range 2's gain pass from 0x800): the mean of a captured A-scan of input 3 (offset
// pass) or of input 2 with the range's calibration voltage (gain pass).
TEST_F(AnalogueCapture, MeansFollowTheOffsetAndGainWordsAsTheCalibrationExpects)
{
    struct HandCheck {
        std::uint32_t range, input, gainWord, offsetWord;
        std::int32_t mean;
    };
    constexpr HandCheck kHandChecks[] = {
        {1, kZeroInput, 2048, 2048, -12},          {1, kZeroInput, 2048, 2059, -1},
        {1, kCalibrationInput, 2048, 2059, -1839}, {1, kCalibrationInput, 1963, 2059, -1853},
        {1, kZeroInput, 1956, 2060, 0},            {1, kCalibrationInput, 1956, 2060, -1853},
        {2, kCalibrationInput, 2048, 2132, -1696}, {2, kCalibrationInput, 2251, 2132, -1666},
        {2, kCalibrationInput, 2278, 2132, -1662},
    };
    ASSERT_EQ(XAVO_SIM_SetAnalogueExactLinear(0, 1), 1u);
    for (const HandCheck& c : kHandChecks) {
        select(controlWord(c.input, c.range, 5 - c.range), c.gainWord, c.offsetWord);
        EXPECT_EQ(meanOf(capture()), c.mean) << "range " << c.range << ", input " << c.input << ", gain word "
                                             << c.gainWord << ", offset word " << c.offsetWord;
    }

    // With the card's noise the mean stays within a count of the noise-free one.
    ASSERT_EQ(XAVO_SIM_SetAnalogueExactLinear(0, 0), 1u);
    select(controlWord(kCalibrationInput, 1, 4), 1963, 2059);
    EXPECT_NEAR(meanOf(capture()), -1853, 1);
}

TEST_F(AnalogueCapture, TcgScalesTheSignalFromTheTablePointOfEachSample)
{
    // Range 5's calibration voltage with the offset word at range 5's zero: the signal alone.
    ASSERT_EQ(XAVO_SIM_SetAnalogueExactLinear(0, 1), 1u);
    select(controlWord(kCalibrationInput, 5, 0), 2048, 2208);
    double level = 0.0;
    ASSERT_EQ(XAVO_SIM_GetAnalogueLevel(0, &level), 1u);

    // Points 0-99 neutral (255), 100-499 at 236 (-5.96 dB), two samples a point.
    constexpr std::uint32_t kLowered = 236;
    write(kTcgControl, kTcgLoad);
    for (std::uint32_t p = 0; p < 500; ++p) {
        write(kTcgPort, p < 100 ? 255 : kLowered);
    }
    write(kTcgControl, kTcgEnable | (2 - 1) << 4);
    const std::vector<std::int16_t> codes = capture();
    const double lowered = std::pow(10.0, (static_cast<double>(kLowered) - 255.0) * 80.0 / 255.0 / 20.0);
    EXPECT_EQ(codes[0], std::lround(level));
    EXPECT_EQ(codes[199], std::lround(level));
    EXPECT_EQ(codes[200], std::lround(level * lowered));
    EXPECT_EQ(codes[999], std::lround(level * lowered));

    // Switched off, the table no longer applies.
    write(kTcgControl, 0);
    EXPECT_EQ(capture()[999], std::lround(level));
}

TEST_F(AnalogueCapture, RampStaysExactWhateverTheFrontEndHolds)
{
    select(controlWord(kCalibrationInput, 0, 5), 0, 4095);
    write(kTcgControl, kTcgLoad);
    write(kTcgPort, 0);
    write(kTcgControl, kTcgEnable);
    ASSERT_EQ(XAVO_SIM_SetDataSource(0, XAVO_SIM_DATA_RAMP, 0), 1u);
    const std::vector<std::int16_t> codes = capture();
    for (std::uint32_t j = 0; j < kSamples; ++j) {
        ASSERT_EQ(codes[j], static_cast<std::int32_t>(j % 4096) - 2048) << "sample " << j;
    }
}

} // namespace
} // namespace services_test
