// A clock for tests: every counter read advances it by one microsecond and a sleep advances it
// by its length at once, so every time-out ends after a bounded number of polls and no test
// waits for real time. Can also be told to fail its queries, and to run the simulated cards'
// own time along with its sleeps.
#pragma once

#include <atomic>
#include <cstdint>

#include "XAVOSimControl.h"
#include "platform/platform.h"

namespace kz::test {

class VirtualClock final : public platform::Clock {
public:
    static constexpr std::uint64_t kFrequency = 1'000'000; // counts per second: 1 count = 1 µs

    bool queryFrequency(std::uint64_t* countsPerSecond) override
    {
        if (failFrequency) {
            return false;
        }
        *countsPerSecond = kFrequency;
        return true;
    }

    bool queryCounter(std::uint64_t* count) override
    {
        if (failCounter) {
            return false;
        }
        *count = now.fetch_add(1) + 1;
        return true;
    }

    void sleepMilliseconds(std::uint32_t milliseconds) override
    {
        now.fetch_add(std::uint64_t{milliseconds} * 1000);
        sleptMilliseconds.fetch_add(milliseconds);
        if (drivesCardTime) {
            XAVO_SIM_AdvanceCardTime(XAVO_SIM_ANY, std::uint64_t{milliseconds} * 1'000'000);
        }
    }

    std::atomic<std::uint64_t> now{0};
    std::atomic<std::uint64_t> sleptMilliseconds{0};
    std::atomic<bool> failFrequency{false};
    std::atomic<bool> failCounter{false};
    std::atomic<bool> drivesCardTime{false};
};

} // namespace kz::test
