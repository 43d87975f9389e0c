// KZ_SaveState: the file's exact bytes, its name, the sections a selector picks, the rows that
// depend on the firmware, and that a save that fails anywhere leaves no file behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "hardware/registers.h"
#include "persistence/state_file.h"
#include "persistence_support.h"
#include "sim_access.h"

namespace kz::test {
namespace {

using platform::WriteSite;

// The buffered writer operations that fail, for the failure hook.
struct Injection {
    WriteSite site;
    std::size_t index;
};
std::vector<Injection> injections;
// How many writes the writers were given, and how many blocks they wrote, while the hook was
// installed.
std::size_t writesSeen = 0;
std::size_t blocksSeen = 0;

bool injectedFailure(WriteSite site, std::size_t index)
{
    if (site == WriteSite::Write) {
        writesSeen = std::max(writesSeen, index + 1);
    }
    if (site == WriteSite::Block) {
        blocksSeen = std::max(blocksSeen, index + 1);
    }
    return std::ranges::any_of(injections, [&](const Injection& i) { return i.site == site && i.index == index; });
}

void injectFailures(std::vector<Injection> failing)
{
    injections = std::move(failing);
    platform::setWriteFailurePredicate(injectedFailure);
}

std::vector<std::uint16_t> sequence(std::size_t count, std::uint32_t step, std::uint32_t modulo)
{
    std::vector<std::uint16_t> values(count);
    for (std::size_t i = 0; i < count; ++i) {
        values[i] = static_cast<std::uint16_t>((i * step) % modulo);
    }
    return values;
}

void giveAllTables(std::uint32_t card)
{
    const auto tcg = sequence(1000, 1000, 0x8000);
    ASSERT_EQ(KZ_SetTCGValues(card, tcg.data(), static_cast<std::uint32_t>(tcg.size())), 1u);
    const auto elements = sequence(KZ_PINGPONG_SEQUENCE_LENGTH, 3, 128);
    const auto order = sequence(KZ_PINGPONG_SEQUENCE_LENGTH, 1, 128);
    ASSERT_EQ(KZ_SetPingPongSequence(card, elements.data(), order.data()), 1u);
    const auto thresholds = sequence(KZ_CURVED_GATE_NUMBER_OF_VALUES, 1, 2048);
    ASSERT_EQ(KZ_SetCurvedGateData(card, thresholds.data()), 1u);
}

// A card that never received a TCG curve.
void dropTcgCurve(std::uint32_t card) { releaseTable(boardInRange(card)->tcgValues); }

std::vector<std::string> sectionHeaders(const std::string& text)
{
    std::vector<std::string> headers;
    for (const std::string& line : lines(text)) {
        if (line.size() > 2 && line.front() == '[' && line.back() == ']' &&
            std::ranges::count(state_file::kSectionNames, std::string_view(line).substr(1, line.size() - 2)) == 1) {
            headers.push_back(line);
        }
    }
    return headers;
}

std::string lineStartingWith(const std::string& text, const std::string& start)
{
    for (const std::string& line : lines(text)) {
        if (line.starts_with(start)) {
            return line;
        }
    }
    return "<none>";
}

class StateFileWriter : public StateFileFixture {
protected:
    void TearDown() override
    {
        injections.clear();
        StateFileFixture::TearDown();
    }

