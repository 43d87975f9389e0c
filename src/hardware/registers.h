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
inline constexpr std::uint32_t kIoBank0 = 0x04;
inline constexpr std::uint32_t kDdr0 = 0x08;
inline constexpr std::uint32_t kIoBank1 = 0x0C;
inline constexpr std::uint32_t kDdr1 = 0x10;
inline constexpr std::uint32_t kCommand = 0x14;
inline constexpr std::uint32_t kOutOfRangeCount = 0x20;
inline constexpr std::uint32_t kVersion = 0xFC;

inline constexpr Field kWholeWord{0, 32};
inline constexpr Field kVersionWord{0, 16};
// Reading kCommand: bit 1 while the EEPROM commit runs, bit 4 the sampling-system interrupt.
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
inline constexpr std::uint32_t kCurvedGatePort = 0x00;
inline constexpr std::uint32_t kRawConversion = 0x04;
inline constexpr std::uint32_t kTrailingFlankHoldoff = 0x08;
inline constexpr std::uint32_t kDacStatus = 0x0C;
inline constexpr std::uint32_t kBScansInMemory = 0x4C;
inline constexpr std::uint32_t kRectifier = 0x50;
inline constexpr std::uint32_t kSampleControl = 0x58;
inline constexpr std::uint32_t kSynthesiserMailbox = 0x5C;
inline constexpr std::uint32_t kTcgControl = 0x60;
inline constexpr std::uint32_t kStatus = 0x64;
inline constexpr std::uint32_t kCScanBase = 0x68;
inline constexpr std::uint32_t kFirmwareControl = 0x6C;
inline constexpr std::uint32_t kTcgDataPort = 0x70;
inline constexpr std::uint32_t kSequenceStep = 0x74;
inline constexpr std::uint32_t kStepsInSequence = 0x78;
inline constexpr std::uint32_t kVersion = 0xFC;

// Raw A-to-D conversion: written as kStartConversion, then read as a 12-bit code.
// Curved-gate data port: each write appends the next threshold (bits 0-15) to the table.
inline constexpr Field kCurvedGateValue{0, 16};
inline constexpr Field kConversionCode{0, 12};
inline constexpr std::uint32_t kStartConversion = 0xFFFFFFFF;
inline constexpr Field kDacBusy{31, 1};
inline constexpr Field kBScansInMemoryLessOne{0, 15};
inline constexpr Field kRectifierMode{0, 2};
// Sample control: sample words per oversample plus 1, drop count, storage mode (0: 16-bit,
// 1: 8-bit), test pattern, sign-and-magnitude, and the forced A-scan trigger strobe.
inline constexpr Field kSampleWordsPlusOne{0, 16};
inline constexpr Field kDropCount{16, 4};
inline constexpr Field kStorageMode{20, 1};
inline constexpr Field kTestPattern{22, 1};
inline constexpr Field kSignAndMagnitude{23, 1};
inline constexpr Field kForceAScanTrigger{31, 1};
// Synthesiser mailbox: value in bits 0-7, synthesiser register address in 8-13; bits 0-14 are
// replaced by each write, bit 31 is set while the card passes the value on.
inline constexpr Field kMailboxCommand{0, 15};
inline constexpr Field kMailboxBusy{31, 1};
// Status: bit 8 while the sample clock has not locked; B-scans captured in the current bank.
inline constexpr Field kClockNotLocked{8, 1};
inline constexpr Field kBScansCaptured{16, 15};
inline constexpr Field kCScanBaseAddress{0, 22};
// Firmware control: A-scans per B-scan (oversamples included) less 1, B-scans per bank less
// 1, sync pulse mode, scan storage option.
inline constexpr Field kAScansPerBScanLessOne{0, 7};
inline constexpr Field kBScansPerBankLessOne{8, 15};
inline constexpr Field kSyncPulseMode{27, 1};
inline constexpr Field kScanStorageOption{30, 2};
// TCG control (one per sequence step): trigger event, enable, mask mode, point ratio less 1,
// and the table load bit, set while the table is streamed through the data port.
inline constexpr Field kTcgTriggerEvent{0, 1};
inline constexpr Field kTcgEnable{1, 1};
inline constexpr Field kTcgMaskMode{2, 2};
inline constexpr Field kTcgPointRatioLessOne{4, 4};
inline constexpr Field kTcgTableLoad{31, 1};
// TCG data port: each write appends one value to the table being loaded.
inline constexpr Field kTcgValue{0, 16};
} // namespace smp

