// The defaults of a card's record, filled as the first step of its initialisation.
#include <cstdio>
#include <cstring>
#include <string>

#include "XAVOKZ.h"
#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/configuration.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "frame/hooks.h"
#include "gates/gates.h"

namespace kz {

namespace {

// Sampling firmware version words from this one on are sequence-compatible.
constexpr std::int32_t kFirstSequenceCompatibleVersion = 0x200;
constexpr std::uint32_t kRevisionMask = 0xFF;

// Oldest revisions each generation accepts.
constexpr std::uint32_t kSequencedMinimumSamplingRevision = 0x25;
constexpr std::uint32_t kSequencedMinimumPeripheralRevision = 0x1F;
constexpr std::int32_t kRefusedSequencedPeripheralVersion = 0x220;
constexpr std::uint32_t kOlderMinimumSamplingRevision = 0x21;
constexpr std::uint32_t kOlderMinimumPeripheralRevision = 0x14;
constexpr std::uint32_t kOlderFirstTestPatternRevision = 0x24;

constexpr std::uint32_t kDefaultEncoderControl = 0x70050;
constexpr std::uint32_t kDefaultBScanRepetitionRate = 10;
constexpr std::uint32_t kDefaultTriggerDelay = 0x10000; // start delay 0, internal A-scan trigger
constexpr std::uint32_t kDefaultRange = 3;
constexpr std::uint32_t kDefaultPositionWord = 4;
constexpr std::uint32_t kSinglePrecisionOne = 0x3F800000;

// Decides the firmware generation; false when the pair is too old. The flags are written
// either way.
bool classifyFirmware(BoardState& board, std::int32_t dspVersion, std::int32_t perVersion)
{
    const auto dspRevision = static_cast<std::uint32_t>(dspVersion) & kRevisionMask;
    const auto perRevision = static_cast<std::uint32_t>(perVersion) & kRevisionMask;
    if (dspVersion >= kFirstSequenceCompatibleVersion) {
        board.isSequenceCompatibleFirmware = 1;
        if (dspRevision < kSequencedMinimumSamplingRevision || perRevision < kSequencedMinimumPeripheralRevision ||
            perVersion == kRefusedSequencedPeripheralVersion) {
            return false;
        }
        board.hasExtraHeaderWord = 0;
        return true;
    }
    board.isSequenceCompatibleFirmware = 0;
    if (dspRevision < kOlderMinimumSamplingRevision || perRevision < kOlderMinimumPeripheralRevision) {
        return false;
    }
    board.hasExtraHeaderWord = 1;
    if (dspRevision >= kOlderFirstTestPatternRevision) {
        board.supportsTestPatternMode = 1;
    }
    return true;
}

std::uint16_t configured16(config::Key key) { return static_cast<std::uint16_t>(config::readInteger(key)); }

void fillDefaults(BoardState& board)
{
    board.currentSequenceStep = 0;
    board.analogueControlShadow = static_cast<std::uint32_t>(config::readInteger(config::Key::PeripheralRegister));
    board.encoderControlShadow = kDefaultEncoderControl;
    board.bScanRepetitionRate = kDefaultBScanRepetitionRate;
    board.triggerDelayShadow = kDefaultTriggerDelay;
    // Tables of an earlier initialisation are dropped; the setters build them anew.
    releaseTable(board.pingPongElements);
    releaseTable(board.pingPongOrder);
    releaseTable(board.pingPongPositionOfOrder);
    releaseTable(board.tcgValues);
    board.tcgValueCount = 0;
    releaseTable(board.curvedGateData);
    for (auto& offset : board.zeroOffset) {
        offset = 0;
    }
    board.currentRange = kDefaultRange;
    board.analogueInputRange = kDefaultRange; // the range the record names, from the start
    for (auto& count : board.oversampleCount) {
        count = 1;
    }
    const std::uint32_t gates = maximumNumberOfGates(board.isSequenceCompatibleFirmware);
    for (auto& channel : board.gateTable) {
        for (std::uint32_t g = 0; g < gates; ++g) {
            channel[g] = defaultGate(g);
        }
    }
    board.flipArrayElements = 0;
    board.numberOfAScansPerBScan = 1;
    board.numberOfBScansPerBank = 0;
    const std::string diagnostics = config::readString(config::Key::DiagnosticsFilename);
    std::snprintf(board.diagnosticsFileName, sizeof board.diagnosticsFileName, "%s", diagnostics.c_str());
    board.noiseFilterParameters[0] = 0;
    board.noiseFilterParameters[1] = kSinglePrecisionOne;
    board.isAutomaticBScansPerBank = 1;
    for (std::uint32_t k = 0; k < KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN; ++k) {
        board.aScanOffset[k] = kDefaultPositionWord;
        board.aScanSampleValues[k] = kDefaultPositionWord;
        board.aScanSampleSpan[k] = kDefaultPositionWord;
        board.enabledGateCount[k] = 0;
        board.gateOffset[k] = 0;
    }
    board.sampleDecimation = 1;
    board.aScanBytesPerBScan = 0;
    board.gateBytesPerBScan = 0;
    board.gainTweakPlus20 = configured16(config::Key::GainTweakPlus20);
    board.gainTweakMinus20 = configured16(config::Key::GainTweakMinus20);
    board.gainTweakMinus40 = configured16(config::Key::GainTweakMinus40);
    for (std::uint32_t i = 0; i < KZ_NUMBER_OF_TEST_NAMES; ++i) {
        std::snprintf(board.testNames[i], sizeof board.testNames[i], "Test %u", i);
    }
    board.tcgPointsPerStep = KZ_TCG_POINTS_PER_STEP;
}

} // namespace

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_StructuresInitialise(uint32_t cardIndex, int32_t dspVersion, int32_t perVersion)
{
    BoardState* board = kz::boardInRange(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    if (board->isInitialised != 0) {
        const kz::CardGuard guard(cardIndex);
        kz::report(kz::err::InitialiseAlreadyInitialised);
        return 0;
    }
    kz::createLock(cardIndex);
    const kz::CardGuard guard(cardIndex);
    board->isSignAndMag = 0;
    board->supportsTestPatternMode = 0;
    if (!kz::classifyFirmware(*board, dspVersion, perVersion)) {
        kz::report(kz::err::InitialiseFirmwareVersionTooOld);
        return 0;
    }
    if (!kz::allocateHooks(*board)) {
        return 0;
    }
    kz::fillDefaults(*board);
    return 1;
}

} // extern "C"
