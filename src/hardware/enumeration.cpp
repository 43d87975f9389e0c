#include "hardware/enumeration.h"

#include <new>

#include "XAVOKZ.h"
#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/configuration.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "frame/hooks.h"
#include "hardware/hal.h"
#include "platform/platform.h"

namespace kz {

namespace {

// Frees the card table after closing every card that is still open.
void releaseCardTable()
{
    LibraryState& lib = library();
    if (pBoardStates != nullptr) {
        for (std::uint32_t card = 0; card < lib.numberOfBoards; ++card) {
            BoardState& board = pBoardStates[card];
            if (board.isPCIInitialised != 0) {
                if (board.isDMAChannelOpen != 0) {
                    hal::closeDmaChannel(card);
                    board.isDMAChannelOpen = 0;
                }
                hal::uninitialiseCard(card);
                board.isPCIInitialised = 0;
            }
            board.isInitialised = 0;
            releaseCardBuffers(board);
            destroyLockStorage(board);
        }
        platform::release(pBoardStates);
        pBoardStates = nullptr;
    }
    lib.numberOfBoards = 0;
}

// Asks the hardware-access library for the cards of one device; the count when found, else 0.
std::uint32_t findCards(std::uint32_t deviceId)
{
    std::uint32_t found = 0;
    if (hal::initialiseCardType(deviceId, &found) == 0) {
        return 0;
    }
    return found;
}

} // namespace

void loadLibrary()
{
    LibraryState& lib = library();
    lib.configurationPath = config::pathBesideModule(platform::ownModulePath());
    startErrorService();
    KZ_SetLogLevel(static_cast<std::uint32_t>(config::readInteger(config::Key::FileLogLevel)),
                   static_cast<std::uint32_t>(config::readInteger(config::Key::AppLogLevel)),
                   static_cast<std::uint32_t>(config::readInteger(config::Key::DebuggerLogLevel)));
    hal::initialise();
    registerCodeStringFunction();
    KZ_PCIEnumerateProtected(); // with no card the library loads all the same
}

void unloadLibrary()
{
    releaseCardTable();
    library() = LibraryState{};
}

std::uint32_t openDmaChannel(std::uint32_t cardIndex)
{
    BoardState* board = boardInRange(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    if (board->isPCIInitialised == 0) {
        report(err::OpenDmaChannelPciNotInitialised);
        return 0;
    }
    if (board->isDMAChannelOpen != 0) {
        report(err::OpenDmaChannelAlreadyOpen);
        return 0;
    }
    if (hal::openDmaChannel(cardIndex) == 0) {
        return 0;
    }
    board->isDMAChannelOpen = 1;
    return 1;
}

std::uint32_t closeDmaChannel(std::uint32_t cardIndex)
{
    BoardState* board = lookUpBoard(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    if (board->isPCIInitialised == 0) {
        report(err::CloseDmaChannelPciNotInitialised);
        return 0;
    }
    if (board->isDMAChannelOpen == 0) {
        report(err::CloseDmaChannelNotOpen);
        return 0;
    }
    if (hal::closeDmaChannel(cardIndex) == 0) {
        return 0;
    }
    board->isDMAChannelOpen = 0;
    return 1;
}

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_PCIEnumerateProtected(void)
{
    kz::LibraryState& lib = kz::library();
    if (lib.isEnumerated != 0) {
        return 1;
    }
    std::uint32_t found = kz::findCards(kz::hal::kPrimaryDeviceId);
    if (found == 0) {
        found = kz::findCards(kz::hal::kSecondaryDeviceId);
    }
    kz::releaseCardTable();
    if (found == 0) {
        return 0;
    }
    auto* boards = static_cast<BoardState*>(kz::platform::allocateZeroed(sizeof(BoardState) * std::size_t{found}));
    if (boards == nullptr) {
        return 0;
    }
    // Every record starts value-initialised (all fields zero), with a lock that does not exist
    // yet and is switched on when the card is initialised.
    for (std::uint32_t card = 0; card < found; ++card) {
        kz::constructLockStorage(boards[card]);
        boards[card].isPresent = 1;
    }
    pBoardStates = boards;
    lib.numberOfBoards = found;
    lib.isEnumerated = 1;
    return 1;
}

KZ_API uint32_t KZ_PCIInitialise(uint32_t cardIndex)
{
    BoardState* board = kz::boardInRange(cardIndex);
    if (board == nullptr || kz::hal::initialiseCard(cardIndex) == 0) {
        return 0;
    }
    board->isPCIInitialised = 1;
    return kz::openDmaChannel(cardIndex);
}

} // extern "C"