// Peripheral bank.
namespace per {
inline constexpr std::uint32_t kAnalogueControl = 0x00;
inline constexpr std::uint32_t kTriggerDelay = 0x04;
inline constexpr std::uint32_t kPulseWidth = 0x08;
inline constexpr std::uint32_t kDac = 0x0C;
inline constexpr std::uint32_t kAScanTrigger = 0x10;
inline constexpr std::uint32_t kSensorArray = 0x14;
inline constexpr std::uint32_t kPingPong = 0x18;
inline constexpr std::uint32_t kEncoderControl = 0x1C;
inline constexpr std::uint32_t kEncoderCounter0 = 0x20; // counters 0 to 5, 4 bytes apart
inline constexpr std::uint32_t kGateWindow = 0x38;
inline constexpr std::uint32_t kGateAttributes = 0x3C;
inline constexpr std::uint32_t kGateLoad = 0x40;
inline constexpr std::uint32_t kIoBank0 = 0x44;
inline constexpr std::uint32_t kDdr0 = 0x48;
inline constexpr std::uint32_t kFocusingUnit = 0x4C;
inline constexpr std::uint32_t kSequenceStep = 0x5C;
inline constexpr std::uint32_t kSequencer = 0x60;
inline constexpr std::uint32_t kIoBank1 = 0x64;
inline constexpr std::uint32_t kDdr1 = 0x68;
inline constexpr std::uint32_t kVersion = 0xFC;

// Trigger delay (written from triggerDelayShadow): start delay bits 0-15 and 16-20, and the
// internal A-scan trigger.
inline constexpr Field kStartDelayLow{0, 16};
inline constexpr Field kTriggerInternal{16, 1};
inline constexpr Field kStartDelayHigh{20, 5};
inline constexpr Field kPulseWidthField{0, 12};
// A-scan trigger: periods between A-scan triggers less 1; oversamples less 1 (per step).
inline constexpr Field kPeriodsLessOne{0, 17};
inline constexpr Field kOversamplesLessOne{20, 8};
// Sensor array: elements less 1, aperture size, DI interface bits (bit 12 also B-scan mode),
// probe attached (read only).
inline constexpr Field kElementsLessOne{0, 7};
inline constexpr Field kApertureSize{8, 2};
inline constexpr Field kDiInterfaceBits{10, 3};
inline constexpr Field kBScanMode{12, 1};
inline constexpr Field kProbeAttached{31, 1};
// Ping-pong entry: element to fire (after flipping) at a sequence position.
inline constexpr Field kPingPongElement{0, 8};
inline constexpr Field kPingPongPosition{8, 7};
inline constexpr Field kPingPongEntry{0, 15};
// Encoder control (written from encoderControlShadow): clicks per B-scan less 1, selected
// encoder (7: none), fraction in 1/256 clicks, counters 4 and 5 to the I/O pins; with trigger
// source 3 bits 0-25 hold the B-scan period instead; trigger source bits; B-scan strobe.
inline constexpr Field kClicksLessOne{0, 16};
inline constexpr Field kEncoderSelect{16, 3};
inline constexpr Field kClickFraction{20, 8};
inline constexpr Field kConnectCounters4And5{28, 1};
inline constexpr Field kBScanPeriod{0, 26};
inline constexpr Field kTriggerSourceTimed{29, 1};
inline constexpr Field kTriggerSourceEncoder{30, 1};
inline constexpr Field kForceBScanTrigger{31, 1};
// Focusing unit command: data, control bus, the two disable switches, acknowledge (read).
inline constexpr Field kFocusingData{0, 8};
inline constexpr Field kFocusingBus{8, 3};
inline constexpr Field kDisableAperturePositionWrites{10, 1};
inline constexpr Field kDisableApertureDelayWrites{11, 1};
inline constexpr Field kFocusingAcknowledge{31, 1};
// Gate window (staged per step): start and end, each less the count offset, 16 bits each.
inline constexpr Field kGateWindowStart{0, 16};
inline constexpr Field kGateWindowEnd{16, 16};
// Gate attributes (staged per step). The distance metric is split: its low field m0 in bits
// 21-22, its high bit m1 in bit 16.
inline constexpr Field kGateThreshold{0, 12};
inline constexpr Field kGateTriggerGate{12, 4};
inline constexpr Field kGateMetricHigh{16, 1};
inline constexpr Field kGateStoreValue{17, 1};
inline constexpr Field kGateThresholdPolarity{18, 2};
inline constexpr Field kGateTriggerMode{20, 1};
inline constexpr Field kGateMetricLow{21, 2};
inline constexpr Field kGateEnabled{23, 1};
inline constexpr Field kGateAmplitudePeakSelect{24, 4};
inline constexpr Field kGateDistancePeakSelect{28, 4};
// Gate load: writing the index starts the load of the staged gate; busy while it loads.
inline constexpr Field kGateLoadIndex{0, 4};
inline constexpr Field kGateLoadBusy{31, 1};
// Sequencer: steps less 1, busy (read only), run.
inline constexpr Field kStepsLessOne{0, 5};
inline constexpr Field kSequencerBusy{30, 1};
inline constexpr Field kSequencerRun{31, 1};
inline constexpr Field kSelectedStep{0, 5};
// Analogue control word (written from analogueControlShadow): input coupling and impedance,
// one bit per analogue input 0-3, one bit per input range 0-5, the A-to-D converter's options,
// the synthesiser keying bits, the calibration voltage and the auxiliary input, whose two bits
// also select analogue inputs 4 and 5.
inline constexpr Field kInputCoupling{0, 1};
inline constexpr Field kInputImpedance{1, 1};
inline constexpr Field kAnalogueInputs{2, 4};
inline constexpr Field kInputRanges{6, 6};
inline constexpr Field kAToDOutputPortFormat{12, 1};
inline constexpr Field kAToDOutputDataFormat{13, 1};
inline constexpr Field kAToDInputVoltageRange{14, 1};
inline constexpr Field kAToDVrefInputCharacteristics{15, 1};
inline constexpr Field kDdsKey{18, 1};
inline constexpr Field kDdsFsk{19, 1};
inline constexpr Field kCalibrationVoltage{20, 3};
inline constexpr Field kAuxInput{23, 2};
// Calibration D-to-A: the word and its destination (2 gain, 3 offset); bit 31 reads 1 while
// the converter is busy.
inline constexpr Field kDacWord{0, 12};
inline constexpr Field kDacDestination{12, 2};
inline constexpr Field kDacBusy{31, 1};
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

// Write of a register that the card cannot read back, through its shadow in the record: the
// word is the shadow with `field` = value; the shadow takes the word when the write succeeds.
std::uint32_t setShadowField(Bank bank, std::uint32_t cardIndex, std::uint32_t offset, std::uint32_t& shadow,
                             Field field, std::uint32_t value);

// Read-modify-write of one field.
std::uint32_t setField(Bank bank, std::uint32_t cardIndex, std::uint32_t offset, Field field, std::uint32_t value);
std::uint32_t getField(Bank bank, std::uint32_t cardIndex, std::uint32_t offset, Field field, std::uint32_t* value);

// Appends "0x%04x:0x%08x\r\n" to the card's trace file; false when the file cannot be opened,
// written or closed.
bool traceRegisterWrite(const BoardState& board, std::uint32_t rawOffset, std::uint32_t value);

// Writes the self-test pattern to system register 0 and expects its complement back.
std::uint32_t registerSelfTest(std::uint32_t cardIndex);

} // namespace kz
