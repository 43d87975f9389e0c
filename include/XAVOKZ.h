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

/* Calibration EEPROM: words 0 to KZ_EEPROM_NUMBER_OF_WORDS - 1. */
#define KZ_EEPROM_NUMBER_OF_WORDS 128

/* Sample memory and scan layout. */
#define KZ_SYSTEM_RAM_OFFSET 0x400000
#define KZ_SRAM_MAXIMUM_NUMBER_OF_BSCANS 4096
#define KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN 128
#define KZ_SRAM_MAXIMUM_START_DELAY 0x1FFFFF
#define XAVO_MAXIMUM_NUMBER_OF_SAMPLES 65532
#define KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS 32

/* Gates: the tables hold 8 gates per channel; sequence-compatible firmware uses the first 6
   (see KZ_ReturnMaximumNumberOfGates). */
#define KZ_MAXIMUM_NUMBER_OF_GATES 8
#define KZ_NUMBER_OF_GATE_CHANNELS 128
#define KZ_GATE_TRIGGER_NONE 15
#define KZ_GDMPeak 2
#define KZ_GAPSLargestPeak 15
#define KZ_GDPSLargestPeak 15
#define KZ_SGVAlways 1

/* TCG, curved gate and ping-pong tables. */
#define KZ_MAXIMUM_NUMBER_OF_TCG_VALUES 32768
#define KZ_TCG_POINTS_PER_STEP 8192
#define KZ_CURVED_GATE_NUMBER_OF_VALUES 4096
#define KZ_PINGPONG_SEQUENCE_LENGTH 128

/* Host callbacks. Their results are ignored. */
typedef uint32_t (*KZ_UpdateSampleParametersHook)(uint32_t cardIndex);
typedef uint32_t (*KZ_GetEncoderOutputHook)(uint32_t cardIndex, uint32_t encoderIndex, uint32_t* value);
typedef uint32_t (*KZ_ResetEncoderOutputHook)(uint32_t cardIndex, uint32_t encoderIndex);
typedef void (*KZ_LoggingCallback)(uint32_t level, const char* text);

/* Storage of a card's recursive lock; its contents belong to the library. */
typedef struct KZ_CriticalSection {
    uint64_t opaque[8];
} KZ_CriticalSection;

/* A gate of one channel: eighteen 32-bit words. */
typedef struct GateDefinition {
    int32_t gateIndex;
    int32_t start;
    int32_t end;
    uint32_t threshold;
    uint32_t triggerGate;
    uint32_t thresholdPolarity;
    uint32_t triggerMode;
    uint32_t distanceMetric;
    uint32_t enabled;
    uint32_t amplitudePeakSelect;
    uint32_t distancePeakSelect;
    uint32_t storeGateValue;
    int32_t snapshotSelection;
    uint32_t reserved[5];
} GateDefinition;

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

    /* Analogue calibration per input range, from the EEPROM or the input calibration. */
    uint32_t isRangeCalibrated[KZ_NUMBER_OF_ANALOGUE_RANGES];
    int16_t calibrationOffsetWord[KZ_NUMBER_OF_ANALOGUE_RANGES];
    int16_t calibrationGainWord[KZ_NUMBER_OF_ANALOGUE_RANGES];
    uint32_t calibratedRangeMask;
    uint32_t serialNumber;

    /* Analogue input path. */
    uint32_t currentRange;
    int32_t zeroOffset[KZ_NUMBER_OF_ANALOGUE_RANGES];
    uint16_t gainTweakPlus20;
    uint16_t gainTweakMinus20;
    uint16_t gainTweakMinus40;
    uint32_t analogueControlShadow;
    uint32_t analogueInputRange;

    /* Sample clock. */
    uint32_t samplingFrequency;

    /* Sampling parameters. */
    uint32_t triggerDelayShadow;
    uint32_t aScanSampleSpan[KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN];
    uint32_t aScanSampleValues[KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN];
    uint32_t sampleDecimation;
    uint32_t isSignAndMag;
    uint32_t noiseFilterParameters[2];
    uint32_t oversampleCount[KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS];
    uint32_t supportsTestPatternMode;
    uint32_t hasExtraHeaderWord;

    /* Scan memory layout. */
    uint32_t numberOfBScansPerBank;
    uint32_t numberOfAScansPerBScan;
    uint32_t isAutomaticBScansPerBank;
    uint32_t aScanOffset[KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN];
    uint32_t aScanBytesPerBScan;
    uint32_t gateOffset[KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN];
    uint32_t gateBytesPerBScan;
    uint32_t bytesPerSample;

    /* Pulse timing and triggers. */
    uint32_t bScanRepetitionRate;
    uint32_t repetitionRate;
    uint32_t repetitionTime;
    uint32_t triggerSelect;
    uint32_t encoderControlShadow;

    /* Sensor array: ping-pong tables of KZ_PINGPONG_SEQUENCE_LENGTH entries, null until set. */
    uint16_t* pingPongElements;
    uint16_t* pingPongOrder;
    uint16_t* pingPongPositionOfOrder;
    uint16_t flipArrayElements;

    /* Gates, per channel. */
    uint8_t enabledGateCount[KZ_NUMBER_OF_GATE_CHANNELS];
    uint8_t enabledGateList[KZ_NUMBER_OF_GATE_CHANNELS][KZ_MAXIMUM_NUMBER_OF_GATES];
    uint32_t storeGateValueTable[KZ_NUMBER_OF_GATE_CHANNELS][KZ_MAXIMUM_NUMBER_OF_GATES];
    GateDefinition gateTable[KZ_NUMBER_OF_GATE_CHANNELS][KZ_MAXIMUM_NUMBER_OF_GATES];

    /* Curved gate: KZ_CURVED_GATE_NUMBER_OF_VALUES thresholds, null until first loaded. */
    uint16_t* curvedGateData;

    /* TCG: the direct curve (KZ_MAXIMUM_NUMBER_OF_TCG_VALUES entries, null until loaded) and
       the enhanced curve of every sequence step. */
    uint16_t* tcgValues;
    uint32_t tcgValueCount;
    int16_t stepTcgCurve[KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS * KZ_TCG_POINTS_PER_STEP];
    uint32_t tcgPointsPerStep;

    uint32_t isSequenceCompatibleFirmware;

    /* Sequencer and step selection. */
    uint32_t sequenceState;
    uint32_t currentSequenceStep;
    uint32_t sequencePauseCount;

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

