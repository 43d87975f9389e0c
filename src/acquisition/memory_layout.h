// The layout of scans in the card's 4 MiB sample memory and its budget. The internal operations
// require only a card index in range and run under the caller's lock.
#pragma once

#include <cstdint>

#include "XAVOKZ.h"

namespace kz::layout {

// An argument of checkSram given as this is taken from the card.
inline constexpr std::uint32_t kFromCard = 0xFFFFFFFF;

inline constexpr std::uint32_t kSramBytes = 0x400000;
inline constexpr std::uint32_t kLastCScanBaseAddress = kSramBytes - 4;

// The budget check: 1 when the configuration fits the sample memory, else 0x5a00 and 0.
std::uint32_t checkSram(std::uint32_t cardIndex, std::uint32_t option, std::uint32_t numberOfSamples,
                        std::uint32_t storageMode, std::uint32_t aScans, std::uint32_t bScans, std::uint32_t gates);
// Recomputes aScanOffset[1...] from aScanOffset[0].
void updateAScanOffsets(std::uint32_t cardIndex);
// Recomputes the layout, places the C-scan area and calls the update-sample-parameters hooks.
void updateSampleParameters(std::uint32_t cardIndex);
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
