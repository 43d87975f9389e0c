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

SimCard::SimCard(std::uint32_t deviceId) : deviceId_(deviceId) {
    for (std::uint32_t b = 0; b < kBankCount; ++b)
        for (std::uint32_t w = 0; w < kBankWords; ++w) latches_[b][w] = kRegisterTraits[b][w].powerUp;
}

// ---------------------------------------------------------------- open state and DMA

void SimCard::open() {
    std::lock_guard lock(mutex_);
    open_ = true;
}

bool SimCard::close() {
    std::lock_guard lock(mutex_);
    if (!open_) return false;
    open_ = false;
    dmaOpen_ = false;
    return true;
}

bool SimCard::openDmaChannel() {
    std::lock_guard lock(mutex_);
    if (!open_ || dmaOpen_) return false;
    dmaOpen_ = true;
    return true;
}

bool SimCard::closeDmaChannel() {
    std::lock_guard lock(mutex_);
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
    return inRangeOnly_;
}

bool SimCard::dmaTransfer(void* hostBuffer, std::uint32_t address, std::uint32_t bytes, std::uint32_t direction,
                          std::optional<std::uint32_t> partialBytes) {
    std::lock_guard lock(mutex_);
    if (!open_ || !dmaOpen_) return false;
    if (direction != XAVO_HAL_DMA_HOST_TO_CARD && direction != XAVO_HAL_DMA_CARD_TO_HOST) return false;
    if (address % 4 != 0 || !SampleMemory::contains(address, bytes)) return false;
    if (hostBuffer == nullptr && bytes != 0) return false;

    const std::uint32_t moved = partialBytes ? std::min(*partialBytes, bytes) : bytes;
    const bool copied = direction == XAVO_HAL_DMA_CARD_TO_HOST ? memory_.read(address, hostBuffer, moved)
                                                               : memory_.write(address, hostBuffer, moved);
    return copied && !partialBytes;
}

// ---------------------------------------------------------------- word access

