#include "acquisition/sampling.h"

#include "acquisition/memory_layout.h"
#include "acquisition/sequence_step.h"
#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "frame/relaxed_field.h"
#include "hardware/registers.h"

namespace kz {

namespace {

constexpr std::uint32_t kLastRectifierMode = 3;
constexpr std::uint32_t kLastStorageMode = kStorage8Bit;
constexpr std::uint32_t kFlagBit = 1;

// A-scan position 0 starts after the B-scan header word.
constexpr std::uint32_t kFirstAScanOffset = 4;

// The raw conversion is a 12-bit two's-complement code.
constexpr std::uint32_t kConversionSignBit = 0x800;
constexpr std::int32_t kConversionSignWeight = 2048;

std::uint32_t setSamplingField(std::uint32_t cardIndex, std::uint32_t offset, Field field, std::uint32_t value)
{
    return setField(Bank::Sampling, cardIndex, offset, field, value);
}

std::uint32_t getSamplingField(std::uint32_t cardIndex, std::uint32_t offset, Field field, std::uint32_t* value)
{
    return getField(Bank::Sampling, cardIndex, offset, field, value);
}

// `value` raised to the next multiple of `multiple` (a value already a multiple stays).
constexpr std::uint64_t roundUp(std::uint64_t value, std::uint64_t multiple)
{
    return (value + multiple - 1) / multiple * multiple;
}

// The step whose oversample count governs the current settings, when the per-step table has it.
bool currentStepInTable(const BoardState& board, std::uint32_t* step)
{
    *step = currentStep(board);
    return *step < KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS;
}

std::uint32_t setStartDelay(BoardState& board, std::uint32_t cardIndex, std::uint32_t delay)
{
    const std::uint32_t oversamples = oversamplesOfStep(board, currentStep(board));
    if (oversamples == 0 || delay / oversamples > KZ_SRAM_MAXIMUM_START_DELAY) {
        report(err::SetStartDelayInvalidStartDelay);
        return 0;
    }
    const std::uint32_t divided = delay / oversamples;
    std::uint32_t word = reg::per::kStartDelayLow.insert(board.triggerDelayShadow, divided);
    word = reg::per::kStartDelayHigh.insert(word, divided >> reg::per::kStartDelayLow.width);
    if (setBankRegister(Bank::Peripheral, cardIndex, reg::per::kTriggerDelay, word) == 0) {
        return 0;
    }
    board.triggerDelayShadow = word;
    return 1;
}

std::uint32_t setNumberOfSamples(BoardState& board, std::uint32_t cardIndex, std::uint32_t count)
{
    const std::uint32_t step = currentStep(board);
    const std::uint32_t oversamples = oversamplesOfStep(board, step);
    std::uint32_t mode = 0;
    if (getSampleStorageMode(cardIndex, &mode) == 0) {
        return 0;
    }
    const std::uint64_t perOversample =
        oversamples == 0 ? 0 : roundUp(count / oversamples, samplesPerWordOf(mode));
    if (count > XAVO_MAXIMUM_NUMBER_OF_SAMPLES || perOversample == 0) {
        report(err::SetNumberOfSamplesInvalidNumber);
        return 0;
    }
    // At most 65532 samples per oversample, so the figures below fit 32 bits.
    const auto total = static_cast<std::uint32_t>(perOversample * oversamples);
    if (layout::checkSram(cardIndex, {.numberOfSamples = total}) == 0) {
        return 0;
    }
    const auto storeFor = [&board, total](std::uint32_t position) {
        storeRelaxed(board.aScanSampleValues[position], total);
        board.aScanSampleSpan[position] = total * board.sampleDecimation;
    };
    if (board.isSequenceCompatibleFirmware != 0) {
        storeFor(step);
    } else {
        for (std::uint32_t k = 0; k < KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN; ++k) {
            storeFor(k);
        }
    }
    storeRelaxed(board.aScanOffset[0], kFirstAScanOffset);
    layout::updateAScanOffsets(cardIndex);

    std::uint32_t written = 0;
    if (getSampleStorageMode(cardIndex, &mode) != 0) {
        const auto words = static_cast<std::uint32_t>(perOversample / samplesPerWordOf(mode));
        written = setSamplingField(cardIndex, reg::smp::kSampleControl, reg::smp::kSampleWordsPlusOne, words + 1);
    }
    // The record changed above whatever the write did, so the layout follows it either way.
    const std::uint32_t laidOut = layout::updateSampleParameters(cardIndex);
    return written != 0 && laidOut != 0 ? 1 : 0;
}

std::uint32_t setDropNumberOfSamples(BoardState& board, std::uint32_t cardIndex, std::uint32_t drop)
{
    // The budget check comes first and sees the card's present settings, not the new count.
    if (layout::checkSram(cardIndex) == 0) {
        return 0;
    }
    if (drop > kMaximumDropNumberOfSamples) {
        report(err::SetDropNumberOfSamplesInvalidNumber);
        return 0;
    }
    board.sampleDecimation = drop + 1;
    const std::uint32_t written = setSamplingField(cardIndex, reg::smp::kSampleControl, reg::smp::kDropCount, drop);
    for (std::uint32_t k = 0; k < KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN; ++k) {
        board.aScanSampleSpan[k] = board.aScanSampleValues[k] * board.sampleDecimation;
    }
    layout::updateAScanOffsets(cardIndex);
    const std::uint32_t laidOut = layout::updateSampleParameters(cardIndex);
    return written != 0 && laidOut != 0 ? 1 : 0;
}

std::uint32_t setSampleStorageMode(std::uint32_t cardIndex, std::uint32_t mode)
{
    if (mode > kLastStorageMode) {
        report(err::SetSampleStorageModeInvalidMode);
        return 0;
    }
    if (layout::checkSram(cardIndex, {.storageMode = mode}) == 0) {
        return 0;
    }
    // The word count stays, so the number of samples read back doubles or halves with the mode.
    if (setSamplingField(cardIndex, reg::smp::kSampleControl, reg::smp::kStorageMode, mode) == 0) {
        return 0;
    }
    return layout::updateSampleParameters(cardIndex);
}

std::uint32_t setNumberOfOversamples(BoardState& board, std::uint32_t cardIndex, std::uint32_t count)
{
    std::uint32_t step = 0;
    if (board.isSequenceCompatibleFirmware == 0 || count < 1 || count > kMaximumNumberOfOversamples ||
        !currentStepInTable(board, &step)) {
        report(err::SetNumberOfOversamplesInvalidMultiplier);
        return 0;
    }
    if (setField(Bank::Peripheral, cardIndex, reg::per::kAScanTrigger, reg::per::kOversamplesLessOne, count - 1) ==
        0) {
        return 0;
    }
    storeRelaxed(board.oversampleCount[step], count);
    return 1;
}

// Test pattern and sign-and-magnitude exist only on the older firmware that has test patterns.
std::uint32_t setTestPatternFlag(const BoardState& board, std::uint32_t cardIndex, Field field, std::uint32_t flag)
{
    if (board.supportsTestPatternMode == 0) {
        report(err::InitialiseFirmwareVersionTooOld);
        return 0;
    }
    return setSamplingField(cardIndex, reg::smp::kSampleControl, field, flag & kFlagBit);
}

std::uint32_t readRawAToD(std::uint32_t cardIndex, std::int16_t* value)
{
    std::uint32_t word = 0;
    if (setBankRegister(Bank::Sampling, cardIndex, reg::smp::kRawConversion, reg::smp::kStartConversion) == 0 ||
        getBankRegister(Bank::Sampling, cardIndex, reg::smp::kRawConversion, &word) == 0) {
        return 0;
    }
    const std::uint32_t code = reg::smp::kConversionCode.extract(word);
    const std::int32_t converted = (code & kConversionSignBit) != 0
                                       ? static_cast<std::int32_t>(code & ~kConversionSignBit) - kConversionSignWeight
                                       : static_cast<std::int32_t>(code);
    *value = static_cast<std::int16_t>(converted);
    return 1;
}

} // namespace

std::uint32_t oversamplesOfStep(const BoardState& board, std::uint32_t step)
{
    // Also a layout query of the data-collection service, which reads without the card's lock.
    if (board.isSequenceCompatibleFirmware == 0) {
        return loadRelaxed(board.oversampleCount[0]);
    }
    return step < KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS ? loadRelaxed(board.oversampleCount[step]) : 0;
}

std::uint32_t getSampleStorageMode(std::uint32_t cardIndex, std::uint32_t* mode)
{
    if (boardInRange(cardIndex) == nullptr) {
        return 0;
    }
    return getSamplingField(cardIndex, reg::smp::kSampleControl, reg::smp::kStorageMode, mode);
}

std::uint32_t getNumberOfSamples(std::uint32_t cardIndex, std::uint32_t* count)
{
    const BoardState* board = boardInRange(cardIndex);
    std::uint32_t word = 0;
    if (board == nullptr || count == nullptr ||
        getBankRegister(Bank::Sampling, cardIndex, reg::smp::kSampleControl, &word) == 0) {
        return 0;
    }
    // The card holds the words per oversample plus 1; a word count of 0 there means no samples.
    const std::uint32_t wordsPlusOne = reg::smp::kSampleWordsPlusOne.extract(word);
    const std::uint32_t words = wordsPlusOne == 0 ? 0 : wordsPlusOne - 1;
    std::uint32_t step = 0;
    if (board->isSequenceCompatibleFirmware != 0 && KZ_GetSequenceStep(cardIndex, &step) == 0) {
        return 0;
    }
    const std::uint32_t oversamples = oversamplesOfStep(*board, step);
    if (oversamples == 0) {
        return 0;
    }
    *count = words * samplesPerWordOf(reg::smp::kStorageMode.extract(word)) * oversamples;
    return 1;
}

} // namespace kz

