// Small helpers shared by the step-selection and sensor-array tests.
#pragma once

#include "sim_access.h"

namespace kz::test {

// Makes every library read or write (`operation`) of `address` on card 0 fail.
inline void failEvery(std::uint32_t operation, std::uint32_t address) { addRule(operation, address); }

} // namespace kz::test
