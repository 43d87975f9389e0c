#include <vector>

#include "sim_fixture.h"

namespace simtest {
namespace {

using SimSideRegisters = SimFixture;

constexpr std::uint32_t kRawConversion = smpReg(0x04);
constexpr std::uint32_t kStartConversion = 0xFFFFFFFF;

std::uint32_t pingPong(std::uint32_t position) {
    std::uint32_t v = kUntouched;
    EXPECT_EQ(1u, XAVO_SIM_GetPingPongElement(0, position, &v));
    return v;
}

std::uint32_t strobes(std::uint32_t strobe) {
    std::uint32_t n = kUntouched;
    EXPECT_EQ(1u, XAVO_SIM_GetStrobeCount(0, strobe, &n));
    return n;
}

TEST_F(SimSideRegisters, RawConversionReturnsA12BitCodeOfTheLastStart) {
    const struct {
        std::int32_t code;
        std::uint32_t read;
    } cases[] = {{0, 0}, {1, 1}, {2047, 0x7FF}, {-1, 0xFFF}, {-2048, 0x800}, {-300, 0xED4}};
    openCard();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        ASSERT_EQ(1u, XAVO_SIM_SetRawConversionCode(0, c.code));
        write(kRawConversion, kStartConversion);
        EXPECT_EQ(c.read, read(kRawConversion));
        EXPECT_EQ(c.read, read(kRawConversion)) << "reading does not start a conversion";
    }
    // A conversion holds the code of its start.
    ASSERT_EQ(1u, XAVO_SIM_SetRawConversionCode(0, 5));
    EXPECT_EQ(0xED4u, read(kRawConversion));
    EXPECT_EQ(0u, XAVO_SIM_SetRawConversionCode(0, 2048));
    EXPECT_EQ(0u, XAVO_SIM_SetRawConversionCode(0, -2049));

    // The forced word may carry bits above the code, to test the library's masking.
    ASSERT_EQ(1u, XAVO_SIM_ForceRawConversionWord(0, 1, 0xABCDE123));
    EXPECT_EQ(0xABCDE123u, read(kRawConversion));
    ASSERT_EQ(1u, XAVO_SIM_ForceRawConversionWord(0, 0, 0));
    EXPECT_EQ(0xED4u, read(kRawConversion));
}

TEST_F(SimSideRegisters, PingPongWritesFillTheTable) {
    openCard();
    write(perReg(0x18), 0xFFFF7F2A);  // position 127 = element 0x2A; bits 15-31 play no part
    write(perReg(0x18), 0x0011);      // position 0 = 0x11
    write(perReg(0x18), 0x0512);
    write(perReg(0x18), 0x0513);
    EXPECT_EQ(0x2Au, pingPong(127));
    EXPECT_EQ(0x11u, pingPong(0));
    EXPECT_EQ(0x13u, pingPong(5));
    EXPECT_EQ(0u, pingPong(6));
    EXPECT_EQ(0x0513u, read(perReg(0x18)));
    std::uint32_t v = 0;
    EXPECT_EQ(0u, XAVO_SIM_GetPingPongElement(0, 128, &v));
}

TEST_F(SimSideRegisters, StrobesAreCountedAndNeverStored) {
    openCard();
    write(smpReg(0x58), 0x80000005);
    write(smpReg(0x58), 0x00000006);
    write(smpReg(0x58), 0x80000007);
    write(perReg(0x1C), 0xA0000001);
    write(perReg(0x1C), 0x20000001);
    EXPECT_EQ(2u, strobes(XAVO_SIM_STROBE_FORCED_ASCAN));
    EXPECT_EQ(1u, strobes(XAVO_SIM_STROBE_BSCAN_START));
    EXPECT_EQ(7u, read(smpReg(0x58)));
    EXPECT_EQ(0x20000001u, peek(perReg(0x1C)));

    // A read-modify-write of what reads back fires nothing.
    write(smpReg(0x58), read(smpReg(0x58)) | 0x10000);
    EXPECT_EQ(2u, strobes(XAVO_SIM_STROBE_FORCED_ASCAN));
    std::uint32_t n = 0;
    EXPECT_EQ(0u, XAVO_SIM_GetStrobeCount(0, 2, &n));
}

TEST_F(SimSideRegisters, CapturedBScansShowInTheStatusUntilCaptureRestarts) {
    // 0x64 bits 16-30 hold the count itself, 0x4C the count less one (0 when none): a reader that
    // takes one for the other is off by one somewhere in this table.
    const struct {
        std::uint32_t captured, status, inMemory;
    } cases[] = {{0, 0, 0}, {1, 1, 0}, {2, 2, 1}, {5, 5, 4}, {0x7FFF, 0x7FFF, 0x7FFE}};
    openCard();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.captured);
        ASSERT_EQ(1u, XAVO_SIM_SetCapturedBScans(0, c.captured));
        EXPECT_EQ(c.status, read(smpReg(0x64)) >> 16 & 0x7FFF);
        EXPECT_EQ(0u, read(smpReg(0x64)) >> 31) << "bit 31 stays clear";
        EXPECT_EQ(c.inMemory, read(smpReg(0x4C)));
    }

    ASSERT_EQ(1u, XAVO_SIM_SetCapturedBScans(0, 5));
    write(smpReg(0x6C), 0x100);
    EXPECT_EQ(0u, read(smpReg(0x64)) >> 16 & 0x7FFF);
    EXPECT_EQ(0u, read(smpReg(0x4C)));
    EXPECT_EQ(0u, XAVO_SIM_SetCapturedBScans(0, 0x8000));
}

