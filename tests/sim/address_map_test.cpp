#include <array>
#include <cstring>
#include <vector>

#include "sim_fixture.h"

namespace simtest {
namespace {

using SimAddressMap = SimFixture;

enum class Expect { Ok, Unmapped, Fails };

struct AddressCase {
    std::uint32_t address;
    Expect expect;
};

// Last valid and first invalid address of every window, and the unmapped register addresses.
constexpr AddressCase kAddressCases[] = {
    {0x000000, Expect::Ok},       {0x000003, Expect::Ok},       {0x3FFFFC, Expect::Ok},
    {0x3FFFFD, Expect::Fails},    {0x3FFFFF, Expect::Fails},    {0x400000, Expect::Ok},
    {0x400002, Expect::Fails},    {0x4FFFFC, Expect::Ok},       {0x4FFFFD, Expect::Fails},
    {0x500000, Expect::Ok},       {0x5000FC, Expect::Ok},       {0x500001, Expect::Unmapped},
    {0x5000FE, Expect::Unmapped}, {0x5000FF, Expect::Unmapped}, {0x500100, Expect::Unmapped},
    {0x5001FC, Expect::Unmapped}, {0x500200, Expect::Ok},       {0x5002FC, Expect::Ok},
    {0x500203, Expect::Unmapped}, {0x500300, Expect::Unmapped}, {0x500400, Expect::Ok},
    {0x5004FC, Expect::Ok},       {0x500500, Expect::Unmapped}, {0x5008FF, Expect::Unmapped},
    {0x5FFFFF, Expect::Unmapped}, {0x600000, Expect::Ok},       {0x600001, Expect::Fails},
    {0x6001FC, Expect::Ok},       {0x600200, Expect::Fails},    {0x700000, Expect::Fails},
    {0xFFFFFFFC, Expect::Fails},
};

TEST_F(SimAddressMap, EveryWindowEdgeSucceedsOrFailsAndUnmappedAccessesCount) {
    openCard();
    for (const AddressCase& c : kAddressCases) {
        SCOPED_TRACE(::testing::Message() << std::hex << "address 0x" << c.address);
        const std::uint32_t countBefore = peek(kOutOfRangeCount);
        const std::uint32_t expected = c.expect == Expect::Fails ? 0u : 1u;

        EXPECT_EQ(expected, XAVO_HAL_SetWord(kTag, 0, c.address, 0));
        std::uint32_t v = kUntouched;
        EXPECT_EQ(expected, XAVO_HAL_GetWord(kTag, 0, c.address, &v));
        if (c.expect == Expect::Fails) {
            EXPECT_EQ(kUntouched, v) << "a failed read must leave the word alone";
        }
        if (c.expect == Expect::Unmapped) {
            EXPECT_EQ(0u, v);
        }

        EXPECT_EQ(countBefore + (c.expect == Expect::Unmapped ? 2u : 0u), peek(kOutOfRangeCount));
    }
}

TEST_F(SimAddressMap, UnmappedWritesAreDroppedAndCountedSeparatelyPerCard) {
    ASSERT_EQ(1u, XAVO_SIM_ConfigureCards(2, kPrimary));
    ASSERT_EQ(2u, enumerate());
    ASSERT_EQ(1u, XAVO_HAL_InitialiseCard(kTag, 0));
    ASSERT_EQ(1u, XAVO_HAL_InitialiseCard(kTag, 1));

    write(0x500100, 0x1234);  // between the system and sampling banks
    write(0x500202, 0x5678);  // inside the sampling bank but not word aligned
    EXPECT_EQ(0u, read(0x500100));
    EXPECT_EQ(3u, read(kOutOfRangeCount, 0));
    EXPECT_EQ(0u, read(kOutOfRangeCount, 1));
    // The aligned neighbours were not written by the unaligned access.
    EXPECT_EQ(0u, read(smpReg(0x00)) | read(smpReg(0x04)));
}

TEST_F(SimAddressMap, SampleMemoryHoldsLittleEndianWordsAtAnyAlignment) {
    openCard();
    write(0x000001, 0x11223344);
    write(0x3FFFFC, 0xA1B2C3D4);

    std::array<std::uint8_t, 6> head{};
    ASSERT_EQ(1u, XAVO_SIM_ReadMemory(0, 0, head.data(), head.size()));
    EXPECT_EQ((std::array<std::uint8_t, 6>{0x00, 0x44, 0x33, 0x22, 0x11, 0x00}), head);
    EXPECT_EQ(0x00112233u, read(0x000002));
    EXPECT_EQ(0x22334400u, read(0x000000));
    EXPECT_EQ(0xA1B2C3D4u, read(0x3FFFFC));

    // A word that would run past the end changes nothing.
    EXPECT_EQ(0u, XAVO_HAL_SetWord(kTag, 0, 0x3FFFFE, 0));
    EXPECT_EQ(0xA1B2C3D4u, read(0x3FFFFC));
}

TEST_F(SimAddressMap, FirmwareWindowIsWriteOnly) {
    openCard();
    write(0x400004, 0x80);
    EXPECT_EQ(0u, read(0x400004));
    EXPECT_EQ(0x80u, peek(0x400004));  // the last value written stays visible to the backdoor
}

TEST_F(SimAddressMap, BackdoorMemoryAccessIsBoundsCheckedAndNeedsNoOpenCard) {
    ASSERT_EQ(1u, XAVO_SIM_ReturnNumberOfCards());
    std::vector<std::uint8_t> block(64);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 3 + 1);

