// The shape of a B-scan as KZ_GetBScan delivers it, and the taking apart of each A-scan record
// into its first header word and its samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kzctl {

enum class SampleType { Int16, Int8, UInt8, UInt16 };

// "int16", "int8", "uint8" or "uint16".
const char* sampleTypeName(SampleType type);

// The element type of the stored samples: 16-bit storage holds the sign-extended code, 8-bit
// storage the code shifted (signed, or unsigned when rectified); sign-and-magnitude words are
// kept as they are.
SampleType sampleTypeOf(std::uint32_t bytesPerSample, std::uint32_t rectifierMode, bool signAndMagnitude);

struct PositionShape {
    std::uint32_t sampleValues = 0; // what KZ_GetBScan moves: sampleValues x bytes per sample
    std::uint32_t oversamples = 1;
    std::uint32_t samples = 0;      // samples left once the header words are taken out
};

struct BScanShape {
    std::uint32_t aScansPerBScan = 0; // as the card counts them, oversamples included
    std::uint32_t bytesPerSample = 2;
    SampleType type = SampleType::Int16;
    std::vector<PositionShape> positions;

    // Bytes KZ_GetBScan moves for position k.
    std::size_t recordBytes(std::size_t k) const;
    // True when every position holds the same number of samples.
    bool isUniform() const;
};

// The samples that remain of a record of `recordBytes` bytes when each oversample's 32-bit
// header word is taken out; each oversample holds `samplesPerOversample` samples of
// `bytesPerSample` bytes in the card's memory.
std::uint32_t samplesInRecord(std::size_t recordBytes, std::uint32_t samplesPerOversample,
                              std::uint32_t bytesPerSample);

// Copies the samples of one record into `samples` (shape.samples x bytes per sample bytes) and
// returns the record's first header word.
std::uint32_t takeApartRecord(const std::uint8_t* record, const BScanShape& shape, std::size_t k,
                              std::uint8_t* samples);

} // namespace kzctl
