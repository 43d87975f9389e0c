#include "sim_fixture.h"

namespace simtest {
namespace {

using SimSynthesiser = SimFixture;
using SimSampleClock = SimFixture;

constexpr std::uint32_t kMailbox = smpReg(0x5C);
constexpr std::uint32_t kStatus = smpReg(0x64);
constexpr std::uint32_t kUnlocked = 1u << 8;

constexpr std::uint32_t kWord66MHz = 0x40000000;
constexpr std::uint32_t kWord40MHz = 0x26C9B26C;   // rounded down: 0.04 Hz below 40 MHz
constexpr std::uint32_t kWord100MHz = 0x60F83E0F;

void writeDds(std::uint32_t reg, std::uint32_t value) { SimFixture::write(kMailbox, reg << 8 | value); }

// Registers 4-7, most significant byte first, as the card library programs a frequency.
void programTuningWord(std::uint32_t word) {
    for (std::uint32_t i = 0; i < 4; ++i) writeDds(4 + i, (word >> (24 - 8 * i)) & 0xFF);
}

// The control values the library writes around each frequency setting.
void programControlValues() {
    writeDds(0x1D, 0x00);
    writeDds(0x1E, 0x44);
    writeDds(0x1F, 0x01);
    writeDds(0x20, 0x50);
    writeDds(8, 0);
    writeDds(9, 0);
}

bool locked() { return (SimFixture::read(kStatus) & kUnlocked) == 0; }

std::uint32_t ddsRegister(std::uint32_t reg, std::uint32_t* writes = nullptr) {
    std::uint32_t value = kUntouched;
    EXPECT_EQ(1u, XAVO_SIM_GetDdsRegister(0, reg, &value, writes));
    return value;
}

TEST_F(SimSynthesiser, MailboxWritesOneRegisterAndCountsWrites) {
    openCard();
    write(kMailbox, 0xFFFFC0A5);  // bits 14-31 ignored: register 0x00 = 0xA5
    write(kMailbox, 0x3F5A);      // register 63 = 0x5A
    write(kMailbox, 0x3F5B);
    std::uint32_t writes = 0;
    EXPECT_EQ(0xA5u, ddsRegister(0, &writes));
    EXPECT_EQ(1u, writes);
    EXPECT_EQ(0x5Bu, ddsRegister(63, &writes));
    EXPECT_EQ(2u, writes);
    EXPECT_EQ(0u, ddsRegister(1, &writes));
    EXPECT_EQ(0u, writes);
    EXPECT_EQ((std::vector<std::uint32_t>{0x80003F5B, 0x3F5B}), reads(kMailbox, 2));

    std::uint32_t v = 0;
    EXPECT_EQ(0u, XAVO_SIM_GetDdsRegister(0, 64, &v, nullptr));
    EXPECT_EQ(0u, XAVO_SIM_GetDdsRegister(1, 0, &v, nullptr));
}

TEST_F(SimSampleClock, LocksOnlyForTuningWordsFrom40To100MHz) {
    const struct {
        std::uint32_t word;
        bool locks;
    } cases[] = {
        {0, false},          {kWord40MHz - 1, false}, {kWord40MHz, true},
        {kWord66MHz, true},  {kWord100MHz, true},     {kWord100MHz + 1, false},
        {0xFFFFFFFF, false}, {kWord66MHz, true},
    };
    openCard();
    EXPECT_FALSE(locked()) << "unprogrammed at power-up";
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.word);
        programTuningWord(c.word);
        EXPECT_EQ(c.locks, locked());
    }
}

TEST_F(SimSampleClock, LockShowsAfterUReadsCountedFromValidProgramming) {
    openCard();
    ASSERT_EQ(1u, XAVO_SIM_SetClockLockReads(0, 10));
    programTuningWord(kWord66MHz);
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(locked()) << i;
    // Rewriting the same valid values, as every retry does, keeps the reads already made.
    programTuningWord(kWord66MHz);
    EXPECT_TRUE(locked());

    // Leaving the range and coming back starts the count again.
    programTuningWord(0);
    EXPECT_FALSE(locked());
    programTuningWord(kWord100MHz);
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(locked()) << i;
    EXPECT_TRUE(locked());

    ASSERT_EQ(1u, XAVO_SIM_SetClockLockReads(0, XAVO_SIM_NEVER));
    programTuningWord(kWord66MHz);
    for (int i = 0; i < 100; ++i) ASSERT_FALSE(locked()) << i;
    EXPECT_EQ(0u, XAVO_SIM_SetClockLockReads(3, 0));
}

TEST_F(SimSampleClock, StrictModeAlsoNeedsTheControlValues) {
    openCard();
    ASSERT_EQ(1u, XAVO_SIM_SetClockStrict(0, 1));
    programTuningWord(kWord66MHz);
    EXPECT_FALSE(locked());
    programControlValues();
    EXPECT_TRUE(locked());
    writeDds(0x1E, 0x45);
    EXPECT_FALSE(locked());
    writeDds(0x1E, 0x44);
    EXPECT_TRUE(locked());
    writeDds(9, 1);
    EXPECT_FALSE(locked());
    ASSERT_EQ(1u, XAVO_SIM_SetClockStrict(0, 0));
    EXPECT_TRUE(locked()) << "leaving strict mode re-evaluates at once";
}

TEST_F(SimSampleClock, LockSurvivesAReleaseAndNotAPowerCycle) {
    openCard();
    programTuningWord(kWord66MHz);
    ASSERT_TRUE(locked());
    release();
    EXPECT_TRUE(locked());
    ASSERT_EQ(1u, XAVO_SIM_PowerCycle(0));
    EXPECT_FALSE(locked());
    EXPECT_EQ(0u, ddsRegister(4));
}

}  // namespace
}  // namespace simtest
