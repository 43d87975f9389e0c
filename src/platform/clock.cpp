// The clock the library reads: the system's own, or one a test installed.
#include <atomic>

#include "platform/platform.h"

namespace kz::platform {

namespace {
std::atomic<Clock*> installed{nullptr};
} // namespace

Clock& clock()
{
    Clock* replacement = installed.load(std::memory_order_acquire);
    return replacement != nullptr ? *replacement : systemClock();
}

void setClock(Clock* replacement) { installed.store(replacement, std::memory_order_release); }

void sleepMilliseconds(std::uint32_t milliseconds) { clock().sleepMilliseconds(milliseconds); }

} // namespace kz::platform
