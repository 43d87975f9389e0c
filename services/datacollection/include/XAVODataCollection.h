/*
 * XAVODataCollection: pages captured scans out of a card's sample memory for the card library.
 */
#ifndef XAVO_DATA_COLLECTION_H
#define XAVO_DATA_COLLECTION_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(XAVO_DC_BUILDING)
#    define XAVO_DC_API __declspec(dllexport)
#  else
#    define XAVO_DC_API __declspec(dllimport)
#  endif
#else
#  define XAVO_DC_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Stores 1 through `available` when the card holds at least one captured B-scan, else 0.
   Returns 1, or 0 when the card cannot be read. */
XAVO_DC_API uint32_t DC_GetIsSampleDataAvailable(uint32_t card, uint32_t* available);

#ifdef __cplusplus
}
#endif

#endif
