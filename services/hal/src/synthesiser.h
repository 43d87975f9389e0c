// The card's frequency synthesiser and the lock flag of the sample clock it drives.
//
// 64 registers of 8 bits, written one at a time through the sampling bank's mailbox. The
// tuning word lies in registers 4-7, most significant byte first; the sample clock runs at
// tuning word × 264 MHz / 2^32. The clock locks when the tuning word names a frequency from
// 40 MHz to 100 MHz (in strict mode also the control registers must hold the values the card
// library programs) and the status register has then been read `lockReads` times.
#pragma once

#include <array>
#include <cstdint>

#include "read_countdown.h"

namespace xavo::sim {

class Synthesiser {
public:
    static constexpr std::uint32_t kRegisters = 64;
    static constexpr std::uint64_t kReferenceHz = 264'000'000;
    // The tuning words of 40 MHz and 100 MHz, rounded down as the card library computes them
    // (40 MHz has no exact word: its word runs 0.04 Hz slow, and still locks).
    static constexpr std::uint32_t kMinLockWord = static_cast<std::uint32_t>((40'000'000ull << 32) / kReferenceHz);
    static constexpr std::uint32_t kMaxLockWord = static_cast<std::uint32_t>((100'000'000ull << 32) / kReferenceHz);

    struct Knobs {
        std::uint32_t lockReads = 0;  // reads of the status register before the lock shows; kNeverReads: never
        bool strict = false;          // the control registers must hold the library's values
    };

    void write(std::uint32_t reg, std::uint8_t value, const Knobs& knobs);
    std::uint8_t value(std::uint32_t reg) const { return registers_.at(reg); }
    std::uint32_t writeCount(std::uint32_t reg) const { return writeCounts_.at(reg); }
    std::uint32_t tuningWord() const;

    // One read of the status register: true when the clock shows locked. Counts the read.
    bool pollLocked(const Knobs& knobs);
    // Whether the clock shows locked now, without counting a read.
    bool isLocked(const Knobs& knobs) const {
        return condition_ && knobs.lockReads != kNeverReads && readsSinceCondition_ >= knobs.lockReads;
    }
    // The sample clock the tuning word names, in hertz.
    double frequencyHz() const { return static_cast<double>(tuningWord()) * kReferenceHz / 4294967296.0; }
    // Re-evaluates the lock condition after a knob changed.
    void knobsChanged(const Knobs& knobs) { update(knobs); }

private:
    bool conditionHolds(const Knobs& knobs) const;
    void update(const Knobs& knobs);

    std::array<std::uint8_t, kRegisters> registers_{};
    std::array<std::uint32_t, kRegisters> writeCounts_{};
    bool condition_ = false;
    std::uint32_t readsSinceCondition_ = 0;  // saturates
};

}  // namespace xavo::sim
