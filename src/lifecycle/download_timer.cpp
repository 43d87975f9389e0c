#include "lifecycle/download_timer.h"

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

namespace kz {

namespace {

constexpr double kMicrosecondsPerSecond = 1'000'000.0;

// 0 until the first download has computed it.
constinit std::atomic<float> microsecondsPerTick{0.0f};

} // namespace

float downloadMicrosecondsPerTick()
{
    const float known = microsecondsPerTick.load(std::memory_order_acquire);
    if (known != 0.0f) {
        return known;
    }
    std::uint64_t frequency = 0;
    if (!platform::clock().queryFrequency(&frequency) || frequency == 0) {
        return 0.0f;
    }
    const auto computed = static_cast<float>(kMicrosecondsPerSecond / static_cast<double>(frequency));
    // Two first downloads at once may both get here; the figure the first one stores stands.
    float expected = 0.0f;
    if (microsecondsPerTick.compare_exchange_strong(expected, computed, std::memory_order_acq_rel)) {
        return computed;
    }
    return expected;
}

} // namespace kz
