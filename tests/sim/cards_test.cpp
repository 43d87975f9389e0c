#include <algorithm>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "sim_fixture.h"

namespace simtest {
namespace {

using SimEnumeration = SimFixture;
using SimCardAccess = SimFixture;
using SimDma = SimFixture;

std::uint32_t enumerateResult(std::uint32_t device, std::uint32_t& n, std::uint32_t vendor = kVendor,
                              std::uint32_t tag = kTag) {
    n = kUntouched;
    return XAVO_HAL_InitialiseCardType(vendor, device, tag, &n);
}

TEST_F(SimEnumeration, EnvironmentChoosesTheCardSet) {
    struct {
        const char* cards;
        const char* device;
        std::uint32_t count;
        std::uint32_t deviceId;
    } const cases[] = {
        {nullptr, nullptr, 1, kPrimary},   {"3", nullptr, 3, kPrimary},  {"2", "0x5602", 2, kSecondary},
        {nullptr, "0x86E1", 1, kPrimary},  {"4", "none", 0, 0},          {"0", "0x5602", 0, kSecondary},
        {"lots", "0x1234", 1, kPrimary},   {"-1", "", 1, kPrimary},      {"100000", nullptr, 64, kPrimary},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.cards ? c.cards : "unset") << " / " << (c.device ? c.device : "unset"));
        c.cards ? setenv("XAVO_SIM_CARDS", c.cards, 1) : unsetenv("XAVO_SIM_CARDS");
        c.device ? setenv("XAVO_SIM_DEVICE", c.device, 1) : unsetenv("XAVO_SIM_DEVICE");
        XAVO_SIM_Reset();
        EXPECT_EQ(c.count, XAVO_SIM_ReturnNumberOfCards());
        EXPECT_EQ(c.deviceId, XAVO_SIM_ReturnDeviceId());

        for (std::uint32_t device : {kPrimary, kSecondary}) {
            std::uint32_t n = 0;
            const bool found = c.count > 0 && device == c.deviceId;
            EXPECT_EQ(found ? 1u : 0u, enumerateResult(device, n)) << std::hex << device;
            EXPECT_EQ(found ? c.count : 0u, n);
        }
    }
}

TEST_F(SimEnumeration, RejectsWrongVendorTagOrPointerWithoutStoring) {
    ASSERT_EQ(1u, XAVO_SIM_ConfigureCards(2, kSecondary));
    std::uint32_t n = 0;
    EXPECT_EQ(0u, enumerateResult(kSecondary, n, 0x10B6));
    EXPECT_EQ(kUntouched, n);
    EXPECT_EQ(0u, enumerateResult(kSecondary, n, kVendor, 0x12345678));
    EXPECT_EQ(kUntouched, n);
    EXPECT_EQ(0u, XAVO_HAL_InitialiseCardType(kVendor, kSecondary, kTag, nullptr));
    EXPECT_EQ(0u, XAVO_HAL_InitialiseCard(kTag, 0)) << "nothing was enumerated";
    EXPECT_EQ(1u, enumerateResult(kSecondary, n));
    EXPECT_EQ(2u, n);
}

TEST_F(SimEnumeration, EmptyDeviceStoresZeroAndSucceedsOnlyWithTheKnob) {
    ASSERT_EQ(1u, XAVO_SIM_ConfigureCards(0, kPrimary));
    std::uint32_t n = 0;
    EXPECT_EQ(0u, enumerateResult(kPrimary, n));
    EXPECT_EQ(0u, n);
    XAVO_SIM_SetEmptyEnumerationSucceeds(1);
    EXPECT_EQ(1u, enumerateResult(kSecondary, n));
    EXPECT_EQ(0u, n);
    XAVO_SIM_Reset();
    EXPECT_EQ(0u, enumerateResult(kSecondary, n)) << "reset clears the knob";
}