    // Saves card 0 and returns the file's text; "<no file>" when none was left.
    std::string save(std::uint32_t selector, std::uint32_t expectedResult = 1)
    {
        const std::string path = pathOf("state");
        EXPECT_EQ(KZ_SaveState(0, path.c_str(), selector), expectedResult);
        return fileExists(path + ".dab") ? fileText(path + ".dab") : "<no file>";
    }
};
XAVO_INSTANTIATE_FOR_BOTH_GENERATIONS(StateFileWriter);

class SequencedStateFileWriter : public StateFileWriter {};
XAVO_INSTANTIATE_SEQUENCED(SequencedStateFileWriter);

TEST_P(SequencedStateFileWriter, ASmallCardIsSavedByteForByte)
{
    ASSERT_EQ(KZ_SetSystemIOBank0(0, 0x0000A5A5), 1u);
    ASSERT_EQ(KZ_SetSystemDDR0(0, 0x0000FFFF), 1u);
    ASSERT_EQ(KZ_SetSystemDDR1(0, 0x1F), 1u);
    ASSERT_EQ(KZ_SetStartDelay(0, 1000), 1u);
    ASSERT_EQ(KZ_SetNumberOfSamples(0, 512), 1u);
    ASSERT_EQ(KZ_SetTCGTriggerEvent(0, 1), 1u);
    ASSERT_EQ(KZ_SetEncoderSelect(0, 2), 1u);
    GateDefinition first = enabledGate(1, 10, 200, 300);
    GateDefinition second = enabledGate(3, 50, 400, 1000);
    second.triggerGate = 1;
    ASSERT_EQ(KZ_AddGate(0, &first), 1u);
    ASSERT_EQ(KZ_AddGate(0, &second), 1u);
    const std::uint16_t tcg[] = {0, 100, 32767};
    ASSERT_EQ(KZ_SetTCGValues(0, tcg, 3), 1u);

    EXPECT_EQ(firstDifference(save(KZ_SFSAll), fixtureText("small_card.dab")), "");
    EXPECT_EQ(reportedErrors(), Errors{});
}

TEST_P(StateFileWriter, TheExtensionIsAddedUnlessTheNameEndsInItInAnyCase)
{
    const struct {
        std::string given;
        std::string created;
    } cases[] = {
        {"board1", "board1.dab"},  {"board1.DAB", "board1.DAB"}, {"board1.Dab", "board1.Dab"},
        {"ab", "ab.dab"},          {"b", "b.dab"},                {"board1.dab.txt", "board1.dab.txt.dab"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KZ_SaveState(0, pathOf(c.given).c_str(), KZ_SFSSystem), 1u) << c.given;
        EXPECT_TRUE(fileExists(pathOf(c.created))) << c.given;
    }
    EXPECT_EQ(reportedErrors(), Errors{});
}

TEST_P(StateFileWriter, ANameThatDoesNotFitWithItsExtensionIsRefusedAndCreatesNothing)
{
    // Nested folders make a path of exactly the length needed; each part stays short enough for
    // the file system.
    std::string folder = scratchFolder();
    while (folder.size() < 400) {
        folder += "/" + std::string(100, 'd');
        std::filesystem::create_directory(folder);
    }
    const std::string base = folder + "/";
    const std::string longest = base + std::string(511 - base.size() - 4, 'n'); // 511 with ".dab"
    EXPECT_EQ(KZ_SaveState(0, longest.c_str(), KZ_SFSSystem), 1u);
    EXPECT_TRUE(fileExists(longest + ".dab"));
    const std::string withExtension = base + std::string(511 - base.size() - 4, 'e') + ".DAB";
    EXPECT_EQ(KZ_SaveState(0, withExtension.c_str(), KZ_SFSSystem), 1u);
    EXPECT_EQ(reportedErrors(), Errors{});

    const std::string tooLong = longest + "x";
    EXPECT_EQ(KZ_SaveState(0, tooLong.c_str(), KZ_SFSSystem), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x570b});
    EXPECT_FALSE(fileExists(tooLong + ".dab"));
}

TEST_P(StateFileWriter, TheSelectorPicksTheSections)
{
    giveAllTables(0);
    const std::vector<std::string> all{"[SystemSubsystem]", "[SamplingSubsystem]", "[PeripheralSubsystem]",
                                       "[Gates]", "[TCG]", "[PingPong]", "[CurvedGate]"};
    const struct {
        std::uint32_t selector;
        std::vector<std::string> headers;
    } cases[] = {
        {KZ_SFSAll, all},
        {KZ_SFSSettings, {all[0], all[1], all[2]}},
        {KZ_SFSSystem, {all[0]}},
        {KZ_SFSSampling, {all[1]}},
        {KZ_SFSPeripheral, {all[2]}},
        {KZ_SFSGates, {all[3]}},
        {KZ_SFSTCG, {all[4]}},
        {KZ_SFSPingPong, {all[5]}},
        {KZ_SFSCurvedGate, {all[6]}},
        {9, {}},
        {0xFFFFFFFF, {}},
    };
    for (const auto& c : cases) {
        clearErrors();
        const std::string text = save(c.selector);
        EXPECT_EQ(sectionHeaders(text), c.headers) << "selector " << c.selector;
        // Only the system section opens a file without an empty line.
        const std::string start = c.headers.empty() ? "" : c.headers[0] == all[0] ? "[" : "\r\n[";
        EXPECT_TRUE(text.starts_with(start) && (start.empty() == text.empty())) << "selector " << c.selector;
        if (sequenced()) {
            EXPECT_EQ(reportedErrors(), Errors{}) << "selector " << c.selector;
        }
    }
}

TEST_P(StateFileWriter, WithoutTablesTheWholeFileEndsWithTheGates)
{
    dropTcgCurve(0);
    EXPECT_TRUE(save(KZ_SFSAll).ends_with("\r\n[Gates]\r\n"));

    const GateDefinition gate = enabledGate(2, 10, 20, 30);
    ASSERT_EQ(KZ_AddGate(0, &gate), 1u);
    EXPECT_TRUE(save(KZ_SFSAll).ends_with("\r\n[Gate2]\r\nStart = 10\r\nEnd = 20\r\nThreshold = 30\r\n"
                                          "TriggerGate = 15\r\nThresholdPolarity = 0\r\nTriggerMode = 0\r\n"
                                          "DistanceMetric = 2\r\nEnabled = 1\r\nAmplitudePeakSelect = 15\r\n"
                                          "DistancePeakSelect = 15\r\n"));
}

TEST_P(StateFileWriter, ATableSectionAskedForAloneFailsWhenTheCardHasNoTableAndLeavesNoFile)
{
    dropTcgCurve(0);
    const struct {
        std::uint32_t selector;
        std::uint32_t code;
    } cases[] = {{KZ_SFSTCG, 0x570f}, {KZ_SFSPingPong, 0x5710}, {KZ_SFSCurvedGate, 0x5711}};
    for (const auto& c : cases) {
        clearErrors();
        EXPECT_EQ(save(c.selector, 0), "<no file>") << c.selector;
        EXPECT_EQ(reportedErrors(), Errors{c.code}) << c.selector;
    }
}

TEST_P(StateFileWriter, ValuesTakeTheirRowsForms)
{
    ASSERT_EQ(KZ_SetSystemDDR0(0, 0xAB), 1u);
    const GateDefinition gate = enabledGate(0, 10, 20, 30);
    ASSERT_EQ(KZ_AddGate(0, &gate), 1u);
    GateDefinition* live = nullptr;
    ASSERT_EQ(KZ_GetGate(0, 0, &live), 1u);
    live->triggerGate = 0xFFFFFFFF; // written as "0xffffffff"
    live->threshold = 0xFFFFFFFE;   // written in signed decimal
    const std::string text = save(KZ_SFSAll);
    EXPECT_EQ(lineStartingWith(text, "SystemDDR0 "), "SystemDDR0 = 0xab");
    EXPECT_EQ(lineStartingWith(text, "SystemIOBank0 "), "SystemIOBank0 = 0x00000000");
    EXPECT_EQ(lineStartingWith(text, "PeripheralDDR0 "), "PeripheralDDR0 = 0");
    EXPECT_EQ(lineStartingWith(text, "EncoderSelect "), "EncoderSelect = -1");
    EXPECT_EQ(lineStartingWith(text, "TriggerGate "), "TriggerGate = 0xffffffff");
    EXPECT_EQ(lineStartingWith(text, "Threshold "), "Threshold = -2");
}

TEST_P(StateFileWriter, TheSensorArrayRowsAndThePulseWidthDependOnThePeripheralFirmware)
{
    const std::string switches[] = {"SensorArrayDisableAperturePositionWrites",
                                    "SensorArrayDisableApertureDelayWrites", "SensorArrayEnableBScanMode"};
    const auto has = [](const std::string& text, const std::string& key) {
        return lineStartingWith(text, key + " ") != "<none>";
    };
    std::string text = save(KZ_SFSPeripheral);
    for (const std::string& key : switches) {
        EXPECT_FALSE(has(text, key)) << key;
    }
    EXPECT_TRUE(has(text, "TransducerPulseWidth"));

    // Version 1 has the focusing unit's switches and no pulse width that can be read.
    ASSERT_EQ(XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_PERIPHERAL, 0x1016), 1u);
    clearErrors();
    text = save(KZ_SFSPeripheral);
    for (const std::string& key : switches) {
        EXPECT_TRUE(has(text, key)) << key;
    }
    EXPECT_FALSE(has(text, "TransducerPulseWidth"));
    EXPECT_TRUE(has(text, "PeripheralFirmwareVersion"));
    if (sequenced()) {
        EXPECT_EQ(reportedErrors(), Errors{});
    }
}

