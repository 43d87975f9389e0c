/*
 * XAVORawScanControl: knobs and read-back of this project's raw-scan service, for tests.
 */
#ifndef XAVO_RAW_SCAN_CONTROL_H
#define XAVO_RAW_SCAN_CONTROL_H

#include <stdint.h>

#include "XAVORawScan.h"

#ifdef __cplusplus
extern "C" {
#endif

#define RAWSCAN_SIM_HEADERS_STRICT 0u          /* the check of RawScan_CheckAScanHeader (default) */
#define RAWSCAN_SIM_HEADERS_ACCEPT_ALL 1u
#define RAWSCAN_SIM_HEADERS_REJECT_ALL 2u
#define RAWSCAN_SIM_HEADERS_REJECT_POSITION 3u /* strict, and every header of `position` refused */
/* Returns 1, or 0 for an unknown mode. */
XAVO_RAWSCAN_API uint32_t RawScan_SIM_SetHeaderCheck(uint32_t mode, uint32_t position);
/* What RawScan_Uninitialise returns (default 1); it frees the records whatever it returns. */
XAVO_RAWSCAN_API void RawScan_SIM_SetUninitialiseResult(uint32_t result);
/* While set, RawScan_ReturnRawScanInternal returns null. */
XAVO_RAWSCAN_API void RawScan_SIM_SetReturnNoRecord(uint32_t flag);
/* Internal records held, and header checks made since the last reset. */
XAVO_RAWSCAN_API uint32_t RawScan_SIM_ReturnNumberOfRecords(void);
XAVO_RAWSCAN_API uint32_t RawScan_SIM_ReturnNumberOfHeaderChecks(void);
/* Knobs and counts back to their defaults; the records are freed. */
XAVO_RAWSCAN_API void RawScan_SIM_Reset(void);

#ifdef __cplusplus
}
#endif

#endif
