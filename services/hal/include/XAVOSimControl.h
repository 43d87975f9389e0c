/*
 * Control interface of the simulated Kelzor card.
 *
 * Exported by this project's libXAVOCommonHAL.so beside the hardware-access calls. Tests and
 * tools use it to choose the cards, inject faults, look at the card without side effects and
 * read the log of calls the card received. Every call is thread-safe.
 *
 * Environment variables read when the simulated card set is first created (before the card
 * library enumerates):
 *   XAVO_SIM_CARDS    number of cards, default 1
 *   XAVO_SIM_DEVICE   PCI device ID of the cards: 0x86e1 (default), 0x5602, or "none"
 */
#ifndef XAVO_SIM_CONTROL_H
#define XAVO_SIM_CONTROL_H

#include <stdint.h>

#include "XAVOCommonHAL.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Wildcard for card and other match fields. */
#define XAVO_SIM_ANY 0xFFFFFFFFu

/* Hardware-access operations, as bits so that a fault rule can match several. */
#define XAVO_SIM_OP_INITIALISE 0x001u
#define XAVO_SIM_OP_INITIALISE_CARD_TYPE 0x002u
#define XAVO_SIM_OP_INITIALISE_CARD 0x004u
#define XAVO_SIM_OP_UNINITIALISE_CARD 0x008u
#define XAVO_SIM_OP_SET_WORD 0x010u
#define XAVO_SIM_OP_GET_WORD 0x020u
#define XAVO_SIM_OP_OPEN_DMA 0x040u
#define XAVO_SIM_OP_CLOSE_DMA 0x080u
#define XAVO_SIM_OP_DMA_TRANSFER 0x100u

/* Who made a call. The service stand-ins mark their own calls. */
#define XAVO_SIM_CALLER_ANY 0u
#define XAVO_SIM_CALLER_LIBRARY 1u
#define XAVO_SIM_CALLER_SERVICE 2u

/* What a matching fault rule does. */
#define XAVO_SIM_ACTION_FAIL 0u        /* return 0; nothing takes effect, nothing is stored */
#define XAVO_SIM_ACTION_FAIL_STORE 1u  /* return 0, but store forcedValue through a read's pointer */
#define XAVO_SIM_ACTION_FORCE_VALUE 2u /* a read succeeds with forcedValue and no side effect */
#define XAVO_SIM_ACTION_RESULT 3u      /* the call takes effect and returns `result` instead of 1 */
#define XAVO_SIM_ACTION_PARTIAL_DMA 4u /* a transfer moves partialBytes, then returns 0 */

typedef struct XAVO_SIM_FaultRule {
    uint32_t operations;   /* mask of XAVO_SIM_OP_* bits; 0 matches every operation */
    uint32_t card;         /* card index, or XAVO_SIM_ANY */
    uint32_t addressFirst; /* inclusive address range; for INITIALISE_CARD_TYPE the device ID */
    uint32_t addressLast;
    uint32_t valueMask;    /* a write or a transfer's length matches when (v & valueMask) == valueMatch */
    uint32_t valueMatch;
    uint32_t caller;       /* XAVO_SIM_CALLER_* */
    uint32_t skip;         /* let this many matching calls pass first */
    uint32_t count;        /* then act on this many; 0 acts on every later match */
    uint32_t action;       /* XAVO_SIM_ACTION_* */
    uint32_t result;       /* for XAVO_SIM_ACTION_RESULT */
    uint32_t forcedValue;  /* for XAVO_SIM_ACTION_FAIL_STORE and XAVO_SIM_ACTION_FORCE_VALUE */
    uint32_t partialBytes; /* for XAVO_SIM_ACTION_PARTIAL_DMA */
} XAVO_SIM_FaultRule;

typedef struct XAVO_SIM_CallRecord {
    uint32_t operation; /* one XAVO_SIM_OP_* bit */
    uint32_t card;      /* XAVO_SIM_ANY for calls without a card */
    uint32_t address;   /* word address, or the device ID for INITIALISE_CARD_TYPE */
    uint32_t value;     /* value written or read (read: the value stored, 0 when none) */
    uint32_t length;    /* DMA byte count */
    uint32_t direction; /* DMA direction */
    uint32_t result;    /* what the call returned */
    uint32_t caller;    /* XAVO_SIM_CALLER_LIBRARY or XAVO_SIM_CALLER_SERVICE */
} XAVO_SIM_CallRecord;

/* ---- card set ---- */

/* Replaces the card set by `count` cards of `deviceId` at power-up (count 0: no card).
   Returns 1, or 0 for a device ID other than the two Kelzor IDs. */
