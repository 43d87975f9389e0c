// The register layer: the only road from the library's logic to the card's three register
// banks. Raw offsets 0-255 are the system bank, 512 + offset the sampling bank and
// 1024 + offset the peripheral bank; the layer accepts raw offsets 0-255 and 512-2303.
#pragma once

#include <cstdint>

#include "XAVOKZ.h"

namespace kz {

enum class Bank : std::uint32_t { System = 0, Sampling = 1, Peripheral = 2 };

// A field of a register: `width` bits starting at bit `shift`.
struct Field {
    std::uint32_t shift;
    std::uint32_t width;

    constexpr std::uint32_t mask() const
    {
        return (width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1u)) << shift;
    }
    constexpr std::uint32_t extract(std::uint32_t word) const { return (word & mask()) >> shift; }
    constexpr std::uint32_t insert(std::uint32_t word, std::uint32_t value) const
    {
        return (word & ~mask()) | ((value << shift) & mask());
    }
};

namespace reg {

inline constexpr std::uint32_t kBankSize = 256;
inline constexpr std::uint32_t kLastRawOffset = KZ_MAXIMUM_RAW_REGISTER_OFFSET;

// System bank.
namespace sys {
inline constexpr std::uint32_t kSelfTest = 0x00;
inline constexpr std::uint32_t kCommand = 0x14;
inline constexpr std::uint32_t kOutOfRangeCount = 0x20;
inline constexpr std::uint32_t kVersion = 0xFC;

inline constexpr Field kVersionWord{0, 16};
inline constexpr Field kIrqFlag{4, 1};
inline constexpr Field kEepromCommitBusy{1, 1};

// Commands written to kCommand.
inline constexpr std::uint32_t kCommandRelease = 0x11;
inline constexpr std::uint32_t kCommandEepromCommit = 0x12;
inline constexpr std::uint32_t kCommandInRangeOnly = 0x100;
inline constexpr std::uint32_t kCommandClearOutOfRangeCount = 0x200;

// The self-test writes this and expects its complement back.
inline constexpr std::uint32_t kSelfTestPattern = 0x12345678;
} // namespace sys

// Sampling bank.
namespace smp {
inline constexpr std::uint32_t kFirmwareControl = 0x6C;
inline constexpr std::uint32_t kVersion = 0xFC;
} // namespace smp

// Peripheral bank.
namespace per {
inline constexpr std::uint32_t kVersion = 0xFC;
} // namespace per

// Sampling and peripheral firmware version words: version in bits 12-15, revision in 0-11.
inline constexpr Field kFirmwareVersion{12, 4};
inline constexpr Field kFirmwareRevision{0, 12};

} // namespace reg

// Raw access: checks the card, its open state and the raw offset, traces writes in
// diagnostic mode, then hands the access to the hardware-access library.
std::uint32_t setRegister(std::uint32_t cardIndex, std::uint32_t rawOffset, std::uint32_t value);
std::uint32_t getRegister(std::uint32_t cardIndex, std::uint32_t rawOffset, std::uint32_t* value);

// Bank access: an offset of 256 or more reports the bank's own error. No lock is taken; the
// caller holds the card's lock.
std::uint32_t setBankRegister(Bank bank, std::uint32_t cardIndex, std::uint32_t offset, std::uint32_t value);
std::uint32_t getBankRegister(Bank bank, std::uint32_t cardIndex, std::uint32_t offset, std::uint32_t* value);

// Read-modify-write of one field.
std::uint32_t setField(Bank bank, std::uint32_t cardIndex, std::uint32_t offset, Field field, std::uint32_t value);
std::uint32_t getField(Bank bank, std::uint32_t cardIndex, std::uint32_t offset, Field field, std::uint32_t* value);

// Appends "0x%04x:0x%08x\r\n" to the card's trace file; false when the file cannot be opened,
// written or closed.
bool traceRegisterWrite(const BoardState& board, std::uint32_t rawOffset, std::uint32_t value);

// Writes the self-test pattern to system register 0 and expects its complement back.
std::uint32_t registerSelfTest(std::uint32_t cardIndex);

} // namespace kz
