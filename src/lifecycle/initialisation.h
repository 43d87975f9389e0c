// A card's initialisation and shutdown, and the status reports to the host's callback.
#pragma once

#include <cstdint>

namespace kz {

// Stages of the initialisation, as the status callback receives them.
namespace stage {
inline constexpr std::uint32_t kStart = 0;      // 0 and 1: reported together before any work
inline constexpr std::uint32_t kStartDone = 1;
inline constexpr std::uint32_t kFirmwareDownload = 2;
inline constexpr std::uint32_t kOpening = 3;
inline constexpr std::uint32_t kRegisterSelfTest = 4;
inline constexpr std::uint32_t kSampleClock = 5;
inline constexpr std::uint32_t kOffsetCalibration = 6;
inline constexpr std::uint32_t kGainCalibration = 7;
inline constexpr std::uint32_t kInitialisation = 8;
} // namespace stage

namespace status {
inline constexpr std::uint32_t kStarted = 0;
inline constexpr std::uint32_t kSucceeded = 1;
inline constexpr std::uint32_t kFailed = 2;
} // namespace status

// Calls the host's initialisation status callback, when one is set.
void reportInitialisationStatus(std::uint32_t stage, std::uint32_t status);

} // namespace kz
