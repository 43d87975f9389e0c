/*
 * Control interface of the simulated Kelzor card.
 *
 * Exported by this project's libXAVOCommonHAL.so beside the hardware-access calls. Tests and
 * tools use it to choose the cards, inject faults, look at the card without side effects and
 * read the log of calls the card received. Every call is thread-safe.
 *
 * Card model in brief: a card powers up without sampling and peripheral firmware (both version
 * registers read 0) until a download is released (0x11 to system 0x14) or a pair is preloaded.
 * Busy, acknowledge and lock bits count reads of their register, never time. Every knob below
 * holds per card until XAVO_SIM_Reset, which returns all of them to their defaults.
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
/* A read count meaning "never": the bit keeps its waiting state. */
#define XAVO_SIM_NEVER 0xFFFFFFFFu

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
/* Back to the environment's card set at power-up; fault rules, knobs and the call log cleared,
   the full call log switched off. */
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
/* Overrides what register 0xFC of a bank reports (bits 0-15), until cleared. Only the report
   changes: the running images and their generation stay as the last release chose them. */
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

/* ---- firmware ----
   A release (0x11 to system 0x14) parses the collected download from byte 0, record after
   record; the first sampling and the first peripheral image run and their register words
   show at sampling and peripheral 0xFC (0 for a bank without an image). A corrupt download
   (wrong bit order, gap, repeated index, bits 8-31 set, wrong header, incomplete record)
   runs no image at all. The release returns the sampling and peripheral registers to
   power-up; the system bank, the synthesiser registers and the D-to-A words keep theirs.
   The sampling image fixes the generation: version field (bits 12-15 of its word) 2 or more
   is sequence-compatible (step banking, 6 gate slots per step), else the older generation
   (one copy, 8 gate slots). Version overrides change what 0xFC reports, never the generation. */

/* Runs a pair at once, as a released download of those images would (registers of both
   banks to power-up). A word of 0 leaves that bank without an image; words above 0xFFFF are
   refused. Meant for tests that open the card without the library's download. */
XAVO_HAL_API uint32_t XAVO_SIM_PreloadFirmware(uint32_t card, uint32_t samplingWord, uint32_t peripheralWord);
/* The running images' words (0 when none) and whether the generation is sequence-compatible.
   Any pointer may be null. */
XAVO_HAL_API uint32_t XAVO_SIM_GetActiveFirmware(uint32_t card, uint32_t* samplingWord, uint32_t* peripheralWord,
                                                 uint32_t* sequenceCompatible);
/* While set, every release treats the download as corrupt and runs no image (default 0). */
XAVO_HAL_API uint32_t XAVO_SIM_SetDownloadCorrupt(uint32_t card, uint32_t corrupt);

/* ---- busy and acknowledge bits ----
   Each bit shows its waiting state for the first N reads of its register after the event
   that starts it (N = 0: the first read already shows the final state; XAVO_SIM_NEVER: it
   never does). A changed N applies from the next event on. */

#define XAVO_SIM_BUSY_DDS_MAILBOX 0u  /* sampling 0x5C bit 31 after each mailbox write; default 1 */
#define XAVO_SIM_BUSY_GATE_LOAD 1u    /* peripheral 0x40 bit 31 after each write; default 1 */
#define XAVO_SIM_BUSY_SEQUENCER 2u    /* peripheral 0x60 bit 30 after the run bit goes to 0 (it is
                                         1 while run is 1); default 2 */
#define XAVO_SIM_BUSY_DAC 3u          /* sampling 0x0C bit 31 and peripheral 0x0C bit 31 after each
                                         write of peripheral 0x0C, one state: reads of either
                                         register count; default 1 */
#define XAVO_SIM_BUSY_EEPROM_COMMIT 4u /* system 0x14 bit 1 after command 0x12; the working copy
                                          becomes the persistent one when it clears; default 3 */
#define XAVO_SIM_BUSY_FOCUSING_ACK 5u /* peripheral 0x4C bit 31 reads 0 for N reads after each
                                         write, then 1 (also 1 before any write); default 1 */
XAVO_HAL_API uint32_t XAVO_SIM_SetBusyReads(uint32_t card, uint32_t busyBit, uint32_t reads);
/* When set, every later write of peripheral 0x0C leaves peripheral 0x0C bit 31 set for good
   (until the next release or power cycle), while sampling 0x0C bit 31 clears as usual. */
XAVO_HAL_API uint32_t XAVO_SIM_SetDacPeripheralBusyNeverClears(uint32_t card, uint32_t flag);

/* ---- synthesiser and sample clock ----
   64 synthesiser registers of 8 bits, written through sampling 0x5C (register = bits 8-13,
   value = bits 0-7). Tuning word in registers 4-7, most significant byte first; sample clock
   = word x 264 MHz / 2^32. Sampling 0x64 bit 8 reads 1 until the clock locks: the tuning word
   must name 40 MHz to 100 MHz (the library's rounded-down words of both ends included), in
   strict mode registers 8, 9 must hold 0 and 0x1D-0x20 0x00, 0x44, 0x01, 0x50, and sampling
   0x64 must have been read U times since that became true. */

