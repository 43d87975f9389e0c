#include "hardware/registers.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "hardware/hal.h"
#include "platform/platform.h"

namespace kz {

namespace {

struct BankInfo {
    std::uint32_t base;
    ErrorCode setOffsetError;
    ErrorCode getOffsetError;
};

constexpr std::array<BankInfo, 3> kBanks{{
    {KZ_SYSTEM_REGISTER_BASE, err::SetSystemRegisterOffsetOutOfRange, err::GetSystemRegisterOffsetOutOfRange},
    {KZ_SAMPLING_REGISTER_BASE, err::SetSamplingRegisterOffsetOutOfRange, err::GetSamplingRegisterOffsetOutOfRange},
    {KZ_PERIPHERAL_REGISTER_BASE, err::SetPeripheralRegisterOffsetOutOfRange,
     err::GetPeripheralRegisterOffsetOutOfRange},
}};

const BankInfo& info(Bank bank) { return kBanks[static_cast<std::uint32_t>(bank)]; }

bool rawOffsetAccepted(std::uint32_t rawOffset)
{
    return rawOffset < reg::kBankSize || (rawOffset >= KZ_SAMPLING_REGISTER_BASE && rawOffset <= reg::kLastRawOffset);
}

// The checks shared by raw reads and writes; returns the card's record or nullptr.
BoardState* checkRawAccess(std::uint32_t cardIndex, std::uint32_t rawOffset, ErrorCode notOpen, ErrorCode badOffset)
{
    BoardState* board = boardInRange(cardIndex);
    if (board == nullptr) {
        return nullptr;
    }
    if (board->isPCIInitialised == 0) {
        report(notOpen);
        return nullptr;
    }
    if (!rawOffsetAccepted(rawOffset)) {
        report(badOffset);
        return nullptr;
    }
    return board;
}

} // namespace

std::uint32_t setRegister(std::uint32_t cardIndex, std::uint32_t rawOffset, std::uint32_t value)
{
    const BoardState* board =
        checkRawAccess(cardIndex, rawOffset, err::SetRegisterPciNotInitialised, err::SetRegisterOffsetOutOfRange);
    if (board == nullptr) {
        return 0;
    }
    if (board->isDiagnosticMode != 0) {
        traceRegisterWrite(*board, rawOffset, value); // a failed trace never stops the write
    }
    return hal::setWord(cardIndex, hal::kRegisterBase + rawOffset, value) != 0 ? 1 : 0;
}

std::uint32_t getRegister(std::uint32_t cardIndex, std::uint32_t rawOffset, std::uint32_t* value)
{
    if (value == nullptr ||
        checkRawAccess(cardIndex, rawOffset, err::GetRegisterPciNotInitialised, err::GetRegisterOffsetOutOfRange) ==
            nullptr) {
        return 0;
    }
    return hal::getWord(cardIndex, hal::kRegisterBase + rawOffset, value);
}

std::uint32_t setBankRegister(Bank bank, std::uint32_t cardIndex, std::uint32_t offset, std::uint32_t value)
{
    if (boardInRange(cardIndex) == nullptr) {
        return 0;
    }
    if (offset >= reg::kBankSize) {
        report(info(bank).setOffsetError);
        return 0;
    }
    return setRegister(cardIndex, info(bank).base + offset, value);
}

std::uint32_t getBankRegister(Bank bank, std::uint32_t cardIndex, std::uint32_t offset, std::uint32_t* value)
{
    if (boardInRange(cardIndex) == nullptr) {
        return 0;
    }
    if (offset >= reg::kBankSize) {
        report(info(bank).getOffsetError);
        return 0;
    }
    return getRegister(cardIndex, info(bank).base + offset, value);
}

std::uint32_t setField(Bank bank, std::uint32_t cardIndex, std::uint32_t offset, Field field, std::uint32_t value)
{
    std::uint32_t word = 0;
    if (getBankRegister(bank, cardIndex, offset, &word) == 0) {
        return 0;
    }
    return setBankRegister(bank, cardIndex, offset, field.insert(word, value));
}

std::uint32_t setShadowField(Bank bank, std::uint32_t cardIndex, std::uint32_t offset, std::uint32_t& shadow,
                             Field field, std::uint32_t value)
{
    const std::uint32_t word = field.insert(shadow, value);
    if (setBankRegister(bank, cardIndex, offset, word) == 0) {
        return 0;
    }
    shadow = word;
    return 1;
}

std::uint32_t getField(Bank bank, std::uint32_t cardIndex, std::uint32_t offset, Field field, std::uint32_t* value)
{
    std::uint32_t word = 0;
    if (value == nullptr || getBankRegister(bank, cardIndex, offset, &word) == 0) {
        return 0;
    }
    *value = field.extract(word);
    return 1;
}

bool traceRegisterWrite(const BoardState& board, std::uint32_t rawOffset, std::uint32_t value)
{
    char line[32];
    const int length = std::snprintf(line, sizeof line, "0x%04x:0x%08x\r\n", rawOffset, value);
    const std::string path(board.diagnosticsFileName,
                           strnlen(board.diagnosticsFileName, sizeof board.diagnosticsFileName));
    platform::File file;
    if (length <= 0 || !file.open(path, platform::File::Mode::Append)) {
        return false;
    }
    const bool written = file.write(line, static_cast<std::size_t>(length));
    return file.close() && written;
}

std::uint32_t registerSelfTest(std::uint32_t cardIndex)
{
    std::uint32_t echo = 0;
    if (setBankRegister(Bank::System, cardIndex, reg::sys::kSelfTest, reg::sys::kSelfTestPattern) == 0 ||
        getRegister(cardIndex, KZ_SYSTEM_REGISTER_BASE + reg::sys::kSelfTest, &echo) == 0) {
        return 0;
    }
    return echo == ~reg::sys::kSelfTestPattern ? 1 : 0;
}

} // namespace kz