/* ------------------------------------------------------------------------------------------ */
/* Card bring-up: record defaults, firmware download                                          */
/* ------------------------------------------------------------------------------------------ */

/* Fills the card's record with its defaults for the firmware pair that will be loaded. */
KZ_API uint32_t KZ_StructuresInitialise(uint32_t cardIndex, int32_t dspVersion, int32_t perVersion);
/* Downloads the sampling and peripheral firmware files into the card; with prepareOnly
   non-zero the files are read and converted only, and 0 is returned. */
KZ_API uint32_t KZ_DumpBinFiles(uint32_t cardIndex, const char* samplingFileName, const char* peripheralFileName,
                                uint32_t prepareOnly);

/* ------------------------------------------------------------------------------------------ */
/* Sample clock (40 to 100 MHz)                                                               */
/* ------------------------------------------------------------------------------------------ */

KZ_API uint32_t KZ_SetSamplingFrequency(uint32_t cardIndex, uint32_t frequencyHz);
KZ_API uint32_t KZ_GetSamplingFrequency(uint32_t cardIndex, uint32_t* frequencyHz);
KZ_API uint32_t KZ_GetHasSampleClockStabilised(uint32_t cardIndex, uint32_t* isStable);

/* ------------------------------------------------------------------------------------------ */
/* Calibration EEPROM                                                                         */
/* ------------------------------------------------------------------------------------------ */

KZ_API uint32_t KZ_GetEEPROM(uint32_t cardIndex, uint32_t wordIndex, uint32_t* value);
KZ_API uint32_t KZ_SetEEPROM(uint32_t cardIndex, uint32_t wordIndex, uint32_t value);
/* Loads the serial number and the stored calibration words into the card's record. */
KZ_API uint32_t KZ_GetEEPROMvalues(uint32_t cardIndex);

/* ------------------------------------------------------------------------------------------ */
/* Sequence step selection (sequence-compatible firmware)                                     */
/* ------------------------------------------------------------------------------------------ */

KZ_API uint32_t KZ_SetSequenceStep(uint32_t cardIndex, uint32_t step);
KZ_API uint32_t KZ_GetSequenceStep(uint32_t cardIndex, uint32_t* step);

/* ------------------------------------------------------------------------------------------ */
/* Sensor array, ping-pong sequence and focusing unit                                         */
/* ------------------------------------------------------------------------------------------ */

