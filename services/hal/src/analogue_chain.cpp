#include "analogue_chain.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "capture.h"

namespace xavo::sim {

namespace {

constexpr std::uint32_t kGainDac = 2;
constexpr std::uint32_t kOffsetDac = 3;

// Sampling 0x60, the TCG control word.
constexpr std::uint32_t kTcgTriggerEvent = 1u << 0;
constexpr std::uint32_t kTcgEnable = 1u << 1;
constexpr std::uint32_t kPointRatioShift = 4;
constexpr std::uint32_t kPointRatioBits = 0xF;

constexpr std::uint32_t kNeverStarts = ~0u;
constexpr double kNeutralPoint = TcgTable::kNeutralPoint;
constexpr double kDecibelsOfFullPoint = 80.0;

}  // namespace

double AnalogueInputChain::tcgGainOf(std::uint32_t pointValue) {
    const double decibels = (static_cast<double>(pointValue) - kNeutralPoint) * kDecibelsOfFullPoint / kNeutralPoint;
    return std::pow(10.0, decibels / 20.0);
}

std::uint32_t AnalogueInputChain::curveStart(const ChainSettings& chain, const AnalogueOperatingPoint& point,
                                             const double* volts, std::uint32_t count) {
    if ((chain.tcgControl & kTcgTriggerEvent) == 0) return 0;
    if (!chain.gate0Enabled) return kNeverStarts;
    levels_.resize(count);
    for (std::uint32_t j = 0; j < count; ++j)
        levels_[j] = static_cast<std::int32_t>(std::lround(AnalogueModel::levelOf(point, volts[j], 1.0)));
    std::array<std::int64_t, 16> crossings;
    crossings.fill(-1);
    const EnabledGate gate0{0, chain.gate0Window, chain.gate0Attributes};
    gateResult(gate0, levels_.data(), count, crossings);
    return crossings[0] < 0 ? kNeverStarts : static_cast<std::uint32_t>(crossings[0]);
}

void AnalogueInputChain::convert(const ChainSettings& chain, const double* volts, std::uint32_t count,
                                 std::uint32_t firstIndex, std::uint32_t stride, std::int32_t* codes) {
    const AnalogueOperatingPoint point =
        model_.operatingPoint(chain.analogueControl, chain.dacWords[kGainDac], chain.dacWords[kOffsetDac]);
    if ((chain.tcgControl & kTcgEnable) == 0) {
        for (std::uint32_t j = 0; j < count; ++j) codes[j] = model_.convert(point, volts[j], 1.0);
        return;
    }
    const std::uint32_t ratio = (chain.tcgControl >> kPointRatioShift & kPointRatioBits) + 1;
    const std::uint32_t blockPoints = chain.sequenceCompatible ? TcgTable::kPointsPerStep : tcg_.size();
    const std::uint64_t blockStart = chain.sequenceCompatible ? std::uint64_t{chain.step} * blockPoints : 0;
    const std::uint32_t start = curveStart(chain, point, volts, count);
    std::uint32_t lastValue = TcgTable::kNeutralPoint;
    double gain = 1.0;
    for (std::uint32_t j = 0; j < count; ++j) {
        // Before its start the curve holds its first point; past the block's end its last.
        const std::uint64_t sample = j < start ? 0 : std::uint64_t{j - start} * stride + firstIndex;
        const std::uint64_t index = blockStart + std::min<std::uint64_t>(sample / ratio, blockPoints - 1);
        const std::uint32_t value = index < tcg_.size() ? tcg_.point(static_cast<std::uint32_t>(index)) : lastValue;
        if (value != lastValue || j == 0) {
            lastValue = value;
            gain = tcgGainOf(value);
        }
        codes[j] = model_.convert(point, volts[j], gain);
    }
}

}  // namespace xavo::sim
