// Sensor array, ping-pong sequence and focusing unit.
#pragma once

#include <cstdint>

namespace kz {

inline constexpr std::uint32_t kMaximumSensorArrayElements = 128;

// Peripheral 0x14 bits 0-6 = count - 1, for a count of 1 to 128 (else 0x4000). Requires only a
// card index in range; runs under the caller's lock.
std::uint32_t setSensorArrayNumberOfElements(std::uint32_t cardIndex, std::uint32_t count);

// Programs the card's ping-pong entry `position` (0-127) with `element`, flipped as the card's
// flipArrayElements says (flipArrayElements - element when it is not 0). An entry that would
// not fit the register's fields (an element above 128, or above flipArrayElements while the
// array is flipped, or a position above 127) is refused with 0x4700 / 0x4701 and nothing is
// written. Requires only a card index in range; runs under the caller's lock.
std::uint32_t writePingPongElement(std::uint32_t cardIndex, std::uint32_t position, std::uint32_t element);

} // namespace kz
