#include "gates/gates.h"

#include <algorithm>
#include <iterator>

#include "acquisition/memory_layout.h"
#include "acquisition/sequence_step.h"
#include "acquisition/sequencer.h"
#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "frame/relaxed_field.h"
#include "hardware/busy_wait.h"
#include "hardware/registers.h"

namespace kz {

namespace {

static_assert(kGatesOfOlderFirmware <= KZ_MAXIMUM_NUMBER_OF_GATES);

// The card loads a gate within 1 ms; the load register's busy bit is polled without sleeping.
constexpr float kGateLoadTimeoutSeconds = 0.001f;

// A window runs from k to k + 65535 sample counts.
constexpr std::int64_t kLastWindowCount = 0xFFFF;
// The count offset is the start itself below these, else these.
constexpr std::int32_t kFirstGateCountOffset = 3;
constexpr std::int32_t kOtherGateCountOffset = 4;

constexpr std::uint32_t kMaximumThreshold = 2047;
constexpr std::uint32_t kLastTriggeringGate = 9;
constexpr std::uint32_t kLastThresholdPolarity = 2;
constexpr std::uint32_t kLastTriggerMode = 1;
constexpr std::uint32_t kLastStoreGateValue = KZ_SGVAlways;
constexpr std::int32_t kLastSnapshotSelection = 5;
constexpr std::uint32_t kLastPeakSelect = 15;
constexpr std::uint32_t kLastEnabled = 1;

// The card holds the distance metric in two fields: m0 (bits 21-22) and m1 (bit 16).
struct MetricFields {
    std::uint32_t low;
    std::uint32_t high;
};
constexpr MetricFields kMetricFields[] = {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}};
constexpr std::uint32_t kLastDistanceMetric = std::size(kMetricFields) - 1;

// The memory budget with `gates` enabled gates on the current channel and everything else as
// the card holds it.
bool memoryAllowsGates(std::uint32_t cardIndex, std::uint32_t gates)
{
    return layout::checkSram(cardIndex, {.gates = gates}) != 0;
}

// Holds a counted pause of a running sequencer until it is resumed, at the latest at the end of
// its lifetime.
class SequencePause {
public:
    explicit SequencePause(std::uint32_t cardIndex)
        : cardIndex_(cardIndex), stopped_(pauseSequence(cardIndex) != 0)
    {
    }
    ~SequencePause()
    {
        if (!resumed_) {
            resumeSequence(cardIndex_);
        }
    }
    SequencePause(const SequencePause&) = delete;
    SequencePause& operator=(const SequencePause&) = delete;

