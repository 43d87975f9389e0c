#include "hardware/busy_wait.h"

#include "platform/platform.h"

namespace kz {

WaitResult waitForRegister(std::uint32_t cardIndex, Bank bank, std::uint32_t offset, float limitSeconds,
                           const std::function<bool(std::uint32_t)>& isReady)
{
    platform::Clock& clock = platform::clock();
    std::uint64_t frequency = 0;
    std::uint64_t start = 0;
    if (!clock.queryFrequency(&frequency) || frequency == 0 || !clock.queryCounter(&start)) {
        return WaitResult::TimerFailed;
    }
    for (;;) {
        std::uint64_t now = 0;
        if (!clock.queryCounter(&now)) {
            return WaitResult::TimerFailed;
        }
        std::uint32_t word = 0;
        if (getBankRegister(bank, cardIndex, offset, &word) == 0) {
            return WaitResult::ReadFailed;
        }
        const std::uint64_t ticks = now >= start ? now - start : 0;
        const auto elapsed = static_cast<float>(static_cast<double>(ticks) / static_cast<double>(frequency));
        if (elapsed > limitSeconds) {
            return WaitResult::TimedOut;
        }
        if (isReady(word)) {
            return WaitResult::Ready;
        }
    }
}

} // namespace kz
