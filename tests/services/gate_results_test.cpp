#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "capture.h"

namespace services_test {
namespace {

using xavo::sim::EnabledGate;

// Window word of a gate over samples [start, end]: each less the count offset (3 for gate 0,
// 4 for the others).
std::uint32_t window(std::uint32_t gate, std::uint32_t start, std::uint32_t end)
{
    const std::uint32_t k = gate == 0 ? 3 : 4;
    return (end - k) << 16 | (start - k);
}

// Attributes: threshold, trigger gate, polarity, distance metric (low field), enabled.
std::uint32_t attributes(std::uint32_t threshold, std::uint32_t polarity, std::uint32_t metric,
                         std::uint32_t trigger = 15)
{
    return threshold | trigger << 12 | polarity << 18 | metric << 21 | 1u << 23;
}

constexpr std::uint32_t kCrossed = 1u << 15;

TEST(GateResults, AmplitudeCrossingAndTimeOverTheWindow)
{
    std::vector<std::int32_t> codes(200, 0);
    codes[30] = 1000; // before the window
    codes[50] = 500;
    codes[70] = -800;
    struct Case {
        std::uint32_t threshold;
        std::uint32_t polarity;
        std::uint32_t metric;
        std::uint32_t result;
    };
    const Case cases[] = {
        {300, 0, 0, 500 | kCrossed | 50u << 16}, // positive: first crossing
        {300, 1, 0, 800 | kCrossed | 70u << 16}, // negative
        {300, 2, 0, 800 | kCrossed | 50u << 16}, // both: the first crossing of either sign
        {300, 2, 2, 800 | kCrossed | 70u << 16}, // peak metric: the time of the peak
        {900, 2, 0, 800},                        // never over the threshold
    };
    for (const Case& c : cases) {
        std::array<std::int64_t, 16> crossings;
        crossings.fill(-1);
        const EnabledGate gate{0, window(0, 40, 80), attributes(c.threshold, c.polarity, c.metric)};
        EXPECT_EQ(xavo::sim::gateResult(gate, codes.data(), 200, crossings), c.result)
            << c.threshold << " " << c.polarity << " " << c.metric;
    }
}

TEST(GateResults, TriggeredGateCountsFromItsTriggersCrossing)
{
    std::vector<std::int32_t> codes(200, 0);
    codes[50] = 500;
    codes[70] = -800;
    std::array<std::int64_t, 16> crossings;
    crossings.fill(-1);
    const EnabledGate trigger{0, window(0, 40, 80), attributes(300, 0, 0)};
    const EnabledGate triggered{1, window(1, 4, 60), attributes(300, 1, 0, 0)};
    ASSERT_NE(xavo::sim::gateResult(trigger, codes.data(), 200, crossings) & kCrossed, 0u);
    EXPECT_EQ(xavo::sim::gateResult(triggered, codes.data(), 200, crossings), 800 | kCrossed | 20u << 16);

    // Without its trigger's crossing the gate does not open.
    crossings.fill(-1);
    EXPECT_EQ(xavo::sim::gateResult(triggered, codes.data(), 200, crossings), 0u);
}

TEST(GateResults, EnabledGatesWidenTheGateArea)
{
    xavo::sim::CaptureSettings s;
    s.sequenceCompatible = true;
    s.scanControl = 2u << 30 | 1; // option 2, two A-scans
    s.stepsLessOne = 1;
    s.steps[0].sampleWordsPlusOne = 5;
    s.steps[1].sampleWordsPlusOne = 5;
    s.steps[0].gates.count = 2;
    const xavo::sim::Geometry g = xavo::sim::computeGeometry(s);
    EXPECT_EQ(g.position[1].gateOffset, 4u + 12u);
    EXPECT_EQ(g.gateAreaBytes, 4u + 12u + 4u + 20u);
}

} // namespace
} // namespace services_test
