// Pulse timing: the periods between A-scan triggers and the B-scan repetition rate. These
// internal operations require only a card index in range and run under the caller's lock.
#pragma once

#include <cstdint>

namespace kz {

// The number of pulse-clock periods between A-scan triggers is 1 to 131072.
inline constexpr std::uint32_t kMinimumPeriodsBetweenAScanTriggers = 1;
inline constexpr std::uint32_t kMaximumPeriodsBetweenAScanTriggers = 0x20000;
// The pulse clock runs at a fifth of the sampling frequency.
inline constexpr std::uint32_t kSampleClocksPerPulseClock = 5;

// Peripheral 0x10 bits 0-16 = periods - 1; periods 0 or above 131072 are refused with 0x3e00.
std::uint32_t setNumberOfPeriodsBetweenAScanTriggers(std::uint32_t cardIndex, std::uint32_t periods);
// Peripheral 0x10 bits 0-16 plus 1.
std::uint32_t getNumberOfPeriodsBetweenAScanTriggers(std::uint32_t cardIndex, std::uint32_t* periods);
// repetitionRate / (numberOfAScansPerBScan + 1); 0 when the card is not found.
std::uint32_t returnMaximumBScanRepetitionRate(std::uint32_t cardIndex);
// Programs the B-scan period for `rate` B-scans per second and stores the rate; a rate of 0,
// above the maximum, or too high for the pulse clock is refused with 0xa500.
std::uint32_t setBScanRepetitionRate(std::uint32_t cardIndex, std::uint32_t rate);

} // namespace kz
