#include "time_base.h"

#include <cmath>

namespace xavo::sim {

std::uint64_t picosecondsOfClocks(double clocks, double hertz) {
    if (clocks <= 0.0 || hertz <= 0.0) return 0;
    const long long ps = std::llround(clocks * static_cast<double>(kPicosecondsPerSecond) / hertz);
    return ps < 1 ? 1 : static_cast<std::uint64_t>(ps);
}

}  // namespace xavo::sim
