// Address map and register offsets of the simulated Kelzor card.
#pragma once

#include <cstdint>

#include "XAVOCommonHAL.h"

namespace xavo::sim {

// ---- HAL word address windows ----
inline constexpr std::uint32_t kSampleMemoryBase = XAVO_HAL_SAMPLE_MEMORY_BASE;
inline constexpr std::uint32_t kSampleMemoryBytes = XAVO_HAL_SAMPLE_MEMORY_BYTES;
inline constexpr std::uint32_t kFirmwareWindowBase = XAVO_HAL_FIRMWARE_WINDOW_BASE;
inline constexpr std::uint32_t kFirmwareWindowWords = 262144;
inline constexpr std::uint32_t kRegisterWindowBase = XAVO_HAL_REGISTER_BASE;
inline constexpr std::uint32_t kRegisterWindowBytes = 0x100000;
inline constexpr std::uint32_t kEepromBase = XAVO_HAL_EEPROM_BASE;
inline constexpr std::uint32_t kEepromWords = 128;

// ---- register banks ----
enum class Bank : std::uint32_t { System = 0, Sampling = 1, Peripheral = 2 };
inline constexpr std::uint32_t kBankCount = 3;
inline constexpr std::uint32_t kBankBytes = 256;
inline constexpr std::uint32_t kBankWords = kBankBytes / 4;
// Raw offsets (relative to the register window) at which each bank starts.
inline constexpr std::uint32_t kBankRawBase[kBankCount] = {0, 512, 1024};

// Offsets shared by all banks.
inline constexpr std::uint32_t kRegVersion = 0xFC;

// System bank.
namespace sys {
inline constexpr std::uint32_t kSelfTest = 0x00;
inline constexpr std::uint32_t kIoData0 = 0x04;
inline constexpr std::uint32_t kIoDdr0 = 0x08;
inline constexpr std::uint32_t kIoData1 = 0x0C;
inline constexpr std::uint32_t kIoDdr1 = 0x10;
inline constexpr std::uint32_t kCommand = 0x14;  // write: command, read: status
inline constexpr std::uint32_t kOutOfRangeCount = 0x20;

// Commands accepted by kCommand (by exact value).
inline constexpr std::uint32_t kCmdRelease = 0x11;
inline constexpr std::uint32_t kCmdEepromCommit = 0x12;
inline constexpr std::uint32_t kCmdInRangeOnly = 0x100;
inline constexpr std::uint32_t kCmdClearOutOfRange = 0x200;
inline constexpr std::uint32_t kCmdBankReleased = 0x400;

// Status bits read from kCommand.
inline constexpr std::uint32_t kStatusEepromCommitBusy = 1u << 1;
inline constexpr std::uint32_t kStatusSamplingIrq = 1u << 4;

inline constexpr std::uint32_t kDefaultVersion = 0x0101;
}  // namespace sys

// Sampling bank.
namespace smp {
inline constexpr std::uint32_t kCurvedGatePort = 0x00;
inline constexpr std::uint32_t kRawConversion = 0x04;
inline constexpr std::uint32_t kFlankHoldoff = 0x08;
inline constexpr std::uint32_t kDacBusy = 0x0C;
inline constexpr std::uint32_t kBScansInMemory = 0x4C;
inline constexpr std::uint32_t kRectifier = 0x50;
inline constexpr std::uint32_t kSampleControl = 0x58;
inline constexpr std::uint32_t kSynthMailbox = 0x5C;
inline constexpr std::uint32_t kTcgControl = 0x60;
inline constexpr std::uint32_t kStatus = 0x64;
inline constexpr std::uint32_t kCScanBase = 0x68;
inline constexpr std::uint32_t kScanControl = 0x6C;
inline constexpr std::uint32_t kTcgPort = 0x70;
inline constexpr std::uint32_t kStepSelect = 0x74;
inline constexpr std::uint32_t kStepCount = 0x78;

inline constexpr std::uint32_t kRawConversionBits = 0xFFF;       // 12-bit two's-complement code
inline constexpr std::uint32_t kDacBusyBit = 1u << 31;
inline constexpr std::uint32_t kSampleControlPowerUp = 0x0003;  // words per oversample + 1
inline constexpr std::uint32_t kSampleControlBankedBits = 0xFFFF;
inline constexpr std::uint32_t kForceTriggerBit = 1u << 31;
inline constexpr std::uint32_t kSynthMailboxWriteBits = 0x3FFF;
inline constexpr std::uint32_t kSynthMailboxReadBits = 0x7FFF;
inline constexpr std::uint32_t kSynthValueBits = 0xFF;
inline constexpr std::uint32_t kSynthRegisterShift = 8;
inline constexpr std::uint32_t kSynthRegisterBits = 0x3F;
inline constexpr std::uint32_t kSynthBusyBit = 1u << 31;
inline constexpr std::uint32_t kStatusClockUnlocked = 1u << 8;
inline constexpr std::uint32_t kStatusBankHeld = 1u << 9;
inline constexpr std::uint32_t kStatusDataFull = 1u << 31;
inline constexpr std::uint32_t kStatusCapturedShift = 16;
inline constexpr std::uint32_t kCapturedBScansBits = 0x7FFF; // bits 16-30 of kStatus, bits 0-14 of kBScansInMemory
inline constexpr std::uint32_t kStepSelectBits = 0x1F;
inline constexpr std::uint32_t kTcgLoadBit = 1u << 31;  // a write with it set restarts the table load
}  // namespace smp

// Peripheral bank.
namespace per {
inline constexpr std::uint32_t kAnalogueControl = 0x00;
inline constexpr std::uint32_t kStartDelay = 0x04;
inline constexpr std::uint32_t kPulseWidth = 0x08;
inline constexpr std::uint32_t kCalibrationDac = 0x0C;
inline constexpr std::uint32_t kTriggerPeriod = 0x10;
inline constexpr std::uint32_t kArrayControl = 0x14;
inline constexpr std::uint32_t kPingPong = 0x18;
inline constexpr std::uint32_t kEncoderControl = 0x1C;
inline constexpr std::uint32_t kEncoderCounter0 = 0x20;
inline constexpr std::uint32_t kEncoderCounter5 = 0x34;
inline constexpr std::uint32_t kGateWindow = 0x38;
inline constexpr std::uint32_t kGateAttributes = 0x3C;
inline constexpr std::uint32_t kGateLoad = 0x40;
inline constexpr std::uint32_t kIoData0 = 0x44;
inline constexpr std::uint32_t kIoDdr0 = 0x48;
inline constexpr std::uint32_t kFocusing = 0x4C;
inline constexpr std::uint32_t kStepSelect = 0x5C;
inline constexpr std::uint32_t kSequencer = 0x60;
inline constexpr std::uint32_t kIoData1 = 0x64;
inline constexpr std::uint32_t kIoDdr1 = 0x68;

inline constexpr std::uint32_t kCalibrationDacReadBits = 0x3FFF;
inline constexpr std::uint32_t kCalibrationDacWordBits = 0xFFF;
inline constexpr std::uint32_t kCalibrationDacDestinationShift = 12;
inline constexpr std::uint32_t kCalibrationDacDestinationBits = 0x3;
inline constexpr std::uint32_t kCalibrationDacBusyBit = 1u << 31;
inline constexpr std::uint32_t kOversamplesBankedBits = 0x0FF00000;  // 0x10 bits 20-27
inline constexpr std::uint32_t kProbeAttachedBit = 1u << 31;
inline constexpr std::uint32_t kPingPongElementBits = 0xFF;
inline constexpr std::uint32_t kPingPongPositionShift = 8;
inline constexpr std::uint32_t kPingPongPositionBits = 0x7F;
inline constexpr std::uint32_t kBScanStrobeBit = 1u << 31;
inline constexpr std::uint32_t kGateIndexBits = 0xF;
inline constexpr std::uint32_t kGateLoadBusyBit = 1u << 31;
inline constexpr std::uint32_t kFocusingAckBit = 1u << 31;
inline constexpr std::uint32_t kStepSelectReadBits = 0x1F;
inline constexpr std::uint32_t kSequencerRunBit = 1u << 31;
inline constexpr std::uint32_t kSequencerBusyBit = 1u << 30;
inline constexpr std::uint32_t kSequencerReadBits = 0x8000001F;
}  // namespace per

// The four general-purpose I/O ports (data register, direction register).
enum class IoPort : std::uint32_t { System0 = 0, System1 = 1, Peripheral0 = 2, Peripheral1 = 3 };
inline constexpr std::uint32_t kIoPortCount = 4;

}  // namespace xavo::sim
