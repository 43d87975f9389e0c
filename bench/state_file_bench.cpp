// A full state file (every section, 4096 curved-gate values) saved from one simulated card and
// loaded into another, against writing and reading the same bytes with plain buffered stdio,
// and against the card calls alone that a save and a load must make (the getters a save reads,
// the setters a load applies). A save or load should cost at most twice the plain I/O plus its
// card calls. The paired benchmarks run all three in turn in every iteration, timed on the
// thread's CPU clock, and report each in milliseconds and `budget`, the library's time over
// 2 x stdio + card calls (at most 1).
//   build/default/bin/state_file_bench
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "XAVOKZ.h"
#include "XAVOSimControl.h"
#include "frame/board_table.h"
#include "hardware/enumeration.h"
#include "library_fixture.h"
#include "persistence/state_file.h"

namespace {

using kz::state_file::Property;
using kz::state_file::Section;

constexpr std::uint32_t kSaved = 0;
constexpr std::uint32_t kLoaded = 1;

// Brings a card up as the initialisation leaves it for state files: calibrated ranges, a running
// sample clock and a one-point TCG curve.
bool bringUp(std::uint32_t card)
{
    kz::test::initialiseCard(card, kz::test::kSequencedFirmware);
    BoardState& board = *kz::boardInRange(card);
    if (KZ_GetEEPROMvalues(card) != 1) {
        return false;
    }
    for (std::uint32_t range = 0; range < KZ_NUMBER_OF_ANALOGUE_RANGES; ++range) {
        board.isRangeCalibrated[range] = (board.calibratedRangeMask >> range) & 1u;
    }
    const std::uint16_t onePoint = 0;
    return KZ_SetSamplingFrequency(card, 80000000) == 1 && KZ_SetTCGValues(card, &onePoint, 1) == 1;
}

// Card 0 configured in every section, card 1 brought up the same way; a file of card 0 saved.
class TwoCards {
public:
    TwoCards()
    {
        kz::unloadLibrary();
        XAVO_SIM_Reset();
        XAVO_SIM_ConfigureCards(2, XAVO_HAL_DEVICE_ID_PRIMARY);
        kz::loadLibrary();
        ok_ = bringUp(kSaved) && bringUp(kLoaded) && configure(kSaved);
        folder_ = std::filesystem::temp_directory_path() / ("xavokz-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        ok_ = ok_ && KZ_SaveState(kSaved, path("library").c_str(), KZ_SFSAll) == 1;
        if (ok_) {
            std::ifstream in(path("library.dab"), std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            bytes_ = text.str();
            for (std::size_t start = 0, end = 0; start < bytes_.size(); start = end) {
                end = bytes_.find('\n', start);
                end = end == std::string::npos ? bytes_.size() : end + 1;
                lines_.push_back(bytes_.substr(start, end - start));
            }
        }
    }
    ~TwoCards()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
        kz::unloadLibrary();
    }

    bool ok() const { return ok_; }
    std::string path(const std::string& name) const { return (folder_ / name).string(); }
    const std::string& bytes() const { return bytes_; }
    const std::vector<std::string>& lines() const { return lines_; }

private:
    static bool configure(std::uint32_t card)
    {
        bool ok = KZ_SetStartDelay(card, 1000) == 1 && KZ_SetNumberOfSamples(card, 512) == 1 &&
                  KZ_SetTCGTriggerEvent(card, 1) == 1 && KZ_SetTCGEnable(card, 1) == 1 &&
                  KZ_SetNumberOfAScansPerBScan(card, 4) == 1 && KZ_SetAnalogueInputRange(card, 3) == 1 &&
                  KZ_SetTriggerSelect(card, 1) == 1 && KZ_SetRepetitionTime(card, 4000) == 1 &&
                  KZ_SetEncoderSelect(card, 2) == 1;
        for (std::int32_t index : {0, 2, 5}) {
            GateDefinition gate{};
            gate.gateIndex = index;
            gate.start = 10 + index;
            gate.end = 200 + index;
            gate.threshold = 300;
            gate.triggerGate = KZ_GATE_TRIGGER_NONE;
            gate.distanceMetric = KZ_GDMPeak;
            gate.enabled = 1;
            gate.amplitudePeakSelect = KZ_GAPSLargestPeak;
            gate.distancePeakSelect = KZ_GDPSLargestPeak;
            ok = ok && KZ_AddGate(card, &gate) == 1;
        }
        std::vector<std::uint16_t> tcg(64);
        std::vector<std::uint16_t> elements(KZ_PINGPONG_SEQUENCE_LENGTH);
        std::vector<std::uint16_t> curve(KZ_CURVED_GATE_NUMBER_OF_VALUES);
        for (std::size_t i = 0; i < curve.size(); ++i) {
            curve[i] = static_cast<std::uint16_t>((i * 7) % 2048);
        }
        for (std::size_t i = 0; i < tcg.size(); ++i) {
            tcg[i] = static_cast<std::uint16_t>(i * 500);
        }
        for (std::size_t i = 0; i < elements.size(); ++i) {
            elements[i] = static_cast<std::uint16_t>((i * 5) % 128);
        }
        return ok && KZ_SetTCGValues(card, tcg.data(), static_cast<std::uint32_t>(tcg.size())) == 1 &&
               KZ_SetPingPongSequence(card, elements.data(), elements.data()) == 1 &&
               KZ_SetCurvedGateData(card, curve.data()) == 1;
    }

    bool ok_ = false;
    std::filesystem::path folder_;
    std::string bytes_;
    std::vector<std::string> lines_;
};

bool stdioWrite(const std::string& path, const std::vector<std::string>& lines)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool ok = true;
    for (const std::string& line : lines) {
        ok = std::fputs(line.c_str(), file) >= 0 && ok;
    }
    return std::fclose(file) == 0 && ok;
}

std::size_t stdioRead(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return 0;
    }
    std::size_t bytes = 0;
    for (int c = std::getc(file); c != EOF; c = std::getc(file)) {
        ++bytes;
    }
    std::fclose(file);
    return bytes;
}

