// Time-corrected gain: the TCG control register (one per sequence step with sequence-compatible
// firmware), the table the card plays out along each A-scan, and the record's copies of the
// curves.
#pragma once

#include <cstdint>

#include "XAVOKZ.h"

namespace kz {

inline constexpr std::uint32_t kMaximumTcgMaskMode = 3;
inline constexpr std::uint32_t kMaximumTcgPointRatio = 16;
// Times the direct load repeats its last value after the curve.
inline constexpr std::uint32_t kTcgRepeatsOfLastValue = 10;
inline constexpr std::uint32_t kEnhancedTcgPoints = KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS * KZ_TCG_POINTS_PER_STEP;

// These take the card's lock themselves (it is recursive) and need only the card index to be in
// range.

// Mode 0 to 3 (else 0x7400): TCG off, then the mask mode with the table load bit set.
std::uint32_t setTcgMaskMode(std::uint32_t cardIndex, std::uint32_t mode);
// Ratio 1 to 16 (else 0x7401) into the point-ratio field.
std::uint32_t setTcgPointRatio(std::uint32_t cardIndex, std::uint32_t ratio);
std::uint32_t getTcgPointRatio(std::uint32_t cardIndex, std::uint32_t* ratio);
// The point ratio the selected step's sample span needs: 8 above 32767 sample clocks, else 4.
std::uint32_t setTcgPointRatioForStep(std::uint32_t cardIndex);

} // namespace kz
