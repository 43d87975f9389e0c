// Selection of the sequence step that per-step settings are written to.
#pragma once

#include <cstdint>

#include "XAVOKZ.h"

namespace kz {

inline constexpr std::uint32_t kLastSequenceStep = KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS - 1;

// The step per-step settings of the card go to: currentSequenceStep with sequence-compatible
// firmware, 0 with the older generation.
inline std::uint32_t currentStep(const BoardState& board)
{
    return board.isSequenceCompatibleFirmware != 0 ? board.currentSequenceStep : 0;
}

// Selects `step` (0 to 31) on both the sampling and the peripheral side. The step is stored in
// the record before the registers are written; the result is that of the sampling-side write
// (the peripheral-side write's result is ignored). Refuses the older firmware generation with
// 0x6800 and a step above 31 with 0x6801. Runs under the caller's lock.
std::uint32_t setSequenceStep(BoardState& board, std::uint32_t cardIndex, std::uint32_t step);

// The step the card holds on the peripheral side (bits 0-4), read from the card; `step` is
// written only on success. Refuses the older generation with 0x6900. Runs under the caller's
// lock.
std::uint32_t getSequenceStep(const BoardState& board, std::uint32_t cardIndex, std::uint32_t* step);

} // namespace kz
