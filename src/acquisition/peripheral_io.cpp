// Peripheral and system I/O: the data and data-direction registers of the four I/O banks, the
// named outputs of peripheral bank 0, the DI interface bits and the serial number.
#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "hardware/registers.h"

namespace kz {

namespace {

// Named outputs of peripheral bank 0: the digital outputs are bits 28 to 31; bit 28 is also the
// DI board state and bit 29 the water pump.
constexpr std::uint32_t kFirstDigitalOutputBit = 28;
constexpr std::uint32_t kLastDigitalOutputBit = 31;
constexpr std::uint32_t kDiBoardStateBit = 28;
constexpr std::uint32_t kWaterPumpBit = 29;
// DI interface bits low: bit 11 set, bits 10 and 12 cleared.
constexpr std::uint32_t kDiInterfaceBitsLow = 0b010;

std::uint32_t writeRegister(std::uint32_t cardIndex, Bank bank, std::uint32_t offset, std::uint32_t value)
{
    return withLockedCard(cardIndex, [&](BoardState&) { return setBankRegister(bank, cardIndex, offset, value); });
}

// The data registers let the register layer store straight through the caller's pointer.
std::uint32_t readDataRegister(std::uint32_t cardIndex, Bank bank, std::uint32_t offset, std::uint32_t* value)
{
    return withLockedCard(cardIndex, value, [&](BoardState&, std::uint32_t* out) {
        return getBankRegister(bank, cardIndex, offset, out);
    });
}

// The data-direction registers store into the caller's word only when the read succeeded.
std::uint32_t readDirectionRegister(std::uint32_t cardIndex, Bank bank, std::uint32_t offset, std::uint32_t* value)
{
    return withLockedCard(cardIndex, value, [&](BoardState&, std::uint32_t* out) -> std::uint32_t {
        std::uint32_t word = 0;
        if (getBankRegister(bank, cardIndex, offset, &word) == 0) {
            return 0;
        }
        *out = word;
        return 1;
    });
}

// Makes bit `bit` of peripheral bank 0 an output and drives it to `level` (any non-zero level is
// high). A failed access returns 0 at once and leaves the earlier steps done.
std::uint32_t setNamedOutput(std::uint32_t cardIndex, std::uint32_t bit, std::uint32_t level)
{
    const Field pin{bit, 1};
    if (setField(Bank::Peripheral, cardIndex, reg::per::kDdr0, pin, 1) == 0 ||
        setField(Bank::Peripheral, cardIndex, reg::per::kIoBank0, pin, level != 0 ? 1 : 0) == 0) {
        return 0;
    }
    return 1;
}

std::uint32_t setNamedOutputOfCard(std::uint32_t cardIndex, std::uint32_t bit, std::uint32_t level)
{
    return withLockedCard(cardIndex, [&](BoardState&) { return setNamedOutput(cardIndex, bit, level); });
}

} // namespace

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_SetSystemIOBank0(uint32_t cardIndex, uint32_t value)
{
    return kz::writeRegister(cardIndex, kz::Bank::System, kz::reg::sys::kIoBank0, value);
}

KZ_API uint32_t KZ_GetSystemIOBank0(uint32_t cardIndex, uint32_t* value)
{
    return kz::readDataRegister(cardIndex, kz::Bank::System, kz::reg::sys::kIoBank0, value);
}

KZ_API uint32_t KZ_SetSystemDDR0(uint32_t cardIndex, uint32_t value)
{
    return kz::writeRegister(cardIndex, kz::Bank::System, kz::reg::sys::kDdr0, value);
}

KZ_API uint32_t KZ_GetSystemDDR0(uint32_t cardIndex, uint32_t* value)
{
    return kz::readDirectionRegister(cardIndex, kz::Bank::System, kz::reg::sys::kDdr0, value);
}

KZ_API uint32_t KZ_SetSystemIOBank1(uint32_t cardIndex, uint32_t value)
{
    return kz::writeRegister(cardIndex, kz::Bank::System, kz::reg::sys::kIoBank1, value);
}

KZ_API uint32_t KZ_GetSystemIOBank1(uint32_t cardIndex, uint32_t* value)
{
    return kz::readDataRegister(cardIndex, kz::Bank::System, kz::reg::sys::kIoBank1, value);
}

KZ_API uint32_t KZ_SetSystemDDR1(uint32_t cardIndex, uint32_t value)
{
    return kz::writeRegister(cardIndex, kz::Bank::System, kz::reg::sys::kDdr1, value);
}

KZ_API uint32_t KZ_GetSystemDDR1(uint32_t cardIndex, uint32_t* value)
{
    return kz::readDirectionRegister(cardIndex, kz::Bank::System, kz::reg::sys::kDdr1, value);
}

KZ_API uint32_t KZ_SetPeripheralIOBank0(uint32_t cardIndex, uint32_t value)
{
    return kz::writeRegister(cardIndex, kz::Bank::Peripheral, kz::reg::per::kIoBank0, value);
}

KZ_API uint32_t KZ_GetPeripheralIOBank0(uint32_t cardIndex, uint32_t* value)
{
    return kz::readDataRegister(cardIndex, kz::Bank::Peripheral, kz::reg::per::kIoBank0, value);
}

KZ_API uint32_t KZ_SetPeripheralDDR0(uint32_t cardIndex, uint32_t value)
{
    return kz::writeRegister(cardIndex, kz::Bank::Peripheral, kz::reg::per::kDdr0, value);
}

KZ_API uint32_t KZ_GetPeripheralDDR0(uint32_t cardIndex, uint32_t* value)
{
    return kz::readDirectionRegister(cardIndex, kz::Bank::Peripheral, kz::reg::per::kDdr0, value);
}

KZ_API uint32_t KZ_SetPeripheralIOBank1(uint32_t cardIndex, uint32_t value)
{
    return kz::writeRegister(cardIndex, kz::Bank::Peripheral, kz::reg::per::kIoBank1, value);
}

KZ_API uint32_t KZ_GetPeripheralIOBank1(uint32_t cardIndex, uint32_t* value)
{
    return kz::readDataRegister(cardIndex, kz::Bank::Peripheral, kz::reg::per::kIoBank1, value);
}

KZ_API uint32_t KZ_SetPeripheralDDR1(uint32_t cardIndex, uint32_t value)
{
    return kz::writeRegister(cardIndex, kz::Bank::Peripheral, kz::reg::per::kDdr1, value);
}

KZ_API uint32_t KZ_GetPeripheralDDR1(uint32_t cardIndex, uint32_t* value)
{
    return kz::readDirectionRegister(cardIndex, kz::Bank::Peripheral, kz::reg::per::kDdr1, value);
}

KZ_API uint32_t KZ_SetDigitalOutput(uint32_t cardIndex, uint32_t bitNumber, uint32_t level)
{
    return kz::withLockedCard(cardIndex, [&](BoardState&) -> uint32_t {
        if (bitNumber < kz::kFirstDigitalOutputBit || bitNumber > kz::kLastDigitalOutputBit) {
            kz::report(kz::err::SetDigitalOutputInvalidBit);
            return 0;
        }
        return kz::setNamedOutput(cardIndex, bitNumber, level);
    });
}

KZ_API uint32_t KZ_SetDIBoardState(uint32_t cardIndex, uint32_t state)
{
    return kz::setNamedOutputOfCard(cardIndex, kz::kDiBoardStateBit, state);
}

KZ_API uint32_t KZ_SetWaterPumpState(uint32_t cardIndex, uint32_t state)
{
    return kz::setNamedOutputOfCard(cardIndex, kz::kWaterPumpBit, state);
}

KZ_API uint32_t KZ_SetDIInterfaceBitsLow(uint32_t cardIndex)
{
    return kz::withLockedCard(cardIndex, [&](BoardState&) {
        return kz::setField(kz::Bank::Peripheral, cardIndex, kz::reg::per::kSensorArray,
                            kz::reg::per::kDiInterfaceBits, kz::kDiInterfaceBitsLow);
    });
}

KZ_API uint32_t KZ_GetSerialNumber(uint32_t cardIndex, uint32_t* serialNumber)
{
    return kz::withLockedCard(cardIndex, serialNumber, [](const BoardState& board, uint32_t* out) {
        *out = board.serialNumber;
        return 1u;
    });
}

} // extern "C"
