// Format of the firmware images the simulated card runs, shared by the card (which parses a
// download at release) and the image generator (which writes the image files at build time).
//
// An image is one record:
//   offset 0   4 bytes  magic "KZFW"
//   offset 4   1 byte   kind: 'S' sampling, 'P' peripheral
//   offset 5   1 byte   format, 1
//   offset 6   2 bytes  register word the bank reports at 0xFC, little-endian
//   offset 8   4 bytes  total record length in bytes, header included, little-endian
//   offset 12  payload, any bytes
// A download is any number of records back to back; the library sends the sampling file first.
//
// Header only and free of the card's other headers, so that the generator can use it alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace xavo::fwimage {

inline constexpr std::array<std::uint8_t, 4> kMagic = {'K', 'Z', 'F', 'W'};
inline constexpr std::uint8_t kKindSampling = 'S';
inline constexpr std::uint8_t kKindPeripheral = 'P';
inline constexpr std::uint8_t kFormat = 1;

inline constexpr std::size_t kKindOffset = 4;
inline constexpr std::size_t kFormatOffset = 5;
inline constexpr std::size_t kWordOffset = 6;
inline constexpr std::size_t kLengthOffset = 8;
inline constexpr std::size_t kHeaderBytes = 12;

// Images stay small: the library writes every byte with its own hardware-access call and a
// 1 µs wait.
inline constexpr std::size_t kMinImageBytes = 16;
inline constexpr std::size_t kMaxImageBytes = 64;

// Version field of a register word (bits 12-15); from 2 on the sampling firmware is the
// sequence-compatible generation.
inline constexpr std::uint32_t kVersionShift = 12;
inline constexpr std::uint32_t kFirstSequenceCompatibleVersion = 2;

constexpr std::uint32_t versionField(std::uint32_t registerWord) { return (registerWord >> kVersionShift) & 0xFu; }
constexpr bool isSequenceCompatible(std::uint32_t samplingWord) {
    return versionField(samplingWord) >= kFirstSequenceCompatibleVersion;
}

// The register word of the firmware the library's configuration names by `configVersion`
// (0x228 reports 0x2028): version in bits 12-15, revision (the low byte) in bits 0-7.
constexpr std::uint16_t registerWordFromConfigVersion(std::uint32_t configVersion) {
    return static_cast<std::uint16_t>(((configVersion >> 8) & 0xFu) << kVersionShift | (configVersion & 0xFFu));
}

struct RecordHeader {
    std::uint8_t kind = 0;
    std::uint8_t format = 0;
    std::uint16_t word = 0;
    std::uint32_t length = 0;
};

// One complete record.
inline std::vector<std::uint8_t> encodeRecord(std::uint8_t kind, std::uint16_t word,
                                              const std::vector<std::uint8_t>& payload) {
    const std::uint32_t length = static_cast<std::uint32_t>(kHeaderBytes + payload.size());
    std::vector<std::uint8_t> out(kMagic.begin(), kMagic.end());
    out.push_back(kind);
    out.push_back(kFormat);
    out.push_back(static_cast<std::uint8_t>(word));
    out.push_back(static_cast<std::uint8_t>(word >> 8));
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(length >> shift));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// The header of the record at `offset`, when the magic is there and the record's length
// covers its header and fits in the bytes that follow; nullopt otherwise.
inline std::optional<RecordHeader> readRecordHeader(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < kHeaderBytes) return std::nullopt;
    const std::uint8_t* p = bytes.data() + offset;
    for (std::size_t i = 0; i < kMagic.size(); ++i)
        if (p[i] != kMagic[i]) return std::nullopt;
    RecordHeader h;
    h.kind = p[kKindOffset];
    h.format = p[kFormatOffset];
    h.word = static_cast<std::uint16_t>(p[kWordOffset] | p[kWordOffset + 1] << 8);
    for (int i = 3; i >= 0; --i) h.length = h.length << 8 | p[kLengthOffset + static_cast<std::size_t>(i)];
    if (h.length < kHeaderBytes || h.length > bytes.size() - offset) return std::nullopt;
    return h;
}

// What a release activates.
struct ImagePair {
    std::optional<std::uint16_t> sampling;
    std::optional<std::uint16_t> peripheral;
};

// Walks the records of a download from byte 0, each at the previous offset plus its length.
// The first 'S' and the first 'P' record of format 1 are the images; records of another kind
// or format are passed over. A download whose records do not chain up to its last byte (a
// wrong magic, a length that runs past the end, trailing bytes) holds no image at all:
// nullopt. An empty download is valid and holds none.
inline std::optional<ImagePair> parseDownload(const std::vector<std::uint8_t>& bytes) {
    ImagePair pair;
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const std::optional<RecordHeader> h = readRecordHeader(bytes, offset);
        if (!h) return std::nullopt;
        if (h->format == kFormat) {
            if (h->kind == kKindSampling && !pair.sampling) pair.sampling = h->word;
            if (h->kind == kKindPeripheral && !pair.peripheral) pair.peripheral = h->word;
        }
        offset += h->length;
    }
    return pair;
}

}  // namespace xavo::fwimage
