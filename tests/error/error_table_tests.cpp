// The code table, its lookup and the exports over the error service.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "XAVOErrorControl.h"
#include "XAVOKZ.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "frame/error_table.h"

namespace {

namespace err = kz::err;

static_assert(err::ReturnBoardStatePointerInvalidCardIndex == 0x7900);
static_assert(err::SetHookNoHooksLeft == 0x8000);
static_assert(err::SetRegisterPciNotInitialised == 0xa00);
static_assert(err::SetRegisterOffsetOutOfRange == 0xa01);
static_assert(err::GetSamplingSystemIrqFlagInvalidIndex == 0x1300);
static_assert(err::OpenDmaChannelAlreadyOpen == 0x401);
static_assert(err::Unknown == 0xa601);

struct Expected {
    ErrorCode code;
    const char* message;
};

// Every entry, in the table's order, with its exact text.
constexpr Expected kExpected[] = {
    {0x0, "KZ_OK"},
    {0x1, "Invalid cardIndex number"},
    {0x100, "KZ_Initialise fail: already initialised"},
    {0x101, "KZ_Initialise fail: PCIDeviceFind error"},
    {0x102, "KZ_Initialise fail: PCIDeviceOpen error"},
    {0x103, "KZ_Initialise fail: PCIBarMap error"},
    {0x104, "KZ_Initialise fail: PCICommonBufferProperties error"},
    {0x105, "KZ_Initialise fail: PCICommonBufferMap error"},
    {0x106, "KZ_Initialise fail: sample clock would not stablise"},
    {0x107, "KZ_Initialise fail: Firmware version does not match fileName"},
    {0x108, "KZ_Initialise fail: Firmware Version Too Old"},
    {0x200, "KZ_Calibrate fail: offset computation fail"},
    {0x201, "KZ_Calibrate fail: gain computation fail"},
    {0x300, "KZ_Uninitialise fail not initialised"},
    {0x301, "KZ_Uninitialise fail: PCI not initialised"},
    {0x302, "KZ_Uninitialise fail: PCIBarUnmap error"},
    {0x303, "KZ_Uninitialise fail: PCIDeviceClose error"},
    {0x400, "KZ_OpenDMAChannel fail: PCI not initialised"},
    {0x401, "KZ_OpenDMAChannel fail: DMA channel already open"},
    {0x402, "KZ_OpenDMAChannel fail: PCIDmaBlockChannelOpen error"},
    {0x500, "KZ_CloseDMAChannel fail: PCI not initialised"},
    {0x501, "KZ_CloseDMAChannel fail: DMA channel not open"},
    {0x502, "KZ_CloseDMAChannel fail: PCIDmaBlockChannelClose error"},
    {0x600, "KZ_PerformDMATransfer fail: PCI not initialised"},
    {0x601, "KZ_PerformDMATransfer fail: DMA channel not open"},
    {0x602, "KZ_PerformDMATransfer fail: PCIDmaBlockTransfer error"},
    {0x700, "KZ_DumpBinFiles fail: could not open sampling firmware file"},
    {0x701, "KZ_DumpBinFiles fail: could not open peripheral firmware file"},
    {0x702, "KZ_DumpBinFiles fail: could not read sampling firmware file"},
    {0x703, "KZ_DumpBinFiles fail: could not close sampling firmware file"},
    {0x704, "KZ_DumpBinFiles fail: could not read peripheral firmware file"},
    {0x705, "KZ_DumpBinFiles fail: could not close peripheral firmware file"},
    {0x800, "KZ_SetSamplingFrequency fail: invalid sampling frequency (must be between 40-100MHz)"},
    {0x906, "KZ_GetSamples fail: DMA transfer fail"},
    {0x907, "KZ_GetSamples fail: invalid sample data header"},
    {0xa00, "KZ_SetRegister fail: PCI not initialised"},
    {0xa01, "KZ_SetRegister fail: offset out of range"},
    {0xb00, "KZ_GetRegister fail: PCI not initialised"},
    {0xb01, "KZ_GetRegister fail: offset out of range"},
    {0xc00, "KZ_SetSystemRegister fail: offset out of range"},
    {0xd00, "KZ_GetSamplingRegister fail: offset out of range"},
    {0xe00, "KZ_SetSamplingRegister fail: offset out of range"},
    {0xf00, "KZ_GetSamplingRegister fail: offset out of range"},
    {0x1000, "KZ_SetPeripheralRegister fail: offset out of range"},
    {0x1100, "KZ_GetPeripheralRegister fail: offset out of range"},
    {0x1300, "KZ_GetSamplingSystemIRQFlag fail: invalid sampling system index (must be 0)"},
    {0x1400, "KZ_SetCurvedGateData fail: invalid firmware version"},
    {0x1401, "KZ_SetCurvedGateData fail: invalid threshold value (must be 0 to 2047)"},
    {0x1600, "KZ_GetNumberOfBScansInSRAM fail: no sample data available"},
    {0x1700, "KZ_SetRectifierMode fail: invalid mode (must be a member if KZ_Rectification enumerated type)"},
    {0x1800, "KZ_SetStartDelay fail: invalid start delay (must be 0 to KZ_SRAM_MAXIMUM_START_DELAY)"},
    {0x1900, "KZ_SetTriggerSelect fail: invalid trigger (must be a member of KZ_Trigger enumerated type"},
    {0x1a00, "KZ_SetNumberOfSamples fail: invalid number of samples (must be 0 to XAVO_MAXIMUM_NUMBER_OF_SAMPLES)"},
    {0x1b00, "KZ_SetDropNumberOfSamples fail: invalid number of drop samples (must be 0 to 15)"},
    {0x1c00, "KZ_SetSampleStorageMode fail: invalid storage mode (must be a member of XAVO_SampleSize enumerated type)"},
    {0x1d00, "KZ_SetForceAScanTrigger fail: invalid trigger locale (must be internal)"},
    {0x1e00, "KZ_SetDDSRegister fail: invalid register value (must be 0 to 255)"},
    {0x1e01, "KZ_SetDDSRegister fail: invalid address bus value (must be 0 to 63)"},
    {0x2000, "KZ_DDSWait fail: timer could not be queried"},
    {0x2001, "KZ_DDSWait fail: polling time-out"},
    {0x1f00, "KZ_SetTCGTriggerGate fail: invalid gate index (must be a member of KZ_TCGTriggerEvent enumerated type"},
    {0x2100, "KZ_SetTCGEnable fail: invalid flag (must be a member of XAVO_Boolean enumerated type)"},
    {0x2101, "KZ_SetTCGEnable fail: no TCG curve has been programmed"},
    {0x2200, "KZ_GetTCGTriggerGate fail: invalid gate index flags"},
    {0x2500, "KZ_SetCScanBaseSRAMAddress fail: invalid address (must be 0 to KZ_SYSTEM_RAM_OFFSET - 4 and multiple of 4)"},
    {0x2600, "KZ_SetScanStorageOptions fail: invalid storage options (must be a member of XAVO_ScanStorage enumerated type)"},
    {0x2700, "KZ_SetNumberOfBScansPerBankInternal fail: invalid number of scans (must be 1 to KZ_SRAM_MAXIMUM_NUMBER_OF_BSCANS)"},
    {0x2701, "KZ_SetNumberOfBScansPerBankfail: setNumberOfBScansPerBankIsAutomatic() must be called with XAVO_BFalse"},
    {0x2800, "KZ_SetNumberOfAScansPerBScan fail: invalid number of scans (must be 1 to KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN)"},
    {0x2900, "KZ_SetTCGValues fail: invalid number of values (must be 0 to KZ_MAXIMUM_NUMBER_OF_TCG_VALUES)"},
    {0x2901, "KZ_SetTCGValues fail: invalid value (must be 0 to 255)"},
    {0x2a00, "KZ_SetInputCoupling fail: invalid input coupling (must be a member of KZ_InputCoupling enumerated type)"},
    {0x2b00, "KZ_SetInputImpedance fail: invalid input impedance (must a member of KZ_InputImpedance enumerated type)"},
    {0x2c00, "KZ_SetAnalogueInput fail: invalid analogue input (must a member of KZ_AnalogueInput enumerated type)"},
    {0x2d00, "KZ_GetAnalogueInput fail: analogue input flags"},
    {0x2e00, "KZ_SetAnalogueInputRange fail: invalid analogue gain (must be a member of KZ_AnalogueInputRange enumerated type)"},
    {0x2e02, "KZ_SetAnalogueInputRange fail: analog gain not valid for aux inputs"},
    {0x2e03, "KZ_SetAnalogueInputRange fail: Analog input range can not be changed when running unless kz.ini:- KZdef_AnalogueInputRange = 6 (bug 970)"},
    {0x2e01, "KZ_SetAnalogueInputRange fail: invalid analogue gain flags"},
    {0x2f00, "KZ_SetAToDOutputPortFormat fail: invalid output port format (must be 0 or 1)"},
    {0x2f01, "KZ_SetAToDOutputDataFormat fail: invalid output data format (must be 0 or 1)"},
    {0x3000, "KZ_SetAToDInputVoltageRange fail: invalid input voltage range (must be 0 or 1)"},
    {0x3100, "KZ_SetAToDVrefInputCharacteristics fail: invalid Vref input characteristics (must be 0 or 1)"},
    {0x3200, "KZ_SetDDSKEY fail: invalid DDSKEY (must be 0 or 1)"},
    {0x3201, "KZ_SetDDSFSK fail: invalid DDSFSK (must be 0 or 1)"},
    {0x3300, "KZ_SetCalibrationVoltage fail: invalid calibration voltage (must be a member of KZ_CalibrationVoltage enumerated type"},
    {0x3400, "KZ_SetAuxInput fail: invalid calibration voltage (must be 0 to 3)"},
    {0x3900, "KZ_SetTransducerPulseWidth fail invalid firmware version"},
    {0x3901, "KZ_SetTransducerPulseWidth fail: invalid pulse width (must be 0 to KZ_MAXIMUM_GENERATOR_PULSE_LENGTH)"},
    {0x3a00, "KZ_GetTransducerPulseWidth fail invalid firmware version"},
    {0x3b00, "KZ_SetCalibrationOffset fail: invalid D to A word (must be 0 to 4095)"},
    {0x3b01, "KZ_SetCalibrationOffset fail:  timer could not be queried"},
    {0x3b02, "KZ_SetCalibrationOffset fail: polling time-out"},
    {0x3c00, "KZ_SetCalibrationGain fail: invalid D to A word (must be 0 to 4095)"},
    {0x3c01, "KZ_SetCalibrationGain fail:  timer could not be queried"},
    {0x3c02, "KZ_SetCalibrationGain fail: polling time-out"},
    {0x3d00, "KZ_SetCalibrationDToADestination fail: invalid D to A destination (must be 0 to 3)"},
    {0x3e00, "KZ_SetNumberOfPeriodsBetweenAScanTriggers fail: invalid number of periods (must be 1 to 131072)"},
    {0x3f00, "KZ_SetNumberOfOversamples fail: invalid oversamplingMultiplier (must be 1..20)"},
    {0x4000, "KZ_SetSensorArrayNumberOfElements fail: invalid number of elements (must be 1 to 128)"},
    {0x4100, "KZ_SetSensorArrayApertureSize fail: invalid aperture size (must be a member of KZ_ApertureSize enumerated type"},
    {0x4200, "KZ_SetSensorArrayDIUnitEnableOutputs fail: invalid firmware version"},
    {0x4201, "KZ_SetSensorArrayDIUnitEnableOutputs fail: invalid flag (must be a member of XAVO_Boolean enumerated type"},
    {0x4202, "KZ_GetSensorArrayDIUnitEnableOutputs fail: invalid firmware version"},
    {0x4300, "KZ_SetSensorArrayDisableAperturePositionWrites fail: invalid firmware version"},
    {0x4301, "KZ_SetSensorArrayDisableAperturePositionWrites fail: invalid disable flag (must be a member of XAVO_Boolean enumerated type)"},
    {0x4302, "KZ_GetSensorArrayDisableAperturePositionWrites fail: invalid firmware version"},
    {0x4400, "KZ_SetSensorArrayDisableApertureDelayWrites: invalid firmware version"},
    {0x4401, "KZ_SetSensorArrayDisableApertureDelayWrites fail: invalid disable flag (must be a member of XAVO_Boolean enumerated type)"},
    {0x4402, "KZ_GetSensorArrayDisableApertureDelayWrites fail: invalid firmware version"},
    {0x4500, "KZ_SetIsBScanModeEnabled fail: invalid firmware version"},
    {0x4600, "KZ_SetIsBScanModeEnabled fail: invalid flag (must be a member of XAVO_Boolean enumerated type)"},
    {0x4700, "KZ_SetPingPongSequenceElement fail: invalid element number (must be 0 to 255)"},
    {0x4701, "KZ_SetPingPongSequenceElement fail: invalid sequence position (must be 0 to 127)"},
    {0x4800, "KZ_SetNumberOfEncoderClicksPerBScan fail: invalid number of clicks (must be 1 to 65536)"},
    {0x9100, "KZ_SetFractionalNumberOfEncoderClicksPerBScan: invalid numerator (must be less than 2^unityShift)"},
    {0x4900, "KZ_SetForceBScanTrigger fail: invalid trigger locale (must be internal)"},
    {0x4901, "KZ_SetForceBScanTrigger fail: Query timer error"},
    {0x4902, "KZ_SetForceBScanTrigger fail: Timeout"},
    {0x4a00, "KZ_SetEncoderSelect fail: invalid encoder index (must be 0 to 5)"},
    {0x4b00, "KZ_SetResetEncoderOutput fail: invalid encoder index (must be 0 to 5)"},
    {0x4c00, "KZ_GetEncoderOutputInvalidEncoderIndex fail: invalid encoder index (must be 0 to 5)"},
    {0x4d00, "KZ_AddGate fail: invalid start count (must be -32764 to 32771)"},
    {0x4d01, "KZ_AddGate fail: invalid end count (must be -32764 to 32771)"},
    {0x4d02, "KZ_AddGate fail: invalid threshold (must be 0 to 2047)"},
    {0x4d03, "KZ_AddGate fail: invalid trigger gate (must be a member of KZ_GateTrigger enumerated type and not focus gate index)"},
    {0x4d04, "KZ_AddGate fail: invalid threshold polarity (must be a member of KZ_GateThresholdPolarity enumerated type)"},
    {0x4d05, "KZ_AddGate fail: invalid trigger mode (must be a member of KZ_GateTriggerMode enumerated type)"},
    {0x4d06, "KZ_AddGate fail: invalid distance metric (must be a member of KZ_GateDistanceMetric enumerated type)"},
    {0x4d07, "KZ_AddGate fail: invalid enable (must be a member of KZ_GateTriggerMode enumerated type)"},
    {0x4d08, "KZ_AddGate fail: invalid amplitude peak select (must be a member of KZ_GateAmplitudePeakSelect enumerated type)"},
    {0x4d09, "KZ_AddGate fail: invalid distance peak select (must be a member of KZ_GateDistancePeakSelect enumerated type)"},
    {0x4d0a, "KZ_AddGate fail: invalid gate index (must be 0 to KZ_MAXIMUM_NUMBER_OF_GATES - 1"},
    {0x4d0b, "KZ_AddGate fail: timer could not be queried"},
    {0x4d0c, "KZ_AddGate fail: polling time-out"},
    {0x4d0d, "KZ_AddGate fail: Invalid store gate value"},
    {0x4d12, "KZ_AddGate fail: Invalid Snapshot selection"},
    {0x4d0e, "KZ_AddGate fail: Invalid zero crossing trigger mode"},
    {0x4d0f, "KZ_AddGate fail: KZ_ZCTMEnabled is only valid for sequence compatible firmware"},
    {0x4d10, "KZ_AddGate fail: KZ_SGVAlways is only valid for KZ_GAPSLargestPeak, KZ_GDPSLargestPeak and KZ_GDMPeak"},
    {0x4d11, "KZ_AddGate fail: KZ_ZCTMEnabled is not valid for KZ_GDMPeak"},
    {0x4e00, "KZ_RemoveGate fail: invalid gate index (must be member of KZ_GateIndex enumerated type)"},
    {0x4e01, "KZ_RemoveGate fail: gate does not exist"},
    {0x4f00, "KZ_GetGate fail: invalid index (must be a member of the KZ_GateIndex enumerated type"},
    {0x5000, "KZ_GetGateOutput fail: invalid B-scan index (insufficient B-scans in memory)"},
    {0x5001, "KZ_GetGateOutput fail: invalid A-scan index (insufficient A-scans per B-scan"},
    {0x5002, "KZ_GetGateOutput fail: invalid gate index (gate is not present"},
    {0x5003, "KZ_GetGateOutput fail: invalid gate index (gate is not enabled"},
    {0x5100, "KZ_SetValue fail: invalid property name (see documentation for valid strings)"},
    {0x5200, "KZ_LoadFPGAFromFile fail: malformed settings file (missing value for property)"},
    {0x5201, "KZ_LoadFPGAFromFile fail: oversized string length (line must be less than or equal to 512 characters)"},
    {0x5300, "KZ_LoadGatesFromFile fail: oversized string length (line must be less than or equal to 512 characters)"},
    {0x5301, "KZ_LoadGatesFromFile fail: cannot read from file"},
    {0x5400, "KZ_LoadTCGCurveFromFile fail: oversized string length (line must be less than or equal to 512 characters)"},
    {0x5402, "KZ_LoadTCGCurveFromFile fail: invalid TCG value (must be 0 to 32767)"},
    {0x5401, "KZ_LoadTCGCurveFromFile fail: invalid sequence index (must be 0 to KZ_MAXIMUM_NUMBER_OF_TCG_VALUES - 1)"},
    {0x5403, "KZ_LoadTCGCurveFromFile fail: invalid index prefix (must be \"TCG\")"},
    {0x5404, "KZ_LoadTCGCurveFromFile fail: cannot read from file"},
    {0x5500, "KZ_LoadPingPongSequenceFromFile fail: oversized string length (line must be less than or equal to 512 characters)"},
    {0x5501, "KZ_LoadPingPongSequenceFromFile fail: invalid sequence index (must be 0 to KZ_PINGPONG_SEQUENCE_LENGTH - 1)"},
    {0x5502, "KZ_LoadPingPongSequenceFromFile fail: invalid element index (must be 0 to KZ_PINGPONG_ARRAY_SIZE - 1)"},
    {0x5503, "KZ_LoadPingPongSequenceFromFile fail: invalid index prefix (must be \"PP\")"},
    {0x5504, "KZ_LoadPingPongSequenceFromFile fail: cannot read from file"},
    {0x5600, "KZ_LoadCurvedGateDataFromFile fail: oversized string length (line must be less than or equal to 512 characters)"},
    {0x5601, "KZ_LoadCurvedGateDataFromFile fail: invalid sequence index (must be 0 to 2047)"},
    {0x5602, "KZ_LoadCurvedGateDataFromFile fail: cannot read from file"},
    {0x5603, "KZ_LoadCurvedGateDataFromFile fail: invalid element index (must be 0 to KZ_CURVED_GATE_NUMBER_OF_VALUES - 1)"},
    {0x5604, "KZ_LoadCurvedGateDataFromFile fail: invalid index prefix (must be \"CG\")"},
    {0x5700, "KZ_LoadState fail: cannot open file (check filename)"},
    {0x5701, "KZ_LoadState fail: cannot read from file"},
    {0x5702, "KZ_LoadState fail: oversized section header string length (invalid section header)"},
    {0x5703, "KZ_LoadState fail: cannot close file"},
    {0x5704, "KZ_LoadState fail: missing system parameters"},
    {0x5705, "KZ_LoadState fail: missing sampling parameters"},
    {0x5706, "KZ_LoadState fail: missing peripheral parameters"},
    {0x5707, "KZ_LoadState fail: missing system parameters"},
    {0x5708, "KZ_LoadState fail: missing TCG curve"},
    {0x5709, "KZ_LoadState fail: missing ping-pong table"},
    {0x570a, "KZ_LoadState fail: missing curved gate data"},
    {0x570b, "KZ_SaveState fail: cannot create file"},
    {0x570c, "KZ_SaveState fail: cannot write to file"},
    {0x570d, "KZ_SaveState fail: cannot close file"},
    {0x570e, "KZ_SaveState fail: cannot delete invalid file"},
    {0x570f, "KZ_SaveState fail: TCG has not been initialised"},
    {0x5710, "KZ_SaveState fail: ping-pong has not been initialised"},
    {0x5711, "KZ_SaveState fail: curved gate has not been initialised"},
    {0x5800, "KZ_SetFocusingUnitControl fail: invalid firmware version"},
    {0x5801, "KZ_SetFocusingUnitControl fail: invalid control bus (must be 0 to 7)"},
    {0x5802, "KZ_SetFocusingUnitControl fail: invalid data (must be 0 to 255)"},
    {0x5803, "KZ_SetFocusingUnitControl fail: timer could not be queried"},
    {0x5804, "KZ_SetFocusingUnitControl fail: polling time-out"},
    {0x5900, "KZ_HandleSRAM fail: insufficient SRAM"},
    {0x5a00, "KZ_CheckSRAM fail: insufficient SRAM"},
    {0x5b00, "KZ_GetBScan fail: single A-scan mode (use KZ_SetScanStorageOptions)"},
    {0x5b07, "KZ_GetBScan fail: internal data format error"},
    {0x5b08, "KZ_GetBScan fail: invalid number of B-scans per bank (must be 1, use KZ_SetNumberOfBScansPerBank"},
    {0x5c06, "KZ_GetRawScan fail: memory allocation fail"},
    {0x5c0f, "KZ_GetRawScan fail: NotSupportedOnSequencedFPGA"},
    {0x5c0b, "KZ_GetRawScan fail: invalid number of A-scan samples"},
    {0x5c0c, "KZ_GetRawScan fail: invalid number of B-scans per bank"},
    {0x5c0d, "KZ_GetRawScan fail: invalid number of A-scans per B-scan"},
    {0x5c10, "KZ_GetRawScan fail: not all blocks DMA transferred OK"},
    {0x6000, "KZ_SetAcquisitionMode fail: invalid acquisition mode (must be a member of )"},
    {0x6400, "KZ_SetFlipArray fail: InvalidNumberOfElements"},
    {0x6600, "KZ_SetScanningMode fail: invalid mode"},
    {0x6700, "KZ_SetDigitalOutput fail: an invalid bit number was specified"},
    {0x6800, "KZ_SetSeqenceStep fail: NotSequenceCompatibleFirmware"},
    {0x6801, "KZ_SetSeqenceStep fail: Step must be 0..31"},
    {0x6900, "KZ_GetSeqenceStep fail: NotSequenceCompatibleFirmware"},
    {0x7000, "KZ_SetStepsInSequence fail: NotSequenceCompatibleFirmware"},
    {0x7001, "KZ_SetStepsInSequence fail: Number of steps must be 1..32"},
    {0x7100, "KZ_GetStepsInSequence fail: NotSequenceCompatibleFirmware"},
    {0x7200, "KZ_StartSequence fail: NotSequenceCompatibleFirmware"},
    {0x7300, "KZ_StopSequence fail: NotSequenceCompatibleFirmware"},
    {0x7400, "KZ_SetTCGNormalisedStart fail: Invalid TCG mask mode (value must be > 3"},
    {0x7401, "KZ_SetTCGNormalisedStart fail: TCG point ratio must be < 15"},
    {0x7500, "KZ_SetGateAttributesRegister fail: Bad Distance Metric"},
    {0x8200, "KZ_SetMaximumNumberOfBScansPerBank fail: pBoardState->isAutomaticBScansPerBank is false"},
    {0x8201, "KZ_SetMaximumNumberOfBScansPerBank fail: NotEnoughKelzorMemory"},
    {0x7800, "KZ_Alloc fail: Out of memory"},
    {0x7900, "KZ_ReturnBoardStatePointer fail: Invalid Card Index"},
    {0x8000, "KZ_SetHook fail: No Hooks Left"},
    {0xa500, "KZ_SetBScanRepetitionRate fail: B-scan rate is too high for A-scan rate"},
    {0xa600, "KZ_SetIsDiagnosticMode fail: general error"},
    {0xa601, "Unknown"},
};

TEST(ErrorTableTest, EveryEntryHasItsExactTextInTheFixedOrder) {
    ASSERT_EQ(std::size(kExpected), kz::codeTable.size());
    for (std::size_t i = 0; i < kz::codeTable.size(); ++i) {
        char trace[48];
        std::snprintf(trace, sizeof trace, "entry %zu, code 0x%x", i, kExpected[i].code);
        SCOPED_TRACE(trace);
        EXPECT_EQ(kz::codeTable[i].code, kExpected[i].code);
        EXPECT_STREQ(kz::codeTable[i].message, kExpected[i].message);
        // The lookup stops at this very entry: no earlier entry shadows it.
        EXPECT_EQ(KZ_GetCodeString(kExpected[i].code), kz::codeTable[i].message);
    }
}

TEST(ErrorTableTest, CodesWithoutAnEntryReadAsUnknown) {
    const ErrorCode codes[] = {
        err::CalibrateRangeAllocationFail,  err::MemoryWordAddressOutOfRange,
        err::SetCurvedGateDataAllocationFail, err::SetTcgValuesAllocationFail,
        err::SetPingPongSequenceElementAllocationFail, err::SetSyncPulseModeInvalidMode,
        err::Unknown, 0xffffffff, 0xa602, 0x2,
    };
    for (ErrorCode code : codes) {
        SCOPED_TRACE(code);
        EXPECT_STREQ(KZ_GetCodeString(code), "Unknown");
    }
}

TEST(ErrorTableTest, CodesThatShareATextReadTheSame) {
    EXPECT_STREQ(KZ_GetCodeString(err::GetSystemRegisterOffsetOutOfRange),
                 "KZ_GetSamplingRegister fail: offset out of range");
    EXPECT_STREQ(KZ_GetCodeString(err::GetSamplingRegisterOffsetOutOfRange),
                 "KZ_GetSamplingRegister fail: offset out of range");
    EXPECT_STREQ(KZ_GetCodeString(err::LoadStateMissingSystemParameters2),
                 KZ_GetCodeString(err::LoadStateMissingSystemParameters));
}

class ErrorShimTest : public ::testing::Test {
protected:
    void SetUp() override {
        kz::startErrorService();
        kz::registerCodeStringFunction();
    }
};

TEST_F(ErrorShimTest, ReportedCodesReadBackThroughTheExports) {
    kz::report(err::ReturnBoardStatePointerInvalidCardIndex);
    kz::report(err::MemoryWordAddressOutOfRange);

    EXPECT_EQ(KZ_GetLastError(), 0x1200u);
    ASSERT_EQ(KZ_ReturnNumberOfErrorLogLines(), 2u);
    char buffer[128];
    ASSERT_EQ(KZ_GetErrorLogLine(0, buffer, sizeof buffer), 1u);
    EXPECT_STREQ(buffer, "0x7900 KZ_ReturnBoardStatePointer fail: Invalid Card Index");
    ASSERT_EQ(KZ_GetErrorLogLine(1, buffer, sizeof buffer), 1u);
    EXPECT_STREQ(buffer, "0x1200 Unknown");
    ASSERT_EQ(KZ_GetErrorLogLine(0, buffer, 5), 1u);
    EXPECT_STREQ(buffer, "0x79");
    EXPECT_EQ(KZ_GetErrorLogLine(2, buffer, sizeof buffer), 0u);
    EXPECT_EQ(KZ_GetErrorLogLine(0, nullptr, sizeof buffer), 0u);

    EXPECT_EQ(KZ_ClearErrorLog(), 1u);
    EXPECT_EQ(KZ_GetLastError(), 0u);
    EXPECT_EQ(KZ_ReturnNumberOfErrorLogLines(), 0u);
}

TEST_F(ErrorShimTest, LogLevelsPassThroughInOrder) {
    EXPECT_EQ(KZ_SetLogLevel(3, 5, 2), 1u);
    uint32_t file = 0, app = 0, debugger = 0;
    EXPECT_EQ(KZ_GetLogLevel(&file, &app, &debugger), 1u);
    EXPECT_EQ(file, 3u);
    EXPECT_EQ(app, 5u);
    EXPECT_EQ(debugger, 2u);
    uint32_t onlyDebugger = 0;
    EXPECT_EQ(KZ_GetLogLevel(nullptr, nullptr, &onlyDebugger), 1u);
    EXPECT_EQ(onlyDebugger, 2u);
}

TEST_F(ErrorShimTest, LogLineFormatsOnceWithTheLevel) {
    const std::string longName(400, 'f');
    kz::logLine(1, "Firmware file %s not found", "dsp_v200.bin");
    kz::logLine(5, "Drift detected old %d new %d tolerance %d", 10, -3, 4);
    kz::logLine(4, "%s", "100%n %s");  // the text is not formatted a second time
    kz::logLine(4, "[%s]", longName.c_str());

    const struct {
        uint32_t level;
        std::string text;
    } expected[] = {
        {1, "Firmware file dsp_v200.bin not found"},
        {5, "Drift detected old 10 new -3 tolerance 4"},
        {4, "100%n %s"},
        {4, "[" + longName + "]"},
    };
    ASSERT_EQ(XAVO_ERR_ReturnNumberOfInfoLines(), std::size(expected));
    for (uint32_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        uint32_t level = 0;
        char buffer[1024];
        ASSERT_EQ(XAVO_ERR_GetInfoLine(i, &level, buffer, sizeof buffer), 1u);
        EXPECT_EQ(level, expected[i].level);
        EXPECT_EQ(buffer, expected[i].text);
    }
}

void sampleCallback(uint32_t, const char*) {}

TEST(ErrorLoggingCallbackTest, SetterStoresTheCallbackForTheLibrary) {
    EXPECT_EQ(kz::loggingCallback(), nullptr);
    KZ_SetLoggingCallback(sampleCallback);
    EXPECT_EQ(kz::loggingCallback(), &sampleCallback);
    KZ_SetLoggingCallback(nullptr);
    EXPECT_EQ(kz::loggingCallback(), nullptr);
}

}  // namespace
