#include "tcg_table.h"

#include <algorithm>

namespace xavo::sim {

namespace {
constexpr std::uint32_t kPointBits = 0xFFFF;
}

TcgTable::TcgTable(bool sequenceCompatible)
    : points_(sequenceCompatible ? kSequencedPoints : kOlderPoints, kNeutralPoint) {}

void TcgTable::writePort(std::uint32_t value) {
    ++writes_;
    if (pointer_ >= points_.size()) {
        ++dropped_;
        return;
    }
    points_[pointer_++] = static_cast<std::uint16_t>(value & kPointBits);
}

bool TcgTable::copy(std::uint32_t first, std::uint32_t count, std::uint16_t* out) const {
    if (first > points_.size() || count > points_.size() - first || (out == nullptr && count != 0)) return false;
    std::copy_n(points_.begin() + first, count, out);
    return true;
}

}  // namespace xavo::sim
