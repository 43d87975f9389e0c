#include "frame/card_lock.h"

#include <atomic>
#include <new>
#include <thread>

#include "frame/board_table.h"
#include "platform/platform.h"

namespace kz {

namespace {

struct CardLock {
    platform::RecursiveLock mutex;
    std::atomic<std::thread::id> owner{};
    std::atomic<bool> exists{false};
};

static_assert(sizeof(CardLock) <= sizeof(KZ_CriticalSection), "lock storage too small");
static_assert(alignof(CardLock) <= alignof(KZ_CriticalSection), "lock storage misaligned");

CardLock& lockOf(BoardState& board)
{
    return *std::launder(reinterpret_cast<CardLock*>(&board.lock));
}

} // namespace

void constructLockStorage(BoardState& board) { new (&board.lock) CardLock(); }

void destroyLockStorage(BoardState& board) { lockOf(board).~CardLock(); }

void createLock(std::uint32_t cardIndex)
{
    BoardState* board = boardInRange(cardIndex);
    if (board == nullptr) {
        return;
    }
    CardLock& lock = lockOf(*board);
    if (lock.exists.load(std::memory_order_acquire)) {
        return;
    }
    board->lockDepth = 0;
    board->sequenceState = 0;
    board->sequencePauseCount = 0;
    lock.owner.store(std::thread::id{}, std::memory_order_relaxed);
    lock.exists.store(true, std::memory_order_release);
}

void destroyLock(std::uint32_t cardIndex)
{
    BoardState* board = boardInRange(cardIndex);
    if (board == nullptr) {
        return;
    }
    CardLock& lock = lockOf(*board);
    if (!lock.exists.load(std::memory_order_acquire)) {
        return;
    }
    // Wait for any other holder, then give up every hold of this thread.
    lock.mutex.lock();
    const bool mine = lock.owner.load(std::memory_order_relaxed) == std::this_thread::get_id();
    const std::uint32_t holds = (mine ? board->lockDepth : 0) + 1;
    lock.exists.store(false, std::memory_order_release);
    board->lockDepth = 0;
    lock.owner.store(std::thread::id{}, std::memory_order_relaxed);
    for (std::uint32_t i = 0; i < holds; ++i) {
        lock.mutex.unlock();
    }
}

bool lockExists(std::uint32_t cardIndex)
{
    BoardState* board = boardInRange(cardIndex);
    return board != nullptr && lockOf(*board).exists.load(std::memory_order_acquire);
}

void lockCard(std::uint32_t cardIndex)
{
    BoardState* board = boardInRange(cardIndex);
    if (board == nullptr) {
        return;
    }
    CardLock& lock = lockOf(*board);
    if (!lock.exists.load(std::memory_order_acquire)) {
        return;
    }
    lock.mutex.lock();
    if (!lock.exists.load(std::memory_order_acquire)) {
        // Destroyed while this thread waited.
        lock.mutex.unlock();
        return;
    }
    lock.owner.store(std::this_thread::get_id(), std::memory_order_relaxed);
    ++board->lockDepth;
}

void unlockCard(std::uint32_t cardIndex)
{
    BoardState* board = boardInRange(cardIndex);
    if (board == nullptr) {
        return;
    }
    CardLock& lock = lockOf(*board);
    if (!lock.exists.load(std::memory_order_acquire) ||
        lock.owner.load(std::memory_order_relaxed) != std::this_thread::get_id() || board->lockDepth == 0) {
        return;
    }
    if (--board->lockDepth == 0) {
        lock.owner.store(std::thread::id{}, std::memory_order_relaxed);
    }
    lock.mutex.unlock();
}

} // namespace kz

extern "C" {

KZ_API void KZ_Lock(uint32_t cardIndex) { kz::lockCard(cardIndex); }

KZ_API void KZ_Unlock(uint32_t cardIndex) { kz::unlockCard(cardIndex); }

} // extern "C"
