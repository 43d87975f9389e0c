/*
 * XAVODataCollection: pages captured scans out of a card's sample memory for the card library.
 *
 * The card library binds the service once with a record of its settings and callbacks; the
 * binding holds for every card of the process. The service keeps its own state per card, reaches
 * the card only through the hardware-access library and the bound callbacks, starts no threads
 * and does all its work inside the calls made to it. It holds no lock of its own while it calls
 * back, so the callbacks may call the service again.
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

/* The binding record's fixed words. */
#define DC_RECORD_VERSION 1u
#define DC_STATUS_REGISTER_ADDRESS 0x500264u /* the sampling status register, as a word address */
#define DC_CARD_TYPE_TAG 0x4B5A3854u
#define DC_MODE_CODE_SNAPSHOT 6u
#define DC_MODE_CODE_COLLECT 8u
#define DC_MAXIMUM_SAMPLES_PER_ASCAN 0x10000u
#define DC_SNAPSHOT_SELECTIONS 6u
#define DC_CARDS_PER_BINDING 1u

typedef void (*DC_LockCallback)(uint32_t card);
typedef uint32_t (*DC_ReadCallback)(uint32_t card, uint32_t* value);
typedef uint32_t (*DC_CardCallback)(uint32_t card);
typedef uint32_t (*DC_IndexCallback)(uint32_t card, uint32_t index);
typedef uint32_t (*DC_HookRegistration)(uint32_t card, uint32_t (*hook)(uint32_t card));
struct XAVO_RawScan; /* the host's raw-scan record, defined by the card library */
typedef uint32_t (*DC_RawScanExport)(uint32_t card, struct XAVO_RawScan* rawScan, uint32_t withCounts);
typedef uint32_t (*DC_GateQuery)(uint32_t card, uint32_t channel, uint32_t gate);

/* Nine 32-bit words, then twenty callbacks, each a pointer wide. */
typedef struct DC_BindingRecord {
    uint32_t recordVersion;        /* DC_RECORD_VERSION */
    uint32_t statusRegister;       /* DC_STATUS_REGISTER_ADDRESS */
    uint32_t cardTypeTag;          /* DC_CARD_TYPE_TAG */
    uint32_t modeCode;             /* DC_MODE_CODE_SNAPSHOT or DC_MODE_CODE_COLLECT */
    uint32_t maximumSamples;       /* DC_MAXIMUM_SAMPLES_PER_ASCAN */
    uint32_t snapshotSelections;   /* DC_SNAPSHOT_SELECTIONS */
    uint32_t isCollectMode;        /* 0 snapshot, 1 collect */
    uint32_t cardsPerBinding;      /* DC_CARDS_PER_BINDING */
    uint32_t reserved;             /* 0 */
    DC_LockCallback lock;
    DC_LockCallback unlock;
    DC_ReadCallback getNumberOfBScansInSram;
    void* unused;                  /* null */
    DC_ReadCallback getCScanBaseAddress;
    DC_ReadCallback getAScanBaseAddress;
    DC_HookRegistration setUpdateSampleParametersHook;
    DC_CardCallback resetFirmware;
    DC_CardCallback dataFullRecovery;
    DC_ReadCallback getSampleStorageMode;
    DC_ReadCallback getScanStorageOptions;
    DC_RawScanExport copyStateToRawScan;
    DC_IndexCallback oversampleCountThisStep;
    DC_IndexCallback aScanSampleValuesThisStep;
    DC_IndexCallback gateOffsetThisStep;
    DC_CardCallback gateBytesPerBScan;
    DC_IndexCallback aScanOffsetThisStep;
    DC_CardCallback aScanBytesPerBScan;
    DC_CardCallback isSignAndMagnitude;
    DC_GateQuery snapshotSelectionForGate;
} DC_BindingRecord;

/* Binds the service: copies and checks the record. Returns 1, or 0 for a record that is null,
   holds other fixed words or lacks a callback. Each successful binding is counted. */
XAVO_DC_API uint32_t DC_SnapshotInitialise(const DC_BindingRecord* record);
XAVO_DC_API uint32_t DC_CollectInitialise(const DC_BindingRecord* record);
/* Drops one binding (never below none). */
XAVO_DC_API uint32_t DC_SnapshotUninitialise(void);
XAVO_DC_API uint32_t DC_CollectUninitialise(void);

/* Waits, advancing the card's time, until the card holds a completed bank (or, after an early
   request, at least one captured B-scan); a full memory is handed to the recovery callback once
   per wait. Returns 1 when the data is there, 0 on a time-out (5 s of card time), an unreadable
   card or without a binding. */
XAVO_DC_API uint32_t DC_WaitForBankSwap(uint32_t card);
/* Copies `bytes` from the start of A-scan `aScan` of B-scan `bScan` of the held bank into
   `buffer`, located through the layout callbacks; the A-scan's header must be valid and the copy
   must stay inside the B-scan's A-scan area. Returns 1, else 0 with nothing copied. */
XAVO_DC_API uint32_t DC_GetAScanNoBankSwap(uint32_t card, void* buffer, uint32_t bytes, uint32_t aScan,
                                           uint32_t bScan);
/* Hands the bank back to the card and clears an early request. Returns 1, or 0 when the card
   cannot be written. */
XAVO_DC_API uint32_t DC_IndicateSampleDataDownloaded(uint32_t card);
/* Stores 1 through `available` when the card holds at least one captured B-scan, else 0.
   Returns 1, or 0 when the card cannot be read. */
XAVO_DC_API uint32_t DC_GetIsSampleDataAvailable(uint32_t card, uint32_t* available);
/* The next wait ends as soon as one B-scan is captured. Returns 1. */
XAVO_DC_API uint32_t DC_SetRequestEarlySampleData(uint32_t card);

#ifdef __cplusplus
}
#endif

#endif
