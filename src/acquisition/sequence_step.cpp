#include "acquisition/sequence_step.h"

#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "hardware/registers.h"

namespace kz {

std::uint32_t setSequenceStep(BoardState& board, std::uint32_t cardIndex, std::uint32_t step)
{
    if (board.isSequenceCompatibleFirmware == 0) {
        report(err::SetSequenceStepNotSequenceCompatible);
        return 0;
    }
    if (step > kLastSequenceStep) {
        report(err::SetSequenceStepInvalidStep);
        return 0;
    }
    board.currentSequenceStep = step;
    if (setBankRegister(Bank::Sampling, cardIndex, reg::smp::kSequenceStep, step) == 0) {
        return 0;
    }
    setBankRegister(Bank::Peripheral, cardIndex, reg::per::kSequenceStep, step);
    return 1;
}

std::uint32_t getSequenceStep(const BoardState& board, std::uint32_t cardIndex, std::uint32_t* step)
{
    if (board.isSequenceCompatibleFirmware == 0) {
        report(err::GetSequenceStepNotSequenceCompatible);
        return 0;
    }
    return getField(Bank::Peripheral, cardIndex, reg::per::kSequenceStep, reg::per::kSelectedStep, step);
}

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_SetSequenceStep(uint32_t cardIndex, uint32_t step)
{
    return kz::withLockedCard(cardIndex, [&](BoardState& board) { return kz::setSequenceStep(board, cardIndex, step); });
}

KZ_API uint32_t KZ_GetSequenceStep(uint32_t cardIndex, uint32_t* step)
{
    return kz::withLockedCard(cardIndex, step, [&](const BoardState& board, uint32_t* out) {
        return kz::getSequenceStep(board, cardIndex, out);
    });
}

} // extern "C"
