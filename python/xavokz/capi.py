"""The card library's C interface for ctypes: its constants, records, callback types and the
result and argument types of every exported function, and the same for the simulated card's
control interface. The tests check these tables against the C headers.

A callback passed to the library (KZ_LoggingCallback(function), ...) must be kept referenced in
Python for as long as the library may call it."""

from ctypes import (CFUNCTYPE, POINTER, Structure, c_char, c_char_p, c_double, c_int16, c_int32, c_uint8,
                    c_uint16, c_uint32, c_uint64, c_void_p)

# ---- the card library (XAVOKZ.h) ----

KZ_MAXIMUM_NUMBER_OF_HOOKS = 5
KZ_NUMBER_OF_ANALOGUE_RANGES = 6
KZ_DIAGNOSTICS_FILENAME_LENGTH = 0x200
KZ_NUMBER_OF_TEST_NAMES = 5
KZ_TEST_NAME_LENGTH = 50
KZ_SYSTEM_REGISTER_BASE = 0
KZ_SAMPLING_REGISTER_BASE = 0x200
KZ_PERIPHERAL_REGISTER_BASE = 0x400
KZ_MAXIMUM_RAW_REGISTER_OFFSET = 0x8ff
KZ_EEPROM_NUMBER_OF_WORDS = 128
KZ_SYSTEM_RAM_OFFSET = 0x400000
KZ_SRAM_MAXIMUM_NUMBER_OF_BSCANS = 0x1000
KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN = 128
KZ_SRAM_MAXIMUM_START_DELAY = 0x1fffff
XAVO_MAXIMUM_NUMBER_OF_SAMPLES = 0xfffc
KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS = 32
KZ_MAXIMUM_NUMBER_OF_GATES = 8
KZ_NUMBER_OF_GATE_CHANNELS = 128
KZ_GATE_TRIGGER_NONE = 15
KZ_GDMPeak = 2
KZ_GAPSLargestPeak = 15
KZ_GDPSLargestPeak = 15
KZ_SGVAlways = 1
KZ_MAXIMUM_NUMBER_OF_TCG_VALUES = 0x8000
KZ_TCG_POINTS_PER_STEP = 0x2000
KZ_CURVED_GATE_NUMBER_OF_VALUES = 0x1000
KZ_PINGPONG_SEQUENCE_LENGTH = 128
KZ_MAXIMUM_GENERATOR_PULSE_LENGTH = 0xfff
KZ_ENCODER_NONE = 0xffffffff
XAVO_BFalse = 0
XAVO_BTrue = 1
KZ_SFSAll = 0
KZ_SFSSettings = 1
KZ_SFSSystem = 2
KZ_SFSSampling = 3
KZ_SFSPeripheral = 4
KZ_SFSGates = 5
KZ_SFSTCG = 6
KZ_SFSPingPong = 7
KZ_SFSCurvedGate = 8

KZ_UpdateSampleParametersHook = CFUNCTYPE(c_uint32, c_uint32)
KZ_GetEncoderOutputHook = CFUNCTYPE(c_uint32, c_uint32, c_uint32, POINTER(c_uint32))
KZ_ResetEncoderOutputHook = CFUNCTYPE(c_uint32, c_uint32, c_uint32)
KZ_LoggingCallback = CFUNCTYPE(None, c_uint32, c_char_p)
KZ_InitialisationStatusCallback = CFUNCTYPE(c_uint32, c_uint32, c_uint32)


class KZ_CriticalSection(Structure):
    _fields_ = [
        ("opaque", c_uint64 * 8),
    ]


class GateDefinition(Structure):
    _fields_ = [
        ("gateIndex", c_int32),
        ("start", c_int32),
        ("end", c_int32),
        ("threshold", c_uint32),
        ("triggerGate", c_uint32),
        ("thresholdPolarity", c_uint32),
        ("triggerMode", c_uint32),
        ("distanceMetric", c_uint32),
        ("enabled", c_uint32),
        ("amplitudePeakSelect", c_uint32),
        ("distancePeakSelect", c_uint32),
        ("storeGateValue", c_uint32),
        ("snapshotSelection", c_int32),
        ("reserved", c_uint32 * 5),
    ]


