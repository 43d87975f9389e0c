// The card's calibration EEPROM: 128 words, a working copy that reads and writes go to and a
// persistent copy that a commit updates and a power cycle reloads from.
#pragma once

#include <array>
#include <cstdint>

#include "sim_address_map.h"

namespace xavo::sim {

class Eeprom {
public:
    static constexpr std::uint32_t kWords = kEepromWords;
    using Contents = std::array<std::uint32_t, kWords>;

    // The contents a card leaves the factory with: calibrated ranges 0-4, valid signature.
    static Contents defaultPersonality();

    Eeprom() : working_(defaultPersonality()), persistent_(working_) {}

    std::uint32_t read(std::uint32_t index) const { return working_.at(index); }
    void write(std::uint32_t index, std::uint32_t value) { working_.at(index) = value; }

    const Contents& working() const { return working_; }
    const Contents& persistent() const { return persistent_; }

private:
    Contents working_;
    Contents persistent_;
};

}  // namespace xavo::sim
