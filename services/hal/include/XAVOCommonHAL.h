/*
 * XAVOCommonHAL: hardware access for the Kelzor cards.
 *
 * Every call that concerns a card carries the card-type tag first and the card index second.
 * Every result is 32-bit; non-zero means success (this project's library returns exactly 1).
 */
#ifndef XAVO_COMMON_HAL_H
#define XAVO_COMMON_HAL_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(XAVO_HAL_BUILDING)
#    define XAVO_HAL_API __declspec(dllexport)
#  else
#    define XAVO_HAL_API __declspec(dllimport)
#  endif
#else
#  define XAVO_HAL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Card-type tag of the Kelzor cards. */
#define XAVO_HAL_KELZOR_TAG 0x4B5A3854u
/* PCI identification of the Kelzor cards. */
#define XAVO_HAL_VENDOR_ID 0x10B5u
#define XAVO_HAL_DEVICE_ID_PRIMARY 0x86E1u
#define XAVO_HAL_DEVICE_ID_SECONDARY 0x5602u

/* Word address windows of a card. */
#define XAVO_HAL_SAMPLE_MEMORY_BASE 0x000000u
#define XAVO_HAL_SAMPLE_MEMORY_BYTES 0x400000u
#define XAVO_HAL_FIRMWARE_WINDOW_BASE 0x400000u
#define XAVO_HAL_REGISTER_BASE 0x500000u
#define XAVO_HAL_EEPROM_BASE 0x600000u

/* DMA directions. */
#define XAVO_HAL_DMA_HOST_TO_CARD 0u
#define XAVO_HAL_DMA_CARD_TO_HOST 1u

XAVO_HAL_API uint32_t XAVO_HAL_Initialise(void);
XAVO_HAL_API uint32_t XAVO_HAL_InitialiseCardType(uint32_t vendorId, uint32_t deviceId, uint32_t tag,
                                                  uint32_t* numberOfCards);
XAVO_HAL_API uint32_t XAVO_HAL_InitialiseCard(uint32_t tag, uint32_t card);
XAVO_HAL_API uint32_t XAVO_HAL_UninitialiseCard(uint32_t tag, uint32_t card);
XAVO_HAL_API uint32_t XAVO_HAL_SetWord(uint32_t tag, uint32_t card, uint32_t address, uint32_t value);
XAVO_HAL_API uint32_t XAVO_HAL_GetWord(uint32_t tag, uint32_t card, uint32_t address, uint32_t* value);
XAVO_HAL_API uint32_t XAVO_HAL_OpenDMAChannel(uint32_t tag, uint32_t card);
XAVO_HAL_API uint32_t XAVO_HAL_CloseDMAChannel(uint32_t tag, uint32_t card);
XAVO_HAL_API uint32_t XAVO_HAL_PerformDMATransfer(uint32_t tag, uint32_t card, void* hostBuffer,
                                                  uint32_t address, uint32_t byteCount, uint32_t direction);

#ifdef __cplusplus
}
#endif

#endif
