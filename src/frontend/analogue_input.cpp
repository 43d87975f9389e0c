#include "frontend/analogue_input.h"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>

#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "hardware/busy_wait.h"
#include "hardware/registers.h"
#include "platform/platform.h"

namespace kz {

namespace {

// How each one-field setting is checked and guarded.
struct SettingRule {
    Field field;
    std::uint32_t maximum;
    ErrorCode invalidValue;
    // The A-to-D, keying and calibration-voltage settings run under their caller's lock.
    bool takesLock;
    // The getter reads the control register once after storing the field.
    bool readsControlRegister;
};

constexpr std::array<SettingRule, static_cast<std::size_t>(AnalogueSetting::CalibrationVoltage) + 1> kSettingRules{{
    {reg::per::kInputCoupling, 1, err::SetInputCouplingInvalidCoupling, true, false},
    {reg::per::kInputImpedance, 1, err::SetInputImpedanceInvalidImpedance, true, false},
    {reg::per::kAuxInput, 3, err::SetAuxInputInvalidInput, true, false},
    {reg::per::kAToDOutputPortFormat, 1, err::SetAToDOutputPortFormatInvalidFormat, false, false},
    {reg::per::kAToDOutputDataFormat, 1, err::SetAToDOutputDataFormatInvalidFormat, false, false},
    {reg::per::kAToDInputVoltageRange, 1, err::SetAToDInputVoltageRangeInvalidRange, false, false},
    {reg::per::kAToDVrefInputCharacteristics, 1, err::SetAToDVrefInputCharacteristicsInvalidValue, false, false},
    {reg::per::kDdsKey, 1, err::SetDdsKeyInvalidValue, false, false},
    {reg::per::kDdsFsk, 1, err::SetDdsFskInvalidValue, false, true},
    {reg::per::kCalibrationVoltage, 5, err::SetCalibrationVoltageInvalidVoltage, false, false},
}};

const SettingRule& ruleOf(AnalogueSetting setting) { return kSettingRules[static_cast<std::uint32_t>(setting)]; }

// The auxiliary-input field of inputs 4 and 5 (one bit each); both bits together are aux input 3.
constexpr std::uint32_t kAuxOfInput4 = 1;
constexpr std::uint32_t kAuxOfInput5 = 2;
constexpr std::uint32_t kFirstAuxAnalogueInput = 4;

// The calibration D-to-A destinations and their codes.
struct DacDestination {
    std::uint32_t destination;
    ErrorCode invalidWord;
    ErrorCode timerFailed;
    ErrorCode timedOut;
};
constexpr DacDestination kGainDac{2, err::SetCalibrationGainInvalidWord, err::SetCalibrationGainTimerQueryFail,
                                  err::SetCalibrationGainTimeout};
constexpr DacDestination kOffsetDac{3, err::SetCalibrationOffsetInvalidWord, err::SetCalibrationOffsetTimerQueryFail,
                                    err::SetCalibrationOffsetTimeout};

constexpr float kDacWaitLimitSeconds = 0.001f;
constexpr std::uint32_t kPauseAfterDacWriteMs = 10;

constexpr std::uint32_t dacCommand(const DacDestination& dac, std::uint32_t word)
{
    return reg::per::kDacDestination.insert(reg::per::kDacWord.insert(0, word), dac.destination);
}

bool isRange(std::uint32_t range) { return range < KZ_NUMBER_OF_ANALOGUE_RANGES; }

std::uint32_t rangeBit(std::uint32_t range) { return isRange(range) ? 1u << range : 0; }

// The position of the single set bit of a one-hot field.
std::optional<std::uint32_t> oneHot(std::uint32_t bits)
{
    if (!std::has_single_bit(bits)) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(std::countr_zero(bits));
}

// The range whose bit the shadow holds; none when no bit or several are set.
std::optional<std::uint32_t> shadowRange(const BoardState& board)
{
    return oneHot(reg::per::kInputRanges.extract(board.analogueControlShadow));
}

// Writes the whole analogue control word. The shadow takes the word whether or not the write
// succeeds; the result is the write's.
std::uint32_t writeAnalogueControl(BoardState& board, std::uint32_t cardIndex, std::uint32_t word)
{
    board.analogueControlShadow = word;
    return setBankRegister(Bank::Peripheral, cardIndex, reg::per::kAnalogueControl, word);
}

// The one helper for a field of the analogue control word.
std::uint32_t writeAnalogueControlField(BoardState& board, std::uint32_t cardIndex, Field field, std::uint32_t value)
{
    return writeAnalogueControl(board, cardIndex, field.insert(board.analogueControlShadow, value));
}

std::uint32_t writeCalibrationDac(std::uint32_t cardIndex, const DacDestination& dac, std::uint32_t word)
{
    if (boardInRange(cardIndex) == nullptr) {
        return 0;
    }
    if (word > kMaximumDacWord) {
        report(dac.invalidWord);
        return 0;
    }
    if (setBankRegister(Bank::Peripheral, cardIndex, reg::per::kDac, dacCommand(dac, word)) == 0) {
        return 0;
    }
    // A ready flag seen only after the limit still counts as a time-out.
    switch (waitForRegister(cardIndex, Bank::Sampling, reg::smp::kDacStatus, kDacWaitLimitSeconds,
                            [](std::uint32_t status) { return reg::smp::kDacBusy.extract(status) == 0; })) {
    case WaitResult::Ready: platform::sleepMilliseconds(kPauseAfterDacWriteMs); return 1;
    case WaitResult::TimerFailed: report(dac.timerFailed); return 0;
    case WaitResult::TimedOut: report(dac.timedOut); return 0;
    case WaitResult::ReadFailed: return 0;
    }
    return 0;
}

std::uint32_t setAnalogueInput(BoardState& board, std::uint32_t cardIndex, std::int32_t input)
{
    if (input < 0 || static_cast<std::uint32_t>(input) >= kNumberOfAnalogueInputs) {
        report(err::SetAnalogueInputInvalidInput);
        return 0;
    }
    const auto selected = static_cast<std::uint32_t>(input);
    std::uint32_t word = board.analogueControlShadow;
    word = reg::per::kAnalogueInputs.insert(word, 0);
    word = reg::per::kInputRanges.insert(word, 0);
    word = reg::per::kAuxInput.insert(word, 0);
    if (selected < kFirstAuxAnalogueInput) {
        word = reg::per::kAnalogueInputs.insert(word, 1u << selected);
        word = reg::per::kInputRanges.insert(word, rangeBit(board.analogueInputRange));
    } else {
        // Inputs 4 and 5 come through the auxiliary bits and have no range.
        word = reg::per::kAuxInput.insert(word, selected == kFirstAuxAnalogueInput ? kAuxOfInput4 : kAuxOfInput5);
    }
    return writeAnalogueControl(board, cardIndex, word);
}

std::uint32_t getAnalogueInput(const BoardState& board, std::uint32_t* input)
{
    const std::optional<std::uint32_t> selected =
        oneHot(reg::per::kAnalogueInputs.extract(board.analogueControlShadow));
    if (!selected) {
        report(err::GetAnalogueInputInvalidFlags);
        return 0;
    }
    *input = *selected;
    return 1;
}

std::uint32_t setZeroOffset(BoardState& board, std::uint32_t cardIndex, std::int32_t offset)
{
    const std::uint32_t range = board.currentRange;
    if (offset < kMinimumZeroOffset || offset > kMaximumZeroOffset || !isRange(range)) {
        return 0; // refused without a code
    }
    board.zeroOffset[range] = offset;
    constexpr auto kTopWord = static_cast<std::int32_t>(kMaximumDacWord);
    const std::int32_t word = std::clamp<std::int32_t>(board.calibrationOffsetWord[range] + offset, 0, kTopWord);
    if (setBankRegister(Bank::Peripheral, cardIndex, reg::per::kDac,
                        dacCommand(kOffsetDac, static_cast<std::uint32_t>(word))) == 0) {
        return 0;
    }
    // The converter shows busy in the register just written; a card that never clears it
    // fails the write after 1 ms, as the calibration writes do.
    switch (waitForRegister(cardIndex, Bank::Peripheral, reg::per::kDac, kDacWaitLimitSeconds,
                            [](std::uint32_t status) { return reg::per::kDacBusy.extract(status) == 0; })) {
    case WaitResult::Ready: return 1;
    case WaitResult::TimerFailed: report(kOffsetDac.timerFailed); return 0;
    case WaitResult::TimedOut: report(kOffsetDac.timedOut); return 0;
    case WaitResult::ReadFailed: return 0;
    }
    return 0;
}

// The checks run before the lock is taken; a range equal to the record's current range returns
// at once unless `evenIfCurrent`.
std::uint32_t setAnalogueInputRange(std::uint32_t cardIndex, std::uint32_t range, bool evenIfCurrent)
{
    BoardState* board = lookUpBoard(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    if (!isRange(range)) {
        report(err::SetAnalogueInputRangeInvalidRange);
        return 0;
    }
    if (board->isRangeCalibrated[range] == 0) {
        report(err::SetAnalogueInputRangeCannotChangeWhileRunning);
        return 0;
    }
    const std::uint32_t aux = reg::per::kAuxInput.extract(board->analogueControlShadow);
    if (aux == kAuxOfInput4 || aux == kAuxOfInput5) {
        report(err::SetAnalogueInputRangeNotValidForAux);
        return 0;
    }
    if (range == board->currentRange && !evenIfCurrent) {
        return 1;
    }
    const CardGuard guard(cardIndex);
    board->currentRange = range;
    board->analogueInputRange = range;
    // The stored words are sign-extended, so a negative one fails the write with its code.
    if (selectInputRange(cardIndex, range) == 0 ||
        writeCalibrationDac(cardIndex, kGainDac, static_cast<std::uint32_t>(std::int32_t{board->calibrationGainWord[range]})) ==
            0) {
        return 0;
    }
    return writeCalibrationDac(cardIndex, kOffsetDac,
                               static_cast<std::uint32_t>(std::int32_t{board->calibrationOffsetWord[range]}));
}

} // namespace

std::uint32_t setAnalogueSetting(std::uint32_t cardIndex, AnalogueSetting setting, std::uint32_t value)
{
    const SettingRule& rule = ruleOf(setting);
    BoardState* board = lookUpBoard(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    std::optional<CardGuard> guard;
    if (rule.takesLock) {
        guard.emplace(cardIndex);
    }
    if (value > rule.maximum) {
        report(rule.invalidValue);
        return 0;
    }
    return writeAnalogueControlField(*board, cardIndex, rule.field, value);
}

std::uint32_t getAnalogueSetting(std::uint32_t cardIndex, AnalogueSetting setting, std::uint32_t* value)
{
    const SettingRule& rule = ruleOf(setting);
    if (value == nullptr) {
        return 0;
    }
    const BoardState* board = lookUpBoard(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    std::optional<CardGuard> guard;
    if (rule.takesLock) {
        guard.emplace(cardIndex);
    }
    *value = rule.field.extract(board->analogueControlShadow);
    if (rule.readsControlRegister) {
        std::uint32_t ignored = 0;
        return getBankRegister(Bank::Peripheral, cardIndex, reg::per::kAnalogueControl, &ignored);
    }
    return 1;
}

std::uint32_t selectInputRange(std::uint32_t cardIndex, std::uint32_t range)
{
    BoardState* board = lookUpBoard(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    if (!isRange(range)) {
        report(err::SetAnalogueInputRangeInvalidRange);
        return 0;
    }
    board->analogueInputRange = range;
    return writeAnalogueControlField(*board, cardIndex, reg::per::kInputRanges, rangeBit(range));
}

std::uint32_t setAnalogueInputRangeAndWords(std::uint32_t cardIndex, std::uint32_t range)
{
    return setAnalogueInputRange(cardIndex, range, true);
}

std::uint32_t setCalibrationGain(std::uint32_t cardIndex, std::uint32_t word)
{
    return writeCalibrationDac(cardIndex, kGainDac, word);
}

std::uint32_t setCalibrationOffset(std::uint32_t cardIndex, std::uint32_t word)
{
    return writeCalibrationDac(cardIndex, kOffsetDac, word);
}

std::uint32_t getCalibrationDacReady(std::uint32_t cardIndex, std::uint32_t* ready)
{
    std::uint32_t busy = 0;
    if (ready == nullptr || getField(Bank::Sampling, cardIndex, reg::smp::kDacStatus, reg::smp::kDacBusy, &busy) == 0) {
        return 0;
    }
    *ready = busy == 0 ? 1 : 0;
    return 1;
}

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_SetInputCoupling(uint32_t cardIndex, uint32_t coupling)
{
    return kz::setAnalogueSetting(cardIndex, kz::AnalogueSetting::InputCoupling, coupling);
}

KZ_API uint32_t KZ_GetInputCoupling(uint32_t cardIndex, uint32_t* coupling)
{
    return kz::getAnalogueSetting(cardIndex, kz::AnalogueSetting::InputCoupling, coupling);
}

KZ_API uint32_t KZ_SetInputImpedance(uint32_t cardIndex, uint32_t impedance)
{
    return kz::setAnalogueSetting(cardIndex, kz::AnalogueSetting::InputImpedance, impedance);
}

KZ_API uint32_t KZ_GetInputImpedance(uint32_t cardIndex, uint32_t* impedance)
{
    return kz::getAnalogueSetting(cardIndex, kz::AnalogueSetting::InputImpedance, impedance);
}

KZ_API uint32_t KZ_SetAuxInput(uint32_t cardIndex, uint32_t auxInput)
{
    return kz::setAnalogueSetting(cardIndex, kz::AnalogueSetting::AuxInput, auxInput);
}

KZ_API uint32_t KZ_GetAuxInput(uint32_t cardIndex, uint32_t* auxInput)
{
    return kz::getAnalogueSetting(cardIndex, kz::AnalogueSetting::AuxInput, auxInput);
}

KZ_API uint32_t KZ_SetAToDOutputPortFormat(uint32_t cardIndex, uint32_t format)
{
    return kz::setAnalogueSetting(cardIndex, kz::AnalogueSetting::AToDOutputPortFormat, format);
}

KZ_API uint32_t KZ_GetAToDOutputPortFormat(uint32_t cardIndex, uint32_t* format)
{
    return kz::getAnalogueSetting(cardIndex, kz::AnalogueSetting::AToDOutputPortFormat, format);
}

KZ_API uint32_t KZ_SetAToDOutputDataFormat(uint32_t cardIndex, uint32_t format)
{
    return kz::setAnalogueSetting(cardIndex, kz::AnalogueSetting::AToDOutputDataFormat, format);
}

KZ_API uint32_t KZ_GetAToDOutputDataFormat(uint32_t cardIndex, uint32_t* format)
{
    return kz::getAnalogueSetting(cardIndex, kz::AnalogueSetting::AToDOutputDataFormat, format);
}

KZ_API uint32_t KZ_SetAToDInputVoltageRange(uint32_t cardIndex, uint32_t range)
{
    return kz::setAnalogueSetting(cardIndex, kz::AnalogueSetting::AToDInputVoltageRange, range);
}

KZ_API uint32_t KZ_GetAToDInputVoltageRange(uint32_t cardIndex, uint32_t* range)
{
    return kz::getAnalogueSetting(cardIndex, kz::AnalogueSetting::AToDInputVoltageRange, range);
}

KZ_API uint32_t KZ_SetAToDVrefInputCharacteristics(uint32_t cardIndex, uint32_t characteristics)
{
    return kz::setAnalogueSetting(cardIndex, kz::AnalogueSetting::AToDVrefInputCharacteristics, characteristics);
}

KZ_API uint32_t KZ_GetAToDVrefInputCharacteristics(uint32_t cardIndex, uint32_t* characteristics)
{
    return kz::getAnalogueSetting(cardIndex, kz::AnalogueSetting::AToDVrefInputCharacteristics, characteristics);
}

KZ_API uint32_t KZ_SetAnalogueInput(uint32_t cardIndex, int32_t input)
{
    return kz::withLockedCard(cardIndex,
                              [&](BoardState& board) { return kz::setAnalogueInput(board, cardIndex, input); });
}

KZ_API uint32_t KZ_GetAnalogueInput(uint32_t cardIndex, uint32_t* input)
{
    return kz::withLockedCard(cardIndex, input,
                              [](const BoardState& board, uint32_t* out) { return kz::getAnalogueInput(board, out); });
}

KZ_API uint32_t KZ_SetAnalogueInputRange(uint32_t cardIndex, uint32_t range)
{
    return kz::setAnalogueInputRange(cardIndex, range, false);
}

KZ_API uint32_t KZ_GetAnalogueInputRange(uint32_t cardIndex, uint32_t* range)
{
    return kz::withLockedCard(cardIndex, range, [](const BoardState& board, uint32_t* out) -> uint32_t {
        const std::optional<uint32_t> selected = kz::shadowRange(board);
        if (!selected) {
            return 0; // no error code
        }
        *out = *selected;
        return 1;
    });
}

KZ_API uint32_t KZ_SetZeroOffset(uint32_t cardIndex, int32_t offset)
{
    return kz::withLockedCard(cardIndex,
                              [&](BoardState& board) { return kz::setZeroOffset(board, cardIndex, offset); });
}

KZ_API uint32_t KZ_GetZeroOffset(uint32_t cardIndex, int32_t* offset)
{
    return kz::withLockedCard(cardIndex, offset, [](const BoardState& board, int32_t* out) -> uint32_t {
        const std::optional<uint32_t> range = kz::shadowRange(board);
        if (!range) {
            return 0;
        }
        *out = board.zeroOffset[*range];
        return 1;
    });
}

// Stored for the record only; nothing reaches the card.
KZ_API uint32_t KZ_SetGainTweaks(uint32_t cardIndex, uint16_t plus20, uint16_t minus20, uint16_t minus40)
{
    BoardState* board = kz::lookUpBoard(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    board->gainTweakPlus20 = plus20;
    board->gainTweakMinus20 = minus20;
    board->gainTweakMinus40 = minus40;
    return 1;
}

} // extern "C"
