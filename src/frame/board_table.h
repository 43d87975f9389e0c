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
    // Microseconds per high-resolution counter tick, taken at the first firmware download.
    float microsecondsPerTick = 0.0f;
};

LibraryState& library();

// The card's record when the index is below the number of cards, else nullptr (no error).
BoardState* boardInRange(std::uint32_t cardIndex);

// The card's record when the index is in range and the card is initialised; otherwise reports
// the invalid card index and returns nullptr.
BoardState* lookUpBoard(std::uint32_t cardIndex);

// Frees every buffer a card's record owns (hook arrays, ping-pong tables, TCG curve, curved
// gate) and clears their pointers and counts.
void releaseCardBuffers(BoardState& board);
// Frees a record-owned table and clears its pointer.
void releaseTable(std::uint16_t*& table);

} // namespace kz
