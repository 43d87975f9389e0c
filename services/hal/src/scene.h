// The synthetic scene on inputs 0 and 1: what a transducer in a water tank over a steel plate
// would deliver to the card's input, in volts, for times counted from the trigger.
#pragma once

#include <cstdint>

#include "XAVOSimControl.h"

namespace xavo::sim {

XAVO_SIM_Scene defaultScene();

// Seeded Gaussian noise; the same seed gives the same sequence on every platform.
class NoiseSource {
public:
    explicit NoiseSource(std::uint32_t seed = 1) { reseed(seed); }
    void reseed(std::uint32_t seed);
    // A standard normal deviate.
    double next();

private:
    std::uint64_t nextBits();
    std::uint64_t state_ = 0;
    double spare_ = 0.0;
    bool hasSpare_ = false;
};

// What the scene depends on besides time.
struct SceneContext {
    double transmitSeconds = 0.0;  // length of the transmit pulse
    std::int32_t encoder0 = 0;     // encoder 0's count at the trigger
    std::uint32_t element = 0;     // the ping-pong element that fires
};

// The scene's voltage at `count` sample times t0 + j * dt (seconds), noise included, into `volts`.
void renderScene(const XAVO_SIM_Scene& scene, const SceneContext& context, double t0, double dt,
                 std::uint32_t count, NoiseSource& noise, double* volts);

}  // namespace xavo::sim
