#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "XAVODataCollectionControl.h"
#include "library_fixture.h"
#include "frame/board_table.h"
#include "lifecycle/data_collection.h"

namespace kz::test {
namespace {

using Binding = FirmwareRunningCardFixture;

TEST_F(Binding, RecordCarriesTheModeWordsAndTheLibrarysCallbacks)
{
    struct Case {
        std::uint32_t sequenced;
        std::uint32_t mode;
        std::uint32_t modeCode;
        std::uint32_t isCollect;
    };
    for (const Case c : {Case{1, DC_SIM_MODE_SNAPSHOT, 6, 0}, Case{0, DC_SIM_MODE_COLLECT, 8, 1}}) {
        ASSERT_EQ(dc::bind(c.sequenced), 1u);
        DC_BindingRecord r{};
        std::uint32_t mode = 0;
        ASSERT_EQ(DC_SIM_GetBinding(&r, &mode, nullptr), 1u);
        EXPECT_EQ(mode, c.mode);
        const std::uint32_t words[] = {r.recordVersion, r.statusRegister, r.cardTypeTag, r.modeCode, r.maximumSamples,
                                       r.snapshotSelections, r.isCollectMode, r.cardsPerBinding, r.reserved};
        const std::uint32_t expected[] = {1, 0x500264, 0x4B5A3854, c.modeCode, 0x10000, 6, c.isCollect, 1, 0};
        EXPECT_TRUE(std::equal(std::begin(words), std::end(words), std::begin(expected)));

        EXPECT_EQ(r.lock, &KZ_Lock);
        EXPECT_EQ(r.unlock, &KZ_Unlock);
        EXPECT_EQ(r.getNumberOfBScansInSram, &KZ_GetNumberOfBScansInSRAM);
        EXPECT_EQ(r.unused, nullptr);
        EXPECT_EQ(r.getCScanBaseAddress, &KZ_GetCScanBaseSRAMAddress);
        EXPECT_EQ(r.getAScanBaseAddress, &KZ_GetAScanBaseSRAMAddress);
        EXPECT_EQ(r.setUpdateSampleParametersHook, &KZ_SetUpdateSampleParametersHook);
        EXPECT_EQ(r.resetFirmware, &KZ_ResetFirmware);
        EXPECT_EQ(r.dataFullRecovery, &KZ_DataFullRecovery);
        EXPECT_EQ(r.getSampleStorageMode, &KZ_GetSampleStorageMode);
        EXPECT_EQ(r.getScanStorageOptions, &KZ_GetScanStorageOptions);
        EXPECT_EQ(r.copyStateToRawScan, &KZ_CopyStateToRawScan);
        EXPECT_EQ(r.oversampleCountThisStep, &KZ_ReturnOversampleCountThisStep);
        EXPECT_EQ(r.aScanSampleValuesThisStep, &KZ_ReturnAScanSampleValuesThisStep);
        EXPECT_EQ(r.gateOffsetThisStep, &KZ_ReturnGateOffsetThisStep);
        EXPECT_EQ(r.gateBytesPerBScan, &KZ_ReturnGateBytesPerBScan);
        EXPECT_EQ(r.aScanOffsetThisStep, &KZ_ReturnAScanOffsetThisStep);
        EXPECT_EQ(r.aScanBytesPerBScan, &KZ_ReturnAScanBytesPerBScan);
        EXPECT_EQ(r.isSignAndMagnitude, &KZ_ReturnIsSignAndMag);
        EXPECT_EQ(r.snapshotSelectionForGate, &KZ_ReturnSnapshotSelectionForGate);
    }
}

TEST_F(Binding, RefusedBindingFailsAndUnbindingFollowsTheFirmwareFlag)
{
    ASSERT_EQ(DC_SIM_FailCalls(DC_SIM_CALL_INITIALISE, 0, 1), 1u);
    EXPECT_EQ(dc::bind(1), 0u);
    std::uint32_t bindings = 9;
    ASSERT_EQ(DC_SIM_GetBinding(nullptr, nullptr, &bindings), 1u);
    EXPECT_EQ(bindings, 0u);

    ASSERT_EQ(dc::bind(1), 1u);
    ASSERT_EQ(dc::bind(0), 1u);
    dc::unbind(1);
    dc::unbind(0);
    dc::unbind(0); // a shutdown after a failed initialisation unbinds without a binding
    ASSERT_EQ(DC_SIM_GetBinding(nullptr, nullptr, &bindings), 1u);
    EXPECT_EQ(bindings, 0u);
    EXPECT_EQ(DC_SIM_ReturnCallCount(DC_SIM_CALL_UNINITIALISE), 3u);
}

} // namespace
} // namespace kz::test
