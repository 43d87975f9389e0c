#include "hardware/sample_clock.h"

#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "hardware/busy_wait.h"
#include "hardware/registers.h"
#include "platform/platform.h"

namespace kz {

namespace {

constexpr std::uint32_t kWritesPerSynthesiserRegister = 5;
constexpr std::uint32_t kPauseAfterMailboxWriteMs = 1;
constexpr float kMailboxWaitLimitSeconds = 0.1f;

// Tuning word bytes go to synthesiser registers 4 to 7, most significant first; 8 and 9 are 0.
constexpr std::uint32_t kFirstTuningRegister = 4;
constexpr std::uint32_t kTuningBytes = 4;
constexpr std::uint32_t kClearedRegisters[] = {8, 9};

} // namespace

std::uint32_t waitForSynthesiserMailbox(std::uint32_t cardIndex)
{
    if (boardInRange(cardIndex) == nullptr) {
        return 0;
    }
    switch (waitForRegister(cardIndex, Bank::Sampling, reg::smp::kSynthesiserMailbox, kMailboxWaitLimitSeconds,
                            [](std::uint32_t word) { return reg::smp::kMailboxBusy.extract(word) == 0; })) {
    case WaitResult::Ready: return 1;
    case WaitResult::TimerFailed: report(err::DdsWaitTimerQueryFail); return 0;
    case WaitResult::TimedOut: report(err::DdsWaitTimeout); return 0;
    case WaitResult::ReadFailed: return 0;
    }
    return 0;
}

std::uint32_t setSynthesiserRegister(std::uint32_t cardIndex, std::uint32_t value, std::uint32_t address)
{
    if (boardInRange(cardIndex) == nullptr) {
        return 0;
    }
    if (value > kMaximumSynthesiserValue) {
        report(err::SetDdsRegisterInvalidValue);
        return 0;
    }
    if (address > kMaximumSynthesiserAddress) {
        report(err::SetDdsRegisterInvalidAddress);
        return 0;
    }
    for (std::uint32_t i = 0; i < kWritesPerSynthesiserRegister; ++i) {
        if (setField(Bank::Sampling, cardIndex, reg::smp::kSynthesiserMailbox, reg::smp::kMailboxCommand,
                     (address << 8) | value) == 0 ||
            waitForSynthesiserMailbox(cardIndex) == 0) {
            return 0;
        }
        platform::sleepMilliseconds(kPauseAfterMailboxWriteMs);
    }
    return 1;
}

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_SetSamplingFrequency(uint32_t cardIndex, uint32_t frequencyHz)
{
    return kz::withLockedCard(cardIndex, [&](BoardState& board) -> uint32_t {
        if (frequencyHz > kz::kMaximumSamplingFrequencyHz || frequencyHz < kz::kMinimumSamplingFrequencyHz) {
            kz::report(kz::err::SetSamplingFrequencyInvalidFrequency);
            return 0;
        }
        const uint32_t word = kz::tuningWord(frequencyHz);
        for (uint32_t i = 0; i < kz::kTuningBytes; ++i) {
            const uint32_t byte = (word >> (24 - 8 * i)) & 0xFF;
            if (kz::setSynthesiserRegister(cardIndex, byte, kz::kFirstTuningRegister + i) == 0) {
                return 0;
            }
        }
        for (const uint32_t address : kz::kClearedRegisters) {
            if (kz::setSynthesiserRegister(cardIndex, 0, address) == 0) {
                return 0;
            }
        }
        board.samplingFrequency = frequencyHz;
        return 1;
    });
}

KZ_API uint32_t KZ_GetSamplingFrequency(uint32_t cardIndex, uint32_t* frequencyHz)
{
    return kz::withLockedCard(cardIndex, frequencyHz, [](const BoardState& board, uint32_t* out) {
        *out = board.samplingFrequency;
        return 1u;
    });
}

KZ_API uint32_t KZ_GetHasSampleClockStabilised(uint32_t cardIndex, uint32_t* isStable)
{
    return kz::withLockedCard(cardIndex, isStable, [&](BoardState&, uint32_t* out) -> uint32_t {
        uint32_t notLocked = 0;
        if (kz::getField(kz::Bank::Sampling, cardIndex, kz::reg::smp::kStatus, kz::reg::smp::kClockNotLocked,
                         &notLocked) == 0) {
            return 0;
        }
        *out = notLocked == 0 ? 1 : 0;
        return 1;
    });
}

} // extern "C"
