#include "bscan.h"

#include <algorithm>
#include <cstring>

namespace kzctl {

namespace {

constexpr std::size_t kHeaderBytes = 4;

// Walks the record: a header word, then up to one oversample's samples, as far as the bytes go.
// `visit(offset, bytes)` receives each run of sample bytes.
template <typename Visit>
void walkRecord(std::size_t recordBytes, std::uint32_t samplesPerOversample, std::uint32_t bytesPerSample,
                Visit&& visit) {
    const std::size_t oversampleBytes = std::size_t{samplesPerOversample} * bytesPerSample;
    std::size_t offset = 0;
    while (offset + kHeaderBytes <= recordBytes) {
        offset += kHeaderBytes;
        const std::size_t left = recordBytes - offset;
        const std::size_t run = std::min(oversampleBytes, left - left % bytesPerSample);
        if (run > 0) {
            visit(offset, run);
        }
        offset += run;
        if (run < oversampleBytes) {
            break;
        }
    }
}

std::uint32_t samplesPerOversample(const PositionShape& position) {
    return position.oversamples == 0 ? position.sampleValues : position.sampleValues / position.oversamples;
}

} // namespace

const char* sampleTypeName(SampleType type) {
    switch (type) {
    case SampleType::Int16: return "int16";
    case SampleType::Int8: return "int8";
    case SampleType::UInt8: return "uint8";
    case SampleType::UInt16: return "uint16";
    }
    return "int16";
}

SampleType sampleTypeOf(std::uint32_t bytesPerSample, std::uint32_t rectifierMode, bool signAndMagnitude) {
    if (bytesPerSample == 2) {
        return signAndMagnitude ? SampleType::UInt16 : SampleType::Int16;
    }
    return signAndMagnitude || rectifierMode != 0 ? SampleType::UInt8 : SampleType::Int8;
}

std::size_t BScanShape::recordBytes(std::size_t k) const {
    return std::size_t{positions[k].sampleValues} * bytesPerSample;
}

bool BScanShape::isUniform() const {
    return std::all_of(positions.begin(), positions.end(),
                       [this](const PositionShape& p) { return p.samples == positions.front().samples; });
}

std::uint32_t samplesInRecord(std::size_t recordBytes, std::uint32_t samplesPerOversample,
                              std::uint32_t bytesPerSample) {
    std::size_t bytes = 0;
    walkRecord(recordBytes, samplesPerOversample, bytesPerSample, [&bytes](std::size_t, std::size_t run) {
        bytes += run;
    });
    return static_cast<std::uint32_t>(bytes / bytesPerSample);
}

std::uint32_t takeApartRecord(const std::uint8_t* record, const BScanShape& shape, std::size_t k,
                              std::uint8_t* samples) {
    const std::size_t bytes = shape.recordBytes(k);
    std::uint32_t header = 0;
    if (bytes >= kHeaderBytes) {
        // The card's words are little-endian.
        header = std::uint32_t{record[0]} | std::uint32_t{record[1]} << 8 | std::uint32_t{record[2]} << 16 |
                 std::uint32_t{record[3]} << 24;
    }
    std::size_t written = 0;
    walkRecord(bytes, samplesPerOversample(shape.positions[k]), shape.bytesPerSample,
               [&](std::size_t offset, std::size_t run) {
                   std::memcpy(samples + written, record + offset, run);
                   written += run;
               });
    return header;
}

} // namespace kzctl
