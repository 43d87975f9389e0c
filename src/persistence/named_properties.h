// Setting a card's settings by name (KZ_SetValue) through the one table of named settings.
#pragma once

#include <cstdint>
#include <string_view>

#include "persistence/state_file.h"

namespace kz {

namespace state_file {
// The row of `name`, compared ignoring letter case; nullptr when there is none.
const Property* findProperty(std::string_view name);
} // namespace state_file

// Looks the card up, holds its lock and calls the setter of `name` with `value`; a name with
// no setter is refused with 0x5100.
std::uint32_t setValue(std::uint32_t cardIndex, std::string_view name, std::uint32_t value);

} // namespace kz
