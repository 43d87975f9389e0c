#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "XAVODataCollectionControl.h"
#include "XAVOErrorControl.h"
#include "XAVORawScanControl.h"
#include "XAVOSimControl.h"
#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "library_fixture.h"
#include "sim_access.h"

namespace kz::test {
namespace {

using Stage = std::pair<std::uint32_t, std::uint32_t>;
using Stages = std::vector<Stage>;
using Errors = std::vector<std::uint32_t>;

Stages stages;
std::uint32_t recordStage(std::uint32_t stage, std::uint32_t status)
{
    stages.emplace_back(stage, status);
    return 0;
}

const Stages kUpToTheClock = {{0, 1}, {1, 0}, {1, 1}, {3, 0}, {3, 1}, {2, 0}, {2, 1}, {4, 0}, {4, 1}, {5, 0}};
const Stages kOneRangeCalibrated = {{6, 0}, {6, 1}, {7, 0}, {7, 1}};

Stages concat(std::initializer_list<Stages> parts)
{
    Stages all;
    for (const Stages& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

constexpr std::uint32_t kSampleWordsRegister = 0x58;
constexpr std::uint32_t kSamplingStepRegister = 0x74;
constexpr std::uint32_t kPeripheralStepRegister = 0x5C;
constexpr std::uint32_t kPingPongRegister = 0x18;
constexpr std::uint32_t kGainDac = 2;
constexpr std::uint32_t kOffsetDac = 3;

std::uint32_t dacWord(std::uint32_t destination)
{
    std::uint32_t word = 0;
    EXPECT_EQ(XAVO_SIM_GetDacWord(0, destination, &word), 1u);
    return word;
}

std::uint32_t readOut(std::uint32_t (*getter)(std::uint32_t, std::uint32_t*))
{
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(getter(0, &value), 1u);
    return value;
}

class Initialisation : public LibraryFixture {
public:
    void configure(const std::string& contents) { writeConfiguration(contents); }

protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        stages.clear();
        KZ_SetInitialisationStatusCallback(recordStage);
    }
    void TearDown() override
    {
        KZ_SetInitialisationStatusCallback(nullptr);
        LibraryFixture::TearDown();
    }

    BoardState& board() { return pBoardStates[0]; }

    // The card is shut down as KZ_Uninitialise leaves it, and the record lets it go.
    void expectShutDown()
    {
        EXPECT_EQ(board().isInitialised, 0u);
        EXPECT_EQ(board().isPCIInitialised, 0u);
        EXPECT_EQ(XAVO_SIM_IsCardOpen(0), 0u);
        EXPECT_FALSE(lockExists(0));
        EXPECT_EQ(board().updateSampleParametersHooks, nullptr);
        EXPECT_EQ(board().tcgValues, nullptr);
        EXPECT_EQ(board().pingPongElements, nullptr);
        for (std::uint32_t calibrated : board().isRangeCalibrated) {
            EXPECT_EQ(calibrated, 0u);
        }
    }

    // After a failure, with the cause gone, the card comes up again.
    void expectInitialisesAgain()
    {
        clearErrors();
        EXPECT_EQ(KZ_Initialise(0), 1u);
        EXPECT_EQ(reportedErrors(), Errors{});
    }
};

TEST_F(Initialisation, BuiltInConfigurationReportsEveryStageInOrder)
{
    ASSERT_EQ(KZ_Initialise(0), 1u);
    EXPECT_EQ(stages, concat({kUpToTheClock, {{5, 1}}, kOneRangeCalibrated, {{8, 1}}}));
    EXPECT_EQ(reportedErrors(), Errors{});
    EXPECT_EQ(board().lockDepth, 0u);
}

TEST_F(Initialisation, WithoutACallbackNothingIsReportedAndTheCardComesUpAlike)
{
    KZ_SetInitialisationStatusCallback(nullptr);
    ASSERT_EQ(KZ_Initialise(0), 1u);
    EXPECT_TRUE(stages.empty());
    EXPECT_EQ(board().currentRange, 1u);
}

TEST_F(Initialisation, OutOfRangeCardIndexReturnsZeroWithoutAReport)
{
    EXPECT_EQ(KZ_Initialise(1), 0u);
    EXPECT_EQ(KZ_InitialiseProtected(0xFFFFFFFF, 1, 1), 0u);
    EXPECT_TRUE(stages.empty());
    EXPECT_EQ(reportedErrors(), Errors{});
}

// What each generation's initialisation leaves on the card, and the step that per-step settings
// made afterwards reach.
struct Generation {
    const char* name;
    std::uint32_t (*initialise)(std::uint32_t);
    std::uint32_t sequenced;
    std::uint32_t range;
    std::uint32_t aScanBytesFor1000Samples;
};

class InitialisedSettings : public Initialisation, public ::testing::WithParamInterface<Generation> {};

TEST_P(InitialisedSettings, EverySettingOfTheSequenceIsInPlace)
{
    const Generation& g = GetParam();
    ASSERT_EQ(g.initialise(0), 1u);

    EXPECT_EQ(board().isSequenceCompatibleFirmware, g.sequenced);
    EXPECT_EQ(readOut(KZ_GetSamplingFrequency), 66'000'000u);
    EXPECT_EQ(readOut(KZ_GetTriggerSelect), 1u);
    ASSERT_EQ(board().tcgValueCount, 1u);
    EXPECT_EQ(board().tcgValues[0], 255u);
    for (std::uint32_t position = 0; position < KZ_PINGPONG_SEQUENCE_LENGTH; ++position) {
        std::uint32_t element = 0;
        ASSERT_EQ(XAVO_SIM_GetPingPongElement(0, position, &element), 1u);
        EXPECT_EQ(element, position);
    }
    if (g.sequenced != 0) {
        EXPECT_EQ(readOut(KZ_GetStepsInSequence), 1u);
        EXPECT_EQ(readOut(KZ_GetSequenceStep), 0u);
        EXPECT_EQ(peek(samplingAddress(kSamplingStepRegister)), 0u);
        EXPECT_EQ(peek(peripheralAddress(kPeripheralStepRegister)) & 0x1Fu, 0u);
    }
    EXPECT_EQ(readOut(KZ_GetRepetitionRate), 5000u);
    EXPECT_EQ(readOut(KZ_GetAnalogueInput), 1u);

    // The configured range is selected with its own calibration words; only it is calibrated.
    EXPECT_EQ(readOut(KZ_GetAnalogueInputRange), g.range);
    EXPECT_EQ(board().currentRange, g.range);
    for (std::uint32_t r = 0; r < KZ_NUMBER_OF_ANALOGUE_RANGES; ++r) {
        EXPECT_EQ(board().isRangeCalibrated[r], r == g.range ? 1u : 0u) << "range " << r;
    }
    EXPECT_EQ(dacWord(kGainDac), static_cast<std::uint32_t>(board().calibrationGainWord[g.range]));
    // The zero offset of 1 rides on the range's offset word.
    EXPECT_EQ(dacWord(kOffsetDac), static_cast<std::uint32_t>(board().calibrationOffsetWord[g.range] + 1));
    std::int32_t zeroOffset = 0;
    EXPECT_EQ(KZ_GetZeroOffset(0, &zeroOffset), 1u);
    EXPECT_EQ(zeroOffset, 1);
    EXPECT_EQ(readOut(KZ_GetSensorArrayApertureSize), 0u);

    // The samples a host sets afterwards reach the step the card runs.
    ASSERT_EQ(KZ_SetNumberOfSamples(0, 1000), 1u);
    EXPECT_EQ(KZ_ReturnAScanBytesPerBScan(0), g.aScanBytesFor1000Samples);
    std::uint32_t words = 0;
    ASSERT_EQ(XAVO_SIM_PeekStep(0, samplingAddress(kSampleWordsRegister), 0, &words), 1u);
    EXPECT_EQ(words & 0xFFFFu, 1000u / 2 + 1);
    EXPECT_EQ(reportedErrors(), Errors{});
}

INSTANTIATE_TEST_SUITE_P(Generations, InitialisedSettings,
                         ::testing::Values(Generation{"Sequenced", KZ_Initialise, 1, 1, 2028},
                                           Generation{"Older", KZ_InitialiseNonSequenced, 0, 0, 2036}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Initialisation, ACardPoweringUpWithOtherSampleWordsAgreesWithItsRecord)
{
    for (const std::uint32_t wordsPlusOne : {0x0000u, 0x0100u}) {
        SCOPED_TRACE("power-up words + 1: " + std::to_string(wordsPlusOne));
        XAVO_SIM_SetSampleWordsAtPowerUp(0, wordsPlusOne);
        ASSERT_EQ(KZ_Initialise(0), 1u);
        EXPECT_EQ(readOut(KZ_GetNumberOfSamples), board().aScanSampleValues[0]);
        for (std::uint32_t step = 0; step < KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS; ++step) {
            std::uint32_t words = 0;
            ASSERT_EQ(XAVO_SIM_PeekStep(0, samplingAddress(kSampleWordsRegister), step, &words), 1u);
            EXPECT_EQ(words & 0xFFFFu, 3u) << "step " << step;
        }
        ASSERT_EQ(KZ_Uninitialise(0), 1u);
    }
}

// The configured input range: 6 calibrates all six, 999 takes the caller's fallback, and a range
// equal to the record's default still gets its own words.
struct RangeCase {
    const char* name;
    const char* configured;
    std::uint32_t fallback;
    std::uint32_t selected;
    std::uint32_t calibratedMask;
};

class ConfiguredRange : public Initialisation, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(ConfiguredRange, IsCalibratedAndSelectedWithItsWords)
{
    const RangeCase& c = GetParam();
    writeConfiguration(std::string("[KZ]\nKZdef_AnalogueInputRange=") + c.configured + "\n");
    ASSERT_EQ(KZ_InitialiseProtected(0, c.fallback, 1), 1u);
    EXPECT_EQ(readOut(KZ_GetAnalogueInputRange), c.selected);
    EXPECT_EQ(board().currentRange, c.selected);
    EXPECT_EQ(board().analogueInputRange, c.selected);
    for (std::uint32_t r = 0; r < KZ_NUMBER_OF_ANALOGUE_RANGES; ++r) {
        EXPECT_EQ(board().isRangeCalibrated[r], (c.calibratedMask >> r) & 1u) << "range " << r;
    }
    EXPECT_EQ(dacWord(kGainDac), static_cast<std::uint32_t>(board().calibrationGainWord[c.selected]));
    EXPECT_EQ(dacWord(kOffsetDac), static_cast<std::uint32_t>(board().calibrationOffsetWord[c.selected] + 1));
    std::uint32_t passes = 0;
    for (const Stage& s : stages) {
        passes += s == Stage{7, 1} ? 1 : 0;
    }
    EXPECT_EQ(passes, static_cast<std::uint32_t>(__builtin_popcount(c.calibratedMask)));
    EXPECT_EQ(reportedErrors(), Errors{});
}

INSTANTIATE_TEST_SUITE_P(Ranges, ConfiguredRange,
                         ::testing::Values(RangeCase{"Every", "6", 1, 0, 0x3F}, RangeCase{"Fallback", "999", 4, 4, 0x10},
                                           RangeCase{"TheRecordsDefault", "3", 1, 3, 0x08},
                                           RangeCase{"Five", "5", 1, 5, 0x20}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Initialisation, ARangeAboveFiveIsRefusedAndTheCardShutDown)
{
    writeConfiguration("[KZ]\nKZdef_AnalogueInputRange=7\n");
    EXPECT_EQ(KZ_Initialise(0), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x2E00});
    EXPECT_EQ(stages.back(), (Stage{8, 2}));
    expectShutDown();
    writeConfiguration("[KZ]\n");
    expectInitialisesAgain();
}

// Each failure ends as it should and leaves a card that initialises again once the cause is gone.
struct FailureCase {
    const char* name;
    std::function<void(Initialisation&)> cause;
    std::function<void(Initialisation&)> cure;
    Errors errors;
    Stages lastStages; // the end of the reports
    bool shutDown;
};

class InitialisationFailure : public Initialisation, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(InitialisationFailure, EndsAsDescribedAndTheCardInitialisesAgain)
{
    const FailureCase& c = GetParam();
    c.cause(*this);
    EXPECT_EQ(KZ_Initialise(0), 0u);
    EXPECT_EQ(reportedErrors(), c.errors);
    // The shutdown unbinds the data collection first, even from a card it then finds unopened.
    EXPECT_EQ(DC_SIM_ReturnCallCount(DC_SIM_CALL_UNINITIALISE), c.shutDown ? 1u : 0u);
    ASSERT_GE(stages.size(), c.lastStages.size());
    EXPECT_EQ(Stages(stages.end() - static_cast<std::ptrdiff_t>(c.lastStages.size()), stages.end()), c.lastStages);
    EXPECT_EQ(board().lockDepth, 0u);
    if (c.shutDown) {
        expectShutDown();
    } else {
        // The card stays open and initialised: the host ends its use.
        EXPECT_EQ(board().isInitialised, 1u);
        EXPECT_EQ(XAVO_SIM_IsCardOpen(0), 1u);
        clearErrors();
        EXPECT_EQ(KZ_Initialise(0), 0u);
        EXPECT_EQ(reportedErrors(), Errors{0x100});
        EXPECT_EQ(KZ_Uninitialise(0), 1u);
        expectShutDown();
    }
    c.cure(*this);
    expectInitialisesAgain();
}

const Errors kClockNeverLocks(10, 0x106);

INSTANTIATE_TEST_SUITE_P(
    Failures, InitialisationFailure,
    ::testing::Values(
        FailureCase{"MissingSamplingFirmware",
                    [](Initialisation& t) { t.configure("[KZ]\nKZdef_DSPversion=0x229\n"); },
                    [](Initialisation& t) { t.configure("[KZ]\n"); }, Errors{0x700},
                    Stages{{2, 0}, {2, 2}, {8, 2}}, true},
        FailureCase{"SelfTestFails", [](Initialisation&) { XAVO_SIM_SetSelfTestMode(0, XAVO_SIM_SELFTEST_ECHO, 0); },
                    [](Initialisation&) { XAVO_SIM_SetSelfTestMode(0, XAVO_SIM_SELFTEST_COMPLEMENT, 0); }, Errors{},
                    Stages{{4, 0}, {4, 2}, {8, 2}}, true},
        FailureCase{"ClockNeverLocksAndNothingIsCaptured",
                    [](Initialisation&) { XAVO_SIM_SetClockLockReads(0, XAVO_SIM_NEVER); },
                    [](Initialisation&) { XAVO_SIM_SetClockLockReads(0, 0); }, kClockNeverLocks,
                    Stages{{5, 0}, {5, 2}, {6, 0}, {6, 2}, {8, 2}}, true},
        FailureCase{"VersionMismatch", [](Initialisation&) { XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_PERIPHERAL, 0x2020); },
                    [](Initialisation&) { XAVO_SIM_ClearVersionOverride(0, XAVO_SIM_BANK_PERIPHERAL); }, Errors{0x107},
                    Stages{{5, 1}, {8, 2}}, true},
        FailureCase{"CardCannotBeOpened",
                    [](Initialisation&) { addRule(XAVO_SIM_OP_INITIALISE_CARD, XAVO_SIM_ANY); },
                    [](Initialisation&) { XAVO_SIM_ClearFaultRules(); }, Errors{0x301},
                    Stages{{3, 0}, {3, 2}, {8, 2}}, true},
        FailureCase{"PingPongTableNotWritten",
                    [](Initialisation&) { addRule(XAVO_SIM_OP_SET_WORD, peripheralAddress(kPingPongRegister)); },
                    [](Initialisation&) { XAVO_SIM_ClearFaultRules(); }, Errors{}, Stages{{5, 1}, {8, 2}}, true},
        FailureCase{"BindingRefused", [](Initialisation&) { DC_SIM_FailCalls(DC_SIM_CALL_INITIALISE, 0, 1); },
                    [](Initialisation&) {}, Errors{}, Stages{{5, 0}, {5, 1}}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Initialisation, AClockThatNeverLocksIsReportedPerAttemptAndTheSequenceGoesOn)
{
    XAVO_SIM_SetClockLockReads(0, XAVO_SIM_NEVER);
    XAVO_SIM_SetCaptureWithoutLock(0, 1);
    ASSERT_EQ(KZ_Initialise(0), 1u);
    EXPECT_EQ(reportedErrors(), kClockNeverLocks);
    EXPECT_EQ(stages, concat({kUpToTheClock, {{5, 2}}, kOneRangeCalibrated, {{8, 1}}}));
}

TEST_F(Initialisation, AClockThatLocksInTheSecondAttemptReportsOnce)
{
    XAVO_SIM_SetClockLockReads(0, 10);
    ASSERT_EQ(KZ_Initialise(0), 1u);
    EXPECT_EQ(reportedErrors(), Errors{0x106});
    EXPECT_EQ(stages, concat({kUpToTheClock, {{5, 1}}, kOneRangeCalibrated, {{8, 1}}}));
}

TEST_F(Initialisation, OnlyTheLowEightBitsOfARevisionAreCompared)
{
    // Revision 0x128 answers for 0x228, as 0x028 does.
    XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_SAMPLING, 0x2128);
    EXPECT_EQ(KZ_Initialise(0), 1u);
    EXPECT_EQ(reportedErrors(), Errors{});
}

TEST_F(Initialisation, FirmwareTooOldReturnsWithoutReportOrShutdown)
{
    writeConfiguration("[KZ]\nKZdef_PERversion=0x220\n");
    EXPECT_EQ(KZ_Initialise(0), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x108});
    EXPECT_EQ(stages, (Stages{{0, 1}, {1, 0}, {1, 1}}));
    EXPECT_EQ(DC_SIM_ReturnCallCount(DC_SIM_CALL_UNINITIALISE), 0u);
    EXPECT_EQ(board().isInitialised, 0u);
}

TEST_F(Initialisation, ASecondInitialisationIsRefusedAndLeavesTheCardRunning)
{
    ASSERT_EQ(KZ_Initialise(0), 1u);
    clearErrors();
    EXPECT_EQ(KZ_Initialise(0), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x100});
    EXPECT_EQ(board().isInitialised, 1u);
    EXPECT_EQ(XAVO_SIM_IsCardOpen(0), 1u);
    EXPECT_EQ(board().lockDepth, 0u);
}

TEST_F(Initialisation, TheFirmwareComesFromTheLibrarysOwnFolderWhateverTheConfigurationIsCalled)
{
    // A configuration file whose name is not ten characters long, in a folder without firmware.
    const std::string path = scratchFolder() + "/a-much-longer-configuration-name.ini";
    { std::ofstream(path) << "[KZ]\n"; }
    library().configurationPath = path;
    EXPECT_EQ(KZ_Initialise(0), 1u);
    EXPECT_EQ(reportedErrors(), Errors{});
}

using Uninitialisation = Initialisation;

TEST_F(Uninitialisation, ShutsTheCardDownAndLetsItBeInitialisedAgain)
{
    ASSERT_EQ(KZ_Initialise(0), 1u);
    std::uint32_t bindings = 0;
    DC_SIM_GetBinding(nullptr, nullptr, &bindings);
    ASSERT_EQ(bindings, 1u);

    EXPECT_EQ(KZ_Uninitialise(0), 1u);
    expectShutDown();
    EXPECT_EQ(board().isDMAChannelOpen, 0u);
    EXPECT_EQ(XAVO_SIM_IsDMAChannelOpen(0), 0u);
    DC_SIM_GetBinding(nullptr, nullptr, &bindings);
    EXPECT_EQ(bindings, 0u);
    EXPECT_EQ(RawScan_SIM_ReturnNumberOfRecords(), 0u);
    expectInitialisesAgain();
}

TEST_F(Uninitialisation, OfACardNeverInitialisedReportsAnInvalidCard)
{
    EXPECT_EQ(KZ_Uninitialise(0), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x7900});
    EXPECT_EQ(KZ_Uninitialise(5), 0u);
}

TEST_F(Uninitialisation, ReturnsZeroWhenTheRawScanServiceDoesButStillShutsDown)
{
    ASSERT_EQ(KZ_Initialise(0), 1u);
    RawScan_SIM_SetUninitialiseResult(0);
    EXPECT_EQ(KZ_Uninitialise(0), 0u);
    expectShutDown();
    RawScan_SIM_SetUninitialiseResult(1);
    expectInitialisesAgain();
}

TEST_F(Uninitialisation, ACardThatCannotBeClosedStaysOpenAndInitialised)
{
    ASSERT_EQ(KZ_Initialise(0), 1u);
    const std::uint32_t rule = addRule(XAVO_SIM_OP_UNINITIALISE_CARD, XAVO_SIM_ANY);
    EXPECT_EQ(KZ_Uninitialise(0), 0u);
    EXPECT_EQ(board().isInitialised, 1u);
    EXPECT_EQ(board().isPCIInitialised, 1u);
    EXPECT_EQ(XAVO_SIM_IsCardOpen(0), 1u);
    EXPECT_EQ(board().lockDepth, 0u);
    XAVO_SIM_RemoveFaultRule(rule);
    EXPECT_EQ(KZ_Uninitialise(0), 1u);
    expectShutDown();
}

// A fault at any one hardware-access call of the sequence: no crash, the lock is free, and once
// the fault is gone the card initialises again.
class InitialisationFaultSweep : public Initialisation, public ::testing::WithParamInterface<std::uint32_t> {};

constexpr std::uint32_t kSweepShards = 8;

TEST_P(InitialisationFaultSweep, EveryCallOfTheSequenceFailingInTurn)
{
    KZ_SetInitialisationStatusCallback(nullptr);
    XAVO_SIM_SetCallLogEnabled(0);
    XAVO_SIM_ClearCallLog();
    ASSERT_EQ(KZ_Initialise(0), 1u);
    const std::uint32_t calls = XAVO_SIM_CountCalls(0, XAVO_SIM_ANY, XAVO_SIM_ANY);
    ASSERT_EQ(KZ_Uninitialise(0), 1u);
    ASSERT_GT(calls, 100u);

    for (std::uint32_t k = GetParam(); k < calls; k += kSweepShards) {
        SCOPED_TRACE("call " + std::to_string(k) + " of " + std::to_string(calls));
        XAVO_SIM_FaultRule rule{};
        rule.card = XAVO_SIM_ANY;
        rule.addressFirst = 0;
        rule.addressLast = 0xFFFFFFFF;
        rule.caller = XAVO_SIM_CALLER_ANY;
        rule.skip = k;
        rule.count = 1;
        rule.action = XAVO_SIM_ACTION_FAIL;
        const std::uint32_t id = XAVO_SIM_AddFaultRule(&rule);
        ASSERT_NE(id, 0u);
        const std::uint32_t initialised = KZ_Initialise(0);
        XAVO_SIM_RemoveFaultRule(id);
        EXPECT_EQ(board().lockDepth, 0u);
        if (initialised != 0 || board().isInitialised != 0) {
            ASSERT_EQ(KZ_Uninitialise(0), 1u);
        }
        ASSERT_EQ(board().isInitialised, 0u);
        ASSERT_EQ(XAVO_SIM_IsCardOpen(0), 0u);
        ASSERT_EQ(KZ_Initialise(0), 1u);
        ASSERT_EQ(KZ_Uninitialise(0), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Shards, InitialisationFaultSweep, ::testing::Range(0u, kSweepShards));

} // namespace
} // namespace kz::test
