#include "sim_fixture.h"

namespace simtest {
namespace {

using SimStepBanking = SimFixture;

constexpr std::uint32_t kSamplingStep = smpReg(0x74);
constexpr std::uint32_t kPeripheralStep = perReg(0x5C);
constexpr std::uint32_t kGateWindow = perReg(0x38);
constexpr std::uint32_t kGateAttributes = perReg(0x3C);
constexpr std::uint32_t kGateLoad = perReg(0x40);

struct BankedRegister {
    const char* name;
    std::uint32_t address, selector, bankedBits;
};

constexpr BankedRegister kBankedRegisters[] = {
    {"sampling words per oversample", smpReg(0x58), kSamplingStep, 0x0000FFFF},
    {"sampling TCG control", smpReg(0x60), kSamplingStep, 0xFFFFFFFF},
    {"peripheral oversamples", perReg(0x10), kPeripheralStep, 0x0FF00000},
    {"peripheral gate window", kGateWindow, kPeripheralStep, 0xFFFFFFFF},
    {"peripheral gate attributes", kGateAttributes, kPeripheralStep, 0xFFFFFFFF},
};

// A value for step s with distinct banked bits and distinct common bits (bit 31 stays clear:
// it is a strobe in sampling 0x58).
std::uint32_t valueFor(std::uint32_t s) { return (0x5A5A5A5Au ^ (s * 0x01010101u)) & 0x7FFFFFFF; }

std::uint32_t stepView(std::uint32_t address, std::uint32_t step) {
    std::uint32_t v = kUntouched;
    EXPECT_EQ(1u, XAVO_SIM_PeekStep(0, address, step, &v));
    return v;
}

TEST_F(SimStepBanking, SampleWordsAtPowerUpHoldInEveryStepThroughReleasesAndPowerCycles) {
    constexpr std::uint32_t kSampleControl = smpReg(0x58), kWords = 0x0011;
    auto expectEveryStep = [](std::uint32_t words, std::uint32_t otherBits) {
        for (std::uint32_t s = 0; s < 32; ++s) EXPECT_EQ(otherBits | words, stepView(kSampleControl, s)) << s;
    };
    openCard();
    ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kSequencedSampling, kSequencedPeripheral));
    write(kSamplingStep, 3);
    write(kSampleControl, 0x00050009);  // drop count 5, step 3's words 9
    ASSERT_EQ(1u, XAVO_SIM_SetSampleWordsAtPowerUp(0, kWords));
    expectEveryStep(kWords, 0x00050000);  // set at once in every step; the other bits stay
    EXPECT_EQ(0x00050000u | kWords, read(kSampleControl));

    write(kSampleControl, 0x0007);
    ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kSequencedSampling, kSequencedPeripheral));
    expectEveryStep(kWords, 0);
    ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kOlderSampling, kOlderPeripheral));
    EXPECT_EQ(kWords, read(kSampleControl));

    // A release of a downloaded pair and a power cycle return to it as well.
    write(kSampleControl, 0x0007);
    release();
    EXPECT_EQ(kWords, read(kSampleControl));
    write(kSampleControl, 0x0007);
    ASSERT_EQ(1u, XAVO_SIM_PowerCycle(0));
    EXPECT_EQ(kWords, read(kSampleControl));

    EXPECT_EQ(0u, XAVO_SIM_SetSampleWordsAtPowerUp(0, 0x10000));
    EXPECT_EQ(0u, XAVO_SIM_SetSampleWordsAtPowerUp(1, kWords));
    EXPECT_EQ(kWords, read(kSampleControl));
    XAVO_SIM_Reset();
    openCard();
    EXPECT_EQ(0x0003u, read(kSampleControl)) << "a reset restores the usual power-up value";
}

