// Two first firmware downloads on two cards at once both ask for the download timer's figure.
// Built with the thread sanitizer, which fails the run at any unsynchronised access to it.
#include <cstdint>
#include <cstdio>
#include <thread>

#include "lifecycle/download_timer.h"
#include "platform/platform.h"

namespace {

class MegahertzClock final : public kz::platform::Clock {
public:
    bool queryFrequency(std::uint64_t* countsPerSecond) override
    {
        *countsPerSecond = 1'000'000;
        return true;
    }
    bool queryCounter(std::uint64_t* count) override
    {
        *count = 0;
        return true;
    }
    void sleepMilliseconds(std::uint32_t) override {}
};

} // namespace

int main()
{
    MegahertzClock clock;
    kz::platform::setClock(&clock);
    float seen[2] = {};
    std::thread first([&seen] { seen[0] = kz::downloadMicrosecondsPerTick(); });
    std::thread second([&seen] { seen[1] = kz::downloadMicrosecondsPerTick(); });
    first.join();
    second.join();
    kz::platform::setClock(nullptr);
    if (seen[0] != 1.0f || seen[1] != 1.0f) {
        std::fprintf(stderr, "microseconds per tick: %f and %f, not 1\n", seen[0], seen[1]);
        return 1;
    }
    return 0;
}
