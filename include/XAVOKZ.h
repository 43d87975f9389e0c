/*
 * XAVOKZ: control and acquisition library of the Kelzor PCI data-acquisition cards.
 *
 * Plain C interface. Every function returns an unsigned 32-bit value: 1 for success and 0 for
 * failure, unless it returns a count, a message, a pointer or nothing. Values travel out through
 * pointer arguments, which are not written on failure. A failure is reported once to the error
 * service; read it back with KZ_GetLastError and the error log functions.
 */
#ifndef XAVOKZ_H
#define XAVOKZ_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(XAVOKZ_BUILDING)
#    define KZ_API __declspec(dllexport)
#  else
#    define KZ_API __declspec(dllimport)
#  endif
#else
#  define KZ_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------------------------ */
/* Shared types and limits                                                                    */
/* ------------------------------------------------------------------------------------------ */

typedef uint32_t ErrorCode;

typedef enum XAVO_Boolean { XAVO_BFalse = 0, XAVO_BTrue = 1 } XAVO_Boolean;

#define KZ_MAXIMUM_NUMBER_OF_HOOKS 5
#define KZ_NUMBER_OF_ANALOGUE_RANGES 6
#define KZ_DIAGNOSTICS_FILENAME_LENGTH 512
#define KZ_NUMBER_OF_TEST_NAMES 5
#define KZ_TEST_NAME_LENGTH 50

/* Register banks: raw offsets of the first register of each bank. */
#define KZ_SYSTEM_REGISTER_BASE 0
#define KZ_SAMPLING_REGISTER_BASE 512
#define KZ_PERIPHERAL_REGISTER_BASE 1024
/* Highest raw register offset the register layer accepts. */
#define KZ_MAXIMUM_RAW_REGISTER_OFFSET 2303

/* Host callbacks. Their results are ignored. */
typedef uint32_t (*KZ_UpdateSampleParametersHook)(uint32_t cardIndex);
typedef uint32_t (*KZ_GetEncoderOutputHook)(uint32_t cardIndex, uint32_t encoderIndex, uint32_t* value);
typedef uint32_t (*KZ_ResetEncoderOutputHook)(uint32_t cardIndex, uint32_t encoderIndex);
typedef void (*KZ_LoggingCallback)(uint32_t level, const char* text);

/* Storage of a card's recursive lock; its contents belong to the library. */
typedef struct KZ_CriticalSection {
    uint64_t opaque[8];
} KZ_CriticalSection;

/* ------------------------------------------------------------------------------------------ */
/* The per-card state record                                                                  */
/* ------------------------------------------------------------------------------------------ */

typedef struct BoardState {
    uint32_t isPresent;
    uint32_t isDiagnosticMode;
    char diagnosticsFileName[KZ_DIAGNOSTICS_FILENAME_LENGTH];
    char testNames[KZ_NUMBER_OF_TEST_NAMES][KZ_TEST_NAME_LENGTH];
    KZ_CriticalSection lock;
    uint32_t lockDepth;
    uint32_t isPCIInitialised;
    uint32_t isDMAChannelOpen;
    uint32_t isInitialised;

    /* Analogue calibration, per input range. */
    uint32_t isRangeCalibrated[KZ_NUMBER_OF_ANALOGUE_RANGES];
    int16_t calibrationOffsetWord[KZ_NUMBER_OF_ANALOGUE_RANGES];
    int16_t calibrationGainWord[KZ_NUMBER_OF_ANALOGUE_RANGES];
    uint32_t calibratedRangeMask;
    uint32_t serialNumber;

    uint32_t isSequenceCompatibleFirmware;

    /* Host hook lists, each with room for KZ_MAXIMUM_NUMBER_OF_HOOKS entries. */
    uint32_t updateSampleParametersHookCount;
    KZ_UpdateSampleParametersHook* updateSampleParametersHooks;
    uint32_t getEncoderOutputHookCount;
    KZ_GetEncoderOutputHook* getEncoderOutputHooks;
    uint32_t resetEncoderOutputHookCount;
    KZ_ResetEncoderOutputHook* resetEncoderOutputHooks;
} BoardState;

/* One record per enumerated card, indexed by card index; null until cards were found. */
extern KZ_API BoardState* pBoardStates;

/* ------------------------------------------------------------------------------------------ */
/* Card table, look-up, lock and hooks                                                        */
/* ------------------------------------------------------------------------------------------ */

