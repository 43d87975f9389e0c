// Encoders: the encoder that times B-scans, the whole and fractional clicks per B-scan, the six
// encoder counters (observed by the host's hooks) and the routing of counters 4 and 5 to the
// I/O pins.
#include "acquisition/encoder_control.h"
#include "acquisition/timing.h"
#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "frame/hooks.h"
#include "hardware/registers.h"

namespace kz {

namespace {

constexpr std::uint32_t kMaximumClicksPerBScan = 65536;
// Encoder index 6 addresses encoder 0; 7 in the select field means none.
constexpr std::uint32_t kLastEncoderIndex = 6;
constexpr std::uint32_t kAliasOfEncoder0 = 6;
constexpr std::uint32_t kNoEncoderSelected = 7;
// The fraction is held in units of 1/256 click.
constexpr std::uint32_t kFractionShift = 8;
constexpr std::uint32_t kEncoderCounterSpacing = 4;
constexpr std::int32_t kConnectCounters = 1;
// Peripheral DDR 0 bits of encoder counters 4 and 5.
constexpr std::uint32_t kCounters4And5DdrBits = 0xC0;

// Shifts of 32 or more use the count modulo 32, as the card's processor does.
constexpr std::uint32_t shiftLeft(std::uint32_t value, std::uint32_t count) { return value << (count % 32); }
constexpr std::uint32_t shiftRight(std::uint32_t value, std::uint32_t count) { return value >> (count % 32); }

std::uint32_t counterOffset(std::uint32_t encoder)
{
    return reg::per::kEncoderCounter0 + kEncoderCounterSpacing * (encoder == kAliasOfEncoder0 ? 0 : encoder);
}

std::uint32_t setClicks(std::uint32_t cardIndex, BoardState& board, std::uint32_t clicks)
{
    if (clicks == 0 || clicks > kMaximumClicksPerBScan) {
        report(err::SetNumberOfEncoderClicksPerBScanInvalidNumber);
        return 0;
    }
    return encoder_control::setEncoderSetting(cardIndex, board, reg::per::kClicksLessOne, clicks - 1);
}

// The fraction is numerator / 2^unityShift of a click, stored in 1/256 units with the remainder
// dropped.
std::uint32_t setFraction(std::uint32_t cardIndex, BoardState& board, std::uint32_t numerator,
                          std::uint32_t unityShift)
{
    if (numerator >= shiftLeft(1, unityShift)) {
        report(err::SetFractionalNumberOfEncoderClicksPerBScanInvalidNumerator);
        return 0;
    }
    const std::uint32_t fraction = unityShift <= kFractionShift ? shiftLeft(numerator, kFractionShift - unityShift)
                                                               : shiftRight(numerator, unityShift - kFractionShift);
    return encoder_control::setEncoderSetting(cardIndex, board, reg::per::kClickFraction, fraction);
}

std::uint32_t setEncoderSelect(std::uint32_t cardIndex, BoardState& board, std::uint32_t encoder)
{
    if (encoder > kLastEncoderIndex && encoder != KZ_ENCODER_NONE) {
        report(err::SetEncoderSelectInvalidIndex);
        return 0;
    }
    return encoder_control::setEncoderSetting(cardIndex, board, reg::per::kEncoderSelect,
                                              encoder == KZ_ENCODER_NONE ? kNoEncoderSelected : encoder);
}

std::uint32_t getEncoderOutput(std::uint32_t cardIndex, std::uint32_t encoder, std::uint32_t* value)
{
    if (encoder > kLastEncoderIndex) {
        report(err::GetEncoderOutputInvalidIndex);
        return 0;
    }
    std::uint32_t count = 0;
    if (getBankRegister(Bank::Peripheral, cardIndex, counterOffset(encoder), &count) == 0) {
        return 0;
    }
    *value = count;
    callGetEncoderOutputHooks(cardIndex, encoder == kAliasOfEncoder0 ? 0 : encoder, value);
    return 1;
}

std::uint32_t resetEncoderOutput(std::uint32_t cardIndex, std::uint32_t encoder)
{
    if (encoder > kLastEncoderIndex) {
        report(err::SetResetEncoderOutputInvalidIndex);
        return 0;
    }
    if (setBankRegister(Bank::Peripheral, cardIndex, counterOffset(encoder), 0) == 0) {
        return 0;
    }
    callResetEncoderOutputHooks(cardIndex, encoder == kAliasOfEncoder0 ? 0 : encoder);
    return 1;
}

std::uint32_t connectCounters4And5(std::uint32_t cardIndex, BoardState& board, std::int32_t flag)
{
    const bool connect = flag == kConnectCounters;
    if (encoder_control::setCounters4And5Connected(cardIndex, board, connect) == 0) {
        return 0;
    }
    if (encoder_control::holdsBScanPeriod(board)) {
        // The write replaced the B-scan period; a refusal is reported by the rate setter.
        setBScanRepetitionRate(cardIndex, board.bScanRepetitionRate);
    }
    if (connect) {
        std::uint32_t ddr = 0;
        if (KZ_GetPeripheralDDR0(cardIndex, &ddr) == 0 ||
            KZ_SetPeripheralDDR0(cardIndex, ddr & ~kCounters4And5DdrBits) == 0) {
            return 0;
        }
    }
    return 1;
}

} // namespace

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_SetNumberOfEncoderClicksPerBScan(uint32_t cardIndex, uint32_t clicks)
{
    return kz::withLockedCard(cardIndex, [&](BoardState& board) { return kz::setClicks(cardIndex, board, clicks); });
}

KZ_API uint32_t KZ_GetNumberOfEncoderClicksPerBScan(uint32_t cardIndex, uint32_t* clicks)
{
    if (clicks == nullptr) {
        return 0;
    }
    return kz::withLockedCard(cardIndex, [&](const BoardState& board) {
        *clicks = kz::reg::per::kClicksLessOne.extract(board.encoderControlShadow) + 1;
        return 1u;
    });
}

KZ_API uint32_t KZ_SetFractionalNumberOfEncoderClicksPerBScan(uint32_t cardIndex, uint32_t numerator,
                                                              uint32_t unityShift)
{
    return kz::withLockedCard(cardIndex,
                        [&](BoardState& board) { return kz::setFraction(cardIndex, board, numerator, unityShift); });
}

// The numerator is reported in 1/256 units, whatever unit it was given in.
KZ_API uint32_t KZ_GetFractionalNumberOfEncoderClicksPerBScan(uint32_t cardIndex, uint32_t* numerator,
                                                              uint32_t* unityShift)
{
    if (numerator == nullptr || unityShift == nullptr) {
        return 0;
    }
    return kz::withLockedCard(cardIndex, [&](const BoardState& board) {
        *numerator = kz::reg::per::kClickFraction.extract(board.encoderControlShadow);
        *unityShift = kz::kFractionShift;
        return 1u;
    });
}

KZ_API uint32_t KZ_SetEncoderSelect(uint32_t cardIndex, uint32_t encoder)
{
    return kz::withLockedCard(cardIndex,
                        [&](BoardState& board) { return kz::setEncoderSelect(cardIndex, board, encoder); });
}

KZ_API uint32_t KZ_GetEncoderSelect(uint32_t cardIndex, uint32_t* encoder)
{
    if (encoder == nullptr) {
        return 0;
    }
    return kz::withLockedCard(cardIndex, [&](const BoardState& board) {
        const uint32_t selected = kz::reg::per::kEncoderSelect.extract(board.encoderControlShadow);
        *encoder = selected == kz::kNoEncoderSelected ? KZ_ENCODER_NONE : selected;
        return 1u;
    });
}

KZ_API uint32_t KZ_GetEncoderOutput(uint32_t cardIndex, uint32_t encoder, uint32_t* value)
{
    if (value == nullptr) {
        return 0;
    }
    return kz::withLockedCard(cardIndex,
                        [&](const BoardState&) { return kz::getEncoderOutput(cardIndex, encoder, value); });
}

KZ_API uint32_t KZ_SetResetEncoderOutput(uint32_t cardIndex, uint32_t encoder)
{
    return kz::withLockedCard(cardIndex, [&](const BoardState&) { return kz::resetEncoderOutput(cardIndex, encoder); });
}

KZ_API uint32_t KZ_ConnectEncoderCounters4And5ToIO(uint32_t cardIndex, int32_t flag)
{
    return kz::withLockedCard(cardIndex,
                        [&](BoardState& board) { return kz::connectCounters4And5(cardIndex, board, flag); });
}

} // extern "C"
