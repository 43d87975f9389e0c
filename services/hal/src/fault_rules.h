// Fault rules: each matches hardware-access calls by operation, card, address, value and
// caller, lets `skip` matches pass, then acts on `count` of them (0: every later match).
// A card index keeps the rules that name it, under its own lock; the rules for every card
// form one more list. Identifiers are given in the order rules are added, and a call meets
// the rules of its card and the rules for every card as one list in that order.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "XAVOSimControl.h"

namespace xavo::sim {

// One hardware-access call as the rules and the call log see it.
struct CallDescriptor {
    std::uint32_t operation = 0;  // one XAVO_SIM_OP_* bit
    std::uint32_t card = XAVO_SIM_ANY;
    std::uint32_t address = 0;
    std::uint32_t value = 0;
    std::uint32_t length = 0;
    std::uint32_t direction = 0;
    std::uint32_t caller = XAVO_SIM_CALLER_LIBRARY;
};

// True for the operations whose call carries an address (or, for enumeration, a device ID).
bool operationHasAddress(std::uint32_t operation);
// True for the operations whose call carries a value the rules match: the word written, or
// the length of a transfer.
bool operationHasValue(std::uint32_t operation);
// True for the operations that hand a value back through a pointer.
bool operationReturnsValue(std::uint32_t operation);

class FaultRules {
public:
    static bool isWellFormed(const XAVO_SIM_FaultRule& rule);

    // Adds a well-formed rule under the identifier the caller chose.
    void add(std::uint32_t id, const XAVO_SIM_FaultRule& rule);
    bool remove(std::uint32_t id);
    void clear() { rules_.clear(); }
    bool empty() const { return rules_.empty(); }
    // How many calls rule `id` acted on; nullopt when this list does not hold it.
    std::optional<std::uint32_t> hits(std::uint32_t id) const;

    // Rules are tried in the order of their identifiers, across both lists (`more` may be
    // null). Every matching rule counts the call; the first one past its skip and within its
    // count acts, and later rules do not see the call.
    static std::optional<XAVO_SIM_FaultRule> evaluate(const CallDescriptor& call, FaultRules& rules,
                                                      FaultRules* more);

private:
    struct Entry {
        std::uint32_t id;
        XAVO_SIM_FaultRule rule;
        std::uint64_t matches;
        std::uint64_t hits;
    };
    static bool matches(const XAVO_SIM_FaultRule& rule, const CallDescriptor& call);

    // Whether `e` acts on the call, counting the match.
    static bool acts(Entry& e, const CallDescriptor& call);

    std::vector<Entry> rules_;  // in identifier order
};

}  // namespace xavo::sim
