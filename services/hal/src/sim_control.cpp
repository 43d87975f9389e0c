// Control interface of the simulated card: card set, inspection, knobs, fault rules, call log.
#include <cmath>
#include <functional>

#include "XAVOSimControl.h"
#include "sim_world.h"

using namespace xavo::sim;

namespace {

CardAccess card(std::uint32_t index) { return SimWorld::instance().accessCard(index); }

std::optional<Bank> bankOf(std::uint32_t bank) {
    switch (bank) {
        case XAVO_SIM_BANK_SYSTEM:
            return Bank::System;
        case XAVO_SIM_BANK_SAMPLING:
            return Bank::Sampling;
        case XAVO_SIM_BANK_PERIPHERAL:
            return Bank::Peripheral;
        default:
            return std::nullopt;
    }
}

std::uint32_t result(bool ok) { return ok ? 1u : 0u; }

template <typename T>
void store(T* out, T value) {
    if (out != nullptr) *out = value;
}

constexpr std::uint32_t kWordBits = 0xFFFFu;
constexpr std::int32_t kMinRawCode = -2048;
constexpr std::int32_t kMaxRawCode = 2047;
constexpr std::uint32_t kFirstAuxInput = 4;

std::uint32_t changeAnalogueKnobs(std::uint32_t index, const std::function<void(AnalogueKnobs&)>& change) {
    const auto c = card(index);
    if (!c) return 0;
    c->changeAnalogueKnobs(change);
    return 1;
}

}  // namespace

