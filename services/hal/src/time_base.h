// Card time: the simulated card's own clock. It never follows the host's clock by itself; it
// moves only when something advances it (a test, the data-collection service while it waits,
// or a host clock that is bound to the card). Kept in picoseconds so that sample-clock and
// pulse-clock periods of any programmed frequency add up without drift.
#pragma once

#include <cstdint>

namespace xavo::sim {

inline constexpr std::uint64_t kPicosecondsPerSecond = 1'000'000'000'000ull;
inline constexpr std::uint64_t kPicosecondsPerNanosecond = 1'000ull;
inline constexpr std::uint64_t kPicosecondsPerMicrosecond = 1'000'000ull;

// The pulse clock runs at a fifth of the sample clock.
inline constexpr std::uint32_t kSampleClocksPerPulseClock = 5;

class TimeBase {
public:
    std::uint64_t now() const { return nowPs_; }
    void moveTo(std::uint64_t ps) {
        if (ps > nowPs_) nowPs_ = ps;
    }
    void reset() { nowPs_ = 0; }

private:
    std::uint64_t nowPs_ = 0;
};

// Picoseconds of `clocks` periods of a clock running at `hertz` (rounded to the nearest
// picosecond; at least 1 for a non-zero count).
std::uint64_t picosecondsOfClocks(double clocks, double hertz);

// Card time in whole microseconds, as the card stamps it into its trailers (wraps at 32 bits).
inline std::uint32_t microsecondsOf(std::uint64_t ps) {
    return static_cast<std::uint32_t>(ps / kPicosecondsPerMicrosecond);
}

}  // namespace xavo::sim
