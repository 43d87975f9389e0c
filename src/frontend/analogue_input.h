// The analogue input path: the analogue control word, which the card cannot read back and the
// record mirrors in analogueControlShadow, the input range with its calibration D-to-A words,
// the zero offset per range and the stored gain tweaks.
#pragma once

#include <cstdint>

#include "XAVOKZ.h"

namespace kz {

inline constexpr std::uint32_t kNumberOfAnalogueInputs = 6; // 0-3 on bits 2-5, 4 and 5 on the aux bits
inline constexpr std::uint32_t kMaximumDacWord = 4095;
inline constexpr std::int32_t kMinimumZeroOffset = -2048;
inline constexpr std::int32_t kMaximumZeroOffset = 2047;

// The settings that are one field of the analogue control word. Each setter refuses a value
// beyond the field's limit with its own code, replaces the field in the shadow and writes the
// whole word; the shadow keeps the new word even when the write fails.
enum class AnalogueSetting : std::uint32_t {
    InputCoupling,
    InputImpedance,
    AuxInput,
    AToDOutputPortFormat,
    AToDOutputDataFormat,
    AToDInputVoltageRange,
    AToDVrefInputCharacteristics,
    DdsKey,
    DdsFsk,
    CalibrationVoltage,
};

// Look the card up, take its lock where the setting's family does, and set or get the field.
std::uint32_t setAnalogueSetting(std::uint32_t cardIndex, AnalogueSetting setting, std::uint32_t value);
std::uint32_t getAnalogueSetting(std::uint32_t cardIndex, AnalogueSetting setting, std::uint32_t* value);

// Puts the bit of `range` (0-5) into the control word and records it as analogueInputRange; a
// range above 5 is refused with 0x2e00 and nothing is written. No lock: the caller holds it.
std::uint32_t selectInputRange(std::uint32_t cardIndex, std::uint32_t range);

// KZ_SetAnalogueInputRange without its shortcut for the range the record already names: the
// range's bit and its calibration words are written whatever the record held. Refuses a range
// above 5 (0x2e00), an uncalibrated range (0x2e03) and auxiliary inputs 4 and 5 (0x2e02). Takes
// the card's lock.
std::uint32_t setAnalogueInputRangeAndWords(std::uint32_t cardIndex, std::uint32_t range);

// The calibration D-to-A writes (gain: destination 2, offset: destination 3): refuse a word
// above 4095, write it, and wait up to 1 ms for the converter to be ready, then pause 10 ms.
// No lock: the caller holds it.
std::uint32_t setCalibrationGain(std::uint32_t cardIndex, std::uint32_t word);
std::uint32_t setCalibrationOffset(std::uint32_t cardIndex, std::uint32_t word);
// 1 in `ready` when the converter is not busy (sampling 0x0C bit 31 clear).
std::uint32_t getCalibrationDacReady(std::uint32_t cardIndex, std::uint32_t* ready);

} // namespace kz
