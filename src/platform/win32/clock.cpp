#include <windows.h>

#include <type_traits>

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

// Constant-initialised and without a destructor: it outlives every use, the library's unload
// included.
constinit SystemClock theSystemClock;
static_assert(std::is_trivially_destructible_v<SystemClock>);

} // namespace

Clock& systemClock() { return theSystemClock; }

} // namespace kz::platform
