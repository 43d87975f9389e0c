#include <gtest/gtest.h>

#include "frame/board_table.h"
#include "library_fixture.h"

namespace kz::test {
namespace {


class BoardTable : public LibraryFixture {
protected:
    BoardTable() { cardCount = 2; }
};

TEST_F(BoardTable, LookUpRefusesAnIndexPastTheTableAndAnUninitialisedCard)
{
    EXPECT_EQ(KZ_ReturnBoardStatePointer(2), nullptr);
    EXPECT_EQ(KZ_ReturnBoardStatePointer(0xFFFFFFFF), nullptr);
    EXPECT_EQ(KZ_ReturnBoardStatePointer(1), nullptr);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x7900, 0x7900, 0x7900}));

    bringUp(1);
    clearErrors();
    EXPECT_EQ(KZ_ReturnBoardStatePointer(1), &pBoardStates[1]);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(BoardTable, IsInitialisedReportsOnlyAnIndexOutOfRange)
{
    EXPECT_EQ(KZ_GetIsInitialised(0), 0u);
    EXPECT_TRUE(reportedErrors().empty());
    bringUp(0);
    EXPECT_EQ(KZ_GetIsInitialised(0), 1u);
    EXPECT_EQ(KZ_GetIsInitialised(2), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x7900});
}

TEST_F(BoardTable, EnumerateReportsTheCardCount)
{
    std::uint32_t count = 0;
    EXPECT_EQ(KZ_PCIEnumerate(&count), 1u);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(KZ_ReturnNumberOfKelzorBoards(), 2u);
    EXPECT_EQ(KZ_PCIEnumerate(nullptr), 0u);
}

TEST_F(BoardTable, EnumeratedRecordsAreClearedWithOnlyPresenceSet)
{
    for (std::uint32_t card = 0; card < 2; ++card) {
        const BoardState& board = pBoardStates[card];
        EXPECT_EQ(board.isPresent, 1u);
        EXPECT_EQ(board.isDiagnosticMode, 0u);
        EXPECT_EQ(board.diagnosticsFileName[0], '\0');
        EXPECT_EQ(board.isPCIInitialised | board.isDMAChannelOpen | board.isInitialised | board.lockDepth, 0u);
        EXPECT_EQ(board.calibrationOffsetWord[0], 0);
        EXPECT_EQ(board.calibrationGainWord[0], 0);
        EXPECT_EQ(board.updateSampleParametersHooks, nullptr);
    }
}

} // namespace
} // namespace kz::test