KZ_API uint32_t KZ_SetSensorArrayApertureSize(uint32_t cardIndex, uint32_t size);
KZ_API uint32_t KZ_GetSensorArrayApertureSize(uint32_t cardIndex, uint32_t* size);
KZ_API uint32_t KZ_SetSensorArrayDisableAperturePositionWrites(uint32_t cardIndex, uint32_t flag);
KZ_API uint32_t KZ_GetSensorArrayDisableAperturePositionWrites(uint32_t cardIndex, uint32_t* flag);
KZ_API uint32_t KZ_SetSensorArrayDisableApertureDelayWrites(uint32_t cardIndex, uint32_t flag);
KZ_API uint32_t KZ_GetSensorArrayDisableApertureDelayWrites(uint32_t cardIndex, uint32_t* flag);
KZ_API uint32_t KZ_SetIsBScanModeEnabled(uint32_t cardIndex, uint32_t flag);
KZ_API uint32_t KZ_GetIsBScanModeEnabled(uint32_t cardIndex, uint32_t* flag);
KZ_API uint32_t KZ_GetSensorArrayIsProbeAttached(uint32_t cardIndex, uint32_t* isAttached);
KZ_API uint32_t KZ_SetPingPongSequenceElement(uint32_t cardIndex, uint32_t element, uint32_t position, uint16_t order);
/* Both tables hold KZ_PINGPONG_SEQUENCE_LENGTH entries. */
KZ_API uint32_t KZ_SetPingPongSequence(uint32_t cardIndex, const uint16_t* elements, const uint16_t* order);
/* Hands out the library's own tables (null until the first element is set). */
KZ_API uint32_t KZ_GetPingPongSequence(uint32_t cardIndex, uint16_t** elements, uint16_t** order);
KZ_API uint32_t KZ_SetFlipArray(uint32_t cardIndex, uint16_t numberOfElements);
KZ_API uint32_t KZ_SetFocusingUnitControl(uint32_t cardIndex, uint32_t controlBus, uint32_t data);

/* ------------------------------------------------------------------------------------------ */
/* Sampling parameters                                                                        */
/* ------------------------------------------------------------------------------------------ */

KZ_API uint32_t KZ_SetRectifierMode(uint32_t cardIndex, uint32_t mode);
KZ_API uint32_t KZ_GetRectifierMode(uint32_t cardIndex, uint32_t* mode);
KZ_API uint32_t KZ_SetStartDelay(uint32_t cardIndex, uint32_t delay);
KZ_API uint32_t KZ_GetStartDelay(uint32_t cardIndex, uint32_t* delay);
KZ_API uint32_t KZ_SetNumberOfSamples(uint32_t cardIndex, uint32_t numberOfSamples);
KZ_API uint32_t KZ_GetNumberOfSamples(uint32_t cardIndex, uint32_t* numberOfSamples);
KZ_API uint32_t KZ_SetDropNumberOfSamples(uint32_t cardIndex, uint32_t drop);
KZ_API uint32_t KZ_GetDropNumberOfSamples(uint32_t cardIndex, uint32_t* drop);
KZ_API uint32_t KZ_SetSampleStorageMode(uint32_t cardIndex, uint32_t mode);
KZ_API uint32_t KZ_GetSampleStorageMode(uint32_t cardIndex, uint32_t* mode);
KZ_API uint32_t KZ_SetForceAScanTrigger(uint32_t cardIndex);
KZ_API uint32_t KZ_SetNumberOfOversamples(uint32_t cardIndex, uint32_t count);
KZ_API uint32_t KZ_GetNumberOfOversamples(uint32_t cardIndex, uint32_t* count);
KZ_API uint32_t KZ_SetTestPatternMode(uint32_t cardIndex, uint32_t flag);
KZ_API uint32_t KZ_SetSignAndMagnitudeMode(uint32_t cardIndex, uint32_t flag);
KZ_API uint32_t KZ_ReturnIsSignAndMag(uint32_t cardIndex);
KZ_API void KZ_SetSampleNoiseFilter(uint32_t cardIndex, uint32_t firstWord, uint32_t secondWord);
KZ_API uint32_t KZ_ReadRawADCData(uint32_t cardIndex, int16_t* value);

/* ------------------------------------------------------------------------------------------ */
/* Scan memory layout                                                                         */
/* ------------------------------------------------------------------------------------------ */

