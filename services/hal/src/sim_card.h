// One simulated card: its open state, DMA channel, three register banks, sample memory,
// EEPROM, firmware download and running firmware, frequency synthesiser and the status bits
// the card library polls. One call is one atomic step of the card: the hardware-access members
// run under the lock of the slot the card is active in, which their caller holds; every other
// public member locks the card's own mutex, and the control interface holds the slot's lock as
// well while the card is active, so that the two never overlap.
//
// State comes in three lifetimes:
//   - knobs (fault injection and inputs): kept until the card set is reset;
//   - the EEPROM's persistent copy and its write log: kept across power cycles;
//   - the hardware state: back to power-up at a power cycle; the sampling and peripheral
//     banks' part of it also at every firmware release.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "analogue_chain.h"
#include "analogue_model.h"
#include "capture.h"
#include "eeprom.h"
#include "firmware_download.h"
#include "firmware_image.h"
#include "gate_slots.h"
#include "read_countdown.h"
#include "sample_memory.h"
#include "sim_address_map.h"
#include "synthesiser.h"
#include "tcg_table.h"

namespace xavo::sim {

enum class SelfTestMode : std::uint32_t { Complement = 0, Echo = 1, Stuck = 2 };

// The status bits that count reads, in the order of the control interface's constants.
enum class BusyBit : std::uint32_t {
    DdsMailbox = 0,    // sampling 0x5C bit 31
    GateLoad = 1,      // peripheral 0x40 bit 31
    Sequencer = 2,     // peripheral 0x60 bit 30, after the run bit goes to 0
    Dac = 3,           // sampling 0x0C bit 31 and peripheral 0x0C bit 31
    EepromCommit = 4,  // system 0x14 bit 1
    FocusingAck = 5,   // peripheral 0x4C bit 31 (waits at 0)
};
inline constexpr std::uint32_t kBusyBitCount = 6;
inline constexpr std::array<std::uint32_t, kBusyBitCount> kDefaultBusyReads = {1, 1, 2, 1, 3, 1};

// Strobe bits: act when written, never stored.
enum class Strobe : std::uint32_t { ForcedAScan = 0, BScanStart = 1 };
inline constexpr std::uint32_t kStrobeCount = 2;

inline constexpr std::uint32_t kDacCount = 4;
inline constexpr std::uint32_t kDacPowerUp = 0x800;
inline constexpr std::uint32_t kPingPongEntries = 128;
inline constexpr std::uint32_t kEncoderCount = 6;
inline constexpr std::uint32_t kSteps = 32;
struct TcgPortCounts {
    std::uint32_t writePointer = 0;
    std::uint32_t writes = 0;   // data port writes since the firmware started
    std::uint32_t dropped = 0;  // of those, past the table's end
};

static_assert(kSteps == GateUnit::kSteps, "the gate unit stages one pair per step");

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

    // ---- hardware access (the caller holds the lock of the card's slot) ----
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

    // ---- inspection, without side effects ----
    bool isOpen() const;
    bool isDmaChannelOpen() const;
    bool inRangeOnly() const;
    bool peek(std::uint32_t address, std::uint32_t& value) const;
    bool poke(std::uint32_t address, std::uint32_t value);
    // The stored value of a step-banked register as step `step` sees it; false for other
    // addresses and steps.
    bool peekStep(std::uint32_t address, std::uint32_t step, std::uint32_t& value) const;
    bool readMemory(std::uint32_t address, void* buffer, std::uint32_t bytes) const;
    bool writeMemory(std::uint32_t address, const void* buffer, std::uint32_t bytes);
    fwimage::ImagePair activeFirmware() const;
    bool isSequenceCompatible() const;
    std::uint8_t ddsRegister(std::uint32_t reg) const;
    std::uint32_t ddsWriteCount(std::uint32_t reg) const;
    std::uint32_t dacWord(std::uint32_t destination) const;
    std::uint8_t pingPongElement(std::uint32_t position) const;
    std::uint32_t strobeCount(Strobe strobe) const;
    // False when the slot does not exist for the running firmware generation.
    bool gateSlot(std::uint32_t step, std::uint32_t gate, GateSlot& slot) const;
    // The curved-gate table and its port pointer.
    CurvedGateTable curvedGateTable() const;

