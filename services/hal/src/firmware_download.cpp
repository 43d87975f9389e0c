#include "firmware_download.h"

namespace xavo::sim {

std::uint8_t FirmwareDownload::reverseBits(std::uint8_t b) {
    std::uint8_t r = 0;
    for (int i = 0; i < 8; ++i) {
        r = static_cast<std::uint8_t>((r << 1) | (b & 1u));
        b = static_cast<std::uint8_t>(b >> 1);
    }
    return r;
}

void FirmwareDownload::storeLastWord(std::uint32_t index, std::uint32_t word) {
    if (!lastWords_) lastWords_ = std::make_unique<std::uint32_t[]>(kWords);
    lastWords_[index] = word;
}

void FirmwareDownload::acceptWord(std::uint32_t index, std::uint32_t word) {
    storeLastWord(index, word);
    if (index == 0) {
        bytes_.clear();
        corrupt_ = false;
        started_ = true;
    } else if (!started_ || index != bytes_.size()) {
        // A gap, a repeated index, or words before any download started.
        corrupt_ = true;
        return;
    }
    if ((word & 0xFFFFFF00u) != 0) corrupt_ = true;
    bytes_.push_back(reverseBits(static_cast<std::uint8_t>(word)));
}

}  // namespace xavo::sim
