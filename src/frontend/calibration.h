// The input calibration: the offset and gain D-to-A words of an input range, found by measuring
// the mean of forced A-scans of the card's internal zero (input 3) and calibration voltage
// (input 2), first by following the slope, then, when that does not settle, by a binary chop.
#pragma once

#include <cstdint>

namespace kz {

inline constexpr std::uint32_t kCalibrationSamples = 1000;
// The A-scan's header word comes first in the measurement buffer, 4 bytes.
inline constexpr std::uint32_t kMeasurementHeaderValues = 2;

// One measurement: writes `word` to the offset D-to-A (isOffset non-zero) or the gain D-to-A,
// fires one A-scan and stores in `mean` the mean of its n samples (sum in 64 bits, divided
// toward zero, low 16 bits). `buffer` holds n + 2 values: the copy brings the header and the n
// samples. No lock of its own.
std::uint32_t measureInputMean(std::uint32_t cardIndex, std::uint32_t n, std::int16_t* buffer, std::int16_t word,
                               std::int16_t* mean, std::uint32_t isOffset);

// Both passes for `range` (0-5, else 0x2e00; n 1 to 65532, else 0x1a00), each from the range's
// stored word; the results go to the range's words in the record and to the two outputs.
std::uint32_t calibrateInput(std::uint32_t cardIndex, std::uint32_t range, std::uint32_t n, std::int16_t* buffer,
                             std::uint16_t* offsetWord, std::uint16_t* gainWord);

// Prepares the card for the calibration of `range`, runs it with 1000 samples, marks the range
// calibrated and brings the EEPROM up to date, and restores the card's settings on every path.
// 1 only when the calibration and every restoring call succeeded.
std::uint32_t calibrateRange(std::uint32_t cardIndex, std::uint32_t range);

} // namespace kz
