// The encoder control word, peripheral 0x1C, shared by the trigger and the encoder settings.
// The card cannot read it back, so the record keeps it in encoderControlShadow, and every write
// of the register is composed here from that shadow.
//
// While the trigger source is 3, bits 0-25 of the card's word hold the B-scan period, not the
// encoder settings: the encoder setters then change only the shadow, and the next write from
// the shadow (a change of trigger source) carries the new settings to the card.
//
// All of these run under the caller's lock.
#pragma once

#include <cstdint>

#include "XAVOKZ.h"
#include "hardware/registers.h"

namespace kz {

// Trigger sources (the values of triggerSelect).
inline constexpr std::uint32_t kTriggerExternal = 0;
inline constexpr std::uint32_t kTriggerInternal = 1;
inline constexpr std::uint32_t kTriggerEncoder = 2;
inline constexpr std::uint32_t kTriggerBScanTimer = 3;

namespace encoder_control {

// True while B-scans are timed by the B-scan repetition rate (trigger source 3).
bool holdsBScanPeriod(const BoardState& board);

// An encoder setting: the shadow's `field` takes `value` and the shadow keeps it whether or not
// the write succeeds. The card is written unless it holds the B-scan period; the result is the
// write's, or 1 when no write is made.
std::uint32_t setEncoderSetting(std::uint32_t cardIndex, BoardState& board, Field field, std::uint32_t value);

// Like an encoder setting, but written whatever the trigger source (the write then replaces the
// B-scan period, which the caller programs again).
std::uint32_t setCounters4And5Connected(std::uint32_t cardIndex, BoardState& board, bool connected);

// Sets the trigger-source bits for `source` (bit 30 for 2, bit 29 for 3) and writes the word;
// the shadow takes it only when the write succeeds.
std::uint32_t setTriggerSourceBits(std::uint32_t cardIndex, BoardState& board, std::uint32_t source);

// Writes the shadow with `period` over bits 0-25; the shadow keeps its encoder settings.
std::uint32_t writeBScanPeriod(std::uint32_t cardIndex, const BoardState& board, std::uint32_t period);

// Writes the shadow with the B-scan strobe (bit 31) set; the shadow is not changed.
std::uint32_t writeForcedBScanTrigger(std::uint32_t cardIndex, const BoardState& board);

} // namespace encoder_control

} // namespace kz
