#include "frame/hooks.h"

#include <atomic>
#include <mutex>

#include "frame/board_table.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "platform/platform.h"

namespace kz {

namespace {

// Registrations take no card lock; this keeps two concurrent registrations from sharing a slot.
std::mutex registrationMutex;

template <typename Hook>
bool allocateList(Hook*& list, std::uint32_t& count)
{
    if (list == nullptr) {
        list = static_cast<Hook*>(platform::allocateZeroed(sizeof(Hook) * KZ_MAXIMUM_NUMBER_OF_HOOKS));
        if (list == nullptr) {
            return false;
        }
    }
    std::atomic_ref<std::uint32_t>(count).store(0, std::memory_order_release);
    return true;
}

template <typename Hook>
void freeList(Hook*& list, std::uint32_t& count)
{
    std::atomic_ref<std::uint32_t>(count).store(0, std::memory_order_release);
    platform::release(list);
    list = nullptr;
}

// Stores the hook, then publishes the new count, so a caller that sees the count sees the hook.
template <typename Hook>
std::uint32_t registerHook(std::uint32_t cardIndex, Hook hook, Hook* BoardState::*list, std::uint32_t BoardState::*count)
{
    BoardState* board = lookUpBoard(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    std::lock_guard guard(registrationMutex);
    std::atomic_ref<std::uint32_t> published(board->*count);
    const std::uint32_t used = published.load(std::memory_order_acquire);
    if (board->*list == nullptr || used >= KZ_MAXIMUM_NUMBER_OF_HOOKS) {
        report(err::SetHookNoHooksLeft);
        return 0;
    }
    (board->*list)[used] = hook;
    published.store(used + 1, std::memory_order_release);
    return 1;
}

template <typename Hook, typename... Args>
void callList(std::uint32_t cardIndex, Hook* BoardState::*list, std::uint32_t BoardState::*count, Args... args)
{
    BoardState* board = boardInRange(cardIndex);
    if (board == nullptr) {
        return;
    }
    const std::uint32_t used = std::atomic_ref<std::uint32_t>(board->*count).load(std::memory_order_acquire);
    Hook* hooks = board->*list;
    for (std::uint32_t i = 0; hooks != nullptr && i < used; ++i) {
        if (hooks[i] != nullptr) {
            hooks[i](cardIndex, args...);
        }
    }
}

} // namespace

bool allocateHooks(BoardState& board)
{
    if (allocateList(board.updateSampleParametersHooks, board.updateSampleParametersHookCount) &&
        allocateList(board.getEncoderOutputHooks, board.getEncoderOutputHookCount) &&
        allocateList(board.resetEncoderOutputHooks, board.resetEncoderOutputHookCount)) {
        return true;
    }
    freeHooks(board);
    return false;
}

void freeHooks(BoardState& board)
{
    freeList(board.updateSampleParametersHooks, board.updateSampleParametersHookCount);
    freeList(board.getEncoderOutputHooks, board.getEncoderOutputHookCount);
    freeList(board.resetEncoderOutputHooks, board.resetEncoderOutputHookCount);
}

void callUpdateSampleParametersHooks(std::uint32_t cardIndex)
{
    callList(cardIndex, &BoardState::updateSampleParametersHooks, &BoardState::updateSampleParametersHookCount);
}

void callGetEncoderOutputHooks(std::uint32_t cardIndex, std::uint32_t encoderIndex, std::uint32_t* value)
{
    callList(cardIndex, &BoardState::getEncoderOutputHooks, &BoardState::getEncoderOutputHookCount, encoderIndex,
             value);
}

void callResetEncoderOutputHooks(std::uint32_t cardIndex, std::uint32_t encoderIndex)
{
    callList(cardIndex, &BoardState::resetEncoderOutputHooks, &BoardState::resetEncoderOutputHookCount,
             encoderIndex);
}

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_SetUpdateSampleParametersHook(uint32_t cardIndex, KZ_UpdateSampleParametersHook hook)
{
    return kz::registerHook(cardIndex, hook, &BoardState::updateSampleParametersHooks,
                            &BoardState::updateSampleParametersHookCount);
}

KZ_API uint32_t KZ_SetGetEncoderOutputHook(uint32_t cardIndex, KZ_GetEncoderOutputHook hook)
{
    return kz::registerHook(cardIndex, hook, &BoardState::getEncoderOutputHooks,
                            &BoardState::getEncoderOutputHookCount);
}

KZ_API uint32_t KZ_SetResetEncoderOutputHook(uint32_t cardIndex, KZ_ResetEncoderOutputHook hook)
{
    return kz::registerHook(cardIndex, hook, &BoardState::resetEncoderOutputHooks,
                            &BoardState::resetEncoderOutputHookCount);
}

} // extern "C"
