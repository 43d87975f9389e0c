#include "gates/tcg.h"

#include <algorithm>
#include <memory>

#include "acquisition/memory_layout.h"
#include "acquisition/sequence_step.h"
#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "hardware/registers.h"
#include "platform/platform.h"

namespace kz {

namespace {

// Sample spans above this many sample clocks need the coarser point ratio.
constexpr std::uint32_t kLongestSpanForFineRatio = 32767;
constexpr std::uint32_t kFineRatio = 4;
constexpr std::uint32_t kCoarseRatio = 8;

// The enhanced curve: a curve value of 800 gives the top point 255; the mask mode it loads with.
constexpr std::int32_t kEnhancedFullScaleValue = 800;
constexpr std::int32_t kTopPoint = 255;
constexpr std::uint32_t kPointBits = 0xFF;
constexpr std::uint32_t kEnhancedMaskMode = 1;
// The carry-over of a step starts at this fraction of the step's sample span.
constexpr std::uint32_t kCarryOverSpanDivisor = 4;

constexpr std::uint32_t kPointsPerStep = KZ_TCG_POINTS_PER_STEP;

struct PlatformRelease {
    void operator()(void* block) const { platform::release(block); }
};
using WorkTable = std::unique_ptr<std::uint16_t[], PlatformRelease>;

// One read-modify-write of the TCG control register under the card's lock: the result of the
// read when it failed, else of the write.
template <typename Change>
std::uint32_t changeTcgControl(std::uint32_t cardIndex, Change change)
{
    const CardGuard guard(cardIndex);
    std::uint32_t word = 0;
    if (getBankRegister(Bank::Sampling, cardIndex, reg::smp::kTcgControl, &word) == 0) {
        return 0;
    }
    return setBankRegister(Bank::Sampling, cardIndex, reg::smp::kTcgControl, change(word));
}

std::uint32_t getTcgField(std::uint32_t cardIndex, Field field, std::uint32_t* value)
{
    return getField(Bank::Sampling, cardIndex, reg::smp::kTcgControl, field, value);
}

// Table load off and TCG on, in one write.
std::uint32_t finishTableLoad(std::uint32_t cardIndex)
{
    return changeTcgControl(cardIndex, [](std::uint32_t word) {
        return reg::smp::kTcgEnable.insert(reg::smp::kTcgTableLoad.insert(word, 0), 1);
    });
}

// Writes `count` values to the data port in order, each also to `copy` (when given) once it is
// written; stops with 0 at the first failed write.
std::uint32_t streamTcgValues(std::uint32_t cardIndex, const std::uint16_t* values, std::uint32_t count,
                              std::uint16_t* copy = nullptr)
{
    const CardGuard guard(cardIndex);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (setBankRegister(Bank::Sampling, cardIndex, reg::smp::kTcgDataPort, values[i]) == 0) {
            return 0;
        }
        if (copy != nullptr) {
            copy[i] = values[i];
        }
    }
    return 1;
}

// Step selection and read-back, each under the card's lock.
std::uint32_t selectStep(BoardState& board, std::uint32_t cardIndex, std::uint32_t step)
{
    const CardGuard guard(cardIndex);
    return setSequenceStep(board, cardIndex, step);
}

std::uint32_t stepOnCard(const BoardState& board, std::uint32_t cardIndex, std::uint32_t* step)
{
    const CardGuard guard(cardIndex);
    return getSequenceStep(board, cardIndex, step);
}

std::uint32_t setTcgEnable(const BoardState& board, std::uint32_t cardIndex, std::uint32_t flag)
{
    if (flag > 1) {
        report(err::SetTcgEnableInvalidFlag);
        return 0;
    }
    if (flag == 1 && board.tcgValues == nullptr) {
        report(err::SetTcgEnableNoCurve);
        return 0;
    }
    return setField(Bank::Sampling, cardIndex, reg::smp::kTcgControl, reg::smp::kTcgEnable, flag);
}

std::uint32_t setTcgValues(BoardState& board, std::uint32_t cardIndex, const std::uint16_t* values, std::uint32_t count)
{
    if (count > KZ_MAXIMUM_NUMBER_OF_TCG_VALUES) {
        report(err::SetTcgValuesInvalidNumber);
        return 0;
    }
    // The enable bit is put back at the end; when it cannot be read nothing is changed.
    std::uint32_t wasEnabled = 0;
    if (getTcgField(cardIndex, reg::smp::kTcgEnable, &wasEnabled) == 0) {
        return 0;
    }
    // TCG off, then the table load on; the load bit stays set after the load.
    std::uint32_t word = 0;
    if (getBankRegister(Bank::Sampling, cardIndex, reg::smp::kTcgControl, &word) == 0) {
        return 0;
    }
    word = reg::smp::kTcgEnable.insert(word, 0);
    if (setBankRegister(Bank::Sampling, cardIndex, reg::smp::kTcgControl, word) == 0) {
        return 0;
    }
    word = reg::smp::kTcgTableLoad.insert(word, 1);
    if (setBankRegister(Bank::Sampling, cardIndex, reg::smp::kTcgControl, word) == 0) {
        return 0;
    }

    releaseTable(board.tcgValues);
    board.tcgValues =
        static_cast<std::uint16_t*>(platform::allocateZeroed(KZ_MAXIMUM_NUMBER_OF_TCG_VALUES * sizeof(std::uint16_t)));
    if (board.tcgValues == nullptr) {
        report(err::SetTcgValuesAllocationFail);
        return 0;
    }
    if (streamTcgValues(cardIndex, values, count, board.tcgValues) == 0) {
        return 0;
    }
    // The last value runs on past the curve's end, as far as the table reaches; an empty
    // curve has no last value and repeats nothing. The rest of the copy stays 0.
    if (count > 0) {
        const std::uint32_t repeats = std::min(kTcgRepeatsOfLastValue, KZ_MAXIMUM_NUMBER_OF_TCG_VALUES - count);
        for (std::uint32_t i = 0; i < repeats; ++i) {
            if (streamTcgValues(cardIndex, &values[count - 1], 1, &board.tcgValues[count + i]) == 0) {
                return 0;
            }
        }
    }
    if (setTcgEnable(board, cardIndex, wasEnabled) == 0) {
        return 0;
    }
    board.tcgValueCount = count;
    return 1;
}

std::uint32_t setTcgTriggerEvent(std::uint32_t cardIndex, std::uint32_t event)
{
    if (event > 1) {
        report(err::SetTcgTriggerGateInvalidGateIndex);
        return 0;
    }
    const std::uint32_t result =
        setField(Bank::Sampling, cardIndex, reg::smp::kTcgControl, reg::smp::kTcgTriggerEvent, event);
    const std::uint32_t layoutWritten = layout::updateSampleParameters(cardIndex); // also after a failed write
    return (result != 0 && layoutWritten != 0) ? 1u : 0u;
}

// Resamples `count` values plus `offset` onto the `points` points of one step's block and fills
// the rest of the block with `offset`.
void resampleCurve(std::int16_t* block, std::uint32_t points, const std::int16_t* values, std::uint32_t count,
                   std::int16_t offset)
{
    // The sum is taken in 32 bits and its low 16 bits are kept.
    const auto shifted = [offset](std::int16_t value) {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(std::int32_t{value} + offset));
    };
    if (count > points) {
        // Several values may land on one point; the last one stays.
        for (std::uint32_t i = 0; i < count; ++i) {
            block[std::uint64_t{i} * points / count] = shifted(values[i]);
        }
    } else {
        for (std::uint32_t i = 0; i < points; ++i) {
            block[i] = shifted(values[std::uint64_t{i} * count / points]);
        }
    }
    std::fill(block + points, block + kPointsPerStep, offset);
}

