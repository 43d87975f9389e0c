// One call from power-up to a calibrated, running acquisition, and the shutdown that undoes it.
#include "lifecycle/initialisation.h"

#include <array>
#include <atomic>
#include <numeric>
#include <string>

#include "XAVOKZ.h"
#include "acquisition/sampling.h"
#include "acquisition/sequence_step.h"
#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/configuration.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "frontend/analogue_input.h"
#include "frontend/calibration.h"
#include "hardware/enumeration.h"
#include "hardware/hal.h"
#include "hardware/registers.h"
#include "hardware/sample_clock.h"
#include "lifecycle/data_collection.h"
#include "lifecycle/firmware_download.h"
#include "platform/platform.h"
#include "retrieval/raw_scan.h"

namespace kz {

namespace {

// Library-wide; written by the host through KZ_SetInitialisationStatusCallback.
std::atomic<KZ_InitialisationStatusCallback> statusCallback{nullptr};

// The older generation's firmware pair, used by the non-sequenced initialisation.
constexpr std::int32_t kNonSequencedDspVersion = 0x125;
constexpr std::int32_t kNonSequencedPerVersion = 0x16;

constexpr std::uint32_t kStepPauseMs = 1;

// The sample clock: 66 MHz from the synthesiser, whose control registers 0x1D-0x20 are written
// first; up to 10 attempts of up to 10 tries each for it to lock.
constexpr std::uint32_t kSampleClockHz = 66'000'000;
struct SynthesiserWrite {
    std::uint32_t value;
    std::uint32_t address;
};
constexpr std::array<SynthesiserWrite, 4> kSynthesiserControl = {{{0x00, 0x1D}, {0x44, 0x1E}, {0x01, 0x1F}, {0x50, 0x20}}};
constexpr std::uint32_t kClockAttempts = 10;
constexpr std::uint32_t kClockTries = 10;

// The revision's low 8 bits are all the version check compares.
constexpr std::uint32_t kRevisionBits = 0xFF;
constexpr std::uint32_t kVersionShift = 8;

// Configured input range: 999 takes the caller's fallback, 6 calibrates every range.
constexpr std::int32_t kRangeOfCaller = 999;
constexpr std::uint32_t kEveryRange = KZ_NUMBER_OF_ANALOGUE_RANGES;

constexpr std::uint16_t kOneTcgPoint = 255;
constexpr std::uint32_t kTriggerInternal = 1;
constexpr std::int32_t kTransducerInput = 1;

// The folder of the library's own file, with its trailing separator; empty when unknown.
std::string libraryFolder()
{
    const std::string path = platform::ownModulePath();
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

// The sample clock, step by step as the initialisation brings it up. Returns false when a call
// failed (the initialisation fails); `locked` tells whether the last attempt succeeded.
bool bringUpSampleClock(std::uint32_t cardIndex, bool* locked)
{
    *locked = false;
    for (std::uint32_t attempt = 0; attempt < kClockAttempts && !*locked; ++attempt) {
        std::uint32_t stable = 0;
        for (std::uint32_t attemptTry = 0; attemptTry < kClockTries && stable == 0; ++attemptTry) {
            for (const SynthesiserWrite& w : kSynthesiserControl) {
                if (setSynthesiserRegister(cardIndex, w.value, w.address) == 0) {
                    return false;
                }
            }
            if (KZ_SetSamplingFrequency(cardIndex, kSampleClockHz) == 0) {
                return false;
            }
            platform::sleepMilliseconds(kStepPauseMs);
            if (KZ_GetHasSampleClockStabilised(cardIndex, &stable) == 0) {
                return false;
            }
        }
        if (stable == 0) {
            report(err::InitialiseSampleClockNotStable);
            continue;
        }
        platform::sleepMilliseconds(kStepPauseMs);
        *locked = setBankRegister(Bank::Peripheral, cardIndex, reg::per::kSensorArray, 0) != 0;
    }
    return true;
}

// Whether the firmware that answers is the pair that was loaded; false also when a version
// register cannot be read.
bool firmwareAnswers(std::uint32_t cardIndex, std::int32_t dspVersion, std::int32_t perVersion, bool* matches)
{
    std::uint32_t samplingVersion = 0;
    std::uint32_t samplingRevision = 0;
    std::uint32_t peripheralVersion = 0;
    std::uint32_t peripheralRevision = 0;
    if (KZ_GetSamplingFirmwareVersion(cardIndex, &samplingVersion) == 0 ||
        KZ_GetSamplingFirmwareRevision(cardIndex, &samplingRevision) == 0 ||
        KZ_GetPeripheralFirmwareVersion(cardIndex, &peripheralVersion) == 0 ||
        KZ_GetPeripheralFirmwareRevision(cardIndex, &peripheralRevision) == 0) {
        return false;
    }
    const auto answer = [](std::uint32_t version, std::uint32_t revision) {
        return version << kVersionShift | (revision & kRevisionBits);
    };
    *matches = static_cast<std::uint32_t>(dspVersion) == answer(samplingVersion, samplingRevision) &&
               static_cast<std::uint32_t>(perVersion) == answer(peripheralVersion, peripheralRevision);
    return true;
}

// The card holds the sample count the record holds in every step it runs: whatever count a
// card powers up with, the settings that follow start from the record's.
bool matchSampleCountsToRecord(BoardState& board, std::uint32_t cardIndex)
{
    const CardGuard guard(cardIndex);
    std::uint32_t mode = 0;
    if (getSampleStorageMode(cardIndex, &mode) == 0) {
        return false;
    }
    const std::uint32_t steps = board.isSequenceCompatibleFirmware != 0 ? KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS : 1;
    for (std::uint32_t step = 0; step < steps; ++step) {
        const std::uint32_t oversamples = oversamplesOfStep(board, step);
        if (oversamples == 0 || (board.isSequenceCompatibleFirmware != 0 && setSequenceStep(board, cardIndex, step) == 0)) {
            return false;
        }
        const std::uint32_t words = board.aScanSampleValues[step] / oversamples / samplesPerWordOf(mode);
        if (setField(Bank::Sampling, cardIndex, reg::smp::kSampleControl, reg::smp::kSampleWordsPlusOne, words + 1) ==
            0) {
            return false;
        }
    }
    return true;
}

// The analogue input range the configuration names, calibrated and selected with its words.
bool calibrateAndSelectRange(std::uint32_t cardIndex, std::uint32_t range)
{
    if (range == kEveryRange) {
        for (std::uint32_t r = 0; r < KZ_NUMBER_OF_ANALOGUE_RANGES; ++r) {
            if (calibrateRange(cardIndex, r) == 0) {
                return false;
            }
        }
        return setAnalogueInputRangeAndWords(cardIndex, 0) != 0;
    }
    return calibrateRange(cardIndex, range) != 0 && setAnalogueInputRangeAndWords(cardIndex, range) != 0;
}

// The settings of a card that runs its firmware and is bound to the data collection.
bool makeSettings(BoardState& board, std::uint32_t cardIndex, std::uint32_t fallbackRange, bool sequenced)
{
    KZ_ClearOutOfRangeAccessCount(cardIndex);
    std::array<std::uint16_t, KZ_PINGPONG_SEQUENCE_LENGTH> identity{};
    std::iota(identity.begin(), identity.end(), std::uint16_t{0});
    releaseTable(board.pingPongElements);
    releaseTable(board.pingPongOrder);
    releaseTable(board.pingPongPositionOfOrder);
    // A card whose table could not be written would fire other elements than the record names.
    if (KZ_SetPingPongSequence(cardIndex, identity.data(), identity.data()) == 0) {
        return false;
    }

    if (sequenced && KZ_SetStepsInSequence(cardIndex, 1) == 0) {
        return false;
    }
    // Per-step settings made after the initialisation go to the one step the sequencer runs.
    if (!matchSampleCountsToRecord(board, cardIndex) || (sequenced && KZ_SetSequenceStep(cardIndex, 0) == 0)) {
        return false;
    }
    if (KZ_SetRepetitionRate(cardIndex, static_cast<std::uint32_t>(config::readInteger(config::Key::RepetitionRate))) ==
            0 ||
        KZ_SetAnalogueInput(cardIndex, kTransducerInput) == 0) {
        return false;
    }
    const std::int32_t configured = config::readInteger(config::Key::AnalogueInputRange);
    const std::uint32_t range = configured == kRangeOfCaller ? fallbackRange : static_cast<std::uint32_t>(configured);
    selectInputRange(cardIndex, 0);
    if (!calibrateAndSelectRange(cardIndex, range)) {
        return false;
    }
    return KZ_SetZeroOffset(cardIndex, config::readInteger(config::Key::DcOffset)) != 0 &&
           KZ_SetSensorArrayApertureSize(cardIndex, static_cast<std::uint32_t>(config::readInteger(config::Key::ApertureSize))) !=
               0;
}

// The outcome of the sequence: whether it succeeded, and whether a failure shuts the card down.
enum class Outcome { Ready, Failed, FailedWithoutShutdown };

Outcome runSequence(std::uint32_t cardIndex, std::uint32_t fallbackRange, bool sequenced)
{
    const std::int32_t dspVersion = sequenced ? config::readInteger(config::Key::DspVersion) : kNonSequencedDspVersion;
    const std::int32_t perVersion = sequenced ? config::readInteger(config::Key::PerVersion) : kNonSequencedPerVersion;
    if (KZ_StructuresInitialise(cardIndex, dspVersion, perVersion) == 0) {
        return Outcome::FailedWithoutShutdown;
    }
    BoardState& board = *boardInRange(cardIndex);
    board.isInitialised = 1;

    reportInitialisationStatus(stage::kOpening, status::kStarted);
    if (KZ_PCIInitialise(cardIndex) == 0) {
        reportInitialisationStatus(stage::kOpening, status::kFailed);
        return Outcome::Failed;
    }
    reportInitialisationStatus(stage::kOpening, status::kSucceeded);

    const std::string folder = libraryFolder();
    const std::string samplingFile = samplingFirmwareFileName(folder, static_cast<std::uint32_t>(dspVersion));
    const std::string peripheralFile = peripheralFirmwareFileName(folder, static_cast<std::uint32_t>(perVersion));
    reportInitialisationStatus(stage::kFirmwareDownload, status::kStarted);
    if (KZ_DumpBinFiles(cardIndex, samplingFile.c_str(), peripheralFile.c_str(), 0) == 0) {
        reportInitialisationStatus(stage::kFirmwareDownload, status::kFailed);
        return Outcome::Failed;
    }
    reportInitialisationStatus(stage::kFirmwareDownload, status::kSucceeded);

    platform::sleepMilliseconds(kStepPauseMs);
    if (setBankRegister(Bank::System, cardIndex, reg::sys::kCommand, reg::sys::kCommandRelease) == 0) {
        return Outcome::Failed;
    }

    reportInitialisationStatus(stage::kRegisterSelfTest, status::kStarted);
    if (registerSelfTest(cardIndex) == 0) {
        reportInitialisationStatus(stage::kRegisterSelfTest, status::kFailed);
        return Outcome::Failed;
    }
    reportInitialisationStatus(stage::kRegisterSelfTest, status::kSucceeded);

    if (KZ_SetTCGValues(cardIndex, &kOneTcgPoint, 1) == 0 || KZ_SetTriggerSelect(cardIndex, kTriggerInternal) == 0 ||
        KZ_GetEEPROMvalues(cardIndex) == 0) {
        return Outcome::Failed;
    }

    // A clock that never locks is reported and the sequence goes on.
    platform::sleepMilliseconds(kStepPauseMs);
    reportInitialisationStatus(stage::kSampleClock, status::kStarted);
    bool locked = false;
    if (!bringUpSampleClock(cardIndex, &locked)) {
        return Outcome::Failed;
    }
    reportInitialisationStatus(stage::kSampleClock, locked ? status::kSucceeded : status::kFailed);

    bool matches = false;
    if (!firmwareAnswers(cardIndex, dspVersion, perVersion, &matches)) {
        return Outcome::Failed;
    }
    if (!matches) {
        report(err::InitialiseFirmwareVersionMismatch);
        return Outcome::Failed;
    }

    // A refused binding leaves the card open and initialised.
    if (dc::bind(sequenced ? 1 : 0) == 0) {
        return Outcome::FailedWithoutShutdown;
    }
    return makeSettings(board, cardIndex, fallbackRange, sequenced) ? Outcome::Ready : Outcome::Failed;
}

std::uint32_t initialiseProtected(std::uint32_t cardIndex, std::uint32_t fallbackRange, std::uint32_t sequenced)
{
    if (boardInRange(cardIndex) == nullptr) {
        return 0;
    }
    reportInitialisationStatus(stage::kStart, status::kSucceeded);
    reportInitialisationStatus(stage::kStartDone, status::kStarted);
    reportInitialisationStatus(stage::kStartDone, status::kSucceeded);
    switch (runSequence(cardIndex, fallbackRange, sequenced != 0)) {
    case Outcome::Ready: reportInitialisationStatus(stage::kInitialisation, status::kSucceeded); return 1;
    case Outcome::FailedWithoutShutdown: return 0;
    case Outcome::Failed: break;
    }
    reportInitialisationStatus(stage::kInitialisation, status::kFailed);
    KZ_Uninitialise(cardIndex);
    return 0;
}

// The end of a card's use, after its lock was taken: everything the initialisation made for the
// record is freed and the card is marked uninitialised.
void forgetCard(BoardState& board)
{
    releaseCardBuffers(board);
    board.isInitialised = 0;
    for (auto& calibrated : board.isRangeCalibrated) {
        calibrated = 0;
    }
    board.isDMAChannelOpen = 0;
    board.isPCIInitialised = 0;
}

std::uint32_t uninitialise(std::uint32_t cardIndex)
{
    BoardState* board = lookUpBoard(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    dc::unbind(board->isSequenceCompatibleFirmware);
    bool opened = true;
    {
        const CardGuard guard(cardIndex);
        if (board->isPCIInitialised == 0) {
            report(err::UninitialisePciNotInitialised);
            opened = false;
        } else if ((board->isDMAChannelOpen != 0 && closeDmaChannel(cardIndex) == 0) ||
                   hal::uninitialiseCard(cardIndex) == 0) {
            return 0; // the card stays open and initialised
        }
        // A card that never opened is let go all the same, so that it can be initialised again.
        forgetCard(*board);
    }
    destroyLock(cardIndex);
    if (!opened) {
        return 0;
    }
    return rawscan::uninitialise() != 0 ? 1 : 0;
}

} // namespace

void reportInitialisationStatus(std::uint32_t stage, std::uint32_t status)
{
    const KZ_InitialisationStatusCallback callback = statusCallback.load(std::memory_order_acquire);
    if (callback != nullptr) {
        callback(stage, status);
    }
}

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_SetInitialisationStatusCallback(KZ_InitialisationStatusCallback callback)
{
    kz::statusCallback.store(callback, std::memory_order_release);
    return 1;
}

KZ_API uint32_t KZ_InitialiseProtected(uint32_t cardIndex, uint32_t fallbackRange, uint32_t sequenced)
{
    return kz::initialiseProtected(cardIndex, fallbackRange, sequenced);
}

KZ_API uint32_t KZ_InitialiseSequenced(uint32_t cardIndex)
{
    return KZ_InitialiseProtected(cardIndex, 1, 1) != 0 ? 1 : 0;
}

KZ_API uint32_t KZ_InitialiseNonSequenced(uint32_t cardIndex)
{
    return KZ_InitialiseProtected(cardIndex, 0, 0) != 0 ? 1 : 0;
}

KZ_API uint32_t KZ_Initialise(uint32_t cardIndex) { return KZ_InitialiseSequenced(cardIndex); }

KZ_API uint32_t KZ_Uninitialise(uint32_t cardIndex) { return kz::uninitialise(cardIndex); }

} // extern "C"
