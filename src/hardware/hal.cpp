#include "hardware/hal.h"

#include "XAVOCommonHAL.h"

namespace kz::hal {

static_assert(kCardTypeTag == XAVO_HAL_KELZOR_TAG);

std::uint32_t initialise() { return XAVO_HAL_Initialise(); }

std::uint32_t initialiseCardType(std::uint32_t deviceId, std::uint32_t* numberOfCards)
{
    return XAVO_HAL_InitialiseCardType(kVendorId, deviceId, kCardTypeTag, numberOfCards);
}

std::uint32_t initialiseCard(std::uint32_t cardIndex) { return XAVO_HAL_InitialiseCard(kCardTypeTag, cardIndex); }

std::uint32_t uninitialiseCard(std::uint32_t cardIndex)
{
    return XAVO_HAL_UninitialiseCard(kCardTypeTag, cardIndex);
}

std::uint32_t setWord(std::uint32_t cardIndex, std::uint32_t address, std::uint32_t value)
{
    return XAVO_HAL_SetWord(kCardTypeTag, cardIndex, address, value);
}

std::uint32_t getWord(std::uint32_t cardIndex, std::uint32_t address, std::uint32_t* value)
{
    return XAVO_HAL_GetWord(kCardTypeTag, cardIndex, address, value);
}

std::uint32_t openDmaChannel(std::uint32_t cardIndex) { return XAVO_HAL_OpenDMAChannel(kCardTypeTag, cardIndex); }

std::uint32_t closeDmaChannel(std::uint32_t cardIndex)
{
    return XAVO_HAL_CloseDMAChannel(kCardTypeTag, cardIndex);
}

std::uint32_t performDmaTransfer(std::uint32_t cardIndex, void* hostBuffer, std::uint32_t address,
                                 std::uint32_t byteCount, std::uint32_t direction)
{
    return XAVO_HAL_PerformDMATransfer(kCardTypeTag, cardIndex, hostBuffer, address, byteCount, direction);
}

} // namespace kz::hal
