#include "gates/curved_gate.h"

#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "hardware/registers.h"
#include "platform/platform.h"

namespace kz {

namespace {

// Sampling firmware of version 0 has no curved gate.
constexpr std::uint32_t kFirmwareWithoutCurvedGate = 0;

bool allValuesAreThresholds(const std::uint16_t* values)
{
    for (std::uint32_t i = 0; i < KZ_CURVED_GATE_NUMBER_OF_VALUES; ++i) {
        if (values[i] > kMaximumCurvedGateThreshold) {
            return false;
        }
    }
    return true;
}

} // namespace

std::uint32_t setCurvedGateData(BoardState& board, std::uint32_t cardIndex, const std::uint16_t* values)
{
    std::uint32_t version = 0;
    if (getField(Bank::Sampling, cardIndex, reg::smp::kVersion, reg::kFirmwareVersion, &version) == 0) {
        return 0;
    }
    if (version == kFirmwareWithoutCurvedGate) {
        report(err::SetCurvedGateDataInvalidFirmwareVersion);
        return 0;
    }
    if (board.curvedGateData == nullptr) {
        board.curvedGateData = static_cast<std::uint16_t*>(
            platform::allocateZeroed(sizeof(std::uint16_t) * KZ_CURVED_GATE_NUMBER_OF_VALUES));
        if (board.curvedGateData == nullptr) {
            report(err::SetCurvedGateDataAllocationFail);
            return 0;
        }
    }
    if (!allValuesAreThresholds(values)) {
        report(err::SetCurvedGateDataInvalidThreshold);
        return 0;
    }
    // Each write appends the next entry of the card's table. A failed write leaves the card and
    // the copy holding the first values of the new table and the rest of the old one.
    for (std::uint32_t i = 0; i < KZ_CURVED_GATE_NUMBER_OF_VALUES; ++i) {
        const std::uint32_t word = reg::smp::kCurvedGateValue.insert(0, values[i]);
        if (setBankRegister(Bank::Sampling, cardIndex, reg::smp::kCurvedGatePort, word) == 0) {
            return 0;
        }
        board.curvedGateData[i] = values[i];
    }
    return 1;
}

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_SetCurvedGateData(uint32_t cardIndex, const uint16_t* values)
{
    return kz::withLockedCard(cardIndex, values, [cardIndex](BoardState& board, const uint16_t* table) {
        return kz::setCurvedGateData(board, cardIndex, table);
    });
}

// Hands out the record's own table; null before the first load.
KZ_API uint32_t KZ_GetCurvedGateData(uint32_t cardIndex, uint16_t** values)
{
    return kz::withLockedCard(cardIndex, values, [](BoardState& board, uint16_t** out) -> uint32_t {
        *out = board.curvedGateData;
        return 1;
    });
}

} // extern "C"
