#include "frontend/calibration.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "XAVOKZ.h"
#include "frame/board_table.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "frontend/analogue_input.h"
#include "hardware/eeprom.h"
#include "hardware/registers.h"
#include "lifecycle/data_collection.h"
#include "lifecycle/initialisation.h"
#include "platform/platform.h"

namespace kz {

namespace {

constexpr std::uint32_t kBytesPerValue = sizeof(std::int16_t);
constexpr std::uint32_t kHeaderBytes = kMeasurementHeaderValues * kBytesPerValue;

// The secant iteration: at most 10 measurements; converged within 2 counts of the target; the
// slope is estimated again only when two means differ by more than 5.
constexpr std::uint32_t kMaximumIterations = 10;
constexpr std::int32_t kIterationTolerance = 2;
constexpr std::int32_t kSlopeMeanStep = 5;
// The binary chop over the whole word range: from 2048 by 1024, halved after each measurement;
// done within 1 count of the target.
constexpr float kChopStartWord = 2048.0f;
constexpr std::int32_t kChopFirstStep = 1024;
constexpr std::int32_t kChopTolerance = 1;
constexpr float kLastWord = static_cast<float>(kMaximumDacWord);
constexpr std::uint32_t kChopLogLevel = 4;

constexpr std::uint32_t kZeroInput = 3;        // the internal zero
constexpr std::uint32_t kCalibrationInput = 2; // the calibration voltage
constexpr std::uint32_t kLastRange = KZ_NUMBER_OF_ANALOGUE_RANGES - 1;

// The mean the gain pass aims at on each range: its calibration voltage on a card without gain
// error.
constexpr std::array<std::int16_t, KZ_NUMBER_OF_ANALOGUE_RANGES> kGainTargets = {-1896, -1853, -1662,
                                                                                   -1848, -1945, -1678};

// One pass: which D-to-A word it finds and how.
struct Pass {
    std::uint32_t stage;
    std::uint32_t isOffset;
    float startingSlope; // word steps per count of mean
    std::uint32_t input;
    const char* logName;
    std::int16_t (BoardState::*words)[KZ_NUMBER_OF_ANALOGUE_RANGES];
};
constexpr Pass kOffsetPass{stage::kOffsetCalibration, 1, 1.0f, kZeroInput, "Zero ", &BoardState::calibrationOffsetWord};
constexpr Pass kGainPass{stage::kGainCalibration, 0, 6.0f, kCalibrationInput, "Gain ", &BoardState::calibrationGainWord};

// The word a measurement writes: the value taken toward zero.
std::int16_t wordOf(float value) { return static_cast<std::int16_t>(static_cast<std::int32_t>(value)); }

struct PassContext {
    std::uint32_t cardIndex;
    std::uint32_t range;
    std::uint32_t n;
    std::int16_t* buffer;
};

// Runs one pass; 0 when a measurement (or the selection of the input) failed, with the record's
// word for the pass unchanged.
std::uint32_t runPass(BoardState& board, const PassContext& c, const Pass& pass, std::uint16_t* result)
{
    const std::int32_t target = pass.isOffset != 0 ? 0 : kGainTargets[c.range];
    reportInitialisationStatus(pass.stage, status::kStarted);
    if (pass.isOffset == 0) {
        // The calibration voltage that range r turns into its target.
        setAnalogueSetting(c.cardIndex, AnalogueSetting::CalibrationVoltage, kLastRange - c.range);
    }
    if (KZ_SetAnalogueInput(c.cardIndex, static_cast<std::int32_t>(pass.input)) == 0 ||
        selectInputRange(c.cardIndex, c.range) == 0) {
        return 0;
    }
    const auto measure = [&](float value, std::int32_t* mean) {
        std::int16_t m = 0;
        if (measureInputMean(c.cardIndex, c.n, c.buffer, wordOf(value), &m, pass.isOffset) == 0) {
            reportInitialisationStatus(pass.stage, status::kFailed);
            return false;
        }
        *mean = m;
        return true;
    };

    // A stored word outside the converter's range starts from its nearest end.
    float v = std::clamp(static_cast<float>((board.*pass.words)[c.range]), 0.0f, kLastWord);
    float slope = pass.startingSlope;
    float previousWord = 0.0f;
    std::int32_t previousMean = 0;
    bool converged = false;
    for (std::uint32_t i = 0; !converged && i < kMaximumIterations; ++i) {
        std::int32_t m = 0;
        if (!measure(v, &m)) {
            return 0;
        }
        if (i > 0 && std::abs(previousMean - m) > kSlopeMeanStep) {
            slope = (previousWord - v) / static_cast<float>(previousMean - m);
        }
        previousWord = v;
        previousMean = m;
        v = v - (static_cast<float>(m - target) * slope + 0.5f);
        // A step that stays within the same whole word moves one word against its direction.
        if (std::floor(v) == std::floor(previousWord)) {
            v = v < previousWord ? v + 1.0f : v - 1.0f;
        }
        v = std::clamp(v, 0.0f, kLastWord);
        // The test uses the mean measured above; v has moved once more since.
        converged = std::abs(m - target) <= kIterationTolerance;
    }

    if (!converged) {
        v = kChopStartWord;
        std::int32_t step = kChopFirstStep;
        std::int32_t m = 0;
        while (step > 0) {
            if (!measure(v, &m)) {
                return 0;
            }
            if (std::abs(m - target) <= kChopTolerance) {
                break;
            }
            // A larger word raises the mean.
            v = m <= target ? v + static_cast<float>(step) : v - static_cast<float>(step);
            step /= 2;
        }
        logLine(kChopLogLevel, "Range %d %s Calibrate done via binary chop.  Val %04.4f. Mean %05d. Target %05d. Chop %d.",
                static_cast<int>(c.range), pass.logName, static_cast<double>(v), static_cast<int>(m),
                static_cast<int>(target), static_cast<int>(step));
    }

    const std::int16_t word = wordOf(v);
    (board.*pass.words)[c.range] = word;
    *result = static_cast<std::uint16_t>(word);
    reportInitialisationStatus(pass.stage, status::kSucceeded);
    return 1;
}

struct BufferRelease {
    void operator()(std::int16_t* buffer) const { platform::release(buffer); }
};
using MeasurementBuffer = std::unique_ptr<std::int16_t, BufferRelease>;

// What the range calibration changes and puts back.
struct SavedSettings {
    std::uint32_t aToDInputVoltageRange = 0;
    std::uint32_t analogueInput = 0;
    std::uint32_t inputRange = 0;
    std::uint32_t triggerSelect = 0;
    std::uint32_t numberOfSamples = 0;
    std::uint32_t scanStorageOption = 0;
    std::uint32_t firmwareControl = 0; // sampling 0x6C
    std::uint32_t stepsInSequence = 0;
    std::uint32_t sequenceStep = 0;
};

bool saveSettings(std::uint32_t cardIndex, bool sequenced, SavedSettings& s)
{
    if (KZ_GetAToDInputVoltageRange(cardIndex, &s.aToDInputVoltageRange) == 0 ||
        KZ_GetAnalogueInput(cardIndex, &s.analogueInput) == 0 ||
        KZ_GetAnalogueInputRange(cardIndex, &s.inputRange) == 0 ||
        KZ_GetTriggerSelect(cardIndex, &s.triggerSelect) == 0 ||
        KZ_GetNumberOfSamples(cardIndex, &s.numberOfSamples) == 0 ||
        KZ_GetScanStorageOptions(cardIndex, &s.scanStorageOption) == 0 ||
        getBankRegister(Bank::Sampling, cardIndex, reg::smp::kFirmwareControl, &s.firmwareControl) == 0) {
        return false;
    }
    return !sequenced || (KZ_GetStepsInSequence(cardIndex, &s.stepsInSequence) != 0 &&
                          KZ_GetSequenceStep(cardIndex, &s.sequenceStep) != 0);
}

// Puts every saved setting back, whatever failed before; 1 when every call succeeded.
std::uint32_t restoreSettings(std::uint32_t cardIndex, bool sequenced, const SavedSettings& s)
{
    std::uint32_t ok = 1;
    const auto restore = [&ok](std::uint32_t result) { ok &= result != 0 ? 1u : 0u; };
    restore(KZ_SetAToDInputVoltageRange(cardIndex, s.aToDInputVoltageRange));
    restore(KZ_SetAnalogueInput(cardIndex, static_cast<std::int32_t>(s.analogueInput)));
    // The range's bit only: the record's current range is not touched.
    restore(selectInputRange(cardIndex, s.inputRange));
    restore(KZ_SetTriggerSelect(cardIndex, s.triggerSelect));
    restore(KZ_SetNumberOfSamples(cardIndex, s.numberOfSamples));
    restore(KZ_SetScanStorageOptions(cardIndex, s.scanStorageOption));
    restore(setBankRegister(Bank::Sampling, cardIndex, reg::smp::kFirmwareControl, s.firmwareControl));
    if (sequenced) {
        restore(KZ_SetStepsInSequence(cardIndex, s.stepsInSequence));
        restore(KZ_SetSequenceStep(cardIndex, s.sequenceStep));
    }
    return ok;
}

// Everything between the save and the restore; 1 when the calibration completed.
std::uint32_t prepareAndCalibrate(std::uint32_t cardIndex, std::uint32_t range, bool sequenced)
{
    constexpr std::uint32_t kTriggerInternal = 1;
    constexpr std::uint32_t kOptionWholeBank = 0;
    constexpr std::uint32_t kAToDRangeForCalibration = 1;
    constexpr std::uint32_t kPauseBeforeDiscardMs = 1;
    constexpr std::uint32_t kDiscards = 2;

    if (sequenced && (KZ_SetStepsInSequence(cardIndex, 1) == 0 || KZ_SetSequenceStep(cardIndex, 0) == 0)) {
        return 0;
    }
    if (KZ_SetNumberOfSamples(cardIndex, kCalibrationSamples) == 0) {
        return 0;
    }
    MeasurementBuffer buffer(static_cast<std::int16_t*>(
        platform::allocateZeroed((std::size_t{kCalibrationSamples} + kMeasurementHeaderValues) * kBytesPerValue)));
    if (buffer == nullptr) {
        report(err::CalibrateRangeAllocationFail);
        return 0;
    }
    if (KZ_SetTriggerSelect(cardIndex, kTriggerInternal) == 0 ||
        KZ_SetScanStorageOptions(cardIndex, kOptionWholeBank) == 0) {
        return 0;
    }
    // Scans captured with the settings before are dropped.
    platform::sleepMilliseconds(kPauseBeforeDiscardMs);
    for (std::uint32_t i = 0; i < kDiscards; ++i) {
        std::uint32_t waiting = 0;
        if (dc::getIsSampleDataAvailable(cardIndex, &waiting) == 0 ||
            (waiting != 0 && dc::indicateSampleDataDownloaded(cardIndex) == 0)) {
            return 0;
        }
    }
    if (KZ_SetAToDInputVoltageRange(cardIndex, kAToDRangeForCalibration) == 0) {
        return 0;
    }
    std::uint16_t offsetWord = 0;
    std::uint16_t gainWord = 0;
    return calibrateInput(cardIndex, range, kCalibrationSamples, buffer.get(), &offsetWord, &gainWord);
}

} // namespace

std::uint32_t measureInputMean(std::uint32_t cardIndex, std::uint32_t n, std::int16_t* buffer, std::int16_t word,
                               std::int16_t* mean, std::uint32_t isOffset)
{
    if (boardInRange(cardIndex) == nullptr || buffer == nullptr || mean == nullptr || n == 0 ||
        n > XAVO_MAXIMUM_NUMBER_OF_SAMPLES) {
        return 0;
    }
    // A negative word is refused by the D-to-A write with its code.
    const auto dacWord = static_cast<std::uint32_t>(std::int32_t{word});
    if ((isOffset != 0 ? setCalibrationOffset(cardIndex, dacWord) : setCalibrationGain(cardIndex, dacWord)) == 0) {
        return 0;
    }
    if (KZ_SetForceAScanTrigger(cardIndex) == 0 || dc::setRequestEarlySampleData(cardIndex) == 0 ||
        KZ_GetAScan(cardIndex, buffer, kHeaderBytes + n * kBytesPerValue, 0, 0) == 0) {
        return 0;
    }
    std::int64_t sum = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        sum += buffer[kMeasurementHeaderValues + i];
    }
    *mean = static_cast<std::int16_t>(sum / static_cast<std::int64_t>(n));
    return 1;
}

