#include "scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace xavo::sim {

namespace {

constexpr double kMicro = 1e-6;
constexpr double kNano = 1e-9;
// Echo envelope: a Gaussian whose standard deviation is this many carrier periods, cut off at
// kEnvelopeReach deviations.
constexpr double kEnvelopePeriods = 0.8;
constexpr double kEnvelopeReach = 6.0;

struct Echo {
    double seconds;
    double volts;
};

void addEcho(const Echo& echo, double frequency, double t0, double dt, std::uint32_t count, double* volts) {
    if (frequency <= 0.0 || dt <= 0.0 || count == 0) return;
    const double sigma = kEnvelopePeriods / frequency;
    const double first = std::ceil((echo.seconds - kEnvelopeReach * sigma - t0) / dt);
    const double last = std::floor((echo.seconds + kEnvelopeReach * sigma - t0) / dt);
    if (last < 0.0 || first >= static_cast<double>(count)) return;
    const auto jFirst = static_cast<std::uint32_t>(std::max(first, 0.0));
    const auto jLast = static_cast<std::uint32_t>(std::min(last, static_cast<double>(count - 1)));
    const double omega = 2.0 * std::numbers::pi * frequency;
    for (std::uint32_t j = jFirst; j <= jLast; ++j) {
        const double u = t0 + j * dt - echo.seconds;
        volts[j] += echo.volts * std::cos(omega * u) * std::exp(-u * u / (2.0 * sigma * sigma));
    }
}

bool elementShowsFlaw(const XAVO_SIM_Scene& scene, std::uint32_t element) {
    return element < 256 && (scene.flawElements[element / 32] >> (element % 32) & 1u) != 0;
}

}  // namespace

XAVO_SIM_Scene defaultScene() {
    XAVO_SIM_Scene s{};
    s.enabled = 1;
    s.transmitMicrovolts = 50'000;
    s.interfaceNanoseconds = 40'500;
    s.interfaceMicrovolts = 5'000;
    s.backWallNanoseconds = 6'760;
    s.backWallMicrovolts = 2'000;
    s.backWallRepeats = 3;
    s.echoFrequencyHz = 5'000'000;
    s.noiseMicrovoltsRms = 20;
    s.noiseSeed = 1;
    s.flawEnabled = 0;
    s.flawNanoseconds = 4'050;
    s.flawMicrovolts = 500;
    s.flawEncoderFirst = 0;
    s.flawEncoderLast = 0;
    return s;
}

void NoiseSource::reseed(std::uint32_t seed) {
    state_ = seed;
    hasSpare_ = false;
}

std::uint64_t NoiseSource::nextBits() {
    // splitmix64
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double NoiseSource::next() {
    if (hasSpare_) {
        hasSpare_ = false;
        return spare_;
    }
    // Box-Muller on two uniforms in (0, 1].
    constexpr double kScale = 1.0 / 9007199254740992.0;  // 2^-53
    const double u1 = (static_cast<double>(nextBits() >> 11) + 1.0) * kScale;
    const double u2 = static_cast<double>(nextBits() >> 11) * kScale;
    const double r = std::sqrt(-2.0 * std::log(u1));
    const double a = 2.0 * std::numbers::pi * u2;
    spare_ = r * std::sin(a);
    hasSpare_ = true;
    return r * std::cos(a);
}

void renderScene(const XAVO_SIM_Scene& scene, const SceneContext& context, double t0, double dt,
                 std::uint32_t count, NoiseSource& noise, double* volts) {
    const double sigma = scene.noiseMicrovoltsRms * kMicro;
    for (std::uint32_t j = 0; j < count; ++j) volts[j] = sigma > 0.0 ? sigma * noise.next() : 0.0;

    // The transmit pulse drives the input hard for as long as the pulser fires.
    const double transmit = scene.transmitMicrovolts * kMicro;
    for (std::uint32_t j = 0; j < count; ++j) {
        const double t = t0 + j * dt;
        if (t >= context.transmitSeconds) break;
        if (t >= 0.0) volts[j] -= transmit;
    }

    const double frequency = scene.echoFrequencyHz;
    const double interface = scene.interfaceNanoseconds * kNano;
    addEcho({interface, scene.interfaceMicrovolts * kMicro}, frequency, t0, dt, count, volts);
    double wall = scene.backWallMicrovolts * kMicro;
    for (std::uint32_t m = 1; m <= 1 + scene.backWallRepeats && wall > 0.0; ++m, wall /= 2.0)
        addEcho({interface + m * (scene.backWallNanoseconds * kNano), wall}, frequency, t0, dt, count, volts);

    const auto first = static_cast<std::int32_t>(scene.flawEncoderFirst);
    const auto last = static_cast<std::int32_t>(scene.flawEncoderLast);
    if (scene.flawEnabled != 0 && context.encoder0 >= first && context.encoder0 <= last &&
        elementShowsFlaw(scene, context.element))
        addEcho({interface + scene.flawNanoseconds * kNano, scene.flawMicrovolts * kMicro}, frequency, t0, dt, count,
                volts);
}

}  // namespace xavo::sim
