// Hot paths of the card library, measured on the simulated card: the message look-up, a
// register write through the register layer, a read-modify-write of a field, and a full
// recomputation of the scan memory layout.
#include <benchmark/benchmark.h>

#include "XAVOKZ.h"
#include "XAVOSimControl.h"
#include "acquisition/memory_layout.h"
#include "frame/card_lock.h"
#include "frame/error_table.h"
#include "hardware/enumeration.h"
#include "hardware/registers.h"
#include "library_fixture.h"

namespace {

// Card 0 loaded and initialised with the sequenced firmware, once per benchmark.
class InitialisedCard {
public:
    InitialisedCard()
    {
        kz::unloadLibrary();
        XAVO_SIM_Reset();
        kz::loadLibrary();
        kz::test::initialiseCard(0, kz::test::kSequencedFirmware);
        XAVO_SIM_ClearCallLog();
    }
    ~InitialisedCard() { kz::unloadLibrary(); }
};

void CodeStringOfAnUnknownCode(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(kz::codeString(0x1200));
    }
}
BENCHMARK(CodeStringOfAnUnknownCode);

void SamplingRegisterWrite(benchmark::State& state)
{
    const InitialisedCard card;
    std::uint32_t value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(KZ_SetSamplingRegister(0, kz::reg::smp::kRectifier, value++ & 3));
    }
}
BENCHMARK(SamplingRegisterWrite);

void FieldReadModifyWrite(benchmark::State& state)
{
    const InitialisedCard card;
    std::uint32_t value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kz::setField(kz::Bank::Sampling, 0, kz::reg::smp::kSampleControl,
                                              kz::reg::smp::kDropCount, value++ & 0xF));
    }
}
BENCHMARK(FieldReadModifyWrite);

void LayoutRecomputation(benchmark::State& state)
{
    const InitialisedCard card;
    KZ_SetNumberOfBScansPerBankIsAutomatic(0, 1);
    for (auto _ : state) {
        const kz::CardGuard guard(0);
        kz::layout::updateSampleParameters(0);
    }
}
BENCHMARK(LayoutRecomputation);

} // namespace

BENCHMARK_MAIN();
