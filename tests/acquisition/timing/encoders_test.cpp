#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hardware/registers.h"
#include "library_fixture.h"
#include "timing_test_support.h"

namespace kz::test {
namespace {

constexpr std::uint32_t kEncoderControl = peripheralAddress(reg::per::kEncoderControl);
constexpr std::uint32_t kDdr0 = peripheralAddress(reg::per::kDdr0);
constexpr std::uint32_t kDefaultShadow = 0x70050;

using Errors = std::vector<std::uint32_t>;

constexpr std::uint32_t counterAddress(std::uint32_t encoder) { return peripheralAddress(0x20 + 4 * encoder); }

class Encoders : public FirmwareRunningCardFixture {
protected:
    static std::uint32_t shadow() { return card0().encoderControlShadow; }

    // B-scans timed by 10 B-scans per second at 100 MHz and 1000 A-scans per second.
    static void timeBScansByRate()
    {
        card0().samplingFrequency = 100'000'000;
        ASSERT_EQ(KZ_SetRepetitionRate(0, 1000), 1u);
        ASSERT_EQ(KZ_SetTriggerSelect(0, 3), 1u);
        clearErrors();
        XAVO_SIM_ClearCallLog();
    }
};

TEST_F(Encoders, ClicksPerBScanAreOneTo65536)
{
    for (const std::uint32_t clicks : {65536u, 1u, 81u}) {
        ASSERT_EQ(KZ_SetNumberOfEncoderClicksPerBScan(0, clicks), 1u);
        EXPECT_EQ(shadow(), 0x70000u | (clicks - 1));
        EXPECT_EQ(peek(kEncoderControl), shadow());
        std::uint32_t read = 0;
        ASSERT_EQ(KZ_GetNumberOfEncoderClicksPerBScan(0, &read), 1u);
        EXPECT_EQ(read, clicks);
    }
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetNumberOfEncoderClicksPerBScan(0, 0), 0u);
    EXPECT_EQ(KZ_SetNumberOfEncoderClicksPerBScan(0, 65537), 0u);
    EXPECT_EQ(reportedErrors(), (Errors{0x4800, 0x4800}));
    EXPECT_EQ(cardWrites(), 0u);
    EXPECT_EQ(shadow(), kDefaultShadow);
}

TEST_F(Encoders, FractionIsRescaledTo256thsOfAClick)
{
    struct Case {
        std::uint32_t numerator;
        std::uint32_t unityShift;
        std::uint32_t stored; // in 1/256 click; ignored when refused
        bool accepted;
    };
    const Case cases[] = {
        {3, 2, 192, true},  {5, 10, 1, true},   {255, 8, 255, true}, {1, 9, 0, true}, // remainder dropped
        {0, 0, 0, true},    {4, 2, 0, false},   {256, 8, 0, false},  {1, 0, 0, false},
        // Shift counts of 32 or more count modulo 32: 2^40 is 2^8, 2^32 is 1.
        {200, 40, 200, true}, {256, 40, 0, false}, {0, 32, 0, true},  {1, 32, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.numerator << " / 2^" << c.unityShift);
        card0().encoderControlShadow = 0x170050; // a fraction of 1 already set
        clearErrors();
        XAVO_SIM_ClearCallLog();
        if (!c.accepted) {
            EXPECT_EQ(KZ_SetFractionalNumberOfEncoderClicksPerBScan(0, c.numerator, c.unityShift), 0u);
            EXPECT_EQ(reportedErrors(), Errors{0x9100});
            EXPECT_EQ(cardWrites(), 0u);
            continue;
        }
        ASSERT_EQ(KZ_SetFractionalNumberOfEncoderClicksPerBScan(0, c.numerator, c.unityShift), 1u);
        EXPECT_EQ(shadow(), kDefaultShadow | (c.stored << 20));
        EXPECT_EQ(peek(kEncoderControl), shadow());
        std::uint32_t numerator = 0;
        std::uint32_t unityShift = 0;
        ASSERT_EQ(KZ_GetFractionalNumberOfEncoderClicksPerBScan(0, &numerator, &unityShift), 1u);
        EXPECT_EQ(numerator, c.stored);
        EXPECT_EQ(unityShift, 8u);
    }
}

TEST_F(Encoders, EncoderSelectTakesZeroToSixOrNone)
{
    struct Case {
        std::uint32_t encoder;
        std::uint32_t field;
    };
    for (const Case c : {Case{KZ_ENCODER_NONE, 7}, Case{6, 6}, Case{0, 0}, Case{5, 5}}) {
        SCOPED_TRACE(c.encoder);
        ASSERT_EQ(KZ_SetEncoderSelect(0, c.encoder), 1u);
        EXPECT_EQ(shadow(), 0x50u | (c.field << 16));
        EXPECT_EQ(peek(kEncoderControl), shadow());
        std::uint32_t read = 0;
        ASSERT_EQ(KZ_GetEncoderSelect(0, &read), 1u);
        EXPECT_EQ(read, c.encoder);
    }
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetEncoderSelect(0, 7), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x4a00});
    EXPECT_EQ(cardWrites(), 0u);
}