TEST_F(SimEnumeration, FaultRuleFailsOnlyTheChosenDevice) {
    ASSERT_EQ(1u, XAVO_SIM_ConfigureCards(2, kPrimary));
    XAVO_SIM_FaultRule rule = anyRule(XAVO_SIM_OP_INITIALISE_CARD_TYPE, XAVO_SIM_ACTION_FAIL);
    rule.addressFirst = rule.addressLast = kSecondary;
    ASSERT_NE(0u, XAVO_SIM_AddFaultRule(&rule));
    std::uint32_t n = 0;
    EXPECT_EQ(1u, enumerateResult(kPrimary, n));
    EXPECT_EQ(2u, n);

    rule.addressFirst = rule.addressLast = kPrimary;
    const std::uint32_t id = XAVO_SIM_AddFaultRule(&rule);
    EXPECT_EQ(0u, enumerateResult(kPrimary, n));
    EXPECT_EQ(kUntouched, n);
    EXPECT_EQ(1u, XAVO_SIM_ReturnFaultRuleHits(id));
}

TEST_F(SimEnumeration, OnlyEnumeratedIndicesAreCards) {
    ASSERT_EQ(1u, XAVO_SIM_ConfigureCards(3, kPrimary));
    EXPECT_EQ(0u, XAVO_HAL_InitialiseCard(kTag, 0)) << "before enumeration there is no card";
    ASSERT_EQ(3u, enumerate());
    EXPECT_EQ(1u, XAVO_HAL_InitialiseCard(kTag, 2));
    EXPECT_EQ(0u, XAVO_HAL_InitialiseCard(kTag, 3));
    EXPECT_EQ(0u, XAVO_HAL_InitialiseCard(kTag, XAVO_SIM_ANY));
    EXPECT_EQ(1u, XAVO_SIM_IsCardOpen(2));
    EXPECT_EQ(0u, XAVO_SIM_IsCardOpen(1));

    // A failing enumeration of the other device leaves the active set alone.
    std::uint32_t n = 0;
    EXPECT_EQ(0u, enumerateResult(kSecondary, n));
    EXPECT_EQ(1u, XAVO_HAL_SetWord(kTag, 2, sysReg(0x40), 1));
}

TEST_F(SimEnumeration, ConfigureCardsReplacesTheSetAtPowerUp) {
    openCard();
    write(sysReg(0x40), 9);
    EXPECT_EQ(0u, XAVO_SIM_ConfigureCards(1, 0x1234));
    EXPECT_EQ(0u, XAVO_SIM_ConfigureCards(1000, kPrimary));
    EXPECT_EQ(1u, XAVO_SIM_IsCardOpen(0)) << "a rejected configuration changes nothing";

    ASSERT_EQ(1u, XAVO_SIM_ConfigureCards(2, kSecondary));
    EXPECT_EQ(2u, XAVO_SIM_ReturnNumberOfCards());
    EXPECT_EQ(kSecondary, XAVO_SIM_ReturnDeviceId());
    EXPECT_EQ(0u, XAVO_SIM_IsCardOpen(0));
    EXPECT_EQ(0u, XAVO_HAL_InitialiseCard(kTag, 0)) << "the new set needs a new enumeration";
    ASSERT_EQ(2u, enumerate(kSecondary));
    ASSERT_EQ(1u, XAVO_HAL_InitialiseCard(kTag, 0));
    EXPECT_EQ(0u, read(sysReg(0x40)));
}

TEST_F(SimCardAccess, InitialiseIsIdempotentAndLeavesCardsAlone) {
    openCard(0, true);
    EXPECT_EQ(1u, XAVO_HAL_Initialise());
    EXPECT_EQ(1u, XAVO_HAL_Initialise());
    EXPECT_EQ(1u, XAVO_SIM_IsCardOpen(0));
    EXPECT_EQ(1u, XAVO_SIM_IsDMAChannelOpen(0));
}

