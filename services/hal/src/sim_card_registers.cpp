// Register behaviour of the simulated card: commands, firmware release, step banking, the
// synthesiser mailbox, the status bits that count reads, strobes and side tables.
#include <iterator>

#include "register_traits.h"
#include "sim_card.h"

namespace xavo::sim {

namespace {

// A register with one copy of `bankedBits` per sequence step, selected by another register's
// bits 0-4 while sequence-compatible firmware runs; the other bits are common to all steps.
struct BankedRegister {
    Bank bank;
    std::uint32_t offset;
    std::uint32_t bankedBits;
    Bank selectorBank;
    std::uint32_t selectorOffset;
};

constexpr std::uint32_t kAllBits = 0xFFFFFFFFu;

constexpr BankedRegister kBankedRegisters[] = {
    {Bank::Sampling, smp::kSampleControl, smp::kSampleControlBankedBits, Bank::Sampling, smp::kStepSelect},
    {Bank::Sampling, smp::kTcgControl, kAllBits, Bank::Sampling, smp::kStepSelect},
    {Bank::Peripheral, per::kTriggerPeriod, per::kOversamplesBankedBits, Bank::Peripheral, per::kStepSelect},
    {Bank::Peripheral, per::kGateWindow, kAllBits, Bank::Peripheral, per::kStepSelect},
    {Bank::Peripheral, per::kGateAttributes, kAllBits, Bank::Peripheral, per::kStepSelect},
};

// Index into kBankedRegisters, or -1.
constexpr int bankedIndex(Bank bank, std::uint32_t offset) {
    for (std::size_t i = 0; i < std::size(kBankedRegisters); ++i)
        if (kBankedRegisters[i].bank == bank && kBankedRegisters[i].offset == offset) return static_cast<int>(i);
    return -1;
}
constexpr int kGateWindowIndex = bankedIndex(Bank::Peripheral, per::kGateWindow);
constexpr int kGateAttributesIndex = bankedIndex(Bank::Peripheral, per::kGateAttributes);

constexpr std::uint32_t bit(bool set, std::uint32_t mask) { return set ? mask : 0; }

}  // namespace

SimCard::FirmwareBankState::FirmwareBankState() {
    for (std::size_t i = 0; i < std::size(kBankedRegisters); ++i) {
        const BankedRegister& r = kBankedRegisters[i];
        stepCopies[i].fill(registerTraits(r.bank, r.offset).powerUp & r.bankedBits);
    }
}

// ---------------------------------------------------------------- storage and step banking

std::uint32_t SimCard::selectedStep(Bank selectorBank, std::uint32_t selectorOffset) const {
    return hw_.sequenceCompatible ? latch(selectorBank, selectorOffset) & smp::kStepSelectBits : 0;
}

std::uint32_t SimCard::stored(Bank bank, std::uint32_t offset) const {
    const int i = bankedIndex(bank, offset);
    if (i < 0) return latch(bank, offset);
    const BankedRegister& r = kBankedRegisters[i];
    const std::uint32_t copy = hw_.banks.stepCopies[i][selectedStep(r.selectorBank, r.selectorOffset)];
    return (latch(bank, offset) & ~r.bankedBits) | (copy & r.bankedBits);
}

void SimCard::store(Bank bank, std::uint32_t offset, std::uint32_t value) {
    latch(bank, offset) = value;
    const int i = bankedIndex(bank, offset);
    if (i < 0) return;
    const BankedRegister& r = kBankedRegisters[i];
    hw_.banks.stepCopies[i][selectedStep(r.selectorBank, r.selectorOffset)] = value & r.bankedBits;
}

void SimCard::storeInEveryStep(Bank bank, std::uint32_t offset, std::uint32_t bits, std::uint32_t value) {
    latch(bank, offset) = (latch(bank, offset) & ~bits) | (value & bits);
    const int i = bankedIndex(bank, offset);
    if (i < 0) return;
    for (std::uint32_t& copy : hw_.banks.stepCopies[i]) copy = (copy & ~bits) | (value & bits);
}

bool SimCard::peekStep(std::uint32_t address, std::uint32_t step, std::uint32_t& value) const {
    std::lock_guard lock(mutex_);
    const DecodedAddress d = decodeAddress(address);
    if (d.window != DecodedAddress::Window::Register || step >= kSteps || bankedIndex(d.bank, d.index) < 0) return false;
    value = storedForStep(d.bank, d.index, step);
    return true;
}

std::uint32_t SimCard::storedForStep(Bank bank, std::uint32_t offset, std::uint32_t step) const {
    const int i = bankedIndex(bank, offset);
    if (i < 0 || step >= kSteps) return latch(bank, offset);
    const std::uint32_t banked = kBankedRegisters[i].bankedBits;
    return (latch(bank, offset) & ~banked) | (hw_.banks.stepCopies[i][step] & banked);
}

void SimCard::writePlain(Bank bank, std::uint32_t offset, std::uint32_t value) {
    const RegisterTraits& t = registerTraits(bank, offset);
    if (t.kind != RegisterKind::ReadOnly) store(bank, offset, value & t.writeBits);
}

std::uint32_t SimCard::readPlain(Bank bank, std::uint32_t offset) const {
    const RegisterTraits& t = registerTraits(bank, offset);
    return t.kind == RegisterKind::WriteOnly ? 0 : stored(bank, offset) & t.readBits;
}

// ---------------------------------------------------------------- dispatch

void SimCard::writeRegister(Bank bank, std::uint32_t offset, std::uint32_t value) {
    switch (bank) {
        case Bank::System:
            writeSystem(offset, value);
            return;
        case Bank::Sampling:
            writeSampling(offset, value);
            return;
        case Bank::Peripheral:
            writePeripheral(offset, value);
            return;
    }
}

std::uint32_t SimCard::readRegister(Bank bank, std::uint32_t offset) {
    if (offset == kRegVersion) {
        const auto& override = knobs_.versionOverride[static_cast<std::uint32_t>(bank)];
        return (override ? *override : latch(bank, offset)) & 0xFFFFu;
    }
    switch (bank) {
        case Bank::System:
            return readSystem(offset);
        case Bank::Sampling:
            return readSampling(offset);
        case Bank::Peripheral:
            return readPeripheral(offset);
    }
    return 0;
}

// ---------------------------------------------------------------- system bank

void SimCard::writeSystem(std::uint32_t offset, std::uint32_t value) {
    switch (offset) {
        case sys::kCommand:
            latch(Bank::System, offset) = value;  // kept for peek only
            executeCommand(value);
            return;
        case sys::kOutOfRangeCount:
        case kRegVersion:
            return;  // read only
        default:
            latch(Bank::System, offset) = value;
            return;
    }
}

std::uint32_t SimCard::readSystem(std::uint32_t offset) {
    const std::uint32_t stored = latch(Bank::System, offset);
    switch (offset) {
        case sys::kSelfTest:
            switch (knobs_.selfTestMode) {
                case SelfTestMode::Complement:
                    return ~stored;
                case SelfTestMode::Echo:
                    return stored;
                case SelfTestMode::Stuck:
                    return knobs_.selfTestStuckValue;
            }
            return ~stored;
        case sys::kIoData0:
            return readIoPort(IoPort::System0, sys::kIoData0, sys::kIoDdr0, Bank::System);
        case sys::kIoData1:
            return readIoPort(IoPort::System1, sys::kIoData1, sys::kIoDdr1, Bank::System);
        case sys::kCommand: {
            const bool committing = hw_.commitBusy.poll();
            if (!committing && hw_.commitPending) finishCommit();
            return bit(committing, sys::kStatusEepromCommitBusy) | bit(acquisition_.bankHeld(), sys::kStatusSamplingIrq);
        }
        default:
            return stored;
    }
}

void SimCard::executeCommand(std::uint32_t command) {
    switch (command) {
        case sys::kCmdRelease:
            release();
            return;
        case sys::kCmdEepromCommit:
            eeprom_.commitRequested();
            hw_.commitPending = true;
            hw_.commitBusy.start(busyReads(BusyBit::EepromCommit));
            if (!hw_.commitBusy.waiting()) finishCommit();
            return;
        case sys::kCmdInRangeOnly:
            hw_.inRangeOnly = true;
            return;
        case sys::kCmdClearOutOfRange:
            latch(Bank::System, sys::kOutOfRangeCount) = 0;
            return;
        case sys::kCmdBankReleased:
            acquisition_.release();
            return;
        default:
            return;  // not a command this card acts on
    }
}

void SimCard::finishCommit() {
    eeprom_.commit();
    hw_.commitPending = false;
}

// ---------------------------------------------------------------- firmware

void SimCard::release() {
    std::optional<fwimage::ImagePair> pair;
    if (!hw_.download.isCorrupt() && !knobs_.downloadCorrupt) pair = fwimage::parseDownload(hw_.download.bytes());
    activateFirmware(pair.value_or(fwimage::ImagePair{}));
}

void SimCard::activateFirmware(const fwimage::ImagePair& pair) {
    // The firmware's registers start afresh; the system bank, the synthesiser and the D-to-A
    // outputs are not part of it and keep their state.
    resetBankLatches(hw_.latches[static_cast<std::uint32_t>(Bank::Sampling)], Bank::Sampling);
    resetBankLatches(hw_.latches[static_cast<std::uint32_t>(Bank::Peripheral)], Bank::Peripheral);
    hw_.banks = FirmwareBankState{};
    acquisition_.restart();
    hw_.firmware = pair;
    hw_.sequenceCompatible = pair.sampling && fwimage::isSequenceCompatible(*pair.sampling);
    hw_.banks.tcg = TcgTable(hw_.sequenceCompatible);
    latch(Bank::Sampling, kRegVersion) = pair.sampling.value_or(0);
    latch(Bank::Peripheral, kRegVersion) = pair.peripheral.value_or(0);
    applySampleWordsAtPowerUp();
}

// ---------------------------------------------------------------- sampling bank

void SimCard::writeSampling(std::uint32_t offset, std::uint32_t value) {
    FirmwareBankState& b = hw_.banks;
    switch (offset) {
        case smp::kRawConversion:
            latch(Bank::Sampling, offset) = value;
            b.rawConversion = knobs_.rawConversionCode;  // the conversion this write starts
            return;
        case smp::kCurvedGatePort:
            writePlain(Bank::Sampling, offset, value);  // the last value, for peek only
            b.gates.curvedGate().write(value);
            return;
        case smp::kSampleControl:
            store(Bank::Sampling, offset, value & ~smp::kForceTriggerBit);
            if (value & smp::kForceTriggerBit) {
                ++hw_.strobeCounts[static_cast<std::uint32_t>(Strobe::ForcedAScan)];
                forcedAScan();
            }
            return;
        case smp::kScanControl:
            writePlain(Bank::Sampling, offset, value);
            acquisition_.restart();
            return;
        case smp::kTcgControl:
            writePlain(Bank::Sampling, offset, value);
            if (value & smp::kTcgLoadBit) b.tcg.restartLoad();
            return;
        case smp::kTcgPort:
            writePlain(Bank::Sampling, offset, value);
            b.tcg.writePort(value);
            return;
        case smp::kSynthMailbox: {
            latch(Bank::Sampling, offset) = value & smp::kSynthMailboxWriteBits;
            const std::uint32_t reg = (value >> smp::kSynthRegisterShift) & smp::kSynthRegisterBits;
            hw_.synthesiser.write(reg, static_cast<std::uint8_t>(value & smp::kSynthValueBits), knobs_.clock);
            b.ddsBusy.start(busyReads(BusyBit::DdsMailbox));
            return;
        }
        default:
            writePlain(Bank::Sampling, offset, value);
            return;
    }
}

std::uint32_t SimCard::readSampling(std::uint32_t offset) {
    FirmwareBankState& b = hw_.banks;
    switch (offset) {
        case smp::kRawConversion:
            if (knobs_.forcedRawWord) return *knobs_.forcedRawWord;
            return b.rawConversion & smp::kRawConversionBits;
        case smp::kDacBusy:
            return bit(b.dacBusy.poll(), smp::kDacBusyBit);
        case smp::kSynthMailbox:
            return (latch(Bank::Sampling, offset) & smp::kSynthMailboxReadBits) |
                   bit(b.ddsBusy.poll(), smp::kSynthBusyBit);
        case smp::kStatus: {
            const std::uint32_t captured = acquisition_.capturedBScans();
            return bit(!hw_.synthesiser.pollLocked(knobs_.clock), smp::kStatusClockUnlocked) |
                   ((captured & smp::kCapturedBScansBits) << smp::kStatusCapturedShift) |
                   bit(acquisition_.bankHeld(), smp::kStatusBankHeld) | bit(acquisition_.dataFull(), smp::kStatusDataFull);
        }
        case smp::kBScansInMemory: {
            const std::uint32_t captured = acquisition_.capturedBScans();
            return (captured == 0 ? 0 : captured - 1) & smp::kCapturedBScansBits;
        }
        default:
            return readPlain(Bank::Sampling, offset);
    }
}

// ---------------------------------------------------------------- peripheral bank

void SimCard::writePeripheral(std::uint32_t offset, std::uint32_t value) {
    FirmwareBankState& b = hw_.banks;
    switch (offset) {
        case per::kCalibrationDac: {
            latch(Bank::Peripheral, offset) = value & ~per::kCalibrationDacBusyBit;
            const std::uint32_t destination =
                (value >> per::kCalibrationDacDestinationShift) & per::kCalibrationDacDestinationBits;
            hw_.dacWords[destination] = value & per::kCalibrationDacWordBits;
            b.dacBusy.start(busyReads(BusyBit::Dac));
            b.dacPeripheralStuck = knobs_.dacPeripheralNeverClears;
            return;
        }
        case per::kPingPong: {
            latch(Bank::Peripheral, offset) = value;
            const std::uint32_t position = (value >> per::kPingPongPositionShift) & per::kPingPongPositionBits;
            b.pingPong[position] = static_cast<std::uint8_t>(value & per::kPingPongElementBits);
            return;
        }
        case per::kEncoderControl:
            if (value & per::kBScanStrobeBit) {
                ++hw_.strobeCounts[static_cast<std::uint32_t>(Strobe::BScanStart)];
                acquisition_.strobeBScan();
            }
            latch(Bank::Peripheral, offset) = value & ~per::kBScanStrobeBit;
            return;
        case per::kGateLoad:
            latch(Bank::Peripheral, offset) = value & ~per::kGateLoadBusyBit;
            b.gates.load(value & per::kGateIndexBits, hw_.sequenceCompatible, b.stepCopies[kGateWindowIndex],
                         b.stepCopies[kGateAttributesIndex], busyReads(BusyBit::GateLoad));
            return;
        case per::kFocusing:
            latch(Bank::Peripheral, offset) = value & ~per::kFocusingAckBit;
            b.focusingWait.start(busyReads(BusyBit::FocusingAck));
            return;
        case per::kSequencer: {
            const bool wasRunning = (latch(Bank::Peripheral, offset) & per::kSequencerRunBit) != 0;
            const bool running = (value & per::kSequencerRunBit) != 0;
            latch(Bank::Peripheral, offset) = value & ~per::kSequencerBusyBit;
            if (running)
                b.sequencerBusy.stop();  // busy for as long as it runs
            else if (wasRunning)
                b.sequencerBusy.start(busyReads(BusyBit::Sequencer));
            return;
        }
        default:
            writePlain(Bank::Peripheral, offset, value);
            return;
    }
}

std::uint32_t SimCard::readPeripheral(std::uint32_t offset) {
    FirmwareBankState& b = hw_.banks;
    const std::uint32_t stored = latch(Bank::Peripheral, offset);
    switch (offset) {
        case per::kCalibrationDac: {
            const bool busy = b.dacBusy.poll();  // counts for the shared state in any case
            return (stored & per::kCalibrationDacReadBits) |
                   bit(busy || b.dacPeripheralStuck, per::kCalibrationDacBusyBit);
        }
        case per::kArrayControl:
            return (stored & ~per::kProbeAttachedBit) | bit(knobs_.probeAttached, per::kProbeAttachedBit);
        case per::kGateLoad:
            return (stored & ~per::kGateLoadBusyBit) | bit(b.gates.pollBusy(), per::kGateLoadBusyBit);
        case per::kFocusing:
            return (stored & ~per::kFocusingAckBit) | bit(!b.focusingWait.poll(), per::kFocusingAckBit);
        case per::kSequencer: {
            const bool running = (stored & per::kSequencerRunBit) != 0;
            const bool busy = running || b.sequencerBusy.poll();
            return (stored & per::kSequencerReadBits) | bit(busy, per::kSequencerBusyBit);
        }
        case per::kIoData0:
            return readIoPort(IoPort::Peripheral0, per::kIoData0, per::kIoDdr0, Bank::Peripheral);
        case per::kIoData1:
            return readIoPort(IoPort::Peripheral1, per::kIoData1, per::kIoDdr1, Bank::Peripheral);
        default:
            return readPlain(Bank::Peripheral, offset);
    }
}

std::uint32_t SimCard::readIoPort(IoPort port, std::uint32_t dataOffset, std::uint32_t ddrOffset, Bank bank) const {
    // Pins the card drives show the written level; the others show the input pins.
    const std::uint32_t ddr = latch(bank, ddrOffset);
    return (latch(bank, dataOffset) & ddr) | (knobs_.inputPins[static_cast<std::uint32_t>(port)] & ~ddr);
}

}  // namespace xavo::sim