bool SimCard::setWord(std::uint32_t address, std::uint32_t value) {
    using W = DecodedAddress::Window;
    std::lock_guard lock(mutex_);
    if (!open_) return false;
    const DecodedAddress d = decodeAddress(address);
    switch (d.window) {
        case W::SampleMemory:
            return memory_.writeWord(d.index, value);
        case W::Firmware:
            download_.acceptWord(d.index, value);
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
    std::lock_guard lock(mutex_);
    if (!open_) return false;
    const DecodedAddress d = decodeAddress(address);
    switch (d.window) {
        case W::SampleMemory:
            return memory_.readWord(d.index, value);
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

// ---------------------------------------------------------------- registers

void SimCard::writeRegister(Bank bank, std::uint32_t offset, std::uint32_t value) {
    if (bank == Bank::System) {
        writeSystem(offset, value);
        return;
    }
    const RegisterTraits& t = registerTraits(bank, offset);
    switch (t.kind) {
        case RegisterKind::ReadOnly:
            return;
        case RegisterKind::WriteOnly:
        case RegisterKind::ReadWrite:
            latch(bank, offset) = value & t.writeBits;
            return;
    }
}

std::uint32_t SimCard::readRegister(Bank bank, std::uint32_t offset) {
    if (offset == kRegVersion) {
        const auto& override = versionOverride_[static_cast<std::uint32_t>(bank)];
        return (override ? *override : latch(bank, offset)) & 0xFFFFu;
    }
    if (bank == Bank::System) return readSystem(offset);
    if (bank == Bank::Peripheral) {
        switch (offset) {
            case per::kArrayControl:
                return (latch(bank, offset) & ~per::kProbeAttachedBit) | (probeAttached_ ? per::kProbeAttachedBit : 0);
            case per::kIoData0:
                return readIoPort(IoPort::Peripheral0, per::kIoData0, per::kIoDdr0, bank);
            case per::kIoData1:
                return readIoPort(IoPort::Peripheral1, per::kIoData1, per::kIoDdr1, bank);
            default:
                break;
        }
    }
    const RegisterTraits& t = registerTraits(bank, offset);
    return t.kind == RegisterKind::WriteOnly ? 0 : latch(bank, offset) & t.readBits;
}

void SimCard::writeSystem(std::uint32_t offset, std::uint32_t value) {
    switch (offset) {
        case sys::kCommand:
            latch(Bank::System, offset) = value;
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
            switch (selfTestMode_) {
                case SelfTestMode::Complement:
                    return ~stored;
                case SelfTestMode::Echo:
                    return stored;
                case SelfTestMode::Stuck:
                    return selfTestStuckValue_;
            }
            return ~stored;
        case sys::kIoData0:
            return readIoPort(IoPort::System0, sys::kIoData0, sys::kIoDdr0, Bank::System);
        case sys::kIoData1:
            return readIoPort(IoPort::System1, sys::kIoData1, sys::kIoDdr1, Bank::System);
        case sys::kCommand:
            return 0;  // status: no EEPROM commit running, no completed bank held
        default:
            return stored;
    }
}

void SimCard::executeCommand(std::uint32_t command) {
    switch (command) {
        case sys::kCmdInRangeOnly:
            inRangeOnly_ = true;
            return;
        case sys::kCmdClearOutOfRange:
            latch(Bank::System, sys::kOutOfRangeCount) = 0;
            return;
        default:
            return;  // not a command this card acts on
    }
}

std::uint32_t SimCard::readIoPort(IoPort port, std::uint32_t dataOffset, std::uint32_t ddrOffset, Bank bank) const {
    // Pins the card drives show the written level; the others show the input pins.
    const std::uint32_t ddr = latch(bank, ddrOffset);
    return (latch(bank, dataOffset) & ddr) | (inputPins_[static_cast<std::uint32_t>(port)] & ~ddr);
}

// ---------------------------------------------------------------- inspection and knobs

bool SimCard::peek(std::uint32_t address, std::uint32_t& value) const {
    using W = DecodedAddress::Window;
    std::lock_guard lock(mutex_);
    const DecodedAddress d = decodeAddress(address);
    switch (d.window) {
        case W::SampleMemory:
            return memory_.readWord(d.index, value);
        case W::Firmware:
            value = download_.lastWord(d.index);
            return true;
        case W::Register:
            value = latch(d.bank, d.index);
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
            return memory_.writeWord(d.index, value);
        case W::Firmware:
            download_.storeLastWord(d.index, value);
            return true;
        case W::Register:
            latch(d.bank, d.index) = value;
            return true;
        case W::Unmapped:
            return true;
        case W::Eeprom:
            eeprom_.write(d.index, value);
            return true;
        case W::None:
            break;
    }
    return false;
}

bool SimCard::readMemory(std::uint32_t address, void* buffer, std::uint32_t bytes) const {
    std::lock_guard lock(mutex_);
    return memory_.read(address, buffer, bytes);
}

bool SimCard::writeMemory(std::uint32_t address, const void* buffer, std::uint32_t bytes) {
    std::lock_guard lock(mutex_);
    return memory_.write(address, buffer, bytes);
}

void SimCard::setVersionOverride(Bank bank, std::optional<std::uint32_t> word) {
    std::lock_guard lock(mutex_);
    versionOverride_[static_cast<std::uint32_t>(bank)] = word;
}

void SimCard::setSelfTestMode(SelfTestMode mode, std::uint32_t stuckValue) {
    std::lock_guard lock(mutex_);
    selfTestMode_ = mode;
    selfTestStuckValue_ = stuckValue;
}

void SimCard::setInputPins(IoPort port, std::uint32_t pins) {
    std::lock_guard lock(mutex_);
    inputPins_[static_cast<std::uint32_t>(port)] = pins;
}

void SimCard::setProbeAttached(bool attached) {
    std::lock_guard lock(mutex_);
    probeAttached_ = attached;
}

}  // namespace xavo::sim
