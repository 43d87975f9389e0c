#include <gtest/gtest.h>

#include "frame/board_table.h"
#include "frame/hooks.h"
#include "hardware/enumeration.h"
#include "library_fixture.h"

namespace kz::test {
namespace {

std::vector<std::uint32_t> enumeratedDevices()
{
    std::vector<std::uint32_t> devices;
    for (std::uint32_t i = 0; i < XAVO_SIM_ReturnCallLogLength(); ++i) {
        XAVO_SIM_CallRecord call{};
        XAVO_SIM_GetCallLogEntry(i, &call);
        if (call.operation == XAVO_SIM_OP_INITIALISE_CARD_TYPE) {
            devices.push_back(call.address);
        }
    }
    return devices;
}

using Enumeration = LibraryFixture;

TEST_F(Enumeration, FindsThePrimaryDeviceWithoutAskingForTheSecondary)
{
    cardCount = 3;
    reload();
    EXPECT_EQ(KZ_ReturnNumberOfKelzorBoards(), 3u);
    ASSERT_NE(pBoardStates, nullptr);
    EXPECT_EQ(enumeratedDevices(), std::vector<std::uint32_t>{0x86E1});
}

TEST_F(Enumeration, FallsBackToTheSecondaryDevice)
{
    deviceId = XAVO_HAL_DEVICE_ID_SECONDARY;
    cardCount = 2;
    reload();
    EXPECT_EQ(KZ_ReturnNumberOfKelzorBoards(), 2u);
    EXPECT_EQ(enumeratedDevices(), (std::vector<std::uint32_t>{0x86E1, 0x5602}));
}

TEST_F(Enumeration, WithNoCardTheLibraryLoadsEmptyAndEveryCardCallFails)
{
    cardCount = 0;
    reload();
    EXPECT_EQ(KZ_ReturnNumberOfKelzorBoards(), 0u);
    EXPECT_EQ(pBoardStates, nullptr);
    EXPECT_EQ(enumeratedDevices(), (std::vector<std::uint32_t>{0x86E1, 0x5602}));
    EXPECT_EQ(KZ_PCIInitialise(0), 0u);
    EXPECT_EQ(KZ_GetIsInitialised(0), 0u);
    std::uint32_t value = 0;
    EXPECT_EQ(KZ_GetRegister(0, 0, &value), 0u);
    KZ_Lock(0);
    KZ_Unlock(0);

    // Not enumerated, so a later call asks again.
    XAVO_SIM_ConfigureCards(1, XAVO_HAL_DEVICE_ID_PRIMARY);
    EXPECT_EQ(KZ_PCIEnumerateProtected(), 1u);
    EXPECT_EQ(KZ_ReturnNumberOfKelzorBoards(), 1u);
}

TEST_F(Enumeration, RunsOncePerLoad)
{
    pBoardStates[0].isDiagnosticMode = 1;
    BoardState* before = pBoardStates;
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_PCIEnumerateProtected(), 1u);
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_EQ(pBoardStates, before);
    EXPECT_EQ(pBoardStates[0].isDiagnosticMode, 1u);
}

TEST_F(Enumeration, AFailedAllocationLeavesNoCards)
{
    unloadLibrary();
    platform::setAllocationFailurePredicate([](std::size_t bytes) { return bytes >= sizeof(BoardState); });
    loadLibrary();
    EXPECT_EQ(KZ_ReturnNumberOfKelzorBoards(), 0u);
    EXPECT_EQ(pBoardStates, nullptr);
    platform::setAllocationFailurePredicate(nullptr);
    EXPECT_EQ(KZ_PCIEnumerateProtected(), 1u);
}

TEST_F(Enumeration, AFailingDeviceQueryFallsBackToTheSecondary)
{
    unloadLibrary();
    XAVO_SIM_ConfigureCards(1, XAVO_HAL_DEVICE_ID_PRIMARY);
    XAVO_SIM_ClearCallLog();
    XAVO_SIM_FaultRule rule{};
    rule.operations = XAVO_SIM_OP_INITIALISE_CARD_TYPE;
    rule.card = XAVO_SIM_ANY;
    rule.addressFirst = 0x86E1;
    rule.addressLast = 0x86E1;
    rule.action = XAVO_SIM_ACTION_FAIL;
    XAVO_SIM_AddFaultRule(&rule);
    loadLibrary();
    EXPECT_EQ(KZ_ReturnNumberOfKelzorBoards(), 0u);
    EXPECT_EQ(enumeratedDevices(), (std::vector<std::uint32_t>{0x86E1, 0x5602}));
}

using Opening = LibraryFixture;

TEST_F(Opening, OpensTheCardAndItsDmaChannel)
{
    EXPECT_EQ(KZ_PCIInitialise(0), 1u);
    EXPECT_EQ(pBoardStates[0].isPCIInitialised, 1u);
    EXPECT_EQ(pBoardStates[0].isDMAChannelOpen, 1u);
    EXPECT_EQ(XAVO_SIM_IsCardOpen(0), 1u);
    EXPECT_EQ(XAVO_SIM_IsDMAChannelOpen(0), 1u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(Opening, ASecondOpenFailsOnTheDmaChannel)
{
    EXPECT_EQ(KZ_PCIInitialise(0), 1u);
    EXPECT_EQ(KZ_PCIInitialise(0), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x401});
}

TEST_F(Opening, AnIndexOutOfRangeFailsSilently)
{
    EXPECT_EQ(KZ_PCIInitialise(1), 0u);
    EXPECT_TRUE(reportedErrors().empty());
    EXPECT_EQ(openDmaChannel(1), 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(Opening, HardwareFailuresAreNotReportedAndLeaveTheFlagsTrue)
{
    XAVO_SIM_FaultRule rule{};
    rule.operations = XAVO_SIM_OP_INITIALISE_CARD;
    rule.card = XAVO_SIM_ANY;
    rule.addressLast = 0xFFFFFFFF;
    rule.count = 1;
    const std::uint32_t openRule = XAVO_SIM_AddFaultRule(&rule);
    EXPECT_EQ(KZ_PCIInitialise(0), 0u);
    EXPECT_EQ(pBoardStates[0].isPCIInitialised, 0u);
    XAVO_SIM_RemoveFaultRule(openRule);

    rule.operations = XAVO_SIM_OP_OPEN_DMA;
    XAVO_SIM_AddFaultRule(&rule);
    EXPECT_EQ(KZ_PCIInitialise(0), 0u);
    EXPECT_EQ(pBoardStates[0].isPCIInitialised, 1u);
    EXPECT_EQ(pBoardStates[0].isDMAChannelOpen, 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(Opening, DmaChannelStateIsChecked)
{
    EXPECT_EQ(openDmaChannel(0), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x400});

    bringUp(0);
    clearErrors();
    EXPECT_EQ(closeDmaChannel(0), 1u);
    EXPECT_EQ(XAVO_SIM_IsDMAChannelOpen(0), 0u);
    EXPECT_EQ(closeDmaChannel(0), 0u);
    pBoardStates[0].isPCIInitialised = 0;
    EXPECT_EQ(closeDmaChannel(0), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x501, 0x500}));
}

TEST_F(Opening, UnloadClosesEveryOpenCardAndFreesItsBuffers)
{
    cardCount = 2;
    reload();
    bringUp(0);
    bringUp(1);
    closeDmaChannel(1);
    unloadLibrary();
    EXPECT_EQ(pBoardStates, nullptr);
    EXPECT_EQ(KZ_ReturnNumberOfKelzorBoards(), 0u);
    for (std::uint32_t card = 0; card < 2; ++card) {
        EXPECT_EQ(XAVO_SIM_IsCardOpen(card), 0u);
        EXPECT_EQ(XAVO_SIM_IsDMAChannelOpen(card), 0u);
    }
    EXPECT_EQ(XAVO_SIM_CountCalls(XAVO_SIM_OP_CLOSE_DMA, 1, XAVO_SIM_ANY), 1u); // only the earlier close
}

} // namespace
} // namespace kz::test