std::uint32_t submitTcgCurve(BoardState& board, std::uint32_t cardIndex, std::uint32_t step,
                             const std::int16_t* values, std::uint32_t count, std::int16_t offset)
{
    std::uint32_t remembered = 0;
    std::uint32_t ratio = 0;
    if (stepOnCard(board, cardIndex, &remembered) == 0 || selectStep(board, cardIndex, step) == 0 ||
        setTcgPointRatioForStep(cardIndex) == 0 || getTcgPointRatio(cardIndex, &ratio) == 0) {
        return 0;
    }
    // The points the step's A-scan covers, within the step's block; an empty curve covers none.
    const std::uint32_t points = count == 0 ? 0 : std::min(board.aScanSampleSpan[step] / ratio, kPointsPerStep);
    resampleCurve(&board.stepTcgCurve[std::size_t{step} * kPointsPerStep], points, values, count, offset);
    return selectStep(board, cardIndex, remembered);
}

std::uint32_t clearTcgCurve(BoardState& board, std::uint32_t cardIndex)
{
    if (board.isSequenceCompatibleFirmware == 0) {
        report(err::SetSequenceStepNotSequenceCompatible);
        return 0;
    }
    std::uint32_t remembered = 0;
    if (stepOnCard(board, cardIndex, &remembered) == 0) {
        return 0;
    }
    std::fill(std::begin(board.stepTcgCurve), std::end(board.stepTcgCurve), std::int16_t{0});
    for (std::uint32_t s = 0; s < KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS; ++s) {
        selectStep(board, cardIndex, s);
        if (setTcgPointRatioForStep(cardIndex) == 0) {
            return 0;
        }
    }
    return selectStep(board, cardIndex, remembered);
}