TEST_P(StateFileWriter, TheOversampleListHoldsEveryStepAndTheSelectedStepStays)
{
    std::string expected = "NumberOfOversamples = ";
    if (sequenced()) {
        ASSERT_EQ(KZ_SetSequenceStep(0, 3), 1u);
        ASSERT_EQ(KZ_SetNumberOfOversamples(0, 4), 1u);
        ASSERT_EQ(KZ_SetSequenceStep(0, 5), 1u);
        for (std::uint32_t step = 0; step < KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS; ++step) {
            expected += step == 3 ? "4," : "1,";
        }
    } else {
        for (std::uint32_t step = 0; step < KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS; ++step) {
            expected += "1,";
        }
    }
    clearErrors();
    const std::vector<std::string> saved = lines(save(KZ_SFSPeripheral));
    const auto row = std::ranges::find(saved, expected);
    ASSERT_NE(row, saved.end());
    EXPECT_TRUE(std::next(row)->starts_with("SensorArrayApertureSize = "));
    if (sequenced()) {
        std::uint32_t step = 0;
        EXPECT_EQ(KZ_GetSequenceStep(0, &step), 1u);
        EXPECT_EQ(step, 5u);
        EXPECT_EQ(boardInRange(0)->currentSequenceStep, 5u);
        EXPECT_EQ(reportedErrors(), Errors{});
    } else {
        // The older firmware refuses every step operation of the walk, each with its own code.
        Errors walk{0x6900};
        walk.insert(walk.end(), KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS + 1, 0x6800);
        EXPECT_EQ(reportedErrors(), walk);
    }
}

