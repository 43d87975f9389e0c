#include "acquisition/encoder_control.h"

namespace kz::encoder_control {

namespace {

std::uint32_t writeWord(std::uint32_t cardIndex, std::uint32_t word)
{
    return setBankRegister(Bank::Peripheral, cardIndex, reg::per::kEncoderControl, word);
}

// The shadow takes `word` first, so it holds the new settings even when the write fails.
std::uint32_t storeAndWrite(std::uint32_t cardIndex, BoardState& board, std::uint32_t word)
{
    board.encoderControlShadow = word;
    return writeWord(cardIndex, word);
}

} // namespace

bool holdsBScanPeriod(const BoardState& board) { return board.triggerSelect == kTriggerBScanTimer; }

std::uint32_t setEncoderSetting(std::uint32_t cardIndex, BoardState& board, Field field, std::uint32_t value)
{
    const std::uint32_t word = field.insert(board.encoderControlShadow, value);
    if (holdsBScanPeriod(board)) {
        board.encoderControlShadow = word;
        return 1;
    }
    return storeAndWrite(cardIndex, board, word);
}

std::uint32_t setCounters4And5Connected(std::uint32_t cardIndex, BoardState& board, bool connected)
{
    return storeAndWrite(cardIndex, board,
                         reg::per::kConnectCounters4And5.insert(board.encoderControlShadow, connected ? 1 : 0));
}

std::uint32_t setTriggerSourceBits(std::uint32_t cardIndex, BoardState& board, std::uint32_t source)
{
    std::uint32_t word = reg::per::kTriggerSourceEncoder.insert(board.encoderControlShadow,
                                                                source == kTriggerEncoder ? 1 : 0);
    word = reg::per::kTriggerSourceTimed.insert(word, source == kTriggerBScanTimer ? 1 : 0);
    if (writeWord(cardIndex, word) == 0) {
        return 0;
    }
    board.encoderControlShadow = word;
    return 1;
}

std::uint32_t writeBScanPeriod(std::uint32_t cardIndex, const BoardState& board, std::uint32_t period)
{
    return writeWord(cardIndex, reg::per::kBScanPeriod.insert(board.encoderControlShadow, period));
}

std::uint32_t writeForcedBScanTrigger(std::uint32_t cardIndex, const BoardState& board)
{
    return writeWord(cardIndex, reg::per::kForceBScanTrigger.insert(board.encoderControlShadow, 1));
}

} // namespace kz::encoder_control
