// KZ_LoadState: how the scanner finds and picks sections, what each loader applies and refuses,
// and that no file, however malformed or cut short, makes it read beyond its buffers.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "persistence/state_file_reader.h"
#include "persistence_support.h"

namespace kz::test {
namespace {

TEST(StateFileTokens, ATokenSkipsLeadingSeparatorsAndEndsAtTheFirstSeparator)
{
    const struct {
        std::string text;
        std::string token;
    } cases[] = {
        {"  [Gate3]", "Gate3"}, {" 0x1f", "0x1f"},   {"", ""},          {" \t\r\n[(", ""},
        {"(abc) def", "abc"},   {"[TCG]\r", "TCG"},  {"key", "key"},    {std::string("a\0b", 3), "a"},
        {"\r\n\r\nStart ", "Start"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(state_file::extractToken(c.text), c.token) << c.text;
    }
}

TEST(StateFileTokens, NumbersConvertAsTheFileWritesThemAndSaturateAt32Bits)
{
    const struct {
        const char* text;
        std::uint32_t value;
    } cases[] = {
        {"0x00000012", 18},         {"-2", 0xFFFFFFFE},          {"ff", 0},
        {"010", 8},                 {"08", 0},                   {"0X1F", 31},
        {"4294967295", 0xFFFFFFFF}, {"4294967296", 0xFFFFFFFF},  {"99999999999999999999999", 0xFFFFFFFF},
        {"-4294967296", 0xFFFFFFFF}, {"0x100000000", 0xFFFFFFFF}, {"0xffffffff", 0xFFFFFFFF},
        {"-0x1", 0xFFFFFFFF},       {"  +7", 7},                 {"12abc", 12},
        {"", 0},                    {"-", 0},                    {"0x", 0},
        {"1,2,3,", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(state_file::convertNumber(c.text), c.value) << c.text;
    }
}

TEST(StateFileTokens, TrailingDigitsGiveTheIndexAndSaturate)
{
    EXPECT_EQ(state_file::trailingNumber("TCG3"), 3u);
    EXPECT_EQ(state_file::trailingNumber("PP007"), 7u);
    EXPECT_EQ(state_file::trailingNumber("TCG"), 0u);
    EXPECT_EQ(state_file::trailingNumber("3TCG"), 0u);
    EXPECT_EQ(state_file::trailingNumber("Gate4294967296"), 0xFFFFFFFFu);
    EXPECT_EQ(state_file::trailingNumber("CG99999999999999999999"), 0xFFFFFFFFu);
}

class StateFileReader : public StateFileFixture {
protected:
    // Writes `text` to a file and loads it into card 0.
    std::uint32_t load(const std::string& text, std::uint32_t selector = KZ_SFSAll)
    {
        const std::string path = pathOf("load.dab");
        writeFile(path, text);
        return KZ_LoadState(0, path.c_str(), selector);
    }

    static std::uint32_t startDelay()
    {
        std::uint32_t delay = 0xDEADBEEF;
        EXPECT_EQ(KZ_GetStartDelay(0, &delay), 1u);
        return delay;
    }
};
XAVO_INSTANTIATE_FOR_BOTH_GENERATIONS(StateFileReader);

class SequencedStateFileReader : public StateFileReader {};
XAVO_INSTANTIATE_SEQUENCED(SequencedStateFileReader);

TEST_P(StateFileReader, AFileWithoutSectionsEndsTheScanButTheLoadSucceeds)
{
    for (const std::string text : {"", "StartDelay = 5\r\n", "no header here"}) {
        clearErrors();
        EXPECT_EQ(load(text), 1u) << text;
        EXPECT_EQ(reportedErrors(), Errors{0x5701}) << text;
    }
    EXPECT_EQ(KZ_LoadState(0, pathOf("absent.dab").c_str(), KZ_SFSAll), 0u);
    EXPECT_EQ(reportedErrors(), (Errors{0x5701, 0x5700}));
}

TEST_P(StateFileReader, TheSelectorPicksSectionsAndAnAbsentOneIsNoFailure)
{
    const std::string path = pathOf("saved");
    ASSERT_EQ(KZ_SetSystemDDR0(0, 0x1F), 1u);
    ASSERT_EQ(KZ_SetStartDelay(0, 100), 1u);
    ASSERT_EQ(KZ_SaveState(0, path.c_str(), KZ_SFSSettings), 1u);
    ASSERT_EQ(KZ_SetSystemDDR0(0, 0), 1u);
    ASSERT_EQ(KZ_SetStartDelay(0, 0), 1u);
    clearErrors();

    // The system section alone: applied up to its informational key, the rest passed over.
    EXPECT_EQ(KZ_LoadState(0, (path + ".dab").c_str(), KZ_SFSSystem), 1u);
    EXPECT_EQ(reportedErrors(), (Errors{0x5100, 0x5701}));
    std::uint32_t ddr = 0;
    EXPECT_EQ(KZ_GetSystemDDR0(0, &ddr), 1u);
    EXPECT_EQ(ddr, 0x1Fu);
    EXPECT_EQ(startDelay(), 0u);

    // A section the file does not have.
    clearErrors();
    EXPECT_EQ(KZ_LoadState(0, (path + ".dab").c_str(), KZ_SFSTCG), 1u);
    EXPECT_EQ(reportedErrors(), Errors{0x5701});
    EXPECT_EQ(startDelay(), 0u);
}

TEST_P(StateFileReader, SectionNamesAndKeysMatchInAnyCase)
{
    EXPECT_EQ(load("[samplingSUBSYSTEM]\r\nstartdelay = 0x20\r\nSTARTDELAY = 0x21\r\n"), 1u);
    EXPECT_EQ(reportedErrors(), Errors{});
    EXPECT_EQ(startDelay(), 0x21u);
}

TEST_P(StateFileReader, AnOversizedSectionHeaderEndsTheLoad)
{
    EXPECT_EQ(load("[" + std::string(600, 'x') + "]\r\n[SamplingSubsystem]\r\nStartDelay = 7\r\n"), 1u);
    EXPECT_EQ(reportedErrors(), Errors{0x5702});
    EXPECT_EQ(startDelay(), 0u);
    // A header line fits when its line feed is among its first 511 characters.
    clearErrors();
    EXPECT_EQ(load("[" + std::string(510, ' ') + "\r\n[SamplingSubsystem]\r\nStartDelay = 7\r\n"), 1u);
    EXPECT_EQ(reportedErrors(), Errors{0x5702});
    clearErrors();
    EXPECT_EQ(load("[" + std::string(509, ' ') + "\r\n[SamplingSubsystem]\r\nStartDelay = 7\r\n"), 1u);
    EXPECT_EQ(reportedErrors(), Errors{});
    EXPECT_EQ(startDelay(), 7u);
}

// A file, the codes its load reports and what the card holds afterwards.
struct LoaderCase {
    const char* name;
    std::string text;
    Errors codes;
    std::function<void()> check;
};

std::vector<std::uint16_t> tcgCurve()
{
    std::uint16_t* values = nullptr;
    std::uint32_t count = 0;
    EXPECT_EQ(KZ_GetTCGValues(0, &values, &count), 1u);
    return values == nullptr ? std::vector<std::uint16_t>{} : std::vector<std::uint16_t>(values, values + count);
}

using Entry = std::pair<std::uint16_t, std::uint16_t>;

Entry pingPongEntry(std::uint32_t position)
{
    std::uint16_t* elements = nullptr;
    std::uint16_t* order = nullptr;
    EXPECT_EQ(KZ_GetPingPongSequence(0, &elements, &order), 1u);
    if (elements == nullptr) {
        return {0xFFFF, 0xFFFF};
    }
    return {elements[position], order[position]};
}

std::uint32_t curvedGateValue(std::uint32_t index)
{
    std::uint16_t* values = nullptr;
    EXPECT_EQ(KZ_GetCurvedGateData(0, &values), 1u);
    return values == nullptr ? 0xFFFFFFFF : values[index];
}

// Card 0 as if it had never received a TCG curve, a ping-pong table or a curved gate.
void dropTables()
{
    BoardState& board = *boardInRange(0);
    for (std::uint16_t** table : {&board.tcgValues, &board.pingPongElements, &board.pingPongOrder,
                                  &board.pingPongPositionOfOrder, &board.curvedGateData}) {
        releaseTable(*table);
    }
    board.tcgValueCount = 0;
}

bool noPingPong() { return pingPongEntry(0).first == 0xFFFF; }
bool noCurvedGate() { return curvedGateValue(0) == 0xFFFFFFFF; }

const std::string kLong(600, 'k');
const std::vector<std::uint16_t> kOnePoint{0};

TEST_P(StateFileReader, TableLoadersApplyTheirTableOrReportWhyNot)
{
    const LoaderCase cases[] = {
        {"tcg", "[TCG]\r\nTCG0 = 7\r\nTCG1 = 0x9\r\n", {},
         [] { EXPECT_EQ(tcgCurve(), (std::vector<std::uint16_t>{7, 9})); }},
        // The count is the number of lines read; the values the file leaves out are 0.
        {"tcg count", "[TCG]\r\nTCG2 = 5\r\n", {}, [] { EXPECT_EQ(tcgCurve(), (std::vector<std::uint16_t>{0})); }},
        {"tcg index", "[TCG]\r\nTCG40000 = 5\r\n", {0x5401, 0x5701}, [] { EXPECT_EQ(tcgCurve(), kOnePoint); }},
        {"tcg index beyond 32 bits", "[TCG]\r\nTCG4294967296 = 5\r\n", {0x5401, 0x5701},
         [] { EXPECT_EQ(tcgCurve(), kOnePoint); }},
        {"tcg value", "[TCG]\r\nTCG0 = 1\r\nTCG3 = 40000\r\n", {0x5402, 0x5701},
         [] { EXPECT_EQ(tcgCurve(), kOnePoint); }},
        {"tcg prefix", "[TCG]\r\ntcg3 = 4\r\n", {0x5403, 0x5701}, [] { EXPECT_EQ(tcgCurve(), kOnePoint); }},
        {"tcg cut value", "[TCG]\r\nTCG3 = 4", {0x5404, 0x5701}, [] { EXPECT_EQ(tcgCurve(), kOnePoint); }},
        {"tcg long key", "[TCG]\r\n" + kLong, {0x5400, 0x5701}, [] { EXPECT_EQ(tcgCurve(), kOnePoint); }},
        {"tcg long value", "[TCG]\r\nTCG0 = " + kLong + "\r\n", {0x5400, 0x5701},
         [] { EXPECT_EQ(tcgCurve(), kOnePoint); }},

        {"ping-pong", "[PingPong]\r\nPP7 = 12\r\nPP8 = 3, 0x10\r\n", {},
         [] {
             EXPECT_EQ(pingPongEntry(7), Entry(12, 7));
             EXPECT_EQ(pingPongEntry(8), Entry(3, 16));
             EXPECT_EQ(pingPongEntry(9), Entry(0, 0));
         }},
        {"ping-pong index", "[PingPong]\r\nPP128 = 1\r\n", {0x5501, 0x5701}, [] { EXPECT_TRUE(noPingPong()); }},
        {"ping-pong element", "[PingPong]\r\nPP1 = 128\r\n", {0x5502, 0x5701}, [] { EXPECT_TRUE(noPingPong()); }},
        {"ping-pong order", "[PingPong]\r\nPP1 = 1, 128\r\n", {0x5502, 0x5701}, [] { EXPECT_TRUE(noPingPong()); }},
        {"ping-pong prefix", "[PingPong]\r\nQ1 = 1\r\n", {0x5503, 0x5701}, [] { EXPECT_TRUE(noPingPong()); }},
        {"ping-pong cut value", "[PingPong]\r\nPP1 = 1", {0x5504, 0x5701}, [] { EXPECT_TRUE(noPingPong()); }},
        {"ping-pong cut order", "[PingPong]\r\nPP1 = 1, 2", {0x5504, 0x5701}, [] { EXPECT_TRUE(noPingPong()); }},
        {"ping-pong long order", "[PingPong]\r\nPP1 = 1," + kLong, {0x5500, 0x5701},
         [] { EXPECT_TRUE(noPingPong()); }},

        {"curved gate", "[CurvedGate]\r\nCG4095 = 2047\r\n", {},
         [] {
             EXPECT_EQ(curvedGateValue(4095), 2047u);
             EXPECT_EQ(curvedGateValue(0), 0u);
         }},
        {"curved gate index", "[CurvedGate]\r\nCG4096 = 0\r\n", {0x5601, 0x5701},
         [] { EXPECT_TRUE(noCurvedGate()); }},
        {"curved gate value", "[CurvedGate]\r\nCG1 = 2048\r\n", {0x5603, 0x5701},
         [] { EXPECT_TRUE(noCurvedGate()); }},
        {"curved gate prefix", "[CurvedGate]\r\nX1 = 1\r\n", {0x5604, 0x5701}, [] { EXPECT_TRUE(noCurvedGate()); }},
        {"curved gate cut value", "[CurvedGate]\r\nCG1 = 1", {0x5602, 0x5701}, [] { EXPECT_TRUE(noCurvedGate()); }},
        {"curved gate long key", "[CurvedGate]\r\n" + kLong + " = 1\r\n", {0x5600, 0x5701},
         [] { EXPECT_TRUE(noCurvedGate()); }},
    };
    for (const LoaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        dropTables();
        ASSERT_EQ(KZ_SetTCGValues(0, kOnePoint.data(), 1), 1u);
        clearErrors();
        EXPECT_EQ(load(c.text), 1u);
        EXPECT_EQ(reportedErrors(), c.codes);
        c.check();
    }
}

TEST_P(StateFileReader, SettingsLinesAreBoundedAndTheFirstRefusalEndsTheSection)
{
    const LoaderCase cases[] = {
        {"applied", "[SamplingSubsystem]\r\nStartDelay = 0x20\r\nRectifierMode = 2\r\n", {},
         [] { EXPECT_EQ(startDelay(), 32u); }},
        {"unknown key", "[SamplingSubsystem]\r\nBogus = 1\r\nStartDelay = 9\r\n", {0x5100, 0x5701},
         [] { EXPECT_EQ(startDelay(), 0u); }},
        {"long key", "[SamplingSubsystem]\r\n" + kLong, {0x5201, 0x5701}, [] { EXPECT_EQ(startDelay(), 0u); }},
        {"long value", "[SamplingSubsystem]\r\nStartDelay = 1" + kLong + "\r\n", {0x5201, 0x5701},
         [] { EXPECT_EQ(startDelay(), 0u); }},
        {"missing value", "[SamplingSubsystem]\r\nStartDelay = 9", {0x5200, 0x5701},
         [] { EXPECT_EQ(startDelay(), 0u); }},
        // A refused section does not stop the next one.
        {"next section", "[SystemSubsystem]\r\nBogus = 1\r\n\r\n[SamplingSubsystem]\r\nStartDelay = 3\r\n", {0x5100},
         [] { EXPECT_EQ(startDelay(), 3u); }},
    };
    for (const LoaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(KZ_SetStartDelay(0, 0), 1u);
        clearErrors();
        EXPECT_EQ(load(c.text), 1u);
        EXPECT_EQ(reportedErrors(), c.codes);
        c.check();
    }
}

TEST_P(StateFileReader, TheSensorArraySwitchesArePassedOverOnlyForPeripheralFirmwareVersion0)
{
    const std::string text = "[PeripheralSubsystem]\r\nSensorArrayEnableBScanMode = 1\r\nEncoderSelect = 2\r\n";
    std::uint32_t encoder = 0;
    EXPECT_EQ(load(text), 1u);
    ASSERT_EQ(KZ_GetEncoderSelect(0, &encoder), 1u);
    if (sequenced()) { // peripheral firmware version 2: the informational key ends the section
        EXPECT_EQ(reportedErrors(), (Errors{0x5100, 0x5701}));
        EXPECT_NE(encoder, 2u);
    } else { // version 0
        EXPECT_EQ(reportedErrors(), Errors{});
        EXPECT_EQ(encoder, 2u);
    }
}

TEST_P(SequencedStateFileReader, OnlyTheFirstOversampleValueIsAppliedToTheCurrentStep)
{
    ASSERT_EQ(KZ_SetSequenceStep(0, 2), 1u);
    EXPECT_EQ(load("[PeripheralSubsystem]\r\nNumberOfOversamples = 3,4,5,\r\n"), 1u);
    EXPECT_EQ(reportedErrors(), Errors{});
    EXPECT_EQ(KZ_ReturnOversampleCountThisStep(0, 2), 3u);
    EXPECT_EQ(KZ_ReturnOversampleCountThisStep(0, 0), 1u);
    EXPECT_EQ(KZ_ReturnOversampleCountThisStep(0, 1), 1u);
}

GateDefinition gateOf(std::int32_t index)
{
    GateDefinition* gate = nullptr;
    EXPECT_EQ(KZ_GetGate(0, index, &gate), 1u);
    return gate == nullptr ? GateDefinition{} : *gate;
}

const std::string kFullGate1 = "[Gate1]\r\nStart = 10\r\nEnd = 200\r\nThreshold = 300\r\nTriggerGate = 15\r\n"
                               "ThresholdPolarity = 1\r\nTriggerMode = 1\r\nDistanceMetric = 2\r\nEnabled = 1\r\n"
                               "AmplitudePeakSelect = 15\r\nDistancePeakSelect = 15\r\n";

TEST_P(StateFileReader, AGateTakesTheKeysItLeavesOutFromTheGateBeforeIt)
{
    // The file ends inside the gates section: its last gate is still added.
    EXPECT_EQ(load("[Gates]\r\n\r\n" + kFullGate1 + "\r\n[Gate2]\r\nenabled = 1\r\nthreshold = 7\r\n"), 1u);
    EXPECT_EQ(reportedErrors(), Errors{});
    const GateDefinition second = gateOf(2);
    EXPECT_EQ(second.enabled, 1u);
    EXPECT_EQ(second.threshold, 7u);
    EXPECT_EQ(second.start, 10);
    EXPECT_EQ(second.end, 200);
    EXPECT_EQ(second.thresholdPolarity, 1u);
    EXPECT_EQ(gateOf(1).threshold, 300u);
}

TEST_P(StateFileReader, TheFirstGateOfASectionStartsFromAClearedRecord)
{
    EXPECT_EQ(load("[Gates]\r\n\r\n[Gate1]\r\nEnabled = 1\r\nTriggerGate = 15\r\nEnd = 8\r\n"), 1u);
    EXPECT_EQ(reportedErrors(), Errors{});
    const GateDefinition gate = gateOf(1);
    EXPECT_EQ(gate.enabled, 1u);
    EXPECT_EQ(gate.start, 0);
    EXPECT_EQ(gate.end, 8);
    EXPECT_EQ(gate.threshold, 0u);
    EXPECT_EQ(gate.storeGateValue, 0u);
    EXPECT_EQ(gate.snapshotSelection, 0);
}

TEST_P(StateFileReader, TheGatesSectionHandsTheNextHeaderBackToTheScan)
{
    const std::uint16_t value = 2047;
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"after a gate", "[Gates]\r\n\r\n" + kFullGate1 + "\r\n[CurvedGate]\r\nCG9 = 2047\r\n"},
        {"without gates", "[Gates]\r\n\r\n[CurvedGate]\r\nCG9 = 2047\r\n"},
        {"straight after the header", "[Gates]\r\n[CurvedGate]\r\nCG9 = 2047\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dropTables();
        clearErrors();
        EXPECT_EQ(load(c.text), 1u);
        EXPECT_EQ(reportedErrors(), Errors{});
        EXPECT_EQ(curvedGateValue(9), value);
    }
    EXPECT_EQ(gateOf(1).threshold, 300u);
}

TEST_P(StateFileReader, GateLinesAreBoundedAndAnIndexBeyond32BitsIsRefused)
{
    const LoaderCase cases[] = {
        {"long sub-header", "[Gates]\r\n[Gate" + kLong + "]\r\nEnabled = 1\r\n", {0x5300, 0x5701}, [] {}},
        {"long key", "[Gates]\r\n[Gate1]\r\n" + kLong + " = 1\r\n", {0x5300, 0x5701}, [] {}},
        {"long value", "[Gates]\r\n[Gate1]\r\nEnabled = 1" + kLong + "\r\n", {0x5300, 0x5701}, [] {}},
        {"cut value", "[Gates]\r\n[Gate1]\r\nEnabled = 1", {0x5301, 0x5701}, [] {}},
        // Without saturation the index would wrap round to gate 0.
        {"index beyond 32 bits", "[Gates]\r\n[Gate4294967296]\r\nEnabled = 1\r\nTriggerGate = 15\r\n",
         {0x4d0a, 0x5701}, [] {}},
    };
    for (const LoaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        clearErrors();
        EXPECT_EQ(load(c.text), 1u);
        EXPECT_EQ(reportedErrors(), c.codes);
        EXPECT_EQ(gateOf(0).enabled, 0u);
        EXPECT_EQ(gateOf(1).enabled, 0u);
    }
}

TEST_P(SequencedStateFileReader, AFileCutAtAnyByteLoadsWhatItHolds)
{
    const std::string complete = fixtureText("small_card.dab") + "\r\n[PingPong]\r\nPP0 = 1, 2\r\nPP1 = 3\r\n" +
                                 "\r\n[CurvedGate]\r\nCG0 = 5\r\nCG4095 = 2047\r\n";
    ASSERT_GT(complete.size(), 1500u);
    for (std::size_t length = 0; length <= complete.size(); ++length) {
        ASSERT_EQ(load(complete.substr(0, length)), 1u) << "cut at " << length;
    }
}

TEST_P(StateFileReader, AnInvalidCardOrANullNameTouchesNothing)
{
    const std::string path = pathOf("load.dab");
    writeFile(path, "[SamplingSubsystem]\r\nStartDelay = 5\r\n");
    EXPECT_EQ(KZ_LoadState(2, path.c_str(), KZ_SFSAll), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x7900});
    clearErrors();
    EXPECT_EQ(KZ_LoadState(0, nullptr, KZ_SFSAll), 0u);
    EXPECT_EQ(reportedErrors(), Errors{});
    EXPECT_EQ(startDelay(), 0u);
}

} // namespace
} // namespace kz::test
