/*
 * XAVODataCollectionControl: knobs and read-back of this project's data-collection service,
 * for tests.
 */
#ifndef XAVO_DATA_COLLECTION_CONTROL_H
#define XAVO_DATA_COLLECTION_CONTROL_H

#include <stdint.h>

#include "XAVODataCollection.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The service's calls, for the knobs and counts below. */
#define DC_SIM_CALL_INITIALISE 0u     /* either mode */
#define DC_SIM_CALL_UNINITIALISE 1u   /* either mode */
#define DC_SIM_CALL_WAIT 2u
#define DC_SIM_CALL_COPY 3u
#define DC_SIM_CALL_DOWNLOADED 4u
#define DC_SIM_CALL_AVAILABILITY 5u
#define DC_SIM_CALL_EARLY_REQUEST 6u
#define DC_SIM_NUMBER_OF_CALLS 7u

/* Calls of `call` return 0 without effect: after `skip` of them have passed, `count` of them
   (0: every later one). Returns 1, or 0 for an unknown call. */
XAVO_DC_API uint32_t DC_SIM_FailCalls(uint32_t call, uint32_t skip, uint32_t count);
/* With `enable`, DC_GetIsSampleDataAvailable reads the card but reports `flag`. */
XAVO_DC_API void DC_SIM_ForceAvailabilityFlag(uint32_t enable, uint32_t flag);
/* How long DC_WaitForBankSwap waits in card time (default 5 s). */
XAVO_DC_API void DC_SIM_SetWaitTimeout(uint64_t nanoseconds);
/* Whether DC_GetAScanNoBankSwap checks the A-scan's header (default 1). */
XAVO_DC_API void DC_SIM_SetHeaderCheckOnCopy(uint32_t flag);
/* Calls of `call` received, failed ones included. */
XAVO_DC_API uint32_t DC_SIM_ReturnCallCount(uint32_t call);
/* Data-full recoveries the service asked for on `card`. */
XAVO_DC_API uint32_t DC_SIM_ReturnRecoveryCount(uint32_t card);
/* The last record bound, its mode (1 snapshot, 2 collect, 0 none yet) and the bindings held.
   Any pointer may be null. Returns 1. */
XAVO_DC_API uint32_t DC_SIM_GetBinding(DC_BindingRecord* record, uint32_t* mode, uint32_t* bindings);
/* Knobs, counts, per-card state and bindings back to their start. */
XAVO_DC_API void DC_SIM_Reset(void);

#define DC_SIM_MODE_NONE 0u
#define DC_SIM_MODE_SNAPSHOT 1u
#define DC_SIM_MODE_COLLECT 2u

#ifdef __cplusplus
}
#endif

#endif
