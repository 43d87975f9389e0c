// A status bit that stays in its waiting state for the first N reads of its register after
// the event that started it, then shows its final state. Counted in reads, never in time, so
// the card behaves the same under a real or a virtual clock.
#pragma once

#include <cstdint>

namespace xavo::sim {

// A read count meaning "never": the bit keeps its waiting state until the next event.
inline constexpr std::uint32_t kNeverReads = 0xFFFFFFFFu;

class ReadCountdown {
public:
    // The event: the next `reads` reads show the waiting state (kNeverReads: every read does).
    void start(std::uint32_t reads) {
        remaining_ = reads;
        active_ = reads != 0;
    }
    // Back to the final state at once.
    void stop() { active_ = false; }

    // One read of the register: true while waiting. Counts the read.
    bool poll() {
        if (!active_) return false;
        if (remaining_ != kNeverReads && --remaining_ == 0) active_ = false;
        return true;
    }
    // Whether the next read would show the waiting state; counts nothing.
    bool waiting() const { return active_; }

private:
    std::uint32_t remaining_ = 0;
    bool active_ = false;
};

}  // namespace xavo::sim
