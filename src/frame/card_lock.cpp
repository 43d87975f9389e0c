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

// Waits for any other holder, then gives up every hold of the calling thread: afterwards nobody
// holds the lock and its depth is 0. `whileHeld` runs before the last hold is given up.
template <typename WhileHeld>
void releaseEveryHold(BoardState& board, CardLock& lock, WhileHeld&& whileHeld)
{
    lock.mutex.lock();
    const bool mine = lock.owner.load(std::memory_order_relaxed) == std::this_thread::get_id();
    const std::uint32_t holds = (mine ? board.lockDepth : 0) + 1;
    board.lockDepth = 0;
    lock.owner.store(std::thread::id{}, std::memory_order_relaxed);
    whileHeld();
    for (std::uint32_t i = 0; i < holds; ++i) {
        lock.mutex.unlock();
    }
}

void clearSequencerPause(BoardState& board)
{
    board.sequenceState = 0;
    board.sequencePauseCount = 0;
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
        // Created again over a live lock: the mutex stays (a thread may be waiting on it), but the
        // lock starts afresh as a new one would, with no holds and the sequencer's pause cleared.
        releaseEveryHold(*board, lock, [board] { clearSequencerPause(*board); });
        return;
    }
    board->lockDepth = 0;
    clearSequencerPause(*board);
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
    releaseEveryHold(*board, lock, [&lock] { lock.exists.store(false, std::memory_order_release); });
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
