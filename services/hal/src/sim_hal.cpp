// The hardware-access calls of the simulated card. Each call passes the fault rules first,
// then takes effect on the card, then is counted (and recorded while the full log is on).
#include <optional>
#include <utility>

#include "XAVOCommonHAL.h"
#include "sim_world.h"

namespace xavo::sim {
namespace {

struct Outcome {
    std::uint32_t result = 0;
    std::uint32_t value = 0;  // value written or handed back, for the call log
};

// The rule action applied to the call in place of, or around, its normal effect.
struct Injected {
    std::optional<XAVO_SIM_FaultRule> rule;

    bool is(std::uint32_t action) const { return rule && rule->action == action; }
    std::optional<std::uint32_t> partialBytes() const {
        return is(XAVO_SIM_ACTION_PARTIAL_DMA) ? std::optional<std::uint32_t>(rule->partialBytes) : std::nullopt;
    }
};

// The call's outcome under the rule that acts on it, if any. `perform` does the call's normal
// work; `out` is the pointer the call hands a value back through, if it has one.
template <typename Perform>
Outcome resolve(const CallDescriptor& call, const Injected& injected, std::uint32_t* out, Perform&& perform) {
    Outcome outcome;
    if (injected.is(XAVO_SIM_ACTION_FAIL)) {
        outcome = {0, 0};
    } else if (injected.is(XAVO_SIM_ACTION_FAIL_STORE) || injected.is(XAVO_SIM_ACTION_FORCE_VALUE)) {
        const bool force = injected.is(XAVO_SIM_ACTION_FORCE_VALUE);
        if (operationReturnsValue(call.operation) && out != nullptr) {
            *out = injected.rule->forcedValue;
            outcome = {force ? 1u : 0u, injected.rule->forcedValue};
        } else {
            outcome = {0, 0};
        }
    } else {
        outcome = perform(injected);
        if (injected.is(XAVO_SIM_ACTION_RESULT) && outcome.result != 0) outcome.result = injected.rule->result;
    }
    if (call.operation == XAVO_SIM_OP_SET_WORD) outcome.value = call.value;
    return outcome;
}

XAVO_SIM_CallRecord recordOf(const CallDescriptor& call, const Outcome& outcome) {
    return {call.operation, call.card,   call.address,   outcome.value,
            call.length,    call.direction, outcome.result, call.caller};
}

// Runs one call on a card: rules, effect, record, all under the card's own slot and nothing
// shared with other cards. `perform` gets the active card, or nullptr for a wrong tag or an
// index outside the active set.
template <typename Perform>
std::uint32_t runCardCall(std::uint32_t tag, CallDescriptor call, std::uint32_t* out, Perform&& perform) {
    SimWorld& world = SimWorld::instance();
    call.caller = world.currentCaller();
    CardSlot& slot = world.slotOf(call.card);
    const std::lock_guard lock(slot.mutex);
    const Injected injected{world.evaluateRules(slot, call)};
    SimCard* const card = SimWorld::activeCard(slot, tag);
    const Outcome outcome =
        resolve(call, injected, out, [&](const Injected& i) { return perform(card, i); });
    world.recordCall(slot, recordOf(call, outcome));
    return outcome.result;
}

// Runs one call that names no card. Its effect takes the card set's lock, so the shared slot
// is held only while the rules are met and while the call is recorded.
template <typename Perform>
std::uint32_t runCardSetCall(CallDescriptor call, std::uint32_t* out, Perform&& perform) {
    SimWorld& world = SimWorld::instance();
    call.caller = world.currentCaller();
    CardSlot& slot = world.slotOf(XAVO_SIM_ANY);
    Injected injected;
    {
        const std::lock_guard lock(slot.mutex);
        injected.rule = world.evaluateRules(slot, call);
    }
    const Outcome outcome = resolve(call, injected, out, std::forward<Perform>(perform));
    const std::lock_guard lock(slot.mutex);
    world.recordCall(slot, recordOf(call, outcome));
    return outcome.result;
}

CallDescriptor cardCall(std::uint32_t operation, std::uint32_t card) {
    CallDescriptor c;
    c.operation = operation;
    c.card = card;
    return c;
}

Outcome fromBool(bool ok) { return {ok ? 1u : 0u, 0}; }

}  // namespace
}  // namespace xavo::sim