TEST_P(StateFileWriter, AFailingGetterStopsTheSaveAndLeavesNoFile)
{
    addRule(XAVO_SIM_OP_GET_WORD, samplingAddress(reg::smp::kRectifier));
    EXPECT_EQ(save(KZ_SFSAll, 0), "<no file>");
    const Errors errors = reportedErrors();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back(), 0x570cu);
}

TEST_P(StateFileWriter, AWriteFailureAtAnyLineLeavesNoFile)
{
    const auto tcg = sequence(5, 1000, 0x8000);
    ASSERT_EQ(KZ_SetTCGValues(0, tcg.data(), 5), 1u);
    const auto elements = sequence(KZ_PINGPONG_SEQUENCE_LENGTH, 3, 128);
    ASSERT_EQ(KZ_SetPingPongSequence(0, elements.data(), elements.data()), 1u);
    for (const std::int32_t index : {0, 3}) {
        const GateDefinition gate = enabledGate(index, 10, 20, 30);
        ASSERT_EQ(KZ_AddGate(0, &gate), 1u);
    }
    injectFailures({});
    save(KZ_SFSAll);
    const std::size_t writes = writesSeen;
    ASSERT_GT(writes, 170u);
    for (std::size_t failing = 0; failing < writes; ++failing) {
        injectFailures({{WriteSite::Write, failing}});
        clearErrors();
        ASSERT_EQ(save(KZ_SFSAll, 0), "<no file>") << "line " << failing;
        const Errors errors = reportedErrors();
        ASSERT_FALSE(errors.empty());
        ASSERT_EQ(errors.back(), 0x570cu) << "line " << failing;
        ASSERT_EQ(std::ranges::count(errors, 0x570cu), 1) << "line " << failing;
    }
}

TEST_P(StateFileWriter, ABlockRefusedWhenTheBufferIsWrittenIsAWriteFailure)
{
    giveAllTables(0); // a file of several blocks
    injectFailures({});
    save(KZ_SFSAll);
    ASSERT_GT(blocksSeen, 2u);
    // Blocks written while the file is written, and the last one, written before the close.
    for (std::size_t block = 0; block < blocksSeen; ++block) {
        injectFailures({{WriteSite::Block, block}});
        clearErrors();
        EXPECT_EQ(save(KZ_SFSAll, 0), "<no file>") << "block " << block;
        EXPECT_EQ(reportedErrors().back(), 0x570cu) << "block " << block;
        EXPECT_EQ(std::ranges::count(reportedErrors(), 0x570du), 0) << "block " << block;
    }
}

TEST_P(StateFileWriter, CloseAndDeleteFailuresAreReportedAndLeaveTheFile)
{
    const struct {
        const char* name;
        std::vector<Injection> failing;
        Errors codes;
        bool complete;
    } cases[] = {
        {"write, then close", {{WriteSite::Write, 3}, {WriteSite::Close, 0}}, {0x570c, 0x570d}, false},
        {"write, then delete", {{WriteSite::Write, 3}, {WriteSite::Remove, 0}}, {0x570c, 0x570e}, false},
        {"final close", {{WriteSite::Close, 0}}, {0x570d}, true},
    };
    const std::string complete = save(KZ_SFSSystem);
    for (const auto& c : cases) {
        injectFailures(c.failing);
        clearErrors();
        const std::string left = save(KZ_SFSSystem, 0);
        EXPECT_EQ(reportedErrors(), c.codes) << c.name;
        EXPECT_NE(left, "<no file>") << c.name;
        EXPECT_EQ(left == complete, c.complete) << c.name;
    }
}

TEST_P(StateFileWriter, AFileThatCannotBeCreatedIsReported)
{
    EXPECT_EQ(KZ_SaveState(0, pathOf("missing/state").c_str(), KZ_SFSAll), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x570b});
}

TEST_P(StateFileWriter, AnInvalidCardOrANullNameTouchesNothing)
{
    const std::string path = pathOf("state");
    EXPECT_EQ(KZ_SaveState(2, path.c_str(), KZ_SFSAll), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x7900});
    clearErrors();
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SaveState(0, nullptr, KZ_SFSAll), 0u);
    EXPECT_EQ(reportedErrors(), Errors{});
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_FALSE(fileExists(path + ".dab"));
}

} // namespace
} // namespace kz::test
