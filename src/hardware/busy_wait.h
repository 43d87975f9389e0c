// Busy waits on a card register, timed on the high-resolution counter.
#pragma once

#include <cstdint>
#include <functional>

#include "hardware/registers.h"

namespace kz {

enum class WaitResult {
    Ready,       // the register showed the awaited state within the limit
    TimedOut,    // the limit passed first; a state seen only after the limit counts as timed out
    TimerFailed, // the counter or its frequency could not be queried
    ReadFailed,  // a register read failed
};

// Reads `offset` of `bank` over and over, without sleeping, until `isReady(word)` or until
// more than `limitSeconds` (as a 32-bit float) have passed since the first counter reading.
WaitResult waitForRegister(std::uint32_t cardIndex, Bank bank, std::uint32_t offset, float limitSeconds,
                           const std::function<bool(std::uint32_t)>& isReady);

} // namespace kz
