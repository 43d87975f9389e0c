#include "card_report.h"

#include "library.h"

namespace kzctl {

namespace {

constexpr std::uint32_t kSixteenBitStorage = 0;

std::uint32_t bytesPerSampleOf(std::uint32_t storageMode) {
    return storageMode == kSixteenBitStorage ? 2 : 1;
}

} // namespace

Firmware readFirmware(std::uint32_t card) {
    Firmware f;
    f.systemVersion = get<std::uint32_t>(KZ_GetSystemFirmwareVersion, card, "KZ_GetSystemFirmwareVersion");
    f.samplingVersion = get<std::uint32_t>(KZ_GetSamplingFirmwareVersion, card, "KZ_GetSamplingFirmwareVersion");
    f.samplingRevision = get<std::uint32_t>(KZ_GetSamplingFirmwareRevision, card, "KZ_GetSamplingFirmwareRevision");
    f.peripheralVersion =
        get<std::uint32_t>(KZ_GetPeripheralFirmwareVersion, card, "KZ_GetPeripheralFirmwareVersion");
    f.peripheralRevision =
        get<std::uint32_t>(KZ_GetPeripheralFirmwareRevision, card, "KZ_GetPeripheralFirmwareRevision");
    return f;
}

BScanShape readBScanShape(std::uint32_t card, bool sequenceCompatible) {
    BScanShape shape;
    shape.aScansPerBScan = get<std::uint32_t>(KZ_GetNumberOfAScansPerBScan, card, "KZ_GetNumberOfAScansPerBScan");
    const auto mode = get<std::uint32_t>(KZ_GetSampleStorageMode, card, "KZ_GetSampleStorageMode");
    const auto rectifier = get<std::uint32_t>(KZ_GetRectifierMode, card, "KZ_GetRectifierMode");
    shape.bytesPerSample = bytesPerSampleOf(mode);
    shape.type = sampleTypeOf(shape.bytesPerSample, rectifier, KZ_ReturnIsSignAndMag(card) != 0);

    // The card counts A-scans with their oversamples: positions are taken until their
    // oversamples add up to that count. With sequence-compatible firmware position k is
    // sequence step k; the older firmware has one oversample count for all positions.
    std::uint32_t counted = 0;
    for (std::uint32_t k = 0; counted < shape.aScansPerBScan && k < KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN;
         ++k) {
        PositionShape p;
        const std::uint32_t oversamples = KZ_ReturnOversampleCountThisStep(card, sequenceCompatible ? k : 0);
        p.oversamples = oversamples == 0 ? 1 : oversamples;
        p.sampleValues = KZ_ReturnAScanSampleValuesThisStep(card, k);
        const std::uint32_t perOversample = p.sampleValues / p.oversamples;
        p.samples = samplesInRecord(std::size_t{p.sampleValues} * shape.bytesPerSample, perOversample,
                                    shape.bytesPerSample);
        shape.positions.push_back(p);
        counted += p.oversamples;
    }
    return shape;
}

CardReport readCardReport(std::uint32_t card) {
    CardReport r;
    r.card = card;
    const BoardState* board = KZ_ReturnBoardStatePointer(card);
    check(board != nullptr ? 1 : 0, "KZ_ReturnBoardStatePointer");
    r.sequenceCompatible = board->isSequenceCompatibleFirmware != 0;
    r.calibratedRangeMask = board->calibratedRangeMask;
    for (std::size_t i = 0; i < r.calibrationOffsetWords.size(); ++i) {
        r.calibrationOffsetWords[i] = board->calibrationOffsetWord[i];
        r.calibrationGainWords[i] = board->calibrationGainWord[i];
    }

    r.serialNumber = get<std::uint32_t>(KZ_GetSerialNumber, card, "KZ_GetSerialNumber");
    r.firmware = readFirmware(card);
    if (r.sequenceCompatible) {
        r.sequenceStep = get<std::uint32_t>(KZ_GetSequenceStep, card, "KZ_GetSequenceStep");
    }

    r.samplingFrequencyHz = get<std::uint32_t>(KZ_GetSamplingFrequency, card, "KZ_GetSamplingFrequency");
    r.analogueInput = get<std::uint32_t>(KZ_GetAnalogueInput, card, "KZ_GetAnalogueInput");
    r.inputRange = get<std::uint32_t>(KZ_GetAnalogueInputRange, card, "KZ_GetAnalogueInputRange");
    r.zeroOffset = get<std::int32_t>(KZ_GetZeroOffset, card, "KZ_GetZeroOffset");

    r.numberOfSamples = get<std::uint32_t>(KZ_GetNumberOfSamples, card, "KZ_GetNumberOfSamples");
    r.startDelay = get<std::uint32_t>(KZ_GetStartDelay, card, "KZ_GetStartDelay");
    r.dropCount = get<std::uint32_t>(KZ_GetDropNumberOfSamples, card, "KZ_GetDropNumberOfSamples");
    r.oversamples = get<std::uint32_t>(KZ_GetNumberOfOversamples, card, "KZ_GetNumberOfOversamples");
    r.storageMode = get<std::uint32_t>(KZ_GetSampleStorageMode, card, "KZ_GetSampleStorageMode");
    r.rectifierMode = get<std::uint32_t>(KZ_GetRectifierMode, card, "KZ_GetRectifierMode");
    r.signAndMagnitude = KZ_ReturnIsSignAndMag(card) != 0;

    r.repetitionRateHz = get<std::uint32_t>(KZ_GetRepetitionRate, card, "KZ_GetRepetitionRate");
    r.bScanRepetitionRate = get<std::uint32_t>(KZ_GetBScanRepetitionRate, card, "KZ_GetBScanRepetitionRate");
    r.triggerSelect = get<std::uint32_t>(KZ_GetTriggerSelect, card, "KZ_GetTriggerSelect");

    r.scanStorageOption = get<std::uint32_t>(KZ_GetScanStorageOptions, card, "KZ_GetScanStorageOptions");
    r.bScansPerBank = get<std::uint32_t>(KZ_GetNumberOfBScansPerBank, card, "KZ_GetNumberOfBScansPerBank");
    r.aScanBytesPerBScan = KZ_ReturnAScanBytesPerBScan(card);
    r.gateBytesPerBScan = KZ_ReturnGateBytesPerBScan(card);
    r.shape = readBScanShape(card, r.sequenceCompatible);

    // Gates of the channel in use: the current sequence step, or channel 0 for the older
    // firmware (which keeps the same gates in every channel).
    r.gateChannel = r.sequenceCompatible ? r.sequenceStep : 0;
    const std::uint32_t maximumGates = KZ_ReturnMaximumNumberOfGates(r.sequenceCompatible ? 1 : 0);
    for (std::uint32_t g = 0; g < maximumGates; ++g) {
        EnabledGate entry;
        entry.channel = r.gateChannel;
        clearErrors();
        check(KZ_GetGate2(card, r.gateChannel, static_cast<std::int32_t>(g), &entry.gate), "KZ_GetGate2");
        if (entry.gate.enabled != 0) {
            r.gates.push_back(entry);
        }
    }

    r.tcgEnable = get<std::uint32_t>(KZ_GetTCGEnable, card, "KZ_GetTCGEnable");
    r.tcgTriggerEvent = get<std::uint32_t>(KZ_GetTCGTriggerEvent, card, "KZ_GetTCGTriggerEvent");
    std::uint16_t* values = nullptr;
    std::uint32_t count = 0;
    if (KZ_GetTCGValues(card, &values, &count) != 0) {
        r.tcgValueCount = count;
    }
    return r;
}

} // namespace kzctl