    // False when a running sequencer could not be stopped.
    bool stopped() const { return stopped_; }
    // False when the paused sequencer could not be started again.
    bool resume()
    {
        resumed_ = true;
        return resumeSequence(cardIndex_) != 0;
    }

private:
    std::uint32_t cardIndex_;
    bool stopped_;
    bool resumed_ = false;
};

std::uint32_t gatesOf(const BoardState& board) { return maximumNumberOfGates(board.isSequenceCompatibleFirmware); }

// A disabled gate is kept in its reset form, whatever else the caller passed.
GateDefinition workingCopy(const GateDefinition& definition)
{
    if (definition.enabled != 0) {
        return definition;
    }
    GateDefinition reset{};
    reset.gateIndex = definition.gateIndex;
    reset.triggerGate = KZ_GATE_TRIGGER_NONE;
    return reset;
}

// What the validation rules check a definition against.
struct RuleContext {
    std::uint32_t maximumGates;
    std::uint32_t countOffset;
};

struct GateRule {
    ErrorCode code;
    bool (*holds)(const GateDefinition& gate, const RuleContext& context);
};

bool isWindowCount(std::int32_t count, std::uint32_t countOffset)
{
    const std::int64_t relative = std::int64_t{count} - countOffset;
    return relative >= 0 && relative <= kLastWindowCount;
}

// Gate 0 is exempt from the distance-metric and peak-select checks.
bool isExempt(const GateDefinition& gate) { return gate.gateIndex == 0; }

// In the order they are checked; the first rule that fails names the error.
constexpr GateRule kGateRules[] = {
    {err::AddGateInvalidGateIndex,
     [](const GateDefinition& g, const RuleContext& c) {
         return g.gateIndex >= 0 && static_cast<std::uint32_t>(g.gateIndex) < c.maximumGates;
     }},
    {err::AddGateInvalidStartCount,
     [](const GateDefinition& g, const RuleContext& c) { return isWindowCount(g.start, c.countOffset); }},
    {err::AddGateInvalidEndCount,
     [](const GateDefinition& g, const RuleContext& c) { return isWindowCount(g.end, c.countOffset); }},
    {err::AddGateInvalidThreshold,
     [](const GateDefinition& g, const RuleContext&) { return g.threshold <= kMaximumThreshold; }},
    {err::AddGateInvalidTriggerGate,
     [](const GateDefinition& g, const RuleContext&) {
         const bool known = g.triggerGate <= kLastTriggeringGate || g.triggerGate == KZ_GATE_TRIGGER_NONE;
         return known && g.triggerGate != static_cast<std::uint32_t>(g.gateIndex);
     }},
    {err::AddGateInvalidThresholdPolarity,
     [](const GateDefinition& g, const RuleContext&) { return g.thresholdPolarity <= kLastThresholdPolarity; }},
    {err::AddGateInvalidTriggerMode,
     [](const GateDefinition& g, const RuleContext&) { return g.triggerMode <= kLastTriggerMode; }},
    {err::AddGateInvalidStoreGateValue,
     [](const GateDefinition& g, const RuleContext&) { return g.storeGateValue <= kLastStoreGateValue; }},
    {err::AddGateInvalidSnapshotSelection,
     [](const GateDefinition& g, const RuleContext&) {
         return g.snapshotSelection >= 0 && g.snapshotSelection <= kLastSnapshotSelection;
     }},
    {err::AddGateStoreAlwaysNeedsLargestPeak,
     [](const GateDefinition& g, const RuleContext&) {
         return g.storeGateValue != KZ_SGVAlways ||
                (g.amplitudePeakSelect == KZ_GAPSLargestPeak && g.distancePeakSelect == KZ_GDPSLargestPeak &&
                 g.distanceMetric == KZ_GDMPeak);
     }},
    {err::AddGateInvalidDistanceMetric,
     [](const GateDefinition& g, const RuleContext&) { return isExempt(g) || g.distanceMetric <= kLastDistanceMetric; }},
    {err::AddGateInvalidEnable, [](const GateDefinition& g, const RuleContext&) { return g.enabled <= kLastEnabled; }},
    {err::AddGateInvalidAmplitudePeakSelect,
     [](const GateDefinition& g, const RuleContext&) { return isExempt(g) || g.amplitudePeakSelect <= kLastPeakSelect; }},
    {err::AddGateInvalidDistancePeakSelect,
     [](const GateDefinition& g, const RuleContext&) { return isExempt(g) || g.distancePeakSelect <= kLastPeakSelect; }},
};

// Reports the first rule the gate breaks; true when it breaks none.
bool isValidGate(const GateDefinition& gate, const RuleContext& context)
{
    for (const GateRule& rule : kGateRules) {
        if (!rule.holds(gate, context)) {
            report(rule.code);
            return false;
        }
    }
    return true;
}

std::uint32_t countEnabledGates(const BoardState& board, std::uint32_t channel)
{
    std::uint32_t count = 0;
    for (std::uint32_t g = 0; g < gatesOf(board); ++g) {
        if (board.gateTable[channel][g].enabled == 1) {
            ++count;
        }
    }
    return count;
}

// Copies a gate into the record field by field: the snapshot selection is read without the
// card's lock by the data-collection service, so it is stored on its own.
void copyGateRecord(GateDefinition& slot, const GateDefinition& gate)
{
    static_assert(sizeof(GateDefinition) == 18 * sizeof(std::uint32_t), "a new gate field must be copied here");
    slot.gateIndex = gate.gateIndex;
    slot.start = gate.start;
    slot.end = gate.end;
    slot.threshold = gate.threshold;
    slot.triggerGate = gate.triggerGate;
    slot.thresholdPolarity = gate.thresholdPolarity;
    slot.triggerMode = gate.triggerMode;
    slot.distanceMetric = gate.distanceMetric;
    slot.enabled = gate.enabled;
    slot.amplitudePeakSelect = gate.amplitudePeakSelect;
    slot.distancePeakSelect = gate.distancePeakSelect;
    slot.storeGateValue = gate.storeGateValue;
    storeRelaxed(slot.snapshotSelection, gate.snapshotSelection);
    std::copy(std::begin(gate.reserved), std::end(gate.reserved), std::begin(slot.reserved));
}

// Stores the gate in one channel and brings its enabled count and list up to date.
void storeGate(BoardState& board, std::uint32_t channel, const GateDefinition& gate)
{
    const auto index = static_cast<std::uint32_t>(gate.gateIndex);
    board.storeGateValueTable[channel][index] = gate.storeGateValue;
    copyGateRecord(board.gateTable[channel][index], gate);
    const std::uint32_t gates = gatesOf(board);
    std::uint32_t count = 0;
    for (std::uint32_t g = 0; g < gates; ++g) {
        if (board.gateTable[channel][g].enabled == 1) {
            board.enabledGateList[channel][count++] = static_cast<std::uint8_t>(g);
        }
    }
    board.enabledGateCount[channel] = static_cast<std::uint8_t>(count);
    for (std::uint32_t entry = count; entry < gates; ++entry) {
        board.enabledGateList[channel][entry] = 0;
    }
}

// Sequence-compatible firmware keeps gates per step; the older firmware has one set of gates,
// which every channel shares.
void storeInChannels(BoardState& board, const GateDefinition& gate)
{
    if (board.isSequenceCompatibleFirmware != 0) {
        storeGate(board, board.currentSequenceStep, gate);
        return;
    }
    for (std::uint32_t channel = 0; channel < KZ_NUMBER_OF_GATE_CHANNELS; ++channel) {
        storeGate(board, channel, gate);
    }
}

std::uint32_t windowWord(std::uint32_t start, std::uint32_t end, std::uint32_t countOffset)
{
    const std::uint32_t word = reg::per::kGateWindowStart.insert(0, start - countOffset);
    return reg::per::kGateWindowEnd.insert(word, end - countOffset);
}

// Starts the card's load of the staged gate and waits for it; the time-out decides even when
// the last read already showed the card free.
std::uint32_t loadStagedGate(std::uint32_t cardIndex, std::uint32_t gateIndex)
{
    if (setField(Bank::Peripheral, cardIndex, reg::per::kGateLoad, reg::per::kGateLoadIndex, gateIndex) == 0) {
        return 0;
    }
    const WaitResult loaded = waitForRegister(cardIndex, Bank::Peripheral, reg::per::kGateLoad, kGateLoadTimeoutSeconds,
                                              [](std::uint32_t word) { return reg::per::kGateLoadBusy.extract(word) == 0; });
    switch (loaded) {
    case WaitResult::Ready:
        return 1;
    case WaitResult::TimerFailed:
        report(err::AddGateTimerQueryFail);
        return 0;
    case WaitResult::TimedOut:
        report(err::AddGateTimeout);
        return 0;
    case WaitResult::ReadFailed:
        break;
    }
    return 0;
}

// Selects `step` on the sampling and the peripheral side, without touching the record.
bool selectStepRegisters(std::uint32_t cardIndex, std::uint32_t step)
{
    return setBankRegister(Bank::Sampling, cardIndex, reg::smp::kSequenceStep, step) != 0 &&
           setBankRegister(Bank::Peripheral, cardIndex, reg::per::kSequenceStep, step) != 0;
}

bool stageEveryStep(const BoardState& board, std::uint32_t cardIndex, std::uint32_t gateIndex)
{
    for (std::uint32_t step = 0; step < KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS; ++step) {
        const GateDefinition& gate = board.gateTable[step][gateIndex];
        const std::uint32_t oversamples = board.oversampleCount[step];
        if (oversamples == 0) {
            return false;
        }
        const std::uint32_t start = static_cast<std::uint32_t>(gate.start) / oversamples;
        const std::uint32_t end = static_cast<std::uint32_t>(gate.end) / oversamples;
        const auto limit = static_cast<std::uint32_t>(gate.gateIndex == 0 ? kFirstGateCountOffset : kOtherGateCountOffset);
        const std::uint32_t countOffset = start < limit ? start : limit;
        if (!selectStepRegisters(cardIndex, step) || setGateAttributesRegister(cardIndex, gate) == 0 ||
            setBankRegister(Bank::Peripheral, cardIndex, reg::per::kGateWindow, windowWord(start, end, countOffset)) ==
                0) {
            return false;
        }
    }
    return true;
}

// With sequence-compatible firmware the gate goes to every step and the record's current step is
// selected again, also after a failed write; with the older firmware the gate is written as it is.
// The step to go back to is the record's, not the one the card's step register reports: after a
// failed step write the register may name another step, and taking that over would switch the
// host's current step, and with it the gates and per-step settings it sees, without a word.
std::uint32_t writeGateToCard(BoardState& board, std::uint32_t cardIndex, const GateDefinition& gate)
{
    if (board.isSequenceCompatibleFirmware == 0) {
        return rawWriteGate(cardIndex, gate);
    }
    const std::uint32_t written = writeGateAllSteps(board, cardIndex, static_cast<std::uint32_t>(gate.gateIndex));
    const std::uint32_t reselected = setSequenceStep(board, cardIndex, board.currentSequenceStep);
    return (written != 0 && reselected != 0) ? 1u : 0u;
}

std::uint32_t removeGate(BoardState& board, std::uint32_t cardIndex, std::int32_t gateIndex)
{
    if (gateIndex < 0 || static_cast<std::uint32_t>(gateIndex) >= gatesOf(board)) {
        report(err::RemoveGateInvalidGateIndex);
        return 0;
    }
    GateDefinition gate = board.gateTable[currentStep(board)][gateIndex];
    gate.enabled = 0;
    if (addGate(board, cardIndex, gate) == 0) {
        return 0;
    }
    return layout::updateSampleParameters(cardIndex);
}

bool isGateOf(const BoardState& board, std::int32_t gateIndex)
{
    return gateIndex >= 0 && static_cast<std::uint32_t>(gateIndex) < gatesOf(board);
}

// Scales a count by multiplier / divisor; the product is taken in 64 bits.
std::int32_t rescaled(std::int32_t count, std::uint32_t divisor, std::uint32_t multiplier)
{
    const std::uint64_t product = std::uint64_t{static_cast<std::uint32_t>(count)} * multiplier;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(product / divisor));
}