KZ_API uint32_t KZ_SetScanStorageOptions(uint32_t cardIndex, uint32_t option);
KZ_API uint32_t KZ_GetScanStorageOptions(uint32_t cardIndex, uint32_t* option);
KZ_API uint32_t KZ_SetNumberOfAScansPerBScan(uint32_t cardIndex, uint32_t count);
KZ_API uint32_t KZ_GetNumberOfAScansPerBScan(uint32_t cardIndex, uint32_t* count);
KZ_API uint32_t KZ_SetNumberOfBScansPerBank(uint32_t cardIndex, uint32_t count);
KZ_API uint32_t KZ_GetNumberOfBScansPerBank(uint32_t cardIndex, uint32_t* count);
KZ_API uint32_t KZ_SetNumberOfBScansPerBankIsAutomatic(uint32_t cardIndex, uint32_t flag);
KZ_API uint32_t KZ_SetCScanBaseSRAMAddress(uint32_t cardIndex, uint32_t address);
KZ_API uint32_t KZ_GetCScanBaseSRAMAddress(uint32_t cardIndex, uint32_t* address);
KZ_API uint32_t KZ_GetAScanBaseSRAMAddress(uint32_t cardIndex, uint32_t* address);
KZ_API uint32_t KZ_GetNumberOfBScansInSRAM(uint32_t cardIndex, uint32_t* count);
KZ_API uint32_t KZ_GetNumberOfBScansCapturedInBank(uint32_t cardIndex, uint32_t* count);
/* Layout queries; they take no lock. */
KZ_API uint32_t KZ_ReturnOversampleCountThisStep(uint32_t cardIndex, uint32_t step);
KZ_API uint32_t KZ_ReturnAScanSampleValuesThisStep(uint32_t cardIndex, uint32_t position);
KZ_API uint32_t KZ_ReturnAScanOffsetThisStep(uint32_t cardIndex, uint32_t position);
KZ_API uint32_t KZ_ReturnAScanBytesPerBScan(uint32_t cardIndex);
KZ_API uint32_t KZ_ReturnGateOffsetThisStep(uint32_t cardIndex, uint32_t position);
KZ_API uint32_t KZ_ReturnGateBytesPerBScan(uint32_t cardIndex);

/* ------------------------------------------------------------------------------------------ */
/* Pulse timing and triggers                                                                  */
/* ------------------------------------------------------------------------------------------ */

#define KZ_MAXIMUM_GENERATOR_PULSE_LENGTH 4095

KZ_API uint32_t KZ_SetRepetitionRate(uint32_t cardIndex, uint32_t rate);
KZ_API uint32_t KZ_GetRepetitionRate(uint32_t cardIndex, uint32_t* rate);
KZ_API uint32_t KZ_SetRepetitionTime(uint32_t cardIndex, uint32_t periods);
KZ_API uint32_t KZ_GetRepetitionTime(uint32_t cardIndex, uint32_t* periods);
KZ_API uint32_t KZ_SetBScanRepetitionRate(uint32_t cardIndex, uint32_t rate);
KZ_API uint32_t KZ_GetBScanRepetitionRate(uint32_t cardIndex, uint32_t* rate);
KZ_API uint32_t KZ_AutoSetBScanRepetitionRate(uint32_t cardIndex);
KZ_API uint32_t KZ_SetTriggerSelect(uint32_t cardIndex, uint32_t source);
KZ_API uint32_t KZ_GetTriggerSelect(uint32_t cardIndex, uint32_t* source);
KZ_API uint32_t KZ_SetForceBScanTrigger(uint32_t cardIndex);
KZ_API uint32_t KZ_SetSyncPulseMode(uint32_t cardIndex, uint32_t mode);
KZ_API uint32_t KZ_GetSyncPulseMode(uint32_t cardIndex, uint32_t* mode);
KZ_API uint32_t KZ_SetTransducerPulseWidth(uint32_t cardIndex, uint32_t width);
KZ_API uint32_t KZ_GetTransducerPulseWidth(uint32_t cardIndex, uint32_t* width);
KZ_API uint32_t KZ_SetTrailingFlankHoldoff(uint32_t cardIndex, uint32_t value);

/* ------------------------------------------------------------------------------------------ */
/* Encoders                                                                                   */
/* ------------------------------------------------------------------------------------------ */

#define KZ_ENCODER_NONE 0xFFFFFFFFu

KZ_API uint32_t KZ_SetNumberOfEncoderClicksPerBScan(uint32_t cardIndex, uint32_t clicks);
KZ_API uint32_t KZ_GetNumberOfEncoderClicksPerBScan(uint32_t cardIndex, uint32_t* clicks);
KZ_API uint32_t KZ_SetFractionalNumberOfEncoderClicksPerBScan(uint32_t cardIndex, uint32_t numerator,
                                                              uint32_t unityShift);