// The 8-bit point of an enhanced curve value: 800 and above give 255, 0 and below give 0.
std::uint16_t enhancedPoint(std::int16_t value)
{
    const auto scaled = static_cast<std::int16_t>(std::int32_t{value} * kTopPoint / kEnhancedFullScaleValue);
    return static_cast<std::uint16_t>(std::clamp<std::int32_t>(scaled, 0, kTopPoint) & kPointBits);
}

// Every step's block, from a quarter of its sample span on, takes the first point of the step
// that follows it in the sequence (step 0 follows the last step).
void carryOver(const BoardState& board, std::uint16_t* work)
{
    const std::uint32_t lastStep =
        std::clamp<std::uint32_t>(board.numberOfAScansPerBScan, 1, KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS) - 1;
    for (std::uint32_t s = 0; s < KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS; ++s) {
        const std::uint16_t first = work[std::size_t{s} * kPointsPerStep];
        const std::uint32_t previous = s == 0 ? lastStep : s - 1;
        const std::uint32_t start = std::min(board.aScanSampleSpan[previous] / kCarryOverSpanDivisor, kPointsPerStep);
        std::uint16_t* block = work + std::size_t{previous} * kPointsPerStep;
        std::fill(block + start, block + kPointsPerStep, first);
    }
}

std::uint32_t setEnhancedTcg(BoardState& board, std::uint32_t cardIndex)
{
    if (board.isSequenceCompatibleFirmware == 0) {
        report(err::SetSequenceStepNotSequenceCompatible);
        return 0;
    }
    // The work table is had before the card is touched, and the step to return to is known.
    const WorkTable work(
        static_cast<std::uint16_t*>(platform::allocateZeroed(kEnhancedTcgPoints * sizeof(std::uint16_t))));
    if (work == nullptr) {
        report(err::SetTcgValuesAllocationFail);
        return 0;
    }
    std::uint32_t remembered = 0;
    if (stepOnCard(board, cardIndex, &remembered) == 0) {
        return 0;
    }
    for (std::uint32_t s = 0; s < KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS; ++s) {
        selectStep(board, cardIndex, s);
        changeTcgControl(cardIndex, [](std::uint32_t word) { return reg::smp::kTcgEnable.insert(word, 0); });
    }
    if (setTcgMaskMode(cardIndex, kEnhancedMaskMode) == 0) {
        return 0;
    }
    std::transform(std::begin(board.stepTcgCurve), std::end(board.stepTcgCurve), work.get(), enhancedPoint);
    carryOver(board, work.get());
    if (streamTcgValues(cardIndex, work.get(), kEnhancedTcgPoints) == 0) {
        return 0;
    }
    const std::uint32_t result = finishTableLoad(cardIndex);
    for (std::uint32_t s = 0; s < KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS; ++s) {
        selectStep(board, cardIndex, s);
        finishTableLoad(cardIndex);
    }
    selectStep(board, cardIndex, remembered);
    return result;
}

} // namespace

std::uint32_t setTcgMaskMode(std::uint32_t cardIndex, std::uint32_t mode)
{
    if (boardInRange(cardIndex) == nullptr) {
        return 0;
    }
    if (mode > kMaximumTcgMaskMode) {
        report(err::SetTcgNormalisedStartInvalidMaskMode);
        return 0;
    }
    const CardGuard guard(cardIndex);
    std::uint32_t word = 0;
    if (getBankRegister(Bank::Sampling, cardIndex, reg::smp::kTcgControl, &word) == 0) {
        return 0;
    }
    word = reg::smp::kTcgEnable.insert(word, 0);
    if (setBankRegister(Bank::Sampling, cardIndex, reg::smp::kTcgControl, word) == 0) {
        return 0;
    }
    word = reg::smp::kTcgTableLoad.insert(reg::smp::kTcgMaskMode.insert(word, mode), 1);
    return setBankRegister(Bank::Sampling, cardIndex, reg::smp::kTcgControl, word);
}

std::uint32_t setTcgPointRatio(std::uint32_t cardIndex, std::uint32_t ratio)
{
    if (boardInRange(cardIndex) == nullptr) {
        return 0;
    }
    // The field holds the ratio less one, so a ratio of 0 has no field value either.
    if (ratio == 0 || ratio > kMaximumTcgPointRatio) {
        report(err::SetTcgNormalisedStartInvalidPointRatio);
        return 0;
    }
    const CardGuard guard(cardIndex);
    return setField(Bank::Sampling, cardIndex, reg::smp::kTcgControl, reg::smp::kTcgPointRatioLessOne, ratio - 1);
}

std::uint32_t getTcgPointRatio(std::uint32_t cardIndex, std::uint32_t* ratio)
{
    std::uint32_t lessOne = 0;
    if (ratio == nullptr || boardInRange(cardIndex) == nullptr) {
        return 0;
    }
    const CardGuard guard(cardIndex);
    if (getTcgField(cardIndex, reg::smp::kTcgPointRatioLessOne, &lessOne) == 0) {
        return 0;
    }
    *ratio = lessOne + 1;
    return 1;
}

