/*
 * XAVORawScan: the raw-scan service. Checks the header words of captured A-scans and keeps one
 * internal record for every raw-scan record a host hands the card library, which fills both with
 * the description of how its card lays out and means its captured data.
 */
#ifndef XAVO_RAW_SCAN_H
#define XAVO_RAW_SCAN_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(XAVO_RAWSCAN_BUILDING)
#    define XAVO_RAWSCAN_API __declspec(dllexport)
#  else
#    define XAVO_RAWSCAN_API __declspec(dllimport)
#  endif
#else
#  define XAVO_RAWSCAN_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define RAWSCAN_NUMBER_OF_POSITIONS 128
#define RAWSCAN_NUMBER_OF_STEPS 32

/* The service's record of one raw-scan record: 0x628 bytes, in this layout. */
typedef struct XAVO_RawScanInternal {
    uint16_t pingPongPositionOfOrder[RAWSCAN_NUMBER_OF_POSITIONS]; /* 0x000 */
    uint32_t noiseFilterFirstWord;                                /* 0x100 */
    uint32_t noiseFilterSecondWord;                               /* 0x104 */
    uint32_t oversampleCount[RAWSCAN_NUMBER_OF_STEPS];            /* 0x108 */
    uint32_t aScanOffset[RAWSCAN_NUMBER_OF_POSITIONS];            /* 0x188 */
    uint32_t aScanBytesPerBScan;                                  /* 0x388 */
    uint32_t gateOffset[RAWSCAN_NUMBER_OF_POSITIONS];             /* 0x38C */
    uint8_t enabledGateCount[RAWSCAN_NUMBER_OF_POSITIONS];        /* 0x58C */
    uint32_t gateBytesPerBScan;                                   /* 0x60C */
    uint32_t hasExtraHeaderWord;                                  /* 0x610: 1 or 0 */
    uint32_t serviceWords[2];                                     /* 0x614: the service's own */
    uint32_t snapshotSelections;                                  /* 0x61C: 6 */
    uint32_t recordVersion;                                       /* 0x620: 1 */
    uint32_t reserved;                                            /* 0x624: 0 */
} XAVO_RawScanInternal;

/* 1 when `header` is the header word of oversample `oversample` of A-scan position `position`:
   bits 31-24 0xA5, bits 23-17 the position, bits 16-12 the oversample. */
XAVO_RAWSCAN_API uint32_t RawScan_CheckAScanHeader(uint32_t header, uint32_t position, uint32_t oversample);
/* The internal record belonging to the raw-scan record at `rawScan`: created zeroed at the first
   request, the same block at every later one, until RawScan_Uninitialise. */
XAVO_RAWSCAN_API XAVO_RawScanInternal* RawScan_ReturnRawScanInternal(const void* rawScan);
/* Frees every internal record. Returns 1. */
XAVO_RAWSCAN_API uint32_t RawScan_Uninitialise(void);

#ifdef __cplusplus
}
#endif

#endif
