// The library's road to the data-collection service. No other module includes the service's
// header.
#pragma once

#include <cstdint>

namespace kz::dc {

// Asks the service whether the card holds at least one captured B-scan: 1 with the flag stored
// through `flag`, 0 when the service could not tell (it reports no error of the library's).
std::uint32_t getIsSampleDataAvailable(std::uint32_t cardIndex, std::uint32_t* flag);

} // namespace kz::dc
