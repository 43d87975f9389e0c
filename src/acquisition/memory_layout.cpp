#include "acquisition/memory_layout.h"

#include <algorithm>

#include "acquisition/sampling.h"
#include "acquisition/sensor_array.h"
#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "frame/relaxed_field.h"
#include "frame/hooks.h"
#include "hardware/registers.h"
#include "lifecycle/data_collection.h"

namespace kz::layout {

namespace {

constexpr std::uint64_t kMemory = kSramBytes;
constexpr std::uint32_t kLastScanStorageOption = 3;

// Every A-scan record and every position's gate results carry one word per oversample; each
// area of a B-scan starts with a header word and ends with a trailer.
constexpr std::uint64_t kWordBytes = 4;
constexpr std::uint64_t kTrailerBytes = 24;
constexpr std::uint32_t kFirstGateOffset = 4;

// The older firmware adds an extra header word to each A-scan and to each area of a B-scan.
std::uint64_t headerBytes(const BoardState& board) { return board.hasExtraHeaderWord != 0 ? kWordBytes : 0; }

// Options 1 and 2 keep gate results in the sample memory; 1 and 3 keep a single A-scan.
bool storesGateResults(std::uint32_t option) { return option == 1 || option == 2; }
bool storesWholeBank(std::uint32_t option) { return option == 0 || option == 2; }

// The positions the layout covers. Sequence-compatible firmware keeps its oversample counts per
// step, 32 of them, so its layout never covers more positions than that.
std::uint32_t layoutPositions(const BoardState& board)
{
    const std::uint32_t limit = board.isSequenceCompatibleFirmware != 0 ? KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS
                                                                        : KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN;
    return std::clamp<std::uint32_t>(board.numberOfAScansPerBScan, 1, limit);
}

// ov(k): the oversample count of position k, for a position the layout covers.
std::uint64_t positionOversamples(const BoardState& board, std::uint32_t position)
{
    return board.isSequenceCompatibleFirmware != 0 ? board.oversampleCount[position] : board.oversampleCount[0];
}

// The A-scans of `count` positions with their oversamples, as the card counts them.
std::uint64_t aScansWithOversamples(const BoardState& board, std::uint32_t count)
{
    if (board.isSequenceCompatibleFirmware == 0) {
        return std::uint64_t{board.oversampleCount[0]} * count;
    }
    std::uint64_t total = 0;
    for (std::uint32_t k = 0; k < std::min<std::uint32_t>(count, KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS); ++k) {
        total += board.oversampleCount[k];
    }
    return total;
}

// A size held at the memory size once it reaches it. A figure that large is refused as it is, so
// holding it there keeps every verdict and keeps the products of the budget from wrapping.
std::uint64_t held(std::uint64_t bytes) { return std::min(bytes, kMemory); }

std::uint32_t setSamplingField(std::uint32_t cardIndex, std::uint32_t offset, Field field, std::uint32_t value)
{
    return setField(Bank::Sampling, cardIndex, offset, field, value);
}

// A field of the sampling register plus 1 (the card holds counts less one).
std::uint32_t getSamplingCount(std::uint32_t cardIndex, std::uint32_t offset, Field field, std::uint32_t* count)
{
    std::uint32_t lessOne = 0;
    if (count == nullptr || boardInRange(cardIndex) == nullptr ||
        getField(Bank::Sampling, cardIndex, offset, field, &lessOne) == 0) {
        return 0;
    }
    *count = lessOne + 1;
    return 1;
}

// How a step of the layout work ended: done; refused for a reason it has reported, with the card
// as it was; or stopped by a register access that failed.
enum class Outcome { Done, Refused, CardFailed };

std::uint32_t succeeded(Outcome outcome) { return outcome == Outcome::Done ? 1 : 0; }

// A register access: done, or the card failed.
Outcome accessed(std::uint32_t result) { return result != 0 ? Outcome::Done : Outcome::CardFailed; }

// A setting of the request, or the card's own when the request leaves it out; false when the
// card's could not be read.
bool settingOrCard(const std::optional<std::uint32_t>& given, std::uint32_t (*read)(std::uint32_t, std::uint32_t*),
                   std::uint32_t cardIndex, std::uint32_t* value)
{
    if (given) {
        *value = *given;
        return true;
    }
    return read(cardIndex, value) != 0;
}

// The budget check behind checkSram.
Outcome budget(std::uint32_t cardIndex, const SramRequest& request)
{
    const BoardState* board = boardInRange(cardIndex);
    if (board == nullptr) {
        return Outcome::Refused;
    }
    std::uint32_t option = 0;
    std::uint32_t numberOfSamples = 0;
    std::uint32_t storageMode = 0;
    if (!settingOrCard(request.option, getScanStorageOption, cardIndex, &option) ||
        !settingOrCard(request.numberOfSamples, getNumberOfSamples, cardIndex, &numberOfSamples) ||
        !settingOrCard(request.storageMode, getSampleStorageMode, cardIndex, &storageMode)) {
        return Outcome::CardFailed;
    }
    std::uint32_t aScans = 1;
    std::uint32_t bScans = 1;
    if (storesWholeBank(option)) {
        if (!settingOrCard(request.aScans, getNumberOfAScansPerBScan, cardIndex, &aScans) ||
            !settingOrCard(request.bScans, getNumberOfBScansPerBank, cardIndex, &bScans)) {
            return Outcome::CardFailed;
        }
    } else if (option > kLastScanStorageOption) {
        return Outcome::Refused;
    }
    if (board->isAutomaticBScansPerBank != 0) {
        bScans = 1;
    }
    // The samples of an A-scan are counted as b × n / 2 bytes, whatever the drop count.
    const std::uint64_t h = headerBytes(*board);
    const std::uint64_t perAScan = std::uint64_t{bytesPerSampleOf(storageMode)} * numberOfSamples / 2 + h + kWordBytes;
    const std::uint64_t perBScan = held(held(perAScan) * held(aScans) + h + kTrailerBytes);
    const std::uint64_t need = held(perBScan * held(bScans));
    if (need >= kMemory ||
        (storesGateResults(option) && std::uint64_t{board->gateBytesPerBScan} * bScans > kMemory - need)) {
        report(err::CheckSramInsufficientSram);
        return Outcome::Refused;
    }
    return Outcome::Done;
}

Outcome writeCScanBase(std::uint32_t cardIndex, std::uint32_t address)
{
    if (address > kLastCScanBaseAddress || address % kWordBytes != 0) {
        report(err::SetCScanBaseSramAddressInvalidAddress);
        return Outcome::Refused;
    }
    return accessed(setSamplingField(cardIndex, reg::smp::kCScanBase, reg::smp::kCScanBaseAddress, address));
}

Outcome writeBScansPerBank(std::uint32_t cardIndex, std::uint32_t count)
{
    BoardState* board = boardInRange(cardIndex);
    if (board == nullptr) {
        return Outcome::Refused;
    }
    if (count == 0 || count > KZ_SRAM_MAXIMUM_NUMBER_OF_BSCANS) {
        report(err::SetNumberOfBScansPerBankInvalidNumber);
        return Outcome::Refused;
    }
    // While the count is automatic the budget check counts one B-scan.
    const Outcome fits = budget(cardIndex, {.bScans = count});
    if (fits != Outcome::Done) {
        return fits;
    }
    if (setSamplingField(cardIndex, reg::smp::kFirmwareControl, reg::smp::kBScansPerBankLessOne, count - 1) == 0) {
        return Outcome::CardFailed;
    }
    board->numberOfBScansPerBank = count;
    return Outcome::Done;
}

Outcome writeMaximumBScansPerBank(std::uint32_t cardIndex)
{
    const BoardState* board = boardInRange(cardIndex);
    std::uint32_t option = 0;
    std::uint32_t aScans = 0; // must be readable; the count itself needs only the two sizes
    if (board == nullptr) {
        return Outcome::Refused;
    }
    if (getScanStorageOption(cardIndex, &option) == 0 || getNumberOfAScansPerBScan(cardIndex, &aScans) == 0) {
        return Outcome::CardFailed;
    }
    const std::uint64_t aScanBytes = board->aScanBytesPerBScan;
    const std::uint64_t gateBytes = board->gateBytesPerBScan;
    // Whole banks share the memory between A-scan and gate areas; a single A-scan leaves the rest
    // of the memory to gate areas. A bank that does not fit at all gets 0, which is refused.
    const std::uint64_t divisor = storesWholeBank(option) ? aScanBytes + gateBytes : gateBytes;
    const std::uint64_t room = storesWholeBank(option) ? kMemory : kMemory - std::min(aScanBytes, kMemory);
    const std::uint64_t count = divisor == 0 ? KZ_SRAM_MAXIMUM_NUMBER_OF_BSCANS : room / divisor;
    return writeBScansPerBank(
        cardIndex, static_cast<std::uint32_t>(std::min<std::uint64_t>(count, KZ_SRAM_MAXIMUM_NUMBER_OF_BSCANS)));
}

// Chooses the B-scans per bank when automatic and places the C-scan area after the A-scans.
Outcome placeCScanArea(std::uint32_t cardIndex)
{
    const BoardState* board = boardInRange(cardIndex);
    if (board == nullptr) {
        return Outcome::Refused;
    }
    if (board->isAutomaticBScansPerBank != 0) {
        const Outcome chosen = writeMaximumBScansPerBank(cardIndex);
        if (chosen != Outcome::Done) {
            return chosen;
        }
    }
    std::uint32_t option = 0;
    std::uint32_t bScans = 1;
    if (getScanStorageOption(cardIndex, &option) == 0) {
        return Outcome::CardFailed;
    }
    if (option > kLastScanStorageOption) {
        report(err::SetScanStorageOptionsInvalidOptions);
        return Outcome::Refused;
    }
    if (storesWholeBank(option) && getNumberOfBScansPerBank(cardIndex, &bScans) == 0) {
        return Outcome::CardFailed;
    }
    // The gate area starts right after the bank's A-scans.
    const std::uint64_t base = std::uint64_t{board->aScanBytesPerBScan} * bScans;
    if (base >= kMemory) {
        report(err::HandleSramInsufficientSram);
        return Outcome::Refused;
    }
    const Outcome placed = writeCScanBase(cardIndex, static_cast<std::uint32_t>(base));
    if (placed != Outcome::Done) {
        return placed;
    }
    if (storesGateResults(option) && std::uint64_t{board->gateBytesPerBScan} * bScans > kMemory - base) {
        report(err::HandleSramInsufficientSram);
        return Outcome::Refused;
    }
    return Outcome::Done;
}

std::uint32_t setScanStorageOptions(std::uint32_t cardIndex, std::uint32_t option)
{
    if (option > kLastScanStorageOption) {
        report(err::SetScanStorageOptionsInvalidOptions);
        return 0;
    }
    if (checkSram(cardIndex, {.option = option}) == 0 ||
        setSamplingField(cardIndex, reg::smp::kFirmwareControl, reg::smp::kScanStorageOption, option) == 0) {
        return 0;
    }
    return updateSampleParameters(cardIndex);
}

} // namespace

std::uint32_t setNumberOfAScansPerBScan(BoardState& board, std::uint32_t cardIndex, std::uint32_t count, bool* taken)
{
    if (taken != nullptr) {
        *taken = false;
    }
    if (count < 1 || count > KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN) {
        report(err::SetNumberOfAScansPerBScanInvalidNumber);
        return 0;
    }
    // The card's A-scan count and the sensor array both hold at most 128 A-scans with their
    // oversamples; a larger total is refused before anything is written.
    const std::uint64_t total = aScansWithOversamples(board, count);
    if (total < 1 || total > kMaximumSensorArrayElements) {
        report(err::SetSensorArrayNumberOfElementsInvalidNumber);
        return 0;
    }
    const auto aScans = static_cast<std::uint32_t>(total);
    std::uint32_t previousLessOne = 0;
    if (checkSram(cardIndex, {.aScans = count}) == 0 ||
        getField(Bank::Sampling, cardIndex, reg::smp::kFirmwareControl, reg::smp::kAScansPerBScanLessOne,
                 &previousLessOne) == 0 ||
        setSamplingField(cardIndex, reg::smp::kFirmwareControl, reg::smp::kAScansPerBScanLessOne, aScans - 1) == 0) {
        return 0;
    }
    std::uint32_t result = 1;
    if (setSensorArrayNumberOfElements(cardIndex, aScans) == 0) {
        // The card gets its A-scan count back, so that it and the record keep describing the same
        // B-scan. Only when that write fails too does the record follow the card to the new count.
        if (setSamplingField(cardIndex, reg::smp::kFirmwareControl, reg::smp::kAScansPerBScanLessOne,
                             previousLessOne) != 0) {
            return 0;
        }
        result = 0;
    }
    board.numberOfAScansPerBScan = count;
    if (taken != nullptr) {
        *taken = true;
    }
    return updateSampleParameters(cardIndex) != 0 ? result : 0;
}

std::uint32_t positionsOfLayout(const BoardState& board) { return layoutPositions(board); }

std::uint32_t getScanStorageOption(std::uint32_t cardIndex, std::uint32_t* option)
{
    if (boardInRange(cardIndex) == nullptr) {
        return 0;
    }
    return getField(Bank::Sampling, cardIndex, reg::smp::kFirmwareControl, reg::smp::kScanStorageOption, option);
}

std::uint32_t getNumberOfAScansPerBScan(std::uint32_t cardIndex, std::uint32_t* count)
{
    return getSamplingCount(cardIndex, reg::smp::kFirmwareControl, reg::smp::kAScansPerBScanLessOne, count);
}

std::uint32_t getNumberOfBScansPerBank(std::uint32_t cardIndex, std::uint32_t* count)
{
    return getSamplingCount(cardIndex, reg::smp::kFirmwareControl, reg::smp::kBScansPerBankLessOne, count);
}

std::uint32_t setCScanBaseSramAddress(std::uint32_t cardIndex, std::uint32_t address)
{
    if (boardInRange(cardIndex) == nullptr) {
        return 0;
    }
    return succeeded(writeCScanBase(cardIndex, address));
}

std::uint32_t checkSram(std::uint32_t cardIndex, const SramRequest& request)
{
    return succeeded(budget(cardIndex, request));
}

void updateAScanOffsets(std::uint32_t cardIndex)
{
    BoardState* board = boardInRange(cardIndex);
    std::uint32_t mode = 0;
    if (board == nullptr || getSampleStorageMode(cardIndex, &mode) == 0) {
        return;
    }
    const std::uint32_t bytesPerSample = bytesPerSampleOf(mode);
    const auto h = static_cast<std::uint32_t>(headerBytes(*board));
    const std::uint32_t last = board->isSequenceCompatibleFirmware != 0 ? KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS
                                                                        : KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN;
    for (std::uint32_t k = 1; k < last; ++k) {
        storeRelaxed(board->aScanOffset[k],
                     board->aScanOffset[k - 1] + bytesPerSample * board->aScanSampleValues[k - 1] + h +
                         static_cast<std::uint32_t>(kWordBytes * positionOversamples(*board, k - 1)));
    }
}

std::uint32_t updateSampleParameters(std::uint32_t cardIndex)
{
    BoardState* board = boardInRange(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    std::uint32_t mode = 0;
    if (getSampleStorageMode(cardIndex, &mode) == 0) {
        return 0;
    }
    board->bytesPerSample = bytesPerSampleOf(mode);
    const std::uint32_t n = layoutPositions(*board);
    const std::uint64_t h = headerBytes(*board);

    // A-scan area: each position's samples, extra header word and one word per oversample.
    std::uint64_t aScanBytes = h + kTrailerBytes;
    for (std::uint32_t k = 0; k < n; ++k) {
        aScanBytes += std::uint64_t{board->aScanSampleValues[k]} * board->bytesPerSample + h +
                      kWordBytes * positionOversamples(*board, k);
    }
    storeRelaxed(board->aScanBytesPerBScan, static_cast<std::uint32_t>(aScanBytes));

    // Gate area: per oversample one status word and one word per enabled gate.
    const auto gateBytesOf = [board](std::uint32_t k) {
        return (kWordBytes * board->enabledGateCount[k] + kWordBytes) * positionOversamples(*board, k);
    };
    storeRelaxed(board->gateOffset[0], kFirstGateOffset);
    for (std::uint32_t k = 1; k < n; ++k) {
        storeRelaxed(board->gateOffset[k], static_cast<std::uint32_t>(board->gateOffset[k - 1] + gateBytesOf(k - 1)));
    }
    const std::uint64_t gateEnd = board->gateOffset[n - 1] + gateBytesOf(n - 1);
    storeRelaxed(board->gateBytesPerBScan, static_cast<std::uint32_t>(gateEnd - kFirstGateOffset + h + kTrailerBytes));

    // A placement that does not fit is reported there; the layout and the hooks stand. A card
    // that could not be given the placement makes the recomputation fail.
    const Outcome placed = placeCScanArea(cardIndex);
    callUpdateSampleParametersHooks(cardIndex);
    return placed == Outcome::CardFailed ? 0 : 1;
}

std::uint32_t handleSram(std::uint32_t cardIndex)
{
    return succeeded(placeCScanArea(cardIndex));
}

std::uint32_t setMaximumNumberOfBScansPerBank(std::uint32_t cardIndex)
{
    return succeeded(writeMaximumBScansPerBank(cardIndex));
}

std::uint32_t setNumberOfBScansPerBankInternal(std::uint32_t cardIndex, std::uint32_t count)
{
    return succeeded(writeBScansPerBank(cardIndex, count));
}

} // namespace kz::layout

namespace {

// Looks the card up and runs `read` under the card's lock; a null output pointer touches nothing.
template <typename Read>
uint32_t lockedRead(uint32_t cardIndex, uint32_t* out, Read read)
{
    return kz::withLockedCard(cardIndex, out, [&](BoardState&, uint32_t* value) { return read(cardIndex, value); });
}

// A layout query: the record's entry at `index` of a table with `size` entries; 0 when the card
// is not found or the index lies beyond the table. No lock.
template <typename Entry>
uint32_t queryEntry(uint32_t cardIndex, uint32_t index, uint32_t size, Entry entry)
{
    const BoardState* board = kz::lookUpBoard(cardIndex);
    return board != nullptr && index < size ? entry(*board, index) : 0;
}

} // namespace

extern "C" {

KZ_API uint32_t KZ_SetScanStorageOptions(uint32_t cardIndex, uint32_t option)
{
    return kz::withLockedCard(cardIndex,
                              [&](BoardState&) { return kz::layout::setScanStorageOptions(cardIndex, option); });
}

KZ_API uint32_t KZ_GetScanStorageOptions(uint32_t cardIndex, uint32_t* option)
{
    return lockedRead(cardIndex, option, kz::layout::getScanStorageOption);
}

KZ_API uint32_t KZ_SetNumberOfAScansPerBScan(uint32_t cardIndex, uint32_t count)
{
    return kz::withLockedCard(cardIndex, [&](BoardState& board) {
        return kz::layout::setNumberOfAScansPerBScan(board, cardIndex, count);
    });
}

KZ_API uint32_t KZ_GetNumberOfAScansPerBScan(uint32_t cardIndex, uint32_t* count)
{
    return lockedRead(cardIndex, count, kz::layout::getNumberOfAScansPerBScan);
}

KZ_API uint32_t KZ_SetNumberOfBScansPerBank(uint32_t cardIndex, uint32_t count)
{
    return kz::withLockedCard(cardIndex, [&](const BoardState& board) -> uint32_t {
        if (board.isAutomaticBScansPerBank != 0) {
            kz::report(kz::err::SetNumberOfBScansPerBankIsAutomatic);
            return 0;
        }
        return kz::layout::setNumberOfBScansPerBankInternal(cardIndex, count);
    });
}

KZ_API uint32_t KZ_GetNumberOfBScansPerBank(uint32_t cardIndex, uint32_t* count)
{
    return lockedRead(cardIndex, count, kz::layout::getNumberOfBScansPerBank);
}

KZ_API uint32_t KZ_SetNumberOfBScansPerBankIsAutomatic(uint32_t cardIndex, uint32_t flag)
{
    return kz::withLockedCard(cardIndex, [&](BoardState& board) {
        board.isAutomaticBScansPerBank = flag; // takes effect at the next layout computation
        return 1u;
    });
}

KZ_API uint32_t KZ_SetCScanBaseSRAMAddress(uint32_t cardIndex, uint32_t address)
{
    return kz::withLockedCard(cardIndex,
                              [&](BoardState&) { return kz::layout::setCScanBaseSramAddress(cardIndex, address); });
}

KZ_API uint32_t KZ_GetCScanBaseSRAMAddress(uint32_t cardIndex, uint32_t* address)
{
    return lockedRead(cardIndex, address, [](uint32_t card, uint32_t* out) {
        return kz::getField(kz::Bank::Sampling, card, kz::reg::smp::kCScanBase, kz::reg::smp::kCScanBaseAddress, out);
    });
}

KZ_API uint32_t KZ_GetAScanBaseSRAMAddress(uint32_t /*cardIndex*/, uint32_t* address)
{
    // The A-scan area always starts at the beginning of the sample memory.
    if (address == nullptr) {
        return 0;
    }
    *address = 0;
    return 1;
}

KZ_API uint32_t KZ_GetNumberOfBScansInSRAM(uint32_t cardIndex, uint32_t* count)
{
    return lockedRead(cardIndex, count, [](uint32_t card, uint32_t* out) -> uint32_t {
        uint32_t available = 0;
        if (kz::dc::getIsSampleDataAvailable(card, &available) == 0) {
            return 0; // the service could not tell; it has no error of ours to report
        }
        if (available == 0) {
            kz::report(kz::err::GetNumberOfBScansInSramNoSampleData);
            return 0;
        }
        return kz::layout::getSamplingCount(card, kz::reg::smp::kBScansInMemory,
                                            kz::reg::smp::kBScansInMemoryLessOne, out);
    });
}

KZ_API uint32_t KZ_GetNumberOfBScansCapturedInBank(uint32_t cardIndex, uint32_t* count)
{
    return lockedRead(cardIndex, count, [](uint32_t card, uint32_t* out) {
        return kz::getField(kz::Bank::Sampling, card, kz::reg::smp::kStatus, kz::reg::smp::kBScansCaptured, out);
    });
}

KZ_API uint32_t KZ_ReturnOversampleCountThisStep(uint32_t cardIndex, uint32_t step)
{
    return queryEntry(cardIndex, step, KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS,
                      [](const BoardState& board, uint32_t k) { return kz::oversamplesOfStep(board, k); });
}

KZ_API uint32_t KZ_ReturnAScanSampleValuesThisStep(uint32_t cardIndex, uint32_t position)
{
    return queryEntry(cardIndex, position, KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN,
                      [](const BoardState& board, uint32_t k) { return kz::loadRelaxed(board.aScanSampleValues[k]); });
}

KZ_API uint32_t KZ_ReturnAScanOffsetThisStep(uint32_t cardIndex, uint32_t position)
{
    return queryEntry(cardIndex, position, KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN,
                      [](const BoardState& board, uint32_t k) { return kz::loadRelaxed(board.aScanOffset[k]); });
}

KZ_API uint32_t KZ_ReturnAScanBytesPerBScan(uint32_t cardIndex)
{
    const BoardState* board = kz::lookUpBoard(cardIndex);
    return board != nullptr ? kz::loadRelaxed(board->aScanBytesPerBScan) : 0;
}

KZ_API uint32_t KZ_ReturnGateOffsetThisStep(uint32_t cardIndex, uint32_t position)
{
    return queryEntry(cardIndex, position, KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN,
                      [](const BoardState& board, uint32_t k) { return kz::loadRelaxed(board.gateOffset[k]); });
}

KZ_API uint32_t KZ_ReturnGateBytesPerBScan(uint32_t cardIndex)
{
    const BoardState* board = kz::lookUpBoard(cardIndex);
    return board != nullptr ? kz::loadRelaxed(board->gateBytesPerBScan) : 0;
}

} // extern "C"