std::uint32_t rewriteGates(BoardState& board, std::uint32_t cardIndex, std::uint32_t divisor, std::uint32_t multiplier)
{
    std::uint32_t result = 1;
    for (std::uint32_t g = 0; g < gatesOf(board); ++g) {
        for (std::uint32_t step = 0; step < KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS; ++step) {
            GateDefinition& gate = board.gateTable[step][g];
            gate.start = rescaled(gate.start, divisor, multiplier);
            gate.end = rescaled(gate.end, divisor, multiplier);
        }
        // A failed write does not stop the others.
        result &= writeGateAllSteps(board, cardIndex, g);
    }
    return result;
}

} // namespace

GateDefinition defaultGate(std::uint32_t gateIndex)
{
    GateDefinition gate{};
    gate.gateIndex = static_cast<std::int32_t>(gateIndex);
    gate.triggerGate = KZ_GATE_TRIGGER_NONE;
    gate.distanceMetric = KZ_GDMPeak;
    gate.enabled = 0;
    gate.amplitudePeakSelect = KZ_GAPSLargestPeak;
    gate.distancePeakSelect = KZ_GDPSLargestPeak;
    return gate;
}

std::uint32_t gateCountOffset(std::int32_t gateIndex, std::int32_t start)
{
    const std::int32_t limit = gateIndex == 0 ? kFirstGateCountOffset : kOtherGateCountOffset;
    return static_cast<std::uint16_t>(start < limit ? start : limit);
}

