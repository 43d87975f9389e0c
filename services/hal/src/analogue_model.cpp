#include "analogue_model.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace xavo::sim {

namespace {

// The analogue control word (peripheral 0x00) as the front end decodes it.
constexpr std::uint32_t kInputShift = 2;  // bits 2-5, one per input 0 to 3
constexpr std::uint32_t kInputBits = 0xF;
constexpr std::uint32_t kRangeShift = 6;  // bits 6-11, one per range 0 to 5
constexpr std::uint32_t kRangeBits = 0x3F;
constexpr std::uint32_t kFullScaleOneVoltBit = 1u << 14;  // clear: the converter sees twice the signal
constexpr std::uint32_t kCalibrationVoltageShift = 20;    // bits 20-22
constexpr std::uint32_t kCalibrationVoltageBits = 0x7;
constexpr std::uint32_t kAux4Bit = 1u << 23;
constexpr std::uint32_t kAux5Bit = 1u << 24;

constexpr std::uint32_t kCalibrationInput = 2;  // the calibration voltage source
constexpr std::uint32_t kCalibrationVoltageCodes = 6;

// Gain of range r: 50 dB for range 0 down to 0 dB for range 5.
constexpr double kTopRangeGainDb = 50.0;
constexpr double kGainDbPerRange = 10.0;
// Counts the converter gives for 1 V at its ±1 V full scale.
constexpr double kCountsPerVolt = 2048.0;
// The calibration's targets: calibration voltage 5 - r on range r gives these counts on a card
// without gain error, which fixes the calibration voltages.
constexpr std::array<double, kAnalogueRanges> kGainTargetCounts = {-1896, -1853, -1662, -1848, -1945, -1678};
// The gain and offset D-to-A words' mid-scale: no trim, and the offset reference of a front
// end without a range.
constexpr double kMidScaleWord = 2048.0;

double rangeGain(std::uint32_t range) {
    return std::pow(10.0, (kTopRangeGainDb - kGainDbPerRange * range) / 20.0);
}

double calibrationVolts(std::uint32_t code) {
    if (code >= kCalibrationVoltageCodes) return 0.0;
    const std::uint32_t range = kAnalogueRanges - 1 - code;
    return kGainTargetCounts[range] / (rangeGain(range) * kCountsPerVolt);
}

// Position of the single set bit of `bits`, if exactly one is set.
std::optional<std::uint32_t> oneHot(std::uint32_t bits) {
    if (bits == 0 || (bits & (bits - 1)) != 0) return std::nullopt;
    return static_cast<std::uint32_t>(std::countr_zero(bits));
}

double clipToConverter(double counts) { return std::clamp(counts, double{kMinimumCode}, double{kMaximumCode}); }

}  // namespace

AnaloguePersonality defaultAnaloguePersonality() {
    AnaloguePersonality p;
    p.zeroWord = {2011, 2060, 2133, 1908, 2071, 2208};
    p.gainError = {0.012, -0.008, 0.020, -0.015, 0.005, -0.025};
    p.offsetCountsPerWord = 1.0;
    p.gainTrimPerWord = 8.8e-5;
    p.noiseSigma = 1.0;
    p.seed = 1;
    return p;
}

// ---------------------------------------------------------------- noise

void GaussianNoise::reseed(std::uint64_t seed) {
    state_ = seed;
    spare_.reset();
}