XAVO_HAL_API uint32_t XAVO_SIM_ConfigureCards(uint32_t count, uint32_t deviceId);
XAVO_HAL_API uint32_t XAVO_SIM_ReturnNumberOfCards(void);
XAVO_HAL_API uint32_t XAVO_SIM_ReturnDeviceId(void);
/* Back to the environment's card set at power-up; fault rules, knobs and the call log cleared. */
XAVO_HAL_API void XAVO_SIM_Reset(void);
/* When set, InitialiseCardType for a device without cards returns 1 with n = 0. */
XAVO_HAL_API void XAVO_SIM_SetEmptyEnumerationSucceeds(uint32_t flag);

/* ---- card state, without side effects ---- */

XAVO_HAL_API uint32_t XAVO_SIM_IsCardOpen(uint32_t card);
XAVO_HAL_API uint32_t XAVO_SIM_IsDMAChannelOpen(uint32_t card);
/* The "respond only to in-range accesses" flag set by command 0x100. */
XAVO_HAL_API uint32_t XAVO_SIM_GetInRangeOnlyFlag(uint32_t card);
/* Reads the stored value behind any HAL address (registers: the latch, not the computed
   read; write-only registers: the last value written). No side effects. */
XAVO_HAL_API uint32_t XAVO_SIM_Peek(uint32_t card, uint32_t address, uint32_t* value);
/* Stores a value behind any HAL address without side effects. */
XAVO_HAL_API uint32_t XAVO_SIM_Poke(uint32_t card, uint32_t address, uint32_t value);
XAVO_HAL_API uint32_t XAVO_SIM_ReadMemory(uint32_t card, uint32_t address, void* buffer, uint32_t bytes);
XAVO_HAL_API uint32_t XAVO_SIM_WriteMemory(uint32_t card, uint32_t address, const void* buffer,
                                           uint32_t bytes);

/* ---- firmware version words ---- */

#define XAVO_SIM_BANK_SYSTEM 0u
#define XAVO_SIM_BANK_SAMPLING 1u
#define XAVO_SIM_BANK_PERIPHERAL 2u
/* Overrides what register 0xFC of a bank reports (bits 0-15). */
XAVO_HAL_API uint32_t XAVO_SIM_SetVersionWord(uint32_t card, uint32_t bank, uint32_t word);
XAVO_HAL_API uint32_t XAVO_SIM_ClearVersionOverride(uint32_t card, uint32_t bank);

/* ---- self-test register (system 0x00) ---- */

#define XAVO_SIM_SELFTEST_COMPLEMENT 0u
#define XAVO_SIM_SELFTEST_ECHO 1u
#define XAVO_SIM_SELFTEST_STUCK 2u
XAVO_HAL_API uint32_t XAVO_SIM_SetSelfTestMode(uint32_t card, uint32_t mode, uint32_t stuckValue);

/* ---- inputs ---- */

/* General-purpose I/O ports: the level a pin shows when the card does not drive it
   (direction bit 0). System 0x04/0x08, system 0x0C/0x10, peripheral 0x44/0x48, 0x64/0x68. */
#define XAVO_SIM_IO_SYSTEM_0 0u
#define XAVO_SIM_IO_SYSTEM_1 1u
#define XAVO_SIM_IO_PERIPHERAL_0 2u
#define XAVO_SIM_IO_PERIPHERAL_1 3u
XAVO_HAL_API uint32_t XAVO_SIM_SetInputPins(uint32_t card, uint32_t port, uint32_t pins);
/* Probe-attached input, peripheral 0x14 bit 31 (default 1). */
XAVO_HAL_API uint32_t XAVO_SIM_SetProbeAttached(uint32_t card, uint32_t attached);

/* ---- fault rules ---- */

/* Returns the rule's identifier (1 or more), or 0 when the rule is malformed. */
XAVO_HAL_API uint32_t XAVO_SIM_AddFaultRule(const XAVO_SIM_FaultRule* rule);
XAVO_HAL_API uint32_t XAVO_SIM_RemoveFaultRule(uint32_t ruleId);
XAVO_HAL_API void XAVO_SIM_ClearFaultRules(void);
/* How many calls the rule acted on. */
XAVO_HAL_API uint32_t XAVO_SIM_ReturnFaultRuleHits(uint32_t ruleId);

/* ---- call log ---- */

XAVO_HAL_API uint32_t XAVO_SIM_ReturnCallLogLength(void);
XAVO_HAL_API uint32_t XAVO_SIM_GetCallLogEntry(uint32_t index, XAVO_SIM_CallRecord* record);
XAVO_HAL_API void XAVO_SIM_ClearCallLog(void);
/* Number of logged calls matching an operation mask (0: any), card and address (XAVO_SIM_ANY: any). */
XAVO_HAL_API uint32_t XAVO_SIM_CountCalls(uint32_t operations, uint32_t card, uint32_t address);

/* Marks the calling thread's following hardware-access calls as made by a service (1) or by
   the card library (0, the default). */
XAVO_HAL_API void XAVO_SIM_SetCallerIsService(uint32_t flag);

#ifdef __cplusplus
}
#endif

#endif
