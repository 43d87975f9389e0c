// Library load and unload, card enumeration, opening a card and its DMA channel.
#pragma once

#include <cstdint>

namespace kz {

// What process attach does: configuration path, error service and its log levels, the
// hardware-access library, the message look-up, and the enumeration of the cards.
void loadLibrary();
// What process detach does: every card still open is closed (DMA channel first), every
// card's buffers and the card table are freed, and the library-wide state is reset.
void unloadLibrary();

// Opens the card's DMA channel; 0x400 when the card is not open, 0x401 when already open.
std::uint32_t openDmaChannel(std::uint32_t cardIndex);
// Closes the DMA channel of an initialised card; 0x500 when the card is not open, 0x501 when
// the channel is not open.
std::uint32_t closeDmaChannel(std::uint32_t cardIndex);

} // namespace kz