/* The synthesiser register `reg` (0-63) and how often it was written. Either pointer may be null. */
XAVO_HAL_API uint32_t XAVO_SIM_GetDdsRegister(uint32_t card, uint32_t reg, uint32_t* value, uint32_t* writeCount);
/* U, the reads of sampling 0x64 that still show "unlocked" once the programming is valid
   (default 0); XAVO_SIM_NEVER: the clock never locks. */
XAVO_HAL_API uint32_t XAVO_SIM_SetClockLockReads(uint32_t card, uint32_t reads);
/* Strict mode: the control registers must hold the library's values as well (default 0). */
XAVO_HAL_API uint32_t XAVO_SIM_SetClockStrict(uint32_t card, uint32_t strict);

/* ---- D-to-A, A-to-D ---- */

/* The calibration D-to-A word of destination 0-3 (last written through peripheral 0x0C;
   0x800 at power-up; kept across releases). */
XAVO_HAL_API uint32_t XAVO_SIM_GetDacWord(uint32_t card, uint32_t destination, uint32_t* word);
/* The code each write of sampling 0x04 converts, -2048 to 2047 (default 0); a read of 0x04
   returns the last conversion as a 12-bit two's-complement code, bits 12-31 zero. */
XAVO_HAL_API uint32_t XAVO_SIM_SetRawConversionCode(uint32_t card, int32_t code);
/* With `enable`, every read of sampling 0x04 returns `word` whole, bits 12-31 included, to
   test the library's masking; without, reads return the conversions again. */
XAVO_HAL_API uint32_t XAVO_SIM_ForceRawConversionWord(uint32_t card, uint32_t enable, uint32_t word);

/* ---- peripheral side tables, strobes, encoders, step banking ---- */

/* Ping-pong table entry `position` (0-127): the element (bits 0-7) of the last write of
   peripheral 0x18 whose bits 8-14 named that position. */
XAVO_HAL_API uint32_t XAVO_SIM_GetPingPongElement(uint32_t card, uint32_t position, uint32_t* element);

#define XAVO_SIM_STROBE_FORCED_ASCAN 0u /* sampling 0x58 bit 31 */
#define XAVO_SIM_STROBE_BSCAN_START 1u  /* peripheral 0x1C bit 31 */
/* How many writes set the strobe bit. Strobe bits act when written and are never stored. */
XAVO_HAL_API uint32_t XAVO_SIM_GetStrobeCount(uint32_t card, uint32_t strobe, uint32_t* count);

/* B-scans captured in the current bank (0-32767): sampling 0x64 bits 16-30 report the count and
   sampling 0x4C bits 0-14 the count less one (0 when none). Every write of sampling 0x6C
   restarts capture and sets the count back to 0. */
XAVO_HAL_API uint32_t XAVO_SIM_SetCapturedBScans(uint32_t card, uint32_t count);

/* Encoder counters 0-5 (peripheral 0x20-0x34): set a count, or move it by `clicks` (wraps at 32 bits). */
XAVO_HAL_API uint32_t XAVO_SIM_SetEncoderCount(uint32_t card, uint32_t encoder, uint32_t count);
XAVO_HAL_API uint32_t XAVO_SIM_AdvanceEncoder(uint32_t card, uint32_t encoder, int32_t clicks);

/* Step banking (sequence-compatible firmware only; the older generation has one copy): sampling
   0x58 bits 0-15 and 0x60 have one copy per step, selected by sampling 0x74 bits 0-4;
   peripheral 0x10 bits 20-27, 0x38 and 0x3C one per step, selected by peripheral 0x5C.
   Peek and Poke see the selected step; this call reads any of the 32 steps' view of a banked
   register (0 for other addresses). */
XAVO_HAL_API uint32_t XAVO_SIM_PeekStep(uint32_t card, uint32_t address, uint32_t step, uint32_t* value);
/* Gate slot `gate` of step `step`, latched by writes of peripheral 0x40 from every step's
   staged 0x38 (window) and 0x3C (attributes). Sequence-compatible: steps 0-31, gates 0-5;
   older: step 0, gates 0-7. Returns 0 for a slot the running generation does not have. */
XAVO_HAL_API uint32_t XAVO_SIM_GetGateSlot(uint32_t card, uint32_t step, uint32_t gate, uint32_t* window,
                                           uint32_t* attributes);

/* ---- EEPROM ----
   128 words; card reads and writes use the working copy; command 0x12 commits it to the
   persistent copy (see XAVO_SIM_BUSY_EEPROM_COMMIT); a power cycle reloads the working copy. */