    EXPECT_EQ(1u, XAVO_SIM_WriteMemory(0, 0x400000 - 64, block.data(), 64));
    EXPECT_EQ(0u, XAVO_SIM_WriteMemory(0, 0x400000 - 63, block.data(), 64));
    EXPECT_EQ(0u, XAVO_SIM_ReadMemory(0, 0xFFFFFFF0u, block.data(), 0x20));  // wraps past 2^32
    EXPECT_EQ(0u, XAVO_SIM_ReadMemory(0, 0, nullptr, 4));
    EXPECT_EQ(0u, XAVO_SIM_ReadMemory(1, 0, block.data(), 4));  // no such card

    std::vector<std::uint8_t> back(64);
    ASSERT_EQ(1u, XAVO_SIM_ReadMemory(0, 0x400000 - 64, back.data(), 64));
    EXPECT_EQ(block, back);
    EXPECT_EQ(0u, XAVO_SIM_IsCardOpen(0));
}

TEST_F(SimAddressMap, PeekAndPokeReachEveryWindowWithoutSideEffects) {
    openCard();
    const std::uint32_t addresses[] = {0x000010, 0x400008, sysReg(0x40), smpReg(0x50), perReg(0x08), eepromWord(20)};
    for (std::uint32_t a : addresses) {
        SCOPED_TRACE(::testing::Message() << std::hex << "address 0x" << a);
        ASSERT_EQ(1u, XAVO_SIM_Poke(0, a, 0x0A0B0C0D));
        EXPECT_EQ(0x0A0B0C0Du, peek(a));
    }
    // Unmapped addresses neither store nor count; addresses outside every window fail.
    EXPECT_EQ(1u, XAVO_SIM_Poke(0, 0x500300, 5));
    EXPECT_EQ(0u, peek(0x500300));
    EXPECT_EQ(0u, peek(kOutOfRangeCount));
    std::uint32_t v = kUntouched;
    EXPECT_EQ(0u, XAVO_SIM_Peek(0, 0x600200, &v));
    EXPECT_EQ(0u, XAVO_SIM_Poke(0, 0x3FFFFD, 1));
    EXPECT_EQ(kUntouched, v);
    // Poking the command register stores the value but runs no command.
    write(0x500300, 0);
    ASSERT_EQ(1u, XAVO_SIM_Poke(0, kCommand, 0x200));
    EXPECT_EQ(1u, peek(kOutOfRangeCount));
    // The backdoor leaves no trace in the call log.
    EXPECT_EQ(1u, XAVO_SIM_CountCalls(0, XAVO_SIM_ANY, 0x500300));
}

}  // namespace
}  // namespace simtest