class BoardState(Structure):
    _fields_ = [
        ("isPresent", c_uint32),
        ("isDiagnosticMode", c_uint32),
        ("diagnosticsFileName", c_char * 512),
        ("testNames", c_char * 50 * 5),
        ("lock", KZ_CriticalSection),
        ("lockDepth", c_uint32),
        ("isPCIInitialised", c_uint32),
        ("isDMAChannelOpen", c_uint32),
        ("isInitialised", c_uint32),
        ("isRangeCalibrated", c_uint32 * 6),
        ("calibrationOffsetWord", c_int16 * 6),
        ("calibrationGainWord", c_int16 * 6),
        ("calibratedRangeMask", c_uint32),
        ("serialNumber", c_uint32),
        ("currentRange", c_uint32),
        ("zeroOffset", c_int32 * 6),
        ("gainTweakPlus20", c_uint16),
        ("gainTweakMinus20", c_uint16),
        ("gainTweakMinus40", c_uint16),
        ("analogueControlShadow", c_uint32),
        ("analogueInputRange", c_uint32),
        ("samplingFrequency", c_uint32),
        ("triggerDelayShadow", c_uint32),
        ("aScanSampleSpan", c_uint32 * 128),
        ("aScanSampleValues", c_uint32 * 128),
        ("sampleDecimation", c_uint32),
        ("isSignAndMag", c_uint32),
        ("noiseFilterParameters", c_uint32 * 2),
        ("oversampleCount", c_uint32 * 32),
        ("supportsTestPatternMode", c_uint32),
        ("hasExtraHeaderWord", c_uint32),
        ("numberOfBScansPerBank", c_uint32),
        ("numberOfAScansPerBScan", c_uint32),
        ("isAutomaticBScansPerBank", c_uint32),
        ("aScanOffset", c_uint32 * 128),
        ("aScanBytesPerBScan", c_uint32),
        ("gateOffset", c_uint32 * 128),
        ("gateBytesPerBScan", c_uint32),
        ("bytesPerSample", c_uint32),
        ("bScanRepetitionRate", c_uint32),
        ("repetitionRate", c_uint32),
        ("repetitionTime", c_uint32),
        ("triggerSelect", c_uint32),
        ("encoderControlShadow", c_uint32),
        ("pingPongElements", POINTER(c_uint16)),
        ("pingPongOrder", POINTER(c_uint16)),
        ("pingPongPositionOfOrder", POINTER(c_uint16)),
        ("flipArrayElements", c_uint16),
        ("enabledGateCount", c_uint8 * 128),
        ("enabledGateList", c_uint8 * 8 * 128),
        ("storeGateValueTable", c_uint32 * 8 * 128),
        ("gateTable", GateDefinition * 8 * 128),
        ("curvedGateData", POINTER(c_uint16)),
        ("tcgValues", POINTER(c_uint16)),
        ("tcgValueCount", c_uint32),
        ("stepTcgCurve", c_int16 * 262144),
        ("tcgPointsPerStep", c_uint32),
        ("isSequenceCompatibleFirmware", c_uint32),
        ("sequenceState", c_uint32),
        ("currentSequenceStep", c_uint32),
        ("sequencePauseCount", c_uint32),
        ("updateSampleParametersHookCount", c_uint32),
        ("updateSampleParametersHooks", POINTER(KZ_UpdateSampleParametersHook)),
        ("getEncoderOutputHookCount", c_uint32),
        ("getEncoderOutputHooks", POINTER(KZ_GetEncoderOutputHook)),
        ("resetEncoderOutputHookCount", c_uint32),
        ("resetEncoderOutputHooks", POINTER(KZ_ResetEncoderOutputHook)),
    ]


class XAVO_RawScanGate(Structure):
    _fields_ = [
        ("snapshotSelection", c_uint32),
        ("isEnabled", c_uint32),
        ("isPeakDistance", c_uint32),
        ("isStoredOnCrossing", c_uint32),
        ("triggerGate", c_uint32),
    ]


class XAVO_RawScan(Structure):
    _fields_ = [
        ("cardIndex", c_uint32),
        ("isSequenceCompatibleFirmware", c_uint32),
        ("aScanSampleValues", c_uint32 * 128),
        ("sampleDecimation", c_uint32),
        ("numberOfAScansPerBScan", c_uint32),
        ("numberOfBScansInSram", c_uint32),
        ("numberOfBScansToConvert", c_uint32),
        ("scanStorageOption", c_uint32),
        ("sampleStorageMode", c_uint32),
        ("gates", XAVO_RawScanGate * 8 * 128),
        ("enabledGateCount", c_uint32 * 128),
    ]


