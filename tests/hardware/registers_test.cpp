#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "frame/board_table.h"
#include "hardware/registers.h"
#include "library_fixture.h"

namespace kz::test {
namespace {

using Registers = OpenCardFixture;

std::uint32_t halAddress(std::uint32_t rawOffset) { return XAVO_HAL_REGISTER_BASE + rawOffset; }

struct RawCase {
    std::uint32_t rawOffset;
    bool accepted;
};

class RawRegisterOffsets : public OpenCardFixture, public ::testing::WithParamInterface<RawCase> {};

TEST_P(RawRegisterOffsets, AreAcceptedOnlyInTheSystemRangeAndFrom512To2303)
{
    const auto [rawOffset, accepted] = GetParam();
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(KZ_SetRegister(0, rawOffset, 5), accepted ? 1u : 0u);
    EXPECT_EQ(KZ_GetRegister(0, rawOffset, &value) != 0, accepted);
    if (accepted) {
        EXPECT_TRUE(reportedErrors().empty());
        EXPECT_EQ(XAVO_SIM_CountCalls(XAVO_SIM_OP_SET_WORD, 0, halAddress(rawOffset)), 1u);
    } else {
        EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0xa01, 0xb01}));
        EXPECT_EQ(value, 0xDEADBEEFu);
        EXPECT_EQ(XAVO_SIM_CountCalls(XAVO_SIM_OP_SET_WORD | XAVO_SIM_OP_GET_WORD, XAVO_SIM_ANY, XAVO_SIM_ANY), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, RawRegisterOffsets,
                         ::testing::Values(RawCase{0, true}, RawCase{255, true}, RawCase{256, false},
                                           RawCase{511, false}, RawCase{512, true}, RawCase{1279, true},
                                           RawCase{768, true}, RawCase{2303, true}, RawCase{2304, false},
                                           RawCase{0xFFFFFFFF, false}),
                         [](const auto& info) { return "Raw" + std::to_string(info.param.rawOffset); });

TEST_F(Registers, RawAccessNeedsAnOpenCardAndAnIndexInRange)
{
    pBoardStates[0].isPCIInitialised = 0;
    std::uint32_t value = 0;
    EXPECT_EQ(KZ_SetRegister(0, 0x10, 1), 0u);
    EXPECT_EQ(KZ_GetRegister(0, 0x10, &value), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0xa00, 0xb00}));

    clearErrors();
    EXPECT_EQ(KZ_SetRegister(1, 0x10, 1), 0u);
    EXPECT_EQ(KZ_GetRegister(1, 0x10, &value), 0u);
    EXPECT_EQ(KZ_GetRegister(0, 0x10, nullptr), 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(Registers, GetRegisterPassesTheHardwareResultThrough)
{
    XAVO_SIM_FaultRule rule{};
    rule.operations = XAVO_SIM_OP_GET_WORD;
    rule.card = XAVO_SIM_ANY;
    rule.addressFirst = halAddress(0x10);
    rule.addressLast = halAddress(0x10);
    rule.action = XAVO_SIM_ACTION_RESULT;
    rule.result = 7;
    ASSERT_NE(XAVO_SIM_AddFaultRule(&rule), 0u);
    std::uint32_t value = 0;
    EXPECT_EQ(KZ_GetRegister(0, 0x10, &value), 7u);

    rule.action = XAVO_SIM_ACTION_FAIL;
    XAVO_SIM_ClearFaultRules();
    ASSERT_NE(XAVO_SIM_AddFaultRule(&rule), 0u);
    EXPECT_EQ(KZ_GetRegister(0, 0x10, &value), 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

struct BankCase {
    Bank bank;
    std::uint32_t base;
    std::uint32_t setError;
    std::uint32_t getError;
};

class BankWrappers : public OpenCardFixture, public ::testing::WithParamInterface<BankCase> {};

TEST_P(BankWrappers, ReachTheirBankAndRefuseOffset256WithTheirOwnError)
{
    const BankCase c = GetParam();
    EXPECT_EQ(setBankRegister(c.bank, 0, 255, 0x1234), 1u);
    EXPECT_EQ(XAVO_SIM_CountCalls(XAVO_SIM_OP_SET_WORD, 0, halAddress(c.base + 255)), 1u);

    XAVO_SIM_ClearCallLog();
    std::uint32_t value = 0x55;
    EXPECT_EQ(setBankRegister(c.bank, 0, 256, 1), 0u);
    EXPECT_EQ(getBankRegister(c.bank, 0, 256, &value), 0u);
    EXPECT_EQ(value, 0x55u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{c.setError, c.getError}));
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);

    clearErrors();
    EXPECT_EQ(setBankRegister(c.bank, 1, 256, 1), 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

INSTANTIATE_TEST_SUITE_P(Banks, BankWrappers,
                         ::testing::Values(BankCase{Bank::System, 0, 0xc00, 0xd00},
                                           BankCase{Bank::Sampling, 512, 0xe00, 0xf00},
                                           BankCase{Bank::Peripheral, 1024, 0x1000, 0x1100}),
                         [](const auto& info) { return "Base" + std::to_string(info.param.base); });

TEST_F(Registers, SamplingWrappersAreExported)
{
    EXPECT_EQ(KZ_SetSamplingRegister(0, 0x50, 3), 1u);
    std::uint32_t value = 0;
    EXPECT_EQ(KZ_GetSamplingRegister(0, 0x50, &value), 1u);
    EXPECT_EQ(value, 3u);
    EXPECT_EQ(KZ_SetSamplingRegister(0, 256, 3), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0xe00});
}

TEST_F(Registers, BitOperationsSetAndClearOnlyTheirMask)
{
    ASSERT_EQ(KZ_SetSamplingRegister(0, 0x50, 0x0F00), 1u);
    EXPECT_EQ(KZ_SetSamplingRegisterBits(0, 0x50, 0x0003), 1u);
    EXPECT_EQ(KZ_ClearSamplingRegisterBits(0, 0x50, 0x0101), 1u);
    std::uint32_t value = 0;
    KZ_GetSamplingRegister(0, 0x50, &value);
    EXPECT_EQ(value, 0x0E02u);
    EXPECT_EQ(pBoardStates[0].lockDepth, 0u);

    XAVO_SIM_FaultRule rule{};
    rule.operations = XAVO_SIM_OP_GET_WORD;
    rule.card = XAVO_SIM_ANY;
    rule.addressFirst = 0;
    rule.addressLast = 0xFFFFFFFF;
    rule.action = XAVO_SIM_ACTION_FAIL;
    XAVO_SIM_AddFaultRule(&rule);
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetSamplingRegisterBits(0, 0x50, 1), 0u);
    EXPECT_EQ(KZ_ClearSamplingRegisterBits(0, 0x50, 1), 0u);
    EXPECT_EQ(XAVO_SIM_CountCalls(XAVO_SIM_OP_SET_WORD, XAVO_SIM_ANY, XAVO_SIM_ANY), 0u);
}

TEST_F(Registers, FieldHelperChangesOnlyItsBits)
{
    ASSERT_EQ(KZ_SetSamplingRegister(0, 0x50, 0xFFFF0000), 1u);
    constexpr Field field{4, 8};
    EXPECT_EQ(setField(Bank::Sampling, 0, 0x50, field, 0x1AB), 1u); // cut to the field's width
    std::uint32_t value = 0;
    KZ_GetSamplingRegister(0, 0x50, &value);
    EXPECT_EQ(value, 0xFFFF0AB0u);
    EXPECT_EQ(getField(Bank::Sampling, 0, 0x50, field, &value), 1u);
    EXPECT_EQ(value, 0xABu);
}

class RegisterTrace : public OpenCardFixture {
protected:
    void useTraceFile(const std::string& path)
    {
        std::strncpy(pBoardStates[0].diagnosticsFileName, path.c_str(), sizeof pBoardStates[0].diagnosticsFileName - 1);
        pBoardStates[0].isDiagnosticMode = 1;
    }

    static std::string contents(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(RegisterTrace, AppendsOneLinePerWriteInItsExactFormat)
{
    const std::string path = scratchFolder() + "/trace.txt";
    std::ofstream(path, std::ios::binary) << "kept\r\n";
    useTraceFile(path);
    EXPECT_EQ(KZ_SetSamplingRegister(0, 0x50, 3), 1u);
    EXPECT_EQ(KZ_SetRegister(0, 0x14, 0xDEADBEEF), 1u);
    std::uint32_t value = 0;
    KZ_GetSamplingRegister(0, 0x50, &value); // reads are not traced
    EXPECT_EQ(contents(path), "kept\r\n0x0250:0x00000003\r\n0x0014:0xdeadbeef\r\n");

    pBoardStates[0].isDiagnosticMode = 0;
    KZ_SetSamplingRegister(0, 0x50, 4);
    EXPECT_EQ(contents(path), "kept\r\n0x0250:0x00000003\r\n0x0014:0xdeadbeef\r\n");
}

TEST_F(RegisterTrace, AFileThatCannotBeOpenedDoesNotStopTheWrite)
{
    useTraceFile(scratchFolder() + "/missing-folder/trace.txt");
    EXPECT_FALSE(traceRegisterWrite(pBoardStates[0], 0x250, 3));
    EXPECT_EQ(KZ_SetSamplingRegister(0, 0x50, 3), 1u);
    std::uint32_t value = 0;
    KZ_GetSamplingRegister(0, 0x50, &value);
    EXPECT_EQ(value, 3u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(Registers, SelfTestExpectsTheComplementOfThePattern)
{
    EXPECT_EQ(registerSelfTest(0), 1u);
    std::uint32_t latch = 0;
    XAVO_SIM_Peek(0, halAddress(0), &latch);
    EXPECT_EQ(latch, 0x12345678u);

    XAVO_SIM_SetSelfTestMode(0, XAVO_SIM_SELFTEST_ECHO, 0);
    EXPECT_EQ(registerSelfTest(0), 0u);
    XAVO_SIM_SetSelfTestMode(0, XAVO_SIM_SELFTEST_STUCK, 0);
    EXPECT_EQ(registerSelfTest(0), 0u);
    XAVO_SIM_SetSelfTestMode(0, XAVO_SIM_SELFTEST_COMPLEMENT, 0);
    pBoardStates[0].isPCIInitialised = 0;
    EXPECT_EQ(registerSelfTest(0), 0u);
}

} // namespace
} // namespace kz::test