KZ_API uint32_t KZ_GetFractionalNumberOfEncoderClicksPerBScan(uint32_t cardIndex, uint32_t* numerator,
                                                              uint32_t* unityShift);
KZ_API uint32_t KZ_SetEncoderSelect(uint32_t cardIndex, uint32_t encoder);
KZ_API uint32_t KZ_GetEncoderSelect(uint32_t cardIndex, uint32_t* encoder);
KZ_API uint32_t KZ_GetEncoderOutput(uint32_t cardIndex, uint32_t encoder, uint32_t* value);
KZ_API uint32_t KZ_SetResetEncoderOutput(uint32_t cardIndex, uint32_t encoder);
KZ_API uint32_t KZ_ConnectEncoderCounters4And5ToIO(uint32_t cardIndex, int32_t flag);

/* ------------------------------------------------------------------------------------------ */
/* Sequencer (sequence-compatible firmware)                                                   */
/* ------------------------------------------------------------------------------------------ */

KZ_API uint32_t KZ_SetStepsInSequence(uint32_t cardIndex, uint32_t count);
KZ_API uint32_t KZ_GetStepsInSequence(uint32_t cardIndex, uint32_t* count);
KZ_API uint32_t KZ_StartSequence(uint32_t cardIndex);
KZ_API uint32_t KZ_StopSequence(uint32_t cardIndex);
KZ_API void KZ_PauseSequence(uint32_t cardIndex);
KZ_API void KZ_ResumeSequence(uint32_t cardIndex);

/* ------------------------------------------------------------------------------------------ */
/* Peripheral and system I/O                                                                  */
/* ------------------------------------------------------------------------------------------ */

KZ_API uint32_t KZ_SetSystemIOBank0(uint32_t cardIndex, uint32_t value);
KZ_API uint32_t KZ_GetSystemIOBank0(uint32_t cardIndex, uint32_t* value);
KZ_API uint32_t KZ_SetSystemDDR0(uint32_t cardIndex, uint32_t value);
KZ_API uint32_t KZ_GetSystemDDR0(uint32_t cardIndex, uint32_t* value);
KZ_API uint32_t KZ_SetSystemIOBank1(uint32_t cardIndex, uint32_t value);
KZ_API uint32_t KZ_GetSystemIOBank1(uint32_t cardIndex, uint32_t* value);
KZ_API uint32_t KZ_SetSystemDDR1(uint32_t cardIndex, uint32_t value);
KZ_API uint32_t KZ_GetSystemDDR1(uint32_t cardIndex, uint32_t* value);
KZ_API uint32_t KZ_SetPeripheralIOBank0(uint32_t cardIndex, uint32_t value);
KZ_API uint32_t KZ_GetPeripheralIOBank0(uint32_t cardIndex, uint32_t* value);
KZ_API uint32_t KZ_SetPeripheralDDR0(uint32_t cardIndex, uint32_t value);
KZ_API uint32_t KZ_GetPeripheralDDR0(uint32_t cardIndex, uint32_t* value);
KZ_API uint32_t KZ_SetPeripheralIOBank1(uint32_t cardIndex, uint32_t value);
KZ_API uint32_t KZ_GetPeripheralIOBank1(uint32_t cardIndex, uint32_t* value);
KZ_API uint32_t KZ_SetPeripheralDDR1(uint32_t cardIndex, uint32_t value);
KZ_API uint32_t KZ_GetPeripheralDDR1(uint32_t cardIndex, uint32_t* value);
KZ_API uint32_t KZ_SetDigitalOutput(uint32_t cardIndex, uint32_t bitNumber, uint32_t level);
KZ_API uint32_t KZ_SetDIBoardState(uint32_t cardIndex, uint32_t state);
KZ_API uint32_t KZ_SetWaterPumpState(uint32_t cardIndex, uint32_t state);
KZ_API uint32_t KZ_SetDIInterfaceBitsLow(uint32_t cardIndex);
KZ_API uint32_t KZ_GetSerialNumber(uint32_t cardIndex, uint32_t* serialNumber);

/* ------------------------------------------------------------------------------------------ */
/* Analogue input path                                                                        */
/* ------------------------------------------------------------------------------------------ */

/* The analogue control word cannot be read back: the setters change the card's record of it
   (analogueControlShadow) and write it whole, the getters report the record. Flags are 0 or 1;
   the auxiliary input is 0 to 3; analogue inputs are 0 to 5 (4 and 5 are the auxiliary inputs
   and have no range); input ranges are 0 (highest gain) to 5 and must be calibrated. */
