// Host threads on two cards at once, for a bounded number of rounds each: card 0 acquires (B-scans
// and A-scans through the data-collection service) while another thread reads its settings under
// nested locks and without them; card 1 is reconfigured through the setters of every subsystem
// while another thread reads it, with the lock held across several calls and with the getters
// that take no lock, and a third saves it to a state file; a sixth thread reads the error log
// that the others write. Every thread
// checks what it gets; run under the thread sanitizer, every access is also checked for races.
//
// The threads are rows of one table of roles: a new kind of concurrent caller is a new row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "XAVOKZ.h"
#include "XAVOSimControl.h"
#include "bound_card_fixture.h"
#include "frame/error_codes.h"
#include "library_fixture.h"
#include "lifecycle/data_collection.h"

namespace kz::test {
namespace {

constexpr std::uint32_t kAcquiringCard = 0;
constexpr std::uint32_t kReconfiguredCard = 1;
// Rounds of every thread; XAVO_STRESS_ROUNDS changes it for a longer run.
constexpr std::uint32_t kDefaultRounds = 400;

// The acquiring card's B-scans: three positions of 16-bit ramp data, one B-scan a bank.
const std::vector<Position> kPositions{{64}, {32}, {16}};

std::uint32_t rounds()
{
    const char* text = std::getenv("XAVO_STRESS_ROUNDS");
    const long value = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    return value > 0 ? static_cast<std::uint32_t>(value) : kDefaultRounds;
}

// ------------------------------------------------------------------ what the threads do

// Card 0: a B-scan, then each position's A-scan, all carrying the ramp the card captured.
void acquire(std::uint32_t round)
{
    std::vector<std::vector<std::uint8_t>> buffers;
    std::vector<void*> pointers;
    for (const Position& p : kPositions) {
        buffers.emplace_back(p.samples * 2, 0xEE);
        pointers.push_back(buffers.back().data());
    }
    ASSERT_EQ(KZ_GetBScan(kAcquiringCard, pointers.data()), 1u) << "round " << round;
    for (std::uint32_t k = 0; k < kPositions.size(); ++k) {
        std::vector<std::uint8_t> expected = rampRecord(0, k, kPositions[k], kStorage16Bit);
        expected.resize(buffers[k].size()); // a B-scan moves each position's sample bytes from its header on
        EXPECT_EQ(buffers[k], expected) << "position " << k;
    }
    const std::uint32_t k = round % kPositions.size();
    const std::vector<std::uint8_t> expected = rampRecord(0, k, kPositions[k], kStorage16Bit);
    std::vector<std::uint8_t> got(expected.size(), 0xEE);
    ASSERT_EQ(KZ_GetAScan(kAcquiringCard, got.data(), static_cast<std::uint32_t>(got.size()), k, 0), 1u);
    EXPECT_EQ(got, expected);
}

// The layout queries and the trigger source, read without the card's lock as the
// data-collection service and a careless host read them.
void readWithoutLock(std::uint32_t card)
{
    std::uint32_t source = 0;
    EXPECT_EQ(KZ_GetTriggerSelect(card, &source), 1u);
    EXPECT_LE(source, 3u);
    for (std::uint32_t k = 0; k < 4; ++k) {
        KZ_ReturnOversampleCountThisStep(card, k);
        KZ_ReturnAScanSampleValuesThisStep(card, k);
        KZ_ReturnAScanOffsetThisStep(card, k);
        KZ_ReturnGateOffsetThisStep(card, k);
        KZ_ReturnSnapshotSelectionForGate(card, k, 1);
    }
    KZ_ReturnAScanBytesPerBScan(card);
    KZ_ReturnGateBytesPerBScan(card);
    KZ_ReturnIsSignAndMag(card);
}

// Card 0 is not reconfigured: under the lock, held twice across calls, it reads as it was shaped.
void readAcquiringCard(std::uint32_t)
{
    KZ_Lock(kAcquiringCard);
    KZ_Lock(kAcquiringCard);
    EXPECT_EQ(pBoardStates[kAcquiringCard].lockDepth, 2u);
    std::uint32_t value = 0;
    EXPECT_EQ(KZ_GetSampleStorageMode(kAcquiringCard, &value), 1u);
    EXPECT_EQ(value, kStorage16Bit);
    EXPECT_EQ(KZ_GetStepsInSequence(kAcquiringCard, &value), 1u);
    EXPECT_EQ(value, kPositions.size());
    KZ_Unlock(kAcquiringCard);
    EXPECT_EQ(pBoardStates[kAcquiringCard].lockDepth, 1u);
    EXPECT_EQ(KZ_GetNumberOfBScansPerBank(kAcquiringCard, &value), 1u);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(KZ_ReturnAScanSampleValuesThisStep(kAcquiringCard, 1), kPositions[1].samples);
    KZ_Unlock(kAcquiringCard);
    readWithoutLock(kAcquiringCard);
}

// One setter of each subsystem per call, in turn; each is given a value it accepts.
void reconfigure(std::uint32_t round)
{
    constexpr std::uint32_t card = kReconfiguredCard;
    const std::uint32_t odd = round % 2;
    const std::uint32_t cycle = round % 100; // values that stay in range however many rounds run
    GateDefinition gate{};
    gate.gateIndex = 1;
    gate.start = 100 + static_cast<std::int32_t>(cycle);
    gate.end = 400;
    gate.threshold = 500;
    gate.triggerGate = KZ_GATE_TRIGGER_NONE;
    gate.distanceMetric = KZ_GDMPeak;
    gate.enabled = 1;
    gate.amplitudePeakSelect = KZ_GAPSLargestPeak;
    gate.distancePeakSelect = KZ_GDPSLargestPeak;
    gate.snapshotSelection = static_cast<std::int32_t>(round % 6);
    const std::vector<std::uint16_t> curve(16, static_cast<std::uint16_t>(200 + cycle));

    const struct {
        const char* name;
        std::function<std::uint32_t()> call;
    } setters[] = {
        {"sequence step", [&] { return KZ_SetSequenceStep(card, odd); }},
        {"oversamples", [&] { return KZ_SetNumberOfOversamples(card, 1 + odd); }},
        {"samples", [&] { return KZ_SetNumberOfSamples(card, 64 + 32 * (round % 4)); }},
        {"start delay", [&] { return KZ_SetStartDelay(card, 10 * cycle); }},
        {"drop count", [&] { return KZ_SetDropNumberOfSamples(card, odd); }},
        {"storage mode", [&] { return KZ_SetSampleStorageMode(card, odd); }},
        {"rectifier", [&] { return KZ_SetRectifierMode(card, round % 3); }},
        {"steps in sequence", [&] { return KZ_SetStepsInSequence(card, 1 + odd); }},
        {"scan storage option", [&] { return KZ_SetScanStorageOptions(card, odd * 2); }},
        {"B-scans per bank", [&] { return KZ_SetNumberOfBScansPerBank(card, 1 + round % 8); }},
        {"repetition rate", [&] { return KZ_SetRepetitionRate(card, 1000 + 10 * cycle); }},
        {"trigger source", [&] { return KZ_SetTriggerSelect(card, round % 3); }},
        {"sync pulse", [&] { return KZ_SetSyncPulseMode(card, odd); }},
        {"encoder clicks", [&] { return KZ_SetNumberOfEncoderClicksPerBScan(card, 1 + cycle); }},
        {"encoder select", [&] { return KZ_SetEncoderSelect(card, round % 4); }},
        {"encoder reset", [&] { return KZ_SetResetEncoderOutput(card, round % 4); }},
        {"aperture", [&] { return KZ_SetSensorArrayApertureSize(card, round % 4); }},
        {"ping-pong element", [&] { return KZ_SetPingPongSequenceElement(card, round % 64, round % 128, 0); }},
        {"system I/O", [&] { return KZ_SetSystemIOBank0(card, round); }},
        {"peripheral I/O", [&] { return KZ_SetPeripheralIOBank0(card, round); }},
        {"input coupling", [&] { return KZ_SetInputCoupling(card, odd); }},
        {"zero offset", [&] { return KZ_SetZeroOffset(card, static_cast<std::int32_t>(cycle) - 50); }},
        {"gate", [&] { return KZ_AddGate(card, &gate); }},
        {"TCG curve", [&] { return KZ_SetTCGValues(card, curve.data(), static_cast<std::uint32_t>(curve.size())); }},
        {"TCG enable", [&] { return KZ_SetTCGEnable(card, odd); }},
    };
    for (const auto& setter : setters) {
        EXPECT_EQ(setter.call(), 1u) << setter.name << ", round " << round;
    }
}

// Card 1 while it is reconfigured: with the lock held across calls no setter comes between two
// reads, and the TCG copy the library hands out stays valid until the lock is given up.
void readReconfiguredCard(std::uint32_t)
{
    constexpr std::uint32_t card = kReconfiguredCard;
    KZ_Lock(card);
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    EXPECT_EQ(KZ_GetRepetitionRate(card, &first), 1u);
    KZ_Lock(card);
    EXPECT_EQ(pBoardStates[card].lockDepth, 2u);
    std::uint16_t* values = nullptr;
    std::uint32_t count = 0;
    EXPECT_EQ(KZ_GetTCGValues(card, &values, &count), 1u);
    if (values != nullptr && count > 0) {
        EXPECT_TRUE(std::all_of(values, values + count, [&](std::uint16_t v) { return v == values[0]; }));
    }
    GateDefinition gate{};
    EXPECT_EQ(KZ_GetGate2(card, 0, 1, &gate), 1u);
    KZ_Unlock(card);
    EXPECT_EQ(KZ_GetRepetitionRate(card, &second), 1u);
    EXPECT_EQ(first, second);
    std::uint32_t value = 0;
    EXPECT_EQ(KZ_GetNumberOfSamples(card, &value), 1u);
    EXPECT_EQ(KZ_GetStartDelay(card, &value), 1u);
    EXPECT_EQ(KZ_GetEncoderSelect(card, &value), 1u);
    EXPECT_EQ(KZ_GetSensorArrayApertureSize(card, &value), 1u);
    KZ_Unlock(card);
    EXPECT_EQ(KZ_GetSyncPulseMode(card, &value), 1u);
    // A wrong argument is reported: the error log thread has lines to read.
    EXPECT_EQ(KZ_GetGate2(card, KZ_NUMBER_OF_GATE_CHANNELS, 0, &gate), 0u);
    readWithoutLock(card);
}

// The file the save thread writes card 1's settings to; set before the threads start.
std::string savePath;

// Card 1 saved whole while it is reconfigured and read: the save holds the card's lock from the
// file's first line to its last, and its walk over the sequence steps gives the selected step
// back.
void saveReconfiguredCard(std::uint32_t round)
{
    constexpr std::uint32_t card = kReconfiguredCard;
    ASSERT_EQ(KZ_SaveState(card, savePath.c_str(), KZ_SFSAll), 1u) << "round " << round;
    std::ifstream in(savePath, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_TRUE(text.starts_with("[SystemSubsystem]\r\n")) << "round " << round;
    EXPECT_NE(text.find("\r\n[Gates]\r\n"), std::string::npos) << "round " << round;
}

void readErrorLog(std::uint32_t)
{
    const std::uint32_t lines = KZ_ReturnNumberOfErrorLogLines();
    char text[256];
    for (std::uint32_t i = lines > 3 ? lines - 3 : 0; i < lines; ++i) {
        KZ_GetErrorLogLine(i, text, sizeof text); // the log may have been cut meanwhile
    }
    const std::uint32_t last = KZ_GetLastError();
    EXPECT_NE(KZ_GetCodeString(last), nullptr);
    KZ_ReturnBoardStatePointer(99); // and one more line
}

// ------------------------------------------------------------------ the table of roles

struct Role {
    const char* name;
    void (*round)(std::uint32_t round);
};

constexpr Role kRoles[] = {
    {"acquire on card 0", acquire},
    {"read card 0", readAcquiringCard},
    {"reconfigure card 1", reconfigure},
    {"read card 1", readReconfiguredCard},
    {"save card 1", saveReconfiguredCard},
    {"read the error log", readErrorLog},
};

class Stress : public BoundCardFixture {
protected:
    Stress() { cardCount = 2; }

    void SetUp() override
    {
        BoundCardFixture::SetUp(); // card 0 captures and the service is bound
        XAVO_SIM_SetCallLogEnabled(0); // the counts stay; the record of every call is not needed
        shapeBScans(kStorage16Bit, kPositions);
        initialiseCard(kReconfiguredCard, firmware);
        ASSERT_EQ(KZ_SetSamplingFrequency(kReconfiguredCard, kSampleClockHz), 1u);
        ASSERT_EQ(KZ_SetNumberOfBScansPerBankIsAutomatic(kReconfiguredCard, 0), 1u);
        savePath = scratchFolder() + "/card1.dab";
        clearErrors();
    }
};

TEST_F(Stress, TwoCardsWithSeveralThreadsEachAndAnErrorLogReader)
{
    const std::uint32_t n = rounds();
    const std::uint32_t releasesBefore = releases();
    std::latch start(static_cast<std::ptrdiff_t>(std::size(kRoles)));
    std::vector<std::thread> threads;
    for (const Role& role : kRoles) {
        threads.emplace_back([&start, &role, n] {
            start.arrive_and_wait();
            for (std::uint32_t round = 0; round < n && !::testing::Test::HasFatalFailure(); ++round) {
                SCOPED_TRACE(role.name);
                role.round(round);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    // Every B-scan and every A-scan handed its bank back.
    EXPECT_EQ(releases(), releasesBefore + 2 * n);
    // Every lock was given back.
    EXPECT_EQ(pBoardStates[kAcquiringCard].lockDepth, 0u);
    EXPECT_EQ(pBoardStates[kReconfiguredCard].lockDepth, 0u);
}

// Card 1 brought up by the library itself and shut down again, cycle after cycle, while card 0
// acquires and the error log is read: an initialisation and a shutdown never disturb another
// card's acquisition, and card 1 initialises again after every shutdown.
class StressLifecycle : public BoundCardFixture {
protected:
    StressLifecycle() { cardCount = 2; }

    void SetUp() override
    {
        BoundCardFixture::SetUp(); // card 0 captures and the service is bound; card 1 is not initialised
        XAVO_SIM_SetCallLogEnabled(0);
        shapeBScans(kStorage16Bit, kPositions);
        clearErrors();
    }
};

// Initialisation cycles of card 1: each takes a few hundred calibration steps, so fewer than the
// rounds of the other threads.
std::uint32_t initialisationCycles() { return std::max<std::uint32_t>(1, rounds() / 40); }

void initialiseAndShutDown(std::uint32_t cycle)
{
    ASSERT_EQ(KZ_Initialise(kReconfiguredCard), 1u) << "cycle " << cycle;
    std::uint32_t samples = 0;
    EXPECT_EQ(KZ_SetNumberOfSamples(kReconfiguredCard, 1000), 1u) << "cycle " << cycle;
    EXPECT_EQ(KZ_GetNumberOfSamples(kReconfiguredCard, &samples), 1u);
    EXPECT_EQ(samples, 1000u);
    ASSERT_EQ(KZ_Uninitialise(kReconfiguredCard), 1u) << "cycle " << cycle;
}

TEST_F(StressLifecycle, OneCardInitialisedAndShutDownAgainWhileTheOtherAcquires)
{
    const std::uint32_t n = rounds();
    const std::uint32_t cycles = initialisationCycles();
    const std::uint32_t releasesBefore = releases();
    const struct {
        const char* name;
        void (*round)(std::uint32_t);
        std::uint32_t count;
    } roles[] = {
        {"acquire on card 0", acquire, n},
        {"read card 0", readAcquiringCard, n},
        {"initialise and shut down card 1", initialiseAndShutDown, cycles},
        {"read the error log", readErrorLog, n},
    };
    std::latch start(static_cast<std::ptrdiff_t>(std::size(roles)));
    std::vector<std::thread> threads;
    for (const auto& role : roles) {
        threads.emplace_back([&start, &role] {
            start.arrive_and_wait();
            for (std::uint32_t round = 0; round < role.count && !::testing::Test::HasFatalFailure(); ++round) {
                SCOPED_TRACE(role.name);
                role.round(round);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(releases(), releasesBefore + 2 * n);
    EXPECT_EQ(pBoardStates[kAcquiringCard].lockDepth, 0u);
    EXPECT_EQ(pBoardStates[kReconfiguredCard].isInitialised, 0u);
}

} // namespace
} // namespace kz::test