using namespace xavo::sim;

extern "C" {

XAVO_HAL_API uint32_t XAVO_HAL_Initialise(void) {
    CallDescriptor call;
    call.operation = XAVO_SIM_OP_INITIALISE;
    return runCardSetCall(call, nullptr, [](const Injected&) {
        SimWorld::instance().numberOfCards();  // creates the card set on first use
        return Outcome{1, 0};
    });
}

XAVO_HAL_API uint32_t XAVO_HAL_InitialiseCardType(uint32_t vendorId, uint32_t deviceId, uint32_t tag,
                                                  uint32_t* numberOfCards) {
    CallDescriptor call;
    call.operation = XAVO_SIM_OP_INITIALISE_CARD_TYPE;
    call.address = deviceId;
    return runCardSetCall(call, numberOfCards, [&](const Injected&) {
        if (numberOfCards == nullptr) return Outcome{0, 0};
        std::optional<std::uint32_t> found;
        const bool ok = SimWorld::instance().initialiseCardType(vendorId, deviceId, tag, found);
        if (found) *numberOfCards = *found;
        return Outcome{ok ? 1u : 0u, found.value_or(0)};
    });
}

XAVO_HAL_API uint32_t XAVO_HAL_InitialiseCard(uint32_t tag, uint32_t card) {
    return runCardCall(tag, cardCall(XAVO_SIM_OP_INITIALISE_CARD, card), nullptr, [](SimCard* c, const Injected&) {
        if (c == nullptr) return Outcome{0, 0};
        c->open();
        return Outcome{1, 0};
    });
}

XAVO_HAL_API uint32_t XAVO_HAL_UninitialiseCard(uint32_t tag, uint32_t card) {
    return runCardCall(tag, cardCall(XAVO_SIM_OP_UNINITIALISE_CARD, card), nullptr,
                       [](SimCard* c, const Injected&) { return fromBool(c != nullptr && c->close()); });
}

XAVO_HAL_API uint32_t XAVO_HAL_SetWord(uint32_t tag, uint32_t card, uint32_t address, uint32_t value) {
    CallDescriptor call = cardCall(XAVO_SIM_OP_SET_WORD, card);
    call.address = address;
    call.value = value;
    return runCardCall(tag, call, nullptr, [&](SimCard* c, const Injected&) {
        return fromBool(c != nullptr && c->setWord(address, value));
    });
}

XAVO_HAL_API uint32_t XAVO_HAL_GetWord(uint32_t tag, uint32_t card, uint32_t address, uint32_t* value) {
    CallDescriptor call = cardCall(XAVO_SIM_OP_GET_WORD, card);
    call.address = address;
    return runCardCall(tag, call, value, [&](SimCard* c, const Injected&) {
        std::uint32_t read = 0;
        if (value == nullptr || c == nullptr || !c->getWord(address, read)) return Outcome{0, 0};
        *value = read;
        return Outcome{1, read};
    });
}

XAVO_HAL_API uint32_t XAVO_HAL_OpenDMAChannel(uint32_t tag, uint32_t card) {
    return runCardCall(tag, cardCall(XAVO_SIM_OP_OPEN_DMA, card), nullptr,
                       [](SimCard* c, const Injected&) { return fromBool(c != nullptr && c->openDmaChannel()); });
}

XAVO_HAL_API uint32_t XAVO_HAL_CloseDMAChannel(uint32_t tag, uint32_t card) {
    return runCardCall(tag, cardCall(XAVO_SIM_OP_CLOSE_DMA, card), nullptr,
                       [](SimCard* c, const Injected&) { return fromBool(c != nullptr && c->closeDmaChannel()); });
}

XAVO_HAL_API uint32_t XAVO_HAL_PerformDMATransfer(uint32_t tag, uint32_t card, void* hostBuffer, uint32_t address,
                                                  uint32_t byteCount, uint32_t direction) {
    CallDescriptor call = cardCall(XAVO_SIM_OP_DMA_TRANSFER, card);
    call.address = address;
    call.length = byteCount;
    call.direction = direction;
    return runCardCall(tag, call, nullptr, [&](SimCard* c, const Injected& injected) {
        return fromBool(c != nullptr &&
                        c->dmaTransfer(hostBuffer, address, byteCount, direction, injected.partialBytes()));
    });
}

}  // extern "C"
