// The hardware-access calls of the simulated card. Each call passes the fault rules first,
// then takes effect on the card, then is appended to the call log.
#include <optional>

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

// Runs one call: rules, effect, log. `perform` does the call's normal work and returns its
// outcome; `out` is the pointer the call hands a value back through, if it has one.
template <typename Perform>
std::uint32_t runCall(CallDescriptor call, std::uint32_t* out, Perform&& perform) {
    SimWorld& world = SimWorld::instance();
    call.caller = world.currentCaller();
    const Injected injected{world.evaluateRules(call)};

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
    world.appendLog(call, outcome.value, outcome.result);
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
    return runCall(call, nullptr, [](const Injected&) {
        SimWorld::instance().numberOfCards();  // creates the card set on first use
        return Outcome{1, 0};
    });
}

XAVO_HAL_API uint32_t XAVO_HAL_InitialiseCardType(uint32_t vendorId, uint32_t deviceId, uint32_t tag,
                                                  uint32_t* numberOfCards) {
    CallDescriptor call;
    call.operation = XAVO_SIM_OP_INITIALISE_CARD_TYPE;
    call.address = deviceId;
    return runCall(call, numberOfCards, [&](const Injected&) {
        if (numberOfCards == nullptr) return Outcome{0, 0};
        std::optional<std::uint32_t> found;
        const bool ok = SimWorld::instance().initialiseCardType(vendorId, deviceId, tag, found);
        if (found) *numberOfCards = *found;
        return Outcome{ok ? 1u : 0u, found.value_or(0)};
    });
}

XAVO_HAL_API uint32_t XAVO_HAL_InitialiseCard(uint32_t tag, uint32_t card) {
    return runCall(cardCall(XAVO_SIM_OP_INITIALISE_CARD, card), nullptr, [&](const Injected&) {
        const auto c = SimWorld::instance().activeCard(tag, card);
        if (!c) return Outcome{0, 0};
        c->open();
        return Outcome{1, 0};
    });
}

XAVO_HAL_API uint32_t XAVO_HAL_UninitialiseCard(uint32_t tag, uint32_t card) {
    return runCall(cardCall(XAVO_SIM_OP_UNINITIALISE_CARD, card), nullptr, [&](const Injected&) {
        const auto c = SimWorld::instance().activeCard(tag, card);
        return fromBool(c && c->close());
    });
}

XAVO_HAL_API uint32_t XAVO_HAL_SetWord(uint32_t tag, uint32_t card, uint32_t address, uint32_t value) {
    CallDescriptor call = cardCall(XAVO_SIM_OP_SET_WORD, card);
    call.address = address;
    call.value = value;
    return runCall(call, nullptr, [&](const Injected&) {
        const auto c = SimWorld::instance().activeCard(tag, card);
        return fromBool(c && c->setWord(address, value));
    });
}

XAVO_HAL_API uint32_t XAVO_HAL_GetWord(uint32_t tag, uint32_t card, uint32_t address, uint32_t* value) {
    CallDescriptor call = cardCall(XAVO_SIM_OP_GET_WORD, card);
    call.address = address;
    return runCall(call, value, [&](const Injected&) {
        const auto c = SimWorld::instance().activeCard(tag, card);
        std::uint32_t read = 0;
        if (value == nullptr || !c || !c->getWord(address, read)) return Outcome{0, 0};
        *value = read;
        return Outcome{1, read};
    });
}

XAVO_HAL_API uint32_t XAVO_HAL_OpenDMAChannel(uint32_t tag, uint32_t card) {
    return runCall(cardCall(XAVO_SIM_OP_OPEN_DMA, card), nullptr, [&](const Injected&) {
        const auto c = SimWorld::instance().activeCard(tag, card);
        return fromBool(c && c->openDmaChannel());
    });
}

XAVO_HAL_API uint32_t XAVO_HAL_CloseDMAChannel(uint32_t tag, uint32_t card) {
    return runCall(cardCall(XAVO_SIM_OP_CLOSE_DMA, card), nullptr, [&](const Injected&) {
        const auto c = SimWorld::instance().activeCard(tag, card);
        return fromBool(c && c->closeDmaChannel());
    });
}

XAVO_HAL_API uint32_t XAVO_HAL_PerformDMATransfer(uint32_t tag, uint32_t card, void* hostBuffer, uint32_t address,
                                                  uint32_t byteCount, uint32_t direction) {
    CallDescriptor call = cardCall(XAVO_SIM_OP_DMA_TRANSFER, card);
    call.address = address;
    call.length = byteCount;
    call.direction = direction;
    return runCall(call, nullptr, [&](const Injected& injected) {
        const auto c = SimWorld::instance().activeCard(tag, card);
        return fromBool(c && c->dmaTransfer(hostBuffer, address, byteCount, direction, injected.partialBytes()));
    });
}

}  // extern "C"