KZ_API uint32_t KZ_PCIEnumerate(uint32_t* numberOfCards);
KZ_API uint32_t KZ_ReturnNumberOfKelzorBoards(void);
KZ_API BoardState* KZ_ReturnBoardStatePointer(uint32_t cardIndex);
KZ_API uint32_t KZ_GetIsInitialised(uint32_t cardIndex);
KZ_API void KZ_Lock(uint32_t cardIndex);
KZ_API void KZ_Unlock(uint32_t cardIndex);
KZ_API uint32_t KZ_SetUpdateSampleParametersHook(uint32_t cardIndex, KZ_UpdateSampleParametersHook hook);
KZ_API uint32_t KZ_SetGetEncoderOutputHook(uint32_t cardIndex, KZ_GetEncoderOutputHook hook);
KZ_API uint32_t KZ_SetResetEncoderOutputHook(uint32_t cardIndex, KZ_ResetEncoderOutputHook hook);

/* ------------------------------------------------------------------------------------------ */
/* Errors and logging                                                                         */
/* ------------------------------------------------------------------------------------------ */

KZ_API const char* KZ_GetCodeString(ErrorCode code);
KZ_API uint32_t KZ_GetLastError(void);
KZ_API uint32_t KZ_ReturnNumberOfErrorLogLines(void);
/* Copies error log line `index` (0 = oldest) into `buffer` of `capacity` bytes. */
KZ_API uint32_t KZ_GetErrorLogLine(uint32_t index, char* buffer, uint32_t capacity);
KZ_API uint32_t KZ_ClearErrorLog(void);
KZ_API uint32_t KZ_SetLogLevel(uint32_t fileLevel, uint32_t appLevel, uint32_t debuggerLevel);
KZ_API uint32_t KZ_GetLogLevel(uint32_t* fileLevel, uint32_t* appLevel, uint32_t* debuggerLevel);
KZ_API void KZ_SetLoggingCallback(KZ_LoggingCallback callback);

/* ------------------------------------------------------------------------------------------ */
/* Configuration file (XAVOKZ.ini beside the library, section "KZ")                           */
/* ------------------------------------------------------------------------------------------ */

KZ_API uint32_t KZ_GetZUTAMFirmwareRevisions(uint32_t* dspVersion, uint32_t* perVersion);
KZ_API uint32_t KZ_GetKV7CFirmwareRevisions(uint32_t* dspVersion, uint32_t* perVersion);
KZ_API uint32_t KZ_GetTolvennaSerialMuxValue(void);
KZ_API uint32_t KZ_GetTolvennaSerialMuxGain(uint32_t index);
KZ_API uint32_t KZ_GetTolvennaSerialMuxFilter(uint32_t index);
KZ_API uint32_t KZ_GetTolvennaSerialMuxVoltageClamp(void);

/* ------------------------------------------------------------------------------------------ */
/* Register access                                                                            */
/* ------------------------------------------------------------------------------------------ */

KZ_API uint32_t KZ_SetRegister(uint32_t cardIndex, uint32_t rawOffset, uint32_t value);
KZ_API uint32_t KZ_GetRegister(uint32_t cardIndex, uint32_t rawOffset, uint32_t* value);
KZ_API uint32_t KZ_SetSamplingRegister(uint32_t cardIndex, uint32_t offset, uint32_t value);
KZ_API uint32_t KZ_GetSamplingRegister(uint32_t cardIndex, uint32_t offset, uint32_t* value);
KZ_API uint32_t KZ_SetSamplingRegisterBits(uint32_t cardIndex, uint32_t offset, uint32_t mask);
KZ_API uint32_t KZ_ClearSamplingRegisterBits(uint32_t cardIndex, uint32_t offset, uint32_t mask);
KZ_API uint32_t KZ_GetOutOfRangeAccessCount(uint32_t cardIndex, uint32_t* count);
KZ_API uint32_t KZ_ClearOutOfRangeAccessCount(uint32_t cardIndex);
KZ_API uint32_t KZ_SetOnlyRespondToInRangeAccess(uint32_t cardIndex);
KZ_API uint32_t KZ_GetSystemFirmwareVersion(uint32_t cardIndex, uint32_t* version);
KZ_API uint32_t KZ_GetSamplingFirmwareVersion(uint32_t cardIndex, uint32_t* version);
KZ_API uint32_t KZ_GetSamplingFirmwareRevision(uint32_t cardIndex, uint32_t* revision);
KZ_API uint32_t KZ_GetPeripheralFirmwareVersion(uint32_t cardIndex, uint32_t* version);
KZ_API uint32_t KZ_GetPeripheralFirmwareRevision(uint32_t cardIndex, uint32_t* revision);
KZ_API uint32_t KZ_GetSamplingSystemIRQFlag(uint32_t cardIndex, uint32_t systemIndex, uint32_t* flag);
KZ_API uint32_t KZ_ResetFirmware(uint32_t cardIndex);

/* ------------------------------------------------------------------------------------------ */
/* Enumeration and opening                                                                    */
/* ------------------------------------------------------------------------------------------ */

KZ_API uint32_t KZ_PCIEnumerateProtected(void);
KZ_API uint32_t KZ_PCIInitialise(uint32_t cardIndex);

#ifdef __cplusplus
}
#endif

#endif
