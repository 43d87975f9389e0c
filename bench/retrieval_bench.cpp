// Scan retrieval on the simulated card: a B-scan of 64 A-scans of 8000 16-bit samples moved by
// KZ_GetBScan, against a memcpy of the same bytes, with the card's capture of the B-scan
// measured on its own; and KZ_GetAScan per call.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "XAVODataCollectionControl.h"
#include "XAVOKZ.h"
#include "XAVORawScanControl.h"
#include "XAVOSimControl.h"
#include "hardware/enumeration.h"
#include "library_fixture.h"
#include "lifecycle/data_collection.h"

namespace {

constexpr std::uint32_t kPositions = 64;
constexpr std::uint32_t kSamples = 8000;
constexpr std::uint32_t kBytesPerAScan = 2 * kSamples;
constexpr std::uint64_t kBytesPerBScan = std::uint64_t{kPositions} * kBytesPerAScan;
// At 5000 A-scans per second a B-scan of 64 A-scans takes 12.8 ms of card time.
constexpr std::uint64_t kCaptureNanoseconds = 13'000'000;

// Card 0 of the older firmware (128 positions), bound, pulsing at 5000 A-scans per second into
// banks of one B-scan of `positions` A-scans of `samples` 16-bit ramp samples.
class CapturingCard {
public:
    CapturingCard(std::uint32_t positions, std::uint32_t samples)
    {
        kz::unloadLibrary();
        XAVO_SIM_Reset();
        DC_SIM_Reset();
        RawScan_SIM_Reset();
        kz::loadLibrary();
        kz::test::initialiseCard(0, kz::test::kNonSequencedFirmware);
        ok_ = KZ_SetSamplingFrequency(0, 66'000'000) == 1 && kz::dc::bind(0) == 1 && KZ_SetTriggerSelect(0, 1) == 1 &&
              KZ_SetRepetitionRate(0, 5000) == 1 && KZ_SetNumberOfBScansPerBankIsAutomatic(0, 0) == 1 &&
              KZ_SetSampleStorageMode(0, 0) == 1 && KZ_SetNumberOfSamples(0, samples) == 1 &&
              KZ_SetNumberOfAScansPerBScan(0, positions) == 1 && KZ_SetScanStorageOptions(0, 0) == 1 &&
              KZ_SetNumberOfBScansPerBank(0, 1) == 1 && XAVO_SIM_SetDataSource(0, XAVO_SIM_DATA_RAMP, 0) == 1;
        XAVO_SIM_ClearCallLog();
    }
    ~CapturingCard() { kz::unloadLibrary(); }
    bool ok() const { return ok_; }

    // Runs card time until the bank is held.
    static void capture(std::uint64_t nanoseconds = kCaptureNanoseconds) { XAVO_SIM_AdvanceCardTime(0, nanoseconds); }
    static void release() { kz::dc::indicateSampleDataDownloaded(0); }

private:
    bool ok_ = false;
};

struct BScanBuffers {
    std::vector<std::vector<std::uint8_t>> bytes;
    std::vector<void*> pointers;
    BScanBuffers()
    {
        bytes.assign(kPositions, std::vector<std::uint8_t>(kBytesPerAScan));
        for (auto& b : bytes) {
            pointers.push_back(b.data());
        }
    }
};

// The transfer alone: the bank is captured with the timing paused, so KZ_GetBScan finds it held.
void GetBScan64x8000(benchmark::State& state)
{
    const CapturingCard card(kPositions, kSamples);
    if (!card.ok()) {
        state.SkipWithError("card set-up failed");
        return;
    }
    BScanBuffers buffers;
    for (auto _ : state) {
        state.PauseTiming();
        CapturingCard::capture();
        state.ResumeTiming();
        if (KZ_GetBScan(0, buffers.pointers.data()) != 1) {
            state.SkipWithError("KZ_GetBScan failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytesPerBScan));
}
BENCHMARK(GetBScan64x8000)->Unit(benchmark::kMicrosecond);

// The same bytes copied by memcpy: the B-scan's A-scans, from a host copy of the card's memory,
// into the 64 A-scan buffers. Before each copy the card captures a B-scan with the timing
// paused, as before each KZ_GetBScan above, so both copies start from the same caches.
void MemcpyOfTheSameBytes(benchmark::State& state)
{
    const CapturingCard card(kPositions, kSamples);
    if (!card.ok()) {
        state.SkipWithError("card set-up failed");
        return;
    }
    std::vector<std::uint8_t> source(kBytesPerBScan + 4096);
    CapturingCard::capture();
    XAVO_SIM_ReadMemory(0, 0, source.data(), static_cast<std::uint32_t>(source.size()));
    BScanBuffers buffers;
    for (auto _ : state) {
        state.PauseTiming();
        CapturingCard::release();
        CapturingCard::capture();
        state.ResumeTiming();
        for (std::uint32_t k = 0; k < kPositions; ++k) {
            // Position k's record starts 4 + k (4 + 16000 + 4) bytes into the B-scan.
            std::memcpy(buffers.pointers[k], source.data() + 4 + std::uint64_t{k} * (kBytesPerAScan + 8), kBytesPerAScan);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytesPerBScan));
}
BENCHMARK(MemcpyOfTheSameBytes)->Unit(benchmark::kMicrosecond);

// The card's capture of the B-scan alone: 64 triggers rendering 8000 ramp samples each.
void CaptureOfTheBScan(benchmark::State& state)
{
    const CapturingCard card(kPositions, kSamples);
    if (!card.ok()) {
        state.SkipWithError("card set-up failed");
        return;
    }
    for (auto _ : state) {
        CapturingCard::capture();
        state.PauseTiming();
        CapturingCard::release();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytesPerBScan));
}
BENCHMARK(CaptureOfTheBScan)->Unit(benchmark::kMicrosecond);

// KZ_GetAScan of one 1000-sample A-scan: the copy and hand-back alone (bank captured with the
// timing paused), and the whole call including the wait in which the card captures the bank.
void GetAScanPerCall(benchmark::State& state)
{
    const bool withCapture = state.range(0) != 0;
    const CapturingCard card(1, 1000);
    if (!card.ok()) {
        state.SkipWithError("card set-up failed");
        return;
    }
    std::vector<std::uint8_t> buffer(4 + 2000);
    for (auto _ : state) {
        if (!withCapture) {
            state.PauseTiming();
            CapturingCard::capture(200'000);
            state.ResumeTiming();
        }
        if (KZ_GetAScan(0, buffer.data(), static_cast<std::uint32_t>(buffer.size()), 0, 0) != 1) {
            state.SkipWithError("KZ_GetAScan failed");
            break;
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(GetAScanPerCall)->Arg(0)->Arg(1)->ArgName("withCapture")->Unit(benchmark::kMicrosecond);

} // namespace


BENCHMARK_MAIN();