TEST_F(Encoders, WhileBScansAreTimedOnlyTheShadowChangesUntilTheSourceChanges)
{
    timeBScansByRate();
    const std::uint32_t period = peek(kEncoderControl);
    ASSERT_EQ(KZ_SetNumberOfEncoderClicksPerBScan(0, 100), 1u);
    ASSERT_EQ(KZ_SetEncoderSelect(0, 2), 1u);
    ASSERT_EQ(KZ_SetFractionalNumberOfEncoderClicksPerBScan(0, 1, 1), 1u);
    EXPECT_EQ(writesTo(kEncoderControl), 0u);
    EXPECT_EQ(peek(kEncoderControl), period);
    EXPECT_EQ(shadow(), 0x20000000u | (128u << 20) | (2u << 16) | 99u);

    ASSERT_EQ(KZ_SetTriggerSelect(0, 1), 1u);
    EXPECT_EQ(peek(kEncoderControl), (128u << 20) | (2u << 16) | 99u);
}

TEST_F(Encoders, TheShadowKeepsANewSettingWhoseWriteFailed)
{
    addRule(XAVO_SIM_OP_SET_WORD, kEncoderControl);
    EXPECT_EQ(KZ_SetNumberOfEncoderClicksPerBScan(0, 10), 0u);
    EXPECT_EQ(KZ_ConnectEncoderCounters4And5ToIO(0, 1), 0u);
    EXPECT_EQ(shadow(), 0x10070009u);
    EXPECT_EQ(writesTo(kDdr0), 0u);
}

TEST_F(Encoders, CountersAreReadAndResetWithEncoderSixAsEncoderZero)
{
    for (std::uint32_t encoder = 0; encoder < 6; ++encoder) {
        ASSERT_EQ(XAVO_SIM_SetEncoderCount(0, encoder, 1000 + encoder), 1u);
    }
    for (std::uint32_t encoder = 0; encoder <= 6; ++encoder) {
        std::uint32_t count = 0;
        ASSERT_EQ(KZ_GetEncoderOutput(0, encoder, &count), 1u) << encoder;
        EXPECT_EQ(count, encoder == 6 ? 1000u : 1000u + encoder) << encoder;
    }
    ASSERT_EQ(KZ_SetResetEncoderOutput(0, 6), 1u);
    ASSERT_EQ(KZ_SetResetEncoderOutput(0, 4), 1u);
    EXPECT_EQ(peek(counterAddress(0)), 0u);
    EXPECT_EQ(peek(counterAddress(4)), 0u);
    EXPECT_EQ(peek(counterAddress(5)), 1005u);

    XAVO_SIM_ClearCallLog();
    std::uint32_t count = 77;
    EXPECT_EQ(KZ_GetEncoderOutput(0, 7, &count), 0u);
    EXPECT_EQ(KZ_SetResetEncoderOutput(0, 7), 0u);
    EXPECT_EQ(reportedErrors(), (Errors{0x4c00, 0x4b00}));
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_EQ(count, 77u);
}

// What the hooks saw, in the order they were called.
std::vector<std::string> hookCalls;

std::string describe(const char* hook, std::uint32_t card, std::uint32_t encoder)
{
    const bool locked = boardInRange(card) != nullptr && boardInRange(card)->lockDepth > 0;
    return std::string(hook) + " " + std::to_string(card) + "/" + std::to_string(encoder) +
           (locked ? " locked" : " unlocked");
}

