#include "hardware/eeprom.h"

#include <cstdlib>

#include "XAVOKZ.h"
#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_service.h"
#include "hardware/hal.h"
#include "hardware/registers.h"

namespace kz::eeprom {

namespace {

constexpr std::uint32_t kCommitPolls = 10'000;
constexpr std::uint32_t kDriftLogLevel = 5;

// The word's card address, or false when the index lies outside the EEPROM.
bool wordAddress(std::uint32_t wordIndex, std::uint32_t* address)
{
    if (wordIndex >= KZ_EEPROM_NUMBER_OF_WORDS) {
        return false;
    }
    *address = hal::kEepromBase + 4 * wordIndex;
    return true;
}

std::uint32_t readWord(std::uint32_t cardIndex, std::uint32_t wordIndex, std::uint32_t* value)
{
    std::uint32_t address = 0;
    if (value == nullptr || boardInRange(cardIndex) == nullptr || !wordAddress(wordIndex, &address)) {
        return 0;
    }
    return hal::getWord(cardIndex, address, value);
}

std::uint32_t writeWord(std::uint32_t cardIndex, std::uint32_t wordIndex, std::uint32_t value)
{
    std::uint32_t address = 0;
    if (boardInRange(cardIndex) == nullptr || !wordAddress(wordIndex, &address)) {
        return 0;
    }
    return hal::setWord(cardIndex, address, value);
}

} // namespace

std::uint32_t driftWrite(std::uint32_t cardIndex, std::uint32_t wordIndex, std::uint32_t newValue,
                         std::uint32_t tolerance)
{
    std::uint32_t stored = 0;
    if (readWord(cardIndex, wordIndex, &stored) == 0) {
        return 0;
    }
    const auto oldSigned = static_cast<std::int32_t>(stored);
    const auto newSigned = static_cast<std::int32_t>(newValue);
    const std::int64_t difference = std::llabs(std::int64_t{newSigned} - std::int64_t{oldSigned});
    if (difference <= std::int64_t{tolerance}) {
        return 0;
    }
    logLine(kDriftLogLevel, "Drift detected old %d new %d tolerance %d", oldSigned, newSigned,
            static_cast<std::int32_t>(tolerance));
    return writeWord(cardIndex, wordIndex, newValue);
}

std::uint32_t commit(std::uint32_t cardIndex)
{
    setBankRegister(Bank::System, cardIndex, reg::sys::kCommand, reg::sys::kCommandEepromCommit);
    for (std::uint32_t poll = 0; poll < kCommitPolls; ++poll) {
        std::uint32_t busy = 0;
        if (getField(Bank::System, cardIndex, reg::sys::kCommand, reg::sys::kEepromCommitBusy, &busy) == 0) {
            return 0;
        }
        if (busy == 0) {
            return 1;
        }
    }
    return 0;
}

void writeBackCalibration(std::uint32_t cardIndex, std::uint32_t range)
{
    BoardState* board = boardInRange(cardIndex);
    if (board == nullptr || range >= KZ_NUMBER_OF_ANALOGUE_RANGES) {
        return;
    }
    board->calibratedRangeMask |= 1u << range;
    board->isRangeCalibrated[range] = 1;

    bool wrote = driftWrite(cardIndex, kRangeMaskWord, board->calibratedRangeMask, 0) != 0;
    for (std::uint32_t r = 0; r < kStoredRanges; ++r) {
        if ((board->calibratedRangeMask & (1u << r)) == 0) {
            continue;
        }
        const auto offsetWord = static_cast<std::uint32_t>(std::int32_t{board->calibrationOffsetWord[r]});
        const auto gainWord = static_cast<std::uint32_t>(std::int32_t{board->calibrationGainWord[r]});
        wrote = (driftWrite(cardIndex, kOffsetWordOfRange0 + r, offsetWord, kCalibrationDriftTolerance) != 0) || wrote;
        wrote = (driftWrite(cardIndex, kGainWordOfRange0 + r, gainWord, kCalibrationDriftTolerance) != 0) || wrote;
    }
    wrote = (driftWrite(cardIndex, kSignatureWord, kValidSignature, 0) != 0) || wrote;
    wrote = (driftWrite(cardIndex, kSerialNumberWord, board->serialNumber, 0) != 0) || wrote;
    if (wrote) {
        logLine(kDriftLogLevel, "Writing new calibration values to EEPROM");
        commit(cardIndex);
    }
}

} // namespace kz::eeprom

extern "C" {

KZ_API uint32_t KZ_GetEEPROM(uint32_t cardIndex, uint32_t wordIndex, uint32_t* value)
{
    return kz::eeprom::readWord(cardIndex, wordIndex, value);
}

KZ_API uint32_t KZ_SetEEPROM(uint32_t cardIndex, uint32_t wordIndex, uint32_t value)
{
    return kz::eeprom::writeWord(cardIndex, wordIndex, value);
}

KZ_API uint32_t KZ_GetEEPROMvalues(uint32_t cardIndex)
{
    using namespace kz::eeprom;
    BoardState* board = kz::boardInRange(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    const kz::CardGuard guard(cardIndex);
    for (uint32_t r = 0; r < KZ_NUMBER_OF_ANALOGUE_RANGES; ++r) {
        board->calibrationOffsetWord[r] = kUnstoredWord;
        board->calibrationGainWord[r] = kUnstoredWord;
    }
    board->serialNumber = 0;
    board->calibratedRangeMask = 0;

    // The store is trusted only when the hardware-access library reports exactly 1.
    uint32_t signature = 0;
    if (readWord(cardIndex, kSignatureWord, &signature) != 1) {
        return 0;
    }
    if (signature == kResetRequestSignature) {
        writeWord(cardIndex, kSignatureWord, kValidSignature);
        writeWord(cardIndex, kRangeMaskWord, 0);
        commit(cardIndex);
    } else if (signature != kValidSignature) {
        return 1; // never programmed: the defaults stand
    }

    uint32_t word = 0;
    if (readWord(cardIndex, kSerialNumberWord, &word) != 0) {
        board->serialNumber = word;
    }
    if (readWord(cardIndex, kRangeMaskWord, &word) != 0) {
        board->calibratedRangeMask = word;
    }
    for (uint32_t r = 0; r < kStoredRanges; ++r) {
        if ((board->calibratedRangeMask & (1u << r)) == 0) {
            continue;
        }
        if (readWord(cardIndex, kOffsetWordOfRange0 + r, &word) != 0) {
            board->calibrationOffsetWord[r] = static_cast<int16_t>(word & 0xFFFF);
        }
        if (readWord(cardIndex, kGainWordOfRange0 + r, &word) != 0) {
            board->calibrationGainWord[r] = static_cast<int16_t>(word & 0xFFFF);
        }
    }
    return 1;
}

} // extern "C"
