// Register traffic on two simulated cards through the library's exports: one thread per card
// against one thread doing both cards' traffic. Cards never wait for each other, so the two
// threads should come close to twice the single thread's rate on a machine with two free cores.
//
//   build/default/bin/two_card_bench --benchmark_repetitions=5
//
// Items are register operations (one export call each); compare items_per_second. The same pair
// of runs over work that shares nothing at all (sorting a private array) shows what the machine
// allows at the moment: on a busy machine neither pair reaches twice the single thread's rate.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <thread>

#include "XAVOKZ.h"
#include "XAVOSimControl.h"
#include "hardware/enumeration.h"
#include "hardware/registers.h"

namespace {

constexpr std::uint32_t kCards = 2;
// A plain read/write register of each bank the traffic touches: the sampling bank's trailing
// flank holdoff and the peripheral bank's pulse width (raw offset).
constexpr std::uint32_t kSamplingRegister = kz::reg::smp::kTrailingFlankHoldoff;
constexpr std::uint32_t kPeripheralRawRegister = KZ_PERIPHERAL_REGISTER_BASE + kz::reg::per::kPulseWidth;
constexpr std::int64_t kOperationsPerCard = 4;

// The library loaded with two simulated cards, both open.
void loadTwoCards()
{
    kz::unloadLibrary();
    XAVO_SIM_Reset();
    XAVO_SIM_ConfigureCards(kCards, XAVO_HAL_DEVICE_ID_PRIMARY);
    kz::loadLibrary();
    for (std::uint32_t card = 0; card < kCards; ++card) {
        KZ_PCIInitialise(card);
    }
}

// One round of traffic on one card: a write and a read-back in each of two banks.
bool cardTraffic(std::uint32_t card, std::uint32_t value)
{
    std::uint32_t sampling = 0;
    std::uint32_t peripheral = 0;
    const bool ok = KZ_SetSamplingRegister(card, kSamplingRegister, value) != 0 &&
                    KZ_GetSamplingRegister(card, kSamplingRegister, &sampling) != 0 &&
                    KZ_SetRegister(card, kPeripheralRawRegister, value & 0xFFF) != 0 &&
                    KZ_GetRegister(card, kPeripheralRawRegister, &peripheral) != 0;
    benchmark::DoNotOptimize(sampling);
    benchmark::DoNotOptimize(peripheral);
    return ok && sampling == value && peripheral == (value & 0xFFF);
}

void TwoCardsFromOneThread(benchmark::State& state)
{
    loadTwoCards();
    std::uint32_t value = 0;
    for (auto _ : state) {
        ++value;
        for (std::uint32_t card = 0; card < kCards; ++card) {
            if (!cardTraffic(card, value)) {
                state.SkipWithError("register traffic failed");
                break;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * kOperationsPerCard * kCards);
    kz::unloadLibrary();
}
BENCHMARK(TwoCardsFromOneThread)->UseRealTime();

// Each thread drives its own card. The set-up runs on the first thread before the timed loop,
// whose start every thread waits for.
void TwoCardsFromTwoThreads(benchmark::State& state)
{
    if (state.thread_index() == 0) {
        loadTwoCards();
    }
    const auto card = static_cast<std::uint32_t>(state.thread_index());
    std::uint32_t value = 0;
    for (auto _ : state) {
        if (!cardTraffic(card, ++value)) {
            state.SkipWithError("register traffic failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kOperationsPerCard);
    if (state.thread_index() == 0) {
        kz::unloadLibrary();
    }
}
BENCHMARK(TwoCardsFromTwoThreads)->Threads(kCards)->UseRealTime();

// Work that shares nothing between threads: each sorts its own small array.
void sortPrivateArray(std::uint32_t seed)
{
    std::array<std::uint32_t, 256> values{};
    for (std::uint32_t& v : values) {
        seed = seed * 1664525u + 1013904223u;
        v = seed;
    }
    std::sort(values.begin(), values.end());
    benchmark::DoNotOptimize(values.data());
}

void UnsharedWorkFromOneThread(benchmark::State& state)
{
    std::uint32_t seed = 0;
    for (auto _ : state) {
        sortPrivateArray(++seed);
        sortPrivateArray(++seed);
    }
    state.SetItemsProcessed(state.iterations() * kCards);
}
BENCHMARK(UnsharedWorkFromOneThread)->UseRealTime();

void UnsharedWorkFromTwoThreads(benchmark::State& state)
{
    auto seed = static_cast<std::uint32_t>(state.thread_index()) << 24;
    for (auto _ : state) {
        sortPrivateArray(++seed);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(UnsharedWorkFromTwoThreads)->Threads(kCards)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    // A process that has never started a thread takes cheaper locks (the C library skips the
    // atomic instructions), which would flatter the single thread against two. A host that
    // drives cards from several threads never runs that way, so both figures are taken after a
    // thread has run.
    std::thread([] {}).join();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