std::uint32_t addGate(BoardState& board, std::uint32_t cardIndex, const GateDefinition& definition)
{
    const GateDefinition gate = workingCopy(definition);
    const std::uint32_t countOffset = gateCountOffset(gate.gateIndex, gate.start);
    SequencePause pause(cardIndex);
    // A sequencer that could not be stopped is not reprogrammed while it runs.
    if (!pause.stopped()) {
        return 0;
    }

    // The budget counts one gate more than the channel has enabled, also for a removal.
    if (!memoryAllowsGates(cardIndex, countEnabledGates(board, currentStep(board)) + 1) ||
        !isValidGate(gate, RuleContext{gatesOf(board), countOffset})) {
        return 0;
    }
    // From here on the tables hold the gate, even when the card does not take it.
    storeInChannels(board, gate);
    if (board.isSequenceCompatibleFirmware != 0 && board.numberOfAScansPerBScan > KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS) {
        board.numberOfAScansPerBScan = KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS;
    }
    // A layout the card could not be given fails the call, after the gate is written all the same.
    const std::uint32_t layoutWritten = layout::updateSampleParameters(cardIndex);
    const std::uint32_t gateWritten = writeGateToCard(board, cardIndex, gate);
    // A sequencer that did not start again fails the call: the card would no longer acquire.
    const bool restarted = pause.resume();
    return (layoutWritten != 0 && gateWritten != 0 && restarted) ? 1u : 0u;
}