TEST_F(SimStepBanking, SequenceCompatibleFirmwareKeepsOneCopyPerStep) {
    openCard();
    ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kSequencedSampling, kSequencedPeripheral));
    for (const BankedRegister& r : kBankedRegisters) {
        SCOPED_TRACE(r.name);
        for (std::uint32_t s = 0; s < 32; ++s) {
            write(r.selector, s);
            write(r.address, valueFor(s));
        }
        const std::uint32_t common = valueFor(31) & ~r.bankedBits;  // the last write's
        for (std::uint32_t s : {0u, 1u, 17u, 31u}) {
            SCOPED_TRACE(s);
            write(r.selector, 0xE0 | s);  // only bits 0-4 select
            const std::uint32_t expected = common | (valueFor(s) & r.bankedBits);
            EXPECT_EQ(expected, read(r.address));
            EXPECT_EQ(expected, peek(r.address));
            EXPECT_EQ(expected, stepView(r.address, s));
        }
    }
    EXPECT_EQ(0x1Fu, read(kPeripheralStep)) << "the peripheral selector reads back bits 0-4";
    EXPECT_EQ(0xFFu, read(kSamplingStep));
    std::uint32_t v = 0;
    EXPECT_EQ(0u, XAVO_SIM_PeekStep(0, smpReg(0x50), 0, &v)) << "not a banked register";
    EXPECT_EQ(0u, XAVO_SIM_PeekStep(0, smpReg(0x58), 32, &v));

    // Every step powers up with three words per oversample.
    ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kSequencedSampling, kSequencedPeripheral));
    for (std::uint32_t s = 0; s < 32; ++s) EXPECT_EQ(3u, stepView(smpReg(0x58), s)) << s;
}

TEST_F(SimStepBanking, OlderFirmwareHasOneCopy) {
    openCard();
    ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kOlderSampling, kOlderPeripheral));
    for (const BankedRegister& r : kBankedRegisters) {
        SCOPED_TRACE(r.name);
        write(r.selector, 3);
        write(r.address, valueFor(3));
        write(r.selector, 9);
        EXPECT_EQ(valueFor(3), read(r.address));
        write(r.address, valueFor(9));
        write(r.selector, 3);
        EXPECT_EQ(valueFor(9), read(r.address));
    }
}

TEST_F(SimStepBanking, GateLoadLatchesEveryStepsStagedSet) {
    openCard();
    ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kSequencedSampling, kSequencedPeripheral));
    for (std::uint32_t s = 0; s < 32; ++s) {
        write(kPeripheralStep, s);
        write(kGateWindow, 0x00100000 + s);
        write(kGateAttributes, 0x00800000 | s);
    }
    write(kGateLoad, 0x80000002);  // bit 31 plays no part
    write(kGateLoad, 6);           // no slot 6 on this generation: nothing latched
    for (std::uint32_t s : {0u, 13u, 31u}) {
        SCOPED_TRACE(s);
        std::uint32_t window = kUntouched, attributes = kUntouched;
        ASSERT_EQ(1u, XAVO_SIM_GetGateSlot(0, s, 2, &window, &attributes));
        EXPECT_EQ(0x00100000 + s, window);
        EXPECT_EQ(0x00800000 | s, attributes);
        ASSERT_EQ(1u, XAVO_SIM_GetGateSlot(0, s, 1, &window, &attributes));
        EXPECT_EQ(0u, window);
    }
    std::uint32_t w = 0, a = 0;
    EXPECT_EQ(0u, XAVO_SIM_GetGateSlot(0, 0, 6, &w, &a));
    EXPECT_EQ(0u, XAVO_SIM_GetGateSlot(0, 32, 0, &w, &a));

    // The older generation: 8 slots of one set.
    ASSERT_EQ(1u, XAVO_SIM_PreloadFirmware(0, kOlderSampling, kOlderPeripheral));
    write(kGateWindow, 0x00200010);
    write(kGateAttributes, 0x00800001);
    write(kGateLoad, 7);
    ASSERT_EQ(1u, XAVO_SIM_GetGateSlot(0, 0, 7, &w, &a));
    EXPECT_EQ(0x00200010u, w);
    EXPECT_EQ(0x00800001u, a);
    EXPECT_EQ(0u, XAVO_SIM_GetGateSlot(0, 1, 0, &w, &a));
    EXPECT_EQ(0u, XAVO_SIM_GetGateSlot(0, 0, 8, &w, &a));
}

}  // namespace
}  // namespace simtest
