#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "XAVODataCollectionControl.h"
#include "XAVOErrorControl.h"
#include "XAVOSimControl.h"
#include "frame/board_table.h"
#include "frontend/calibration.h"
#include "library_fixture.h"
#include "platform/platform.h"
#include "sim_access.h"

namespace kz::test {
namespace {

using Errors = std::vector<std::uint32_t>;

// The card's analogue model: the offset word that zeroes each range, and the gain word that
// brings each range's calibration voltage to its target.
constexpr double kZeroWord[6] = {2011, 2060, 2133, 1908, 2071, 2208};
constexpr double kTrueGainWord[6] = {2182.7, 1956.4, 2270.8, 1874.9, 2104.5, 1756.6};

constexpr std::uint32_t kOffsetWordOfRange0 = 2;
constexpr std::uint32_t kGainWordOfRange0 = 8;
constexpr std::uint32_t kBufferBytes = (1000 + 2) * 2;

std::vector<std::string> infoLines()
{
    std::vector<std::string> lines;
    for (std::uint32_t i = 0; i < XAVO_ERR_ReturnNumberOfInfoLines(); ++i) {
        char text[512] = {};
        std::uint32_t level = 0;
        if (XAVO_ERR_GetInfoLine(i, &level, text, sizeof text) != 0) {
            lines.emplace_back(text);
        }
    }
    return lines;
}

bool logged(const std::string& line)
{
    for (const std::string& l : infoLines()) {
        if (l == line) {
            return true;
        }
    }
    return false;
}

std::uint32_t chopLines()
{
    std::uint32_t count = 0;
    for (const std::string& l : infoLines()) {
        count += l.find("binary chop") != std::string::npos ? 1 : 0;
    }
    return count;
}

std::uint32_t forcedAScans()
{
    std::uint32_t count = 0;
    EXPECT_EQ(XAVO_SIM_GetStrobeCount(0, XAVO_SIM_STROBE_FORCED_ASCAN, &count), 1u);
    return count;
}

struct EepromWrites {
    std::uint32_t count = 0;
    std::uint32_t last = 0;
};
EepromWrites eepromWrites(std::uint32_t word)
{
    EepromWrites w;
    EXPECT_EQ(XAVO_SIM_GetEepromWriteLog(0, word, &w.count, &w.last), 1u);
    return w;
}

std::uint32_t commits()
{
    std::uint32_t completed = 0;
    EXPECT_EQ(XAVO_SIM_GetEepromCommitCounts(0, nullptr, &completed), 1u);
    return completed;
}

// The settings the range calibration changes, read back from the card.
struct Settings {
    std::uint32_t aToDRange, input, range, trigger, samples, storage, steps, step;
    bool operator==(const Settings&) const = default;
};

Settings settings()
{
    Settings s{};
    EXPECT_EQ(KZ_GetAToDInputVoltageRange(0, &s.aToDRange), 1u);
    EXPECT_EQ(KZ_GetAnalogueInput(0, &s.input), 1u);
    EXPECT_EQ(KZ_GetAnalogueInputRange(0, &s.range), 1u);
    EXPECT_EQ(KZ_GetTriggerSelect(0, &s.trigger), 1u);
    EXPECT_EQ(KZ_GetNumberOfSamples(0, &s.samples), 1u);
    EXPECT_EQ(KZ_GetScanStorageOptions(0, &s.storage), 1u);
    EXPECT_EQ(KZ_GetStepsInSequence(0, &s.steps), 1u);
    EXPECT_EQ(KZ_GetSequenceStep(0, &s.step), 1u);
    return s;
}

class Calibration : public InitialisedCardFixture {
protected:
    void SetUp() override
    {
        InitialisedCardFixture::SetUp();
        // Settings of the host's that the calibration must hand back.
        ASSERT_EQ(KZ_SetNumberOfSamples(0, 512), 1u);
        ASSERT_EQ(KZ_SetAToDInputVoltageRange(0, 0), 1u);
        ASSERT_EQ(KZ_SetTriggerSelect(0, 0), 1u);
        ASSERT_EQ(KZ_SetScanStorageOptions(0, 2), 1u);
        XAVO_ERR_ClearInfoLog();
        XAVO_SIM_ClearEepromLog(0);
        clearErrors();
    }

    BoardState& board() { return pBoardStates[0]; }

    void setWords(std::uint32_t range, std::int16_t offset, std::int16_t gain)
    {
        board().calibrationOffsetWord[range] = offset;
        board().calibrationGainWord[range] = gain;
    }

