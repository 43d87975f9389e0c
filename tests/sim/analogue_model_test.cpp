// The simulated card's analogue front end, driven through its registers as the card library
// drives it: the analogue control word (peripheral 0x00) and the gain and offset D-to-A words
// (peripheral 0x0C, destinations 2 and 3).
#include <cmath>
#include <numeric>
#include <vector>

#include "sim_fixture.h"

namespace simtest {
namespace {

constexpr std::uint32_t kAnalogueControl = perReg(0x00);
constexpr std::uint32_t kDac = perReg(0x0C);
constexpr std::uint32_t kFullScaleOneVolt = 1u << 14;

constexpr std::uint32_t kZeroInput = 3;
constexpr std::uint32_t kCalibrationInput = 2;

// The control word of `input` (0-3) on `range` with calibration voltage `code`.
constexpr std::uint32_t controlWord(std::uint32_t input, std::uint32_t range, std::uint32_t code = 0) {
    return (1u << (2 + input)) | (1u << (6 + range)) | (code << 20) | kFullScaleOneVolt;
}

class SimAnalogue : public SimFixture {
protected:
    void SetUp() override {
        SimFixture::SetUp();
        openCard();
    }

    static void select(std::uint32_t word, std::uint32_t gainWord, std::uint32_t offsetWord) {
        write(kAnalogueControl, word);
        write(kDac, 0x2000 | gainWord);
        write(kDac, 0x3000 | offsetWord);
    }

    static double level() {
        double value = NAN;
        EXPECT_EQ(1u, XAVO_SIM_GetAnalogueLevel(0, &value));
        return value;
    }

    static std::vector<std::int32_t> samples(std::uint32_t n) {
        std::vector<std::int32_t> codes(n);
        EXPECT_EQ(1u, XAVO_SIM_DrawAnalogueSamples(0, n, codes.data()));
        return codes;
    }