// The card calls of a save: every row's getter, the walk over the sequence steps, the gates and
// the three tables.
struct SaveCalls {
    bool operator()() const;
};

bool SaveCalls::operator()() const
{
    std::uint32_t version = 0;
    bool ok = KZ_GetPeripheralFirmwareVersion(kSaved, &version) == 1;
    for (const Property& row : kz::state_file::properties()) {
        if (!kz::state_file::isWritten(row, version)) {
            continue;
        }
        std::uint32_t value = 0;
        if (row.form == kz::state_file::Form::OversampleList) {
            std::uint32_t step = 0;
            KZ_GetSequenceStep(kSaved, &step);
            for (std::uint32_t s = 0; s < KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS; ++s) {
                KZ_SetSequenceStep(kSaved, s);
                row.getter(kSaved, &value);
            }
            KZ_SetSequenceStep(kSaved, step);
        } else {
            ok = row.getter(kSaved, &value) == 1 && ok;
        }
    }
    const std::uint32_t gates = KZ_ReturnMaximumNumberOfGates(1);
    for (std::uint32_t g = 0; g < gates; ++g) {
        GateDefinition* gate = nullptr;
        ok = KZ_GetGate(kSaved, static_cast<std::int32_t>(g), &gate) == 1 && ok;
    }
    std::uint16_t* table = nullptr;
    std::uint16_t* second = nullptr;
    std::uint32_t count = 0;
    ok = KZ_GetTCGValues(kSaved, &table, &count) == 1 && ok;
    ok = KZ_GetPingPongSequence(kSaved, &table, &second) == 1 && ok;
    return KZ_GetCurvedGateData(kSaved, &table) == 1 && ok;
}

// The card calls a load of that file makes, with the values the file holds: each settings
// section up to its first key that cannot be set by name, the gates, and the three tables.
struct LoadCalls {
    std::vector<std::pair<std::string, std::uint32_t>> settings; // by section, each ended by its refused key
    std::vector<GateDefinition> gates;
    std::vector<std::uint16_t> tcg;
    std::vector<std::uint16_t> elements;
    std::vector<std::uint16_t> order;
    std::vector<std::uint16_t> curve;

    // Taken from the card that was saved.
    LoadCalls()
    {
        std::uint32_t version = 0;
        KZ_GetPeripheralFirmwareVersion(kSaved, &version);
        for (const Section section : {Section::System, Section::Sampling, Section::Peripheral}) {
            for (const Property& row : kz::state_file::properties()) {
                if (row.section != section || !kz::state_file::isWritten(row, version)) {
                    continue;
                }
                std::uint32_t value = 0;
                row.getter(kSaved, &value);
                settings.emplace_back(row.name, value);
                if (row.setter == nullptr) {
                    break;
                }
            }
        }
        for (std::int32_t g = 0; g < static_cast<std::int32_t>(KZ_ReturnMaximumNumberOfGates(1)); ++g) {
            GateDefinition gate{};
            if (KZ_GetGate2(kSaved, 0, g, &gate) == 1 && gate.enabled != 0) {
                gates.push_back(gate);
            }
        }
        std::uint16_t* values = nullptr;
        std::uint16_t* second = nullptr;
        std::uint32_t count = 0;
        KZ_GetTCGValues(kSaved, &values, &count);
        tcg.assign(values, values + count);
        KZ_GetPingPongSequence(kSaved, &values, &second);
        elements.assign(values, values + KZ_PINGPONG_SEQUENCE_LENGTH);
        order.assign(second, second + KZ_PINGPONG_SEQUENCE_LENGTH);
        KZ_GetCurvedGateData(kSaved, &values);
        curve.assign(values, values + KZ_CURVED_GATE_NUMBER_OF_VALUES);
    }

