// Pulse timing and triggers: the A-scan repetition rate, the B-scan repetition rate and its
// bound, the trigger source, forced B-scan triggers, the sync pulse mode, the transducer pulse
// width and the trailing flank holdoff.
#include "acquisition/timing.h"

#include "acquisition/encoder_control.h"
#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "frame/relaxed_field.h"
#include "hardware/registers.h"

namespace kz {

namespace {

// Peripheral firmware versions with a transducer pulse width; version 2 needs at least 5.
constexpr std::uint32_t kPulseWidthVersionPlain = 0;
constexpr std::uint32_t kPulseWidthVersionRaised = 2;
constexpr std::uint32_t kMinimumRaisedPulseWidth = 5;
constexpr std::uint32_t kMaximumSyncPulseMode = 1;
constexpr std::uint32_t kLargestBScanPeriod = reg::per::kBScanPeriod.mask() >> reg::per::kBScanPeriod.shift;

// The pulse clock in hertz; 0 when the sampling frequency is not known.
std::uint32_t pulseClockHz(std::uint32_t cardIndex)
{
    std::uint32_t frequency = 0;
    if (KZ_GetSamplingFrequency(cardIndex, &frequency) == 0) {
        return 0;
    }
    return frequency / kSampleClocksPerPulseClock;
}

bool hasPulseWidth(std::uint32_t version)
{
    return version == kPulseWidthVersionPlain || version == kPulseWidthVersionRaised;
}

std::uint32_t setRepetitionRate(std::uint32_t cardIndex, BoardState& board, std::uint32_t rate)
{
    if (rate == 0) {
        report(err::SetNumberOfPeriodsBetweenAScanTriggersInvalidNumber);
        return 0;
    }
    const std::uint32_t periods = pulseClockHz(cardIndex) / rate;
    if (setNumberOfPeriodsBetweenAScanTriggers(cardIndex, periods) == 0) {
        return 0;
    }
    board.repetitionRate = rate;
    board.repetitionTime = periods;
    return 1;
}

std::uint32_t setRepetitionTime(std::uint32_t cardIndex, BoardState& board, std::uint32_t periods)
{
    if (setNumberOfPeriodsBetweenAScanTriggers(cardIndex, periods) == 0) {
        return 0;
    }
    board.repetitionTime = periods;
    board.repetitionRate = pulseClockHz(cardIndex) / periods;
    return 1;
}

std::uint32_t setTriggerSelect(std::uint32_t cardIndex, BoardState& board, std::uint32_t source)
{
    if (source > kTriggerBScanTimer) {
        report(err::SetTriggerSelectInvalidTrigger);
        return 0;
    }
    if (setShadowField(Bank::Peripheral, cardIndex, reg::per::kTriggerDelay, board.triggerDelayShadow,
                       reg::per::kTriggerInternal, source != kTriggerExternal ? 1 : 0) == 0 ||
        encoder_control::setTriggerSourceBits(cardIndex, board, source) == 0) {
        return 0;
    }
    storeRelaxed(board.triggerSelect, source);
    if (source == kTriggerBScanTimer) {
        // The word just written holds the encoder settings where the B-scan period belongs.
        // A refusal is reported by the rate setter and leaves this call successful.
        setBScanRepetitionRate(cardIndex, board.bScanRepetitionRate);
    }
    return 1;
}

std::uint32_t setForceBScanTrigger(std::uint32_t cardIndex, const BoardState& board)
{
    if (board.triggerSelect != kTriggerInternal && board.triggerSelect != kTriggerEncoder) {
        report(err::SetForceBScanTriggerInvalidLocale);
        return 0;
    }
    return encoder_control::writeForcedBScanTrigger(cardIndex, board);
}

std::uint32_t setTransducerPulseWidth(std::uint32_t cardIndex, std::uint32_t width)
{
    std::uint32_t version = 0;
    if (KZ_GetPeripheralFirmwareVersion(cardIndex, &version) == 0) {
        return 0;
    }
    if (!hasPulseWidth(version)) {
        report(err::SetTransducerPulseWidthInvalidFirmwareVersion);
        return 0;
    }
    if (version == kPulseWidthVersionRaised && width < kMinimumRaisedPulseWidth) {
        width = kMinimumRaisedPulseWidth;
    }
    if (width > KZ_MAXIMUM_GENERATOR_PULSE_LENGTH) {
        report(err::SetTransducerPulseWidthInvalidWidth);
        return 0;
    }
    return setField(Bank::Peripheral, cardIndex, reg::per::kPulseWidth, reg::per::kPulseWidthField, width);
}

std::uint32_t getTransducerPulseWidth(std::uint32_t cardIndex, std::uint32_t* width)
{
    std::uint32_t version = 0;
    if (KZ_GetPeripheralFirmwareVersion(cardIndex, &version) == 0) {
        return 0;
    }
    if (!hasPulseWidth(version)) {
        report(err::GetTransducerPulseWidthInvalidFirmwareVersion);
        return 0;
    }
    return getField(Bank::Peripheral, cardIndex, reg::per::kPulseWidth, reg::per::kPulseWidthField, width);
}

// The getters that hand out a field of the record under the card's lock.
std::uint32_t getRecordField(std::uint32_t cardIndex, std::uint32_t* out, std::uint32_t BoardState::*field)
{
    return withLockedCard(cardIndex, out, [&](const BoardState& board, std::uint32_t* value) {
        *value = board.*field;
        return 1u;
    });
}

} // namespace

std::uint32_t setNumberOfPeriodsBetweenAScanTriggers(std::uint32_t cardIndex, std::uint32_t periods)
{
    if (boardInRange(cardIndex) == nullptr) {
        return 0;
    }
    if (periods < kMinimumPeriodsBetweenAScanTriggers || periods > kMaximumPeriodsBetweenAScanTriggers) {
        report(err::SetNumberOfPeriodsBetweenAScanTriggersInvalidNumber);
        return 0;
    }
    return setField(Bank::Peripheral, cardIndex, reg::per::kAScanTrigger, reg::per::kPeriodsLessOne, periods - 1);
}

std::uint32_t getNumberOfPeriodsBetweenAScanTriggers(std::uint32_t cardIndex, std::uint32_t* periods)
{
    std::uint32_t lessOne = 0;
    if (periods == nullptr || boardInRange(cardIndex) == nullptr ||
        getField(Bank::Peripheral, cardIndex, reg::per::kAScanTrigger, reg::per::kPeriodsLessOne, &lessOne) == 0) {
        return 0;
    }
    *periods = lessOne + 1;
    return 1;
}

std::uint32_t returnMaximumBScanRepetitionRate(std::uint32_t cardIndex)
{
    const BoardState* board = boardInRange(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    // Divides by the A-scans per B-scan plus 1, not by the count itself.
    return static_cast<std::uint32_t>(std::uint64_t{board->repetitionRate} /
                                      (std::uint64_t{board->numberOfAScansPerBScan} + 1));
}

std::uint32_t setBScanRepetitionRate(std::uint32_t cardIndex, std::uint32_t rate)
{
    BoardState* board = boardInRange(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    if (rate == 0 || rate > returnMaximumBScanRepetitionRate(cardIndex)) {
        report(err::SetBScanRepetitionRateTooHigh);
        return 0;
    }
    // A rate above the pulse clock (or an unknown sampling frequency) leaves no whole period.
    const std::uint32_t period = pulseClockHz(cardIndex) / rate;
    if (period == 0 || period > kLargestBScanPeriod) {
        report(err::SetBScanRepetitionRateTooHigh);
        return 0;
    }
    if (encoder_control::writeBScanPeriod(cardIndex, *board, period) == 0) {
        return 0;
    }
    board->bScanRepetitionRate = rate;
    return 1;
}

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_SetRepetitionRate(uint32_t cardIndex, uint32_t rate)
{
    return kz::withLockedCard(cardIndex, [&](BoardState& board) { return kz::setRepetitionRate(cardIndex, board, rate); });
}

KZ_API uint32_t KZ_GetRepetitionRate(uint32_t cardIndex, uint32_t* rate)
{
    return kz::getRecordField(cardIndex, rate, &BoardState::repetitionRate);
}

KZ_API uint32_t KZ_SetRepetitionTime(uint32_t cardIndex, uint32_t periods)
{
    return kz::withLockedCard(cardIndex,
                              [&](BoardState& board) { return kz::setRepetitionTime(cardIndex, board, periods); });
}

KZ_API uint32_t KZ_GetRepetitionTime(uint32_t cardIndex, uint32_t* periods)
{
    return kz::getRecordField(cardIndex, periods, &BoardState::repetitionTime);
}

KZ_API uint32_t KZ_SetBScanRepetitionRate(uint32_t cardIndex, uint32_t rate)
{
    return kz::withLockedCard(cardIndex, [&](BoardState&) { return kz::setBScanRepetitionRate(cardIndex, rate); });
}

KZ_API uint32_t KZ_GetBScanRepetitionRate(uint32_t cardIndex, uint32_t* rate)
{
    return kz::getRecordField(cardIndex, rate, &BoardState::bScanRepetitionRate);
}

// Takes the lock without a look-up; the rate setter looks the card up.
KZ_API uint32_t KZ_AutoSetBScanRepetitionRate(uint32_t cardIndex)
{
    const kz::CardGuard guard(cardIndex);
    return KZ_SetBScanRepetitionRate(cardIndex, kz::returnMaximumBScanRepetitionRate(cardIndex));
}

KZ_API uint32_t KZ_SetTriggerSelect(uint32_t cardIndex, uint32_t source)
{
    return kz::withLockedCard(cardIndex,
                              [&](BoardState& board) { return kz::setTriggerSelect(cardIndex, board, source); });
}

// Reads without the card's lock.
KZ_API uint32_t KZ_GetTriggerSelect(uint32_t cardIndex, uint32_t* source)
{
    if (source == nullptr) {
        return 0;
    }
    const BoardState* board = kz::lookUpBoard(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    *source = kz::loadRelaxed(board->triggerSelect);
    return 1;
}

KZ_API uint32_t KZ_SetForceBScanTrigger(uint32_t cardIndex)
{
    return kz::withLockedCard(cardIndex,
                              [&](const BoardState& board) { return kz::setForceBScanTrigger(cardIndex, board); });
}

KZ_API uint32_t KZ_SetSyncPulseMode(uint32_t cardIndex, uint32_t mode)
{
    return kz::withLockedCard(cardIndex, [&](BoardState&) -> uint32_t {
        if (mode > kz::kMaximumSyncPulseMode) {
            kz::report(kz::err::SetSyncPulseModeInvalidMode);
            return 0;
        }
        return kz::setField(kz::Bank::Sampling, cardIndex, kz::reg::smp::kFirmwareControl,
                            kz::reg::smp::kSyncPulseMode, mode);
    });
}

KZ_API uint32_t KZ_GetSyncPulseMode(uint32_t cardIndex, uint32_t* mode)
{
    return kz::withLockedCard(cardIndex, mode, [&](BoardState&, uint32_t* out) {
        return kz::getField(kz::Bank::Sampling, cardIndex, kz::reg::smp::kFirmwareControl,
                            kz::reg::smp::kSyncPulseMode, out);
    });
}

KZ_API uint32_t KZ_SetTransducerPulseWidth(uint32_t cardIndex, uint32_t width)
{
    return kz::withLockedCard(cardIndex, [&](BoardState&) { return kz::setTransducerPulseWidth(cardIndex, width); });
}

KZ_API uint32_t KZ_GetTransducerPulseWidth(uint32_t cardIndex, uint32_t* width)
{
    return kz::withLockedCard(cardIndex, width,
                              [&](BoardState&, uint32_t* out) { return kz::getTransducerPulseWidth(cardIndex, out); });
}

// The holdoff is written as it is given.
KZ_API uint32_t KZ_SetTrailingFlankHoldoff(uint32_t cardIndex, uint32_t value)
{
    return kz::withLockedCard(cardIndex, [&](BoardState&) {
        return kz::setBankRegister(kz::Bank::Sampling, cardIndex, kz::reg::smp::kTrailingFlankHoldoff, value);
    });
}

} // extern "C"
