// The card's calibration EEPROM: 128 words, a working copy that reads and writes go to and a
// persistent copy that a commit updates and a power cycle reloads from. Writes through the
// card are logged per word; commits are counted.
#pragma once

#include <array>
#include <cstdint>

#include "sim_address_map.h"

namespace xavo::sim {

class Eeprom {
public:
    static constexpr std::uint32_t kWords = kEepromWords;
    using Contents = std::array<std::uint32_t, kWords>;

    enum class Personality : std::uint32_t { Valid = 0, ResetRequest = 1, Blank = 2 };
    static constexpr std::uint32_t kPersonalityCount = 3;

    // The contents a card leaves the factory with: calibrated ranges 0-4, valid signature.
    static Contents defaultPersonality();
    static Contents personality(Personality p);

    Eeprom() : working_(defaultPersonality()), persistent_(working_) {}

    std::uint32_t read(std::uint32_t index) const { return working_.at(index); }
    // A write through the card: stored in the working copy and logged.
    void write(std::uint32_t index, std::uint32_t value);
    // A write without a trace (the backdoor).
    void store(std::uint32_t index, std::uint32_t value) { working_.at(index) = value; }
    // Sets a word of both copies, as if the card had left the factory with it.
    void setWord(std::uint32_t index, std::uint32_t value) { working_.at(index) = persistent_.at(index) = value; }
    void setContents(const Contents& contents) { working_ = persistent_ = contents; }

    // A commit command was accepted; it finishes with commit().
    void commitRequested() { saturatingIncrement(commitsRequested_); }
    // The working copy becomes the persistent copy.
    void commit();
    // The working copy is reloaded from the persistent copy.
    void powerCycle() { working_ = persistent_; }

    const Contents& working() const { return working_; }
    const Contents& persistent() const { return persistent_; }
    std::uint32_t writeCount(std::uint32_t index) const { return writeCounts_.at(index); }
    std::uint32_t lastWritten(std::uint32_t index) const { return lastWritten_.at(index); }
    std::uint32_t commitsRequested() const { return commitsRequested_; }
    std::uint32_t commitsCompleted() const { return commitsCompleted_; }
    // Forgets the write log and the commit counts; the contents stay.
    void clearLog();

private:
    static void saturatingIncrement(std::uint32_t& n) {
        if (n != 0xFFFFFFFFu) ++n;
    }

    Contents working_;
    Contents persistent_;
    std::array<std::uint32_t, kWords> writeCounts_{};
    std::array<std::uint32_t, kWords> lastWritten_{};
    std::uint32_t commitsRequested_ = 0;
    std::uint32_t commitsCompleted_ = 0;
};

}  // namespace xavo::sim