    bool operator()() const
    {
        std::uint32_t version = 0;
        for (int section = 0; section < 3; ++section) {
            KZ_GetPeripheralFirmwareVersion(kLoaded, &version);
        }
        for (const auto& [name, value] : settings) {
            KZ_SetValue(kLoaded, name.c_str(), value);
        }
        bool ok = true;
        for (const GateDefinition& gate : gates) {
            ok = KZ_AddGate(kLoaded, &gate) == 1 && ok;
        }
        return KZ_SetTCGValues(kLoaded, tcg.data(), static_cast<std::uint32_t>(tcg.size())) == 1 &&
               KZ_SetPingPongSequence(kLoaded, elements.data(), order.data()) == 1 &&
               KZ_SetCurvedGateData(kLoaded, curve.data()) == 1 && ok;
    }
};

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void SaveThroughTheLibrary(benchmark::State& state)
{
    const TwoCards cards;
    const std::string path = cards.path("saved");
    for (auto _ : state) {
        if (!cards.ok() || KZ_SaveState(kSaved, path.c_str(), KZ_SFSAll) != 1) {
            state.SkipWithError("the save failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * cards.bytes().size()));
}
BENCHMARK(SaveThroughTheLibrary)->Unit(benchmark::kMillisecond);

void WriteTheSameBytesWithStdio(benchmark::State& state)
{
    const TwoCards cards;
    const std::string path = cards.path("stdio.dab");
    for (auto _ : state) {
        if (!cards.ok() || !stdioWrite(path, cards.lines())) {
            state.SkipWithError("the write failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * cards.bytes().size()));
}
BENCHMARK(WriteTheSameBytesWithStdio)->Unit(benchmark::kMillisecond);

void LoadThroughTheLibrary(benchmark::State& state)
{
    const TwoCards cards;
    const std::string path = cards.path("library.dab");
    for (auto _ : state) {
        if (!cards.ok() || KZ_LoadState(kLoaded, path.c_str(), KZ_SFSAll) != 1) {
            state.SkipWithError("the load failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * cards.bytes().size()));
}
BENCHMARK(LoadThroughTheLibrary)->Unit(benchmark::kMillisecond);

void ReadTheSameBytesWithStdio(benchmark::State& state)
{
    const TwoCards cards;
    const std::string path = cards.path("library.dab");
    for (auto _ : state) {
        if (!cards.ok() || stdioRead(path) == 0) {
            state.SkipWithError("the read failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * cards.bytes().size()));
}
BENCHMARK(ReadTheSameBytesWithStdio)->Unit(benchmark::kMillisecond);

// One operation, its plain I/O and its card calls in turn in every iteration.
template <typename Calls, typename Library, typename Stdio>
void paired(benchmark::State& state, Library library, Stdio stdio)
{
    const TwoCards cards;
    const Calls calls;
    double libraryTime = 0;
    double stdioTime = 0;
    double callsTime = 0;
    for (auto _ : state) {
        const double start = threadCpuSeconds();
        const bool libraryOk = cards.ok() && library(cards);
        const double afterLibrary = threadCpuSeconds();
        const bool stdioOk = stdio(cards);
        const double afterStdio = threadCpuSeconds();
        const bool callsOk = calls();
        const double end = threadCpuSeconds();
        if (!libraryOk || !stdioOk || !callsOk) {
            state.SkipWithError("a step failed");
            break;
        }
        libraryTime += afterLibrary - start;
        stdioTime += afterStdio - afterLibrary;
        callsTime += end - afterStdio;
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["library_ms"] = 1e3 * libraryTime / runs;
    state.counters["stdio_ms"] = 1e3 * stdioTime / runs;
    state.counters["card_calls_ms"] = 1e3 * callsTime / runs;
    const double allowed = 2 * stdioTime + callsTime;
    state.counters["budget"] = allowed > 0 ? libraryTime / allowed : 0;
}

void SaveAgainstStdioAndGetters(benchmark::State& state)
{
    paired<SaveCalls>(
        state,
        [](const TwoCards& cards) { return KZ_SaveState(kSaved, cards.path("saved").c_str(), KZ_SFSAll) == 1; },
        [](const TwoCards& cards) { return stdioWrite(cards.path("stdio.dab"), cards.lines()); });
}
BENCHMARK(SaveAgainstStdioAndGetters)->Unit(benchmark::kMillisecond);

void LoadAgainstStdioAndSetters(benchmark::State& state)
{
    paired<LoadCalls>(
        state,
        [](const TwoCards& cards) { return KZ_LoadState(kLoaded, cards.path("library.dab").c_str(), KZ_SFSAll) == 1; },
        [](const TwoCards& cards) { return stdioRead(cards.path("library.dab")) != 0; });
}
BENCHMARK(LoadAgainstStdioAndSetters)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // A load reports the informational keys that end each settings section; keep them off the
    // console.
    setenv("XAVO_ERROR_QUIET", "1", 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
