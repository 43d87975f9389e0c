// The card's gate unit: the gate slots that a write of the load register (peripheral 0x40)
// latches from the staged window (0x38) and attributes (0x3C) of every step, the load's busy
// bit, and the curved-gate table. Sequence-compatible firmware has 6 gate slots in each of 32
// steps, the older firmware 8 slots in its single set.
#pragma once

#include <array>
#include <cstdint>

#include "curved_gate_table.h"
#include "read_countdown.h"

namespace xavo::sim {

struct GateSlot {
    std::uint32_t window = 0;
    std::uint32_t attributes = 0;
};

class GateUnit {
public:
    static constexpr std::uint32_t kSteps = 32;
    static constexpr std::uint32_t kSequencedSlots = 6;
    static constexpr std::uint32_t kMaxSlots = 8;
    using StagedWords = std::array<std::uint32_t, kSteps>;

    // Latches every step's staged pair into slot `index`, for the steps and slots the running
    // generation has (an index it lacks latches nothing), and starts the busy state for
    // `busyReads` reads of the load register.
    void load(std::uint32_t index, bool sequenceCompatible, const StagedWords& windows, const StagedWords& attributes,
              std::uint32_t busyReads);
    // One read of the load register: true while the card is still loading.
    bool pollBusy() { return busy_.poll(); }
    // False for a slot the running generation does not have.
    bool slot(bool sequenceCompatible, std::uint32_t step, std::uint32_t gate, GateSlot& out) const;

    CurvedGateTable& curvedGate() { return curvedGate_; }
    const CurvedGateTable& curvedGate() const { return curvedGate_; }

private:
    static std::uint32_t steps(bool sequenceCompatible) { return sequenceCompatible ? kSteps : 1; }
    static std::uint32_t slots(bool sequenceCompatible) { return sequenceCompatible ? kSequencedSlots : kMaxSlots; }

    std::array<std::array<GateSlot, kMaxSlots>, kSteps> slots_{};
    ReadCountdown busy_;
    CurvedGateTable curvedGate_;
};

}  // namespace xavo::sim
