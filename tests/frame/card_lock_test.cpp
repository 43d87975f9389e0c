#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "frame/card_lock.h"
#include "library_fixture.h"

namespace kz::test {
namespace {

using CardLock = LibraryFixture;

TEST_F(CardLock, LockAndUnlockOfAnIndexOutOfRangeDoNothing)
{
    KZ_Lock(1);
    KZ_Unlock(1);
    KZ_Lock(0xFFFFFFFF);
    KZ_Unlock(0xFFFFFFFF);
    EXPECT_EQ(pBoardStates[0].lockDepth, 0u);
}

TEST_F(CardLock, LockThatWasNeverCreatedOrWasDestroyedDoesNothing)
{
    KZ_Lock(0);
    EXPECT_EQ(pBoardStates[0].lockDepth, 0u);
    KZ_Unlock(0);
    EXPECT_EQ(pBoardStates[0].lockDepth, 0u);

    createLock(0);
    destroyLock(0);
    KZ_Lock(0);
    KZ_Unlock(0);
    EXPECT_EQ(pBoardStates[0].lockDepth, 0u);
    EXPECT_FALSE(lockExists(0));
}

TEST_F(CardLock, NestingIsCountedAndUnmatchedUnlocksAreIgnored)
{
    createLock(0);
    KZ_Lock(0);
    KZ_Lock(0);
    EXPECT_EQ(pBoardStates[0].lockDepth, 2u);
    KZ_Unlock(0);
    KZ_Unlock(0);
    EXPECT_EQ(pBoardStates[0].lockDepth, 0u);
    KZ_Unlock(0);
    EXPECT_EQ(pBoardStates[0].lockDepth, 0u);

    // The lock is free again: another thread can take it at once.
    std::thread other([] {
        KZ_Lock(0);
        KZ_Unlock(0);
    });
    other.join();
}

TEST_F(CardLock, AnotherThreadWaitsForTheHolderAndCannotUnlockForIt)
{
    createLock(0);
    KZ_Lock(0);

    std::thread intruder([] { KZ_Unlock(0); });
    intruder.join();
    EXPECT_EQ(pBoardStates[0].lockDepth, 1u);

    std::atomic<bool> entered{false};
    std::thread waiter([&] {
        KZ_Lock(0);
        entered = true;
        KZ_Unlock(0);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(entered.load());
    KZ_Unlock(0);
    waiter.join();
    EXPECT_TRUE(entered.load());
    EXPECT_EQ(pBoardStates[0].lockDepth, 0u);
}

TEST_F(CardLock, DestroyReleasesTheHoldsOfTheCallingThreadAndCreateStartsAfresh)
{
    createLock(0);
    KZ_Lock(0);
    KZ_Lock(0);
    destroyLock(0);
    EXPECT_EQ(pBoardStates[0].lockDepth, 0u);

    createLock(0);
    std::thread other([] {
        KZ_Lock(0);
        KZ_Unlock(0);
    });
    other.join();
    EXPECT_EQ(pBoardStates[0].lockDepth, 0u);
}

TEST_F(CardLock, CreatingItOverALiveLockStartsItAfresh)
{
    createLock(0);
    KZ_Lock(0);
    KZ_Lock(0);
    pBoardStates[0].sequenceState = 2;
    pBoardStates[0].sequencePauseCount = 3;

    createLock(0);
    EXPECT_EQ(pBoardStates[0].sequenceState, 0u);
    EXPECT_EQ(pBoardStates[0].sequencePauseCount, 0u);
    ASSERT_EQ(pBoardStates[0].lockDepth, 0u);
    // Nobody holds it any more, and it still counts its nesting.
    std::thread other([] {
        KZ_Lock(0);
        KZ_Unlock(0);
    });
    other.join();
    KZ_Lock(0);
    EXPECT_EQ(pBoardStates[0].lockDepth, 1u);
    KZ_Unlock(0);
    EXPECT_EQ(pBoardStates[0].lockDepth, 0u);
}

TEST_F(CardLock, GuardHoldsTheLockForItsScope)
{
    createLock(0);
    {
        const CardGuard guard(0);
        EXPECT_EQ(pBoardStates[0].lockDepth, 1u);
        const CardGuard nested(0);
        EXPECT_EQ(pBoardStates[0].lockDepth, 2u);
    }
    EXPECT_EQ(pBoardStates[0].lockDepth, 0u);
}

} // namespace
} // namespace kz::test
