// A full 32768-point TCG load through the library against a bare loop of the same register
// calls made straight to the hardware-access library, in the same run, on the simulated card.
// The library's load should cost at most 1.3 times the bare loop; TcgLoadLibraryOverBare
// alternates the two and reports the ratio of their CPU times, which holds up on a busy machine
// better than comparing the two separate runs.
//   build/default/bin/tcg_load_bench
#include <benchmark/benchmark.h>

#include <cstdint>
#include <ctime>
#include <vector>

#include "XAVOCommonHAL.h"
#include "XAVOKZ.h"
#include "XAVOSimControl.h"
#include "hardware/enumeration.h"
#include "hardware/registers.h"
#include "library_fixture.h"

namespace {

constexpr std::uint32_t kPoints = KZ_MAXIMUM_NUMBER_OF_TCG_VALUES;
constexpr std::uint32_t kTcgControl = XAVO_HAL_REGISTER_BASE + KZ_SAMPLING_REGISTER_BASE + kz::reg::smp::kTcgControl;
constexpr std::uint32_t kTcgPort = XAVO_HAL_REGISTER_BASE + KZ_SAMPLING_REGISTER_BASE + kz::reg::smp::kTcgDataPort;
constexpr std::uint32_t kEnable = 1u << 1;
constexpr std::uint32_t kLoad = 1u << 31;

// Card 0 loaded and initialised with the sequenced firmware, once per benchmark.
class InitialisedCard {
public:
    InitialisedCard()
    {
        kz::unloadLibrary();
        XAVO_SIM_Reset();
        kz::loadLibrary();
        kz::test::initialiseCard(0, kz::test::kSequencedFirmware);
    }
    ~InitialisedCard() { kz::unloadLibrary(); }
};

std::vector<std::uint16_t> curve()
{
    std::vector<std::uint16_t> values(kPoints);
    for (std::uint32_t i = 0; i < kPoints; ++i) {
        values[i] = static_cast<std::uint16_t>(i & 0xFF);
    }
    return values;
}

void TcgLoadThroughTheLibrary(benchmark::State& state)
{
    const InitialisedCard card;
    const std::vector<std::uint16_t> values = curve();
    for (auto _ : state) {
        if (KZ_SetTCGValues(0, values.data(), kPoints) != 1) {
            state.SkipWithError("KZ_SetTCGValues failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(TcgLoadThroughTheLibrary)->Unit(benchmark::kMillisecond);

// The register calls the library's load makes: the enable bit read, TCG off and the table load
// on, the points, and the enable bit put back.
bool bareLoad(const std::vector<std::uint16_t>& values)
{
    std::uint32_t word = 0;
    bool ok = XAVO_HAL_GetWord(XAVO_HAL_KELZOR_TAG, 0, kTcgControl, &word) != 0;
    const std::uint32_t enabled = word & kEnable;
    ok = ok && XAVO_HAL_GetWord(XAVO_HAL_KELZOR_TAG, 0, kTcgControl, &word) != 0;
    word &= ~kEnable;
    ok = ok && XAVO_HAL_SetWord(XAVO_HAL_KELZOR_TAG, 0, kTcgControl, word) != 0;
    word |= kLoad;
    ok = ok && XAVO_HAL_SetWord(XAVO_HAL_KELZOR_TAG, 0, kTcgControl, word) != 0;
    for (std::uint32_t i = 0; ok && i < kPoints; ++i) {
        ok = XAVO_HAL_SetWord(XAVO_HAL_KELZOR_TAG, 0, kTcgPort, values[i]) != 0;
    }
    ok = ok && XAVO_HAL_GetWord(XAVO_HAL_KELZOR_TAG, 0, kTcgControl, &word) != 0;
    return ok && XAVO_HAL_SetWord(XAVO_HAL_KELZOR_TAG, 0, kTcgControl, (word & ~kEnable) | enabled) != 0;
}

void TcgLoadBareRegisterCalls(benchmark::State& state)
{
    const InitialisedCard card;
    const std::vector<std::uint16_t> values = curve();
    for (auto _ : state) {
        if (!bareLoad(values)) {
            state.SkipWithError("a register call failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(TcgLoadBareRegisterCalls)->Unit(benchmark::kMillisecond);

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Both loads in turn in every iteration, each timed on this thread's CPU clock, so that a busy
// machine slows both alike: library_ms and bare_ms per load, and their ratio.
void TcgLoadLibraryOverBare(benchmark::State& state)
{
    const InitialisedCard card;
    const std::vector<std::uint16_t> values = curve();
    double library = 0;
    double bare = 0;
    for (auto _ : state) {
        const double start = threadCpuSeconds();
        const bool loaded = KZ_SetTCGValues(0, values.data(), kPoints) == 1;
        const double middle = threadCpuSeconds();
        const bool bareLoaded = bareLoad(values);
        const double end = threadCpuSeconds();
        if (!loaded || !bareLoaded) {
            state.SkipWithError("a load failed");
            break;
        }
        library += middle - start;
        bare += end - middle;
    }
    const auto loads = static_cast<double>(state.iterations());
    state.counters["library_ms"] = 1e3 * library / loads;
    state.counters["bare_ms"] = 1e3 * bare / loads;
    state.counters["ratio"] = bare > 0 ? library / bare : 0;
}
BENCHMARK(TcgLoadLibraryOverBare)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
