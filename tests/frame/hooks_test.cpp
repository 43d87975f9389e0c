#include <gtest/gtest.h>

#include <vector>

#include "frame/card_lock.h"
#include "frame/hooks.h"
#include "library_fixture.h"

namespace kz::test {
namespace {

std::vector<int> calls;
std::uint32_t depthSeen = 0;

template <int Tag>
uint32_t updateHook(uint32_t card)
{
    calls.push_back(Tag);
    depthSeen = pBoardStates[card].lockDepth;
    return 0;
}

uint32_t doublingEncoderHook(uint32_t, uint32_t encoder, uint32_t* value)
{
    calls.push_back(static_cast<int>(encoder));
    *value *= 2;
    return 0;
}

uint32_t resetHook(uint32_t, uint32_t encoder)
{
    calls.push_back(100 + static_cast<int>(encoder));
    return 0;
}

class Hooks : public OpenCardFixture {
protected:
    void SetUp() override
    {
        OpenCardFixture::SetUp();
        calls.clear();
        depthSeen = 0;
    }
};

TEST_F(Hooks, FiveFitInAListAndTheSixthIsRefusedWithoutTouchingTheOthers)
{
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(KZ_SetUpdateSampleParametersHook(0, &updateHook<1>), 1u);
    }
    EXPECT_EQ(KZ_SetUpdateSampleParametersHook(0, &updateHook<2>), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x8000});
    EXPECT_EQ(pBoardStates[0].updateSampleParametersHookCount, 5u);

    EXPECT_EQ(KZ_SetGetEncoderOutputHook(0, &doublingEncoderHook), 1u);
    EXPECT_EQ(KZ_SetResetEncoderOutputHook(0, &resetHook), 1u);
    EXPECT_EQ(pBoardStates[0].getEncoderOutputHookCount, 1u);
    EXPECT_EQ(pBoardStates[0].resetEncoderOutputHookCount, 1u);
}

TEST_F(Hooks, AreCalledInRegistrationOrderOncePerRegistrationSkippingNullEntries)
{
    KZ_SetUpdateSampleParametersHook(0, &updateHook<1>);
    KZ_SetUpdateSampleParametersHook(0, nullptr);
    KZ_SetUpdateSampleParametersHook(0, &updateHook<2>);
    KZ_SetUpdateSampleParametersHook(0, &updateHook<1>);
    {
        const CardGuard guard(0);
        callUpdateSampleParametersHooks(0);
    }
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 1}));
    EXPECT_EQ(depthSeen, 1u);
    EXPECT_EQ(pBoardStates[0].updateSampleParametersHookCount, 4u);
}

TEST_F(Hooks, EncoderHooksSeeTheEncoderAndMayChangeTheValue)
{
    KZ_SetGetEncoderOutputHook(0, &doublingEncoderHook);
    KZ_SetGetEncoderOutputHook(0, &doublingEncoderHook);
    KZ_SetResetEncoderOutputHook(0, &resetHook);
    std::uint32_t value = 5;
    callGetEncoderOutputHooks(0, 3, &value);
    callResetEncoderOutputHooks(0, 4);
    EXPECT_EQ(value, 20u);
    EXPECT_EQ(calls, (std::vector<int>{3, 3, 104}));
}

TEST_F(Hooks, ListsAreEmptyAfterTheCardIsTornDownAndBroughtUpAgain)
{
    KZ_SetUpdateSampleParametersHook(0, &updateHook<1>);
    freeHooks(pBoardStates[0]);
    pBoardStates[0].isInitialised = 0;
    EXPECT_EQ(KZ_SetUpdateSampleParametersHook(0, &updateHook<1>), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x7900});

    ASSERT_TRUE(allocateHooks(pBoardStates[0]));
    pBoardStates[0].isInitialised = 1;
    callUpdateSampleParametersHooks(0);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(pBoardStates[0].updateSampleParametersHookCount, 0u);
}

TEST_F(Hooks, AFailedAllocationLeavesNoArrays)
{
    freeHooks(pBoardStates[0]);
    static int allocations = 0;
    allocations = 0;
    platform::setAllocationFailurePredicate([](std::size_t) { return ++allocations == 2; });
    EXPECT_FALSE(allocateHooks(pBoardStates[0]));
    EXPECT_EQ(pBoardStates[0].updateSampleParametersHooks, nullptr);
    EXPECT_EQ(pBoardStates[0].getEncoderOutputHooks, nullptr);
    EXPECT_EQ(pBoardStates[0].resetEncoderOutputHooks, nullptr);
}

} // namespace
} // namespace kz::test
