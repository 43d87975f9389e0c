// Gates: the per-channel gate definitions and their limits.
#pragma once

#include <cstdint>

#include "XAVOKZ.h"

namespace kz {

inline constexpr std::uint32_t kGatesOfSequenceCompatibleFirmware = 6;
inline constexpr std::uint32_t kGatesOfOlderFirmware = 8;

constexpr std::uint32_t maximumNumberOfGates(std::uint32_t isSequenceCompatibleFirmware)
{
    return isSequenceCompatibleFirmware != 0 ? kGatesOfSequenceCompatibleFirmware : kGatesOfOlderFirmware;
}

// The definition a gate slot holds until a gate is added: disabled, no trigger gate, peak
// metrics.
GateDefinition defaultGate(std::uint32_t gateIndex);

} // namespace kz