KZ_API uint32_t KZ_SetInputCoupling(uint32_t cardIndex, uint32_t coupling);
KZ_API uint32_t KZ_GetInputCoupling(uint32_t cardIndex, uint32_t* coupling);
KZ_API uint32_t KZ_SetInputImpedance(uint32_t cardIndex, uint32_t impedance);
KZ_API uint32_t KZ_GetInputImpedance(uint32_t cardIndex, uint32_t* impedance);
KZ_API uint32_t KZ_SetAuxInput(uint32_t cardIndex, uint32_t auxInput);
KZ_API uint32_t KZ_GetAuxInput(uint32_t cardIndex, uint32_t* auxInput);
KZ_API uint32_t KZ_SetAnalogueInput(uint32_t cardIndex, int32_t input);
KZ_API uint32_t KZ_GetAnalogueInput(uint32_t cardIndex, uint32_t* input);
KZ_API uint32_t KZ_SetAnalogueInputRange(uint32_t cardIndex, uint32_t range);
KZ_API uint32_t KZ_GetAnalogueInputRange(uint32_t cardIndex, uint32_t* range);
/* The A-to-D converter's options take no lock: call them under KZ_Lock when other threads use
   the card. */
KZ_API uint32_t KZ_SetAToDOutputPortFormat(uint32_t cardIndex, uint32_t format);
KZ_API uint32_t KZ_GetAToDOutputPortFormat(uint32_t cardIndex, uint32_t* format);
KZ_API uint32_t KZ_SetAToDOutputDataFormat(uint32_t cardIndex, uint32_t format);
KZ_API uint32_t KZ_GetAToDOutputDataFormat(uint32_t cardIndex, uint32_t* format);
KZ_API uint32_t KZ_SetAToDInputVoltageRange(uint32_t cardIndex, uint32_t range);
KZ_API uint32_t KZ_GetAToDInputVoltageRange(uint32_t cardIndex, uint32_t* range);
KZ_API uint32_t KZ_SetAToDVrefInputCharacteristics(uint32_t cardIndex, uint32_t characteristics);
KZ_API uint32_t KZ_GetAToDVrefInputCharacteristics(uint32_t cardIndex, uint32_t* characteristics);
/* Zero offset of the current range, -2048 to 2047, added to the range's calibrated offset
   word. */
KZ_API uint32_t KZ_SetZeroOffset(uint32_t cardIndex, int32_t offset);
KZ_API uint32_t KZ_GetZeroOffset(uint32_t cardIndex, int32_t* offset);
/* Kept in the record only (takes no lock). */
KZ_API uint32_t KZ_SetGainTweaks(uint32_t cardIndex, uint16_t plus20, uint16_t minus20, uint16_t minus40);

/* ------------------------------------------------------------------------------------------ */
/* Time-corrected gain (TCG)                                                                  */
/* ------------------------------------------------------------------------------------------ */

/* Trigger event 0 or 1. */
KZ_API uint32_t KZ_SetTCGTriggerEvent(uint32_t cardIndex, uint32_t event);
KZ_API uint32_t KZ_GetTCGTriggerEvent(uint32_t cardIndex, uint32_t* event);
/* Enabling needs a curve loaded with KZ_SetTCGValues. */
KZ_API uint32_t KZ_SetTCGEnable(uint32_t cardIndex, uint32_t flag);
KZ_API uint32_t KZ_GetTCGEnable(uint32_t cardIndex, uint32_t* flag);
/* Loads up to KZ_MAXIMUM_NUMBER_OF_TCG_VALUES values and keeps a copy; the last value is
   repeated ten more times (as far as the table allows). */
KZ_API uint32_t KZ_SetTCGValues(uint32_t cardIndex, const uint16_t* values, uint32_t count);
/* Hands out the library's own copy (null before the first load); the next KZ_SetTCGValues
   frees it. */
KZ_API uint32_t KZ_GetTCGValues(uint32_t cardIndex, uint16_t** values, uint32_t* count);
/* Older firmware: start (mask mode 0 to 3, point ratio 1 to 16), stream the points, finish. */
KZ_API uint32_t KZ_SetTCGNormalisedStart(uint32_t cardIndex, uint32_t maskMode, uint32_t pointRatio);
KZ_API uint32_t KZ_SetTCGValuesNormalised(uint32_t cardIndex, const uint16_t* values, uint32_t count);
KZ_API uint32_t KZ_SetTCGNormalisedFinish(uint32_t cardIndex);
/* Sequence-compatible firmware: one curve per sequence step, loaded for all steps at once by
   KZ_SetEnhancedTCG. These three take no lock across their work. */
