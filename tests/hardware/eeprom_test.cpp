#include <gtest/gtest.h>

#include <string>

#include "XAVOErrorControl.h"
#include "frame/board_table.h"
#include "hardware/eeprom.h"
#include "library_fixture.h"

namespace kz::test {
namespace {

class Eeprom : public FirmwareRunningCardFixture {
protected:
    void SetUp() override
    {
        FirmwareRunningCardFixture::SetUp();
        XAVO_ERR_ClearInfoLog();
    }

    static std::uint32_t stored(std::uint32_t index)
    {
        std::uint32_t value = 0;
        XAVO_SIM_GetEepromWord(0, index, XAVO_SIM_EEPROM_PERSISTENT, &value);
        return value;
    }
    static std::uint32_t writesOf(std::uint32_t index)
    {
        std::uint32_t count = 0;
        XAVO_SIM_GetEepromWriteLog(0, index, &count, nullptr);
        return count;
    }
    static std::uint32_t commits()
    {
        std::uint32_t completed = 0;
        XAVO_SIM_GetEepromCommitCounts(0, nullptr, &completed);
        return completed;
    }
    static std::vector<std::pair<std::uint32_t, std::string>> infoLines()
    {
        std::vector<std::pair<std::uint32_t, std::string>> lines;
        for (std::uint32_t i = 0; i < XAVO_ERR_ReturnNumberOfInfoLines(); ++i) {
            char text[256];
            std::uint32_t level = 0;
            XAVO_ERR_GetInfoLine(i, &level, text, sizeof text);
            lines.emplace_back(level, text);
        }
        return lines;
    }
};

TEST_F(Eeprom, WordAccessStaysInsideTheEepromWindow)
{
    std::uint32_t value = 0;
    EXPECT_EQ(KZ_SetEEPROM(0, 127, 0x5A5A), 1u);
    EXPECT_EQ(KZ_GetEEPROM(0, 127, &value), 1u);
    EXPECT_EQ(value, 0x5A5Au);

    XAVO_SIM_ClearCallLog();
    for (std::uint32_t index : {128u, 0x40000000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(KZ_SetEEPROM(0, index, 1), 0u) << index;
        EXPECT_EQ(KZ_GetEEPROM(0, index, &value), 0u) << index;
    }
    EXPECT_EQ(KZ_GetEEPROM(0, 1, nullptr), 0u);
    EXPECT_EQ(KZ_GetEEPROM(1, 1, &value), 0u);
    EXPECT_EQ(KZ_SetEEPROM(1, 1, 1), 0u);
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(Eeprom, AValidStoreLoadsTheSerialNumberAndTheWordsOfRangesZeroToFour)
{
    ASSERT_EQ(KZ_GetEEPROMvalues(0), 1u);
    const BoardState& b = pBoardStates[0];
    EXPECT_EQ(b.serialNumber, 1001u);
    EXPECT_EQ(b.calibratedRangeMask, 0x1Fu);
    const std::int16_t offsets[] = {2011, 2060, 2133, 1908, 2071, 0x800};
    const std::int16_t gains[] = {2183, 1956, 2271, 1875, 2105, 0x800};
    for (int r = 0; r < 6; ++r) {
        EXPECT_EQ(b.calibrationOffsetWord[r], offsets[r]) << r;
        EXPECT_EQ(b.calibrationGainWord[r], gains[r]) << r;
    }
    std::uint32_t serial = 0;
    EXPECT_EQ(KZ_GetEEPROM(0, 15, &serial), 1u);
    EXPECT_EQ(serial, 1001u);
}

TEST_F(Eeprom, AMaskLoadsOnlyTheMarkedRangesOfTheFirstFive)
{
    XAVO_SIM_SetEepromWord(0, 16, 0x21);
    XAVO_SIM_SetEepromWord(0, 2, 0x12345);
    ASSERT_EQ(KZ_GetEEPROMvalues(0), 1u);
    const BoardState& b = pBoardStates[0];
    EXPECT_EQ(b.calibrationOffsetWord[0], 0x2345); // cut to 16 bits
    EXPECT_EQ(b.calibrationGainWord[0], 2183);
    for (int r = 1; r < 6; ++r) {
        EXPECT_EQ(b.calibrationOffsetWord[r], 0x800) << r;
        EXPECT_EQ(b.calibrationGainWord[r], 0x800) << r;
    }
}

TEST_F(Eeprom, AResetRequestLeavesAValidEmptyStore)
{
    XAVO_SIM_SetEepromPersonality(0, XAVO_SIM_EEPROM_RESET_REQUEST);
    ASSERT_EQ(KZ_GetEEPROMvalues(0), 1u);
    EXPECT_EQ(stored(14), 0x1234AA55u);
    EXPECT_EQ(stored(16), 0u);
    EXPECT_EQ(commits(), 1u);
    const BoardState& b = pBoardStates[0];
    EXPECT_EQ(b.calibratedRangeMask, 0u);
    EXPECT_EQ(b.serialNumber, 1001u);
    for (int r = 0; r < 6; ++r) {
        EXPECT_EQ(b.calibrationOffsetWord[r], 0x800);
        EXPECT_EQ(b.calibrationGainWord[r], 0x800);
    }
}

TEST_F(Eeprom, AStoreWithoutAKnownSignatureLoadsTheDefaults)
{
    for (std::uint32_t personality : {XAVO_SIM_EEPROM_BLANK, 99u}) {
        if (personality == 99u) {
            XAVO_SIM_SetEepromPersonality(0, XAVO_SIM_EEPROM_VALID);
            XAVO_SIM_SetEepromWord(0, 14, 0x12345678);
        } else {
            XAVO_SIM_SetEepromPersonality(0, personality);
        }
        pBoardStates[0].serialNumber = 5;
        EXPECT_EQ(KZ_GetEEPROMvalues(0), 1u);
        EXPECT_EQ(pBoardStates[0].serialNumber, 0u);
        EXPECT_EQ(pBoardStates[0].calibratedRangeMask, 0u);
        EXPECT_EQ(pBoardStates[0].calibrationGainWord[2], 0x800);
    }
    EXPECT_EQ(writesOf(14), 0u);
}

TEST_F(Eeprom, TheSignatureReadMustReturnExactlyOne)
{
    XAVO_SIM_FaultRule rule{};
    rule.operations = XAVO_SIM_OP_GET_WORD;
    rule.card = XAVO_SIM_ANY;
    rule.addressFirst = rule.addressLast = XAVO_HAL_EEPROM_BASE + 4 * 14;
    rule.action = XAVO_SIM_ACTION_RESULT;
    rule.result = 2;
    const std::uint32_t id = XAVO_SIM_AddFaultRule(&rule);
    EXPECT_EQ(KZ_GetEEPROMvalues(0), 0u);
    XAVO_SIM_RemoveFaultRule(id);
    rule.action = XAVO_SIM_ACTION_FAIL;
    XAVO_SIM_AddFaultRule(&rule);
    EXPECT_EQ(KZ_GetEEPROMvalues(0), 0u);
    EXPECT_EQ(pBoardStates[0].calibrationOffsetWord[1], 0x800);
    EXPECT_EQ(KZ_GetEEPROMvalues(1), 0u);
}

TEST_F(Eeprom, DriftBeyondTheToleranceIsWrittenAndLogged)
{
    XAVO_SIM_SetEepromWord(0, 3, 2060);
    EXPECT_EQ(eeprom::driftWrite(0, 3, 2080, 20), 0u); // exactly 20: kept
    EXPECT_EQ(eeprom::driftWrite(0, 3, 2040, 20), 0u);
    EXPECT_EQ(writesOf(3), 0u);
    EXPECT_TRUE(infoLines().empty());

    EXPECT_EQ(eeprom::driftWrite(0, 3, 2081, 20), 1u);
    EXPECT_EQ(writesOf(3), 1u);
    using Line = std::pair<std::uint32_t, std::string>;
    EXPECT_EQ(infoLines(), (std::vector<Line>{{5, "Drift detected old 2060 new 2081 tolerance 20"}}));
}

TEST_F(Eeprom, DriftIsMeasuredWithoutWrappingAround)
{
    XAVO_SIM_SetEepromWord(0, 15, 0x80000001);
    EXPECT_EQ(eeprom::driftWrite(0, 15, 1, 0), 1u);
    XAVO_SIM_SetEepromWord(0, 15, 0x7FFFFFFF);
    EXPECT_EQ(eeprom::driftWrite(0, 15, 0x80000000, 0xFFFFFFFE), 1u);
    XAVO_SIM_SetEepromWord(0, 15, 7);
    EXPECT_EQ(eeprom::driftWrite(0, 15, 7, 0), 0u);
}

TEST_F(Eeprom, WriteBackOfAnUpToDateStoreWritesAndCommitsNothing)
{
    ASSERT_EQ(KZ_GetEEPROMvalues(0), 1u);
    XAVO_SIM_ClearEepromLog(0);
    pBoardStates[0].calibrationOffsetWord[1] = 2060 + 20;
    eeprom::writeBackCalibration(0, 1);
    EXPECT_EQ(pBoardStates[0].isRangeCalibrated[1], 1u);
    EXPECT_EQ(commits(), 0u);
    for (std::uint32_t index = 0; index < 20; ++index) {
        EXPECT_EQ(writesOf(index), 0u) << index;
    }
    EXPECT_TRUE(infoLines().empty());
}

TEST_F(Eeprom, WriteBackStoresDriftedWordsAndTheNewRangeThenCommits)
{
    XAVO_SIM_SetEepromWord(0, 16, 0x01);
    ASSERT_EQ(KZ_GetEEPROMvalues(0), 1u);
    XAVO_SIM_ClearEepromLog(0);
    pBoardStates[0].calibrationOffsetWord[2] = 2133;
    pBoardStates[0].calibrationGainWord[2] = -5;
    eeprom::writeBackCalibration(0, 2);
    EXPECT_EQ(stored(16), 0x05u);
    EXPECT_EQ(stored(2 + 2), 2133u);
    EXPECT_EQ(stored(8 + 2), 0xFFFFFFFBu); // sign-extended
    EXPECT_EQ(writesOf(2), 0u);            // range 0 did not drift
    EXPECT_EQ(commits(), 1u);
    const auto lines = infoLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), (std::pair<std::uint32_t, std::string>{5, "Writing new calibration values to EEPROM"}));
}

TEST_F(Eeprom, ACommitThatNeverFinishesGivesUpAfterTenThousandReads)
{
    XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_EEPROM_COMMIT, XAVO_SIM_NEVER);
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(eeprom::commit(0), 0u);
    EXPECT_EQ(XAVO_SIM_CountCalls(XAVO_SIM_OP_GET_WORD, 0, XAVO_HAL_REGISTER_BASE + 0x14), 10'000u);
    XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_EEPROM_COMMIT, 3);
    EXPECT_EQ(eeprom::commit(0), 1u);
}

} // namespace
} // namespace kz::test
