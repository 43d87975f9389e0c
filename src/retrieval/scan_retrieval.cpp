// A-scan and B-scan retrieval: the bank hand-shake with the data-collection service, A-scans
// copied by the service, B-scans moved by DMA with their headers checked, and single words of
// the card's address space.
#include "retrieval/scan_retrieval.h"

#include <algorithm>

#include "XAVOKZ.h"
#include "acquisition/memory_layout.h"
#include "acquisition/sampling.h"
#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "hardware/hal.h"
#include "lifecycle/data_collection.h"
#include "retrieval/raw_scan.h"

namespace kz {

namespace {

constexpr std::uint32_t kSingleAScanOption = 1;
constexpr std::uint32_t kFirstOversample = 0;
constexpr std::uint64_t kSampleMemoryBytes = KZ_SYSTEM_RAM_OFFSET;

std::uint32_t getBScan(std::uint32_t cardIndex, const BoardState& board, void** aScanBuffers)
{
    std::uint32_t option = 0;
    if (layout::getScanStorageOption(cardIndex, &option) == 0) {
        return 0;
    }
    if (option == kSingleAScanOption) {
        report(err::GetBScanSingleAScanMode);
        return 0;
    }
    std::uint32_t bScans = 0;
    if (layout::getNumberOfBScansPerBank(cardIndex, &bScans) == 0) {
        return 0;
    }
    if (bScans != 1) {
        report(err::GetBScanInvalidNumberOfBScansPerBank);
        return 0;
    }
    // The card counts A-scans with their oversamples; each position is one A-scan record, so the
    // positions of the layout are transferred, never more than the entries the host passed.
    std::uint32_t aScans = 0;
    if (layout::getNumberOfAScansPerBScan(cardIndex, &aScans) == 0) {
        return 0;
    }
    const std::uint32_t positions = std::min(aScans, layout::positionsOfLayout(board));
    for (std::uint32_t i = 0; i < positions; ++i) {
        if (aScanBuffers[i] == nullptr) {
            return 0;
        }
    }
    if (dc::waitForBankSwap(cardIndex) == 0) {
        dc::indicateSampleDataDownloaded(cardIndex);
        return 0;
    }
    std::uint32_t mode = 0;
    if (getSampleStorageMode(cardIndex, &mode) == 0) {
        return 0;
    }
    const std::uint64_t bytesPerSample = bytesPerSampleOf(mode);
    for (std::uint32_t i = 0; i < positions; ++i) {
        const std::uint32_t address = board.aScanOffset[i];
        std::uint32_t header = 0;
        if (getMemoryWord(cardIndex, address, &header) == 0) {
            return 0;
        }
        // Each A-scan moves its own length, counted from its header word, and stays inside the
        // sample memory.
        const std::uint64_t length = bytesPerSample * board.aScanSampleValues[i];
        if (rawscan::checkAScanHeader(header, i, kFirstOversample) == 0 || address + length > kSampleMemoryBytes) {
            report(err::GetBScanInternalDataFormatError);
            dc::indicateSampleDataDownloaded(cardIndex);
            return 0;
        }
        if (hal::performDmaTransfer(cardIndex, aScanBuffers[i], address, static_cast<std::uint32_t>(length),
                                    hal::kDmaCardToHost) == 0) {
            return 0;
        }
    }
    dc::indicateSampleDataDownloaded(cardIndex);
    return 1;
}

} // namespace

std::uint32_t getMemoryWord(std::uint32_t cardIndex, std::uint32_t address, std::uint32_t* value)
{
    if (value == nullptr || boardInRange(cardIndex) == nullptr) {
        return 0;
    }
    if (address > kLastMemoryWordAddress) {
        report(err::MemoryWordAddressOutOfRange);
        return 0;
    }
    return hal::getWord(cardIndex, address, value);
}

std::uint32_t setMemoryWord(std::uint32_t cardIndex, std::uint32_t address, std::uint32_t value)
{
    if (boardInRange(cardIndex) == nullptr) {
        return 0;
    }
    if (address > kLastMemoryWordAddress) {
        report(err::MemoryWordAddressOutOfRange);
        return 0;
    }
    return hal::setWord(cardIndex, address, value);
}

} // namespace kz

extern "C" {

// Takes the card's lock without looking the card up first, and hands the bank back on every
// path, copied or not.
KZ_API uint32_t KZ_GetAScan(uint32_t cardIndex, void* buffer, uint32_t byteCount, uint32_t aScanIndex,
                            uint32_t bScanIndex)
{
    if (buffer == nullptr) {
        return 0;
    }
    const kz::CardGuard guard(cardIndex);
    uint32_t result = 0;
    uint32_t aScans = 0;
    uint32_t bScans = 0;
    if (kz::dc::waitForBankSwap(cardIndex) != 0 && KZ_GetNumberOfAScansPerBScan(cardIndex, &aScans) != 0 &&
        aScanIndex < aScans && KZ_GetNumberOfBScansInSRAM(cardIndex, &bScans) != 0 && bScanIndex < bScans) {
        result = kz::dc::getAScanNoBankSwap(cardIndex, buffer, byteCount, aScanIndex, bScanIndex) != 0 ? 1 : 0;
    }
    kz::dc::indicateSampleDataDownloaded(cardIndex);
    return result;
}

KZ_API uint32_t KZ_GetBScan(uint32_t cardIndex, void** aScanBuffers)
{
    if (aScanBuffers == nullptr) {
        return 0;
    }
    return kz::withLockedCard(cardIndex,
                              [&](BoardState& board) { return kz::getBScan(cardIndex, board, aScanBuffers); });
}

KZ_API uint32_t KZ_PrepareForSingleShotMode(uint32_t /*cardIndex*/) { return 1; }

KZ_API uint32_t KZ_SingleShotCapture(uint32_t /*cardIndex*/) { return 1; }

} // extern "C"
