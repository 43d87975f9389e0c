#include "sample_source.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace xavo::sim {

namespace {

constexpr std::uint32_t kInputBitsShift = 2;  // bits 2-5: inputs 0-3, one hot
constexpr std::uint32_t kInputBits = 0xF;
constexpr std::uint32_t kAuxInput4Bit = 1u << 23;
constexpr std::uint32_t kAuxInput5Bit = 1u << 24;
constexpr std::uint32_t kRangeBitsShift = 6;  // bits 6-11: ranges 0-5, one hot
constexpr std::uint32_t kRangeBits = 0x3F;
constexpr std::uint32_t kOneVoltFullScaleBit = 1u << 14;

// Nominal gain of ranges 0-5: 50 dB down to 0 dB in steps of 10 dB.
constexpr std::array<double, 6> kRangeGain = {316.22776601683796, 100.0, 31.622776601683793,
                                              10.0, 3.1622776601683795, 1.0};
constexpr double kCountsPerVolt = 2048.0;

constexpr std::uint32_t kSixteenBitSign = 0x8000;
constexpr std::uint32_t kEightBitSign = 0x80;
constexpr std::uint32_t kEightBitMagnitude = 0x7F;
constexpr std::int32_t kEightBitRectifiedMax = 255;

int oneHotIndex(std::uint32_t bits) {
    return std::popcount(bits) == 1 ? std::countr_zero(bits) : -1;
}

}  // namespace

AnalogueSelection decodeAnalogueControl(std::uint32_t word) {
    AnalogueSelection s;
    s.input = oneHotIndex((word >> kInputBitsShift) & kInputBits);
    if (s.input < 0) {
        if (word & kAuxInput4Bit)
            s.input = 4;
        else if (word & kAuxInput5Bit)
            s.input = 5;
    }
    s.range = oneHotIndex((word >> kRangeBitsShift) & kRangeBits);
    s.oneVoltFullScale = (word & kOneVoltFullScaleBit) != 0;
    return s;
}

std::int32_t codeOfInputVoltage(const AnalogueSelection& selection, double volts) {
    if (selection.range < 0 || selection.input < 0) return 0;
    double counts = volts * kRangeGain[static_cast<std::size_t>(selection.range)] * kCountsPerVolt;
    if (!selection.oneVoltFullScale) counts *= 2.0;
    const double clamped = std::clamp(std::round(counts), static_cast<double>(kMinCode), static_cast<double>(kMaxCode));
    return static_cast<std::int32_t>(clamped);
}

void RangeGainChain::convert(const ChainSettings& chain, const double* volts, std::uint32_t count,
                             std::uint32_t /*firstIndex*/, std::uint32_t /*stride*/, std::int32_t* codes) {
    const AnalogueSelection selection = decodeAnalogueControl(chain.analogueControl);
    for (std::uint32_t j = 0; j < count; ++j) codes[j] = codeOfInputVoltage(selection, volts[j]);
}

std::int32_t rectify(std::int32_t code, std::uint32_t rectifier) {
    switch (rectifier) {
        case 1:
            return std::min(std::abs(code), kMaxCode);
        case 2:
            return std::max(code, 0);
        case 3:
            return std::min(std::max(-code, 0), kMaxCode);
        default:
            return code;
    }
}

std::uint32_t storedSample(std::int32_t code, const StorageShape& shape) {
    const bool rectified = shape.rectifier != 0;
    const std::int32_t c = rectify(std::clamp(code, kMinCode, kMaxCode), shape.rectifier);
    if (!shape.eightBit) {
        if (shape.signAndMagnitude && c < 0) return kSixteenBitSign | static_cast<std::uint32_t>(-c);
        return static_cast<std::uint16_t>(static_cast<std::int16_t>(c));
    }
    if (rectified) return static_cast<std::uint32_t>(std::min(c >> 3, kEightBitRectifiedMax));
    if (shape.signAndMagnitude && c < 0)
        return kEightBitSign | std::min(static_cast<std::uint32_t>(-c) >> 4, kEightBitMagnitude);
    return static_cast<std::uint8_t>(static_cast<std::int8_t>(c >> 4));
}

void storeSamples(const std::int32_t* codes, std::uint32_t count, const StorageShape& shape, std::uint8_t* out) {
    if (shape.eightBit) {
        for (std::uint32_t j = 0; j < count; ++j) out[j] = static_cast<std::uint8_t>(storedSample(codes[j], shape));
        return;
    }
    for (std::uint32_t j = 0; j < count; ++j) {
        const std::uint32_t v = storedSample(codes[j], shape);
        out[2 * j] = static_cast<std::uint8_t>(v);
        out[2 * j + 1] = static_cast<std::uint8_t>(v >> 8);
    }
}

}  // namespace xavo::sim
