// The raw-scan export: how the card lays out and means its captured data, for the raw-scan
// service, part in the host's record and part in the service's internal record of it.
#include <cstddef>
#include <cstring>

#include "XAVOKZ.h"
#include "frame/board_table.h"
#include "gates/gates.h"
#include "retrieval/raw_scan.h"

namespace {

// The host's record, shared with the raw-scan service byte for byte.
static_assert(offsetof(XAVO_RawScan, cardIndex) == 0x000);
static_assert(offsetof(XAVO_RawScan, isSequenceCompatibleFirmware) == 0x004);
static_assert(offsetof(XAVO_RawScan, aScanSampleValues) == 0x008);
static_assert(offsetof(XAVO_RawScan, sampleDecimation) == 0x208);
static_assert(offsetof(XAVO_RawScan, numberOfAScansPerBScan) == 0x20C);
static_assert(offsetof(XAVO_RawScan, numberOfBScansInSram) == 0x210);
static_assert(offsetof(XAVO_RawScan, numberOfBScansToConvert) == 0x214);
static_assert(offsetof(XAVO_RawScan, scanStorageOption) == 0x218);
static_assert(offsetof(XAVO_RawScan, sampleStorageMode) == 0x21C);
static_assert(offsetof(XAVO_RawScan, gates) == 0x220);
static_assert(sizeof(XAVO_RawScanGate) == 20);
static_assert(sizeof(XAVO_RawScan::gates[0]) == 160, "eight gates of 20 bytes per channel");
static_assert(offsetof(XAVO_RawScan, enabledGateCount) == 0x5220);
static_assert(sizeof(XAVO_RawScan) == 0x5220 + 4 * KZ_NUMBER_OF_GATE_CHANNELS);
static_assert(sizeof(XAVO_RawScan::aScanSampleValues) == sizeof(BoardState::aScanSampleValues));

// Scan storage options 0 and 2 keep whole banks; 1 and 3 a single A-scan.
bool storesWholeBank(std::uint32_t option) { return option == 0 || option == 2; }

XAVO_RawScanGate describe(const GateDefinition& gate)
{
    if (gate.enabled != 1) {
        return {0, 0, 1, 1, KZ_GATE_TRIGGER_NONE};
    }
    return {static_cast<std::uint32_t>(gate.snapshotSelection), 1, gate.distanceMetric == KZ_GDMPeak ? 1u : 0u,
            gate.storeGateValue == 0 ? 1u : 0u, gate.triggerGate};
}

} // namespace

extern "C" {

// Reads the card's record without a look-up and without the card's lock; the getters it calls
// take the lock for their own reads only.
KZ_API uint32_t KZ_CopyStateToRawScan(uint32_t cardIndex, XAVO_RawScan* rawScan, uint32_t withCounts)
{
    if (rawScan == nullptr) {
        return 0;
    }
    // The service is asked first, before the card index is looked at.
    kz::rawscan::InternalRecord* internal = kz::rawscan::internalRecordOf(rawScan);
    if (internal == nullptr) {
        return 0;
    }
    const BoardState* board = kz::boardInRange(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    rawScan->numberOfAScansPerBScan = board->numberOfAScansPerBScan;
    if (KZ_GetScanStorageOptions(cardIndex, &rawScan->scanStorageOption) == 0 ||
        KZ_GetSampleStorageMode(cardIndex, &rawScan->sampleStorageMode) == 0) {
        return 0;
    }
    if (withCounts != 0) {
        if (KZ_GetNumberOfBScansInSRAM(cardIndex, &rawScan->numberOfBScansInSram) == 0) {
            return 0;
        }
        rawScan->numberOfBScansToConvert =
            storesWholeBank(rawScan->scanStorageOption) ? rawScan->numberOfBScansInSram : 1;
    }
    rawScan->cardIndex = cardIndex;
    rawScan->isSequenceCompatibleFirmware = board->isSequenceCompatibleFirmware;
    std::memcpy(rawScan->aScanSampleValues, board->aScanSampleValues, sizeof(rawScan->aScanSampleValues));
    rawScan->sampleDecimation = board->sampleDecimation;

    kz::rawscan::fillInternalRecord(*internal, *board);

    // Gates beyond the firmware's number per channel are left as the host had them.
    const std::uint32_t gates = kz::maximumNumberOfGates(board->isSequenceCompatibleFirmware);
    for (std::uint32_t c = 0; c < KZ_NUMBER_OF_GATE_CHANNELS; ++c) {
        std::uint32_t enabled = 0;
        for (std::uint32_t g = 0; g < gates; ++g) {
            rawScan->gates[c][g] = describe(board->gateTable[c][g]);
            enabled += board->gateTable[c][g].enabled == 1 ? 1 : 0;
        }
        rawScan->enabledGateCount[c] = enabled;
    }
    return 1;
}

} // extern "C"
