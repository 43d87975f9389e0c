// Register operations that belong to no acquisition setting: the out-of-range access counter,
// the access mode, the firmware version registers, the sampling-system interrupt flag and the
// sampling firmware reset.
#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "hardware/registers.h"
#include "platform/platform.h"

namespace {

using kz::Bank;
using kz::Field;

constexpr uint32_t kResetFirmwarePauseMs = 100;
constexpr uint32_t kOnlySamplingSystem = 0;

// Reads one field of a register of an initialised card into `out`; the output is written only
// on success.
uint32_t readFieldOfInitialisedCard(uint32_t cardIndex, Bank bank, uint32_t offset, Field field, uint32_t* out)
{
    if (out == nullptr || kz::lookUpBoard(cardIndex) == nullptr) {
        return 0;
    }
    return kz::getField(bank, cardIndex, offset, field, out);
}

uint32_t writeCommand(uint32_t cardIndex, uint32_t command)
{
    return kz::withLockedCard(cardIndex, [&](BoardState&) {
        return kz::setBankRegister(Bank::System, cardIndex, kz::reg::sys::kCommand, command);
    });
}

} // namespace

extern "C" {

KZ_API uint32_t KZ_GetOutOfRangeAccessCount(uint32_t cardIndex, uint32_t* count)
{
    return kz::withLockedCard(cardIndex, count, [&](BoardState&, uint32_t* out) {
        return kz::getField(Bank::System, cardIndex, kz::reg::sys::kOutOfRangeCount, kz::reg::sys::kWholeWord, out);
    });
}

KZ_API uint32_t KZ_ClearOutOfRangeAccessCount(uint32_t cardIndex)
{
    return writeCommand(cardIndex, kz::reg::sys::kCommandClearOutOfRangeCount);
}

KZ_API uint32_t KZ_SetOnlyRespondToInRangeAccess(uint32_t cardIndex)
{
    return writeCommand(cardIndex, kz::reg::sys::kCommandInRangeOnly);
}

KZ_API uint32_t KZ_GetSystemFirmwareVersion(uint32_t cardIndex, uint32_t* version)
{
    return readFieldOfInitialisedCard(cardIndex, Bank::System, kz::reg::sys::kVersion, kz::reg::sys::kVersionWord,
                                      version);
}

KZ_API uint32_t KZ_GetSamplingFirmwareVersion(uint32_t cardIndex, uint32_t* version)
{
    return readFieldOfInitialisedCard(cardIndex, Bank::Sampling, kz::reg::smp::kVersion, kz::reg::kFirmwareVersion,
                                      version);
}

KZ_API uint32_t KZ_GetSamplingFirmwareRevision(uint32_t cardIndex, uint32_t* revision)
{
    return readFieldOfInitialisedCard(cardIndex, Bank::Sampling, kz::reg::smp::kVersion, kz::reg::kFirmwareRevision,
                                      revision);
}

KZ_API uint32_t KZ_GetPeripheralFirmwareVersion(uint32_t cardIndex, uint32_t* version)
{
    return readFieldOfInitialisedCard(cardIndex, Bank::Peripheral, kz::reg::per::kVersion,
                                      kz::reg::kFirmwareVersion, version);
}

KZ_API uint32_t KZ_GetPeripheralFirmwareRevision(uint32_t cardIndex, uint32_t* revision)
{
    return readFieldOfInitialisedCard(cardIndex, Bank::Peripheral, kz::reg::per::kVersion,
                                      kz::reg::kFirmwareRevision, revision);
}

KZ_API uint32_t KZ_GetSamplingSystemIRQFlag(uint32_t cardIndex, uint32_t systemIndex, uint32_t* flag)
{
    return kz::withLockedCard(cardIndex, flag, [&](BoardState&, uint32_t* out) -> uint32_t {
        if (systemIndex != kOnlySamplingSystem) {
            kz::report(kz::err::GetSamplingSystemIrqFlagInvalidIndex);
            return 0;
        }
        return kz::getField(Bank::System, cardIndex, kz::reg::sys::kCommand, kz::reg::sys::kIrqFlag, out);
    });
}

// Stops the sampling firmware for a moment by clearing its control word, then restores it.
KZ_API uint32_t KZ_ResetFirmware(uint32_t cardIndex)
{
    const kz::CardGuard guard(cardIndex);
    uint32_t saved = 0;
    if (kz::getBankRegister(Bank::Sampling, cardIndex, kz::reg::smp::kFirmwareControl, &saved) == 0 ||
        kz::setBankRegister(Bank::Sampling, cardIndex, kz::reg::smp::kFirmwareControl, 0) == 0) {
        return 0;
    }
    kz::platform::sleepMilliseconds(kResetFirmwarePauseMs);
    return kz::setBankRegister(Bank::Sampling, cardIndex, kz::reg::smp::kFirmwareControl, saved);
}

} // extern "C"
