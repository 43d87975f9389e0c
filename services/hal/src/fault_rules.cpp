#include "fault_rules.h"

#include <algorithm>
#include <limits>

namespace xavo::sim {

namespace {
constexpr std::uint32_t kAllOperations = 0x1FF;
constexpr std::uint32_t kValueReturningOperations = XAVO_SIM_OP_GET_WORD | XAVO_SIM_OP_INITIALISE_CARD_TYPE;
}  // namespace

bool operationHasAddress(std::uint32_t operation) {
    return (operation & (XAVO_SIM_OP_INITIALISE_CARD_TYPE | XAVO_SIM_OP_SET_WORD | XAVO_SIM_OP_GET_WORD |
                         XAVO_SIM_OP_DMA_TRANSFER)) != 0;
}

bool operationHasValue(std::uint32_t operation) {
    return (operation & (XAVO_SIM_OP_SET_WORD | XAVO_SIM_OP_DMA_TRANSFER)) != 0;
}

bool operationReturnsValue(std::uint32_t operation) { return (operation & kValueReturningOperations) != 0; }

bool FaultRules::isWellFormed(const XAVO_SIM_FaultRule& r) {
    if ((r.operations & ~kAllOperations) != 0) return false;
    if (r.addressFirst > r.addressLast) return false;
    if ((r.valueMatch & ~r.valueMask) != 0) return false;  // could never match
    if (r.caller > XAVO_SIM_CALLER_SERVICE) return false;
    switch (r.action) {
        case XAVO_SIM_ACTION_FAIL:
        case XAVO_SIM_ACTION_FAIL_STORE:
        case XAVO_SIM_ACTION_RESULT:
            return true;
        case XAVO_SIM_ACTION_FORCE_VALUE:
            // Only a call that reads something can succeed with a forced value.
            return r.operations != 0 && (r.operations & ~kValueReturningOperations) == 0;
        case XAVO_SIM_ACTION_PARTIAL_DMA:
            return r.operations == XAVO_SIM_OP_DMA_TRANSFER;
        default:
            return false;
    }
}

bool FaultRules::matches(const XAVO_SIM_FaultRule& r, const CallDescriptor& c) {
    if (r.operations != 0 && (r.operations & c.operation) == 0) return false;
    if (r.card != XAVO_SIM_ANY && r.card != c.card) return false;
    if (operationHasAddress(c.operation) && (c.address < r.addressFirst || c.address > r.addressLast)) return false;
    if (operationHasValue(c.operation)) {
        const std::uint32_t v = c.operation == XAVO_SIM_OP_DMA_TRANSFER ? c.length : c.value;
        if ((v & r.valueMask) != r.valueMatch) return false;
    }
    if (r.caller != XAVO_SIM_CALLER_ANY && r.caller != c.caller) return false;
    return true;
}

void FaultRules::add(std::uint32_t id, const XAVO_SIM_FaultRule& rule) {
    const auto at = std::upper_bound(rules_.begin(), rules_.end(), id,
                                     [](std::uint32_t i, const Entry& e) { return i < e.id; });
    rules_.insert(at, {id, rule, 0, 0});
}

bool FaultRules::remove(std::uint32_t id) {
    const auto it = std::find_if(rules_.begin(), rules_.end(), [id](const Entry& e) { return e.id == id; });
    if (it == rules_.end()) return false;
    rules_.erase(it);
    return true;
}

std::optional<std::uint32_t> FaultRules::hits(std::uint32_t id) const {
    for (const Entry& e : rules_)
        if (e.id == id)
            return static_cast<std::uint32_t>(std::min<std::uint64_t>(e.hits, std::numeric_limits<std::uint32_t>::max()));
    return std::nullopt;
}

bool FaultRules::acts(Entry& e, const CallDescriptor& call) {
    if (!matches(e.rule, call)) return false;
    ++e.matches;
    if (e.matches <= e.rule.skip) return false;
    if (e.rule.count != 0 && e.hits >= e.rule.count) return false;
    ++e.hits;
    return true;
}

std::optional<XAVO_SIM_FaultRule> FaultRules::evaluate(const CallDescriptor& call, FaultRules& rules,
                                                       FaultRules* more) {
    auto a = rules.rules_.begin();
    const auto aEnd = rules.rules_.end();
    auto b = more != nullptr ? more->rules_.begin() : aEnd;
    const auto bEnd = more != nullptr ? more->rules_.end() : aEnd;
    while (a != aEnd || b != bEnd) {
        const bool takeA = b == bEnd || (a != aEnd && a->id < b->id);
        Entry& e = takeA ? *a++ : *b++;
        if (acts(e, call)) return e.rule;
    }
    return std::nullopt;
}

}  // namespace xavo::sim
