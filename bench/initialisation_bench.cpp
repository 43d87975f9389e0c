// KZ_Initialise of the simulated card on the real clock, against the waits the sequence itself
// mandates: every sleep it makes (the pauses between hardware steps, the synthesiser mailbox's
// pauses and the 10 ms settle after each calibration D-to-A write) and the 1 us pause after each
// firmware word. The rest is the library's own work and the card's.
//   build/default/bin/initialisation_bench
// Reports per initialisation: `wall_ms` (the measured time), `mandated_ms` (the sum of those
// waits), `overhead_ms` (their difference) and `sleeps` (how many sleeps were made: on a loaded
// machine each may run over, which the CPU column, the work itself, does not show).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "XAVODataCollectionControl.h"
#include "XAVOKZ.h"
#include "XAVORawScanControl.h"
#include "XAVOSimControl.h"
#include "hardware/enumeration.h"
#include "library_fixture.h"
#include "lifecycle/firmware_download.h"
#include "platform/platform.h"

namespace {

// The system's clock, counting the sleeps made through it.
class SleepCountingClock final : public kz::platform::Clock {
public:
    bool queryFrequency(std::uint64_t* countsPerSecond) override
    {
        return kz::platform::systemClock().queryFrequency(countsPerSecond);
    }
    bool queryCounter(std::uint64_t* count) override { return kz::platform::systemClock().queryCounter(count); }
    void sleepMilliseconds(std::uint32_t milliseconds) override
    {
        sleptMilliseconds += milliseconds;
        ++sleeps;
        kz::platform::systemClock().sleepMilliseconds(milliseconds);
    }

    std::uint64_t sleptMilliseconds = 0;
    std::uint64_t sleeps = 0;
};

// Bytes of the configured firmware pair: one word and a 1 us pause each.
std::uintmax_t firmwareBytes()
{
    const std::string folder = kz::test::firmwareFolder();
    std::uint32_t dsp = 0;
    std::uint32_t per = 0;
    KZ_GetZUTAMFirmwareRevisions(&dsp, &per);
    std::error_code ignored;
    return std::filesystem::file_size(kz::samplingFirmwareFileName(folder, dsp), ignored) +
           std::filesystem::file_size(kz::peripheralFirmwareFileName(folder, per), ignored);
}

void InitialiseOnTheRealClock(benchmark::State& state)
{
    kz::unloadLibrary();
    XAVO_SIM_Reset();
    DC_SIM_Reset();
    RawScan_SIM_Reset();
    kz::loadLibrary();
    SleepCountingClock clock;
    kz::platform::setClock(&clock);

    double wallMs = 0;
    std::uint64_t initialisations = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const std::uint32_t initialised = KZ_Initialise(0);
        const auto end = std::chrono::steady_clock::now();
        if (initialised != 1) {
            state.SkipWithError("KZ_Initialise failed");
            break;
        }
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        wallMs += seconds * 1000.0;
        ++initialisations;
        // Sleeps of the shutdown are not the initialisation's; it makes none, but count only ours.
        const std::uint64_t slept = clock.sleptMilliseconds;
        const std::uint64_t sleeps = clock.sleeps;
        KZ_Uninitialise(0);
        clock.sleptMilliseconds = slept;
        clock.sleeps = sleeps;
    }
    if (initialisations != 0) {
        const double n = static_cast<double>(initialisations);
        const double mandatedMs =
            static_cast<double>(clock.sleptMilliseconds) / n + static_cast<double>(firmwareBytes()) / 1000.0;
        state.counters["wall_ms"] = wallMs / n;
        state.counters["mandated_ms"] = mandatedMs;
        state.counters["overhead_ms"] = wallMs / n - mandatedMs;
        // Each sleep may run over on a busy machine; the CPU column shows the work done.
        state.counters["sleeps"] = static_cast<double>(clock.sleeps) / n;
    }
    kz::platform::setClock(nullptr);
    kz::unloadLibrary();
}
BENCHMARK(InitialiseOnTheRealClock)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

BENCHMARK_MAIN();
