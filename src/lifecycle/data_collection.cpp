#include "lifecycle/data_collection.h"

#include <cstddef>

#include "XAVODataCollection.h"
#include "XAVOKZ.h"
#include "frame/board_table.h"
#include "frame/relaxed_field.h"

namespace kz::dc {

namespace {

// The binding record: nine 32-bit words, then twenty callbacks a pointer wide each.
static_assert(offsetof(DC_BindingRecord, reserved) == 8 * sizeof(std::uint32_t));
static_assert(offsetof(DC_BindingRecord, lock) == 40, "the callbacks start at the first 8-byte boundary");
static_assert(offsetof(DC_BindingRecord, snapshotSelectionForGate) == 40 + 19 * sizeof(void*));
static_assert(sizeof(DC_BindingRecord) == 40 + 20 * sizeof(void*));

constexpr std::uint32_t kReserved = 0;

// The snapshot selection of a channel's gate, handed to the service with the layout queries. No
// lock, no range check beyond the tables; 0 when the card is not found.
std::uint32_t snapshotSelectionForGate(std::uint32_t cardIndex, std::uint32_t channel, std::uint32_t gate)
{
    const BoardState* board = lookUpBoard(cardIndex);
    if (board == nullptr || channel >= KZ_NUMBER_OF_GATE_CHANNELS || gate >= KZ_MAXIMUM_NUMBER_OF_GATES) {
        return 0;
    }
    return static_cast<std::uint32_t>(loadRelaxed(board->gateTable[channel][gate].snapshotSelection));
}

DC_BindingRecord bindingRecord(bool sequenced)
{
    DC_BindingRecord r{};
    r.recordVersion = DC_RECORD_VERSION;
    r.statusRegister = DC_STATUS_REGISTER_ADDRESS;
    r.cardTypeTag = DC_CARD_TYPE_TAG;
    r.modeCode = sequenced ? DC_MODE_CODE_SNAPSHOT : DC_MODE_CODE_COLLECT;
    r.maximumSamples = DC_MAXIMUM_SAMPLES_PER_ASCAN;
    r.snapshotSelections = DC_SNAPSHOT_SELECTIONS;
    r.isCollectMode = sequenced ? 0 : 1;
    r.cardsPerBinding = DC_CARDS_PER_BINDING;
    r.reserved = kReserved;
    r.lock = KZ_Lock;
    r.unlock = KZ_Unlock;
    r.getNumberOfBScansInSram = KZ_GetNumberOfBScansInSRAM;
    r.unused = nullptr;
    r.getCScanBaseAddress = KZ_GetCScanBaseSRAMAddress;
    r.getAScanBaseAddress = KZ_GetAScanBaseSRAMAddress;
    r.setUpdateSampleParametersHook = KZ_SetUpdateSampleParametersHook;
    r.resetFirmware = KZ_ResetFirmware;
    r.dataFullRecovery = KZ_DataFullRecovery;
    r.getSampleStorageMode = KZ_GetSampleStorageMode;
    r.getScanStorageOptions = KZ_GetScanStorageOptions;
    r.copyStateToRawScan = KZ_CopyStateToRawScan;
    r.oversampleCountThisStep = KZ_ReturnOversampleCountThisStep;
    r.aScanSampleValuesThisStep = KZ_ReturnAScanSampleValuesThisStep;
    r.gateOffsetThisStep = KZ_ReturnGateOffsetThisStep;
    r.gateBytesPerBScan = KZ_ReturnGateBytesPerBScan;
    r.aScanOffsetThisStep = KZ_ReturnAScanOffsetThisStep;
    r.aScanBytesPerBScan = KZ_ReturnAScanBytesPerBScan;
    r.isSignAndMagnitude = KZ_ReturnIsSignAndMag;
    r.snapshotSelectionForGate = snapshotSelectionForGate;
    return r;
}

} // namespace

std::uint32_t bind(std::uint32_t sequenced)
{
    // The record lives for the call only; the service keeps its own copy.
    const DC_BindingRecord record = bindingRecord(sequenced != 0);
    const std::uint32_t bound = sequenced != 0 ? DC_SnapshotInitialise(&record) : DC_CollectInitialise(&record);
    return bound != 0 ? 1 : 0;
}

void unbind(std::uint32_t isSequenceCompatibleFirmware)
{
    if (isSequenceCompatibleFirmware == 1) {
        DC_SnapshotUninitialise();
    } else {
        DC_CollectUninitialise();
    }
}

std::uint32_t getIsSampleDataAvailable(std::uint32_t cardIndex, std::uint32_t* flag)
{
    if (flag == nullptr) {
        return 0;
    }
    return DC_GetIsSampleDataAvailable(cardIndex, flag) != 0 ? 1 : 0;
}

std::uint32_t waitForBankSwap(std::uint32_t cardIndex) { return DC_WaitForBankSwap(cardIndex); }

std::uint32_t getAScanNoBankSwap(std::uint32_t cardIndex, void* buffer, std::uint32_t byteCount,
                                 std::uint32_t aScanIndex, std::uint32_t bScanIndex)
{
    return DC_GetAScanNoBankSwap(cardIndex, buffer, byteCount, aScanIndex, bScanIndex);
}

std::uint32_t indicateSampleDataDownloaded(std::uint32_t cardIndex) { return DC_IndicateSampleDataDownloaded(cardIndex); }

std::uint32_t setRequestEarlySampleData(std::uint32_t cardIndex) { return DC_SetRequestEarlySampleData(cardIndex); }

} // namespace kz::dc