    void exactLinear(double zeroWordOfRange1 = kZeroWord[1])
    {
        XAVO_SIM_AnaloguePersonality p{};
        ASSERT_EQ(XAVO_SIM_GetAnaloguePersonality(0, &p), 1u);
        p.zeroWord[1] = zeroWordOfRange1;
        ASSERT_EQ(XAVO_SIM_SetAnaloguePersonality(0, &p), 1u);
        ASSERT_EQ(XAVO_SIM_SetAnalogueExactLinear(0, 1), 1u);
    }
};

TEST_F(Calibration, FollowsTheModelsHandCheckFromTheDefaultWordsAndRestoresTheCard)
{
    exactLinear();
    setWords(1, 0x800, 0x800);
    const Settings before = settings();
    XAVO_SIM_SetCallLogEnabled(1);
    const std::uint32_t scans = forcedAScans();

    ASSERT_EQ(calibrateRange(0, 1), 1u);
    EXPECT_EQ(board().calibrationOffsetWord[1], 2060);
    EXPECT_EQ(board().calibrationGainWord[1], 1964);
    EXPECT_EQ(forcedAScans() - scans, 4u);
    EXPECT_EQ(settings(), before);
    EXPECT_EQ(reportedErrors(), Errors{});
    EXPECT_EQ(chopLines(), 0u);

    // Every copy brings the header and the 1000 samples, no more.
    std::uint32_t copies = 0;
    for (std::uint32_t i = 0; i < XAVO_SIM_ReturnCallLogLength(); ++i) {
        XAVO_SIM_CallRecord r{};
        ASSERT_EQ(XAVO_SIM_GetCallLogEntry(i, &r), 1u);
        if (r.operation == XAVO_SIM_OP_DMA_TRANSFER) {
            EXPECT_EQ(r.length, 2004u);
            ++copies;
        }
    }
    EXPECT_EQ(copies, 4u);
}

TEST_F(Calibration, FromTheEepromWordsOneMeasurementEachAndNothingWrittenBack)
{
    exactLinear();
    setWords(1, 2060, 1956);
    const std::uint32_t scans = forcedAScans();
    ASSERT_EQ(calibrateRange(0, 1), 1u);
    EXPECT_EQ(board().calibrationOffsetWord[1], 2059);
    EXPECT_EQ(board().calibrationGainWord[1], 1955);
    EXPECT_EQ(forcedAScans() - scans, 2u);
    EXPECT_EQ(eepromWrites(kOffsetWordOfRange0 + 1).count, 0u);
    EXPECT_EQ(eepromWrites(kGainWordOfRange0 + 1).count, 0u);
    EXPECT_EQ(commits(), 0u);
}

// Every range converges on the noisy model without the binary chop, from the words of the
// EEPROM, the middle of the converter, and either end of it.
struct Start {
    const char* name;
    bool fromEeprom; // else from these words
    std::int16_t offset;
    std::int16_t gain;
};

class CalibrationConverges : public Calibration, public ::testing::WithParamInterface<Start> {};

TEST_P(CalibrationConverges, OnEveryRangeWithinTheIterationLimit)
{
    const Start& start = GetParam();
    ASSERT_EQ(KZ_GetEEPROMvalues(0), 1u);
    for (std::uint32_t range = 0; range < KZ_NUMBER_OF_ANALOGUE_RANGES; ++range) {
        SCOPED_TRACE("range " + std::to_string(range));
        if (!start.fromEeprom) {
            setWords(range, start.offset, start.gain);
        }
        const std::uint32_t scans = forcedAScans();
        ASSERT_EQ(calibrateRange(0, range), 1u);
        EXPECT_LE(forcedAScans() - scans, 12u); // at most 6 per pass
        EXPECT_NEAR(board().calibrationOffsetWord[range], kZeroWord[range], 3.0);
        EXPECT_NEAR(board().calibrationGainWord[range], kTrueGainWord[range], 20.0);
        EXPECT_EQ(board().isRangeCalibrated[range], 1u);
    }
    EXPECT_EQ(chopLines(), 0u);
    EXPECT_EQ(reportedErrors(), Errors{});
}

INSTANTIATE_TEST_SUITE_P(Starts, CalibrationConverges,
                         ::testing::Values(Start{"Eeprom", true, 0, 0}, Start{"Middle", false, 0x800, 0x800},
                                           Start{"Zero", false, 0, 0}, Start{"Top", false, 4095, 4095},
                                           Start{"OutsideTheConverter", false, -300, 5000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Calibration, AStartOnTheZeroWordStoresTheWordBelowIt)
{
    exactLinear(2000);
    setWords(1, 2000, 0x800);
    // What the range calibration prepares: room for the samples, forced scans, no gate area.
    ASSERT_EQ(KZ_SetNumberOfSamples(0, 1000), 1u);
    ASSERT_EQ(KZ_SetTriggerSelect(0, 1), 1u);
    ASSERT_EQ(KZ_SetScanStorageOptions(0, 0), 1u);
    ASSERT_EQ(KZ_SetAToDInputVoltageRange(0, 1), 1u);
    std::vector<std::int16_t> buffer(1002);
    std::uint16_t offset = 0;
    std::uint16_t gain = 0;
    const std::uint32_t scans = forcedAScans();
    KZ_Lock(0);
    EXPECT_EQ(KZ_CalibrateInput(0, 1, 1000, buffer.data(), &offset, &gain), 1u);
    KZ_Unlock(0);
    EXPECT_EQ(offset, 1999u);
    EXPECT_EQ(board().calibrationOffsetWord[1], 1999);
    EXPECT_EQ(static_cast<std::int16_t>(gain), board().calibrationGainWord[1]);
    EXPECT_GE(forcedAScans() - scans, 2u); // the offset pass took one; the gain pass at least one
}

// The binary chop runs only when the secant iteration cannot settle, and logs its one line.
struct ChopCase {
    const char* name;
    double zeroWord;
    double offsetSlope; // 0: the mean is stuck
    std::int16_t storedOffset;
    std::vector<std::string> lines;
};

class BinaryChop : public Calibration, public ::testing::WithParamInterface<ChopCase> {};

TEST_P(BinaryChop, FindsTheWordAndLogsTheExactLine)
{
    const ChopCase& c = GetParam();
    exactLinear(c.zeroWord);
    if (c.offsetSlope == 0.0) {
        ASSERT_EQ(XAVO_SIM_SetAnalogueStuckMean(0, 1, 100), 1u);
    } else {
        ASSERT_EQ(XAVO_SIM_SetAnalogueSlopeOverride(0, XAVO_SIM_SLOPE_OFFSET, 1, c.offsetSlope), 1u);
    }
    setWords(1, 0x800, 0x800);
    ASSERT_EQ(calibrateRange(0, 1), 1u);
    EXPECT_EQ(board().calibrationOffsetWord[1], c.storedOffset);
    std::vector<std::string> chop;
    for (const std::string& l : infoLines()) {
        if (l.find("binary chop") != std::string::npos) {
            chop.push_back(l);
        }
    }
    EXPECT_EQ(chop, c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BinaryChop,
    ::testing::Values(
        ChopCase{"EvenZeroWordFoundExactly", 2060, 100, 2060,
                 {"Range 1 Zero  Calibrate done via binary chop.  Val 2060.0000. Mean 00000. Target 00000. Chop 2."}},
        ChopCase{"OddZeroWordEndsAfterTheStepOfOne", 2061, 100, 2061,
                 {"Range 1 Zero  Calibrate done via binary chop.  Val 2061.0000. Mean 00100. Target 00000. Chop 0."}},
        ChopCase{"StuckMean", 2060, 0, 1,
                 {"Range 1 Zero  Calibrate done via binary chop.  Val 1.0000. Mean 00100. Target 00000. Chop 0.",
                  "Range 1 Gain  Calibrate done via binary chop.  Val 1.0000. Mean 00100. Target -1853. Chop 0."}}),
    [](const auto& info) { return std::string(info.param.name); });

// A calibrated word is written back when it moved more than 20 from the EEPROM's.
struct DriftCase {
    const char* name;
    std::int16_t eepromOffset;
    bool written;
};

class EepromDrift : public Calibration, public ::testing::WithParamInterface<DriftCase> {};

TEST_P(EepromDrift, WritesTheWordOnlyBeyondTheTolerance)
{
    const DriftCase& c = GetParam();
    exactLinear();
    ASSERT_EQ(XAVO_SIM_SetEepromWord(0, kOffsetWordOfRange0 + 1, static_cast<std::uint32_t>(c.eepromOffset)), 1u);
    setWords(1, c.eepromOffset, 1956);
    ASSERT_EQ(calibrateRange(0, 1), 1u);
    EXPECT_EQ(board().calibrationOffsetWord[1], 2058); // the zero word less 2
    const EepromWrites w = eepromWrites(kOffsetWordOfRange0 + 1);
    EXPECT_EQ(w.count, c.written ? 1u : 0u);
    if (c.written) {
        EXPECT_EQ(w.last, 2058u);
    }
    EXPECT_EQ(commits(), c.written ? 1u : 0u);
    EXPECT_EQ(logged("Writing new calibration values to EEPROM"), c.written);
    EXPECT_EQ(eepromWrites(kGainWordOfRange0 + 1).count, 0u);
}

INSTANTIATE_TEST_SUITE_P(Tolerance, EepromDrift,
                         ::testing::Values(DriftCase{"TwentyOff", 2060 + 18, false},
                                           DriftCase{"TwentyOneOff", 2060 + 19, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Calibration, RangeFiveIsMarkedCalibratedButNeverStoredInTheEeprom)
{
    ASSERT_EQ(calibrateRange(0, 5), 1u);
    EXPECT_EQ(board().isRangeCalibrated[5], 1u);
    EXPECT_EQ(eepromWrites(kOffsetWordOfRange0 + 5).count, 0u);
    EXPECT_EQ(eepromWrites(kGainWordOfRange0 + 5).count, 0u);
    EXPECT_EQ(eepromWrites(16).last, 0x3Fu); // the mask names it
}

TEST_F(Calibration, ARefusedRangeOrSampleCountTouchesNeitherTablesNorCard)
{
    XAVO_SIM_ClearCallLog();
    std::vector<std::int16_t> buffer(70000);
    std::uint16_t offset = 7;
    std::uint16_t gain = 7;
    const BoardState saved = board();
    struct Refusal {
        std::uint32_t range, n;
        std::int16_t* buffer;
        std::uint16_t* offset;
        std::uint16_t* gain;
        Errors errors;
    };
    const Refusal refusals[] = {
        {6, 1000, buffer.data(), &offset, &gain, {0x2E00}},
        {7, 1000, buffer.data(), &offset, &gain, {0x2E00}},
        {1, 0, buffer.data(), &offset, &gain, {0x1A00}},
        {1, 65533, buffer.data(), &offset, &gain, {0x1A00}},
        {1, 1000, nullptr, &offset, &gain, {}},
        {1, 1000, buffer.data(), nullptr, &gain, {}},
        {1, 1000, buffer.data(), &offset, nullptr, {}},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE("range " + std::to_string(r.range) + " n " + std::to_string(r.n));
        clearErrors();
        EXPECT_EQ(KZ_CalibrateInput(0, r.range, r.n, r.buffer, r.offset, r.gain), 0u);
        EXPECT_EQ(reportedErrors(), r.errors);
    }
    clearErrors();
    EXPECT_EQ(calibrateRange(0, 7), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x2E00});
    EXPECT_EQ(cardWrites(), 0u);
    EXPECT_EQ(offset, 7u);
    EXPECT_EQ(gain, 7u);
    EXPECT_EQ(std::memcmp(board().calibrationOffsetWord, saved.calibrationOffsetWord, sizeof saved.calibrationOffsetWord), 0);
    EXPECT_EQ(std::memcmp(board().calibrationGainWord, saved.calibrationGainWord, sizeof saved.calibrationGainWord), 0);
}

bool failTheMeasurementBuffer(std::size_t bytes) { return bytes == kBufferBytes; }

TEST_F(Calibration, ABufferThatCannotBeAllocatedStillRestoresTheCard)
{
    const Settings before = settings();
    platform::setAllocationFailurePredicate(failTheMeasurementBuffer);
    EXPECT_EQ(calibrateRange(0, 2), 0u);
    platform::setAllocationFailurePredicate(nullptr);
    EXPECT_EQ(reportedErrors(), Errors{0x202});
    EXPECT_EQ(KZ_GetCodeString(0x202), std::string("Unknown"));
    EXPECT_EQ(settings(), before);
    EXPECT_EQ(board().isRangeCalibrated[2], 0u);
}

TEST_F(Calibration, AFailedMeasurementEndsThePassAndLeavesWordsFlagAndEeprom)
{
    std::vector<std::pair<std::uint32_t, std::uint32_t>> reports;
    static std::vector<std::pair<std::uint32_t, std::uint32_t>>* sink = nullptr;
    sink = &reports;
    KZ_SetInitialisationStatusCallback([](std::uint32_t stage, std::uint32_t status) -> std::uint32_t {
        sink->emplace_back(stage, status);
        return 0;
    });
    const Settings before = settings();
    setWords(2, 1900, 2000);
    DC_SIM_FailCalls(DC_SIM_CALL_COPY, 0, 0);
    EXPECT_EQ(calibrateRange(0, 2), 0u);
    KZ_SetInitialisationStatusCallback(nullptr);
    EXPECT_EQ(reports, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{6, 0}, {6, 2}}));
    EXPECT_EQ(board().calibrationOffsetWord[2], 1900);
    EXPECT_EQ(board().calibrationGainWord[2], 2000);
    EXPECT_EQ(board().isRangeCalibrated[2], 0u);
    EXPECT_EQ(settings(), before);
    EXPECT_EQ(eepromWrites(16).count, 0u);
}

} // namespace
} // namespace kz::test