extern "C" {

// ---- card set ----

XAVO_HAL_API uint32_t XAVO_SIM_ConfigureCards(uint32_t count, uint32_t deviceId) {
    return result(SimWorld::instance().configure(count, deviceId));
}

XAVO_HAL_API uint32_t XAVO_SIM_ReturnNumberOfCards(void) { return SimWorld::instance().numberOfCards(); }

XAVO_HAL_API uint32_t XAVO_SIM_ReturnDeviceId(void) { return SimWorld::instance().deviceId(); }

XAVO_HAL_API void XAVO_SIM_Reset(void) { SimWorld::instance().reset(); }

XAVO_HAL_API void XAVO_SIM_SetEmptyEnumerationSucceeds(uint32_t flag) {
    SimWorld::instance().setEmptyEnumerationSucceeds(flag != 0);
}

// ---- card state ----

XAVO_HAL_API uint32_t XAVO_SIM_IsCardOpen(uint32_t index) {
    const auto c = card(index);
    return result(c && c->isOpen());
}

XAVO_HAL_API uint32_t XAVO_SIM_IsDMAChannelOpen(uint32_t index) {
    const auto c = card(index);
    return result(c && c->isDmaChannelOpen());
}

XAVO_HAL_API uint32_t XAVO_SIM_GetInRangeOnlyFlag(uint32_t index) {
    const auto c = card(index);
    return result(c && c->inRangeOnly());
}

XAVO_HAL_API uint32_t XAVO_SIM_Peek(uint32_t index, uint32_t address, uint32_t* value) {
    const auto c = card(index);
    std::uint32_t v = 0;
    if (!c || value == nullptr || !c->peek(address, v)) return 0;
    *value = v;
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_Poke(uint32_t index, uint32_t address, uint32_t value) {
    const auto c = card(index);
    return result(c && c->poke(address, value));
}

XAVO_HAL_API uint32_t XAVO_SIM_ReadMemory(uint32_t index, uint32_t address, void* buffer, uint32_t bytes) {
    const auto c = card(index);
    return result(c && c->readMemory(address, buffer, bytes));
}

XAVO_HAL_API uint32_t XAVO_SIM_WriteMemory(uint32_t index, uint32_t address, const void* buffer, uint32_t bytes) {
    const auto c = card(index);
    return result(c && c->writeMemory(address, buffer, bytes));
}

// ---- version words ----

XAVO_HAL_API uint32_t XAVO_SIM_SetVersionWord(uint32_t index, uint32_t bank, uint32_t word) {
    const auto c = card(index);
    const auto b = bankOf(bank);
    if (!c || !b || word > 0xFFFFu) return 0;
    c->setVersionOverride(*b, word);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_ClearVersionOverride(uint32_t index, uint32_t bank) {
    const auto c = card(index);
    const auto b = bankOf(bank);
    if (!c || !b) return 0;
    c->setVersionOverride(*b, std::nullopt);
    return 1;
}

// ---- knobs ----

XAVO_HAL_API uint32_t XAVO_SIM_SetSelfTestMode(uint32_t index, uint32_t mode, uint32_t stuckValue) {
    const auto c = card(index);
    if (!c || mode > XAVO_SIM_SELFTEST_STUCK) return 0;
    c->setSelfTestMode(static_cast<SelfTestMode>(mode), stuckValue);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_SetInputPins(uint32_t index, uint32_t port, uint32_t pins) {
    const auto c = card(index);
    if (!c || port >= kIoPortCount) return 0;
    c->setInputPins(static_cast<IoPort>(port), pins);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_SetProbeAttached(uint32_t index, uint32_t attached) {
    const auto c = card(index);
    if (!c) return 0;
    c->setProbeAttached(attached != 0);
    return 1;
}

// ---- firmware ----

XAVO_HAL_API uint32_t XAVO_SIM_PreloadFirmware(uint32_t index, uint32_t samplingWord, uint32_t peripheralWord) {
    const auto c = card(index);
    if (!c || samplingWord > kWordBits || peripheralWord > kWordBits) return 0;
    xavo::fwimage::ImagePair pair;
    if (samplingWord != 0) pair.sampling = static_cast<std::uint16_t>(samplingWord);
    if (peripheralWord != 0) pair.peripheral = static_cast<std::uint16_t>(peripheralWord);
    c->preloadFirmware(pair);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_GetActiveFirmware(uint32_t index, uint32_t* samplingWord, uint32_t* peripheralWord,
                                                 uint32_t* sequenceCompatible) {
    const auto c = card(index);
    if (!c) return 0;
    const xavo::fwimage::ImagePair pair = c->activeFirmware();
    store<uint32_t>(samplingWord, pair.sampling.value_or(0));
    store<uint32_t>(peripheralWord, pair.peripheral.value_or(0));
    store<uint32_t>(sequenceCompatible, c->isSequenceCompatible() ? 1 : 0);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_SetDownloadCorrupt(uint32_t index, uint32_t corrupt) {
    const auto c = card(index);
    if (!c) return 0;
    c->setDownloadCorrupt(corrupt != 0);
    return 1;
}

// ---- busy bits ----

XAVO_HAL_API uint32_t XAVO_SIM_SetBusyReads(uint32_t index, uint32_t busyBit, uint32_t reads) {
    const auto c = card(index);
    if (!c || busyBit >= kBusyBitCount) return 0;
    c->setBusyReads(static_cast<BusyBit>(busyBit), reads);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_SetDacPeripheralBusyNeverClears(uint32_t index, uint32_t flag) {
    const auto c = card(index);
    if (!c) return 0;
    c->setDacPeripheralBusyNeverClears(flag != 0);
    return 1;
}

// ---- synthesiser and sample clock ----

XAVO_HAL_API uint32_t XAVO_SIM_GetDdsRegister(uint32_t index, uint32_t reg, uint32_t* value, uint32_t* writeCount) {
    const auto c = card(index);
    if (!c || reg >= Synthesiser::kRegisters) return 0;
    store<uint32_t>(value, c->ddsRegister(reg));
    store<uint32_t>(writeCount, c->ddsWriteCount(reg));
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_SetClockLockReads(uint32_t index, uint32_t reads) {
    const auto c = card(index);
    if (!c) return 0;
    c->setClockLockReads(reads);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_SetClockStrict(uint32_t index, uint32_t strict) {
    const auto c = card(index);
    if (!c) return 0;
    c->setClockStrict(strict != 0);
    return 1;
}

// ---- D-to-A, A-to-D ----

XAVO_HAL_API uint32_t XAVO_SIM_GetDacWord(uint32_t index, uint32_t destination, uint32_t* word) {
    const auto c = card(index);
    if (!c || destination >= kDacCount || word == nullptr) return 0;
    *word = c->dacWord(destination);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_SetRawConversionCode(uint32_t index, int32_t code) {
    const auto c = card(index);
    if (!c || code < kMinRawCode || code > kMaxRawCode) return 0;
    c->setRawConversionCode(static_cast<std::uint32_t>(code));
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_ForceRawConversionWord(uint32_t index, uint32_t enable, uint32_t word) {
    const auto c = card(index);
    if (!c) return 0;
    c->setForcedRawConversionWord(enable != 0 ? std::optional<std::uint32_t>(word) : std::nullopt);
    return 1;
}

// ---- side tables, strobes, encoders, step banking ----

XAVO_HAL_API uint32_t XAVO_SIM_GetPingPongElement(uint32_t index, uint32_t position, uint32_t* element) {
    const auto c = card(index);
    if (!c || position >= kPingPongEntries || element == nullptr) return 0;
    *element = c->pingPongElement(position);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_GetStrobeCount(uint32_t index, uint32_t strobe, uint32_t* count) {
    const auto c = card(index);
    if (!c || strobe >= kStrobeCount || count == nullptr) return 0;
    *count = c->strobeCount(static_cast<Strobe>(strobe));
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_SetCapturedBScans(uint32_t index, uint32_t count) {
    const auto c = card(index);
    if (!c || count > smp::kCapturedBScansBits) return 0;
    c->setCapturedBScans(count);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_SetEncoderCount(uint32_t index, uint32_t encoder, uint32_t count) {
    const auto c = card(index);
    if (!c || encoder >= kEncoderCount) return 0;
    c->setEncoderCount(encoder, count);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_AdvanceEncoder(uint32_t index, uint32_t encoder, int32_t clicks) {
    const auto c = card(index);
    if (!c || encoder >= kEncoderCount) return 0;
    c->advanceEncoder(encoder, clicks);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_PeekStep(uint32_t index, uint32_t address, uint32_t step, uint32_t* value) {
    const auto c = card(index);
    std::uint32_t v = 0;
    if (!c || value == nullptr || !c->peekStep(address, step, v)) return 0;
    *value = v;
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_GetGateSlot(uint32_t index, uint32_t step, uint32_t gate, uint32_t* window,
                                           uint32_t* attributes) {
    const auto c = card(index);
    GateSlot slot;
    if (!c || !c->gateSlot(step, gate, slot)) return 0;
    store<uint32_t>(window, slot.window);
    store<uint32_t>(attributes, slot.attributes);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_GetCurvedGateTable(uint32_t index, uint16_t* entries, uint32_t* pointer) {
    const auto c = card(index);
    if (!c) return 0;
    const CurvedGateTable table = c->curvedGateTable();
    static_assert(CurvedGateTable::kEntries == XAVO_SIM_CURVED_GATE_ENTRIES);
    if (entries != nullptr)
        for (std::uint32_t i = 0; i < CurvedGateTable::kEntries; ++i) entries[i] = table.entry(i);
    store<uint32_t>(pointer, table.pointer());
    return 1;
}

// ---- EEPROM ----

XAVO_HAL_API uint32_t XAVO_SIM_SetEepromPersonality(uint32_t index, uint32_t personality) {
    const auto c = card(index);
    if (!c || personality >= Eeprom::kPersonalityCount) return 0;
    c->setEepromContents(Eeprom::personality(static_cast<Eeprom::Personality>(personality)));
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_SetEepromWord(uint32_t index, uint32_t word, uint32_t value) {
    const auto c = card(index);
    if (!c || word >= Eeprom::kWords) return 0;
    c->setEepromWord(word, value);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_GetEepromWord(uint32_t index, uint32_t word, uint32_t copy, uint32_t* value) {
    const auto c = card(index);
    if (!c || word >= Eeprom::kWords || value == nullptr) return 0;
    if (copy != XAVO_SIM_EEPROM_WORKING && copy != XAVO_SIM_EEPROM_PERSISTENT) return 0;
    *value = c->eepromWord(word, copy == XAVO_SIM_EEPROM_PERSISTENT);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_GetEepromWriteLog(uint32_t index, uint32_t word, uint32_t* count, uint32_t* lastValue) {
    const auto c = card(index);
    if (!c || word >= Eeprom::kWords) return 0;
    std::uint32_t n = 0;
    std::uint32_t last = 0;
    c->eepromWriteLog(word, n, last);
    store<uint32_t>(count, n);
    store<uint32_t>(lastValue, last);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_GetEepromCommitCounts(uint32_t index, uint32_t* requested, uint32_t* completed) {
    const auto c = card(index);
    if (!c) return 0;
    std::uint32_t r = 0;
    std::uint32_t d = 0;
    c->eepromCommitCounts(r, d);
    store<uint32_t>(requested, r);
    store<uint32_t>(completed, d);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_ClearEepromLog(uint32_t index) {
    const auto c = card(index);
    if (!c) return 0;
    c->clearEepromLog();
    return 1;
}

// ---- power ----

XAVO_HAL_API uint32_t XAVO_SIM_PowerCycle(uint32_t index) {
    const auto c = card(index);
    if (!c) return 0;
    c->powerCycle();
    return 1;
}

// ---- fault rules ----

XAVO_HAL_API uint32_t XAVO_SIM_AddFaultRule(const XAVO_SIM_FaultRule* rule) {
    return rule == nullptr ? 0 : SimWorld::instance().addRule(*rule);
}

XAVO_HAL_API uint32_t XAVO_SIM_RemoveFaultRule(uint32_t ruleId) {
    return result(SimWorld::instance().removeRule(ruleId));
}

XAVO_HAL_API void XAVO_SIM_ClearFaultRules(void) { SimWorld::instance().clearRules(); }

XAVO_HAL_API uint32_t XAVO_SIM_ReturnFaultRuleHits(uint32_t ruleId) { return SimWorld::instance().ruleHits(ruleId); }

// ---- call log ----

XAVO_HAL_API uint32_t XAVO_SIM_ReturnCallLogLength(void) { return SimWorld::instance().logLength(); }

XAVO_HAL_API uint32_t XAVO_SIM_GetCallLogEntry(uint32_t index, XAVO_SIM_CallRecord* record) {
    XAVO_SIM_CallRecord r{};
    if (record == nullptr || !SimWorld::instance().logEntry(index, r)) return 0;
    *record = r;
    return 1;
}

XAVO_HAL_API void XAVO_SIM_ClearCallLog(void) { SimWorld::instance().clearLog(); }

XAVO_HAL_API uint32_t XAVO_SIM_CountCalls(uint32_t operations, uint32_t card, uint32_t address) {
    return SimWorld::instance().countCalls(operations, card, address);
}

XAVO_HAL_API void XAVO_SIM_SetCallerIsService(uint32_t flag) { SimWorld::instance().setCallerIsService(flag != 0); }


// ---- analogue front end ----

XAVO_HAL_API uint32_t XAVO_SIM_GetAnaloguePersonality(uint32_t index, XAVO_SIM_AnaloguePersonality* personality) {
    const auto c = card(index);
    if (!c || personality == nullptr) return 0;
    const AnaloguePersonality p = c->analoguePersonality();
    for (std::uint32_t r = 0; r < kAnalogueRanges; ++r) {
        personality->zeroWord[r] = p.zeroWord[r];
        personality->gainError[r] = p.gainError[r];
    }
    personality->offsetCountsPerWord = p.offsetCountsPerWord;
    personality->gainTrimPerWord = p.gainTrimPerWord;
    personality->noiseSigma = p.noiseSigma;
    personality->seed = p.seed;
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_SetAnaloguePersonality(uint32_t index, const XAVO_SIM_AnaloguePersonality* personality) {
    const auto c = card(index);
    if (!c || personality == nullptr) return 0;
    AnaloguePersonality p;
    bool finite = std::isfinite(personality->offsetCountsPerWord) && std::isfinite(personality->gainTrimPerWord) &&
                  std::isfinite(personality->noiseSigma) && personality->noiseSigma >= 0.0;
    for (std::uint32_t r = 0; r < kAnalogueRanges; ++r) {
        finite = finite && std::isfinite(personality->zeroWord[r]) && std::isfinite(personality->gainError[r]);
        p.zeroWord[r] = personality->zeroWord[r];
        p.gainError[r] = personality->gainError[r];
    }
    if (!finite) return 0;
    p.offsetCountsPerWord = personality->offsetCountsPerWord;
    p.gainTrimPerWord = personality->gainTrimPerWord;
    p.noiseSigma = personality->noiseSigma;
    p.seed = personality->seed;
    c->setAnaloguePersonality(p);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_SetAnalogueExactLinear(uint32_t index, uint32_t flag) {
    return changeAnalogueKnobs(index, [&](AnalogueKnobs& k) {
        k.exactLinear = flag != 0;
    });
}

XAVO_HAL_API uint32_t XAVO_SIM_SetAnalogueSlopeOverride(uint32_t index, uint32_t which, uint32_t enable,
                                                        double countsPerWord) {
    if (which > XAVO_SIM_SLOPE_GAIN || (enable != 0 && !std::isfinite(countsPerWord))) return 0;
    return changeAnalogueKnobs(index, [&](AnalogueKnobs& k) {
        std::optional<double>& slope = which == XAVO_SIM_SLOPE_OFFSET ? k.offsetSlope : k.gainSlope;
        slope = enable != 0 ? std::optional<double>(countsPerWord) : std::nullopt;
    });
}

XAVO_HAL_API uint32_t XAVO_SIM_SetAnalogueStuckMean(uint32_t index, uint32_t enable, int32_t code) {
    if (enable != 0 && (code < kMinimumCode || code > kMaximumCode)) return 0;
    return changeAnalogueKnobs(index, [&](AnalogueKnobs& k) {
        k.stuckCode = enable != 0 ? std::optional<std::int32_t>(code) : std::nullopt;
    });
}

XAVO_HAL_API uint32_t XAVO_SIM_SetAuxInputVoltage(uint32_t index, uint32_t input, double volts) {
    if (input < kFirstAuxInput || input >= kFirstAuxInput + kAuxInputs || !std::isfinite(volts)) return 0;
    return changeAnalogueKnobs(index, [&](AnalogueKnobs& k) {
        k.auxVolts[input - kFirstAuxInput] = volts;
    });
}

XAVO_HAL_API uint32_t XAVO_SIM_GetAnalogueLevel(uint32_t index, double* level) {
    const auto c = card(index);
    if (!c || level == nullptr) return 0;
    *level = c->analogueLevel();
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_DrawAnalogueSamples(uint32_t index, uint32_t count, int32_t* codes) {
    const auto c = card(index);
    if (!c || (codes == nullptr && count != 0)) return 0;
    c->drawAnalogueSamples(count, codes);
    return 1;
}

// ---- TCG table ----

XAVO_HAL_API uint32_t XAVO_SIM_GetTcgPoints(uint32_t index, uint32_t first, uint32_t count, uint16_t* points) {
    const auto c = card(index);
    return result(c && c->tcgPoints(first, count, points));
}

XAVO_HAL_API uint32_t XAVO_SIM_GetTcgPortCounts(uint32_t index, uint32_t* writePointer, uint32_t* writes,
                                                uint32_t* dropped) {
    const auto c = card(index);
    if (!c) return 0;
    const TcgPortCounts counts = c->tcgPortCounts();
    store<uint32_t>(writePointer, counts.writePointer);
    store<uint32_t>(writes, counts.writes);
    store<uint32_t>(dropped, counts.dropped);
    return 1;
}

// ---- acquisition ----

XAVO_HAL_API uint32_t XAVO_SIM_SetDataSource(uint32_t index, uint32_t source, int32_t constantCode) {
    const auto c = card(index);
    if (!c || source > XAVO_SIM_DATA_CONSTANT || constantCode < kMinRawCode || constantCode > kMaxRawCode) return 0;
    c->setDataSource(static_cast<DataSource>(source), constantCode);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_AdvanceCardTime(uint32_t index, uint64_t nanoseconds) {
    if (index != XAVO_SIM_ANY) {
        const auto c = card(index);
        if (!c) return 0;
        c->advanceCardTime(nanoseconds);
        return 1;
    }
    const std::uint32_t n = SimWorld::instance().numberOfCards();
    for (std::uint32_t i = 0; i < n; ++i)
        if (const auto c = card(i)) c->advanceCardTime(nanoseconds);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_ExternalPulses(uint32_t index, uint32_t count) {
    const auto c = card(index);
    if (!c) return 0;
    c->externalPulses(count);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_ForceDataFull(uint32_t index) {
    const auto c = card(index);
    if (!c) return 0;
    c->forceDataFull();
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_SetDataFullAfterDroppedTriggers(uint32_t index, uint32_t afterDroppedTriggers) {
    const auto c = card(index);
    if (!c) return 0;
    c->setDataFullAfterDroppedTriggers(afterDroppedTriggers);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_SetTriggersPaused(uint32_t index, uint32_t paused) {
    const auto c = card(index);
    if (!c) return 0;
    c->setTriggersPaused(paused != 0);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_SetCaptureWithoutLock(uint32_t index, uint32_t flag) {
    const auto c = card(index);
    if (!c) return 0;
    c->setCaptureWithoutLock(flag != 0);
    return 1;
}

XAVO_HAL_API uint32_t XAVO_SIM_GetCaptureStatus(uint32_t index, XAVO_SIM_CaptureStatus* status) {
    const auto c = card(index);
    if (!c || status == nullptr) return 0;
    *status = c->captureStatus();
    return 1;
}

XAVO_HAL_API void XAVO_SIM_GetDefaultScene(XAVO_SIM_Scene* scene) {
    if (scene != nullptr) *scene = defaultScene();
}

XAVO_HAL_API uint32_t XAVO_SIM_SetScene(uint32_t index, const XAVO_SIM_Scene* scene) {
    const auto c = card(index);
    if (!c || scene == nullptr) return 0;
    c->setScene(*scene);
    return 1;
}

XAVO_HAL_API void XAVO_SIM_SetCallLogEnabled(uint32_t flag) { SimWorld::instance().setLogEnabled(flag != 0); }

XAVO_HAL_API uint32_t XAVO_SIM_IsCallLogEnabled(void) { return result(SimWorld::instance().logEnabled()); }

// ---- sample word count ----

XAVO_HAL_API uint32_t XAVO_SIM_SetSampleWordsAtPowerUp(uint32_t index, uint32_t wordsPlusOne) {
    const auto c = card(index);
    if (!c || wordsPlusOne > kWordBits) return 0;
    c->setSampleWordsAtPowerUp(wordsPlusOne);
    return 1;
}

}  // extern "C"
