#include "gate_slots.h"

namespace xavo::sim {

void GateUnit::load(std::uint32_t index, bool sequenceCompatible, const StagedWords& windows,
                    const StagedWords& attributes, std::uint32_t busyReads) {
    if (index < slots(sequenceCompatible)) {
        for (std::uint32_t step = 0; step < steps(sequenceCompatible); ++step)
            slots_[step][index] = {windows[step], attributes[step]};
    }
    busy_.start(busyReads);
}

bool GateUnit::slot(bool sequenceCompatible, std::uint32_t step, std::uint32_t gate, GateSlot& out) const {
    if (step >= steps(sequenceCompatible) || gate >= slots(sequenceCompatible)) return false;
    out = slots_[step][gate];
    return true;
}

}  // namespace xavo::sim
