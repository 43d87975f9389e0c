#include <map>

#include "sim_fixture.h"

namespace simtest {
namespace {

using SimSystemBank = SimFixture;
using SimRegisterClasses = SimFixture;
using SimVersionWords = SimFixture;
using SimEeprom = SimFixture;

TEST_F(SimSystemBank, SelfTestRegisterFollowsItsMode) {
    openCard();
    EXPECT_EQ(0xFFFFFFFFu, read(sysReg(0x00))) << "latch 0 at power-up";
    write(sysReg(0x00), 0x12345678);
    EXPECT_EQ(0xEDCBA987u, read(sysReg(0x00)));
    EXPECT_EQ(0x12345678u, peek(sysReg(0x00)));

    struct {
        std::uint32_t mode, stuck, expected;
    } const cases[] = {
        {XAVO_SIM_SELFTEST_ECHO, 0, 0x12345678},
        {XAVO_SIM_SELFTEST_STUCK, 0xCAFEF00D, 0xCAFEF00D},
        {XAVO_SIM_SELFTEST_COMPLEMENT, 0, 0xEDCBA987},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        ASSERT_EQ(1u, XAVO_SIM_SetSelfTestMode(0, c.mode, c.stuck));
        EXPECT_EQ(c.expected, read(sysReg(0x00)));
    }
    EXPECT_EQ(0u, XAVO_SIM_SetSelfTestMode(0, 3, 0));
    EXPECT_EQ(0u, XAVO_SIM_SetSelfTestMode(1, XAVO_SIM_SELFTEST_ECHO, 0));
    EXPECT_EQ(0xEDCBA987u, read(sysReg(0x00))) << "a rejected mode changes nothing";
}

TEST_F(SimSystemBank, CommandRegisterActsOnExactValuesOnly) {
    openCard();
    auto makeOutOfRange = [] { write(0x500100, 0); };
    makeOutOfRange();
    makeOutOfRange();
    ASSERT_EQ(2u, read(kOutOfRangeCount));

    // Near misses and unknown values do nothing.
    for (std::uint32_t v : {0x201u, 0x300u, 0x1200u, 0x101u, 0x0u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(v);
        write(kCommand, v);
        EXPECT_EQ(2u, read(kOutOfRangeCount));
        EXPECT_EQ(0u, XAVO_SIM_GetInRangeOnlyFlag(0));
        EXPECT_EQ(0u, read(kCommand)) << "the command register reads status, not the last command";
    }

    write(kCommand, 0x200);
    EXPECT_EQ(0u, read(kOutOfRangeCount));
    EXPECT_EQ(0u, XAVO_SIM_GetInRangeOnlyFlag(0));

    write(kCommand, 0x100);
    EXPECT_EQ(1u, XAVO_SIM_GetInRangeOnlyFlag(0));
    EXPECT_EQ(0u, read(kCommand));
    // The flag does not stop the card from answering unmapped addresses.
    makeOutOfRange();
    EXPECT_EQ(1u, read(kOutOfRangeCount));
}

TEST_F(SimSystemBank, OutOfRangeCounterIgnoresWrites) {
    openCard();
    write(0x5FFFFC, 0);
    write(kOutOfRangeCount, 77);
    EXPECT_EQ(1u, read(kOutOfRangeCount));
    EXPECT_EQ(1u, peek(kOutOfRangeCount));

    // At its limit the counter stays there rather than wrapping back to 0.
    ASSERT_EQ(1u, XAVO_SIM_Poke(0, kOutOfRangeCount, 0xFFFFFFFF));
    write(0x500100, 0);
    EXPECT_EQ(0xFFFFFFFFu, read(kOutOfRangeCount));
}

TEST_F(SimVersionWords, PowerUpWordsOverridesAndRestore) {
    openCard();
    const std::uint32_t addresses[] = {sysReg(0xFC), smpReg(0xFC), perReg(0xFC)};
    // No sampling or peripheral firmware runs until a release.
    const std::uint32_t powerUp[] = {0x0101, 0, 0};
    for (std::uint32_t bank = 0; bank < 3; ++bank) {
        SCOPED_TRACE(bank);
        EXPECT_EQ(powerUp[bank], read(addresses[bank]));
        write(addresses[bank], 0x1111);  // read only
        EXPECT_EQ(powerUp[bank], read(addresses[bank]));

        ASSERT_EQ(1u, XAVO_SIM_SetVersionWord(0, bank, 0x1025));
        EXPECT_EQ(0x1025u, read(addresses[bank]));
        EXPECT_EQ(0u, XAVO_SIM_SetVersionWord(0, bank, 0x10000)) << "only bits 0-15 exist";
        EXPECT_EQ(0x1025u, read(addresses[bank]));

        ASSERT_EQ(1u, XAVO_SIM_ClearVersionOverride(0, bank));
        EXPECT_EQ(powerUp[bank], read(addresses[bank]));
    }
    // Overrides are per card and per bank.
    ASSERT_EQ(1u, XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_SAMPLING, 0x0016));
    EXPECT_EQ(0u, read(perReg(0xFC)));
    EXPECT_EQ(0u, XAVO_SIM_SetVersionWord(0, 3, 0x1));
    EXPECT_EQ(0u, XAVO_SIM_SetVersionWord(1, XAVO_SIM_BANK_SYSTEM, 0x1));
    EXPECT_EQ(0u, XAVO_SIM_ClearVersionOverride(0, 3));
}

TEST_F(SimVersionWords, ResetDropsOverrides) {
    ASSERT_EQ(1u, XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_SYSTEM, 0x0202));
    XAVO_SIM_Reset();
    openCard();
    EXPECT_EQ(0x0101u, read(sysReg(0xFC)));
}

struct ClassCase {
    const char* name;
    std::uint32_t address;
    std::uint32_t powerUpRead;
    std::uint32_t written;
    std::uint32_t readAfter;
    std::uint32_t peekAfter;
};

// What each storage class shows before and after a write of a value with every bit set or a
// recognisable pattern. Busy bits show the first read after the write (default read counts).
constexpr ClassCase kClassCases[] = {
    {"system plain", sysReg(0x08), 0, 0x89ABCDEF, 0x89ABCDEF, 0x89ABCDEF},
    {"system unused", sysReg(0x80), 0, 0x13572468, 0x13572468, 0x13572468},
    {"sampling curved-gate port", smpReg(0x00), 0, 0xFFFF, 0, 0xFFFF},
    {"sampling raw conversion", smpReg(0x04), 0, 0xFFFFFFFF, 0, 0xFFFFFFFF},
    {"sampling holdoff", smpReg(0x08), 0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
    {"sampling D-to-A busy", smpReg(0x0C), 0, 0xFFFFFFFF, 0, 0},
    {"sampling B-scans in memory", smpReg(0x4C), 0, 0x7FFF, 0, 0},
    {"sampling samples control", smpReg(0x58), 0x0003, 0x80F003E9, 0x00F003E9, 0x00F003E9},
    {"sampling synthesiser mailbox", smpReg(0x5C), 0, 0xFFFFFFFF, 0x80003FFF, 0x3FFF},
    {"sampling status", smpReg(0x64), 0x100, 0xFFFFFFFF, 0x100, 0x100},
    {"sampling scan control", smpReg(0x6C), 0, 0xC87F007F, 0xC87F007F, 0xC87F007F},
    {"sampling TCG port", smpReg(0x70), 0, 0x00FF, 0, 0x00FF},
    {"peripheral analogue control", perReg(0x00), 0, 0x01FFFFFF, 0, 0x01FFFFFF},
    {"peripheral start delay", perReg(0x04), 0, 0x10000, 0, 0x10000},
    {"peripheral calibration D-to-A", perReg(0x0C), 0, 0xFFFFFFFF, 0x80003FFF, 0x7FFFFFFF},
    {"peripheral array control", perReg(0x14), 0x80000000, 0x00001C00, 0x80001C00, 0x00001C00},
    {"peripheral encoder control", perReg(0x1C), 0, 0xC0000000, 0, 0x40000000},
    {"peripheral gate load", perReg(0x40), 0, 0x80000003, 0x80000003, 0x3},
    {"peripheral focusing", perReg(0x4C), 0x80000000, 0xFFFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF},
    {"peripheral step select", perReg(0x5C), 0, 0xFFFFFFFF, 0x1F, 0xFFFFFFFF},
    {"peripheral sequencer", perReg(0x60), 0, 0xFFFFFFFF, 0xC000001F, 0xBFFFFFFF},
    {"peripheral unused", perReg(0xF8), 0, 0x2468ACE0, 0x2468ACE0, 0x2468ACE0},
};

TEST_F(SimRegisterClasses, ReadsWritesAndPowerUpFollowEachRegistersClass) {
    openCard();
    for (const ClassCase& c : kClassCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.powerUpRead, read(c.address));
        write(c.address, c.written);
        EXPECT_EQ(c.readAfter, read(c.address));
        EXPECT_EQ(c.peekAfter, peek(c.address));
    }
    EXPECT_EQ(0u, read(kOutOfRangeCount));
}

TEST_F(SimRegisterClasses, WriteOnlyRegistersReadZeroWhateverWasWrittenAndWhicheverFirmwareRuns) {
    const struct {
        const char* name;
        std::uint32_t address;
    } registers[] = {
        {"sampling curved-gate port", smpReg(0x00)}, {"sampling TCG port", smpReg(0x70)},
        {"peripheral analogue control", perReg(0x00)}, {"peripheral start delay", perReg(0x04)},
        {"peripheral encoder control", perReg(0x1C)},
    };
    const struct {
        const char* name;
        std::uint32_t sampling, peripheral;
    } firmware[] = {{"none", 0, 0}, {"sequenced", kSequencedSampling, kSequencedPeripheral},
                    {"older", kOlderSampling, kOlderPeripheral}};
    constexpr std::uint32_t kPatterns[] = {0xFFFFFFFF, 0x7FFFFFFF, 0x12345678, 0x0000FFFF, 0x00000001};
    openCard();
    for (const auto& f : firmware) {
        SCOPED_TRACE(f.name);
        ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, f.sampling, f.peripheral));
        for (const auto& r : registers) {
            SCOPED_TRACE(r.name);
            for (const std::uint32_t pattern : kPatterns) {
                write(r.address, pattern);
                EXPECT_EQ(0u, read(r.address)) << std::hex << pattern;
                EXPECT_EQ(0u, read(r.address)) << std::hex << pattern << ", read again";
            }
        }
    }
}

