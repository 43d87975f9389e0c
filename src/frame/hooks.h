// The three per-card lists of host callbacks.
#pragma once

#include <cstdint>

#include "XAVOKZ.h"

namespace kz {

// Allocates the three hook arrays of a card (room for KZ_MAXIMUM_NUMBER_OF_HOOKS each) with
// counts 0. Returns false, with nothing allocated, when an allocation fails. Arrays that exist
// already are kept and emptied.
bool allocateHooks(BoardState& board);
// Frees the three arrays and sets their counts to 0.
void freeHooks(BoardState& board);

// Calls every registered hook of a list in registration order; null entries are skipped.
// The caller holds the card's lock.
void callUpdateSampleParametersHooks(std::uint32_t cardIndex);
void callGetEncoderOutputHooks(std::uint32_t cardIndex, std::uint32_t encoderIndex, std::uint32_t* value);
void callResetEncoderOutputHooks(std::uint32_t cardIndex, std::uint32_t encoderIndex);

} // namespace kz
