// Gates: the per-channel gate definitions, their validation, and their transfer to the card
// through the staging registers and the load hand-shake.
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

// The count offset k of a gate: the card counts a window from k samples on, where k is the
// start itself while it is below 3 (gate 0) or 4 (the other gates), else 3 or 4; taken as an
// unsigned 16-bit value.
std::uint32_t gateCountOffset(std::int32_t gateIndex, std::int32_t start);

// Adds (or, with `enabled` 0, disables) a gate of the current channel: validates it, stores it,
// recomputes the layout and writes it to the card, with a running sequencer paused throughout.
// Runs under the caller's lock.
std::uint32_t addGate(BoardState& board, std::uint32_t cardIndex, const GateDefinition& definition);

// Encodes the gate's attributes and writes them to the staging register. No lock.
std::uint32_t setGateAttributesRegister(std::uint32_t cardIndex, const GateDefinition& gate);

// Stages the gate as it is and loads it into the card. No lock.
std::uint32_t rawWriteGate(std::uint32_t cardIndex, const GateDefinition& gate);

// Stages gate `gateIndex` of every sequence step, each with its start and end divided by the
// step's oversample count, and loads them all at once. Selects the current step again at the
// end, also after a failed write. No lock.
std::uint32_t writeGateAllSteps(BoardState& board, std::uint32_t cardIndex, std::uint32_t gateIndex);

} // namespace kz
