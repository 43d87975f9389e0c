// Sampling parameters: rectifier, start delay, number of samples and their storage width, drop
// count, oversamples and the sampling-side modes. The internal getters here require only a card
// index in range and run under the caller's lock.
#pragma once

#include <cstdint>

#include "XAVOKZ.h"

namespace kz {

inline constexpr std::uint32_t kMaximumNumberOfOversamples = 20;
inline constexpr std::uint32_t kMaximumDropNumberOfSamples = 15;

// Sample storage modes: two 16-bit samples or four 8-bit samples per 32-bit word.
inline constexpr std::uint32_t kStorage16Bit = 0;
inline constexpr std::uint32_t kStorage8Bit = 1;

constexpr std::uint32_t bytesPerSampleOf(std::uint32_t storageMode)
{
    return storageMode == kStorage16Bit ? 2u : 1u;
}

constexpr std::uint32_t samplesPerWordOf(std::uint32_t storageMode)
{
    return storageMode == kStorage16Bit ? 2u : 4u;
}

// The oversample count of the record for `step` (step 0 with the older generation); 0 for a
// step beyond the per-step table or a count of 0, which callers treat as a failure.
std::uint32_t oversamplesOfStep(const BoardState& board, std::uint32_t step);

// Sampling 0x58 bit 20.
std::uint32_t getSampleStorageMode(std::uint32_t cardIndex, std::uint32_t* mode);
// The stored samples per A-scan, oversamples included, from the word count the card holds.
std::uint32_t getNumberOfSamples(std::uint32_t cardIndex, std::uint32_t* count);

} // namespace kz
