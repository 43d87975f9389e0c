// The card library's one road to the hardware-access library. Every card call carries the
// Kelzor card-type tag; results are passed back unchanged (non-zero is success).
#pragma once

#include <cstdint>

namespace kz::hal {

inline constexpr std::uint32_t kCardTypeTag = 0x4B5A3854;
inline constexpr std::uint32_t kVendorId = 0x10B5;
inline constexpr std::uint32_t kPrimaryDeviceId = 0x86E1;
inline constexpr std::uint32_t kSecondaryDeviceId = 0x5602;

// Word address windows.
inline constexpr std::uint32_t kFirmwareWindowBase = 0x400000;
inline constexpr std::uint32_t kRegisterBase = 0x500000;
inline constexpr std::uint32_t kEepromBase = 0x600000;

inline constexpr std::uint32_t kDmaCardToHost = 1;

std::uint32_t initialise();
std::uint32_t initialiseCardType(std::uint32_t deviceId, std::uint32_t* numberOfCards);
std::uint32_t initialiseCard(std::uint32_t cardIndex);
std::uint32_t uninitialiseCard(std::uint32_t cardIndex);
std::uint32_t setWord(std::uint32_t cardIndex, std::uint32_t address, std::uint32_t value);
std::uint32_t getWord(std::uint32_t cardIndex, std::uint32_t address, std::uint32_t* value);
std::uint32_t openDmaChannel(std::uint32_t cardIndex);
std::uint32_t closeDmaChannel(std::uint32_t cardIndex);
std::uint32_t performDmaTransfer(std::uint32_t cardIndex, void* hostBuffer, std::uint32_t address,
                                 std::uint32_t byteCount, std::uint32_t direction);

} // namespace kz::hal
