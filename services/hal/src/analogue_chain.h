// The card's input chain: the voltages at the selected input through the analogue front end
// (range gain, gain error and trim, offset, converter noise; the card's own sources on inputs
// 2, 3 and the auxiliary inputs) and the time-corrected gain of the A-scan's sequence step.
//
// TCG, while the step's control word (sampling 0x60) has it enabled (bit 1): sample i of the
// A-scan, counted with its oversamples, takes point floor(i / ratio) of the step's block of the
// TCG table (8192 points per step, or the older generation's single table of 32768), the ratio
// being bits 4-7 + 1; a point of value v scales the signal by (v - 255) x 80 / 255 dB, so 255
// changes nothing. With trigger event 1 (bit 0) the curve starts at gate 0's first crossing and
// holds its first point until then; without an enabled gate 0, or without a crossing, it never
// starts.
#pragma once

#include <cstdint>
#include <vector>

#include "analogue_model.h"
#include "sample_source.h"
#include "tcg_table.h"

namespace xavo::sim {

class AnalogueInputChain final : public InputChain {
public:
    // Both are the card's own and outlive the chain.
    AnalogueInputChain(AnalogueModel& model, const TcgTable& tcg) : model_(model), tcg_(tcg) {}

    void convert(const ChainSettings& chain, const double* volts, std::uint32_t count, std::uint32_t firstIndex,
                 std::uint32_t stride, std::int32_t* codes) override;

    // The gain factor of a TCG point value.
    static double tcgGainOf(std::uint32_t pointValue);

private:
    // The sample at which the TCG curve starts: 0, or gate 0's crossing with trigger event 1.
    std::uint32_t curveStart(const ChainSettings& chain, const AnalogueOperatingPoint& point, const double* volts,
                             std::uint32_t count);

    AnalogueModel& model_;
    const TcgTable& tcg_;
    std::vector<std::int32_t> levels_;  // gate 0's view of one oversample, without TCG or noise
};

}  // namespace xavo::sim
