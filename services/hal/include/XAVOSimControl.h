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
 *   XAVO_SIM_DATA     the cards' sample data: "model" (default), "ramp" or "constant:CODE"
 *                     (see XAVO_SIM_SetDataSource); lets a separate program, such as a command-line
 *                     tool under test, capture known data
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

/* ---- curved gate ----
   A table of XAVO_SIM_CURVED_GATE_ENTRIES thresholds written through sampling 0x00: each write
   stores bits 0-15 at the port pointer and moves the pointer on, back to 0 after the last
   entry. Table and pointer are 0 at power-up and after every release. */

#define XAVO_SIM_CURVED_GATE_ENTRIES 4096u
/* Copies the table into `entries` (XAVO_SIM_CURVED_GATE_ENTRIES values) and the port pointer
   into `pointer`. Either pointer may be null. */
XAVO_HAL_API uint32_t XAVO_SIM_GetCurvedGateTable(uint32_t card, uint16_t* entries, uint32_t* pointer);

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

/* ---- analogue front end ----
   Every converted sample is clip(round(s + o + noise), -2048, 2047), from the last word written
   to peripheral 0x00 and the D-to-A words of destinations 2 (gain, v_g) and 3 (offset, v_o):
     range r   the single set bit of bits 6-11; with none or several the signal s is 0
     input u   bits 2-5 one-hot: input 3 the internal zero (0 V), input 2 the calibration
               voltage of code c = bits 20-22 (code 5 - r gives the gain target of range r on a
               card without gain error: -1896, -1853, -1662, -1848, -1945, -1678 counts for
               ranges 0 to 5; codes 6 and 7 give 0 V), inputs 0 and 1 0 V; else exactly one
               of bits 23 (input 4) and 24 (input 5): that auxiliary input's voltage
     s         u x G_r x (1 + e_r) x (1 - alpha (v_g - 2048)) x 2048 counts per volt, doubled
               when bit 14 is clear; G_r is 50 dB for range 0 down to 0 dB for range 5
     o         K_off x (v_o - Z_r); without a range Z is 2048
     noise     Gaussian, sigma counts rms, from a generator seeded by the personality
   Default personality: Z_r 2011, 2060, 2133, 1908, 2071, 2208; e_r +1.2 %, -0.8 %, +2.0 %,
   -1.5 %, +0.5 %, -2.5 %; K_off 1.0; alpha 8.8e-5; sigma 1; seed 1. */

typedef struct XAVO_SIM_AnaloguePersonality {
    double zeroWord[6];          /* Z_r, offset word that zeroes range r */
    double gainError[6];         /* e_r, as a fraction (0.012 is +1.2 %) */
    double offsetCountsPerWord;  /* K_off */
    double gainTrimPerWord;      /* alpha */
    double noiseSigma;           /* sigma, counts rms, 0 or more */
    uint64_t seed;
} XAVO_SIM_AnaloguePersonality;

XAVO_HAL_API uint32_t XAVO_SIM_GetAnaloguePersonality(uint32_t card, XAVO_SIM_AnaloguePersonality* personality);
/* Replaces the card's personality (refused: values that are not finite, a negative sigma) and
   restarts the noise from its seed. */
XAVO_HAL_API uint32_t XAVO_SIM_SetAnaloguePersonality(uint32_t card, const XAVO_SIM_AnaloguePersonality* personality);
/* Exact linear: no noise, every sample is round(s + o) (default 0). */
XAVO_HAL_API uint32_t XAVO_SIM_SetAnalogueExactLinear(uint32_t card, uint32_t flag);

#define XAVO_SIM_SLOPE_OFFSET 0u /* o = slope x (v_o - Z_r) */
#define XAVO_SIM_SLOPE_GAIN 1u   /* a higher gain word moves s towards 0 by slope counts per word
                                    from its value at 2048 */
/* Overrides the counts per word of the offset or the gain word (`enable` 0: back to the model). */
XAVO_HAL_API uint32_t XAVO_SIM_SetAnalogueSlopeOverride(uint32_t card, uint32_t which, uint32_t enable,
                                                        double countsPerWord);
/* With `enable`, every sample is `code` (-2048 to 2047) and the D-to-A words have no effect. */
XAVO_HAL_API uint32_t XAVO_SIM_SetAnalogueStuckMean(uint32_t card, uint32_t enable, int32_t code);
/* Voltage on auxiliary input 4 or 5 (default 0 V). */
XAVO_HAL_API uint32_t XAVO_SIM_SetAuxInputVoltage(uint32_t card, uint32_t input, double volts);
/* The noise-free level s + o of the card's present settings, clipped to -2048 ... 2047; with
   exact linear (or sigma 0) every sample equals it rounded. */