TEST_F(SimCardAccess, WrongTagFailsEveryCardCallAndChangesNothing) {
    openCard(0, true);
    constexpr std::uint32_t kBad = kTag ^ 1;
    std::uint32_t v = kUntouched;
    std::uint32_t buffer[2] = {kUntouched, kUntouched};
    const std::vector<std::pair<const char*, std::function<std::uint32_t()>>> calls = {
        {"InitialiseCard", [] { return XAVO_HAL_InitialiseCard(kBad, 0); }},
        {"UninitialiseCard", [] { return XAVO_HAL_UninitialiseCard(kBad, 0); }},
        {"SetWord", [] { return XAVO_HAL_SetWord(kBad, 0, sysReg(0x40), 1); }},
        {"SetWord unmapped", [] { return XAVO_HAL_SetWord(kBad, 0, 0x500100, 1); }},
        {"GetWord", [&] { return XAVO_HAL_GetWord(kBad, 0, sysReg(0x00), &v); }},
        {"OpenDMAChannel", [] { return XAVO_HAL_OpenDMAChannel(kBad, 0); }},
        {"CloseDMAChannel", [] { return XAVO_HAL_CloseDMAChannel(kBad, 0); }},
        {"PerformDMATransfer", [&] { return XAVO_HAL_PerformDMATransfer(kBad, 0, buffer, 0, 8, 0); }},
    };
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        EXPECT_EQ(0u, call());
    }
    EXPECT_EQ(kUntouched, v);
    EXPECT_EQ(1u, XAVO_SIM_IsCardOpen(0));
    EXPECT_EQ(1u, XAVO_SIM_IsDMAChannelOpen(0));
    EXPECT_EQ(0u, peek(sysReg(0x40)));
    EXPECT_EQ(0u, peek(kOutOfRangeCount));
    EXPECT_EQ(0u, peek(0));
}

TEST_F(SimCardAccess, WordAndDmaCallsNeedTheCardOpen) {
    ASSERT_EQ(1u, enumerate());
    std::uint32_t v = kUntouched;
    std::uint32_t buffer = 0;
    EXPECT_EQ(0u, XAVO_HAL_SetWord(kTag, 0, sysReg(0x40), 1));
    EXPECT_EQ(0u, XAVO_HAL_GetWord(kTag, 0, sysReg(0x00), &v));
    EXPECT_EQ(0u, XAVO_HAL_SetWord(kTag, 0, 0x500100, 1)) << "not even unmapped addresses answer";
    EXPECT_EQ(0u, XAVO_HAL_OpenDMAChannel(kTag, 0));
    EXPECT_EQ(0u, XAVO_HAL_PerformDMATransfer(kTag, 0, &buffer, 0, 4, 1));
    EXPECT_EQ(0u, XAVO_HAL_UninitialiseCard(kTag, 0));
    EXPECT_EQ(kUntouched, v);
    EXPECT_EQ(0u, peek(sysReg(0x40)));
    EXPECT_EQ(0u, peek(kOutOfRangeCount));
}

TEST_F(SimCardAccess, CloseTakesTheDmaChannelAndKeepsTheCardsState) {
    openCard(0, true);
    write(smpReg(0x50), 2);
    write(0x100, 0xABCD);
    write(eepromWord(40), 7);
    EXPECT_EQ(1u, XAVO_HAL_InitialiseCard(kTag, 0)) << "opening an open card succeeds again";
    EXPECT_EQ(1u, XAVO_SIM_IsDMAChannelOpen(0));

    ASSERT_EQ(1u, XAVO_HAL_UninitialiseCard(kTag, 0));
    EXPECT_EQ(0u, XAVO_SIM_IsCardOpen(0));
    EXPECT_EQ(0u, XAVO_SIM_IsDMAChannelOpen(0));
    EXPECT_EQ(0u, XAVO_HAL_UninitialiseCard(kTag, 0));
    EXPECT_EQ(0u, XAVO_HAL_CloseDMAChannel(kTag, 0));

    ASSERT_EQ(1u, XAVO_HAL_InitialiseCard(kTag, 0));
    EXPECT_EQ(0u, XAVO_SIM_IsDMAChannelOpen(0));
    EXPECT_EQ(2u, read(smpReg(0x50)));
    EXPECT_EQ(0xABCDu, read(0x100));
    EXPECT_EQ(7u, read(eepromWord(40)));
}

