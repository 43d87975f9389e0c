#include <gtest/gtest.h>

#include <vector>

#include "hardware/registers.h"
#include "library_fixture.h"
#include "timing_test_support.h"

namespace kz::test {
namespace {

constexpr std::uint32_t kPeripheralData0 = peripheralAddress(reg::per::kIoBank0);
constexpr std::uint32_t kPeripheralDdr0 = peripheralAddress(reg::per::kDdr0);
constexpr std::uint32_t kSensorArray = peripheralAddress(reg::per::kSensorArray);

using Errors = std::vector<std::uint32_t>;
using Setter = uint32_t (*)(uint32_t, uint32_t);
using Getter = uint32_t (*)(uint32_t, uint32_t*);

struct IoBank {
    const char* name;
    Setter setData;
    Getter getData;
    Setter setDdr;
    Getter getDdr;
    std::uint32_t dataAddress;
    std::uint32_t ddrAddress;
    std::uint32_t port;
};

const IoBank kBanks[] = {
    {"system 0", KZ_SetSystemIOBank0, KZ_GetSystemIOBank0, KZ_SetSystemDDR0, KZ_GetSystemDDR0, systemAddress(0x04),
     systemAddress(0x08), XAVO_SIM_IO_SYSTEM_0},
    {"system 1", KZ_SetSystemIOBank1, KZ_GetSystemIOBank1, KZ_SetSystemDDR1, KZ_GetSystemDDR1, systemAddress(0x0C),
     systemAddress(0x10), XAVO_SIM_IO_SYSTEM_1},
    {"peripheral 0", KZ_SetPeripheralIOBank0, KZ_GetPeripheralIOBank0, KZ_SetPeripheralDDR0, KZ_GetPeripheralDDR0,
     peripheralAddress(0x44), peripheralAddress(0x48), XAVO_SIM_IO_PERIPHERAL_0},
    {"peripheral 1", KZ_SetPeripheralIOBank1, KZ_GetPeripheralIOBank1, KZ_SetPeripheralDDR1, KZ_GetPeripheralDDR1,
     peripheralAddress(0x64), peripheralAddress(0x68), XAVO_SIM_IO_PERIPHERAL_1},
};

using PeripheralIo = FirmwareRunningCardFixture;

TEST_F(PeripheralIo, EachBankReadsItsOutputLatchesAndItsInputPins)
{
    for (const IoBank& bank : kBanks) {
        SCOPED_TRACE(bank.name);
        ASSERT_EQ(XAVO_SIM_SetInputPins(0, bank.port, 0xABCDABCD), 1u);
        ASSERT_EQ(bank.setDdr(0, 0xFFFF0000), 1u);
        ASSERT_EQ(bank.setData(0, 0x12345678), 1u);
        EXPECT_EQ(peek(bank.ddrAddress), 0xFFFF0000u);
        EXPECT_EQ(peek(bank.dataAddress), 0x12345678u);
        std::uint32_t ddr = 0;
        std::uint32_t data = 0;
        ASSERT_EQ(bank.getDdr(0, &ddr), 1u);
        ASSERT_EQ(bank.getData(0, &data), 1u);
        EXPECT_EQ(ddr, 0xFFFF0000u);
        EXPECT_EQ(data, 0x1234ABCDu);
    }
}

TEST_F(PeripheralIo, OnAFailedReadOnlyTheDataGettersPassTheCardsWordThrough)
{
    for (const IoBank& bank : kBanks) {
        SCOPED_TRACE(bank.name);
        addRule(XAVO_SIM_OP_GET_WORD, bank.dataAddress, XAVO_SIM_ACTION_FAIL_STORE, 0x5555);
        addRule(XAVO_SIM_OP_GET_WORD, bank.ddrAddress, XAVO_SIM_ACTION_FAIL_STORE, 0x6666);
        std::uint32_t data = 1;
        std::uint32_t ddr = 2;
        EXPECT_EQ(bank.getData(0, &data), 0u);
        EXPECT_EQ(bank.getDdr(0, &ddr), 0u);
        EXPECT_EQ(data, 0x5555u);
        EXPECT_EQ(ddr, 2u);
    }
}

TEST_F(PeripheralIo, DigitalOutputsAreBits28To31)
{
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetDigitalOutput(0, 27, 1), 0u);
    EXPECT_EQ(KZ_SetDigitalOutput(0, 32, 1), 0u);
    EXPECT_EQ(reportedErrors(), (Errors{0x6700, 0x6700}));
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);

    poke(kPeripheralDdr0, 0x00000F0F);
    poke(kPeripheralData0, 0x80000F00);
    ASSERT_EQ(KZ_SetDigitalOutput(0, 31, 0), 1u);
    EXPECT_EQ(peek(kPeripheralDdr0), 0x80000F0Fu);
    EXPECT_EQ(peek(kPeripheralData0) & 0x80000000u, 0u);
    for (const std::uint32_t bit : {28u, 29u, 30u}) {
        ASSERT_EQ(KZ_SetDigitalOutput(0, bit, 1), 1u) << bit;
    }
    EXPECT_EQ(peek(kPeripheralDdr0), 0xF0000F0Fu);
    EXPECT_EQ(peek(kPeripheralData0) & 0xF0000000u, 0x70000000u);
}

TEST_F(PeripheralIo, BoardStateAndWaterPumpAreBits28And29AndAnyNonZeroLevelIsOn)
{
    ASSERT_EQ(KZ_SetWaterPumpState(0, 5), 1u);
    EXPECT_EQ(peek(kPeripheralDdr0), 0x20000000u);
    EXPECT_EQ(peek(kPeripheralData0), 0x20000000u);
    ASSERT_EQ(KZ_SetDIBoardState(0, 1), 1u);
    ASSERT_EQ(KZ_SetWaterPumpState(0, 0), 1u);
    EXPECT_EQ(peek(kPeripheralDdr0), 0x30000000u);
    EXPECT_EQ(peek(kPeripheralData0), 0x10000000u);
}

TEST_F(PeripheralIo, ANamedOutputLeavesThePinAnOutputWhenItsDataWriteFails)
{
    addRule(XAVO_SIM_OP_SET_WORD, kPeripheralData0);
    EXPECT_EQ(KZ_SetWaterPumpState(0, 1), 0u);
    EXPECT_EQ(peek(kPeripheralDdr0), 0x20000000u);
    EXPECT_EQ(peek(kPeripheralData0), 0u);
    EXPECT_EQ(card0().lockDepth, 0u);
}

TEST_F(PeripheralIo, DiInterfaceBitsLowSetsBit11AndClearsBits10And12)
{
    for (const auto& [before, after] : {std::pair{0x1C00u, 0x0800u}, std::pair{0x0000u, 0x0800u},
                                        std::pair{0x73FFu, 0x6BFFu}}) {
        poke(kSensorArray, before);
        ASSERT_EQ(KZ_SetDIInterfaceBitsLow(0), 1u);
        EXPECT_EQ(peek(kSensorArray), after) << std::hex << before;
    }
}

TEST_F(PeripheralIo, SerialNumberComesFromTheRecord)
{
    card0().serialNumber = 40213;
    std::uint32_t serial = 0;
    ASSERT_EQ(KZ_GetSerialNumber(0, &serial), 1u);
    EXPECT_EQ(serial, 40213u);
}

} // namespace
} // namespace kz::test