std::uint32_t setTcgPointRatioForStep(std::uint32_t cardIndex)
{
    const BoardState* board = boardInRange(cardIndex);
    std::uint32_t step = 0;
    if (board == nullptr || stepOnCard(*board, cardIndex, &step) == 0) {
        return 0;
    }
    const std::uint32_t span = board->aScanSampleSpan[step];
    return setTcgPointRatio(cardIndex, span > kLongestSpanForFineRatio ? kCoarseRatio : kFineRatio);
}

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_SetTCGTriggerEvent(uint32_t cardIndex, uint32_t event)
{
    return kz::withLockedCard(cardIndex, [&](BoardState&) { return kz::setTcgTriggerEvent(cardIndex, event); });
}

KZ_API uint32_t KZ_GetTCGTriggerEvent(uint32_t cardIndex, uint32_t* event)
{
    return kz::withLockedCard(cardIndex, event, [&](BoardState&, uint32_t* out) {
        return kz::getTcgField(cardIndex, kz::reg::smp::kTcgTriggerEvent, out);
    });
}

KZ_API uint32_t KZ_SetTCGEnable(uint32_t cardIndex, uint32_t flag)
{
    return kz::withLockedCard(cardIndex,
                              [&](const BoardState& board) { return kz::setTcgEnable(board, cardIndex, flag); });
}

KZ_API uint32_t KZ_GetTCGEnable(uint32_t cardIndex, uint32_t* flag)
{
    return kz::withLockedCard(cardIndex, flag, [&](BoardState&, uint32_t* out) {
        return kz::getTcgField(cardIndex, kz::reg::smp::kTcgEnable, out);
    });
}

KZ_API uint32_t KZ_SetTCGValues(uint32_t cardIndex, const uint16_t* values, uint32_t count)
{
    if (values == nullptr) {
        return 0;
    }
    return kz::withLockedCard(
        cardIndex, [&](BoardState& board) { return kz::setTcgValues(board, cardIndex, values, count); });
}

KZ_API uint32_t KZ_GetTCGValues(uint32_t cardIndex, uint16_t** values, uint32_t* count)
{
    if (values == nullptr || count == nullptr) {
        return 0;
    }
    return kz::withLockedCard(cardIndex, [&](const BoardState& board) -> uint32_t {
        *values = board.tcgValues;
        *count = board.tcgValueCount;
        return 1;
    });
}

KZ_API uint32_t KZ_SetTCGNormalisedStart(uint32_t cardIndex, uint32_t maskMode, uint32_t pointRatio)
{
    const BoardState* board = kz::lookUpBoard(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    // The normalised load belongs to the older firmware.
    if (board->isSequenceCompatibleFirmware != 0) {
        kz::report(kz::err::SetTcgNormalisedStartInvalidPointRatio);
        return 0;
    }
    const kz::CardGuard guard(cardIndex);
    // A refused mask mode leaves the new point ratio in place.
    if (kz::setTcgPointRatio(cardIndex, pointRatio) == 0) {
        return 0;
    }
    return kz::setTcgMaskMode(cardIndex, maskMode);
}

KZ_API uint32_t KZ_SetTCGValuesNormalised(uint32_t cardIndex, const uint16_t* values, uint32_t count)
{
    if (values == nullptr || kz::lookUpBoard(cardIndex) == nullptr) {
        return 0;
    }
    return kz::streamTcgValues(cardIndex, values, count);
}

KZ_API uint32_t KZ_SetTCGNormalisedFinish(uint32_t cardIndex)
{
    if (kz::lookUpBoard(cardIndex) == nullptr) {
        return 0;
    }
    return kz::finishTableLoad(cardIndex);
}

KZ_API uint32_t KZ_ClearTCGCurve(uint32_t cardIndex)
{
    BoardState* board = kz::lookUpBoard(cardIndex);
    return board == nullptr ? 0 : kz::clearTcgCurve(*board, cardIndex);
}

KZ_API uint32_t KZ_SubmitTCGCurve(uint32_t cardIndex, uint32_t step, const int16_t* values, uint32_t count,
                                  int16_t offset)
{
    if (values == nullptr) {
        return 0;
    }
    BoardState* board = kz::lookUpBoard(cardIndex);
    return board == nullptr ? 0 : kz::submitTcgCurve(*board, cardIndex, step, values, count, offset);
}

KZ_API uint32_t KZ_SetEnhancedTCG(uint32_t cardIndex)
{
    BoardState* board = kz::lookUpBoard(cardIndex);
    return board == nullptr ? 0 : kz::setEnhancedTcg(*board, cardIndex);
}

} // extern "C"
