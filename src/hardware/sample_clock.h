// The sample clock: a frequency synthesiser clocked from 264 MHz, programmed one register at a
// time through a mailbox in the sampling bank.
#pragma once

#include <cstdint>

namespace kz {

inline constexpr std::uint64_t kSynthesiserReferenceHz = 264'000'000;
inline constexpr std::uint32_t kMinimumSamplingFrequencyHz = 40'000'000;
inline constexpr std::uint32_t kMaximumSamplingFrequencyHz = 100'000'000;
inline constexpr std::uint32_t kMaximumSynthesiserValue = 255;
inline constexpr std::uint32_t kMaximumSynthesiserAddress = 63;

// floor(frequency × 2^32 / 264 MHz).
constexpr std::uint32_t tuningWord(std::uint32_t frequencyHz)
{
    return static_cast<std::uint32_t>((std::uint64_t{frequencyHz} << 32) / kSynthesiserReferenceHz);
}

// Writes one synthesiser register through the mailbox (five times, each followed by the
// mailbox wait and 1 ms). Takes no lock.
std::uint32_t setSynthesiserRegister(std::uint32_t cardIndex, std::uint32_t value, std::uint32_t address);
// Waits until the mailbox is free: at most 0.1 s, else 0x2001.
std::uint32_t waitForSynthesiserMailbox(std::uint32_t cardIndex);

} // namespace kz
