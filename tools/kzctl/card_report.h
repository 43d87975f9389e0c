// What kzctl reads back from an initialised card: its firmware, its acquisition settings, its
// layout, gates and TCG. `kzctl info` prints it; `kzctl acquire` stores it with the scans.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "XAVOKZ.h"
#include "bscan.h"

namespace kzctl {

struct Firmware {
    std::uint32_t systemVersion = 0;
    std::uint32_t samplingVersion = 0;
    std::uint32_t samplingRevision = 0;
    std::uint32_t peripheralVersion = 0;
    std::uint32_t peripheralRevision = 0;
};

struct EnabledGate {
    std::uint32_t channel = 0;
    GateDefinition gate{};
};

struct CardReport {
    std::uint32_t card = 0;
    std::uint32_t serialNumber = 0;
    Firmware firmware;
    bool sequenceCompatible = false;
    std::uint32_t sequenceStep = 0;

    std::uint32_t samplingFrequencyHz = 0;
    std::uint32_t analogueInput = 0;
    std::uint32_t inputRange = 0;
    std::int32_t zeroOffset = 0;
    std::uint32_t calibratedRangeMask = 0;
    std::array<std::int16_t, KZ_NUMBER_OF_ANALOGUE_RANGES> calibrationOffsetWords{};
    std::array<std::int16_t, KZ_NUMBER_OF_ANALOGUE_RANGES> calibrationGainWords{};

    std::uint32_t numberOfSamples = 0;
    std::uint32_t startDelay = 0;
    std::uint32_t dropCount = 0;
    std::uint32_t oversamples = 0;
    std::uint32_t storageMode = 0;
    std::uint32_t rectifierMode = 0;
    bool signAndMagnitude = false;

    std::uint32_t repetitionRateHz = 0;
    std::uint32_t bScanRepetitionRate = 0;
    std::uint32_t triggerSelect = 0;

    std::uint32_t scanStorageOption = 0;
    std::uint32_t bScansPerBank = 0;
    std::uint32_t aScanBytesPerBScan = 0;
    std::uint32_t gateBytesPerBScan = 0;
    BScanShape shape;

    std::uint32_t gateChannel = 0;
    std::vector<EnabledGate> gates;

    std::uint32_t tcgEnable = 0;
    std::uint32_t tcgTriggerEvent = 0;
    std::uint32_t tcgValueCount = 0;
};

Firmware readFirmware(std::uint32_t card);

// Reads everything above from an initialised card; a failing getter throws its LibraryError.
CardReport readCardReport(std::uint32_t card);

// The positions of a B-scan and the bytes KZ_GetBScan moves for each, from the card's layout.
BScanShape readBScanShape(std::uint32_t card, bool sequenceCompatible);

} // namespace kzctl