# (name, result type, argument types)
FUNCTIONS = (
    ("KZ_PCIEnumerate", c_uint32, (POINTER(c_uint32),)),
    ("KZ_ReturnNumberOfKelzorBoards", c_uint32, ()),
    ("KZ_ReturnBoardStatePointer", POINTER(BoardState), (c_uint32,)),
    ("KZ_GetIsInitialised", c_uint32, (c_uint32,)),
    ("KZ_Lock", None, (c_uint32,)),
    ("KZ_Unlock", None, (c_uint32,)),
    ("KZ_SetUpdateSampleParametersHook", c_uint32, (c_uint32, KZ_UpdateSampleParametersHook)),
    ("KZ_SetGetEncoderOutputHook", c_uint32, (c_uint32, KZ_GetEncoderOutputHook)),
    ("KZ_SetResetEncoderOutputHook", c_uint32, (c_uint32, KZ_ResetEncoderOutputHook)),
    ("KZ_GetCodeString", c_char_p, (c_uint32,)),
    ("KZ_GetLastError", c_uint32, ()),
    ("KZ_ReturnNumberOfErrorLogLines", c_uint32, ()),
    ("KZ_GetErrorLogLine", c_uint32, (c_uint32, c_char_p, c_uint32)),
    ("KZ_ClearErrorLog", c_uint32, ()),
    ("KZ_SetLogLevel", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("KZ_GetLogLevel", c_uint32, (POINTER(c_uint32), POINTER(c_uint32), POINTER(c_uint32))),
    ("KZ_SetLoggingCallback", None, (KZ_LoggingCallback,)),
    ("KZ_GetZUTAMFirmwareRevisions", c_uint32, (POINTER(c_uint32), POINTER(c_uint32))),
    ("KZ_GetKV7CFirmwareRevisions", c_uint32, (POINTER(c_uint32), POINTER(c_uint32))),
    ("KZ_GetTolvennaSerialMuxValue", c_uint32, ()),
    ("KZ_GetTolvennaSerialMuxGain", c_uint32, (c_uint32,)),
    ("KZ_GetTolvennaSerialMuxFilter", c_uint32, (c_uint32,)),
    ("KZ_GetTolvennaSerialMuxVoltageClamp", c_uint32, ()),
    ("KZ_SetRegister", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("KZ_GetRegister", c_uint32, (c_uint32, c_uint32, POINTER(c_uint32))),
    ("KZ_SetSamplingRegister", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("KZ_GetSamplingRegister", c_uint32, (c_uint32, c_uint32, POINTER(c_uint32))),
    ("KZ_SetSamplingRegisterBits", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("KZ_ClearSamplingRegisterBits", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("KZ_GetOutOfRangeAccessCount", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_ClearOutOfRangeAccessCount", c_uint32, (c_uint32,)),
    ("KZ_SetOnlyRespondToInRangeAccess", c_uint32, (c_uint32,)),
    ("KZ_GetSystemFirmwareVersion", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_GetSamplingFirmwareVersion", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_GetSamplingFirmwareRevision", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_GetPeripheralFirmwareVersion", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_GetPeripheralFirmwareRevision", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_GetSamplingSystemIRQFlag", c_uint32, (c_uint32, c_uint32, POINTER(c_uint32))),
    ("KZ_ResetFirmware", c_uint32, (c_uint32,)),
    ("KZ_PCIEnumerateProtected", c_uint32, ()),
    ("KZ_PCIInitialise", c_uint32, (c_uint32,)),
    ("KZ_StructuresInitialise", c_uint32, (c_uint32, c_int32, c_int32)),
    ("KZ_DumpBinFiles", c_uint32, (c_uint32, c_char_p, c_char_p, c_uint32)),
    ("KZ_SetSamplingFrequency", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetSamplingFrequency", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_GetHasSampleClockStabilised", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_GetEEPROM", c_uint32, (c_uint32, c_uint32, POINTER(c_uint32))),
    ("KZ_SetEEPROM", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("KZ_GetEEPROMvalues", c_uint32, (c_uint32,)),
    ("KZ_SetSequenceStep", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetSequenceStep", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetSensorArrayApertureSize", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetSensorArrayApertureSize", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetSensorArrayDisableAperturePositionWrites", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetSensorArrayDisableAperturePositionWrites", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetSensorArrayDisableApertureDelayWrites", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetSensorArrayDisableApertureDelayWrites", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetIsBScanModeEnabled", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetIsBScanModeEnabled", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_GetSensorArrayIsProbeAttached", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetPingPongSequenceElement", c_uint32, (c_uint32, c_uint32, c_uint32, c_uint16)),
    ("KZ_SetPingPongSequence", c_uint32, (c_uint32, POINTER(c_uint16), POINTER(c_uint16))),
    ("KZ_GetPingPongSequence", c_uint32, (c_uint32, POINTER(POINTER(c_uint16)), POINTER(POINTER(c_uint16)))),
    ("KZ_SetFlipArray", c_uint32, (c_uint32, c_uint16)),
    ("KZ_SetFocusingUnitControl", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("KZ_SetRectifierMode", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetRectifierMode", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetStartDelay", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetStartDelay", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetNumberOfSamples", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetNumberOfSamples", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetDropNumberOfSamples", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetDropNumberOfSamples", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetSampleStorageMode", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetSampleStorageMode", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetForceAScanTrigger", c_uint32, (c_uint32,)),
    ("KZ_SetNumberOfOversamples", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetNumberOfOversamples", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetTestPatternMode", c_uint32, (c_uint32, c_uint32)),
    ("KZ_SetSignAndMagnitudeMode", c_uint32, (c_uint32, c_uint32)),
    ("KZ_ReturnIsSignAndMag", c_uint32, (c_uint32,)),
    ("KZ_SetSampleNoiseFilter", None, (c_uint32, c_uint32, c_uint32)),
    ("KZ_ReadRawADCData", c_uint32, (c_uint32, POINTER(c_int16))),
    ("KZ_SetScanStorageOptions", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetScanStorageOptions", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetNumberOfAScansPerBScan", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetNumberOfAScansPerBScan", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetNumberOfBScansPerBank", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetNumberOfBScansPerBank", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetNumberOfBScansPerBankIsAutomatic", c_uint32, (c_uint32, c_uint32)),
    ("KZ_SetCScanBaseSRAMAddress", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetCScanBaseSRAMAddress", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_GetAScanBaseSRAMAddress", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_GetNumberOfBScansInSRAM", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_GetNumberOfBScansCapturedInBank", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_ReturnOversampleCountThisStep", c_uint32, (c_uint32, c_uint32)),
    ("KZ_ReturnAScanSampleValuesThisStep", c_uint32, (c_uint32, c_uint32)),
    ("KZ_ReturnAScanOffsetThisStep", c_uint32, (c_uint32, c_uint32)),
    ("KZ_ReturnAScanBytesPerBScan", c_uint32, (c_uint32,)),
    ("KZ_ReturnGateOffsetThisStep", c_uint32, (c_uint32, c_uint32)),
    ("KZ_ReturnGateBytesPerBScan", c_uint32, (c_uint32,)),
    ("KZ_SetRepetitionRate", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetRepetitionRate", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetRepetitionTime", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetRepetitionTime", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetBScanRepetitionRate", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetBScanRepetitionRate", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_AutoSetBScanRepetitionRate", c_uint32, (c_uint32,)),
    ("KZ_SetTriggerSelect", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetTriggerSelect", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetForceBScanTrigger", c_uint32, (c_uint32,)),
    ("KZ_SetSyncPulseMode", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetSyncPulseMode", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetTransducerPulseWidth", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetTransducerPulseWidth", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetTrailingFlankHoldoff", c_uint32, (c_uint32, c_uint32)),
    ("KZ_SetNumberOfEncoderClicksPerBScan", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetNumberOfEncoderClicksPerBScan", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetFractionalNumberOfEncoderClicksPerBScan", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("KZ_GetFractionalNumberOfEncoderClicksPerBScan", c_uint32, (c_uint32, POINTER(c_uint32), POINTER(c_uint32))),
    ("KZ_SetEncoderSelect", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetEncoderSelect", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_GetEncoderOutput", c_uint32, (c_uint32, c_uint32, POINTER(c_uint32))),
    ("KZ_SetResetEncoderOutput", c_uint32, (c_uint32, c_uint32)),
    ("KZ_ConnectEncoderCounters4And5ToIO", c_uint32, (c_uint32, c_int32)),
    ("KZ_SetStepsInSequence", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetStepsInSequence", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_StartSequence", c_uint32, (c_uint32,)),
    ("KZ_StopSequence", c_uint32, (c_uint32,)),
    ("KZ_PauseSequence", None, (c_uint32,)),
    ("KZ_ResumeSequence", None, (c_uint32,)),
    ("KZ_SetSystemIOBank0", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetSystemIOBank0", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetSystemDDR0", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetSystemDDR0", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetSystemIOBank1", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetSystemIOBank1", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetSystemDDR1", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetSystemDDR1", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetPeripheralIOBank0", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetPeripheralIOBank0", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetPeripheralDDR0", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetPeripheralDDR0", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetPeripheralIOBank1", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetPeripheralIOBank1", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetPeripheralDDR1", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetPeripheralDDR1", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetDigitalOutput", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("KZ_SetDIBoardState", c_uint32, (c_uint32, c_uint32)),
    ("KZ_SetWaterPumpState", c_uint32, (c_uint32, c_uint32)),
    ("KZ_SetDIInterfaceBitsLow", c_uint32, (c_uint32,)),
    ("KZ_GetSerialNumber", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetInputCoupling", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetInputCoupling", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetInputImpedance", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetInputImpedance", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetAuxInput", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetAuxInput", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetAnalogueInput", c_uint32, (c_uint32, c_int32)),
    ("KZ_GetAnalogueInput", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetAnalogueInputRange", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetAnalogueInputRange", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetAToDOutputPortFormat", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetAToDOutputPortFormat", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetAToDOutputDataFormat", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetAToDOutputDataFormat", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetAToDInputVoltageRange", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetAToDInputVoltageRange", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetAToDVrefInputCharacteristics", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetAToDVrefInputCharacteristics", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetZeroOffset", c_uint32, (c_uint32, c_int32)),
    ("KZ_GetZeroOffset", c_uint32, (c_uint32, POINTER(c_int32))),
    ("KZ_SetGainTweaks", c_uint32, (c_uint32, c_uint16, c_uint16, c_uint16)),
    ("KZ_SetTCGTriggerEvent", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetTCGTriggerEvent", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetTCGEnable", c_uint32, (c_uint32, c_uint32)),
    ("KZ_GetTCGEnable", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_SetTCGValues", c_uint32, (c_uint32, POINTER(c_uint16), c_uint32)),
    ("KZ_GetTCGValues", c_uint32, (c_uint32, POINTER(POINTER(c_uint16)), POINTER(c_uint32))),
    ("KZ_SetTCGNormalisedStart", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("KZ_SetTCGValuesNormalised", c_uint32, (c_uint32, POINTER(c_uint16), c_uint32)),
    ("KZ_SetTCGNormalisedFinish", c_uint32, (c_uint32,)),
    ("KZ_ClearTCGCurve", c_uint32, (c_uint32,)),
    ("KZ_SubmitTCGCurve", c_uint32, (c_uint32, c_uint32, POINTER(c_int16), c_uint32, c_int16)),
    ("KZ_SetEnhancedTCG", c_uint32, (c_uint32,)),
    ("KZ_ReturnMaximumNumberOfGates", c_uint32, (c_uint32,)),
    ("KZ_AddGate", c_uint32, (c_uint32, POINTER(GateDefinition))),
    ("KZ_RemoveGate", c_uint32, (c_uint32, c_int32)),
    ("KZ_RemoveAllGates", c_uint32, (c_uint32,)),
    ("KZ_GetGate", c_uint32, (c_uint32, c_int32, POINTER(POINTER(GateDefinition)))),
    ("KZ_GetGate2", c_uint32, (c_uint32, c_uint32, c_int32, POINTER(GateDefinition))),
    ("KZ_GetNumberOfEnabledGatesThisChannel", c_uint32, (c_uint32, c_uint32, POINTER(c_uint32))),
    ("KZ_GetNumberOfEnabledGates", c_uint32, (c_uint32, POINTER(c_uint32))),
    ("KZ_ReturnSnapshotSelectionForGate", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("KZ_RewriteGates", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("KZ_SetGateAttributesRegister", c_uint32, (c_uint32, POINTER(GateDefinition))),
    ("KZ_RawWriteGate", c_uint32, (c_uint32, POINTER(GateDefinition))),
    ("KZ_SetCurvedGateData", c_uint32, (c_uint32, POINTER(c_uint16))),
    ("KZ_GetCurvedGateData", c_uint32, (c_uint32, POINTER(POINTER(c_uint16)))),
    ("KZ_DataFullRecovery", c_uint32, (c_uint32,)),
    ("KZ_GetAScan", c_uint32, (c_uint32, c_void_p, c_uint32, c_uint32, c_uint32)),
    ("KZ_GetBScan", c_uint32, (c_uint32, POINTER(c_void_p))),
    ("KZ_PrepareForSingleShotMode", c_uint32, (c_uint32,)),
    ("KZ_SingleShotCapture", c_uint32, (c_uint32,)),
    ("KZ_CopyStateToRawScan", c_uint32, (c_uint32, POINTER(XAVO_RawScan), c_uint32)),
    ("KZ_SaveState", c_uint32, (c_uint32, c_char_p, c_uint32)),
    ("KZ_LoadState", c_uint32, (c_uint32, c_char_p, c_uint32)),
    ("KZ_SetValue", c_uint32, (c_uint32, c_char_p, c_uint32)),
    ("KZ_SetIsDiagnosticMode", c_uint32, (c_uint32, c_uint32, c_char_p)),
    ("KZ_GetDiagnosticsString", c_uint32, (c_uint32, POINTER(c_char_p), c_uint32)),
    ("KZ_SetInitialisationStatusCallback", c_uint32, (KZ_InitialisationStatusCallback,)),
    ("KZ_Initialise", c_uint32, (c_uint32,)),
    ("KZ_InitialiseSequenced", c_uint32, (c_uint32,)),
    ("KZ_InitialiseNonSequenced", c_uint32, (c_uint32,)),
    ("KZ_InitialiseProtected", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("KZ_Uninitialise", c_uint32, (c_uint32,)),
    ("KZ_CalibrateInput", c_uint32,
     (c_uint32, c_uint32, c_uint32, POINTER(c_int16), POINTER(c_uint16), POINTER(c_uint16))),
)

# ---- the simulated card's control interface (XAVOSimControl.h) ----

XAVO_SIM_ANY = 0xffffffff
XAVO_SIM_NEVER = 0xffffffff
XAVO_SIM_OP_INITIALISE = 1
XAVO_SIM_OP_INITIALISE_CARD_TYPE = 2
XAVO_SIM_OP_INITIALISE_CARD = 4
XAVO_SIM_OP_UNINITIALISE_CARD = 8
XAVO_SIM_OP_SET_WORD = 16
XAVO_SIM_OP_GET_WORD = 32
XAVO_SIM_OP_OPEN_DMA = 64
XAVO_SIM_OP_CLOSE_DMA = 128
XAVO_SIM_OP_DMA_TRANSFER = 0x100
XAVO_SIM_CALLER_ANY = 0
XAVO_SIM_CALLER_LIBRARY = 1
XAVO_SIM_CALLER_SERVICE = 2
XAVO_SIM_ACTION_FAIL = 0
XAVO_SIM_ACTION_FAIL_STORE = 1
XAVO_SIM_ACTION_FORCE_VALUE = 2
XAVO_SIM_ACTION_RESULT = 3
XAVO_SIM_ACTION_PARTIAL_DMA = 4
XAVO_SIM_BANK_SYSTEM = 0
XAVO_SIM_BANK_SAMPLING = 1
XAVO_SIM_BANK_PERIPHERAL = 2
XAVO_SIM_SELFTEST_COMPLEMENT = 0
XAVO_SIM_SELFTEST_ECHO = 1
XAVO_SIM_SELFTEST_STUCK = 2
XAVO_SIM_IO_SYSTEM_0 = 0
XAVO_SIM_IO_SYSTEM_1 = 1
XAVO_SIM_IO_PERIPHERAL_0 = 2
XAVO_SIM_IO_PERIPHERAL_1 = 3
XAVO_SIM_BUSY_DDS_MAILBOX = 0
XAVO_SIM_BUSY_GATE_LOAD = 1
XAVO_SIM_BUSY_SEQUENCER = 2
XAVO_SIM_BUSY_DAC = 3
XAVO_SIM_BUSY_EEPROM_COMMIT = 4
XAVO_SIM_BUSY_FOCUSING_ACK = 5
XAVO_SIM_STROBE_FORCED_ASCAN = 0
XAVO_SIM_STROBE_BSCAN_START = 1
XAVO_SIM_CURVED_GATE_ENTRIES = 0x1000
XAVO_SIM_EEPROM_VALID = 0
XAVO_SIM_EEPROM_RESET_REQUEST = 1
XAVO_SIM_EEPROM_BLANK = 2
XAVO_SIM_EEPROM_WORKING = 0
XAVO_SIM_EEPROM_PERSISTENT = 1
XAVO_SIM_CALL_LOG_CAPACITY = 0xf4240
XAVO_SIM_SLOPE_OFFSET = 0
XAVO_SIM_SLOPE_GAIN = 1
XAVO_SIM_TCG_POINTS_PER_STEP = 0x2000
XAVO_SIM_TCG_POINTS_SEQUENCED = 0x40000
XAVO_SIM_TCG_POINTS_OLDER = 0x8000
XAVO_SIM_DATA_MODEL = 0
XAVO_SIM_DATA_RAMP = 1
XAVO_SIM_DATA_CONSTANT = 2


class XAVO_SIM_FaultRule(Structure):
    _fields_ = [
        ("operations", c_uint32),
        ("card", c_uint32),
        ("addressFirst", c_uint32),
        ("addressLast", c_uint32),
        ("valueMask", c_uint32),
        ("valueMatch", c_uint32),
        ("caller", c_uint32),
        ("skip", c_uint32),
        ("count", c_uint32),
        ("action", c_uint32),
        ("result", c_uint32),
        ("forcedValue", c_uint32),
        ("partialBytes", c_uint32),
    ]


class XAVO_SIM_CallRecord(Structure):
    _fields_ = [
        ("operation", c_uint32),
        ("card", c_uint32),
        ("address", c_uint32),
        ("value", c_uint32),
        ("length", c_uint32),
        ("direction", c_uint32),
        ("result", c_uint32),
        ("caller", c_uint32),
    ]


class XAVO_SIM_AnaloguePersonality(Structure):
    _fields_ = [
        ("zeroWord", c_double * 6),
        ("gainError", c_double * 6),
        ("offsetCountsPerWord", c_double),
        ("gainTrimPerWord", c_double),
        ("noiseSigma", c_double),
        ("seed", c_uint64),
    ]


class XAVO_SIM_CaptureStatus(Structure):
    _fields_ = [
        ("cardTimeNanoseconds", c_uint64),
        ("capturedBScans", c_uint32),
        ("bankHeld", c_uint32),
        ("dataFull", c_uint32),
        ("aScansCaptured", c_uint32),
        ("bScansCaptured", c_uint32),
        ("droppedTriggers", c_uint32),
        ("releases", c_uint32),
        ("positions", c_uint32),
        ("bScansPerBank", c_uint32),
        ("aScanAreaBytes", c_uint32),
        ("gateAreaBytes", c_uint32),
        ("geometryMismatch", c_uint32),
        ("clipped", c_uint32),
    ]


class XAVO_SIM_Scene(Structure):
    _fields_ = [
        ("enabled", c_uint32),
        ("transmitMicrovolts", c_uint32),
        ("interfaceNanoseconds", c_uint32),
        ("interfaceMicrovolts", c_uint32),
        ("backWallNanoseconds", c_uint32),
        ("backWallMicrovolts", c_uint32),
        ("backWallRepeats", c_uint32),
        ("echoFrequencyHz", c_uint32),
        ("noiseMicrovoltsRms", c_uint32),
        ("noiseSeed", c_uint32),
        ("flawEnabled", c_uint32),
        ("flawNanoseconds", c_uint32),
        ("flawMicrovolts", c_uint32),
        ("flawEncoderFirst", c_uint32),
        ("flawEncoderLast", c_uint32),
        ("flawElements", c_uint32 * 8),
    ]


SIM_FUNCTIONS = (
    ("XAVO_SIM_ConfigureCards", c_uint32, (c_uint32, c_uint32)),
    ("XAVO_SIM_ReturnNumberOfCards", c_uint32, ()),
    ("XAVO_SIM_ReturnDeviceId", c_uint32, ()),
    ("XAVO_SIM_Reset", None, ()),
    ("XAVO_SIM_SetEmptyEnumerationSucceeds", None, (c_uint32,)),
    ("XAVO_SIM_IsCardOpen", c_uint32, (c_uint32,)),
    ("XAVO_SIM_IsDMAChannelOpen", c_uint32, (c_uint32,)),
    ("XAVO_SIM_GetInRangeOnlyFlag", c_uint32, (c_uint32,)),
    ("XAVO_SIM_Peek", c_uint32, (c_uint32, c_uint32, POINTER(c_uint32))),
    ("XAVO_SIM_Poke", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("XAVO_SIM_ReadMemory", c_uint32, (c_uint32, c_uint32, c_void_p, c_uint32)),
    ("XAVO_SIM_WriteMemory", c_uint32, (c_uint32, c_uint32, c_void_p, c_uint32)),
    ("XAVO_SIM_SetVersionWord", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("XAVO_SIM_ClearVersionOverride", c_uint32, (c_uint32, c_uint32)),
    ("XAVO_SIM_SetSelfTestMode", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("XAVO_SIM_SetInputPins", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("XAVO_SIM_SetProbeAttached", c_uint32, (c_uint32, c_uint32)),
    ("XAVO_SIM_PreloadFirmware", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("XAVO_SIM_GetActiveFirmware", c_uint32, (c_uint32, POINTER(c_uint32), POINTER(c_uint32), POINTER(c_uint32))),
    ("XAVO_SIM_SetDownloadCorrupt", c_uint32, (c_uint32, c_uint32)),
    ("XAVO_SIM_SetBusyReads", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("XAVO_SIM_SetDacPeripheralBusyNeverClears", c_uint32, (c_uint32, c_uint32)),
    ("XAVO_SIM_GetDdsRegister", c_uint32, (c_uint32, c_uint32, POINTER(c_uint32), POINTER(c_uint32))),
    ("XAVO_SIM_SetClockLockReads", c_uint32, (c_uint32, c_uint32)),
    ("XAVO_SIM_SetClockStrict", c_uint32, (c_uint32, c_uint32)),
    ("XAVO_SIM_GetDacWord", c_uint32, (c_uint32, c_uint32, POINTER(c_uint32))),
    ("XAVO_SIM_SetRawConversionCode", c_uint32, (c_uint32, c_int32)),
    ("XAVO_SIM_ForceRawConversionWord", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("XAVO_SIM_GetPingPongElement", c_uint32, (c_uint32, c_uint32, POINTER(c_uint32))),
    ("XAVO_SIM_GetStrobeCount", c_uint32, (c_uint32, c_uint32, POINTER(c_uint32))),
    ("XAVO_SIM_SetCapturedBScans", c_uint32, (c_uint32, c_uint32)),
    ("XAVO_SIM_SetEncoderCount", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("XAVO_SIM_AdvanceEncoder", c_uint32, (c_uint32, c_uint32, c_int32)),
    ("XAVO_SIM_PeekStep", c_uint32, (c_uint32, c_uint32, c_uint32, POINTER(c_uint32))),
    ("XAVO_SIM_GetGateSlot", c_uint32, (c_uint32, c_uint32, c_uint32, POINTER(c_uint32), POINTER(c_uint32))),
    ("XAVO_SIM_GetCurvedGateTable", c_uint32, (c_uint32, POINTER(c_uint16), POINTER(c_uint32))),
    ("XAVO_SIM_SetEepromPersonality", c_uint32, (c_uint32, c_uint32)),
    ("XAVO_SIM_SetEepromWord", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("XAVO_SIM_GetEepromWord", c_uint32, (c_uint32, c_uint32, c_uint32, POINTER(c_uint32))),
    ("XAVO_SIM_GetEepromWriteLog", c_uint32, (c_uint32, c_uint32, POINTER(c_uint32), POINTER(c_uint32))),
    ("XAVO_SIM_GetEepromCommitCounts", c_uint32, (c_uint32, POINTER(c_uint32), POINTER(c_uint32))),
    ("XAVO_SIM_ClearEepromLog", c_uint32, (c_uint32,)),
    ("XAVO_SIM_PowerCycle", c_uint32, (c_uint32,)),
    ("XAVO_SIM_AddFaultRule", c_uint32, (POINTER(XAVO_SIM_FaultRule),)),
    ("XAVO_SIM_RemoveFaultRule", c_uint32, (c_uint32,)),
    ("XAVO_SIM_ClearFaultRules", None, ()),
    ("XAVO_SIM_ReturnFaultRuleHits", c_uint32, (c_uint32,)),
    ("XAVO_SIM_ReturnCallLogLength", c_uint32, ()),
    ("XAVO_SIM_GetCallLogEntry", c_uint32, (c_uint32, POINTER(XAVO_SIM_CallRecord))),
    ("XAVO_SIM_ClearCallLog", None, ()),
    ("XAVO_SIM_CountCalls", c_uint32, (c_uint32, c_uint32, c_uint32)),
    ("XAVO_SIM_SetCallerIsService", None, (c_uint32,)),
    ("XAVO_SIM_GetAnaloguePersonality", c_uint32, (c_uint32, POINTER(XAVO_SIM_AnaloguePersonality))),
    ("XAVO_SIM_SetAnaloguePersonality", c_uint32, (c_uint32, POINTER(XAVO_SIM_AnaloguePersonality))),
    ("XAVO_SIM_SetAnalogueExactLinear", c_uint32, (c_uint32, c_uint32)),
    ("XAVO_SIM_SetAnalogueSlopeOverride", c_uint32, (c_uint32, c_uint32, c_uint32, c_double)),
    ("XAVO_SIM_SetAnalogueStuckMean", c_uint32, (c_uint32, c_uint32, c_int32)),
    ("XAVO_SIM_SetAuxInputVoltage", c_uint32, (c_uint32, c_uint32, c_double)),
    ("XAVO_SIM_GetAnalogueLevel", c_uint32, (c_uint32, POINTER(c_double))),
    ("XAVO_SIM_DrawAnalogueSamples", c_uint32, (c_uint32, c_uint32, POINTER(c_int32))),
    ("XAVO_SIM_GetTcgPoints", c_uint32, (c_uint32, c_uint32, c_uint32, POINTER(c_uint16))),
    ("XAVO_SIM_GetTcgPortCounts", c_uint32, (c_uint32, POINTER(c_uint32), POINTER(c_uint32), POINTER(c_uint32))),
    ("XAVO_SIM_SetDataSource", c_uint32, (c_uint32, c_uint32, c_int32)),
    ("XAVO_SIM_AdvanceCardTime", c_uint32, (c_uint32, c_uint64)),
    ("XAVO_SIM_ExternalPulses", c_uint32, (c_uint32, c_uint32)),
    ("XAVO_SIM_ForceDataFull", c_uint32, (c_uint32,)),
    ("XAVO_SIM_SetDataFullAfterDroppedTriggers", c_uint32, (c_uint32, c_uint32)),
    ("XAVO_SIM_SetTriggersPaused", c_uint32, (c_uint32, c_uint32)),
    ("XAVO_SIM_SetCaptureWithoutLock", c_uint32, (c_uint32, c_uint32)),
    ("XAVO_SIM_GetCaptureStatus", c_uint32, (c_uint32, POINTER(XAVO_SIM_CaptureStatus))),
    ("XAVO_SIM_GetDefaultScene", None, (POINTER(XAVO_SIM_Scene),)),
    ("XAVO_SIM_SetScene", c_uint32, (c_uint32, POINTER(XAVO_SIM_Scene))),
    ("XAVO_SIM_SetCallLogEnabled", None, (c_uint32,)),
    ("XAVO_SIM_IsCallLogEnabled", c_uint32, ()),
    ("XAVO_SIM_SetSampleWordsAtPowerUp", c_uint32, (c_uint32, c_uint32)),
)
