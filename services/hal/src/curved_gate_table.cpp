#include "curved_gate_table.h"

namespace xavo::sim {

void CurvedGateTable::write(std::uint32_t value) {
    entries_[pointer_] = static_cast<std::uint16_t>(value & kValueBits);
    pointer_ = (pointer_ + 1) % kEntries;
}

}  // namespace xavo::sim