    static double meanOf(const std::vector<std::int32_t>& codes) {
        return std::accumulate(codes.begin(), codes.end(), 0.0) / static_cast<double>(codes.size());
    }
};

// The calibration's view, noise off: the mean of a capture of input 3 (offset pass) or of
// input 2 with the range's calibration voltage (gain pass) for given D-to-A words.
struct HandCheck {
    const char* what;
    std::uint32_t range, input, gainWord, offsetWord;
    std::int32_t mean;
};

constexpr HandCheck kHandChecks[] = {
    // Range 1 from the defaults 0x800.
    {"range 1 offset, measurement 1", 1, kZeroInput, 2048, 2048, -12},
    {"range 1 offset, measurement 2", 1, kZeroInput, 2048, 2059, -1},
    {"range 1 gain, measurement 1", 1, kCalibrationInput, 2048, 2059, -1839},
    {"range 1 gain, measurement 2", 1, kCalibrationInput, 1963, 2059, -1853},
    // Range 1 from the EEPROM words.
    {"range 1 offset from the EEPROM", 1, kZeroInput, 1956, 2060, 0},
    {"range 1 gain from the EEPROM", 1, kCalibrationInput, 1956, 2060, -1853},
    // Range 2's gain pass from 0x800, with the offset one below its zero word.
    {"range 2 gain, measurement 1", 2, kCalibrationInput, 2048, 2132, -1696},
    {"range 2 gain, measurement 2", 2, kCalibrationInput, 2251, 2132, -1666},
    {"range 2 gain, measurement 3", 2, kCalibrationInput, 2278, 2132, -1662},
};

TEST_F(SimAnalogue, MeansFollowTheOffsetAndGainWordsAsTheCalibrationExpects) {
    ASSERT_EQ(1u, XAVO_SIM_SetAnalogueExactLinear(0, 1));
    for (const HandCheck& c : kHandChecks) {
        SCOPED_TRACE(c.what);
        select(controlWord(c.input, c.range, 5 - c.range), c.gainWord, c.offsetWord);
        EXPECT_EQ(c.mean, std::lround(level()));
        for (const std::int32_t code : samples(16)) EXPECT_EQ(c.mean, code);
    }
}

TEST_F(SimAnalogue, EveryRangeAtMidScaleGainShowsItsGainTargetScaledByTheCardsError) {
    constexpr double kZero[] = {2011, 2060, 2133, 1908, 2071, 2208};
    constexpr double kTarget[] = {-1896, -1853, -1662, -1848, -1945, -1678};
    constexpr double kError[] = {0.012, -0.008, 0.020, -0.015, 0.005, -0.025};
    constexpr std::int32_t kMean[] = {-1919, -1838, -1695, -1820, -1955, -1636};
    for (std::uint32_t r = 0; r < 6; ++r) {
        SCOPED_TRACE(r);
        select(controlWord(kCalibrationInput, r, 5 - r), 0x800, static_cast<std::uint32_t>(kZero[r]));
        EXPECT_NEAR(kTarget[r] * (1 + kError[r]), level(), 1e-6);
        EXPECT_EQ(kMean[r], std::lround(level()));
        // The offset term alone: one count per offset word, whatever the gain word.
        select(controlWord(kZeroInput, r), 0x123, static_cast<std::uint32_t>(kZero[r]) + 7);
        EXPECT_DOUBLE_EQ(7.0, level());
    }
}

TEST_F(SimAnalogue, InputsRangesAndFullScaleAreDecodedFromTheControlWord) {
    ASSERT_EQ(1u, XAVO_SIM_SetAuxInputVoltage(0, 4, 0.1));
    ASSERT_EQ(1u, XAVO_SIM_SetAuxInputVoltage(0, 5, -0.2));
    constexpr std::uint32_t kRange5 = 1u << 11;  // 0 dB, gain error -2.5 %
    constexpr double kRange5Counts = 0.975 * 2048;
    struct Case {
        const char* what;
        std::uint32_t word;
        double level;  // with both D-to-A words at 2048 and the offset at range 5's zero word
    } const cases[] = {
        {"aux input 4", (1u << 23) | kRange5 | kFullScaleOneVolt, 0.1 * kRange5Counts},
        {"aux input 5", (1u << 24) | kRange5 | kFullScaleOneVolt, -0.2 * kRange5Counts},
        {"both aux bits: no input", (3u << 23) | kRange5 | kFullScaleOneVolt, 0.0},
        {"half-scale converter doubles the signal", (1u << 23) | kRange5, 0.2 * kRange5Counts},
        {"transducer input 0 is silent", controlWord(0, 5), 0.0},
        {"calibration voltage codes 6 and 7 give 0 V", controlWord(kCalibrationInput, 5, 6), 0.0},
        {"a mismatched code gives its voltage, clipped", controlWord(kCalibrationInput, 0, 0), -2048.0},
        {"two range bits: no signal, the offset counts from mid-scale", (1u << 23) | (3u << 10) | kFullScaleOneVolt,
         2208.0 - 2048.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        select(c.word, 2048, 2208);
        EXPECT_NEAR(c.level, level(), 1e-9);
    }
}

TEST_F(SimAnalogue, SeededNoiseAveragesToTheLevelAndRepeatsForTheSameSeed) {
    select(controlWord(kCalibrationInput, 1, 4), 1963, 2059);
    const std::vector<std::int32_t> first = samples(20000);
    const double mean = meanOf(first);
    double squares = 0;
    for (const std::int32_t code : first) squares += (code - mean) * (code - mean);
    EXPECT_NEAR(level(), mean, 0.05);
    // Rounding adds a twelfth of a count squared to the noise's variance.
    EXPECT_NEAR(std::sqrt(1.0 + 1.0 / 12), std::sqrt(squares / static_cast<double>(first.size())), 0.03);

    XAVO_SIM_AnaloguePersonality p{};
    ASSERT_EQ(1u, XAVO_SIM_GetAnaloguePersonality(0, &p));
    ASSERT_EQ(1u, XAVO_SIM_SetAnaloguePersonality(0, &p));
    EXPECT_EQ(first, samples(20000)) << "the same seed gives the same noise";
    p.seed = 99;
    ASSERT_EQ(1u, XAVO_SIM_SetAnaloguePersonality(0, &p));
    EXPECT_NE(first, samples(20000));
}

TEST_F(SimAnalogue, KnobsOverrideSlopesOrFreezeTheSamples) {
    ASSERT_EQ(1u, XAVO_SIM_SetAnalogueExactLinear(0, 1));
    ASSERT_EQ(1u, XAVO_SIM_SetAnalogueSlopeOverride(0, XAVO_SIM_SLOPE_OFFSET, 1, 50.0));
    select(controlWord(kZeroInput, 1), 2048, 2061);
    EXPECT_DOUBLE_EQ(50.0, level()) << "50 counts per word past the zero word 2060";

    ASSERT_EQ(1u, XAVO_SIM_SetAnalogueSlopeOverride(0, XAVO_SIM_SLOPE_GAIN, 1, 10.0));
    select(controlWord(kCalibrationInput, 1, 4), 2048 + 3, 2060);
    EXPECT_NEAR(-1853 * 0.992 + 30.0, level(), 1e-9) << "towards zero by 10 counts per gain word";
    select(controlWord(kCalibrationInput, 1, 4), 2048 - 3, 2060);
    EXPECT_NEAR(-1853 * 0.992 - 30.0, level(), 1e-9);

    ASSERT_EQ(1u, XAVO_SIM_SetAnalogueSlopeOverride(0, XAVO_SIM_SLOPE_OFFSET, 0, 0.0));
    ASSERT_EQ(1u, XAVO_SIM_SetAnalogueSlopeOverride(0, XAVO_SIM_SLOPE_GAIN, 0, 0.0));
    select(controlWord(kZeroInput, 1), 2048, 2061);
    EXPECT_DOUBLE_EQ(1.0, level()) << "back to the personality's slope";

    ASSERT_EQ(1u, XAVO_SIM_SetAnalogueExactLinear(0, 0));
    ASSERT_EQ(1u, XAVO_SIM_SetAnalogueStuckMean(0, 1, -777));
    for (const std::uint32_t offsetWord : {0u, 4095u}) {
        select(controlWord(kZeroInput, 1), 2048, offsetWord);
        EXPECT_DOUBLE_EQ(-777.0, level());
        for (const std::int32_t code : samples(8)) EXPECT_EQ(-777, code);
    }
}

TEST_F(SimAnalogue, RefusesKnobValuesOutsideTheModel) {
    XAVO_SIM_AnaloguePersonality p{};
    ASSERT_EQ(1u, XAVO_SIM_GetAnaloguePersonality(0, &p));
    XAVO_SIM_AnaloguePersonality bad = p;
    bad.noiseSigma = -1.0;
    EXPECT_EQ(0u, XAVO_SIM_SetAnaloguePersonality(0, &bad));
    bad = p;
    bad.zeroWord[3] = NAN;
    EXPECT_EQ(0u, XAVO_SIM_SetAnaloguePersonality(0, &bad));
    EXPECT_EQ(0u, XAVO_SIM_SetAnaloguePersonality(0, nullptr));
    EXPECT_EQ(0u, XAVO_SIM_SetAnaloguePersonality(1, &p)) << "no card 1";
    EXPECT_EQ(0u, XAVO_SIM_SetAnalogueStuckMean(0, 1, 2048));
    EXPECT_EQ(0u, XAVO_SIM_SetAnalogueSlopeOverride(0, 2, 1, 1.0));
    EXPECT_EQ(0u, XAVO_SIM_SetAuxInputVoltage(0, 3, 0.1));
    EXPECT_EQ(0u, XAVO_SIM_SetAuxInputVoltage(0, 4, INFINITY));
    EXPECT_EQ(0u, XAVO_SIM_DrawAnalogueSamples(0, 1, nullptr));

    XAVO_SIM_AnaloguePersonality unchanged{};
    ASSERT_EQ(1u, XAVO_SIM_GetAnaloguePersonality(0, &unchanged));
    EXPECT_EQ(p.noiseSigma, unchanged.noiseSigma);
    EXPECT_EQ(p.zeroWord[3], unchanged.zeroWord[3]);
}

TEST_F(SimAnalogue, PersonalityIsPerCardAndOutlivesReleasesAndPowerCycles) {
    ASSERT_EQ(1u, XAVO_SIM_ConfigureCards(2, kPrimary));
    openCard(0);
    openCard(1);
    XAVO_SIM_AnaloguePersonality p{};
    ASSERT_EQ(1u, XAVO_SIM_GetAnaloguePersonality(1, &p));
    p.zeroWord[1] = 2000;
    ASSERT_EQ(1u, XAVO_SIM_SetAnaloguePersonality(1, &p));
    ASSERT_EQ(1u, XAVO_SIM_SetAnalogueExactLinear(0, 1));
    ASSERT_EQ(1u, XAVO_SIM_SetAnalogueExactLinear(1, 1));
    for (std::uint32_t card : {0u, 1u}) {
        write(kAnalogueControl, controlWord(kZeroInput, 1), card);
        write(kDac, 0x3000 | 2048, card);
    }
    double levels[2] = {};
    ASSERT_EQ(1u, XAVO_SIM_GetAnalogueLevel(0, &levels[0]));
    ASSERT_EQ(1u, XAVO_SIM_GetAnalogueLevel(1, &levels[1]));
    EXPECT_DOUBLE_EQ(-12.0, levels[0]);
    EXPECT_DOUBLE_EQ(48.0, levels[1]);

    // A release clears the control word (no range: offset from mid-scale) but keeps the
    // D-to-A words; a power cycle sets them back to 0x800. The personality stays.
    release();
    EXPECT_DOUBLE_EQ(0.0, level());
    write(kAnalogueControl, controlWord(kZeroInput, 1));
    EXPECT_DOUBLE_EQ(-12.0, level());
    ASSERT_EQ(1u, XAVO_SIM_PowerCycle(1));
    write(kAnalogueControl, controlWord(kZeroInput, 1), 1);
    ASSERT_EQ(1u, XAVO_SIM_GetAnalogueLevel(1, &levels[1]));
    EXPECT_DOUBLE_EQ(48.0, levels[1]);
}

}  // namespace
}  // namespace simtest
