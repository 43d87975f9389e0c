#include <errno.h>
#include <time.h>

#include <type_traits>

#include "platform/platform.h"

namespace kz::platform {

namespace {

constexpr std::uint64_t kNanosecondsPerSecond = 1'000'000'000;

// The monotonic clock in nanoseconds.
class SystemClock final : public Clock {
public:
    bool queryFrequency(std::uint64_t* countsPerSecond) override
    {
        *countsPerSecond = kNanosecondsPerSecond;
        return true;
    }

    bool queryCounter(std::uint64_t* count) override
    {
        timespec now{};
        if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
            return false;
        }
        *count = static_cast<std::uint64_t>(now.tv_sec) * kNanosecondsPerSecond +
                 static_cast<std::uint64_t>(now.tv_nsec);
        return true;
    }

    void sleepMilliseconds(std::uint32_t milliseconds) override
    {
        timespec remaining{static_cast<time_t>(milliseconds / 1000),
                           static_cast<long>(milliseconds % 1000) * 1'000'000L};
        // A signal cuts the sleep short: sleep the rest. Any other error ends the sleep.
        while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
        }
    }
};

// Constant-initialised and without a destructor: it outlives every use, the library's unload
// included.
constinit SystemClock theSystemClock;
static_assert(std::is_trivially_destructible_v<SystemClock>);

} // namespace

Clock& systemClock() { return theSystemClock; }

} // namespace kz::platform