uint32_t firstGetHook(uint32_t card, uint32_t encoder, uint32_t* value)
{
    hookCalls.push_back(describe("get1", card, encoder) + " " + std::to_string(*value));
    *value += 1;
    return 1;
}

uint32_t secondGetHook(uint32_t card, uint32_t encoder, uint32_t* value)
{
    hookCalls.push_back(describe("get2", card, encoder) + " " + std::to_string(*value));
    *value *= 10;
    return 0;
}

uint32_t firstResetHook(uint32_t card, uint32_t encoder)
{
    hookCalls.push_back(describe("reset1", card, encoder));
    return 1;
}

uint32_t secondResetHook(uint32_t card, uint32_t encoder)
{
    hookCalls.push_back(describe("reset2", card, encoder));
    return 1;
}

TEST_F(Encoders, HooksRunInOrderWithTheLockHeldAndMayChangeTheValue)
{
    hookCalls.clear();
    ASSERT_EQ(KZ_SetGetEncoderOutputHook(0, firstGetHook), 1u);
    ASSERT_EQ(KZ_SetGetEncoderOutputHook(0, secondGetHook), 1u);
    ASSERT_EQ(KZ_SetResetEncoderOutputHook(0, firstResetHook), 1u);
    ASSERT_EQ(KZ_SetResetEncoderOutputHook(0, secondResetHook), 1u);
    ASSERT_EQ(XAVO_SIM_SetEncoderCount(0, 0, 41), 1u);
    ASSERT_EQ(XAVO_SIM_SetEncoderCount(0, 3, 5), 1u);

    std::uint32_t value = 0;
    ASSERT_EQ(KZ_GetEncoderOutput(0, 6, &value), 1u);
    EXPECT_EQ(value, 420u);
    ASSERT_EQ(KZ_GetEncoderOutput(0, 3, &value), 1u);
    EXPECT_EQ(value, 60u);
    ASSERT_EQ(KZ_SetResetEncoderOutput(0, 6), 1u);
    EXPECT_EQ(card0().lockDepth, 0u);

    // A failed read or reset calls no hook.
    addRule(XAVO_SIM_OP_GET_WORD | XAVO_SIM_OP_SET_WORD, counterAddress(1));
    EXPECT_EQ(KZ_GetEncoderOutput(0, 1, &value), 0u);
    EXPECT_EQ(KZ_SetResetEncoderOutput(0, 1), 0u);

    const std::vector<std::string> expected{
        "get1 0/0 locked 41", "get2 0/0 locked 42", "get1 0/3 locked 5",
        "get2 0/3 locked 6",  "reset1 0/0 locked",  "reset2 0/0 locked",
    };
    EXPECT_EQ(hookCalls, expected);
}

TEST_F(Encoders, ConnectingCounters4And5MakesTheirPinsInputs)
{
    poke(kDdr0, 0xF0F0F0FF);
    ASSERT_EQ(KZ_ConnectEncoderCounters4And5ToIO(0, 1), 1u);
    EXPECT_EQ(shadow(), 0x10000000u | kDefaultShadow);
    EXPECT_EQ(peek(kEncoderControl), shadow());
    EXPECT_EQ(peek(kDdr0), 0xF0F0F03Fu);

    poke(kDdr0, 0xFF);
    for (const std::int32_t flag : {0, 2, -1}) {
        ASSERT_EQ(KZ_ConnectEncoderCounters4And5ToIO(0, flag), 1u) << flag;
        EXPECT_EQ(shadow(), kDefaultShadow) << flag;
        EXPECT_EQ(peek(kEncoderControl), kDefaultShadow) << flag;
    }
    EXPECT_EQ(peek(kDdr0), 0xFFu);
}

TEST_F(Encoders, ConnectingWhileBScansAreTimedRestoresThePeriod)
{
    timeBScansByRate();
    ASSERT_EQ(KZ_ConnectEncoderCounters4And5ToIO(0, 1), 1u);
    EXPECT_EQ(writesTo(kEncoderControl), 2u);
    EXPECT_EQ(shadow(), 0x30000000u | kDefaultShadow);
    EXPECT_EQ(peek(kEncoderControl), 0x30000000u | 2'000'000u);
}

} // namespace
} // namespace kz::test