KZ_API uint32_t KZ_ClearTCGCurve(uint32_t cardIndex);
KZ_API uint32_t KZ_SubmitTCGCurve(uint32_t cardIndex, uint32_t step, const int16_t* values, uint32_t count,
                                  int16_t offset);
KZ_API uint32_t KZ_SetEnhancedTCG(uint32_t cardIndex);

/* ------------------------------------------------------------------------------------------ */
/* Gates                                                                                      */
/* ------------------------------------------------------------------------------------------ */

/* Gates per channel: 6 with sequence-compatible firmware, else 8. */
KZ_API uint32_t KZ_ReturnMaximumNumberOfGates(uint32_t isSequenceCompatibleFirmware);
/* The channel is the current sequence step with sequence-compatible firmware; with the older
   firmware a gate is added to every channel. A disabled gate is stored in its reset form. A
   running sequencer is stopped while the gate is written and started again after. */
KZ_API uint32_t KZ_AddGate(uint32_t cardIndex, const GateDefinition* gate);
KZ_API uint32_t KZ_RemoveGate(uint32_t cardIndex, int32_t gateIndex);
KZ_API uint32_t KZ_RemoveAllGates(uint32_t cardIndex);
/* Hands out the library's live record of the gate in the current channel. */
KZ_API uint32_t KZ_GetGate(uint32_t cardIndex, int32_t gateIndex, GateDefinition** gate);
KZ_API uint32_t KZ_GetGate2(uint32_t cardIndex, uint32_t channel, int32_t gateIndex, GateDefinition* gate);
KZ_API uint32_t KZ_GetNumberOfEnabledGatesThisChannel(uint32_t cardIndex, uint32_t channel, uint32_t* count);
KZ_API uint32_t KZ_GetNumberOfEnabledGates(uint32_t cardIndex, uint32_t* count);
/* Query of the data-collection service; no lock. */
KZ_API uint32_t KZ_ReturnSnapshotSelectionForGate(uint32_t cardIndex, uint32_t channel, uint32_t gateIndex);
/* Scales start and end of every gate of every step by multiplier / divisor and writes the gates
   to the card. No lock, no pause of the sequencer, no layout computation; the divisor must not
   be 0. */
KZ_API uint32_t KZ_RewriteGates(uint32_t cardIndex, uint32_t divisor, uint32_t multiplier);
/* Raw writers: no validation and no lock; the caller holds the card's lock. */
KZ_API uint32_t KZ_SetGateAttributesRegister(uint32_t cardIndex, const GateDefinition* gate);
KZ_API uint32_t KZ_RawWriteGate(uint32_t cardIndex, const GateDefinition* gate);

/* ------------------------------------------------------------------------------------------ */
/* Curved gate                                                                                */
/* ------------------------------------------------------------------------------------------ */

/* KZ_CURVED_GATE_NUMBER_OF_VALUES thresholds of 0 to 2047. */
KZ_API uint32_t KZ_SetCurvedGateData(uint32_t cardIndex, const uint16_t* values);
/* Hands out the library's own table; null before the first load. */
KZ_API uint32_t KZ_GetCurvedGateData(uint32_t cardIndex, uint16_t** values);

/* ------------------------------------------------------------------------------------------ */
/* Data-full recovery, scan retrieval and raw-scan export                                      */
/* ------------------------------------------------------------------------------------------ */

/* Brings a card whose sample memory is full back to capturing: slows the pulsing, hands the
   bank back twice, resets the sampling firmware and restores the pulse period. Called by the
   data-collection service; always returns 1. */
KZ_API uint32_t KZ_DataFullRecovery(uint32_t cardIndex);

/* Waits for a completed bank and copies `byteCount` bytes of A-scan `aScanIndex` of B-scan
   `bScanIndex` into `buffer`, from its header word on; the bank is handed back on every path. */
KZ_API uint32_t KZ_GetAScan(uint32_t cardIndex, void* buffer, uint32_t byteCount, uint32_t aScanIndex,
                            uint32_t bScanIndex);
/* Waits for a completed bank of one B-scan and moves each A-scan position of it by DMA into
   aScanBuffers[i], from its header word on, aScanSampleValues[i] samples' worth of bytes (2
   bytes a sample in 16-bit storage, else 1). The array holds as many entries as
   KZ_GetNumberOfAScansPerBScan reports. */