std::uint64_t GaussianNoise::nextBits() {
    // splitmix64
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double GaussianNoise::nextUniform() {
    constexpr double kScale = 1.0 / 9007199254740992.0;  // 2^-53
    return (static_cast<double>(nextBits() >> 11) + 1.0) * kScale;
}

double GaussianNoise::next() {
    if (spare_) {
        const double value = *spare_;
        spare_.reset();
        return value;
    }
    // Box-Muller: two independent normals from two uniforms.
    const double radius = std::sqrt(-2.0 * std::log(nextUniform()));
    const double angle = 2.0 * std::numbers::pi * nextUniform();
    spare_ = radius * std::sin(angle);
    return radius * std::cos(angle);
}

// ---------------------------------------------------------------- model

AnalogueModel::AnalogueModel() { setPersonality(defaultAnaloguePersonality()); }

void AnalogueModel::setPersonality(const AnaloguePersonality& personality) {
    personality_ = personality;
    noise_.reseed(personality.seed);
}

AnalogueOperatingPoint AnalogueModel::operatingPoint(std::uint32_t controlWord, std::uint32_t gainWord,
                                                     std::uint32_t offsetWord) const {
    AnalogueOperatingPoint point;
    point.stuckCode = knobs_.stuckCode;
    point.noiseSigma = knobs_.exactLinear ? 0.0 : personality_.noiseSigma;

    const std::optional<std::uint32_t> range = oneHot((controlWord >> kRangeShift) & kRangeBits);
    const double zero = range ? personality_.zeroWord[*range] : kMidScaleWord;
    const double offsetSlope = knobs_.offsetSlope.value_or(personality_.offsetCountsPerWord);
    point.offsetCounts = offsetSlope * (static_cast<double>(offsetWord) - zero);
    if (!range) return point;  // without one range the signal does not reach the converter

    // The card's own source: input 3 (the internal zero) and inputs 0 and 1 give 0 V of their own
    // (a capture adds the transducer's voltages of inputs 0 and 1 through signal()).
    double volts = 0.0;
    if (const auto input = oneHot((controlWord >> kInputShift) & kInputBits)) {
        if (*input == kCalibrationInput) {
            volts = calibrationVolts((controlWord >> kCalibrationVoltageShift) & kCalibrationVoltageBits);
        }
    } else if ((controlWord & (kAux4Bit | kAux5Bit)) == kAux4Bit) {
        volts = knobs_.auxVolts[0];
    } else if ((controlWord & (kAux4Bit | kAux5Bit)) == kAux5Bit) {
        volts = knobs_.auxVolts[1];
    }

    const double fullScale = (controlWord & kFullScaleOneVoltBit) != 0 ? 1.0 : 2.0;
    point.sourceVolts = volts;
    point.countsPerVolt = rangeGain(*range) * (1.0 + personality_.gainError[*range]) * kCountsPerVolt * fullScale;
    point.trimWords = static_cast<double>(gainWord) - kMidScaleWord;
    point.trimFactor = 1.0 - personality_.gainTrimPerWord * point.trimWords;
    point.gainSlope = knobs_.gainSlope;
    point.signalCounts = signal(point, 0.0);
    return point;
}

double AnalogueModel::signal(const AnalogueOperatingPoint& point, double volts) {
    const double untrimmed = (point.sourceVolts + volts) * point.countsPerVolt;
    if (point.gainSlope) {
        // A higher word moves a signal towards zero by the given counts per word.
        const double towardsZero = untrimmed > 0.0 ? 1.0 : untrimmed < 0.0 ? -1.0 : 0.0;
        return untrimmed - towardsZero * *point.gainSlope * point.trimWords;
    }
    return untrimmed * point.trimFactor;
}

double AnalogueModel::level(const AnalogueOperatingPoint& point, double tcgGain) {
    if (point.stuckCode) return *point.stuckCode;
    return clipToConverter(point.signalCounts * tcgGain + point.offsetCounts);
}

std::int32_t AnalogueModel::sample(const AnalogueOperatingPoint& point, double tcgGain) {
    return convert(point, 0.0, tcgGain);
}

double AnalogueModel::levelOf(const AnalogueOperatingPoint& point, double volts, double tcgGain) {
    if (point.stuckCode) return *point.stuckCode;
    return clipToConverter(signal(point, volts) * tcgGain + point.offsetCounts);
}

std::int32_t AnalogueModel::convert(const AnalogueOperatingPoint& point, double volts, double tcgGain) {
    if (point.stuckCode) return *point.stuckCode;
    double counts = signal(point, volts) * tcgGain + point.offsetCounts;
    if (point.noiseSigma > 0.0) counts += point.noiseSigma * noise_.next();
    return static_cast<std::int32_t>(std::lround(clipToConverter(counts)));
}

}  // namespace xavo::sim
