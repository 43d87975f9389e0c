// The per-card recursive lock. Its storage lives in the card's record for as long as the record;
// "create" and "destroy" only switch it on and off, so a lock or unlock of a card whose lock
// was never created, or was destroyed, does nothing and never touches a dead object.
#pragma once

#include <cstdint>

#include "XAVOKZ.h"
#include "frame/board_table.h"

namespace kz {

// Builds and tears down the lock storage of a record; called when the card table is allocated
// and freed.
void constructLockStorage(BoardState& board);
void destroyLockStorage(BoardState& board);

// Switches the card's lock on: depth 0, no owner, the sequencer's state and pause count
// cleared. Over a lock that exists already the same holds: its mutex stays, once any other
// holder has left it, and every hold of the calling thread is given up.
void createLock(std::uint32_t cardIndex);
// Switches the card's lock off; holds that the calling thread still has are released.
void destroyLock(std::uint32_t cardIndex);
bool lockExists(std::uint32_t cardIndex);

// Enters the card's lock and counts the nesting. Nothing happens for an index out of range
// or a lock that does not exist.
void lockCard(std::uint32_t cardIndex);
// Leaves one nesting level. Nothing happens unless the calling thread holds the lock.
void unlockCard(std::uint32_t cardIndex);

// Holds the card's lock for its lifetime.
class CardGuard {
public:
    explicit CardGuard(std::uint32_t cardIndex) : cardIndex_(cardIndex) { lockCard(cardIndex_); }
    ~CardGuard() { unlockCard(cardIndex_); }
    CardGuard(const CardGuard&) = delete;
    CardGuard& operator=(const CardGuard&) = delete;

private:
    std::uint32_t cardIndex_;
};

// Looks an initialised card up (reporting an invalid index), holds its lock and returns
// `work(board)`; 0 when the card is not found.
template <typename Work>
std::uint32_t withLockedCard(std::uint32_t cardIndex, Work&& work)
{
    BoardState* board = lookUpBoard(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    const CardGuard guard(cardIndex);
    return work(*board);
}

// The same for a getter: a null output pointer returns 0 without touching the card; else
// `work(board, out)` under the card's lock.
template <typename T, typename Work>
std::uint32_t withLockedCard(std::uint32_t cardIndex, T* out, Work&& work)
{
    if (out == nullptr) {
        return 0;
    }
    return withLockedCard(cardIndex, [&](BoardState& board) { return work(board, out); });
}

} // namespace kz