namespace {

// Looks the card up and reads one sampling field into `out` under the card's lock.
uint32_t readSamplingField(uint32_t cardIndex, uint32_t offset, kz::Field field, uint32_t* out)
{
    return kz::withLockedCard(cardIndex, out, [&](BoardState&, uint32_t* value) {
        return kz::getField(kz::Bank::Sampling, cardIndex, offset, field, value);
    });
}

} // namespace

extern "C" {

KZ_API uint32_t KZ_SetRectifierMode(uint32_t cardIndex, uint32_t mode)
{
    return kz::withLockedCard(cardIndex, [&](BoardState&) -> uint32_t {
        if (mode > kz::kLastRectifierMode) {
            kz::report(kz::err::SetRectifierModeInvalidMode);
            return 0;
        }
        return kz::setSamplingField(cardIndex, kz::reg::smp::kRectifier, kz::reg::smp::kRectifierMode, mode);
    });
}

KZ_API uint32_t KZ_GetRectifierMode(uint32_t cardIndex, uint32_t* mode)
{
    return readSamplingField(cardIndex, kz::reg::smp::kRectifier, kz::reg::smp::kRectifierMode, mode);
}

KZ_API uint32_t KZ_SetStartDelay(uint32_t cardIndex, uint32_t delay)
{
    return kz::withLockedCard(cardIndex, [&](BoardState& board) { return kz::setStartDelay(board, cardIndex, delay); });
}

KZ_API uint32_t KZ_GetStartDelay(uint32_t cardIndex, uint32_t* delay)
{
    return kz::withLockedCard(cardIndex, delay, [](const BoardState& board, uint32_t* out) {
        const uint32_t shadow = board.triggerDelayShadow;
        *out = kz::reg::per::kStartDelayLow.extract(shadow) |
               (kz::reg::per::kStartDelayHigh.extract(shadow) << kz::reg::per::kStartDelayLow.width);
        return 1u;
    });
}

KZ_API uint32_t KZ_SetNumberOfSamples(uint32_t cardIndex, uint32_t numberOfSamples)
{
    return kz::withLockedCard(cardIndex, [&](BoardState& board) {
        return kz::setNumberOfSamples(board, cardIndex, numberOfSamples);
    });
}

KZ_API uint32_t KZ_GetNumberOfSamples(uint32_t cardIndex, uint32_t* numberOfSamples)
{
    return kz::withLockedCard(cardIndex, numberOfSamples,
                              [&](BoardState&, uint32_t* out) { return kz::getNumberOfSamples(cardIndex, out); });
}

KZ_API uint32_t KZ_SetDropNumberOfSamples(uint32_t cardIndex, uint32_t drop)
{
    return kz::withLockedCard(cardIndex,
                              [&](BoardState& board) { return kz::setDropNumberOfSamples(board, cardIndex, drop); });
}

KZ_API uint32_t KZ_GetDropNumberOfSamples(uint32_t cardIndex, uint32_t* drop)
{
    return readSamplingField(cardIndex, kz::reg::smp::kSampleControl, kz::reg::smp::kDropCount, drop);
}

KZ_API uint32_t KZ_SetSampleStorageMode(uint32_t cardIndex, uint32_t mode)
{
    return kz::withLockedCard(cardIndex, [&](BoardState&) { return kz::setSampleStorageMode(cardIndex, mode); });
}

KZ_API uint32_t KZ_GetSampleStorageMode(uint32_t cardIndex, uint32_t* mode)
{
    return readSamplingField(cardIndex, kz::reg::smp::kSampleControl, kz::reg::smp::kStorageMode, mode);
}

KZ_API uint32_t KZ_SetForceAScanTrigger(uint32_t cardIndex)
{
    return kz::withLockedCard(cardIndex, [&](const BoardState& board) -> uint32_t {
        // The older firmware fires a forced A-scan only when its trigger source is internal.
        if (board.isSequenceCompatibleFirmware == 0 && board.triggerSelect == 0) {
            kz::report(kz::err::SetForceAScanTriggerInvalidLocale);
            return 0;
        }
        return kz::setSamplingField(cardIndex, kz::reg::smp::kSampleControl, kz::reg::smp::kForceAScanTrigger, 1);
    });
}

KZ_API uint32_t KZ_SetNumberOfOversamples(uint32_t cardIndex, uint32_t count)
{
    return kz::withLockedCard(cardIndex,
                              [&](BoardState& board) { return kz::setNumberOfOversamples(board, cardIndex, count); });
}

KZ_API uint32_t KZ_GetNumberOfOversamples(uint32_t cardIndex, uint32_t* count)
{
    return kz::withLockedCard(cardIndex, count, [](const BoardState& board, uint32_t* out) -> uint32_t {
        uint32_t step = 0;
        if (!kz::currentStepInTable(board, &step)) {
            return 0;
        }
        *out = board.oversampleCount[step];
        return 1;
    });
}

KZ_API uint32_t KZ_SetTestPatternMode(uint32_t cardIndex, uint32_t flag)
{
    return kz::withLockedCard(cardIndex, [&](const BoardState& board) {
        return kz::setTestPatternFlag(board, cardIndex, kz::reg::smp::kTestPattern, flag);
    });
}

KZ_API uint32_t KZ_SetSignAndMagnitudeMode(uint32_t cardIndex, uint32_t flag)
{
    return kz::withLockedCard(cardIndex, [&](BoardState& board) {
        if (board.supportsTestPatternMode != 0) {
            kz::storeRelaxed(board.isSignAndMag, flag & kz::kFlagBit); // the record keeps what the card is given
        }
        return kz::setTestPatternFlag(board, cardIndex, kz::reg::smp::kSignAndMagnitude, flag);
    });
}

KZ_API uint32_t KZ_ReturnIsSignAndMag(uint32_t cardIndex)
{
    const BoardState* board = kz::lookUpBoard(cardIndex);
    return board != nullptr ? kz::loadRelaxed(board->isSignAndMag) : 0;
}

KZ_API void KZ_SetSampleNoiseFilter(uint32_t cardIndex, uint32_t firstWord, uint32_t secondWord)
{
    kz::withLockedCard(cardIndex, [&](BoardState& board) {
        board.noiseFilterParameters[0] = firstWord;
        board.noiseFilterParameters[1] = secondWord;
        kz::layout::updateSampleParameters(cardIndex);
        return 1u;
    });
}

KZ_API uint32_t KZ_ReadRawADCData(uint32_t cardIndex, int16_t* value)
{
    return kz::withLockedCard(cardIndex, value,
                              [&](BoardState&, int16_t* out) { return kz::readRawAToD(cardIndex, out); });
}

} // extern "C"
