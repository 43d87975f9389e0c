// The simulated card's TCG table: the load bit of sampling 0x60, the data port sampling 0x70.
#include <vector>

#include "sim_fixture.h"

namespace simtest {
namespace {

constexpr std::uint32_t kTcgControl = smpReg(0x60);
constexpr std::uint32_t kTcgPort = smpReg(0x70);
constexpr std::uint32_t kLoad = 1u << 31;

struct PortCounts {
    std::uint32_t pointer = kUntouched, writes = kUntouched, dropped = kUntouched;
};

PortCounts portCounts() {
    PortCounts c;
    EXPECT_EQ(1u, XAVO_SIM_GetTcgPortCounts(0, &c.pointer, &c.writes, &c.dropped));
    return c;
}

std::vector<std::uint16_t> points(std::uint32_t first, std::uint32_t count) {
    std::vector<std::uint16_t> out(count);
    EXPECT_EQ(1u, XAVO_SIM_GetTcgPoints(0, first, count, out.data()));
    return out;
}

struct Generation {
    const char* name;
    std::uint32_t sampling, peripheral, points;
};
constexpr Generation kGenerations[] = {
    {"sequence-compatible", kSequencedSampling, kSequencedPeripheral, XAVO_SIM_TCG_POINTS_SEQUENCED},
    {"older", kOlderSampling, kOlderPeripheral, XAVO_SIM_TCG_POINTS_OLDER},
};

using SimTcgTable = SimFixture;

TEST_F(SimTcgTable, HoldsNeutralPointsSizedByTheFirmwareGeneration) {
    openCard();
    for (const Generation& g : kGenerations) {
        SCOPED_TRACE(g.name);
        ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, g.sampling, g.peripheral));
        EXPECT_EQ(std::vector<std::uint16_t>(g.points, 255), points(0, g.points));
        std::uint16_t point = 0;
        EXPECT_EQ(0u, XAVO_SIM_GetTcgPoints(0, g.points, 1, &point));
        EXPECT_EQ(0u, XAVO_SIM_GetTcgPoints(0, g.points - 1, 2, &point));
        EXPECT_EQ(0u, XAVO_SIM_GetTcgPoints(0, 1, 0xFFFFFFFFu, &point));
    }
}

TEST_F(SimTcgTable, LoadBitRestartsThePortWhichAppendsSixteenBitPointsAndDropsPastTheEnd) {
    openCard();
    ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kOlderSampling, kOlderPeripheral));
    write(kTcgControl, kLoad | 0x2);
    for (std::uint32_t v : {0x10u, 0x20u, 0xABCD1234u}) write(kTcgPort, v);
    EXPECT_EQ((std::vector<std::uint16_t>{0x10, 0x20, 0x1234, 255}), points(0, 4));
    EXPECT_EQ(0u, read(kTcgPort)) << "the data port is write only";
    EXPECT_EQ(kLoad | 0x2, read(kTcgControl));

    // Without the load bit the pointer stays; with it (also when already set) it restarts.
    write(kTcgControl, 0x2);
    write(kTcgPort, 0x40);
    write(kTcgControl, kLoad);
    write(kTcgControl, kLoad);
    write(kTcgPort, 0x50);
    EXPECT_EQ((std::vector<std::uint16_t>{0x50, 0x20, 0x1234, 0x40, 255}), points(0, 5));
    PortCounts c = portCounts();
    EXPECT_EQ(1u, c.pointer);
    EXPECT_EQ(5u, c.writes);
    EXPECT_EQ(0u, c.dropped);

    write(kTcgControl, kLoad);
    for (std::uint32_t i = 0; i < XAVO_SIM_TCG_POINTS_OLDER + 2; ++i) write(kTcgPort, i);
    c = portCounts();
    EXPECT_EQ(XAVO_SIM_TCG_POINTS_OLDER, c.pointer);
    EXPECT_EQ(5u + XAVO_SIM_TCG_POINTS_OLDER + 2, c.writes);
    EXPECT_EQ(2u, c.dropped);
    EXPECT_EQ(0x7FFFu, points(XAVO_SIM_TCG_POINTS_OLDER - 1, 1)[0]);

    // A new firmware starts with a neutral table and fresh counts.
    ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kSequencedSampling, kSequencedPeripheral));
    EXPECT_EQ(std::vector<std::uint16_t>(4, 255), points(0, 4));
    c = portCounts();
    EXPECT_EQ(0u, c.pointer + c.writes + c.dropped);
}

TEST_F(SimTcgTable, OneLoadFillsEveryStepsBlockInTurn) {
    openCard();
    ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kSequencedSampling, kSequencedPeripheral));
    write(smpReg(0x74), 31);  // the load bit of any step restarts the one table
    write(kTcgControl, kLoad);
    for (std::uint32_t i = 0; i < XAVO_SIM_TCG_POINTS_SEQUENCED; ++i) write(kTcgPort, i / XAVO_SIM_TCG_POINTS_PER_STEP);
    for (std::uint32_t step : {0u, 1u, 31u}) {
        EXPECT_EQ(std::vector<std::uint16_t>(XAVO_SIM_TCG_POINTS_PER_STEP, static_cast<std::uint16_t>(step)),
                  points(step * XAVO_SIM_TCG_POINTS_PER_STEP, XAVO_SIM_TCG_POINTS_PER_STEP));
    }
    EXPECT_EQ(0u, portCounts().dropped);
}

}  // namespace
}  // namespace simtest