XAVO_HAL_API uint32_t XAVO_SIM_GetAnalogueLevel(uint32_t card, double* level);
/* Converts `count` samples of the present settings as a capture would, noise included. */
XAVO_HAL_API uint32_t XAVO_SIM_DrawAnalogueSamples(uint32_t card, uint32_t count, int32_t* codes);

/* ---- TCG table ----
   Sequence-compatible firmware: 32 steps x 8192 points, step s at points s x 8192 on; older
   firmware: 32768 points. Every point 255 when the firmware starts. A write of sampling 0x60
   with bit 31 set puts the write pointer at point 0; each write of sampling 0x70 stores bits
   0-15 at the pointer and advances it; writes past the table's end are dropped and counted. */

#define XAVO_SIM_TCG_POINTS_PER_STEP 8192u
#define XAVO_SIM_TCG_POINTS_SEQUENCED 262144u
#define XAVO_SIM_TCG_POINTS_OLDER 32768u
/* Copies points [first, first + count); 0 when they run past the running firmware's table. */
XAVO_HAL_API uint32_t XAVO_SIM_GetTcgPoints(uint32_t card, uint32_t first, uint32_t count, uint16_t* points);
/* The write pointer, the data-port writes since the firmware started and how many of those were
   dropped. Any pointer may be null. */
XAVO_HAL_API uint32_t XAVO_SIM_GetTcgPortCounts(uint32_t card, uint32_t* writePointer, uint32_t* writes,
                                                uint32_t* dropped);

/* ---- acquisition ----
   The card captures in card time, a clock of its own that moves only when advanced: by
   XAVO_SIM_AdvanceCardTime (tests, and the data-collection service while it waits for a bank),
   never by a hardware-access call. One advance renders at most one bank: once the bank is
   complete it is held and later triggers are only counted, until the host releases it.

   Triggers: the internal timer (peripheral 0x04 bit 16 set) fires every (peripheral 0x10 bits
   0-16 + 1) pulse-clock periods, a pulse clock being five sample clocks; a timer trigger that
   comes while the previous A-scan is still sampling is skipped. Without the internal timer the
   card waits for external pulses. A write of sampling 0x58 with bit 31 set fires one A-scan at
   once. Nothing is captured while the sample clock is unlocked (see
   XAVO_SIM_SetCaptureWithoutLock).

   A B-scan is every A-scan position with its oversamples, in order, one trigger each. It starts
   with the next trigger (peripheral 0x1C bits 29 and 30 clear), at the next B-scan timer tick
   (bit 29; bits 0-25 the period in pulse clocks) or once the encoder of bits 16-18 has moved by
   bits 0-15 + 1 + bits 20-27 / 256 clicks (bit 30); a write of 0x1C with bit 31 set makes the
   next trigger start a new B-scan. A bank is (sampling 0x6C bits 8-22 + 1) B-scans for scan
   storage options 0 and 2, one for options 1 and 3. Sampling 0x64: bits 16-30 the B-scans
   captured in the bank, bit 9 set while the complete bank is held (also system 0x14 bit 4),
   bit 31 set while the memory is full. System 0x14 command 0x400 releases the bank (next
   capture at B-scan 0); every write of sampling 0x6C restarts capture and clears a full memory.

   Memory, little-endian words: B-scan b's A-scan area at b x A: a header word
   (0x5A << 24 | (positions - 1) << 17 | b), then every position's record (for each oversample a
   header word 0xA5 << 24 | position << 17 | oversample << 12 | b, then its samples; the older
   generation adds a word holding encoder 0's count), then a trailer of encoder 0, encoder 1, the
   selected encoder's count, card time in microseconds and the capture sequence number (the
   older generation one word more, 0). With options 1 and 2 B-scan b's gate area lies at
   (sampling 0x68) + b x G: a header word 0xC3 << 24 | b, per position and oversample a status
   word 0xC5 << 24 | position << 17 | oversample << 12 | crossed gates (bits 0-7) followed by one
   result word per enabled gate, and the same trailer. Nothing is written outside the 4 MiB. */

#define XAVO_SIM_DATA_MODEL 0u    /* the analogue input: the synthetic scene on inputs 0 and 1 (default) */
#define XAVO_SIM_DATA_RAMP 1u     /* sample j of oversample o of position k in B-scan b is the code
                                     ((7b + 131k + 17o + j) mod 4096) - 2048 */
#define XAVO_SIM_DATA_CONSTANT 2u /* every sample is the given code */
/* The codes the card's converter produces (-2048 to 2047 for the constant). The rectifier
   (sampling 0x50), sign-and-magnitude and the storage width (sampling 0x58 bits 20, 23) shape
   every source alike: 16-bit storage holds the code (0 to 2047 when rectified), 8-bit storage
   the code >> 4, or min(code >> 3, 255) when rectified. The older firmware's test pattern
   (sampling 0x58 bit 22) gives the ramp. */
