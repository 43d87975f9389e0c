#include <windows.h>

#include <atomic>

#include "platform/platform.h"

namespace kz::platform {

namespace {

// The system's performance counter.
class SystemClock final : public Clock {
public:
    bool queryFrequency(std::uint64_t* countsPerSecond) override
    {
        LARGE_INTEGER frequency{};
        if (QueryPerformanceFrequency(&frequency) == 0 || frequency.QuadPart <= 0) {
            return false;
        }
        *countsPerSecond = static_cast<std::uint64_t>(frequency.QuadPart);
        return true;
    }

    bool queryCounter(std::uint64_t* count) override
    {
        LARGE_INTEGER now{};
        if (QueryPerformanceCounter(&now) == 0) {
            return false;
        }
        *count = static_cast<std::uint64_t>(now.QuadPart);
        return true;
    }

    void sleepMilliseconds(std::uint32_t milliseconds) override { Sleep(milliseconds); }
};

SystemClock systemClock;
std::atomic<Clock*> installed{nullptr};

} // namespace

Clock& clock()
{
    Clock* replacement = installed.load(std::memory_order_acquire);
    return replacement != nullptr ? *replacement : systemClock;
}

void setClock(Clock* replacement) { installed.store(replacement, std::memory_order_release); }

void sleepMilliseconds(std::uint32_t milliseconds) { clock().sleepMilliseconds(milliseconds); }

} // namespace kz::platform