std::uint32_t setGateAttributesRegister(std::uint32_t cardIndex, const GateDefinition& gate)
{
    if (gate.distanceMetric > kLastDistanceMetric) {
        report(err::SetGateAttributesRegisterBadDistanceMetric);
        return 0;
    }
    const MetricFields metric = kMetricFields[gate.distanceMetric];
    std::uint32_t word = 0;
    if (gate.enabled != 0) {
        // Each field is cut to its width, so that no value spills into its neighbours.
        using namespace reg::per;
        word = kGateThreshold.insert(word, gate.threshold);
        word = kGateTriggerGate.insert(word, gate.triggerGate);
        word = kGateMetricHigh.insert(word, metric.high);
        word = kGateStoreValue.insert(word, gate.storeGateValue);
        word = kGateThresholdPolarity.insert(word, gate.thresholdPolarity);
        word = kGateTriggerMode.insert(word, gate.triggerMode);
        word = kGateMetricLow.insert(word, metric.low);
        word = kGateEnabled.insert(word, gate.enabled);
        word = kGateAmplitudePeakSelect.insert(word, gate.amplitudePeakSelect);
        word = kGateDistancePeakSelect.insert(word, gate.distancePeakSelect);
    }
    return setBankRegister(Bank::Peripheral, cardIndex, reg::per::kGateAttributes, word);
}

std::uint32_t rawWriteGate(std::uint32_t cardIndex, const GateDefinition& gate)
{
    if (setGateAttributesRegister(cardIndex, gate) == 0) {
        return 0;
    }
    const std::uint32_t countOffset = gateCountOffset(gate.gateIndex, gate.start);
    const std::uint32_t window =
        windowWord(static_cast<std::uint32_t>(gate.start), static_cast<std::uint32_t>(gate.end), countOffset);
    if (setBankRegister(Bank::Peripheral, cardIndex, reg::per::kGateWindow, window) == 0) {
        return 0;
    }
    return loadStagedGate(cardIndex, static_cast<std::uint32_t>(gate.gateIndex));
}

std::uint32_t writeGateAllSteps(BoardState& board, std::uint32_t cardIndex, std::uint32_t gateIndex)
{
    if (gateIndex >= KZ_MAXIMUM_NUMBER_OF_GATES) {
        return 0;
    }
    const bool staged = stageEveryStep(board, cardIndex, gateIndex);
    // The card's step selection goes back to the record's current step, also after a failed
    // write, so that later per-step settings reach the step the record names.
    const bool selected = selectStepRegisters(cardIndex, board.currentSequenceStep);
    if (!staged || !selected) {
        return 0;
    }
    return loadStagedGate(cardIndex, gateIndex);
}

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_AddGate(uint32_t cardIndex, const GateDefinition* gate)
{
    return kz::withLockedCard(cardIndex, gate, [cardIndex](BoardState& board, const GateDefinition* definition) {
        return kz::addGate(board, cardIndex, *definition);
    });
}

KZ_API uint32_t KZ_RemoveGate(uint32_t cardIndex, int32_t gateIndex)
{
    return kz::withLockedCard(cardIndex,
                              [&](BoardState& board) { return kz::removeGate(board, cardIndex, gateIndex); });
}