#define XAVO_SIM_EEPROM_VALID 0u         /* calibrated ranges 0-4, signature 0x1234AA55 (default) */
#define XAVO_SIM_EEPROM_RESET_REQUEST 1u /* as valid, with signature 0x123455AA */
#define XAVO_SIM_EEPROM_BLANK 2u         /* every word 0xFFFFFFFF */
/* Sets both copies to a personality. */
XAVO_HAL_API uint32_t XAVO_SIM_SetEepromPersonality(uint32_t card, uint32_t personality);
/* Sets word `index` (0-127) of both copies: any signature, mask or calibration word. */
XAVO_HAL_API uint32_t XAVO_SIM_SetEepromWord(uint32_t card, uint32_t index, uint32_t value);
#define XAVO_SIM_EEPROM_WORKING 0u
#define XAVO_SIM_EEPROM_PERSISTENT 1u
XAVO_HAL_API uint32_t XAVO_SIM_GetEepromWord(uint32_t card, uint32_t index, uint32_t copy, uint32_t* value);
/* Writes of word `index` through the hardware-access calls, and the last value written (0
   when none). Either pointer may be null. */
XAVO_HAL_API uint32_t XAVO_SIM_GetEepromWriteLog(uint32_t card, uint32_t index, uint32_t* count, uint32_t* lastValue);
/* Commit commands received, and commits finished (the working copy stored). Either pointer may be null. */
XAVO_HAL_API uint32_t XAVO_SIM_GetEepromCommitCounts(uint32_t card, uint32_t* requested, uint32_t* completed);
/* Forgets the write log and the commit counts; the contents stay. */
XAVO_HAL_API uint32_t XAVO_SIM_ClearEepromLog(uint32_t card);

/* ---- power ---- */

/* Switches the card off and on: registers, synthesiser, D-to-A words, sample memory and the
   card's counters back to power-up, firmware unloaded (version registers 0), a running
   commit lost, the EEPROM working copy reloaded from the persistent copy. Kept: the knobs,
   the EEPROM's persistent copy, write log and commit counts, and the host's open card and
   DMA channel. */
XAVO_HAL_API uint32_t XAVO_SIM_PowerCycle(uint32_t card);

/* ---- fault rules ---- */

/* Returns the rule's identifier (1 or more), or 0 when the rule is malformed. */
XAVO_HAL_API uint32_t XAVO_SIM_AddFaultRule(const XAVO_SIM_FaultRule* rule);
XAVO_HAL_API uint32_t XAVO_SIM_RemoveFaultRule(uint32_t ruleId);
XAVO_HAL_API void XAVO_SIM_ClearFaultRules(void);
/* How many calls the rule acted on. */
XAVO_HAL_API uint32_t XAVO_SIM_ReturnFaultRuleHits(uint32_t ruleId);

/* ---- call log ----
   Each card keeps the log of its own calls, so that logging never makes two cards wait for each
   other. The full log, a record of every call, is off until a test switches it on
   (XAVO_SIM_SetCallLogEnabled); while it is on, the records of all cards read as one log in the
   order the calls were made. The log keeps the most recent 1 000 000 calls; older records are
   dropped, oldest first, and entry 0 is always the oldest record kept. Counts are kept whether
   the full log is on or off. */

#define XAVO_SIM_CALL_LOG_CAPACITY 1000000u
XAVO_HAL_API uint32_t XAVO_SIM_ReturnCallLogLength(void);
XAVO_HAL_API uint32_t XAVO_SIM_GetCallLogEntry(uint32_t index, XAVO_SIM_CallRecord* record);
/* Forgets the records and the counts. */
XAVO_HAL_API void XAVO_SIM_ClearCallLog(void);
/* Number of calls matching an operation mask (0: any), card and address (XAVO_SIM_ANY: any).
   While the full log is on, the records kept are counted. While it is off, every call since the
   last clear is counted, but an address matches only reads and writes of register words, and a
   card index of 64 or more only as XAVO_SIM_ANY. */
XAVO_HAL_API uint32_t XAVO_SIM_CountCalls(uint32_t operations, uint32_t card, uint32_t address);

/* Marks the calling thread's following hardware-access calls as made by a service (1) or by
   the card library (0, the default). */
XAVO_HAL_API void XAVO_SIM_SetCallerIsService(uint32_t flag);

/* Switches the full call log on (1) or off (0, the default; also after XAVO_SIM_Reset). Records
   kept stay readable after the log is switched off, until cleared. */
XAVO_HAL_API void XAVO_SIM_SetCallLogEnabled(uint32_t flag);
XAVO_HAL_API uint32_t XAVO_SIM_IsCallLogEnabled(void);

/* ---- sample word count ---- */

/* The words per oversample + 1 that sampling 0x58 bits 0-15 hold in every step at power-up and
   after every release (default 0x0003). Sets the value in every step at once as well; the other
   bits of 0x58 keep theirs. 0 to 0xFFFF. */
XAVO_HAL_API uint32_t XAVO_SIM_SetSampleWordsAtPowerUp(uint32_t card, uint32_t wordsPlusOne);

#ifdef __cplusplus
}
#endif

#endif
