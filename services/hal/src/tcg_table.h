// The card's TCG table: the gain points it plays out along each A-scan. The host loads it
// through the data port (sampling 0x70), each write storing one point at the write pointer and
// advancing it; a write of the TCG control register (sampling 0x60) with the load bit set
// starts a new load at point 0. Sequence-compatible firmware holds 8192 points for each of its
// 32 steps, one after the other; the older generation one table of 32768 points.
#pragma once

#include <cstdint>
#include <vector>

namespace xavo::sim {

class TcgTable {
public:
    static constexpr std::uint32_t kPointsPerStep = 8192;
    static constexpr std::uint32_t kSequencedPoints = 32 * kPointsPerStep;
    static constexpr std::uint32_t kOlderPoints = 32768;
    // A point of 255 leaves the gain unchanged; the table holds it everywhere until loaded.
    static constexpr std::uint16_t kNeutralPoint = 255;

    explicit TcgTable(bool sequenceCompatible = false);

    // A write of the control register with the load bit set.
    void restartLoad() { pointer_ = 0; }
    // A write of the data port: bits 0-15 at the write pointer; past the end it is dropped
    // and counted.
    void writePort(std::uint32_t value);

    std::uint32_t size() const { return static_cast<std::uint32_t>(points_.size()); }
    std::uint16_t point(std::uint32_t index) const { return points_[index]; }
    // Copies points [first, first + count); false when they run past the table.
    bool copy(std::uint32_t first, std::uint32_t count, std::uint16_t* out) const;

    std::uint32_t writePointer() const { return pointer_; }
    std::uint32_t portWrites() const { return writes_; }
    std::uint32_t droppedWrites() const { return dropped_; }

private:
    std::vector<std::uint16_t> points_;
    std::uint32_t pointer_ = 0;
    std::uint32_t writes_ = 0;
    std::uint32_t dropped_ = 0;
};

}  // namespace xavo::sim
