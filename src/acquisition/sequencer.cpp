// The sequencer of sequence-compatible firmware: the number of steps, start and stop, and the
// nested pause and resume that other operations wrap around their reprogramming of the card.
#include "acquisition/sequencer.h"

#include "acquisition/memory_layout.h"
#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "hardware/busy_wait.h"
#include "hardware/registers.h"

namespace kz {

namespace {

constexpr std::uint32_t kStopped = 0;
constexpr std::uint32_t kPaused = 1;
constexpr std::uint32_t kRunning = 2;

// The sequencer is given this long to come to rest after its run bit is cleared; one still busy
// then counts as stopped.
constexpr float kStopWaitSeconds = 1.0f;

// True for sequence-compatible firmware; the older generation is refused with `olderFirmware`
// before anything is written.
bool isSequenced(const BoardState& board, ErrorCode olderFirmware)
{
    if (board.isSequenceCompatibleFirmware == 0) {
        report(olderFirmware);
        return false;
    }
    return true;
}

// Runs `work(board)` on a looked-up, locked card with sequence-compatible firmware.
template <typename Work>
std::uint32_t withSequencedCard(std::uint32_t cardIndex, ErrorCode olderFirmware, Work&& work)
{
    return withLockedCard(cardIndex, [&](BoardState& board) -> std::uint32_t {
        return isSequenced(board, olderFirmware) ? work(board) : 0;
    });
}

std::uint32_t getStepsInSequence(std::uint32_t cardIndex, std::uint32_t* count)
{
    std::uint32_t word = 0;
    const std::uint32_t read = getBankRegister(Bank::Peripheral, cardIndex, reg::per::kSequencer, &word);
    if (read != 0) {
        *count = reg::per::kStepsLessOne.extract(word) + 1;
    }
    return read;
}

std::uint32_t setStepsInSequence(std::uint32_t cardIndex, BoardState& board, std::uint32_t count)
{
    if (count == 0 || count > KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS) {
        report(err::SetStepsInSequenceInvalidNumber);
        return 0;
    }
    // A count the A-scan setting refuses is undone on the sampling side too, from the step count
    // the sequencer holds; the sampling side's own register is one the library only writes.
    std::uint32_t previousSteps = 0;
    if (getStepsInSequence(cardIndex, &previousSteps) == 0 ||
        setBankRegister(Bank::Sampling, cardIndex, reg::smp::kStepsInSequence, count - 1) == 0) {
        return 0;
    }
    const std::uint32_t previousCount = board.numberOfAScansPerBScan;
    board.numberOfAScansPerBScan = count;
    bool taken = false;
    const std::uint32_t laidOut = layout::setNumberOfAScansPerBScan(board, cardIndex, count, &taken);
    if (!taken) {
        board.numberOfAScansPerBScan = previousCount;
        setBankRegister(Bank::Sampling, cardIndex, reg::smp::kStepsInSequence, previousSteps - 1);
        return 0;
    }
    // A whole-register write: the run bit goes to 0 and a running sequencer stops, while
    // sequenceState keeps what it was.
    if (setBankRegister(Bank::Peripheral, cardIndex, reg::per::kSequencer, count - 1) == 0) {
        return 0;
    }
    return layout::updateSampleParameters(cardIndex) != 0 && laidOut != 0 ? 1 : 0;
}

std::uint32_t startSequence(std::uint32_t cardIndex, BoardState& board)
{
    if (setField(Bank::Peripheral, cardIndex, reg::per::kSequencer, reg::per::kSequencerRun, 1) == 0) {
        return 0;
    }
    board.sequenceState = kRunning;
    return 1;
}

std::uint32_t stopSequence(std::uint32_t cardIndex, BoardState& board)
{
    if (setField(Bank::Peripheral, cardIndex, reg::per::kSequencer, reg::per::kSequencerRun, 0) == 0) {
        return 0;
    }
    const WaitResult rest =
        waitForRegister(cardIndex, Bank::Peripheral, reg::per::kSequencer, kStopWaitSeconds,
                        [](std::uint32_t word) { return reg::per::kSequencerBusy.extract(word) == 0; });
    if (rest == WaitResult::ReadFailed) {
        return 0;
    }
    // Come to rest, still busy after the second, or no counter to time the wait: the run bit is
    // cleared, so the sequencer counts as stopped.
    board.sequenceState = kStopped;
    return 1;
}

// The card when pause and resume have work to do: sequence-compatible firmware and a sequencer
// that is running or paused.
BoardState* pausableBoard(std::uint32_t cardIndex)
{
    BoardState* board = boardInRange(cardIndex);
    if (board == nullptr || board->isSequenceCompatibleFirmware == 0 || board->sequenceState == kStopped) {
        return nullptr;
    }
    return board;
}

} // namespace

std::uint32_t pauseSequence(std::uint32_t cardIndex)
{
    const CardGuard guard(cardIndex);
    BoardState* board = pausableBoard(cardIndex);
    if (board == nullptr) {
        return 1;
    }
    std::uint32_t stopped = 1;
    if (++board->sequencePauseCount == 1) {
        stopped = KZ_StopSequence(cardIndex);
        board->sequenceState = kPaused;
    }
    return stopped;
}

std::uint32_t resumeSequence(std::uint32_t cardIndex)
{
    const CardGuard guard(cardIndex);
    BoardState* board = pausableBoard(cardIndex);
    if (board == nullptr || board->sequencePauseCount == 0) {
        return 1;
    }
    if (--board->sequencePauseCount != 0) {
        return 1;
    }
    // A sequencer that did not start is not recorded as running.
    if (KZ_StartSequence(cardIndex) == 0) {
        return 0;
    }
    board->sequenceState = kRunning;
    return 1;
}

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_SetStepsInSequence(uint32_t cardIndex, uint32_t count)
{
    return kz::withSequencedCard(cardIndex, kz::err::SetStepsInSequenceNotSequenceCompatible,
                                 [&](BoardState& board) { return kz::setStepsInSequence(cardIndex, board, count); });
}

KZ_API uint32_t KZ_GetStepsInSequence(uint32_t cardIndex, uint32_t* count)
{
    return kz::withLockedCard(cardIndex, count, [&](const BoardState& board, uint32_t* out) -> uint32_t {
        if (!kz::isSequenced(board, kz::err::GetStepsInSequenceNotSequenceCompatible)) {
            return 0;
        }
        return kz::getStepsInSequence(cardIndex, out);
    });
}

KZ_API uint32_t KZ_StartSequence(uint32_t cardIndex)
{
    return kz::withSequencedCard(cardIndex, kz::err::StartSequenceNotSequenceCompatible,
                                 [&](BoardState& board) { return kz::startSequence(cardIndex, board); });
}

// Waits up to one second, with the lock held, for the sequencer to come to rest.
KZ_API uint32_t KZ_StopSequence(uint32_t cardIndex)
{
    return kz::withSequencedCard(cardIndex, kz::err::StopSequenceNotSequenceCompatible,
                                 [&](BoardState& board) { return kz::stopSequence(cardIndex, board); });
}

// Nested pauses stop the sequencer once, at the outermost pause.
KZ_API void KZ_PauseSequence(uint32_t cardIndex) { kz::pauseSequence(cardIndex); }

// Only the resume that matches the outermost pause starts the sequencer again; a resume without
// a pause does nothing.
KZ_API void KZ_ResumeSequence(uint32_t cardIndex) { kz::resumeSequence(cardIndex); }

} // extern "C"
