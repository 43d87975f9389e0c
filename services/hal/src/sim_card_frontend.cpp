// The card's analogue front end and TCG table, as tests and the capture see them.
#include "sim_card.h"

namespace xavo::sim {

namespace {
constexpr std::uint32_t kGainDac = 2;
constexpr std::uint32_t kOffsetDac = 3;
}  // namespace

AnalogueOperatingPoint SimCard::analogueOperatingPoint() const {
    return analogue_.operatingPoint(latch(Bank::Peripheral, per::kAnalogueControl), hw_.dacWords[kGainDac],
                                    hw_.dacWords[kOffsetDac]);
}

AnaloguePersonality SimCard::analoguePersonality() const {
    std::lock_guard lock(mutex_);
    return analogue_.personality();
}

void SimCard::setAnaloguePersonality(const AnaloguePersonality& personality) {
    std::lock_guard lock(mutex_);
    analogue_.setPersonality(personality);
}

void SimCard::changeAnalogueKnobs(const std::function<void(AnalogueKnobs&)>& change) {
    std::lock_guard lock(mutex_);
    change(analogue_.knobs());
}

double SimCard::analogueLevel() const {
    std::lock_guard lock(mutex_);
    return AnalogueModel::level(analogueOperatingPoint());
}

void SimCard::drawAnalogueSamples(std::uint32_t count, std::int32_t* codes) {
    std::lock_guard lock(mutex_);
    const AnalogueOperatingPoint point = analogueOperatingPoint();
    for (std::uint32_t i = 0; i < count; ++i) codes[i] = analogue_.sample(point);
}

bool SimCard::tcgPoints(std::uint32_t first, std::uint32_t count, std::uint16_t* out) const {
    std::lock_guard lock(mutex_);
    return hw_.banks.tcg.copy(first, count, out);
}

TcgPortCounts SimCard::tcgPortCounts() const {
    std::lock_guard lock(mutex_);
    const TcgTable& t = hw_.banks.tcg;
    return {t.writePointer(), t.portWrites(), t.droppedWrites()};
}

}  // namespace xavo::sim