KZ_API uint32_t KZ_GetBScan(uint32_t cardIndex, void** aScanBuffers);
/* Accept any card index and do nothing. */
KZ_API uint32_t KZ_PrepareForSingleShotMode(uint32_t cardIndex);
KZ_API uint32_t KZ_SingleShotCapture(uint32_t cardIndex);

/* A gate as the raw-scan service reads it. */
typedef struct XAVO_RawScanGate {
    uint32_t snapshotSelection;  /* 0 for a disabled gate */
    uint32_t isEnabled;
    uint32_t isPeakDistance;     /* distance metric KZ_GDMPeak; 1 for a disabled gate */
    uint32_t isStoredOnCrossing; /* store-gate value 0; 1 for a disabled gate */
    uint32_t triggerGate;        /* KZ_GATE_TRIGGER_NONE for a disabled gate */
} XAVO_RawScanGate;

/* The host's raw-scan record, filled by KZ_CopyStateToRawScan (byte offsets in the comments). */
typedef struct XAVO_RawScan {
    uint32_t cardIndex;                                                   /* 0x000 */
    uint32_t isSequenceCompatibleFirmware;                                /* 0x004 */
    uint32_t aScanSampleValues[KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN]; /* 0x008 */
    uint32_t sampleDecimation;                                            /* 0x208 */
    uint32_t numberOfAScansPerBScan;                                      /* 0x20C */
    uint32_t numberOfBScansInSram;                                        /* 0x210: with counts only */
    uint32_t numberOfBScansToConvert;                                     /* 0x214: with counts only */
    uint32_t scanStorageOption;                                           /* 0x218 */
    uint32_t sampleStorageMode;                                           /* 0x21C */
    XAVO_RawScanGate gates[KZ_NUMBER_OF_GATE_CHANNELS][KZ_MAXIMUM_NUMBER_OF_GATES]; /* 0x220 */
    uint32_t enabledGateCount[KZ_NUMBER_OF_GATE_CHANNELS];                /* 0x5220 */
} XAVO_RawScan;

/* Describes the card's layout and gates for the raw-scan service: in `rawScan` and in the
   service's internal record of it. With `withCounts` non-zero also the B-scans in the card's
   memory and the B-scans to convert. Takes no lock; hold KZ_Lock for a consistent picture. */
KZ_API uint32_t KZ_CopyStateToRawScan(uint32_t cardIndex, XAVO_RawScan* rawScan, uint32_t withCounts);

/* ------------------------------------------------------------------------------------------ */
/* State files, named properties and diagnostics                                              */
/* ------------------------------------------------------------------------------------------ */

/* What a state file save or load covers. */
typedef enum KZ_StateFileSection {
    KZ_SFSAll = 0,        /* every section the card has */
    KZ_SFSSettings = 1,   /* the system, sampling and peripheral sections */
    KZ_SFSSystem = 2,
    KZ_SFSSampling = 3,
    KZ_SFSPeripheral = 4,
    KZ_SFSGates = 5,
    KZ_SFSTCG = 6,
    KZ_SFSPingPong = 7,
    KZ_SFSCurvedGate = 8
} KZ_StateFileSection;

/* Saves the card's settings to a state file; ".dab" is appended unless the name ends in it
   (in any letter case). The name with its extension must fit in 511 characters. */
KZ_API uint32_t KZ_SaveState(uint32_t cardIndex, const char* fileName, uint32_t section);
/* Applies a state file (the name as given) to the card, section by section. */
KZ_API uint32_t KZ_LoadState(uint32_t cardIndex, const char* fileName, uint32_t section);
/* Sets one setting by its state-file key, compared ignoring letter case. */
KZ_API uint32_t KZ_SetValue(uint32_t cardIndex, const char* name, uint32_t value);
/* Any non-zero `on` starts a fresh diagnostics file (the configured name, or `fileName` of at
   most 511 characters when given) and traces every register write to it; 0 stops the trace. */
KZ_API uint32_t KZ_SetIsDiagnosticMode(uint32_t cardIndex, uint32_t on, const char* fileName);
/* The card's test name `index` (0 to KZ_NUMBER_OF_TEST_NAMES - 1), owned by the card. */
KZ_API uint32_t KZ_GetDiagnosticsString(uint32_t cardIndex, const char** text, uint32_t index);

#ifdef __cplusplus
}
#endif

#endif
