// Storage class of every register of the three banks: what a write stores, what a read shows,
// and the value at power-up. Registers whose read is computed (self-test, command/status,
// counters, version words, I/O ports) are handled by name in SimCard; their entries here give
// the storage behind them.
#pragma once

#include <array>
#include <cstdint>

#include "sim_address_map.h"

namespace xavo::sim {

enum class RegisterKind : std::uint8_t {
    ReadWrite,  // a write stores (writeBits of) the value; a read shows readBits of it
    WriteOnly,  // a write stores the value (visible to peek only); a read shows 0
    ReadOnly,   // writes are ignored; a read shows the stored or computed value
};

struct RegisterTraits {
    RegisterKind kind = RegisterKind::ReadWrite;
    std::uint32_t powerUp = 0;
    std::uint32_t writeBits = 0xFFFFFFFFu;  // bits of a written value that are stored
    std::uint32_t readBits = 0xFFFFFFFFu;   // bits of the stored value a read shows
};

using BankTraits = std::array<RegisterTraits, kBankWords>;

namespace detail {

constexpr void set(BankTraits& t, std::uint32_t offset, RegisterTraits r) { t[offset / 4] = r; }

constexpr RegisterTraits writeOnly() { return {RegisterKind::WriteOnly, 0, 0xFFFFFFFFu, 0}; }
constexpr RegisterTraits readOnly(std::uint32_t powerUp = 0) {
    return {RegisterKind::ReadOnly, powerUp, 0, 0xFFFFFFFFu};
}
constexpr RegisterTraits readWrite(std::uint32_t writeBits, std::uint32_t readBits, std::uint32_t powerUp = 0) {
    return {RegisterKind::ReadWrite, powerUp, writeBits, readBits};
}

constexpr BankTraits systemTraits() {
    BankTraits t{};
    // The command register stores nothing a read shows; the last command is kept for peek.
    set(t, sys::kCommand, {RegisterKind::WriteOnly, 0, 0xFFFFFFFFu, 0});
    set(t, sys::kOutOfRangeCount, readOnly());
    set(t, kRegVersion, readOnly(sys::kDefaultVersion));
    return t;
}

constexpr BankTraits samplingTraits() {
    BankTraits t{};
    set(t, smp::kCurvedGatePort, writeOnly());
    // A write starts a conversion; the read shows the conversion result, not the written word.
    set(t, smp::kRawConversion, writeOnly());
    set(t, smp::kDacBusy, readOnly());
    set(t, smp::kBScansInMemory, readOnly());
    // Bit 31 fires an A-scan when written and is never stored.
    set(t, smp::kSampleControl, readWrite(~smp::kForceTriggerBit, 0xFFFFFFFFu, smp::kSampleControlPowerUp));
    // Bit 31 (busy) is read only; bits 14-31 of a written value are ignored.
    set(t, smp::kSynthMailbox, readWrite(smp::kSynthMailboxWriteBits, 0xFFFFFFFFu));
    set(t, smp::kStatus, readOnly(smp::kStatusClockUnlocked));
    set(t, smp::kTcgPort, writeOnly());
    // The word of the running sampling image, 0 until a release runs one.
    set(t, kRegVersion, readOnly());
    return t;
}

constexpr BankTraits peripheralTraits() {
    constexpr std::uint32_t kBit31 = 1u << 31;
    BankTraits t{};
    set(t, per::kAnalogueControl, writeOnly());
    set(t, per::kStartDelay, writeOnly());
    // Bit 31 is the busy flag of the D-to-A write; a read shows bits 0-13 of the last word.
    set(t, per::kCalibrationDac, readWrite(~kBit31, per::kCalibrationDacReadBits));
    // Bit 31 is the probe-attached input.
    set(t, per::kArrayControl, readWrite(~kBit31, ~kBit31));
    set(t, per::kEncoderControl, writeOnly());
    // Bit 31 is the gate load busy flag.
    set(t, per::kGateLoad, readWrite(~kBit31, ~kBit31));
    // Bit 31 is the focusing unit's acknowledge.
    set(t, per::kFocusing, readWrite(~kBit31, ~kBit31));
    set(t, per::kStepSelect, readWrite(0xFFFFFFFFu, per::kStepSelectReadBits));
    // Bit 30 is the sequencer busy flag.
    set(t, per::kSequencer, readWrite(~per::kSequencerBusyBit, per::kSequencerReadBits));
    set(t, kRegVersion, readOnly());
    return t;
}

}  // namespace detail

inline constexpr std::array<BankTraits, kBankCount> kRegisterTraits = {
    detail::systemTraits(), detail::samplingTraits(), detail::peripheralTraits()};

constexpr const RegisterTraits& registerTraits(Bank bank, std::uint32_t offset) {
    return kRegisterTraits[static_cast<std::uint32_t>(bank)][offset / 4];
}

}  // namespace xavo::sim
