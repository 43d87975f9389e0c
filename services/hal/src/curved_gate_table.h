// The card's curved-gate table: 4096 thresholds, written one after the other through the
// sampling bank's data port (0x00). Each write stores bits 0-15 at the port pointer and moves
// the pointer on, back to entry 0 after the last one.
#pragma once

#include <array>
#include <cstdint>

namespace xavo::sim {

class CurvedGateTable {
public:
    static constexpr std::uint32_t kEntries = 4096;
    static constexpr std::uint32_t kValueBits = 0xFFFF;

    void write(std::uint32_t value);
    std::uint16_t entry(std::uint32_t index) const { return entries_.at(index); }
    std::uint32_t pointer() const { return pointer_; }

private:
    std::array<std::uint16_t, kEntries> entries_{};
    std::uint32_t pointer_ = 0;
};

}  // namespace xavo::sim
