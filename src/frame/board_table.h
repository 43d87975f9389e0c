// The library-wide card table: the array of card records, the number of cards and the other
// library-wide fields, written only while the library loads and unloads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "XAVOKZ.h"

namespace kz {

// A file path held in a fixed buffer, so that the library-wide state owns no memory.
class PathBuffer {
public:
    static constexpr std::size_t kCapacity = 4096; // terminator included

    // A path that does not fit leaves the buffer empty.
    PathBuffer& operator=(std::string_view path);
    const char* c_str() const { return text_; }
    operator std::string() const { return text_; }
    bool empty() const { return text_[0] == '\0'; }

private:
    char text_[kCapacity] = {};
};

// The library-wide state. It needs no destructor and is never destroyed, so that it outlives
// every use, the library's own unload included, whatever order the process ends in.
struct LibraryState {
    // Full path of XAVOKZ.ini, beside the library.
    PathBuffer configurationPath;
    std::uint32_t numberOfBoards = 0;
    std::uint32_t isEnumerated = 0;
};
static_assert(std::is_trivially_destructible_v<LibraryState>);

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