    // ---- knobs ----
    void setVersionOverride(Bank bank, std::optional<std::uint32_t> word);
    void setSelfTestMode(SelfTestMode mode, std::uint32_t stuckValue);
    void setInputPins(IoPort port, std::uint32_t pins);
    void setProbeAttached(bool attached);
    void setBusyReads(BusyBit bit, std::uint32_t reads);
    void setDacPeripheralBusyNeverClears(bool flag);
    void setClockLockReads(std::uint32_t reads);
    void setClockStrict(bool strict);
    void setRawConversionCode(std::uint32_t code12);
    void setForcedRawConversionWord(std::optional<std::uint32_t> word);
    void setDownloadCorrupt(bool corrupt);
    // Sampling 0x58 bits 0-15 at power-up and after a release, in every step; set now as well.
    void setSampleWordsAtPowerUp(std::uint32_t wordsPlusOne);

    // ---- test actions ----
    // Runs the pair as if a download of it had been released (registers to power-up);
    // a missing word leaves that bank without firmware.
    void preloadFirmware(const fwimage::ImagePair& pair);
    void setEncoderCount(std::uint32_t encoder, std::uint32_t count);
    // B-scans captured in the current bank, set past capture.
    void setCapturedBScans(std::uint32_t count);
    void advanceEncoder(std::uint32_t encoder, std::int32_t clicks);
    void powerCycle();

    // ---- acquisition (sim_card_capture.cpp) ----
    void advanceCardTime(std::uint64_t nanoseconds);
    void externalPulses(std::uint32_t count);
    void forceDataFull();
    void setDataFullAfterDroppedTriggers(std::uint32_t triggers);
    void setTriggersPaused(bool paused);
    void setCaptureWithoutLock(bool flag);
    void setDataSource(DataSource source, std::int32_t constantCode);
    void setScene(const XAVO_SIM_Scene& scene);
    XAVO_SIM_CaptureStatus captureStatus() const;

    // ---- EEPROM ----
    void setEepromContents(const Eeprom::Contents& contents);
    void setEepromWord(std::uint32_t index, std::uint32_t value);
    std::uint32_t eepromWord(std::uint32_t index, bool persistent) const;
    void eepromWriteLog(std::uint32_t index, std::uint32_t& count, std::uint32_t& lastValue) const;
    void eepromCommitCounts(std::uint32_t& requested, std::uint32_t& completed) const;
    void clearEepromLog();

    // ---- analogue front end and TCG table (sim_card_frontend.cpp) ----
    AnaloguePersonality analoguePersonality() const;
    // Replaces the personality; the noise restarts from its seed.
    void setAnaloguePersonality(const AnaloguePersonality& personality);
    void changeAnalogueKnobs(const std::function<void(AnalogueKnobs&)>& change);
    // The noise-free level of the samples the present settings give, and samples drawn as a
    // capture would convert them.
    double analogueLevel() const;
    void drawAnalogueSamples(std::uint32_t count, std::int32_t* codes);
    // False when the points run past the running firmware's table.
    bool tcgPoints(std::uint32_t first, std::uint32_t count, std::uint16_t* out) const;
    TcgPortCounts tcgPortCounts() const;

private:
    using BankLatches = std::array<std::uint32_t, kBankWords>;
    using StepCopies = std::array<std::uint32_t, kSteps>;

    // Registers with one copy per sequence step (for the banked bits).
    static constexpr std::uint32_t kBankedRegisterCount = 5;

    struct Knobs {
        SelfTestMode selfTestMode = SelfTestMode::Complement;
        std::uint32_t selfTestStuckValue = 0;
        std::array<std::uint32_t, kIoPortCount> inputPins{};
        bool probeAttached = true;
        std::array<std::optional<std::uint32_t>, kBankCount> versionOverride{};
        std::array<std::uint32_t, kBusyBitCount> busyReads = kDefaultBusyReads;
        bool dacPeripheralNeverClears = false;
        Synthesiser::Knobs clock;
        std::uint32_t rawConversionCode = 0;  // 12-bit two's complement
        std::optional<std::uint32_t> forcedRawWord;
        bool downloadCorrupt = false;
        std::uint32_t sampleWordsAtPowerUp = smp::kSampleControlPowerUp;
    };