TEST_F(SimSideRegisters, EncoderCountersReadSetAndAdvance) {
    openCard();
    for (std::uint32_t e = 0; e < 6; ++e) {
        SCOPED_TRACE(e);
        const std::uint32_t address = perReg(0x20 + 4 * e);
        write(address, 100 + e);
        EXPECT_EQ(100 + e, read(address));
        ASSERT_EQ(1u, XAVO_SIM_AdvanceEncoder(0, e, -101 - static_cast<std::int32_t>(e)));
        EXPECT_EQ(0xFFFFFFFFu, read(address)) << "counts wrap";
        ASSERT_EQ(1u, XAVO_SIM_SetEncoderCount(0, e, 7));
        ASSERT_EQ(1u, XAVO_SIM_AdvanceEncoder(0, e, 3));
        EXPECT_EQ(10u, read(address));
        write(address, 0);
        EXPECT_EQ(0u, read(address));
    }
    EXPECT_EQ(0u, XAVO_SIM_SetEncoderCount(0, 6, 1));
    EXPECT_EQ(0u, XAVO_SIM_AdvanceEncoder(0, 6, 1));
}

TEST_F(SimSideRegisters, CurvedGatePortFillsTheTableInTurnAndWraps) {
    openCard();
    std::vector<std::uint16_t> table(XAVO_SIM_CURVED_GATE_ENTRIES, 0xFFFF);
    std::uint32_t pointer = kUntouched;
    write(smpReg(0x00), 0xABCD1234);  // bits 16-31 play no part
    write(smpReg(0x00), 7);
    ASSERT_EQ(1u, XAVO_SIM_GetCurvedGateTable(0, table.data(), &pointer));
    EXPECT_EQ(0x1234u, table[0]);
    EXPECT_EQ(7u, table[1]);
    EXPECT_EQ(0u, table[2]);
    EXPECT_EQ(2u, pointer);
    EXPECT_EQ(0u, read(smpReg(0x00))) << "the port is write only";

    for (std::uint32_t i = 2; i < XAVO_SIM_CURVED_GATE_ENTRIES; ++i) write(smpReg(0x00), i);
    write(smpReg(0x00), 99);  // the pointer went back to entry 0
    ASSERT_EQ(1u, XAVO_SIM_GetCurvedGateTable(0, table.data(), &pointer));
    EXPECT_EQ(99u, table[0]);
    EXPECT_EQ(4095u, table[4095]);
    EXPECT_EQ(1u, pointer);

    // A release starts the table afresh.
    ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kSequencedSampling, kSequencedPeripheral));
    ASSERT_EQ(1u, XAVO_SIM_GetCurvedGateTable(0, table.data(), &pointer));
    EXPECT_EQ(std::vector<std::uint16_t>(XAVO_SIM_CURVED_GATE_ENTRIES, 0), table);
    EXPECT_EQ(0u, pointer);
    EXPECT_EQ(0u, XAVO_SIM_GetCurvedGateTable(1, nullptr, nullptr));
}

}  // namespace
}  // namespace simtest
