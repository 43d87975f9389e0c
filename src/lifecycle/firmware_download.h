// Download of the sampling and peripheral firmware files into the card's download window.
#pragma once

#include <cstdint>
#include <string>

namespace kz {

// The download word of a firmware byte: the byte with its bit order reversed, in bits 0-7.
constexpr std::uint32_t downloadWord(std::uint8_t byte)
{
    std::uint32_t reversed = 0;
    for (int bit = 0; bit < 8; ++bit) {
        reversed |= ((byte >> bit) & 1u) << (7 - bit);
    }
    return reversed;
}

// File names of a firmware pair in `folder` (with its trailing separator): "dsp_v%03x.bin" and
// "per_v%03x.bin".
std::string samplingFirmwareFileName(const std::string& folder, std::uint32_t version);
std::string peripheralFirmwareFileName(const std::string& folder, std::uint32_t version);

} // namespace kz
