// Named error codes of the card library.
//
// By convention the bits above the low 8 name the failing operation and the low 8 bits the
// failure, but codes are only ever compared for equality. The messages live in the code table
// (frame/error_table.cpp), which keeps its own order; the names here are sorted by code.
#ifndef XAVOKZ_FRAME_ERROR_CODES_H
#define XAVOKZ_FRAME_ERROR_CODES_H

#include <cstdint>

#include "XAVOKZ.h"

namespace kz::err {

inline constexpr ErrorCode Ok = 0x0;
inline constexpr ErrorCode InvalidCardIndex = 0x1;
inline constexpr ErrorCode InitialiseAlreadyInitialised = 0x100;
inline constexpr ErrorCode InitialisePciDeviceFindError = 0x101;
inline constexpr ErrorCode InitialisePciDeviceOpenError = 0x102;
inline constexpr ErrorCode InitialisePciBarMapError = 0x103;
inline constexpr ErrorCode InitialisePciCommonBufferPropertiesError = 0x104;
inline constexpr ErrorCode InitialisePciCommonBufferMapError = 0x105;
inline constexpr ErrorCode InitialiseSampleClockNotStable = 0x106;
inline constexpr ErrorCode InitialiseFirmwareVersionMismatch = 0x107;
inline constexpr ErrorCode InitialiseFirmwareVersionTooOld = 0x108;
inline constexpr ErrorCode CalibrateOffsetComputationFail = 0x200;
inline constexpr ErrorCode CalibrateGainComputationFail = 0x201;
// No table entry, text "Unknown": the range calibration could not allocate its measurement buffer.
inline constexpr ErrorCode CalibrateRangeAllocationFail = 0x202;
inline constexpr ErrorCode UninitialiseNotInitialised = 0x300;
inline constexpr ErrorCode UninitialisePciNotInitialised = 0x301;
inline constexpr ErrorCode UninitialisePciBarUnmapError = 0x302;
inline constexpr ErrorCode UninitialisePciDeviceCloseError = 0x303;
inline constexpr ErrorCode OpenDmaChannelPciNotInitialised = 0x400;
inline constexpr ErrorCode OpenDmaChannelAlreadyOpen = 0x401;
inline constexpr ErrorCode OpenDmaChannelOpenError = 0x402;
inline constexpr ErrorCode CloseDmaChannelPciNotInitialised = 0x500;
inline constexpr ErrorCode CloseDmaChannelNotOpen = 0x501;
inline constexpr ErrorCode CloseDmaChannelCloseError = 0x502;
inline constexpr ErrorCode PerformDmaTransferPciNotInitialised = 0x600;
inline constexpr ErrorCode PerformDmaTransferChannelNotOpen = 0x601;
inline constexpr ErrorCode PerformDmaTransferTransferError = 0x602;
inline constexpr ErrorCode DumpBinFilesCannotOpenSamplingFirmwareFile = 0x700;
inline constexpr ErrorCode DumpBinFilesCannotOpenPeripheralFirmwareFile = 0x701;
inline constexpr ErrorCode DumpBinFilesCannotReadSamplingFirmwareFile = 0x702;
inline constexpr ErrorCode DumpBinFilesCannotCloseSamplingFirmwareFile = 0x703;
inline constexpr ErrorCode DumpBinFilesCannotReadPeripheralFirmwareFile = 0x704;
inline constexpr ErrorCode DumpBinFilesCannotClosePeripheralFirmwareFile = 0x705;
inline constexpr ErrorCode SetSamplingFrequencyInvalidFrequency = 0x800;
inline constexpr ErrorCode GetSamplesDmaTransferFail = 0x906;
inline constexpr ErrorCode GetSamplesInvalidHeader = 0x907;
inline constexpr ErrorCode SetRegisterPciNotInitialised = 0xa00;
inline constexpr ErrorCode SetRegisterOffsetOutOfRange = 0xa01;
inline constexpr ErrorCode GetRegisterPciNotInitialised = 0xb00;
inline constexpr ErrorCode GetRegisterOffsetOutOfRange = 0xb01;
inline constexpr ErrorCode SetSystemRegisterOffsetOutOfRange = 0xc00;
// Reported by the system-bank read; its text names the sampling-bank read, as 0xf00 does.
inline constexpr ErrorCode GetSystemRegisterOffsetOutOfRange = 0xd00;
inline constexpr ErrorCode SetSamplingRegisterOffsetOutOfRange = 0xe00;
inline constexpr ErrorCode GetSamplingRegisterOffsetOutOfRange = 0xf00;
inline constexpr ErrorCode SetPeripheralRegisterOffsetOutOfRange = 0x1000;
inline constexpr ErrorCode GetPeripheralRegisterOffsetOutOfRange = 0x1100;
// No table entry, text "Unknown": a card memory word address lies beyond the last word.
inline constexpr ErrorCode MemoryWordAddressOutOfRange = 0x1200;
inline constexpr ErrorCode GetSamplingSystemIrqFlagInvalidIndex = 0x1300;
inline constexpr ErrorCode SetCurvedGateDataInvalidFirmwareVersion = 0x1400;
inline constexpr ErrorCode SetCurvedGateDataInvalidThreshold = 0x1401;
// No table entry, text "Unknown": the curved gate buffer could not be allocated.
inline constexpr ErrorCode SetCurvedGateDataAllocationFail = 0x1402;
inline constexpr ErrorCode GetNumberOfBScansInSramNoSampleData = 0x1600;
inline constexpr ErrorCode SetRectifierModeInvalidMode = 0x1700;
inline constexpr ErrorCode SetStartDelayInvalidStartDelay = 0x1800;
inline constexpr ErrorCode SetTriggerSelectInvalidTrigger = 0x1900;
inline constexpr ErrorCode SetNumberOfSamplesInvalidNumber = 0x1a00;
inline constexpr ErrorCode SetDropNumberOfSamplesInvalidNumber = 0x1b00;
inline constexpr ErrorCode SetSampleStorageModeInvalidMode = 0x1c00;
inline constexpr ErrorCode SetForceAScanTriggerInvalidLocale = 0x1d00;
inline constexpr ErrorCode SetDdsRegisterInvalidValue = 0x1e00;
inline constexpr ErrorCode SetDdsRegisterInvalidAddress = 0x1e01;
inline constexpr ErrorCode SetTcgTriggerGateInvalidGateIndex = 0x1f00;
inline constexpr ErrorCode DdsWaitTimerQueryFail = 0x2000;
inline constexpr ErrorCode DdsWaitTimeout = 0x2001;
inline constexpr ErrorCode SetTcgEnableInvalidFlag = 0x2100;
inline constexpr ErrorCode SetTcgEnableNoCurve = 0x2101;
inline constexpr ErrorCode GetTcgTriggerGateInvalidFlags = 0x2200;
inline constexpr ErrorCode SetCScanBaseSramAddressInvalidAddress = 0x2500;
inline constexpr ErrorCode SetScanStorageOptionsInvalidOptions = 0x2600;
inline constexpr ErrorCode SetNumberOfBScansPerBankInvalidNumber = 0x2700;
inline constexpr ErrorCode SetNumberOfBScansPerBankIsAutomatic = 0x2701;
inline constexpr ErrorCode SetNumberOfAScansPerBScanInvalidNumber = 0x2800;
inline constexpr ErrorCode SetTcgValuesInvalidNumber = 0x2900;
inline constexpr ErrorCode SetTcgValuesInvalidValue = 0x2901;
// No table entry, text "Unknown": the TCG buffer could not be allocated.
inline constexpr ErrorCode SetTcgValuesAllocationFail = 0x2902;
inline constexpr ErrorCode SetInputCouplingInvalidCoupling = 0x2a00;
inline constexpr ErrorCode SetInputImpedanceInvalidImpedance = 0x2b00;
inline constexpr ErrorCode SetAnalogueInputInvalidInput = 0x2c00;
inline constexpr ErrorCode GetAnalogueInputInvalidFlags = 0x2d00;
inline constexpr ErrorCode SetAnalogueInputRangeInvalidRange = 0x2e00;
inline constexpr ErrorCode SetAnalogueInputRangeInvalidFlags = 0x2e01;
inline constexpr ErrorCode SetAnalogueInputRangeNotValidForAux = 0x2e02;
inline constexpr ErrorCode SetAnalogueInputRangeCannotChangeWhileRunning = 0x2e03;
inline constexpr ErrorCode SetAToDOutputPortFormatInvalidFormat = 0x2f00;
inline constexpr ErrorCode SetAToDOutputDataFormatInvalidFormat = 0x2f01;
inline constexpr ErrorCode SetAToDInputVoltageRangeInvalidRange = 0x3000;
inline constexpr ErrorCode SetAToDVrefInputCharacteristicsInvalidValue = 0x3100;
inline constexpr ErrorCode SetDdsKeyInvalidValue = 0x3200;
inline constexpr ErrorCode SetDdsFskInvalidValue = 0x3201;
inline constexpr ErrorCode SetCalibrationVoltageInvalidVoltage = 0x3300;
inline constexpr ErrorCode SetAuxInputInvalidInput = 0x3400;
inline constexpr ErrorCode SetTransducerPulseWidthInvalidFirmwareVersion = 0x3900;
inline constexpr ErrorCode SetTransducerPulseWidthInvalidWidth = 0x3901;
inline constexpr ErrorCode GetTransducerPulseWidthInvalidFirmwareVersion = 0x3a00;
inline constexpr ErrorCode SetCalibrationOffsetInvalidWord = 0x3b00;
inline constexpr ErrorCode SetCalibrationOffsetTimerQueryFail = 0x3b01;
inline constexpr ErrorCode SetCalibrationOffsetTimeout = 0x3b02;
inline constexpr ErrorCode SetCalibrationGainInvalidWord = 0x3c00;
inline constexpr ErrorCode SetCalibrationGainTimerQueryFail = 0x3c01;
inline constexpr ErrorCode SetCalibrationGainTimeout = 0x3c02;
inline constexpr ErrorCode SetCalibrationDToADestinationInvalidDestination = 0x3d00;
inline constexpr ErrorCode SetNumberOfPeriodsBetweenAScanTriggersInvalidNumber = 0x3e00;
inline constexpr ErrorCode SetNumberOfOversamplesInvalidMultiplier = 0x3f00;
inline constexpr ErrorCode SetSensorArrayNumberOfElementsInvalidNumber = 0x4000;
inline constexpr ErrorCode SetSensorArrayApertureSizeInvalidSize = 0x4100;
inline constexpr ErrorCode SetSensorArrayDiUnitEnableOutputsInvalidFirmwareVersion = 0x4200;
inline constexpr ErrorCode SetSensorArrayDiUnitEnableOutputsInvalidFlag = 0x4201;
inline constexpr ErrorCode GetSensorArrayDiUnitEnableOutputsInvalidFirmwareVersion = 0x4202;
inline constexpr ErrorCode SetSensorArrayDisableAperturePositionWritesInvalidFirmwareVersion = 0x4300;
inline constexpr ErrorCode SetSensorArrayDisableAperturePositionWritesInvalidFlag = 0x4301;
inline constexpr ErrorCode GetSensorArrayDisableAperturePositionWritesInvalidFirmwareVersion = 0x4302;
inline constexpr ErrorCode SetSensorArrayDisableApertureDelayWritesInvalidFirmwareVersion = 0x4400;
inline constexpr ErrorCode SetSensorArrayDisableApertureDelayWritesInvalidFlag = 0x4401;
inline constexpr ErrorCode GetSensorArrayDisableApertureDelayWritesInvalidFirmwareVersion = 0x4402;
inline constexpr ErrorCode SetIsBScanModeEnabledInvalidFirmwareVersion = 0x4500;
inline constexpr ErrorCode SetIsBScanModeEnabledInvalidFlag = 0x4600;
inline constexpr ErrorCode SetPingPongSequenceElementInvalidElement = 0x4700;
inline constexpr ErrorCode SetPingPongSequenceElementInvalidPosition = 0x4701;
// No table entry, text "Unknown": the ping-pong tables could not be allocated.
inline constexpr ErrorCode SetPingPongSequenceElementAllocationFail = 0x4702;
inline constexpr ErrorCode SetNumberOfEncoderClicksPerBScanInvalidNumber = 0x4800;
inline constexpr ErrorCode SetForceBScanTriggerInvalidLocale = 0x4900;
inline constexpr ErrorCode SetForceBScanTriggerTimerQueryFail = 0x4901;
inline constexpr ErrorCode SetForceBScanTriggerTimeout = 0x4902;
inline constexpr ErrorCode SetEncoderSelectInvalidIndex = 0x4a00;
inline constexpr ErrorCode SetResetEncoderOutputInvalidIndex = 0x4b00;
inline constexpr ErrorCode GetEncoderOutputInvalidIndex = 0x4c00;
inline constexpr ErrorCode AddGateInvalidStartCount = 0x4d00;
inline constexpr ErrorCode AddGateInvalidEndCount = 0x4d01;
inline constexpr ErrorCode AddGateInvalidThreshold = 0x4d02;
inline constexpr ErrorCode AddGateInvalidTriggerGate = 0x4d03;
inline constexpr ErrorCode AddGateInvalidThresholdPolarity = 0x4d04;
inline constexpr ErrorCode AddGateInvalidTriggerMode = 0x4d05;
inline constexpr ErrorCode AddGateInvalidDistanceMetric = 0x4d06;
inline constexpr ErrorCode AddGateInvalidEnable = 0x4d07;
inline constexpr ErrorCode AddGateInvalidAmplitudePeakSelect = 0x4d08;
inline constexpr ErrorCode AddGateInvalidDistancePeakSelect = 0x4d09;
inline constexpr ErrorCode AddGateInvalidGateIndex = 0x4d0a;
inline constexpr ErrorCode AddGateTimerQueryFail = 0x4d0b;
inline constexpr ErrorCode AddGateTimeout = 0x4d0c;
inline constexpr ErrorCode AddGateInvalidStoreGateValue = 0x4d0d;
inline constexpr ErrorCode AddGateInvalidZeroCrossingTriggerMode = 0x4d0e;
inline constexpr ErrorCode AddGateZeroCrossingNeedsSequenceFirmware = 0x4d0f;
inline constexpr ErrorCode AddGateStoreAlwaysNeedsLargestPeak = 0x4d10;
inline constexpr ErrorCode AddGateZeroCrossingNotValidForPeakMetric = 0x4d11;
inline constexpr ErrorCode AddGateInvalidSnapshotSelection = 0x4d12;
inline constexpr ErrorCode RemoveGateInvalidGateIndex = 0x4e00;
inline constexpr ErrorCode RemoveGateGateDoesNotExist = 0x4e01;
inline constexpr ErrorCode GetGateInvalidIndex = 0x4f00;
inline constexpr ErrorCode GetGateOutputInvalidBScanIndex = 0x5000;
inline constexpr ErrorCode GetGateOutputInvalidAScanIndex = 0x5001;
inline constexpr ErrorCode GetGateOutputGateNotPresent = 0x5002;
inline constexpr ErrorCode GetGateOutputGateNotEnabled = 0x5003;
inline constexpr ErrorCode SetValueInvalidPropertyName = 0x5100;
inline constexpr ErrorCode LoadFpgaFromFileMissingValue = 0x5200;
inline constexpr ErrorCode LoadFpgaFromFileLineTooLong = 0x5201;
inline constexpr ErrorCode LoadGatesFromFileLineTooLong = 0x5300;
inline constexpr ErrorCode LoadGatesFromFileCannotRead = 0x5301;
inline constexpr ErrorCode LoadTcgCurveFromFileLineTooLong = 0x5400;
inline constexpr ErrorCode LoadTcgCurveFromFileInvalidSequenceIndex = 0x5401;
inline constexpr ErrorCode LoadTcgCurveFromFileInvalidValue = 0x5402;
inline constexpr ErrorCode LoadTcgCurveFromFileInvalidPrefix = 0x5403;
inline constexpr ErrorCode LoadTcgCurveFromFileCannotRead = 0x5404;
// No table entry, text "Unknown": the TCG loader could not allocate its table.
inline constexpr ErrorCode LoadTcgCurveFromFileAllocationFail = 0x5405;
inline constexpr ErrorCode LoadPingPongSequenceFromFileLineTooLong = 0x5500;
inline constexpr ErrorCode LoadPingPongSequenceFromFileInvalidSequenceIndex = 0x5501;
inline constexpr ErrorCode LoadPingPongSequenceFromFileInvalidElementIndex = 0x5502;
inline constexpr ErrorCode LoadPingPongSequenceFromFileInvalidPrefix = 0x5503;
inline constexpr ErrorCode LoadPingPongSequenceFromFileCannotRead = 0x5504;
inline constexpr ErrorCode LoadCurvedGateDataFromFileLineTooLong = 0x5600;
inline constexpr ErrorCode LoadCurvedGateDataFromFileInvalidSequenceIndex = 0x5601;
inline constexpr ErrorCode LoadCurvedGateDataFromFileCannotRead = 0x5602;
inline constexpr ErrorCode LoadCurvedGateDataFromFileInvalidElementIndex = 0x5603;
inline constexpr ErrorCode LoadCurvedGateDataFromFileInvalidPrefix = 0x5604;
inline constexpr ErrorCode LoadStateCannotOpenFile = 0x5700;
inline constexpr ErrorCode LoadStateCannotRead = 0x5701;
inline constexpr ErrorCode LoadStateSectionHeaderTooLong = 0x5702;
inline constexpr ErrorCode LoadStateCannotCloseFile = 0x5703;
inline constexpr ErrorCode LoadStateMissingSystemParameters = 0x5704;
inline constexpr ErrorCode LoadStateMissingSamplingParameters = 0x5705;
inline constexpr ErrorCode LoadStateMissingPeripheralParameters = 0x5706;
// Carries the same text as 0x5704.
inline constexpr ErrorCode LoadStateMissingSystemParameters2 = 0x5707;
inline constexpr ErrorCode LoadStateMissingTcgCurve = 0x5708;
inline constexpr ErrorCode LoadStateMissingPingPongTable = 0x5709;
inline constexpr ErrorCode LoadStateMissingCurvedGateData = 0x570a;
inline constexpr ErrorCode SaveStateCannotCreateFile = 0x570b;
inline constexpr ErrorCode SaveStateCannotWrite = 0x570c;
inline constexpr ErrorCode SaveStateCannotCloseFile = 0x570d;
inline constexpr ErrorCode SaveStateCannotDeleteInvalidFile = 0x570e;
inline constexpr ErrorCode SaveStateTcgNotInitialised = 0x570f;
inline constexpr ErrorCode SaveStatePingPongNotInitialised = 0x5710;
inline constexpr ErrorCode SaveStateCurvedGateNotInitialised = 0x5711;
inline constexpr ErrorCode SetFocusingUnitControlInvalidFirmwareVersion = 0x5800;
inline constexpr ErrorCode SetFocusingUnitControlInvalidControlBus = 0x5801;
inline constexpr ErrorCode SetFocusingUnitControlInvalidData = 0x5802;
inline constexpr ErrorCode SetFocusingUnitControlTimerQueryFail = 0x5803;
inline constexpr ErrorCode SetFocusingUnitControlTimeout = 0x5804;
inline constexpr ErrorCode HandleSramInsufficientSram = 0x5900;
inline constexpr ErrorCode CheckSramInsufficientSram = 0x5a00;
inline constexpr ErrorCode GetBScanSingleAScanMode = 0x5b00;
inline constexpr ErrorCode GetBScanInternalDataFormatError = 0x5b07;
inline constexpr ErrorCode GetBScanInvalidNumberOfBScansPerBank = 0x5b08;
inline constexpr ErrorCode GetRawScanAllocationFail = 0x5c06;
inline constexpr ErrorCode GetRawScanInvalidNumberOfAScanSamples = 0x5c0b;
inline constexpr ErrorCode GetRawScanInvalidNumberOfBScansPerBank = 0x5c0c;
inline constexpr ErrorCode GetRawScanInvalidNumberOfAScansPerBScan = 0x5c0d;
inline constexpr ErrorCode GetRawScanNotSupportedOnSequencedFirmware = 0x5c0f;
inline constexpr ErrorCode GetRawScanDmaTransferIncomplete = 0x5c10;
inline constexpr ErrorCode SetAcquisitionModeInvalidMode = 0x6000;
inline constexpr ErrorCode SetFlipArrayInvalidNumberOfElements = 0x6400;
inline constexpr ErrorCode SetScanningModeInvalidMode = 0x6600;
inline constexpr ErrorCode SetDigitalOutputInvalidBit = 0x6700;
inline constexpr ErrorCode SetSequenceStepNotSequenceCompatible = 0x6800;
inline constexpr ErrorCode SetSequenceStepInvalidStep = 0x6801;
inline constexpr ErrorCode GetSequenceStepNotSequenceCompatible = 0x6900;
inline constexpr ErrorCode SetStepsInSequenceNotSequenceCompatible = 0x7000;
inline constexpr ErrorCode SetStepsInSequenceInvalidNumber = 0x7001;
inline constexpr ErrorCode GetStepsInSequenceNotSequenceCompatible = 0x7100;
inline constexpr ErrorCode StartSequenceNotSequenceCompatible = 0x7200;
inline constexpr ErrorCode StopSequenceNotSequenceCompatible = 0x7300;
inline constexpr ErrorCode SetTcgNormalisedStartInvalidMaskMode = 0x7400;
inline constexpr ErrorCode SetTcgNormalisedStartInvalidPointRatio = 0x7401;
inline constexpr ErrorCode SetGateAttributesRegisterBadDistanceMetric = 0x7500;
inline constexpr ErrorCode AllocOutOfMemory = 0x7800;
inline constexpr ErrorCode ReturnBoardStatePointerInvalidCardIndex = 0x7900;
inline constexpr ErrorCode SetHookNoHooksLeft = 0x8000;
inline constexpr ErrorCode SetMaximumNumberOfBScansPerBankNotAutomatic = 0x8200;
inline constexpr ErrorCode SetMaximumNumberOfBScansPerBankNotEnoughMemory = 0x8201;
// No table entry, text "Unknown": a sync pulse mode above 1.
inline constexpr ErrorCode SetSyncPulseModeInvalidMode = 0x9000;
inline constexpr ErrorCode SetFractionalNumberOfEncoderClicksPerBScanInvalidNumerator = 0x9100;
inline constexpr ErrorCode SetBScanRepetitionRateTooHigh = 0xa500;
inline constexpr ErrorCode SetIsDiagnosticModeGeneralError = 0xa600;
// The code of the table's terminator; every code without an entry reads as its text.
inline constexpr ErrorCode Unknown = 0xa601;

}  // namespace kz::err

#endif
