// The layout of scans in the card's 4 MiB sample memory and its budget. The internal operations
// require only a card index in range and run under the caller's lock.
#pragma once

#include <cstdint>
#include <optional>

#include "XAVOKZ.h"

#include "XAVOKZ.h"

namespace kz::layout {

inline constexpr std::uint32_t kSramBytes = 0x400000;
inline constexpr std::uint32_t kLastCScanBaseAddress = kSramBytes - 4;

// What the budget check is asked about: the settings a caller is about to change. Every setting
// left out is taken from the card as it stands, so a call names only what it changes:
//     checkSram(cardIndex, {.numberOfSamples = total})
//     checkSram(cardIndex, {.gates = enabledGates})
//     checkSram(cardIndex)                              // the card's present settings
// (Every field has its initialiser, so that a call may leave any of them out.)
struct SramRequest {
    std::optional<std::uint32_t> option = std::nullopt;          // scan storage option, 0 to 3
    std::optional<std::uint32_t> numberOfSamples = std::nullopt; // stored samples per A-scan, oversamples included
    std::optional<std::uint32_t> storageMode = std::nullopt;     // 0: 16-bit samples, 1: 8-bit samples
    std::optional<std::uint32_t> aScans = std::nullopt;          // A-scans per B-scan
    std::optional<std::uint32_t> bScans = std::nullopt;          // B-scans per bank
    std::optional<std::uint32_t> gates = std::nullopt;           // accepted; the gate area of the last layout counts
};

// The budget check: 1 when the configuration fits the sample memory, else 0x5a00 and 0 (0 without
// an error of its own when a setting taken from the card cannot be read).
std::uint32_t checkSram(std::uint32_t cardIndex, const SramRequest& request = {});
// Recomputes aScanOffset[1...] from aScanOffset[0].
void updateAScanOffsets(std::uint32_t cardIndex);
// Recomputes the layout, places the C-scan area and calls the update-sample-parameters hooks.
// Returns 0 when a register access of the recomputation failed, so that the card could not be
// given the layout (the register layer has reported what it reports); a layout that does not
// fit is reported (0x5900) and still returns 1, since the record and the card agree on it.
std::uint32_t updateSampleParameters(std::uint32_t cardIndex);
// Sets the A-scans per B-scan (1 to 128): budget check, the card's A-scan count, the sensor
// array's element count, the record and the layout. `taken` (when given) tells whether the card
// and the record now hold the new count, which they may even when the result is 0 because the
// layout could not be written afterwards.
std::uint32_t setNumberOfAScansPerBScan(BoardState& board, std::uint32_t cardIndex, std::uint32_t count,
                                        bool* taken = nullptr);
// Chooses the B-scans per bank when automatic and places the C-scan area after the A-scans.
std::uint32_t handleSram(std::uint32_t cardIndex);
std::uint32_t setMaximumNumberOfBScansPerBank(std::uint32_t cardIndex);
std::uint32_t setNumberOfBScansPerBankInternal(std::uint32_t cardIndex, std::uint32_t count);

// The A-scan positions the layout covers: numberOfAScansPerBScan, at least 1 and at most the
// positions the firmware keeps per-step settings for (32 sequence-compatible, else 128).
std::uint32_t positionsOfLayout(const BoardState& board);

// Register reads of the bank shape: the scan storage option, the A-scans per B-scan with
// oversamples included, the B-scans per bank.
std::uint32_t getScanStorageOption(std::uint32_t cardIndex, std::uint32_t* option);
std::uint32_t getNumberOfAScansPerBScan(std::uint32_t cardIndex, std::uint32_t* count);
std::uint32_t getNumberOfBScansPerBank(std::uint32_t cardIndex, std::uint32_t* count);
// Sampling 0x68 = address, for an address of at most 0x3FFFFC and a multiple of 4 (else 0x2500).
std::uint32_t setCScanBaseSramAddress(std::uint32_t cardIndex, std::uint32_t address);

} // namespace kz::layout