std::uint32_t calibrateInput(std::uint32_t cardIndex, std::uint32_t range, std::uint32_t n, std::int16_t* buffer,
                             std::uint16_t* offsetWord, std::uint16_t* gainWord)
{
    if (buffer == nullptr || offsetWord == nullptr || gainWord == nullptr) {
        return 0;
    }
    BoardState* board = lookUpBoard(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    // The range indexes the record's tables: refused before any of them is touched.
    if (range > kLastRange) {
        report(err::SetAnalogueInputRangeInvalidRange);
        return 0;
    }
    if (n == 0 || n > XAVO_MAXIMUM_NUMBER_OF_SAMPLES) {
        report(err::SetNumberOfSamplesInvalidNumber);
        return 0;
    }
    const PassContext context{cardIndex, range, n, buffer};
    if (runPass(*board, context, kOffsetPass, offsetWord) == 0) {
        return 0;
    }
    return runPass(*board, context, kGainPass, gainWord);
}

std::uint32_t calibrateRange(std::uint32_t cardIndex, std::uint32_t range)
{
    BoardState* board = boardInRange(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    if (range > kLastRange) {
        report(err::SetAnalogueInputRangeInvalidRange);
        return 0;
    }
    const bool sequenced = board->isSequenceCompatibleFirmware != 0;
    SavedSettings saved;
    if (!saveSettings(cardIndex, sequenced, saved)) {
        return 0;
    }
    const std::uint32_t calibrated = prepareAndCalibrate(cardIndex, range, sequenced);
    if (calibrated != 0) {
        eeprom::writeBackCalibration(cardIndex, range);
    }
    const std::uint32_t restored = restoreSettings(cardIndex, sequenced, saved);
    return calibrated != 0 && restored != 0 ? 1 : 0;
}

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_CalibrateInput(uint32_t cardIndex, uint32_t range, uint32_t n, int16_t* buffer,
                                  uint16_t* pOffsetWord, uint16_t* pGainWord)
{
    return kz::calibrateInput(cardIndex, range, n, buffer, pOffsetWord, pGainWord);
}

} // extern "C"