// Stops at the first gate that cannot be removed. Takes no lock of its own.
KZ_API uint32_t KZ_RemoveAllGates(uint32_t cardIndex)
{
    const BoardState* board = kz::lookUpBoard(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    const std::uint32_t gates = kz::gatesOf(*board);
    for (std::uint32_t g = 0; g < gates; ++g) {
        const uint32_t removed = KZ_RemoveGate(cardIndex, static_cast<int32_t>(g));
        if (removed != 1) {
            return removed;
        }
    }
    return 1;
}

// Hands out the live record of the gate in the current channel.
KZ_API uint32_t KZ_GetGate(uint32_t cardIndex, int32_t gateIndex, GateDefinition** gate)
{
    return kz::withLockedCard(cardIndex, gate, [gateIndex](BoardState& board, GateDefinition** out) -> uint32_t {
        if (!kz::isGateOf(board, gateIndex)) {
            kz::report(kz::err::GetGateInvalidIndex);
            return 0;
        }
        *out = &board.gateTable[kz::currentStep(board)][gateIndex];
        return 1;
    });
}

KZ_API uint32_t KZ_GetGate2(uint32_t cardIndex, uint32_t channel, int32_t gateIndex, GateDefinition* gate)
{
    return kz::withLockedCard(cardIndex, gate, [=](BoardState& board, GateDefinition* out) -> uint32_t {
        if (!kz::isGateOf(board, gateIndex) || channel >= KZ_NUMBER_OF_GATE_CHANNELS) {
            kz::report(kz::err::GetGateInvalidIndex);
            return 0;
        }
        *out = board.gateTable[channel][gateIndex];
        return 1;
    });
}

KZ_API uint32_t KZ_GetNumberOfEnabledGatesThisChannel(uint32_t cardIndex, uint32_t channel, uint32_t* count)
{
    return kz::withLockedCard(cardIndex, count, [channel](BoardState& board, uint32_t* out) -> uint32_t {
        if (channel >= KZ_NUMBER_OF_GATE_CHANNELS) {
            kz::report(kz::err::GetGateInvalidIndex);
            return 0;
        }
        *out = kz::countEnabledGates(board, channel);
        return 1;
    });
}

KZ_API uint32_t KZ_GetNumberOfEnabledGates(uint32_t cardIndex, uint32_t* count)
{
    return kz::withLockedCard(cardIndex, count, [](BoardState& board, uint32_t* out) -> uint32_t {
        *out = kz::countEnabledGates(board, kz::currentStep(board));
        return 1;
    });
}

// A query of the data-collection service; no lock. 0 for a channel or gate the tables do not have.
KZ_API uint32_t KZ_ReturnSnapshotSelectionForGate(uint32_t cardIndex, uint32_t channel, uint32_t gateIndex)
{
    const BoardState* board = kz::lookUpBoard(cardIndex);
    if (board == nullptr || channel >= KZ_NUMBER_OF_GATE_CHANNELS || gateIndex >= kz::gatesOf(*board)) {
        return 0;
    }
    return static_cast<uint32_t>(kz::loadRelaxed(board->gateTable[channel][gateIndex].snapshotSelection));
}

KZ_API uint32_t KZ_ReturnMaximumNumberOfGates(uint32_t isSequenceCompatibleFirmware)
{
    return kz::maximumNumberOfGates(isSequenceCompatibleFirmware);
}

// Takes no lock, does not pause the sequencer and leaves the layout as it is. A divisor of 0 is
// refused before anything changes.
KZ_API uint32_t KZ_RewriteGates(uint32_t cardIndex, uint32_t divisor, uint32_t multiplier)
{
    BoardState* board = kz::lookUpBoard(cardIndex);
    if (board == nullptr || divisor == 0) {
        return 0;
    }
    return kz::rewriteGates(*board, cardIndex, divisor, multiplier);
}

// No lock: the caller holds the card's.
KZ_API uint32_t KZ_SetGateAttributesRegister(uint32_t cardIndex, const GateDefinition* gate)
{
    if (gate == nullptr || kz::lookUpBoard(cardIndex) == nullptr) {
        return 0;
    }
    return kz::setGateAttributesRegister(cardIndex, *gate);
}

// No lock: the caller holds the card's.
KZ_API uint32_t KZ_RawWriteGate(uint32_t cardIndex, const GateDefinition* gate)
{
    if (gate == nullptr || kz::lookUpBoard(cardIndex) == nullptr) {
        return 0;
    }
    return kz::rawWriteGate(cardIndex, *gate);
}

} // extern "C"
