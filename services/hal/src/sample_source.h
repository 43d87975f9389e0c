// Where the card's sample codes come from and how the card stores them.
//
// A sample starts as a 12-bit two's-complement code of the converter (-2048 to 2047): from the
// analogue input through the input chain, from the ramp, or a constant. The rectifier, the
// sign-and-magnitude switch and the storage width then shape it into the 2 or 1 bytes the card
// writes to its sample memory.
#pragma once

#include <array>
#include <cstdint>

namespace xavo::sim {

enum class DataSource : std::uint32_t { Model = 0, Ramp = 1, Constant = 2 };

inline constexpr std::int32_t kMinCode = -2048;
inline constexpr std::int32_t kMaxCode = 2047;
inline constexpr std::int32_t kCodeSpan = 4096;

// The analogue front end as peripheral 0x00 selects it.
struct AnalogueSelection {
    // 0-3 the four inputs (bits 2-5, one hot), 4 and 5 the auxiliary inputs (bits 23, 24),
    // -1 none.
    int input = -1;
    // 0-5 from the single set bit of bits 6-11; -1 for none or several.
    int range = -1;
    // Bit 14: full scale is 1 V; clear, the signal counts double.
    bool oneVoltFullScale = true;
};
AnalogueSelection decodeAnalogueControl(std::uint32_t word);

// What the input chain needs from the card's settings.
struct ChainSettings {
    std::uint32_t analogueControl = 0;                // peripheral 0x00
    std::array<std::uint32_t, 4> dacWords{};         // calibration D-to-A words 0-3
    std::uint32_t step = 0;                           // the sequence step of the A-scan
    std::uint32_t tcgControl = 0;                     // sampling 0x60 of that step
    bool sequenceCompatible = false;                  // the TCG table's shape: 32 steps or one curve
    // Gate 0 of that step, where it is enabled: TCG trigger event 1 starts the curve at its crossing.
    bool gate0Enabled = false;
    std::uint32_t gate0Window = 0;
    std::uint32_t gate0Attributes = 0;
};

// The input chain: the voltages at the selected input, sample by sample, to the converter's
// codes. The capture hands it the voltages of one oversample of an A-scan at a time; the card's
// analogue model (gain trim, offset, TCG, converter noise) stands behind it.
class InputChain {
public:
    virtual ~InputChain() = default;
    // volts[j] is sample j, the (firstIndex + j * stride)-th sample of its A-scan counted with
    // oversamples; its code goes to codes[j].
    virtual void convert(const ChainSettings& chain, const double* volts, std::uint32_t count, std::uint32_t firstIndex,
                         std::uint32_t stride, std::int32_t* codes) = 0;
};

// A chain of the range gain and the full-scale switch alone, without offset, gain trim, TCG or
// converter noise: what the capture uses when the card gives it no other.
class RangeGainChain final : public InputChain {
public:
    void convert(const ChainSettings& chain, const double* volts, std::uint32_t count, std::uint32_t firstIndex,
                 std::uint32_t stride, std::int32_t* codes) override;
};

// One sample through the range gain chain.
std::int32_t codeOfInputVoltage(const AnalogueSelection& selection, double volts);

// The ramp: exactly predictable content for tests.
constexpr std::int32_t rampCode(std::uint32_t bScan, std::uint32_t position, std::uint32_t oversample,
                                std::uint32_t sample) {
    const std::uint64_t n = 7ull * bScan + 131ull * position + 17ull * oversample + sample;
    return static_cast<std::int32_t>(n % kCodeSpan) - 2048;
}

// How the card stores a code.
struct StorageShape {
    std::uint32_t rectifier = 0;  // sampling 0x50: 0 none, 1 full wave, 2 positive half, 3 negative half
    bool eightBit = false;        // sampling 0x58 bit 20
    bool signAndMagnitude = false;  // sampling 0x58 bit 23
    std::uint32_t bytesPerSample() const { return eightBit ? 1u : 2u; }
};

std::int32_t rectify(std::int32_t code, std::uint32_t rectifier);
// The stored form of a code, in the low 8 or 16 bits.
std::uint32_t storedSample(std::int32_t code, const StorageShape& shape);
// Writes `count` stored samples, little-endian, from `codes` to `out`.
void storeSamples(const std::int32_t* codes, std::uint32_t count, const StorageShape& shape, std::uint8_t* out);

}  // namespace xavo::sim