    // What the sampling and peripheral firmware hold beyond their register latches.
    struct FirmwareBankState {
        FirmwareBankState();
        std::array<StepCopies, kBankedRegisterCount> stepCopies{};
        std::array<std::uint8_t, kPingPongEntries> pingPong{};
        ReadCountdown ddsBusy;
        GateUnit gates;
        ReadCountdown sequencerBusy;
        ReadCountdown dacBusy;
        bool dacPeripheralStuck = false;
        ReadCountdown focusingWait;
        std::uint32_t rawConversion = 0;
        TcgTable tcg;
    };

    // Everything a power cycle returns to power-up.
    struct Hardware {
        Hardware();
        std::array<BankLatches, kBankCount> latches{};
        FirmwareBankState banks;
        fwimage::ImagePair firmware;
        bool sequenceCompatible = false;
        FirmwareDownload download;
        Synthesiser synthesiser;
        std::array<std::uint32_t, kDacCount> dacWords{};
        ReadCountdown commitBusy;
        bool commitPending = false;
        bool inRangeOnly = false;
        std::array<std::uint32_t, kStrobeCount> strobeCounts{};
        SampleMemory memory;
    };

    std::uint32_t& latch(Bank bank, std::uint32_t offset) {
        return hw_.latches[static_cast<std::uint32_t>(bank)][offset / 4];
    }
    std::uint32_t latch(Bank bank, std::uint32_t offset) const {
        return hw_.latches[static_cast<std::uint32_t>(bank)][offset / 4];
    }
    static void resetBankLatches(BankLatches& latches, Bank bank);

    // Register storage with step banking: stored() composes the common bits with the selected
    // step's copy; store() writes both.
    std::uint32_t stored(Bank bank, std::uint32_t offset) const;
    void store(Bank bank, std::uint32_t offset, std::uint32_t value);
    // Sets `bits` of a register to `value` in the latch and in every step's copy.
    void storeInEveryStep(Bank bank, std::uint32_t offset, std::uint32_t bits, std::uint32_t value);
    void applySampleWordsAtPowerUp();
    std::uint32_t selectedStep(Bank selectorBank, std::uint32_t selectorOffset) const;
    // A step-banked register as step `step` holds it (other registers: the stored value).
    std::uint32_t storedForStep(Bank bank, std::uint32_t offset, std::uint32_t step) const;
    std::uint32_t stepCount() const { return hw_.sequenceCompatible ? kSteps : 1; }
    std::uint32_t gateSlotCount() const;

    void writeRegister(Bank bank, std::uint32_t offset, std::uint32_t value);
    std::uint32_t readRegister(Bank bank, std::uint32_t offset);
    void writeSystem(std::uint32_t offset, std::uint32_t value);
    std::uint32_t readSystem(std::uint32_t offset);
    void writeSampling(std::uint32_t offset, std::uint32_t value);
    std::uint32_t readSampling(std::uint32_t offset);
    void writePeripheral(std::uint32_t offset, std::uint32_t value);
    std::uint32_t readPeripheral(std::uint32_t offset);
    void writePlain(Bank bank, std::uint32_t offset, std::uint32_t value);
    std::uint32_t readPlain(Bank bank, std::uint32_t offset) const;

    // The registers the acquisition reads, and the enabled gate slots of a step.
    CaptureSettings captureSettings() const;
    GateList enabledGateSlots(std::uint32_t step) const;
    void forcedAScan();

    void executeCommand(std::uint32_t command);
    void release();
    void activateFirmware(const fwimage::ImagePair& pair);
    void finishCommit();
    std::uint32_t readIoPort(IoPort port, std::uint32_t dataOffset, std::uint32_t ddrOffset, Bank bank) const;
    void countOutOfRange();
    AnalogueOperatingPoint analogueOperatingPoint() const;
    std::uint32_t busyReads(BusyBit bit) const { return knobs_.busyReads[static_cast<std::uint32_t>(bit)]; }

    const std::uint32_t deviceId_;
    mutable std::mutex mutex_;

    bool open_ = false;
    bool dmaOpen_ = false;

    Knobs knobs_;
    AnalogueModel analogue_;  // personality and knobs: kept until the card set is reset
    Eeprom eeprom_;
    Hardware hw_;
    // The input chain the capture converts through: the analogue model and the TCG table above.
    mutable AnalogueInputChain inputChain_{analogue_, hw_.banks.tcg};
    // Capture state and its knobs; a power cycle returns the state to power-up.
    Acquisition acquisition_;
};

}  // namespace xavo::sim
