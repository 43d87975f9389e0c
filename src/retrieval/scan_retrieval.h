// Scan retrieval: single words of the card's address space. The B-scan retrieval reads each
// A-scan's header word through them.
#pragma once

#include <cstdint>

namespace kz {

// The last word address the memory-word functions accept (sample memory below 0x500000, the
// register banks from there up).
inline constexpr std::uint32_t kLastMemoryWordAddress = 0x500444;

// Reads or writes one word of the card's address space. The index must be below the number of
// cards (else 0, no error); an address above kLastMemoryWordAddress reports 0x1200. No lock: the
// caller holds the card's where one is needed. A null `value` returns 0 without touching the card.
std::uint32_t getMemoryWord(std::uint32_t cardIndex, std::uint32_t address, std::uint32_t* value);
std::uint32_t setMemoryWord(std::uint32_t cardIndex, std::uint32_t address, std::uint32_t value);

} // namespace kz
