// The curved gate: a threshold for every one of KZ_CURVED_GATE_NUMBER_OF_VALUES points along the
// A-scan, loaded into the card through the sampling bank's data port.
#pragma once

#include <cstdint>

#include "XAVOKZ.h"

namespace kz {

inline constexpr std::uint16_t kMaximumCurvedGateThreshold = 2047;

// Checks every value, then writes the table to the card and keeps a copy in the record.
// Runs under the caller's lock.
std::uint32_t setCurvedGateData(BoardState& board, std::uint32_t cardIndex, const std::uint16_t* values);

} // namespace kz