XAVO_HAL_API uint32_t XAVO_SIM_SetDataSource(uint32_t card, uint32_t source, int32_t constantCode);

/* Advances card time by `nanoseconds`; card XAVO_SIM_ANY advances every card. */
XAVO_HAL_API uint32_t XAVO_SIM_AdvanceCardTime(uint32_t card, uint64_t nanoseconds);
/* `count` external trigger pulses at the present card time (they fire only while the internal
   timer is off, as on the card). */
XAVO_HAL_API uint32_t XAVO_SIM_ExternalPulses(uint32_t card, uint32_t count);
/* Fills the card's memory: sampling 0x64 bit 31 sets and nothing is captured, even after a
   release, until sampling 0x6C is written. */
XAVO_HAL_API uint32_t XAVO_SIM_ForceDataFull(uint32_t card);
/* With a non-zero count the memory also fills by itself once that many triggers were dropped
   while a bank was held (default 0: never). */
XAVO_HAL_API uint32_t XAVO_SIM_SetDataFullAfterDroppedTriggers(uint32_t card, uint32_t afterDroppedTriggers);
/* While set, the internal timer and external pulses fire nothing; forced A-scans still do. */
XAVO_HAL_API uint32_t XAVO_SIM_SetTriggersPaused(uint32_t card, uint32_t paused);
/* While set, the card captures with an unlocked sample clock, at 66 MHz when its synthesiser
   names no frequency (default 0). */
XAVO_HAL_API uint32_t XAVO_SIM_SetCaptureWithoutLock(uint32_t card, uint32_t flag);

typedef struct XAVO_SIM_CaptureStatus {
    uint64_t cardTimeNanoseconds;
    uint32_t capturedBScans;     /* B-scans captured in the current bank */
    uint32_t bankHeld;           /* 1 while the complete bank is held */
    uint32_t dataFull;
    uint32_t aScansCaptured;     /* since power-up */
    uint32_t bScansCaptured;     /* since power-up: the capture sequence number of the next B-scan */
    uint32_t droppedTriggers;    /* triggers that came while a bank was held or the memory full */
    uint32_t releases;           /* bank releases received */
    /* The geometry the card computed from its registers at its last capture. */
    uint32_t positions;
    uint32_t bScansPerBank;
    uint32_t aScanAreaBytes;     /* A */
    uint32_t gateAreaBytes;      /* G, 0 when the scan storage option keeps no gate results */
    uint32_t geometryMismatch;   /* the oversamples of the steps do not add up to sampling 0x6C bits 0-6 + 1 */
    uint32_t clipped;            /* an area would have run past the memory or into the A-scan areas */
} XAVO_SIM_CaptureStatus;
XAVO_HAL_API uint32_t XAVO_SIM_GetCaptureStatus(uint32_t card, XAVO_SIM_CaptureStatus* status);

/* The synthetic scene seen by inputs 0 and 1: a transmit pulse at the trigger lasting the
   transducer pulse width (peripheral 0x08, pulse clocks), an interface echo, a back-wall echo
   with repeats each half the one before, an optional flaw echo behind the interface for A-scans
   whose ping-pong element is in the flaw's set while encoder 0 is in the flaw's window, and
   input noise. Echoes are Gaussian-windowed cosines peaking at their times. Times count from the
   trigger; voltages are at the input, before the range gain. */
typedef struct XAVO_SIM_Scene {
    uint32_t enabled;
    uint32_t transmitMicrovolts;       /* 50 000, negative-going */
    uint32_t interfaceNanoseconds;     /* 40 500 (30 mm of water) */
    uint32_t interfaceMicrovolts;      /* 5 000 */
    uint32_t backWallNanoseconds;      /* 6 760 after the interface echo (20 mm of steel) */
    uint32_t backWallMicrovolts;       /* 2 000 */
    uint32_t backWallRepeats;          /* 3 more back-wall echoes, each as far again */
    uint32_t echoFrequencyHz;          /* 5 000 000 */
    uint32_t noiseMicrovoltsRms;       /* 20 */
    uint32_t noiseSeed;                /* 1 */
    uint32_t flawEnabled;              /* 0 */
    uint32_t flawNanoseconds;          /* 4 050 after the interface echo */
    uint32_t flawMicrovolts;           /* 500 */
    uint32_t flawEncoderFirst;         /* encoder 0 window, inclusive, counts as signed 32-bit */
    uint32_t flawEncoderLast;
    uint32_t flawElements[8];          /* bit e % 32 of word e / 32: element e shows the flaw */
} XAVO_SIM_Scene;
/* The scene every card starts with (enabled, with the values above). */
XAVO_HAL_API void XAVO_SIM_GetDefaultScene(XAVO_SIM_Scene* scene);
XAVO_HAL_API uint32_t XAVO_SIM_SetScene(uint32_t card, const XAVO_SIM_Scene* scene);

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
