// The calibration EEPROM: the card's serial number and the calibration words of input ranges
// 0 to 4, as 32-bit words at 0x600000 + 4 × index.
#pragma once

#include <cstdint>

namespace kz::eeprom {

inline constexpr std::uint32_t kOffsetWordOfRange0 = 2;
inline constexpr std::uint32_t kGainWordOfRange0 = 8;
inline constexpr std::uint32_t kSignatureWord = 14;
inline constexpr std::uint32_t kSerialNumberWord = 15;
inline constexpr std::uint32_t kRangeMaskWord = 16;
// Ranges 0 to 4 have stored words; range 5 has none.
inline constexpr std::uint32_t kStoredRanges = 5;

inline constexpr std::uint32_t kValidSignature = 0x1234AA55;
inline constexpr std::uint32_t kResetRequestSignature = 0x123455AA;
// Word value when nothing is stored: the middle of the 12-bit D-to-A range.
inline constexpr std::int16_t kUnstoredWord = 0x800;
// Calibration words that moved by more than this are written back.
inline constexpr std::uint32_t kCalibrationDriftTolerance = 20;

// Writes `newValue` to the word only when it differs from the stored one by more than
// `tolerance` (as signed numbers); returns non-zero only when it wrote.
std::uint32_t driftWrite(std::uint32_t cardIndex, std::uint32_t wordIndex, std::uint32_t newValue,
                         std::uint32_t tolerance);
// Has the card store its EEPROM; 1 when the card reports the store finished.
std::uint32_t commit(std::uint32_t cardIndex);
// After range `range` was calibrated: marks it calibrated and writes back every stored word
// that has drifted, then commits when anything was written.
void writeBackCalibration(std::uint32_t cardIndex, std::uint32_t range);

} // namespace kz::eeprom
