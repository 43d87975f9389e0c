// One simulated card: its open state, DMA channel, three register banks, sample memory,
// EEPROM and firmware download. Every public member locks the card's own mutex, so one call
// is one atomic step of the card.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>

#include "eeprom.h"
#include "firmware_download.h"
#include "sample_memory.h"
#include "sim_address_map.h"

namespace xavo::sim {

enum class SelfTestMode : std::uint32_t { Complement = 0, Echo = 1, Stuck = 2 };

// Where a HAL word address lands.
struct DecodedAddress {
    enum class Window { None, SampleMemory, Firmware, Register, Unmapped, Eeprom };
    Window window = Window::None;
    std::uint32_t index = 0;  // byte address, window word index, EEPROM word or register offset
    Bank bank = Bank::System;
};
DecodedAddress decodeAddress(std::uint32_t address);

class SimCard {
public:
    explicit SimCard(std::uint32_t deviceId);
    SimCard(const SimCard&) = delete;
    SimCard& operator=(const SimCard&) = delete;

    std::uint32_t deviceId() const { return deviceId_; }

    // ---- hardware access ----
    void open();
    bool close();  // false when not open; closes the DMA channel too
    bool openDmaChannel();   // false when the card is not open or the channel already is
    bool closeDmaChannel();  // false when the channel is not open
    // Word access through the address map; false (nothing changed) when the card is not
    // open or the address lies outside every window.
    bool setWord(std::uint32_t address, std::uint32_t value);
    bool getWord(std::uint32_t address, std::uint32_t& value);
    // Block transfer; with `partialBytes` set, at most that many bytes move and the call fails.
    bool dmaTransfer(void* hostBuffer, std::uint32_t address, std::uint32_t bytes, std::uint32_t direction,
                     std::optional<std::uint32_t> partialBytes);

    // ---- inspection and knobs, without side effects ----
    bool isOpen() const;
    bool isDmaChannelOpen() const;
    bool inRangeOnly() const;
    bool peek(std::uint32_t address, std::uint32_t& value) const;
    bool poke(std::uint32_t address, std::uint32_t value);
    bool readMemory(std::uint32_t address, void* buffer, std::uint32_t bytes) const;
    bool writeMemory(std::uint32_t address, const void* buffer, std::uint32_t bytes);
    void setVersionOverride(Bank bank, std::optional<std::uint32_t> word);
    void setSelfTestMode(SelfTestMode mode, std::uint32_t stuckValue);
    void setInputPins(IoPort port, std::uint32_t pins);
    void setProbeAttached(bool attached);

private:
    using BankLatches = std::array<std::uint32_t, kBankWords>;

    std::uint32_t& latch(Bank bank, std::uint32_t offset) {
        return latches_[static_cast<std::uint32_t>(bank)][offset / 4];
    }
    std::uint32_t latch(Bank bank, std::uint32_t offset) const {
        return latches_[static_cast<std::uint32_t>(bank)][offset / 4];
    }

    void writeRegister(Bank bank, std::uint32_t offset, std::uint32_t value);
    std::uint32_t readRegister(Bank bank, std::uint32_t offset);
    void writeSystem(std::uint32_t offset, std::uint32_t value);
    std::uint32_t readSystem(std::uint32_t offset);
    void executeCommand(std::uint32_t command);
    std::uint32_t readIoPort(IoPort port, std::uint32_t dataOffset, std::uint32_t ddrOffset, Bank bank) const;
    void countOutOfRange();

    const std::uint32_t deviceId_;
    mutable std::mutex mutex_;

    bool open_ = false;
    bool dmaOpen_ = false;

    std::array<BankLatches, kBankCount> latches_{};
    std::array<std::optional<std::uint32_t>, kBankCount> versionOverride_{};
    bool inRangeOnly_ = false;

    SelfTestMode selfTestMode_ = SelfTestMode::Complement;
    std::uint32_t selfTestStuckValue_ = 0;
    std::array<std::uint32_t, kIoPortCount> inputPins_{};
    bool probeAttached_ = true;

    SampleMemory memory_;
    Eeprom eeprom_;
    FirmwareDownload download_;
};

}  // namespace xavo::sim
