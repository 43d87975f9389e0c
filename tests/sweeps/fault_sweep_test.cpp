// Fault sweeps. A clean run of an operation on a capturing card counts the hardware-access calls
// it makes (the library's and those the data-collection service makes for it); then, on a fresh
// card each time, the k-th of them fails, for every k. Whatever call fails, the operation
// returns 0 (the state file load, which goes on past a failed section, returns 1 with the
// failure in the error log), reports only codes the library knows, gives the card's lock back (no
// hold left, and another thread can take it) and leaves the card usable: the same operation run
// again without the fault succeeds (and the load then leaves the card as a clean load does). The
// sanitizer build adds: no crash, no leak, no bad access on any path.
//
// One row per operation; a new operation is one row of kOperations.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "XAVOKZ.h"
#include "XAVOSimControl.h"
#include "bound_card_fixture.h"
#include "frame/error_codes.h"

namespace kz::test {
namespace {

constexpr std::uint32_t kCard = 0;
// The B-scans of the card: sequence-compatible firmware keeps a sample count per step, the older
// firmware one for all positions.
std::vector<Position> positions{{64}, {32}, {16}};

// Two writes whose failure an operation does not count, by design:
// - the bank hand-back, the service's write of the release command: the scans were copied, so
//   the operation succeeds;
// - the peripheral side of a step selection, whose result the selection ignores: the operation
//   may succeed when the card's selected step is the record's all the same.
bool isBankHandBack(const XAVO_SIM_CallRecord& call)
{
    return call.operation == XAVO_SIM_OP_SET_WORD && call.caller == XAVO_SIM_CALLER_SERVICE &&
           call.address == systemAddress(0x14) && call.value == 0x400;
}

bool isPeripheralStepSelection(const XAVO_SIM_CallRecord& call)
{
    return call.operation == XAVO_SIM_OP_SET_WORD && call.address == peripheralAddress(0x5C);
}

constexpr std::uint32_t kSelectedStepBits = 0x1F;

std::uint32_t getBScan()
{
    std::vector<std::vector<std::uint8_t>> buffers;
    std::vector<void*> pointers;
    for (const Position& p : positions) {
        buffers.emplace_back(p.samples * 2);
        pointers.push_back(buffers.back().data());
    }
    return KZ_GetBScan(kCard, pointers.data());
}

std::uint32_t getAScan()
{
    std::vector<std::uint8_t> buffer(4 + 2 * positions[1].samples);
    return KZ_GetAScan(kCard, buffer.data(), static_cast<std::uint32_t>(buffer.size()), 1, 0);
}

std::uint32_t addGate()
{
    GateDefinition gate{};
    gate.gateIndex = 1;
    gate.start = 100;
    gate.end = 300;
    gate.threshold = 400;
    gate.triggerGate = KZ_GATE_TRIGGER_NONE;
    gate.distanceMetric = KZ_GDMPeak;
    gate.enabled = 1;
    gate.amplitudePeakSelect = KZ_GAPSLargestPeak;
    gate.distancePeakSelect = KZ_GDPSLargestPeak;
    gate.snapshotSelection = 2;
    return KZ_AddGate(kCard, &gate);
}

std::uint32_t setTcgValues()
{
    const std::uint16_t curve[] = {255, 250, 240, 230, 220, 210, 200, 190};
    return KZ_SetTCGValues(kCard, curve, static_cast<std::uint32_t>(std::size(curve)));
}

// A running sequencer (sequence-compatible firmware), which a gate write pauses and resumes.
void startSequencer() { ASSERT_EQ(KZ_StartSequence(kCard), 1u); }

// The state file a load applies: this process's own, so that parallel runs do not share it.
const std::string& stateFilePath()
{
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("xavokz-sweep-" + std::to_string(getpid()) + ".dab")).string();
    return path;
}

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A card with gates, a TCG curve and a ping-pong table saved whole, then changed, so that the
// load has every section to give back. The input ranges the EEPROM holds are marked calibrated,
// as the initialisation leaves them (an uncalibrated range cannot be selected).
void prepareStateFile()
{
    ASSERT_EQ(KZ_GetEEPROMvalues(kCard), 1u);
    BoardState& board = pBoardStates[kCard];
    for (std::uint32_t range = 0; range < KZ_NUMBER_OF_ANALOGUE_RANGES; ++range) {
        board.isRangeCalibrated[range] = (board.calibratedRangeMask >> range) & 1u;
    }
    ASSERT_EQ(addGate(), 1u);
    ASSERT_EQ(setTcgValues(), 1u);
    std::uint16_t elements[KZ_PINGPONG_SEQUENCE_LENGTH];
    std::uint16_t order[KZ_PINGPONG_SEQUENCE_LENGTH];
    for (std::uint16_t i = 0; i < KZ_PINGPONG_SEQUENCE_LENGTH; ++i) {
        elements[i] = static_cast<std::uint16_t>(KZ_PINGPONG_SEQUENCE_LENGTH - 1 - i);
        order[i] = i;
    }
    ASSERT_EQ(KZ_SetPingPongSequence(kCard, elements, order), 1u);
    ASSERT_EQ(KZ_SaveState(kCard, stateFilePath().c_str(), KZ_SFSAll), 1u);
    ASSERT_EQ(KZ_SetStartDelay(kCard, 25), 1u);
    const std::uint16_t flat = 100;
    ASSERT_EQ(KZ_SetTCGValues(kCard, &flat, 1), 1u);
}

std::uint32_t loadState() { return KZ_LoadState(kCard, stateFilePath().c_str(), KZ_SFSAll); }

// The card's settings, gates and tables as a save writes them.
std::string savedState()
{
    const std::string path = stateFilePath() + ".check.dab";
    EXPECT_EQ(KZ_SaveState(kCard, path.c_str(), KZ_SFSAll), 1u);
    return fileText(path);
}

struct Operation {
    const char* name;
    std::uint32_t (*run)();
    void (*prepare)() = nullptr; // brings the card into the state the row needs
    bool sequencedOnly = false;
    // The operation goes on past a failed part and returns 1: the failure stands in the error
    // log, and the same operation run again gives the card what a clean run gives it.
    bool forgiving = false;
};

const Operation kOperations[] = {
    {"GetBScan", getBScan},
    {"GetAScan", getAScan},
    {"AddGate", addGate},
    {"AddGateWhileSequencing", addGate, startSequencer, true},
    {"SetTCGValues", setTcgValues},
    {"LoadState", loadState, prepareStateFile, false, true},
};

// A rule that fails the k-th hardware-access call of the card from now on (counting from 0).
std::uint32_t failCall(std::uint32_t k)
{
    XAVO_SIM_FaultRule rule{};
    rule.operations = 0;
    rule.card = kCard;
    rule.addressFirst = 0;
    rule.addressLast = 0xFFFFFFFF;
    rule.caller = XAVO_SIM_CALLER_ANY;
    rule.skip = k;
    rule.count = 1;
    rule.action = XAVO_SIM_ACTION_FAIL;
    return XAVO_SIM_AddFaultRule(&rule);
}

bool isKnownCode(std::uint32_t code) { return std::strcmp(KZ_GetCodeString(code), "Unknown") != 0; }

class FaultSweep : public BoundCardFixture,
                   public ::testing::WithParamInterface<std::tuple<FirmwarePair, Operation>> {
protected:
    FaultSweep() { firmware = std::get<0>(GetParam()); }

    const Operation& operation() const { return std::get<1>(GetParam()); }

    // A fresh library, card and binding, shaped as every run of the sweep finds it.
    void freshCard()
    {
        TearDown();
        SetUp();
        ASSERT_FALSE(HasFatalFailure());
        positions = sequenced() ? std::vector<Position>{{64}, {32}, {16}} : std::vector<Position>{{64}, {64}, {64}};
        shapeBScans(kStorage16Bit, positions);
        if (operation().prepare != nullptr) {
            operation().prepare();
        }
        clearErrors();
        XAVO_SIM_ClearCallLog();
    }

    // The calls of a clean run, in order; its codes and the card it leaves are kept.
    std::vector<XAVO_SIM_CallRecord> cleanRun()
    {
        freshCard();
        EXPECT_EQ(operation().run(), 1u);
        cleanCodes = reportedErrors();
        if (!operation().forgiving) {
            EXPECT_TRUE(cleanCodes.empty());
        }
        std::vector<XAVO_SIM_CallRecord> calls(XAVO_SIM_ReturnCallLogLength());
        for (std::uint32_t i = 0; i < calls.size(); ++i) {
            XAVO_SIM_GetCallLogEntry(i, &calls[i]);
        }
        EXPECT_EQ(calls.size(), XAVO_SIM_CountCalls(0, kCard, XAVO_SIM_ANY));
        if (operation().forgiving) {
            cleanState = savedState();
        }
        return calls;
    }

    std::vector<std::uint32_t> cleanCodes; // what a clean run reports
    std::string cleanState;                // a forgiving operation's card after a clean run
};

TEST_P(FaultSweep, EveryHardwareCallFailedInTurnReturnsZeroReleasesTheLockAndLeavesTheCardUsable)
{
    if (operation().sequencedOnly && !sequenced()) {
        GTEST_SKIP() << "the older firmware has no sequencer";
    }
    const std::vector<XAVO_SIM_CallRecord> calls = cleanRun();
    ASSERT_FALSE(calls.empty());
    std::uint32_t silent = 0;
    for (std::uint32_t k = 0; k < calls.size(); ++k) {
        SCOPED_TRACE(testing::Message() << operation().name << ": call " << k << " of " << calls.size()
                                        << " failed (operation " << calls[k].operation << ", address 0x" << std::hex
                                        << calls[k].address << ")");
        freshCard();
        ASSERT_FALSE(HasFatalFailure());
        const std::uint32_t rule = failCall(k);
        const std::uint32_t result = operation().run();
        EXPECT_EQ(XAVO_SIM_ReturnFaultRuleHits(rule), 1u) << "the run took another road before the fault";
        if (isBankHandBack(calls[k]) || operation().forgiving) {
            EXPECT_EQ(result, 1u);
        } else if (isPeripheralStepSelection(calls[k]) && result == 1) {
            EXPECT_EQ(peek(peripheralAddress(0x5C)) & kSelectedStepBits, pBoardStates[kCard].currentSequenceStep);
        } else {
            EXPECT_EQ(result, 0u);
        }
        const std::vector<std::uint32_t> codes = reportedErrors();
        for (const std::uint32_t code : codes) {
            EXPECT_TRUE(isKnownCode(code)) << "code 0x" << std::hex << code;
        }
        silent += codes == cleanCodes ? 1 : 0;

        // The lock is free: no hold left, and another thread takes it.
        ASSERT_EQ(pBoardStates[kCard].lockDepth, 0u);
        std::thread([] {
            KZ_Lock(kCard);
            KZ_Unlock(kCard);
        }).join();

        // The card is usable: the same operation without the fault succeeds.
        XAVO_SIM_RemoveFaultRule(rule);
        clearErrors();
        EXPECT_EQ(operation().run(), 1u);
        EXPECT_EQ(reportedErrors(), cleanCodes);
        if (operation().forgiving) {
            EXPECT_EQ(savedState(), cleanState);
        }
    }
    std::cout << operation().name << " (" << (sequenced() ? "sequenced" : "older") << " firmware): " << calls.size()
              << " fault points, " << silent << " of them fail without a code of the library's\n";
    std::error_code ignored;
    std::filesystem::remove(stateFilePath(), ignored);
    std::filesystem::remove(stateFilePath() + ".check.dab", ignored);
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultSweep,
                         ::testing::Combine(::testing::Values(kSequencedFirmware, kNonSequencedFirmware),
                                            ::testing::ValuesIn(kOperations)),
                         [](const auto& info) {
                             return std::string(std::get<1>(info.param).name) +
                                    (std::get<0>(info.param).dsp >= 0x200 ? "_Sequenced" : "_Older");
                         });

} // namespace
} // namespace kz::test
