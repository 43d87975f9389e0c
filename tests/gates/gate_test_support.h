// Gate definitions and looks at the simulated card's gate registers and slots.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "XAVOKZ.h"
#include "XAVOSimControl.h"
#include "frame/board_table.h"
#include "hardware/registers.h"
#include "library_fixture.h"
#include "sim_access.h"

namespace kz::test {

using Errors = std::vector<std::uint32_t>;

inline constexpr std::uint32_t kGateWindow = peripheralAddress(reg::per::kGateWindow);
inline constexpr std::uint32_t kGateAttributes = peripheralAddress(reg::per::kGateAttributes);
inline constexpr std::uint32_t kGateLoad = peripheralAddress(reg::per::kGateLoad);
inline constexpr std::uint32_t kSequencer = peripheralAddress(reg::per::kSequencer);
inline constexpr std::uint32_t kSamplingStep = samplingAddress(reg::smp::kSequenceStep);
inline constexpr std::uint32_t kPeripheralStep = peripheralAddress(reg::per::kSequenceStep);
inline constexpr std::uint32_t kEnabledBit = 1u << 23;

inline BoardState& card0() { return *boardInRange(0); }

// An enabled gate that passes every check: threshold 100, no trigger gate, peak metrics.
inline GateDefinition enabledGate(std::int32_t index, std::int32_t start, std::int32_t end)
{
    GateDefinition gate{};
    gate.gateIndex = index;
    gate.start = start;
    gate.end = end;
    gate.threshold = 100;
    gate.triggerGate = KZ_GATE_TRIGGER_NONE;
    gate.distanceMetric = KZ_GDMPeak;
    gate.enabled = 1;
    gate.amplitudePeakSelect = KZ_GAPSLargestPeak;
    gate.distancePeakSelect = KZ_GDPSLargestPeak;
    return gate;
}

inline std::uint32_t addGate(GateDefinition gate) { return KZ_AddGate(0, &gate); }

// What the card latched into gate slot [step][gate].
struct Slot {
    std::uint32_t window = 0xDEADBEEF;
    std::uint32_t attributes = 0xDEADBEEF;
};

inline Slot cardSlot(std::uint32_t step, std::uint32_t gate)
{
    Slot slot;
    EXPECT_EQ(XAVO_SIM_GetGateSlot(0, step, gate, &slot.window, &slot.attributes), 1u)
        << "step " << step << " gate " << gate;
    return slot;
}

inline std::uint32_t gateRegisterWrites() { return writesTo(kGateWindow) + writesTo(kGateAttributes) + writesTo(kGateLoad); }

inline bool sameGate(const GateDefinition& a, const GateDefinition& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace kz::test
