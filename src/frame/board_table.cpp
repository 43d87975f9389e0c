#include "frame/board_table.h"

#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "frame/hooks.h"
#include "frame/relaxed_field.h"
#include "platform/platform.h"

extern "C" {
KZ_API BoardState* pBoardStates = nullptr;
}

namespace kz {

namespace {

constinit LibraryState state;

} // namespace

PathBuffer& PathBuffer::operator=(std::string_view path)
{
    const std::size_t length = path.size() < kCapacity ? path.size() : 0;
    path.copy(text_, length);
    text_[length] = '\0';
    return *this;
}

LibraryState& library() { return state; }

BoardState* boardInRange(std::uint32_t cardIndex)
{
    if (pBoardStates == nullptr || cardIndex >= library().numberOfBoards) {
        return nullptr;
    }
    return &pBoardStates[cardIndex];
}

BoardState* lookUpBoard(std::uint32_t cardIndex)
{
    BoardState* board = boardInRange(cardIndex);
    // Read without the card's lock, as every look-up is.
    if (board == nullptr || loadRelaxed(board->isInitialised) == 0) {
        report(err::ReturnBoardStatePointerInvalidCardIndex);
        return nullptr;
    }
    return board;
}

void releaseTable(std::uint16_t*& table)
{
    platform::release(table);
    table = nullptr;
}

void releaseCardBuffers(BoardState& board)
{
    freeHooks(board);
    releaseTable(board.pingPongElements);
    releaseTable(board.pingPongOrder);
    releaseTable(board.pingPongPositionOfOrder);
    releaseTable(board.curvedGateData);
    releaseTable(board.tcgValues);
    board.tcgValueCount = 0;
}

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_PCIEnumerate(uint32_t* numberOfCards)
{
    if (numberOfCards == nullptr) {
        return 0;
    }
    *numberOfCards = kz::library().numberOfBoards;
    return 1;
}

KZ_API uint32_t KZ_ReturnNumberOfKelzorBoards(void) { return kz::library().numberOfBoards; }

KZ_API BoardState* KZ_ReturnBoardStatePointer(uint32_t cardIndex) { return kz::lookUpBoard(cardIndex); }

KZ_API uint32_t KZ_GetIsInitialised(uint32_t cardIndex)
{
    const BoardState* board = kz::boardInRange(cardIndex);
    if (board == nullptr) {
        kz::report(kz::err::ReturnBoardStatePointerInvalidCardIndex);
        return 0;
    }
    return kz::loadRelaxed(board->isInitialised) != 0 ? 1 : 0;
}

} // extern "C"