TEST_F(SimRegisterClasses, ProbeAttachedInputDrivesBit31) {
    openCard();
    ASSERT_EQ(1u, XAVO_SIM_SetProbeAttached(0, 0));
    write(perReg(0x14), 0xFFFFFFFF);
    EXPECT_EQ(0x7FFFFFFFu, read(perReg(0x14)));
    EXPECT_EQ(0x7FFFFFFFu, peek(perReg(0x14))) << "bit 31 is never stored";
    ASSERT_EQ(1u, XAVO_SIM_SetProbeAttached(0, 1));
    EXPECT_EQ(0xFFFFFFFFu, read(perReg(0x14)));
    EXPECT_EQ(0u, XAVO_SIM_SetProbeAttached(5, 1));
}

TEST_F(SimRegisterClasses, IoPortsMergeDrivenPinsWithInputPins) {
    openCard();
    struct {
        std::uint32_t port, data, ddr;
    } const ports[] = {
        {XAVO_SIM_IO_SYSTEM_0, sysReg(0x04), sysReg(0x08)},
        {XAVO_SIM_IO_SYSTEM_1, sysReg(0x0C), sysReg(0x10)},
        {XAVO_SIM_IO_PERIPHERAL_0, perReg(0x44), perReg(0x48)},
        {XAVO_SIM_IO_PERIPHERAL_1, perReg(0x64), perReg(0x68)},
    };
    for (const auto& p : ports) {
        SCOPED_TRACE(p.port);
        write(p.data, 0xF0F0F0F0);
        EXPECT_EQ(0u, read(p.data)) << "no pin driven, inputs low";
        ASSERT_EQ(1u, XAVO_SIM_SetInputPins(0, p.port, 0x0000FFFF));
        write(p.ddr, 0xFF00FF00);
        EXPECT_EQ(0xFF00FF00u, read(p.ddr));
        EXPECT_EQ(0xF000F0FFu, read(p.data));
        EXPECT_EQ(0xF0F0F0F0u, peek(p.data));
    }
    EXPECT_EQ(0u, XAVO_SIM_SetInputPins(0, 4, 1));
}

