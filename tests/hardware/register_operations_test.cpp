#include <gtest/gtest.h>

#include "frame/board_table.h"
#include "library_fixture.h"

namespace kz::test {
namespace {

using RegisterOperations = OpenCardFixture;

constexpr std::uint32_t kSystemCommand = XAVO_HAL_REGISTER_BASE + 0x14;
constexpr std::uint32_t kSamplingControl = XAVO_HAL_REGISTER_BASE + 512 + 0x6C;

XAVO_SIM_FaultRule failReadsOf(std::uint32_t address)
{
    XAVO_SIM_FaultRule rule{};
    rule.operations = XAVO_SIM_OP_GET_WORD;
    rule.card = XAVO_SIM_ANY;
    rule.addressFirst = address;
    rule.addressLast = address;
    rule.action = XAVO_SIM_ACTION_FAIL;
    return rule;
}

TEST_F(RegisterOperations, FirmwareVersionWordsSplitIntoVersionAndRevision)
{
    XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_SAMPLING, 0x1025);
    XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_PERIPHERAL, 0x2A1F);
    XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_SYSTEM, 0x0101);
    std::uint32_t value = 0;
    EXPECT_EQ(KZ_GetSamplingFirmwareVersion(0, &value), 1u);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(KZ_GetSamplingFirmwareRevision(0, &value), 1u);
    EXPECT_EQ(value, 0x25u);
    EXPECT_EQ(KZ_GetPeripheralFirmwareVersion(0, &value), 1u);
    EXPECT_EQ(value, 2u);
    EXPECT_EQ(KZ_GetPeripheralFirmwareRevision(0, &value), 1u);
    EXPECT_EQ(value, 0xA1Fu);
    EXPECT_EQ(KZ_GetSystemFirmwareVersion(0, &value), 1u);
    EXPECT_EQ(value, 0x0101u);
}

TEST_F(RegisterOperations, GettersLeaveTheirOutputAloneWhenTheyFail)
{
    const XAVO_SIM_FaultRule rule = failReadsOf(XAVO_HAL_REGISTER_BASE + 512 + 0xFC);
    XAVO_SIM_AddFaultRule(&rule);
    std::uint32_t value = 77;
    EXPECT_EQ(KZ_GetSamplingFirmwareVersion(0, &value), 0u);
    EXPECT_EQ(KZ_GetSamplingFirmwareRevision(0, &value), 0u);
    EXPECT_EQ(value, 77u);

    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_GetSystemFirmwareVersion(0, nullptr), 0u);
    EXPECT_EQ(KZ_GetOutOfRangeAccessCount(0, nullptr), 0u);
    EXPECT_EQ(KZ_GetSamplingSystemIRQFlag(0, 0, nullptr), 0u);
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);

    EXPECT_EQ(KZ_GetPeripheralFirmwareVersion(1, &value), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x7900});
}

TEST_F(RegisterOperations, OutOfRangeCounterCountsUnmappedAccessesUntilCleared)
{
    std::uint32_t count = 99;
    EXPECT_EQ(KZ_GetOutOfRangeAccessCount(0, &count), 1u);
    EXPECT_EQ(count, 0u);
    std::uint32_t ignored = 0;
    KZ_GetRegister(0, 800, &ignored); // between the sampling and the peripheral bank
    KZ_SetRegister(0, 2000, 1);
    EXPECT_EQ(KZ_GetOutOfRangeAccessCount(0, &count), 1u);
    EXPECT_EQ(count, 2u);

    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_ClearOutOfRangeAccessCount(0), 1u);
    XAVO_SIM_CallRecord call{};
    ASSERT_EQ(XAVO_SIM_GetCallLogEntry(0, &call), 1u);
    EXPECT_EQ(call.address, kSystemCommand);
    EXPECT_EQ(call.value, 0x200u);
    KZ_GetOutOfRangeAccessCount(0, &count);
    EXPECT_EQ(count, 0u);
}

TEST_F(RegisterOperations, InRangeOnlyModeIsCommandedThroughTheCommandRegister)
{
    EXPECT_EQ(XAVO_SIM_GetInRangeOnlyFlag(0), 0u);
    EXPECT_EQ(KZ_SetOnlyRespondToInRangeAccess(0), 1u);
    EXPECT_EQ(XAVO_SIM_CountCalls(XAVO_SIM_OP_SET_WORD, 0, kSystemCommand), 1u);
    EXPECT_EQ(XAVO_SIM_GetInRangeOnlyFlag(0), 1u);
}

TEST_F(RegisterOperations, InterruptFlagExistsOnlyForSamplingSystemZero)
{
    std::uint32_t flag = 5;
    EXPECT_EQ(KZ_GetSamplingSystemIRQFlag(0, 1, &flag), 0u);
    EXPECT_EQ(flag, 5u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x1300});
    EXPECT_EQ(KZ_GetSamplingSystemIRQFlag(0, 0, &flag), 1u);
    EXPECT_EQ(flag, 0u);
}

TEST_F(RegisterOperations, ResetFirmwareClearsTheControlWordForAMomentAndRestoresIt)
{
    ASSERT_EQ(KZ_SetSamplingRegister(0, 0x6C, 0x48003F), 1u);
    XAVO_SIM_ClearCallLog();
    const std::uint64_t sleptBefore = clock.sleptMilliseconds;
    EXPECT_EQ(KZ_ResetFirmware(0), 1u);
    EXPECT_EQ(clock.sleptMilliseconds - sleptBefore, 100u);

    std::vector<XAVO_SIM_CallRecord> calls(XAVO_SIM_ReturnCallLogLength());
    for (std::uint32_t i = 0; i < calls.size(); ++i) {
        XAVO_SIM_GetCallLogEntry(i, &calls[i]);
    }
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].operation, XAVO_SIM_OP_GET_WORD);
    EXPECT_EQ(calls[1].operation, XAVO_SIM_OP_SET_WORD);
    EXPECT_EQ(calls[1].value, 0u);
    EXPECT_EQ(calls[2].operation, XAVO_SIM_OP_SET_WORD);
    EXPECT_EQ(calls[2].value, 0x48003Fu);
    for (const auto& call : calls) {
        EXPECT_EQ(call.address, kSamplingControl);
    }
}

TEST_F(RegisterOperations, ResetFirmwareWritesNothingWhenItsFirstReadFails)
{
    const XAVO_SIM_FaultRule rule = failReadsOf(kSamplingControl);
    XAVO_SIM_AddFaultRule(&rule);
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_ResetFirmware(0), 0u);
    EXPECT_EQ(XAVO_SIM_CountCalls(XAVO_SIM_OP_SET_WORD, XAVO_SIM_ANY, XAVO_SIM_ANY), 0u);
    EXPECT_EQ(KZ_ResetFirmware(3), 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

} // namespace
} // namespace kz::test
