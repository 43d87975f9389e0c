// Side-effect-free looks at simulated card 0, and fault rules on one of its addresses.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "XAVOKZ.h"
#include "XAVOSimControl.h"

namespace kz::test {

constexpr std::uint32_t systemAddress(std::uint32_t offset)
{
    return XAVO_HAL_REGISTER_BASE + KZ_SYSTEM_REGISTER_BASE + offset;
}
constexpr std::uint32_t samplingAddress(std::uint32_t offset)
{
    return XAVO_HAL_REGISTER_BASE + KZ_SAMPLING_REGISTER_BASE + offset;
}
constexpr std::uint32_t peripheralAddress(std::uint32_t offset)
{
    return XAVO_HAL_REGISTER_BASE + KZ_PERIPHERAL_REGISTER_BASE + offset;
}

// The stored value behind an address: a register's latch, or the last value written to a
// register the card cannot read back.
inline std::uint32_t peek(std::uint32_t address)
{
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(XAVO_SIM_Peek(0, address, &value), 1u);
    return value;
}

inline void poke(std::uint32_t address, std::uint32_t value) { ASSERT_EQ(XAVO_SIM_Poke(0, address, value), 1u); }

inline std::uint32_t writesTo(std::uint32_t address) { return XAVO_SIM_CountCalls(XAVO_SIM_OP_SET_WORD, 0, address); }
inline std::uint32_t cardWrites() { return XAVO_SIM_CountCalls(XAVO_SIM_OP_SET_WORD, 0, XAVO_SIM_ANY); }

// Makes calls of `operation` on `address` of card 0 act as `action`, every call after the first
// `skip`; returns the rule's identifier.
inline std::uint32_t addRule(std::uint32_t operation, std::uint32_t address, std::uint32_t action = XAVO_SIM_ACTION_FAIL,
                             std::uint32_t forcedValue = 0, std::uint32_t skip = 0)
{
    XAVO_SIM_FaultRule rule{};
    rule.operations = operation;
    rule.card = 0;
    rule.addressFirst = address;
    rule.addressLast = address;
    rule.caller = XAVO_SIM_CALLER_ANY;
    rule.action = action;
    rule.forcedValue = forcedValue;
    rule.skip = skip;
    const std::uint32_t id = XAVO_SIM_AddFaultRule(&rule);
    EXPECT_NE(id, 0u);
    return id;
}

} // namespace kz::test