TEST_F(SimEeprom, DefaultPersonalityAndWorkingCopy) {
    openCard();
    const std::map<std::uint32_t, std::uint32_t> personality = {
        {2, 2011},  {3, 2060},  {4, 2133},  {5, 1908},         {6, 2071},    {8, 2183},
        {9, 1956},  {10, 2271}, {11, 1875}, {12, 2105},        {14, 0x1234AA55}, {15, 1001},
        {16, 0x1F},
    };
    for (std::uint32_t i = 0; i < 128; ++i) {
        SCOPED_TRACE(i);
        const auto it = personality.find(i);
        EXPECT_EQ(it == personality.end() ? 0xFFFFFFFFu : it->second, read(eepromWord(i)));
    }
    write(eepromWord(127), 0x12);
    write(eepromWord(3), 2059);
    EXPECT_EQ(0x12u, read(eepromWord(127)));
    EXPECT_EQ(2059u, read(eepromWord(3)));

    // Closing and reopening keeps the EEPROM; a reset restores the personality.
    ASSERT_EQ(1u, XAVO_HAL_UninitialiseCard(kTag, 0));
    ASSERT_EQ(1u, XAVO_HAL_InitialiseCard(kTag, 0));
    EXPECT_EQ(2059u, read(eepromWord(3)));
    XAVO_SIM_Reset();
    EXPECT_EQ(2060u, peek(eepromWord(3)));
}

}  // namespace
}  // namespace simtest
