// Control interface of the simulated card: card set, inspection, knobs, fault rules, call log.
#include "XAVOSimControl.h"
#include "sim_world.h"

using namespace xavo::sim;

namespace {

std::shared_ptr<SimCard> card(std::uint32_t index) { return SimWorld::instance().configuredCard(index); }

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

}  // extern "C"
