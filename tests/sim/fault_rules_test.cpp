#include <algorithm>
#include <atomic>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim_fixture.h"

namespace simtest {
namespace {

using SimFaultRules = SimFixture;
using SimCallLog = SimFixture;
using SimConcurrency = SimFixture;

constexpr std::uint32_t kScratch = sysReg(0x40);

TEST_F(SimFaultRules, SkipThenActOnCountMatches) {
    openCard();
    struct {
        std::uint32_t skip, count;
        const char* pattern;  // one character per call: '1' passes, '0' fails
    } const cases[] = {
        {0, 0, "000000"}, {2, 0, "110000"}, {1, 2, "100111"}, {0, 1, "011111"}, {6, 0, "111111"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "skip " << c.skip << " count " << c.count);
        XAVO_SIM_ClearFaultRules();
        XAVO_SIM_FaultRule rule = anyRule(XAVO_SIM_OP_GET_WORD, XAVO_SIM_ACTION_FAIL);
        rule.skip = c.skip;
        rule.count = c.count;
        const std::uint32_t id = XAVO_SIM_AddFaultRule(&rule);
        ASSERT_NE(0u, id);
        std::string got;
        std::uint32_t v = 0;
        for (int i = 0; i < 6; ++i) {
            write(kScratch, 1);  // writes do not match and do not advance the rule
            got += XAVO_HAL_GetWord(kTag, 0, kScratch, &v) ? '1' : '0';
        }
        EXPECT_EQ(c.pattern, got);
        EXPECT_EQ(static_cast<std::uint32_t>(std::count(got.begin(), got.end(), '0')), XAVO_SIM_ReturnFaultRuleHits(id));
    }
}

TEST_F(SimFaultRules, FailActionsChangeNothing) {
    openCard();
    write(kScratch, 5);
    XAVO_SIM_FaultRule fail = anyRule(XAVO_SIM_OP_SET_WORD | XAVO_SIM_OP_GET_WORD, XAVO_SIM_ACTION_FAIL);
    ASSERT_NE(0u, XAVO_SIM_AddFaultRule(&fail));
    std::uint32_t v = kUntouched;
    EXPECT_EQ(0u, XAVO_HAL_SetWord(kTag, 0, kScratch, 6));
    EXPECT_EQ(0u, XAVO_HAL_SetWord(kTag, 0, 0x500100, 6));
    EXPECT_EQ(0u, XAVO_HAL_GetWord(kTag, 0, kScratch, &v));
    EXPECT_EQ(kUntouched, v);
    EXPECT_EQ(5u, peek(kScratch));
    EXPECT_EQ(0u, peek(kOutOfRangeCount));

    XAVO_SIM_ClearFaultRules();
    XAVO_SIM_FaultRule store = anyRule(XAVO_SIM_OP_SET_WORD | XAVO_SIM_OP_GET_WORD, XAVO_SIM_ACTION_FAIL_STORE);
    store.forcedValue = 0x600DF00D;
    ASSERT_NE(0u, XAVO_SIM_AddFaultRule(&store));
    EXPECT_EQ(0u, XAVO_HAL_GetWord(kTag, 0, kScratch, &v));
    EXPECT_EQ(0x600DF00Du, v);
    EXPECT_EQ(0u, XAVO_HAL_SetWord(kTag, 0, kScratch, 7));
    EXPECT_EQ(5u, peek(kScratch));
}

TEST_F(SimFaultRules, ForcedValueReadHasNoSideEffect) {
    openCard();
    XAVO_SIM_FaultRule rule = anyRule(XAVO_SIM_OP_GET_WORD, XAVO_SIM_ACTION_FORCE_VALUE);
    rule.addressFirst = 0x500100;
    rule.addressLast = 0x5001FF;
    rule.forcedValue = 0x1234;
    ASSERT_NE(0u, XAVO_SIM_AddFaultRule(&rule));
    EXPECT_EQ(0x1234u, read(0x500100));
    EXPECT_EQ(0u, peek(kOutOfRangeCount)) << "the forced read never reached the card";
    EXPECT_EQ(0u, read(0x500200));
    std::uint32_t* const none = nullptr;
    EXPECT_EQ(0u, XAVO_HAL_GetWord(kTag, 0, 0x500100, none));

    // Forcing the enumeration's count reports cards without making them addressable.
    XAVO_SIM_FaultRule count = anyRule(XAVO_SIM_OP_INITIALISE_CARD_TYPE, XAVO_SIM_ACTION_FORCE_VALUE);
    count.forcedValue = 4;
    ASSERT_NE(0u, XAVO_SIM_AddFaultRule(&count));
    EXPECT_EQ(4u, enumerate());
    EXPECT_EQ(0u, XAVO_HAL_InitialiseCard(kTag, 3));
}

TEST_F(SimFaultRules, ResultActionReplacesOnlyASuccess) {
    openCard();
    XAVO_SIM_FaultRule rule = anyRule(XAVO_SIM_OP_SET_WORD, XAVO_SIM_ACTION_RESULT);
    rule.result = 7;
    const std::uint32_t id = XAVO_SIM_AddFaultRule(&rule);
    EXPECT_EQ(7u, XAVO_HAL_SetWord(kTag, 0, kScratch, 3));
    EXPECT_EQ(3u, peek(kScratch)) << "the call took effect";
    EXPECT_EQ(0u, XAVO_HAL_SetWord(kTag, 0, 0x700000, 3)) << "a call that fails still fails";
    EXPECT_EQ(2u, XAVO_SIM_ReturnFaultRuleHits(id));

    rule.result = 0;  // took effect, reported as failed
    XAVO_SIM_ClearFaultRules();
    ASSERT_NE(0u, XAVO_SIM_AddFaultRule(&rule));
    EXPECT_EQ(0u, XAVO_HAL_SetWord(kTag, 0, kScratch, 4));
    EXPECT_EQ(4u, peek(kScratch));
}

TEST_F(SimFaultRules, PartialDmaMovesTheGivenBytesThenFails) {
    openCard(0, true);
    std::vector<std::uint8_t> card(64);
    for (std::size_t i = 0; i < card.size(); ++i) card[i] = static_cast<std::uint8_t>(0x80 + i);
    ASSERT_EQ(1u, XAVO_SIM_WriteMemory(0, 0x1000, card.data(), 64));

    XAVO_SIM_FaultRule rule = anyRule(XAVO_SIM_OP_DMA_TRANSFER, XAVO_SIM_ACTION_PARTIAL_DMA);
    rule.partialBytes = 10;
    ASSERT_NE(0u, XAVO_SIM_AddFaultRule(&rule));

    std::vector<std::uint8_t> host(64, 0);
    EXPECT_EQ(0u, XAVO_HAL_PerformDMATransfer(kTag, 0, host.data(), 0x1000, 64, 1));
    EXPECT_TRUE(std::equal(host.begin(), host.begin() + 10, card.begin()));
    EXPECT_TRUE(std::all_of(host.begin() + 10, host.end(), [](std::uint8_t b) { return b == 0; }));

    std::vector<std::uint8_t> small(4, 0);
    EXPECT_EQ(0u, XAVO_HAL_PerformDMATransfer(kTag, 0, small.data(), 0x1000, 4, 1));
    EXPECT_TRUE(std::equal(small.begin(), small.end(), card.begin())) << "never more than asked";

    std::vector<std::uint8_t> zeros(64, 0);
    EXPECT_EQ(0u, XAVO_HAL_PerformDMATransfer(kTag, 0, zeros.data(), 0x1000, 64, 0));
    std::vector<std::uint8_t> after(64);
    ASSERT_EQ(1u, XAVO_SIM_ReadMemory(0, 0x1000, after.data(), 64));
    EXPECT_TRUE(std::all_of(after.begin(), after.begin() + 10, [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(after.begin() + 10, after.end(), card.begin() + 10));

    std::uint8_t odd[8] = {};
    EXPECT_EQ(0u, XAVO_HAL_PerformDMATransfer(kTag, 0, odd, 0x1002, 8, 1)) << "an invalid transfer moves nothing";
    EXPECT_EQ(0, odd[0]);
}

TEST_F(SimFaultRules, MatchFieldsSelectTheCalls) {
    ASSERT_EQ(1u, XAVO_SIM_ConfigureCards(2, kPrimary));
    ASSERT_EQ(2u, enumerate());
    ASSERT_EQ(1u, XAVO_HAL_InitialiseCard(kTag, 0));
    ASSERT_EQ(1u, XAVO_HAL_InitialiseCard(kTag, 1));

    struct Call {
        std::uint32_t card, address, value, service;
    };
    const Call calls[] = {
        {0, sysReg(0x40), 0x00000001, 0}, {1, sysReg(0x40), 0x00000001, 0}, {0, sysReg(0x44), 0x00000100, 0},
        {0, sysReg(0x48), 0x80000001, 0}, {0, sysReg(0x40), 0x00000001, 1},
    };
    struct {
        const char* name;
        XAVO_SIM_FaultRule rule;
        const char* pattern;  // per call: '1' passes, '0' fails
    } cases[] = {
        {"any", anyRule(0, XAVO_SIM_ACTION_FAIL), "00000"},
        {"card 1", anyRule(0, XAVO_SIM_ACTION_FAIL), "10111"},
        {"address range", anyRule(0, XAVO_SIM_ACTION_FAIL), "11001"},
        {"value bits", anyRule(0, XAVO_SIM_ACTION_FAIL), "11101"},
        {"library caller", anyRule(0, XAVO_SIM_ACTION_FAIL), "00001"},
        {"service caller", anyRule(0, XAVO_SIM_ACTION_FAIL), "11110"},
        {"other operation", anyRule(XAVO_SIM_OP_GET_WORD, XAVO_SIM_ACTION_FAIL), "11111"},
    };
    cases[1].rule.card = 1;
    cases[2].rule.addressFirst = sysReg(0x44);
    cases[2].rule.addressLast = sysReg(0x48);
    cases[3].rule.valueMask = 0x80000000;
    cases[3].rule.valueMatch = 0x80000000;
    cases[4].rule.caller = XAVO_SIM_CALLER_LIBRARY;
    cases[5].rule.caller = XAVO_SIM_CALLER_SERVICE;

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        XAVO_SIM_ClearFaultRules();
        ASSERT_NE(0u, XAVO_SIM_AddFaultRule(&c.rule));
        std::string got;
        for (const Call& call : calls) {
            XAVO_SIM_SetCallerIsService(call.service);
            got += XAVO_HAL_SetWord(kTag, call.card, call.address, call.value) ? '1' : '0';
            XAVO_SIM_SetCallerIsService(0);
        }
        EXPECT_EQ(c.pattern, got);
    }
}

TEST_F(SimFaultRules, TransferLengthIsTheMatchedValueAndCallsWithoutAddressMatchAnyRange) {
    openCard(0, true);
    XAVO_SIM_FaultRule rule = anyRule(XAVO_SIM_OP_DMA_TRANSFER | XAVO_SIM_OP_CLOSE_DMA, XAVO_SIM_ACTION_FAIL);
    rule.addressFirst = rule.addressLast = 0x2000;
    rule.valueMask = 0xFFFFFFFF;
    rule.valueMatch = 16;
    ASSERT_NE(0u, XAVO_SIM_AddFaultRule(&rule));
    std::uint8_t host[16] = {};
    EXPECT_EQ(0u, XAVO_HAL_PerformDMATransfer(kTag, 0, host, 0x2000, 16, 1));
    EXPECT_EQ(1u, XAVO_HAL_PerformDMATransfer(kTag, 0, host, 0x2000, 8, 1));
    EXPECT_EQ(1u, XAVO_HAL_PerformDMATransfer(kTag, 0, host, 0x2004, 16, 1));
    EXPECT_EQ(0u, XAVO_HAL_CloseDMAChannel(kTag, 0));
    EXPECT_EQ(1u, XAVO_SIM_IsDMAChannelOpen(0));
}

TEST_F(SimFaultRules, MalformedRulesAreRefused) {
    std::vector<std::pair<const char*, XAVO_SIM_FaultRule>> cases;
    auto add = [&](const char* name, auto change) {
        XAVO_SIM_FaultRule r = anyRule(XAVO_SIM_OP_GET_WORD, XAVO_SIM_ACTION_FAIL);
        change(r);
        cases.emplace_back(name, r);
    };
    add("unknown operation bit", [](auto& r) { r.operations = 0x200; });
    add("unknown action", [](auto& r) { r.action = 5; });
    add("unknown caller", [](auto& r) { r.caller = 3; });
    add("empty address range", [](auto& r) { r.addressFirst = 8, r.addressLast = 4; });
    add("match outside mask", [](auto& r) { r.valueMask = 0xF0, r.valueMatch = 0x0F; });
    add("forced value on a write", [](auto& r) { r.operations = XAVO_SIM_OP_SET_WORD, r.action = XAVO_SIM_ACTION_FORCE_VALUE; });
    add("forced value on every call", [](auto& r) { r.operations = 0, r.action = XAVO_SIM_ACTION_FORCE_VALUE; });
    add("partial DMA on a read", [](auto& r) { r.action = XAVO_SIM_ACTION_PARTIAL_DMA; });
    for (const auto& [name, rule] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(0u, XAVO_SIM_AddFaultRule(&rule));
    }
    EXPECT_EQ(0u, XAVO_SIM_AddFaultRule(nullptr));
}

TEST_F(SimFaultRules, FirstActingRuleWinsAndRulesCanBeRemoved) {
    openCard();
    XAVO_SIM_FaultRule first = anyRule(XAVO_SIM_OP_GET_WORD, XAVO_SIM_ACTION_FORCE_VALUE);
    first.forcedValue = 1;
    first.skip = 1;
    XAVO_SIM_FaultRule second = first;
    second.forcedValue = 2;
    second.skip = 0;
    const std::uint32_t a = XAVO_SIM_AddFaultRule(&first);
    const std::uint32_t b = XAVO_SIM_AddFaultRule(&second);
    ASSERT_NE(a, b);

    EXPECT_EQ(2u, read(kScratch));  // the first rule lets this one pass
    EXPECT_EQ(1u, read(kScratch));
    EXPECT_EQ(1u, read(kScratch));
    EXPECT_EQ(2u, XAVO_SIM_ReturnFaultRuleHits(a));
    EXPECT_EQ(1u, XAVO_SIM_ReturnFaultRuleHits(b));

    EXPECT_EQ(1u, XAVO_SIM_RemoveFaultRule(a));
    EXPECT_EQ(0u, XAVO_SIM_RemoveFaultRule(a));
    EXPECT_EQ(0u, XAVO_SIM_ReturnFaultRuleHits(a));
    EXPECT_EQ(2u, read(kScratch));
    XAVO_SIM_Reset();
    openCard();
    EXPECT_EQ(0u, read(kScratch)) << "reset clears the rules";
    EXPECT_EQ(0u, XAVO_SIM_ReturnFaultRuleHits(b));
}

TEST_F(SimFaultRules, RulesForOneCardAndForEveryCardActInTheOrderAdded) {
    ASSERT_EQ(1u, XAVO_SIM_ConfigureCards(2, kPrimary));
    ASSERT_EQ(2u, enumerate());
    ASSERT_EQ(1u, XAVO_HAL_InitialiseCard(kTag, 0));
    ASSERT_EQ(1u, XAVO_HAL_InitialiseCard(kTag, 1));
    write(kScratch, 9, 0);
    write(kScratch, 9, 1);
    auto forced = [](std::uint32_t card, std::uint32_t value, std::uint32_t count) {
        XAVO_SIM_FaultRule r = anyRule(XAVO_SIM_OP_GET_WORD, XAVO_SIM_ACTION_FORCE_VALUE);
        r.card = card;
        r.forcedValue = value;
        r.count = count;
        return r;
    };
    const XAVO_SIM_FaultRule card1Once = forced(1, 1, 1), everyCard = forced(XAVO_SIM_ANY, 2, 0),
                             card0 = forced(0, 3, 0), farCard = forced(200, 4, 0);
    const std::uint32_t a = XAVO_SIM_AddFaultRule(&card1Once);
    const std::uint32_t b = XAVO_SIM_AddFaultRule(&everyCard);
    const std::uint32_t c = XAVO_SIM_AddFaultRule(&card0);
    const std::uint32_t d = XAVO_SIM_AddFaultRule(&farCard);
    ASSERT_TRUE(a != 0 && b > a && c > b && d > c);

    EXPECT_EQ(1u, read(kScratch, 1)) << "the card's own rule was added first";
    EXPECT_EQ(2u, read(kScratch, 1)) << "then the rule for every card";
    EXPECT_EQ(2u, read(kScratch, 0)) << "the rule for every card was added before card 0's";
    std::uint32_t v = 0;
    EXPECT_EQ(1u, XAVO_HAL_GetWord(kTag, 200, kScratch, &v)) << "an index beyond every card has rules too";
    EXPECT_EQ(2u, v);

    ASSERT_EQ(1u, XAVO_SIM_RemoveFaultRule(b));
    EXPECT_EQ(3u, read(kScratch, 0));
    EXPECT_EQ(9u, read(kScratch, 1));
    EXPECT_EQ(1u, XAVO_HAL_GetWord(kTag, 200, kScratch, &v));
    EXPECT_EQ(4u, v);
    EXPECT_EQ(0u, XAVO_HAL_GetWord(kTag, 201, kScratch, &v));

    EXPECT_EQ(1u, XAVO_SIM_ReturnFaultRuleHits(a));
    EXPECT_EQ(0u, XAVO_SIM_ReturnFaultRuleHits(b)) << "removed";
    EXPECT_EQ(1u, XAVO_SIM_ReturnFaultRuleHits(c));
    EXPECT_EQ(1u, XAVO_SIM_ReturnFaultRuleHits(d));
    XAVO_SIM_ClearFaultRules();
    EXPECT_EQ(9u, read(kScratch, 0));
    EXPECT_EQ(0u, XAVO_SIM_ReturnFaultRuleHits(c));
}

bool sameRecord(const XAVO_SIM_CallRecord& a, const XAVO_SIM_CallRecord& b) {
    return a.operation == b.operation && a.card == b.card && a.address == b.address && a.value == b.value &&
           a.length == b.length && a.direction == b.direction && a.result == b.result && a.caller == b.caller;
}

std::string describe(const XAVO_SIM_CallRecord& r) {
    std::ostringstream s;
    s << std::hex << "op " << r.operation << " card " << r.card << " addr " << r.address << " value " << r.value
      << " len " << r.length << " dir " << r.direction << " result " << r.result << " caller " << r.caller;
    return s.str();
}

TEST_F(SimCallLog, RecordsEveryOperationWithItsArgumentsAndResult) {
    constexpr std::uint32_t L = XAVO_SIM_CALLER_LIBRARY, S = XAVO_SIM_CALLER_SERVICE, ANY = XAVO_SIM_ANY;
    ASSERT_EQ(1u, XAVO_SIM_ConfigureCards(2, kPrimary));
    std::uint32_t n = 0, v = 0;
    std::uint8_t host[8] = {};
    XAVO_HAL_Initialise();
    XAVO_HAL_InitialiseCardType(kVendor, kSecondary, kTag, &n);
    XAVO_HAL_InitialiseCardType(kVendor, kPrimary, kTag, &n);
    XAVO_HAL_InitialiseCard(kTag, 1);
    XAVO_HAL_SetWord(kTag, 1, sysReg(0x00), 0x12345678);
    XAVO_SIM_SetCallerIsService(1);
    XAVO_HAL_GetWord(kTag, 1, sysReg(0x00), &v);
    XAVO_HAL_GetWord(kTag, 1, 0x700000, &v);
    XAVO_SIM_SetCallerIsService(0);
    XAVO_HAL_OpenDMAChannel(kTag, 1);
    XAVO_HAL_PerformDMATransfer(kTag, 1, host, 0x40, 8, 1);
    XAVO_HAL_CloseDMAChannel(kTag, 1);
    XAVO_HAL_UninitialiseCard(kTag, 1);
    XAVO_HAL_UninitialiseCard(kTag + 1, 1);

    const XAVO_SIM_CallRecord expected[] = {
        {XAVO_SIM_OP_INITIALISE, ANY, 0, 0, 0, 0, 1, L},
        {XAVO_SIM_OP_INITIALISE_CARD_TYPE, ANY, kSecondary, 0, 0, 0, 0, L},
        {XAVO_SIM_OP_INITIALISE_CARD_TYPE, ANY, kPrimary, 2, 0, 0, 1, L},
        {XAVO_SIM_OP_INITIALISE_CARD, 1, 0, 0, 0, 0, 1, L},
        {XAVO_SIM_OP_SET_WORD, 1, sysReg(0x00), 0x12345678, 0, 0, 1, L},
        {XAVO_SIM_OP_GET_WORD, 1, sysReg(0x00), 0xEDCBA987, 0, 0, 1, S},
        {XAVO_SIM_OP_GET_WORD, 1, 0x700000, 0, 0, 0, 0, S},
        {XAVO_SIM_OP_OPEN_DMA, 1, 0, 0, 0, 0, 1, L},
        {XAVO_SIM_OP_DMA_TRANSFER, 1, 0x40, 0, 8, 1, 1, L},
        {XAVO_SIM_OP_CLOSE_DMA, 1, 0, 0, 0, 0, 1, L},
        {XAVO_SIM_OP_UNINITIALISE_CARD, 1, 0, 0, 0, 0, 1, L},
        {XAVO_SIM_OP_UNINITIALISE_CARD, 1, 0, 0, 0, 0, 0, L},
    };
    ASSERT_EQ(std::size(expected), XAVO_SIM_ReturnCallLogLength());
    for (std::uint32_t i = 0; i < std::size(expected); ++i) {
        XAVO_SIM_CallRecord r{};
        ASSERT_EQ(1u, XAVO_SIM_GetCallLogEntry(i, &r));
        EXPECT_TRUE(sameRecord(expected[i], r)) << i << ": " << describe(r) << "\n  expected " << describe(expected[i]);
    }
    XAVO_SIM_CallRecord r{};
    EXPECT_EQ(0u, XAVO_SIM_GetCallLogEntry(std::size(expected), &r));
    EXPECT_EQ(0u, XAVO_SIM_GetCallLogEntry(0, nullptr));

    EXPECT_EQ(2u, XAVO_SIM_CountCalls(XAVO_SIM_OP_GET_WORD, ANY, ANY));
    EXPECT_EQ(3u, XAVO_SIM_CountCalls(XAVO_SIM_OP_GET_WORD | XAVO_SIM_OP_SET_WORD, 1, ANY));
    EXPECT_EQ(2u, XAVO_SIM_CountCalls(0, ANY, sysReg(0x00)));
    EXPECT_EQ(0u, XAVO_SIM_CountCalls(0, 0, ANY));
    EXPECT_EQ(std::size(expected), XAVO_SIM_CountCalls(0, ANY, ANY));

    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(0u, XAVO_SIM_ReturnCallLogLength());
}

TEST_F(SimCallLog, FullLogIsOffUntilSwitchedOnAndCountsAreKeptEitherWay) {
    constexpr std::uint32_t ANY = XAVO_SIM_ANY, kUnmapped = 0x500300;
    XAVO_SIM_Reset();
    EXPECT_EQ(0u, XAVO_SIM_IsCallLogEnabled()) << "off by default and after a reset";
    ASSERT_EQ(1u, XAVO_SIM_ConfigureCards(2, kPrimary));
    ASSERT_EQ(2u, enumerate());
    ASSERT_EQ(1u, XAVO_HAL_InitialiseCard(kTag, 0));
    ASSERT_EQ(1u, XAVO_HAL_InitialiseCard(kTag, 1));
    write(kScratch, 1, 0);
    write(kScratch, 2, 0);
    write(sysReg(0x44), 3, 0);
    read(kScratch, 1);
    read(kUnmapped, 1);

    XAVO_SIM_CallRecord r{};
    EXPECT_EQ(0u, XAVO_SIM_ReturnCallLogLength());
    EXPECT_EQ(0u, XAVO_SIM_GetCallLogEntry(0, &r));
    // Without the full log, calls are counted by operation and card, and by register address.
    EXPECT_EQ(2u, XAVO_SIM_CountCalls(XAVO_SIM_OP_SET_WORD, 0, kScratch));
    EXPECT_EQ(3u, XAVO_SIM_CountCalls(XAVO_SIM_OP_SET_WORD, 0, ANY));
    EXPECT_EQ(0u, XAVO_SIM_CountCalls(XAVO_SIM_OP_GET_WORD, 0, ANY));
    EXPECT_EQ(1u, XAVO_SIM_CountCalls(0, 1, kScratch));
    EXPECT_EQ(3u, XAVO_SIM_CountCalls(0, ANY, kScratch));
    EXPECT_EQ(0u, XAVO_SIM_CountCalls(0, ANY, kUnmapped)) << "only register words are counted by address";
    EXPECT_EQ(8u, XAVO_SIM_CountCalls(0, ANY, ANY)) << "enumeration, two opens, five word calls";
    EXPECT_EQ(1u, XAVO_SIM_CountCalls(XAVO_SIM_OP_INITIALISE_CARD_TYPE, ANY, ANY));

    XAVO_SIM_SetCallLogEnabled(1);
    EXPECT_EQ(1u, XAVO_SIM_IsCallLogEnabled());
    write(kScratch, 4, 1);
    XAVO_SIM_SetCallLogEnabled(0);
    write(kScratch, 5, 1);
    ASSERT_EQ(1u, XAVO_SIM_ReturnCallLogLength()) << "only the call made while the log was on";
    ASSERT_EQ(1u, XAVO_SIM_GetCallLogEntry(0, &r));
    EXPECT_EQ(1u, r.card);
    EXPECT_EQ(4u, r.value);
    EXPECT_EQ(2u, XAVO_SIM_CountCalls(XAVO_SIM_OP_SET_WORD, 1, kScratch)) << "counted with the log on or off";

    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(0u, XAVO_SIM_ReturnCallLogLength());
    EXPECT_EQ(0u, XAVO_SIM_CountCalls(0, ANY, ANY));
}

TEST_F(SimCallLog, RecordsOfEveryCardReadAsOneLogInCallOrder) {
    ASSERT_EQ(1u, XAVO_SIM_ConfigureCards(3, kPrimary));
    ASSERT_EQ(3u, enumerate());
    for (std::uint32_t c = 0; c < 3; ++c) ASSERT_EQ(1u, XAVO_HAL_InitialiseCard(kTag, c));
    XAVO_SIM_ClearCallLog();
    const std::uint32_t cards[] = {2, 0, 1, XAVO_SIM_ANY, 0, 2, 70};
    for (std::uint32_t i = 0; i < std::size(cards); ++i) {
        if (cards[i] == XAVO_SIM_ANY)
            XAVO_HAL_Initialise();
        else
            XAVO_HAL_SetWord(kTag, cards[i], kScratch, i);
    }
    ASSERT_EQ(std::size(cards), XAVO_SIM_ReturnCallLogLength());
    for (std::uint32_t i = 0; i < std::size(cards); ++i) {
        XAVO_SIM_CallRecord r{};
        ASSERT_EQ(1u, XAVO_SIM_GetCallLogEntry(i, &r));
        EXPECT_EQ(cards[i], r.card) << i;
        if (cards[i] != XAVO_SIM_ANY) {
            EXPECT_EQ(i, r.value) << i;
        }
    }
    EXPECT_EQ(1u, XAVO_SIM_CountCalls(0, 70, XAVO_SIM_ANY));
}

TEST_F(SimCallLog, ForcedAndFailedReadsLogWhatTheCallerReceived) {
    openCard();
    XAVO_SIM_FaultRule rule = anyRule(XAVO_SIM_OP_GET_WORD, XAVO_SIM_ACTION_FAIL_STORE);
    rule.forcedValue = 0x55;
    rule.count = 1;
    ASSERT_NE(0u, XAVO_SIM_AddFaultRule(&rule));
    XAVO_SIM_ClearCallLog();
    std::uint32_t v = 0;
    XAVO_HAL_GetWord(kTag, 0, kScratch, &v);
    XAVO_SIM_CallRecord r{};
    ASSERT_EQ(1u, XAVO_SIM_GetCallLogEntry(0, &r));
    EXPECT_EQ(0x55u, r.value);
    EXPECT_EQ(0u, r.result);
}

TEST_F(SimCallLog, CallerMarkBelongsToTheThreadAndResets) {
    openCard();
    XAVO_SIM_SetCallerIsService(1);
    std::thread other([] { XAVO_HAL_SetWord(kTag, 0, kScratch, 1); });
    other.join();
    XAVO_HAL_SetWord(kTag, 0, kScratch, 2);
    EXPECT_EQ(2u, XAVO_SIM_CountCalls(XAVO_SIM_OP_SET_WORD, 0, kScratch));
    XAVO_SIM_CallRecord r{};
    const std::uint32_t last = XAVO_SIM_ReturnCallLogLength() - 1;
    ASSERT_EQ(1u, XAVO_SIM_GetCallLogEntry(last - 1, &r));
    EXPECT_EQ(XAVO_SIM_CALLER_LIBRARY, r.caller);
    ASSERT_EQ(1u, XAVO_SIM_GetCallLogEntry(last, &r));
    EXPECT_EQ(XAVO_SIM_CALLER_SERVICE, r.caller);

    XAVO_SIM_Reset();
    XAVO_SIM_SetCallLogEnabled(1);
    XAVO_HAL_Initialise();
    ASSERT_EQ(1u, XAVO_SIM_GetCallLogEntry(0, &r));
    EXPECT_EQ(XAVO_SIM_CALLER_LIBRARY, r.caller) << "reset clears the mark";
}

TEST_F(SimCallLog, KeepsOnlyTheMostRecentMillionCalls) {
    openCard();
    XAVO_SIM_ClearCallLog();
    constexpr std::uint32_t kExtra = 5;
    // Each call's written value is its sequence number, so the records kept can be told apart.
    for (std::uint32_t i = 0; i < XAVO_SIM_CALL_LOG_CAPACITY + kExtra; ++i) XAVO_HAL_SetWord(kTag, 0, kScratch, i);
    EXPECT_EQ(XAVO_SIM_CALL_LOG_CAPACITY, XAVO_SIM_ReturnCallLogLength());
    EXPECT_EQ(XAVO_SIM_CALL_LOG_CAPACITY, XAVO_SIM_CountCalls(XAVO_SIM_OP_SET_WORD, 0, kScratch));
    XAVO_SIM_CallRecord r{};
    ASSERT_EQ(1u, XAVO_SIM_GetCallLogEntry(0, &r));
    EXPECT_EQ(kExtra, r.value) << "the oldest records went first";
    ASSERT_EQ(1u, XAVO_SIM_GetCallLogEntry(XAVO_SIM_CALL_LOG_CAPACITY - 1, &r));
    EXPECT_EQ(XAVO_SIM_CALL_LOG_CAPACITY + kExtra - 1, r.value);
    EXPECT_EQ(0u, XAVO_SIM_GetCallLogEntry(XAVO_SIM_CALL_LOG_CAPACITY, &r));
}

TEST_F(SimConcurrency, ParallelCallsOnSeveralCardsKeepEveryEffectAndRecord) {
    // Run under a thread sanitizer, this also shows that hardware-access and control calls on one
    // card never overlap.
    constexpr std::uint32_t kCards = 4, kThreadsPerCard = 2, kCalls = 500;
    ASSERT_EQ(1u, XAVO_SIM_ConfigureCards(kCards, kPrimary));
    ASSERT_EQ(kCards, enumerate());
    for (std::uint32_t c = 0; c < kCards; ++c) ASSERT_EQ(1u, XAVO_HAL_InitialiseCard(kTag, c));
    XAVO_SIM_FaultRule rule = anyRule(XAVO_SIM_OP_GET_WORD, XAVO_SIM_ACTION_FORCE_VALUE);
    rule.addressFirst = rule.addressLast = 0x500300;
    rule.forcedValue = 1;
    const std::uint32_t id = XAVO_SIM_AddFaultRule(&rule);
    XAVO_SIM_ClearCallLog();

    std::atomic<std::uint32_t> failures{0};
    std::vector<std::thread> threads;
    for (std::uint32_t t = 0; t < kCards * kThreadsPerCard; ++t) {
        threads.emplace_back([t, &failures] {
            const std::uint32_t card = t % kCards;
            std::uint32_t v = 0;
            for (std::uint32_t i = 0; i < kCalls; ++i) {
                if (!XAVO_HAL_SetWord(kTag, card, 0x500100, i)) ++failures;         // unmapped: counts
                if (!XAVO_HAL_GetWord(kTag, card, 0x500300, &v) || v != 1) ++failures;  // forced
                if (!XAVO_HAL_SetWord(kTag, card, 4 * t, i)) ++failures;
            }
            XAVO_SIM_ReturnCallLogLength();
        });
    }
    // Control calls on the same cards at the same time.
    for (std::uint32_t card = 0; card < kCards; ++card) {
        threads.emplace_back([card, &failures] {
            std::uint32_t v = 0;
            for (std::uint32_t i = 0; i < kCalls; ++i) {
                if (!XAVO_SIM_AdvanceEncoder(card, 0, 1) || !XAVO_SIM_Peek(card, kOutOfRangeCount, &v)) ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();

    EXPECT_EQ(0u, failures.load());
    EXPECT_EQ(kCards * kThreadsPerCard * kCalls * 3, XAVO_SIM_ReturnCallLogLength());
    EXPECT_EQ(kCards * kThreadsPerCard * kCalls, XAVO_SIM_ReturnFaultRuleHits(id));
    for (std::uint32_t c = 0; c < kCards; ++c) {
        EXPECT_EQ(kThreadsPerCard * kCalls, peek(kOutOfRangeCount, c));
        EXPECT_EQ(kCalls - 1, peek(4 * c, c));
        EXPECT_EQ(kCalls, peek(perReg(0x20), c));
    }
}

}  // namespace
}  // namespace simtest