TEST_F(SimDma, ChannelOpensOnceAndClosesOnce) {
    openCard();
    EXPECT_EQ(1u, XAVO_HAL_OpenDMAChannel(kTag, 0));
    EXPECT_EQ(0u, XAVO_HAL_OpenDMAChannel(kTag, 0));
    EXPECT_EQ(1u, XAVO_SIM_IsDMAChannelOpen(0));
    EXPECT_EQ(1u, XAVO_HAL_CloseDMAChannel(kTag, 0));
    EXPECT_EQ(0u, XAVO_HAL_CloseDMAChannel(kTag, 0));
    std::uint32_t word = 0;
    EXPECT_EQ(0u, XAVO_HAL_PerformDMATransfer(kTag, 0, &word, 0, 4, 1)) << "channel closed";
    EXPECT_EQ(1u, XAVO_HAL_OpenDMAChannel(kTag, 0));
    EXPECT_EQ(1u, XAVO_HAL_PerformDMATransfer(kTag, 0, &word, 0, 4, 1));
}

TEST_F(SimDma, TransfersMoveTheWholeBlockOrNothing) {
    openCard(0, true);
    std::vector<std::uint8_t> pattern(0x400);
    std::iota(pattern.begin(), pattern.end(), std::uint8_t{1});
    ASSERT_EQ(1u, XAVO_SIM_WriteMemory(0, 0x3FFC00, pattern.data(), 0x400));
    ASSERT_EQ(1u, XAVO_SIM_WriteMemory(0, 0, pattern.data(), 0x400));

    struct {
        std::uint32_t address, bytes, direction;
        bool ok;
    } const cases[] = {
        {0x3FFC00, 0x400, 1, true},  {0x3FFC00, 0x401, 1, false}, {0x3FFC04, 0x400, 1, false},
        {0x000002, 0x10, 1, false},  {0x000001, 0x10, 0, false},  {0x000000, 0x10, 2, false},
        {0x400000, 0, 1, true},      {0x400004, 0, 1, false},     {0xFFFFFFFC, 0x10, 1, false},
        {0x000004, 0x3, 1, true},    {0x3FFC00, 0x400, 0, true},  {0x3FFFFC, 0x8, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.address << " + " << c.bytes << " dir " << c.direction);
        std::vector<std::uint8_t> host(0x410, 0xEE);
        if (c.direction == 0) std::copy(pattern.rbegin(), pattern.rend(), host.begin());
        const std::vector<std::uint8_t> hostBefore = host;
        std::vector<std::uint8_t> cardBefore(0x400);
        const std::uint32_t window = c.address < 0x3FFC00 ? 0 : 0x3FFC00;
        ASSERT_EQ(1u, XAVO_SIM_ReadMemory(0, window, cardBefore.data(), 0x400));

        EXPECT_EQ(c.ok ? 1u : 0u, XAVO_HAL_PerformDMATransfer(kTag, 0, host.data(), c.address, c.bytes, c.direction));

        std::vector<std::uint8_t> cardAfter(0x400);
        ASSERT_EQ(1u, XAVO_SIM_ReadMemory(0, window, cardAfter.data(), 0x400));
        if (!c.ok || c.bytes == 0) {
            EXPECT_EQ(hostBefore, host);
            EXPECT_EQ(cardBefore, cardAfter);
        } else if (c.direction == 1) {
            EXPECT_TRUE(std::equal(host.begin(), host.begin() + c.bytes, cardBefore.begin() + (c.address - window)));
            EXPECT_TRUE(std::all_of(host.begin() + c.bytes, host.end(), [](std::uint8_t b) { return b == 0xEE; }));
        } else {
            EXPECT_TRUE(std::equal(host.begin(), host.begin() + c.bytes, cardAfter.begin() + (c.address - window)));
        }
    }
}

TEST_F(SimDma, NullHostBufferIsRefusedUnlessNothingMoves) {
    openCard(0, true);
    EXPECT_EQ(0u, XAVO_HAL_PerformDMATransfer(kTag, 0, nullptr, 0, 4, 1));
    EXPECT_EQ(0u, XAVO_HAL_PerformDMATransfer(kTag, 0, nullptr, 0, 4, 0));
    EXPECT_EQ(1u, XAVO_HAL_PerformDMATransfer(kTag, 0, nullptr, 0, 0, 1));
}

}  // namespace
}  // namespace simtest
