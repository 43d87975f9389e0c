// Collects the bytes written through the firmware download window. Word i of the window carries
// byte i of the image, bit-reversed in bits 0-7; writing word 0 starts a new download. A word
// with bits 8-31 set, a skipped index or a repeated index marks the download corrupt.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sim_address_map.h"

namespace xavo::sim {

class FirmwareDownload {
public:
    static constexpr std::uint32_t kWords = kFirmwareWindowWords;

    static std::uint8_t reverseBits(std::uint8_t b);

    // A write of the window word `index` (index < kWords).
    void acceptWord(std::uint32_t index, std::uint32_t word);

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    bool isCorrupt() const { return corrupt_; }
    // True once word 0 has been written since power-up.
    bool isStarted() const { return started_; }

    // The last raw word written at `index` (0 when none); storing one has no other effect.
    std::uint32_t lastWord(std::uint32_t index) const { return lastWords_ ? lastWords_[index] : 0; }
    void storeLastWord(std::uint32_t index, std::uint32_t word);

private:
    std::vector<std::uint8_t> bytes_;
    bool corrupt_ = false;
    bool started_ = false;
    std::unique_ptr<std::uint32_t[]> lastWords_;  // allocated on the first write
};

}  // namespace xavo::sim
