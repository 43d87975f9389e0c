// The library-wide card table: the array of card records, the number of cards and the other
// library-wide fields, written only while the library loads and unloads.
#pragma once

#include <cstdint>
#include <string>

#include "XAVOKZ.h"

namespace kz {

struct LibraryState {
    // Full path of XAVOKZ.ini, beside the library.
    std::string configurationPath;
    std::uint32_t numberOfBoards = 0;
    std::uint32_t isEnumerated = 0;
};

LibraryState& library();

// The card's record when the index is below the number of cards, else nullptr (no error).
BoardState* boardInRange(std::uint32_t cardIndex);

// The card's record when the index is in range and the card is initialised; otherwise reports
// the invalid card index and returns nullptr.
BoardState* lookUpBoard(std::uint32_t cardIndex);

} // namespace kz
