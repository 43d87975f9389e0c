// Small helpers shared by the timing, encoder, sequencer and I/O tests.
#pragma once

#include "frame/board_table.h"
#include "sim_access.h"

namespace kz::test {

inline BoardState& card0() { return *boardInRange(0); }

} // namespace kz::test
