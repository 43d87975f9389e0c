// The card's windows, open state, DMA, inspection and knobs. Register behaviour lives in
// sim_card_registers.cpp.
#include "sim_card.h"

#include <algorithm>

#include "register_traits.h"

namespace xavo::sim {

DecodedAddress decodeAddress(std::uint32_t address) {
    using W = DecodedAddress::Window;
    DecodedAddress d;
    if (address < kFirmwareWindowBase) {
        d.window = W::SampleMemory;
        d.index = address - kSampleMemoryBase;
    } else if (address < kRegisterWindowBase) {
        const std::uint32_t rel = address - kFirmwareWindowBase;
        if (rel % 4 == 0) {
            d.window = W::Firmware;
            d.index = rel / 4;
        }
    } else if (address < kRegisterWindowBase + kRegisterWindowBytes) {
        const std::uint32_t raw = address - kRegisterWindowBase;
        d.window = W::Unmapped;
        for (std::uint32_t b = 0; b < kBankCount; ++b) {
            if (raw >= kBankRawBase[b] && raw < kBankRawBase[b] + kBankBytes && raw % 4 == 0) {
                d.window = W::Register;
                d.bank = static_cast<Bank>(b);
                d.index = raw - kBankRawBase[b];
            }
        }
    } else if (address >= kEepromBase && address - kEepromBase < kEepromWords * 4) {
        const std::uint32_t rel = address - kEepromBase;
        if (rel % 4 == 0) {
            d.window = W::Eeprom;
            d.index = rel / 4;
        }
    }
    return d;
}

SimCard::Hardware::Hardware() {
    for (std::uint32_t b = 0; b < kBankCount; ++b) resetBankLatches(latches[b], static_cast<Bank>(b));
    dacWords.fill(kDacPowerUp);
}

void SimCard::resetBankLatches(BankLatches& latches, Bank bank) {
    for (std::uint32_t w = 0; w < kBankWords; ++w) latches[w] = registerTraits(bank, w * 4).powerUp;
}

SimCard::SimCard(std::uint32_t deviceId) : deviceId_(deviceId) {}

// ---------------------------------------------------------------- open state and DMA

void SimCard::open() {
    open_ = true;
}

bool SimCard::close() {
    if (!open_) return false;
    open_ = false;
    dmaOpen_ = false;
    return true;
}

bool SimCard::openDmaChannel() {
    if (!open_ || dmaOpen_) return false;
    dmaOpen_ = true;
    return true;
}

bool SimCard::closeDmaChannel() {
    if (!open_ || !dmaOpen_) return false;
    dmaOpen_ = false;
    return true;
}

bool SimCard::isOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

bool SimCard::isDmaChannelOpen() const {
    std::lock_guard lock(mutex_);
    return dmaOpen_;
}

bool SimCard::inRangeOnly() const {
    std::lock_guard lock(mutex_);
    return hw_.inRangeOnly;
}

bool SimCard::dmaTransfer(void* hostBuffer, std::uint32_t address, std::uint32_t bytes, std::uint32_t direction,
                          std::optional<std::uint32_t> partialBytes) {
    if (!open_ || !dmaOpen_) return false;
    if (direction != XAVO_HAL_DMA_HOST_TO_CARD && direction != XAVO_HAL_DMA_CARD_TO_HOST) return false;
    if (address % 4 != 0 || !SampleMemory::contains(address, bytes)) return false;
    if (hostBuffer == nullptr && bytes != 0) return false;

    const std::uint32_t moved = partialBytes ? std::min(*partialBytes, bytes) : bytes;
    const bool copied = direction == XAVO_HAL_DMA_CARD_TO_HOST ? hw_.memory.read(address, hostBuffer, moved)
                                                               : hw_.memory.write(address, hostBuffer, moved);
    return copied && !partialBytes;
}

// ---------------------------------------------------------------- word access

bool SimCard::setWord(std::uint32_t address, std::uint32_t value) {
    using W = DecodedAddress::Window;
    if (!open_) return false;
    const DecodedAddress d = decodeAddress(address);
    switch (d.window) {
        case W::SampleMemory:
            return hw_.memory.writeWord(d.index, value);
        case W::Firmware:
            hw_.download.acceptWord(d.index, value);
            return true;
        case W::Register:
            writeRegister(d.bank, d.index, value);
            return true;
        case W::Unmapped:
            countOutOfRange();
            return true;
        case W::Eeprom:
            eeprom_.write(d.index, value);
            return true;
        case W::None:
            break;
    }
    return false;
}

bool SimCard::getWord(std::uint32_t address, std::uint32_t& value) {
    using W = DecodedAddress::Window;
    if (!open_) return false;
    const DecodedAddress d = decodeAddress(address);
    switch (d.window) {
        case W::SampleMemory:
            return hw_.memory.readWord(d.index, value);
        case W::Firmware:
            value = 0;  // the download window is write only
            return true;
        case W::Register:
            value = readRegister(d.bank, d.index);
            return true;
        case W::Unmapped:
            countOutOfRange();
            value = 0;
            return true;
        case W::Eeprom:
            value = eeprom_.read(d.index);
            return true;
        case W::None:
            break;
    }
    return false;
}

void SimCard::countOutOfRange() {
    std::uint32_t& count = latch(Bank::System, sys::kOutOfRangeCount);
    if (count != 0xFFFFFFFFu) ++count;  // saturates rather than wrapping back to 0
}

// ---------------------------------------------------------------- inspection

bool SimCard::peek(std::uint32_t address, std::uint32_t& value) const {
    using W = DecodedAddress::Window;
    std::lock_guard lock(mutex_);
    const DecodedAddress d = decodeAddress(address);
    switch (d.window) {
        case W::SampleMemory:
            return hw_.memory.readWord(d.index, value);
        case W::Firmware:
            value = hw_.download.lastWord(d.index);
            return true;
        case W::Register:
            value = stored(d.bank, d.index);
            return true;
        case W::Unmapped:
            value = 0;
            return true;
        case W::Eeprom:
            value = eeprom_.read(d.index);
            return true;
        case W::None:
            break;
    }
    return false;
}

bool SimCard::poke(std::uint32_t address, std::uint32_t value) {
    using W = DecodedAddress::Window;
    std::lock_guard lock(mutex_);
    const DecodedAddress d = decodeAddress(address);
    switch (d.window) {
        case W::SampleMemory:
            return hw_.memory.writeWord(d.index, value);
        case W::Firmware:
            hw_.download.storeLastWord(d.index, value);
            return true;
        case W::Register:
            store(d.bank, d.index, value);
            return true;
        case W::Unmapped:
            return true;
        case W::Eeprom:
            eeprom_.store(d.index, value);
            return true;
        case W::None:
            break;
    }
    return false;
}

bool SimCard::readMemory(std::uint32_t address, void* buffer, std::uint32_t bytes) const {
    std::lock_guard lock(mutex_);
    return hw_.memory.read(address, buffer, bytes);
}

bool SimCard::writeMemory(std::uint32_t address, const void* buffer, std::uint32_t bytes) {
    std::lock_guard lock(mutex_);
    return hw_.memory.write(address, buffer, bytes);
}

fwimage::ImagePair SimCard::activeFirmware() const {
    std::lock_guard lock(mutex_);
    return hw_.firmware;
}

bool SimCard::isSequenceCompatible() const {
    std::lock_guard lock(mutex_);
    return hw_.sequenceCompatible;
}

std::uint8_t SimCard::ddsRegister(std::uint32_t reg) const {
    std::lock_guard lock(mutex_);
    return hw_.synthesiser.value(reg);
}

std::uint32_t SimCard::ddsWriteCount(std::uint32_t reg) const {
    std::lock_guard lock(mutex_);
    return hw_.synthesiser.writeCount(reg);
}

std::uint32_t SimCard::dacWord(std::uint32_t destination) const {
    std::lock_guard lock(mutex_);
    return hw_.dacWords.at(destination);
}

std::uint8_t SimCard::pingPongElement(std::uint32_t position) const {
    std::lock_guard lock(mutex_);
    return hw_.banks.pingPong.at(position);
}

std::uint32_t SimCard::strobeCount(Strobe strobe) const {
    std::lock_guard lock(mutex_);
    return hw_.strobeCounts.at(static_cast<std::uint32_t>(strobe));
}

bool SimCard::gateSlot(std::uint32_t step, std::uint32_t gate, GateSlot& slot) const {
    std::lock_guard lock(mutex_);
    return hw_.banks.gates.slot(hw_.sequenceCompatible, step, gate, slot);
}

CurvedGateTable SimCard::curvedGateTable() const {
    std::lock_guard lock(mutex_);
    return hw_.banks.gates.curvedGate();
}

// ---------------------------------------------------------------- knobs

void SimCard::setVersionOverride(Bank bank, std::optional<std::uint32_t> word) {
    std::lock_guard lock(mutex_);
    knobs_.versionOverride[static_cast<std::uint32_t>(bank)] = word;
}

void SimCard::setSelfTestMode(SelfTestMode mode, std::uint32_t stuckValue) {
    std::lock_guard lock(mutex_);
    knobs_.selfTestMode = mode;
    knobs_.selfTestStuckValue = stuckValue;
}

void SimCard::setInputPins(IoPort port, std::uint32_t pins) {
    std::lock_guard lock(mutex_);
    knobs_.inputPins[static_cast<std::uint32_t>(port)] = pins;
}

void SimCard::setProbeAttached(bool attached) {
    std::lock_guard lock(mutex_);
    knobs_.probeAttached = attached;
}

void SimCard::setBusyReads(BusyBit bit, std::uint32_t reads) {
    std::lock_guard lock(mutex_);
    knobs_.busyReads.at(static_cast<std::uint32_t>(bit)) = reads;
}

void SimCard::setDacPeripheralBusyNeverClears(bool flag) {
    std::lock_guard lock(mutex_);
    knobs_.dacPeripheralNeverClears = flag;
}

void SimCard::setClockLockReads(std::uint32_t reads) {
    std::lock_guard lock(mutex_);
    knobs_.clock.lockReads = reads;
}

void SimCard::setClockStrict(bool strict) {
    std::lock_guard lock(mutex_);
    knobs_.clock.strict = strict;
    hw_.synthesiser.knobsChanged(knobs_.clock);
}

void SimCard::setRawConversionCode(std::uint32_t code12) {
    std::lock_guard lock(mutex_);
    knobs_.rawConversionCode = code12 & smp::kRawConversionBits;
}

void SimCard::setForcedRawConversionWord(std::optional<std::uint32_t> word) {
    std::lock_guard lock(mutex_);
    knobs_.forcedRawWord = word;
}

void SimCard::setDownloadCorrupt(bool corrupt) {
    std::lock_guard lock(mutex_);
    knobs_.downloadCorrupt = corrupt;
}

void SimCard::setSampleWordsAtPowerUp(std::uint32_t wordsPlusOne) {
    std::lock_guard lock(mutex_);
    knobs_.sampleWordsAtPowerUp = wordsPlusOne & smp::kSampleControlBankedBits;
    applySampleWordsAtPowerUp();
}

void SimCard::applySampleWordsAtPowerUp() {
    storeInEveryStep(Bank::Sampling, smp::kSampleControl, smp::kSampleControlBankedBits, knobs_.sampleWordsAtPowerUp);
}

// ---------------------------------------------------------------- test actions

void SimCard::preloadFirmware(const fwimage::ImagePair& pair) {
    std::lock_guard lock(mutex_);
    activateFirmware(pair);
}

void SimCard::setEncoderCount(std::uint32_t encoder, std::uint32_t count) {
    std::lock_guard lock(mutex_);
    latch(Bank::Peripheral, per::kEncoderCounter0 + 4 * encoder) = count;
}

void SimCard::setCapturedBScans(std::uint32_t count) {
    std::lock_guard lock(mutex_);
    acquisition_.setCapturedBScans(count);
}

void SimCard::advanceEncoder(std::uint32_t encoder, std::int32_t clicks) {
    std::lock_guard lock(mutex_);
    // Counters wrap like the card's 32-bit counters do.
    latch(Bank::Peripheral, per::kEncoderCounter0 + 4 * encoder) += static_cast<std::uint32_t>(clicks);
}

void SimCard::powerCycle() {
    std::lock_guard lock(mutex_);
    hw_ = Hardware{};
    acquisition_.powerUp();
    applySampleWordsAtPowerUp();
    eeprom_.powerCycle();
}

// ---------------------------------------------------------------- EEPROM

void SimCard::setEepromContents(const Eeprom::Contents& contents) {
    std::lock_guard lock(mutex_);
    eeprom_.setContents(contents);
}

void SimCard::setEepromWord(std::uint32_t index, std::uint32_t value) {
    std::lock_guard lock(mutex_);
    eeprom_.setWord(index, value);
}

std::uint32_t SimCard::eepromWord(std::uint32_t index, bool persistent) const {
    std::lock_guard lock(mutex_);
    return persistent ? eeprom_.persistent().at(index) : eeprom_.working().at(index);
}

void SimCard::eepromWriteLog(std::uint32_t index, std::uint32_t& count, std::uint32_t& lastValue) const {
    std::lock_guard lock(mutex_);
    count = eeprom_.writeCount(index);
    lastValue = eeprom_.lastWritten(index);
}

void SimCard::eepromCommitCounts(std::uint32_t& requested, std::uint32_t& completed) const {
    std::lock_guard lock(mutex_);
    requested = eeprom_.commitsRequested();
    completed = eeprom_.commitsCompleted();
}

void SimCard::clearEepromLog() {
    std::lock_guard lock(mutex_);
    eeprom_.clearLog();
}

}  // namespace xavo::sim
