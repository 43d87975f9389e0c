#include "synthesiser.h"

namespace xavo::sim {

namespace {

constexpr std::uint32_t kTuningWordFirstRegister = 4;  // most significant byte
constexpr std::uint32_t kTuningWordBytes = 4;

// The control values the card library programs: (register, value).
struct ControlValue {
    std::uint32_t reg;
    std::uint8_t value;
};
constexpr ControlValue kControlValues[] = {
    {0x08, 0x00}, {0x09, 0x00}, {0x1D, 0x00}, {0x1E, 0x44}, {0x1F, 0x01}, {0x20, 0x50},
};

}  // namespace

void Synthesiser::write(std::uint32_t reg, std::uint8_t value, const Knobs& knobs) {
    registers_.at(reg) = value;
    std::uint32_t& count = writeCounts_.at(reg);
    if (count != 0xFFFFFFFFu) ++count;
    update(knobs);
}

std::uint32_t Synthesiser::tuningWord() const {
    std::uint32_t word = 0;
    for (std::uint32_t i = 0; i < kTuningWordBytes; ++i) word = word << 8 | registers_[kTuningWordFirstRegister + i];
    return word;
}

bool Synthesiser::conditionHolds(const Knobs& knobs) const {
    const std::uint32_t word = tuningWord();
    if (word < kMinLockWord || word > kMaxLockWord) return false;
    if (knobs.strict)
        for (const ControlValue& c : kControlValues)
            if (registers_[c.reg] != c.value) return false;
    return true;
}

void Synthesiser::update(const Knobs& knobs) {
    const bool holds = conditionHolds(knobs);
    if (holds && !condition_) readsSinceCondition_ = 0;  // the reads before the lock start now
    condition_ = holds;
}

bool Synthesiser::pollLocked(const Knobs& knobs) {
    if (!condition_ || knobs.lockReads == kNeverReads) return false;
    const bool locked = readsSinceCondition_ >= knobs.lockReads;
    if (readsSinceCondition_ != 0xFFFFFFFFu) ++readsSinceCondition_;
    return locked;
}

}  // namespace xavo::sim
