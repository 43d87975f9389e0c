// The card's analogue front end as the converter sees it: the input chosen by the analogue
// control word (peripheral 0x00), amplified by the selected range's gain and trimmed by the
// gain D-to-A word (destination 2), shifted by the offset D-to-A word (destination 3), plus
// Gaussian noise from a seeded generator, rounded and clipped to the 12-bit converter.
//
// The model is split so that a capture can call it once per sample cheaply: operatingPoint()
// decodes the settings once (per A-scan, or whenever they change), sample() then costs one
// multiply-add, one noise draw and a rounding.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace xavo::sim {

inline constexpr std::uint32_t kAnalogueRanges = 6;
inline constexpr std::uint32_t kAuxInputs = 2;  // analogue inputs 4 and 5
inline constexpr std::int32_t kMinimumCode = -2048;
inline constexpr std::int32_t kMaximumCode = 2047;

// What makes one card's front end differ from another's.
struct AnaloguePersonality {
    std::array<double, kAnalogueRanges> zeroWord{};   // offset word that zeroes range r
    std::array<double, kAnalogueRanges> gainError{};  // the range's gain error, as a fraction
    double offsetCountsPerWord = 0.0;                 // offset counts per offset word
    double gainTrimPerWord = 0.0;                     // relative gain change per gain word
    double noiseSigma = 0.0;                          // noise in counts, rms
    std::uint64_t seed = 0;
};

// The personality every simulated card starts with.
AnaloguePersonality defaultAnaloguePersonality();

// Test knobs that bend the model.
struct AnalogueKnobs {
    bool exactLinear = false;                 // no noise: every sample is the rounded level
    std::optional<double> offsetSlope;        // counts per offset word instead of the personality's
    std::optional<double> gainSlope;          // counts per gain word at the present signal
    std::optional<std::int32_t> stuckCode;    // every sample this code; the words have no effect
    std::array<double, kAuxInputs> auxVolts{};  // voltages on analogue inputs 4 and 5
};

// The settings one A-scan's samples share, decoded from the card's words.
struct AnalogueOperatingPoint {
    double signalCounts = 0.0;  // the card's own source after range gain and gain trim, before TCG
    double offsetCounts = 0.0;
    double noiseSigma = 0.0;
    std::optional<std::int32_t> stuckCode;
    // What turns a voltage at the input into signal counts: the card's own source (input 2's
    // calibration voltage, input 3's zero, the auxiliary voltages; 0 V on inputs 0 and 1), the
    // counts per volt of the range gain, gain error and full scale, and the gain trim.
    double sourceVolts = 0.0;
    double countsPerVolt = 0.0;  // 0 without a range: the signal does not reach the converter
    double trimWords = 0.0;      // gain word - 2048
    double trimFactor = 1.0;     // 1 - alpha x trimWords
    std::optional<double> gainSlope;
};

// A Gaussian generator that gives the same sequence for the same seed on every platform.
class GaussianNoise {
public:
    explicit GaussianNoise(std::uint64_t seed = 0) { reseed(seed); }
    void reseed(std::uint64_t seed);
    double next();  // standard normal

private:
    std::uint64_t nextBits();
    double nextUniform();  // in (0, 1]

    std::uint64_t state_ = 0;
    std::optional<double> spare_;
};

class AnalogueModel {
public:
    AnalogueModel();

    const AnaloguePersonality& personality() const { return personality_; }
    // Replaces the personality and restarts the noise from its seed.
    void setPersonality(const AnaloguePersonality& personality);
    AnalogueKnobs& knobs() { return knobs_; }
    const AnalogueKnobs& knobs() const { return knobs_; }

    // Decodes the analogue control word and the gain and offset D-to-A words.
    AnalogueOperatingPoint operatingPoint(std::uint32_t controlWord, std::uint32_t gainWord,
                                          std::uint32_t offsetWord) const;
    // The noise-free level of the samples, clipped to the converter's range; `tcgGain` scales
    // the signal (1 without time-corrected gain).
    static double level(const AnalogueOperatingPoint& point, double tcgGain = 1.0);
    // One converted sample.
    std::int32_t sample(const AnalogueOperatingPoint& point, double tcgGain = 1.0);
    // The signal counts of `volts` at the input added to the card's own source, gain trimmed.
    static double signal(const AnalogueOperatingPoint& point, double volts);
    // One converted sample of `volts` at the input (added to the card's own source): the signal
    // scaled by `tcgGain`, plus the offset and the noise, rounded and clipped.
    std::int32_t convert(const AnalogueOperatingPoint& point, double volts, double tcgGain);
    // The same without noise, unrounded.
    static double levelOf(const AnalogueOperatingPoint& point, double volts, double tcgGain);

private:
    AnaloguePersonality personality_;
    AnalogueKnobs knobs_;
    GaussianNoise noise_;
};

}  // namespace xavo::sim