namespace {

// Read-modify-write of a sampling register with `change` applied; the read's result when it
// failed, else the write's.
template <typename Change>
uint32_t changeSamplingRegister(uint32_t cardIndex, uint32_t offset, Change change)
{
    uint32_t word = 0;
    const uint32_t read = kz::getBankRegister(kz::Bank::Sampling, cardIndex, offset, &word);
    if (read == 0) {
        return read;
    }
    return kz::setBankRegister(kz::Bank::Sampling, cardIndex, offset, change(word));
}

} // namespace

extern "C" {

KZ_API uint32_t KZ_SetRegister(uint32_t cardIndex, uint32_t rawOffset, uint32_t value)
{
    return kz::setRegister(cardIndex, rawOffset, value);
}

KZ_API uint32_t KZ_GetRegister(uint32_t cardIndex, uint32_t rawOffset, uint32_t* value)
{
    return kz::getRegister(cardIndex, rawOffset, value);
}

KZ_API uint32_t KZ_SetSamplingRegister(uint32_t cardIndex, uint32_t offset, uint32_t value)
{
    return kz::setBankRegister(kz::Bank::Sampling, cardIndex, offset, value);
}

KZ_API uint32_t KZ_GetSamplingRegister(uint32_t cardIndex, uint32_t offset, uint32_t* value)
{
    return kz::getBankRegister(kz::Bank::Sampling, cardIndex, offset, value);
}

// Takes no lock: a host that calls it beside other operations on the card holds the lock.
KZ_API uint32_t KZ_SetSamplingRegisterBits(uint32_t cardIndex, uint32_t offset, uint32_t mask)
{
    return changeSamplingRegister(cardIndex, offset, [mask](uint32_t word) { return word | mask; });
}

KZ_API uint32_t KZ_ClearSamplingRegisterBits(uint32_t cardIndex, uint32_t offset, uint32_t mask)
{
    const kz::CardGuard guard(cardIndex);
    return changeSamplingRegister(cardIndex, offset, [mask](uint32_t word) { return word & ~mask; });
}

} // extern "C"
