#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "XAVODataCollection.h"
#include "XAVODataCollectionControl.h"
#include "capturing_card.h"

namespace services_test {
namespace {

// What the bound callbacks answer: the layout of an older-firmware card with one position of
// 1000 16-bit samples (A-scan area 2036 bytes), and what the recovery does.
struct Library {
    std::uint32_t aScanBytes = 2036;
    std::array<std::uint32_t, 128> offsets{};
    std::uint32_t recoveries = 0;
    bool recoveryRestartsCapture = true;
    std::uint32_t lockDepth = 0;
    std::uint32_t maxLockDepth = 0;
};
Library& library()
{
    static Library l;
    return l;
}

void lock(std::uint32_t) { library().maxLockDepth = std::max(library().maxLockDepth, ++library().lockDepth); }
void unlock(std::uint32_t) { --library().lockDepth; }
std::uint32_t readZero(std::uint32_t, std::uint32_t* value)
{
    *value = 0;
    return 1;
}
std::uint32_t cardOne(std::uint32_t) { return 1; }
std::uint32_t aScanBytes(std::uint32_t) { return library().aScanBytes; }
std::uint32_t offsetOf(std::uint32_t, std::uint32_t position) { return position < 128 ? library().offsets[position] : 0; }
std::uint32_t indexZero(std::uint32_t, std::uint32_t) { return 0; }
std::uint32_t hook(std::uint32_t, std::uint32_t (*)(std::uint32_t)) { return 1; }
std::uint32_t export_(std::uint32_t, XAVO_RawScan*, std::uint32_t) { return 1; }
std::uint32_t gate(std::uint32_t, std::uint32_t, std::uint32_t) { return 0; }
// As the library does: hand the bank back (from inside the wait) and reset the sampling side.
std::uint32_t recover(std::uint32_t card)
{
    ++library().recoveries;
    DC_IndicateSampleDataDownloaded(card);
    std::uint32_t available = 0;
    DC_GetIsSampleDataAvailable(card, &available);
    if (library().recoveryRestartsCapture) {
        CapturingCard::write(kScanControl, CapturingCard::read(kScanControl));
    }
    return 1;
}

DC_BindingRecord record(bool snapshot)
{
    DC_BindingRecord r{};
    r.recordVersion = 1;
    r.statusRegister = 0x500264;
    r.cardTypeTag = 0x4B5A3854;
    r.modeCode = snapshot ? 6 : 8;
    r.maximumSamples = 0x10000;
    r.snapshotSelections = 6;
    r.isCollectMode = snapshot ? 0 : 1;
    r.cardsPerBinding = 1;
    r.lock = lock;
    r.unlock = unlock;
    r.getNumberOfBScansInSram = readZero;
    r.getCScanBaseAddress = readZero;
    r.getAScanBaseAddress = readZero;
    r.setUpdateSampleParametersHook = hook;
    r.resetFirmware = cardOne;
    r.dataFullRecovery = recover;
    r.getSampleStorageMode = readZero;
    r.getScanStorageOptions = readZero;
    r.copyStateToRawScan = export_;
    r.oversampleCountThisStep = indexZero;
    r.aScanSampleValuesThisStep = indexZero;
    r.gateOffsetThisStep = indexZero;
    r.gateBytesPerBScan = cardOne;
    r.aScanOffsetThisStep = offsetOf;
    r.aScanBytesPerBScan = aScanBytes;
    r.isSignAndMagnitude = cardOne;
    r.snapshotSelectionForGate = gate;
    return r;
}

class DataCollectionService : public CapturingCard {
protected:
    void SetUp() override
    {
        CapturingCard::SetUp();
        DC_SIM_Reset();
        library() = Library{};
        library().offsets[0] = 4;
        setSamples(1000);
        setScanControl(1, 3);
    }
    void TearDown() override
    {
        DC_SIM_Reset();
        CapturingCard::TearDown();
    }
    static void bind()
    {
        const DC_BindingRecord r = record(false);
        ASSERT_EQ(DC_CollectInitialise(&r), 1u);
    }
};

TEST_F(DataCollectionService, BindingChecksEveryFixedWordAndCallback)
{
    using Change = std::function<void(DC_BindingRecord&)>;
    const Change changes[] = {
        [](DC_BindingRecord& r) { r.recordVersion = 2; },      [](DC_BindingRecord& r) { r.statusRegister = 0x500260; },
        [](DC_BindingRecord& r) { r.cardTypeTag = 0; },         [](DC_BindingRecord& r) { r.modeCode = 6; },
        [](DC_BindingRecord& r) { r.maximumSamples = 0; },      [](DC_BindingRecord& r) { r.snapshotSelections = 8; },
        [](DC_BindingRecord& r) { r.isCollectMode = 0; },       [](DC_BindingRecord& r) { r.cardsPerBinding = 2; },
        [](DC_BindingRecord& r) { r.reserved = 1; },            [](DC_BindingRecord& r) { r.lock = nullptr; },
        [](DC_BindingRecord& r) { r.dataFullRecovery = nullptr; },
        [](DC_BindingRecord& r) { r.snapshotSelectionForGate = nullptr; },
    };
    for (const Change& change : changes) {
        DC_BindingRecord r = record(false);
        change(r);
        EXPECT_EQ(DC_CollectInitialise(&r), 0u);
    }
    EXPECT_EQ(DC_CollectInitialise(nullptr), 0u);
    const DC_BindingRecord snapshot = record(true);
    EXPECT_EQ(DC_CollectInitialise(&snapshot), 0u);
    std::uint32_t bindings = 9;
    ASSERT_EQ(DC_SIM_GetBinding(nullptr, nullptr, &bindings), 1u);
    EXPECT_EQ(bindings, 0u);

    DC_BindingRecord withUnused = snapshot;
    withUnused.unused = &bindings; // the unused slot is not looked at
    EXPECT_EQ(DC_SnapshotInitialise(&withUnused), 1u);
    ASSERT_EQ(DC_SIM_GetBinding(nullptr, nullptr, &bindings), 1u);
    EXPECT_EQ(bindings, 1u);
}

TEST_F(DataCollectionService, WaitRunsCardTimeUntilTheBankIsCompleteOrTheTimeOut)
{
    runTimer();
    EXPECT_EQ(DC_WaitForBankSwap(0), 0u); // not bound
    bind();
    EXPECT_EQ(DC_WaitForBankSwap(0), 1u);
    EXPECT_EQ(status().capturedBScans, 3u);
    EXPECT_EQ(status().cardTimeNanoseconds, 1 * kMillisecond); // one step of the wait

    // The bank is held: the next wait returns at once.
    EXPECT_EQ(DC_WaitForBankSwap(0), 1u);
    EXPECT_EQ(status().cardTimeNanoseconds, 1 * kMillisecond);

    ASSERT_EQ(DC_IndicateSampleDataDownloaded(0), 1u);
    ASSERT_EQ(XAVO_SIM_SetTriggersPaused(0, 1), 1u);
    DC_SIM_SetWaitTimeout(25 * kMillisecond);
    EXPECT_EQ(DC_WaitForBankSwap(0), 0u);
    EXPECT_EQ(status().cardTimeNanoseconds, 26 * kMillisecond);
}

TEST_F(DataCollectionService, EarlyRequestEndsTheNextWaitAtTheFirstBScan)
{
    setScanControl(1, 100);
    bind();
    runTimer();
    ASSERT_EQ(DC_SetRequestEarlySampleData(0), 1u);
    EXPECT_EQ(DC_WaitForBankSwap(0), 1u);
    EXPECT_EQ(status().capturedBScans, 5u); // the B-scans of the first millisecond
    // The request was used up: the next wait runs on to the complete bank.
    EXPECT_EQ(DC_WaitForBankSwap(0), 1u);
    EXPECT_EQ(status().capturedBScans, 100u);

    // A request the bank hand-back clears does not end a wait.
    ASSERT_EQ(DC_SetRequestEarlySampleData(0), 1u);
    ASSERT_EQ(DC_IndicateSampleDataDownloaded(0), 1u);
    DC_SIM_SetWaitTimeout(2 * kMillisecond);
    EXPECT_EQ(DC_WaitForBankSwap(0), 0u);
}

TEST_F(DataCollectionService, FullMemoryIsHandedToTheRecoveryOncePerWait)
{
    bind();
    runTimer();
    ASSERT_EQ(XAVO_SIM_ForceDataFull(0), 1u);
    EXPECT_EQ(DC_WaitForBankSwap(0), 1u);
    EXPECT_EQ(library().recoveries, 1u);
    EXPECT_EQ(DC_SIM_ReturnRecoveryCount(0), 1u);
    EXPECT_EQ(status().dataFull, 0u);

    // A recovery that leaves the card full is not asked again within the wait.
    library().recoveryRestartsCapture = false;
    ASSERT_EQ(XAVO_SIM_ForceDataFull(0), 1u);
    DC_SIM_SetWaitTimeout(10 * kMillisecond);
    EXPECT_EQ(DC_WaitForBankSwap(0), 0u);
    EXPECT_EQ(library().recoveries, 2u);
}

TEST_F(DataCollectionService, CopyStaysInsideItsBScanAndNeedsTheHeaderOfItsPosition)
{
    bind();
    runTimer();
    ASSERT_EQ(DC_WaitForBankSwap(0), 1u);
    std::vector<std::uint8_t> got(2008);
    std::vector<std::uint8_t> card(2008);
    ASSERT_EQ(DC_GetAScanNoBankSwap(0, got.data(), 2008, 0, 1), 1u);
    ASSERT_EQ(XAVO_SIM_ReadMemory(0, 2036 + 4, card.data(), 2008), 1u);
    EXPECT_EQ(got, card);
    EXPECT_GE(library().maxLockDepth, 1u);
    EXPECT_EQ(library().lockDepth, 0u);

    std::vector<std::uint8_t> large(2040);
    EXPECT_EQ(DC_GetAScanNoBankSwap(0, large.data(), 4, 0, 3), 0u);    // B-scan not captured
    EXPECT_EQ(DC_GetAScanNoBankSwap(0, large.data(), 2032, 0, 0), 1u); // up to the area's end
    EXPECT_EQ(DC_GetAScanNoBankSwap(0, large.data(), 2032, 0, 2), 1u);
    EXPECT_EQ(DC_GetAScanNoBankSwap(0, large.data(), 2033, 0, 0), 0u); // one byte past it
    library().offsets[1] = 4; // a stale offset: the header there belongs to position 0
    EXPECT_EQ(DC_GetAScanNoBankSwap(0, got.data(), 8, 1, 0), 0u);
    DC_SIM_SetHeaderCheckOnCopy(0);
    EXPECT_EQ(DC_GetAScanNoBankSwap(0, got.data(), 8, 1, 0), 1u);
    EXPECT_EQ(DC_GetAScanNoBankSwap(0, nullptr, 8, 0, 0), 0u);
}

TEST_F(DataCollectionService, AvailabilityIsReadFromTheCardThroughCallsMarkedAsTheServices)
{
    std::uint32_t available = 9;
    ASSERT_EQ(DC_GetIsSampleDataAvailable(0, &available), 1u);
    EXPECT_EQ(available, 0u);
    ASSERT_EQ(XAVO_SIM_SetCapturedBScans(0, 2), 1u);
    XAVO_SIM_SetCallLogEnabled(1);
    XAVO_SIM_ClearCallLog();
    ASSERT_EQ(DC_GetIsSampleDataAvailable(0, &available), 1u);
    EXPECT_EQ(available, 1u);
    XAVO_SIM_CallRecord call{};
    ASSERT_EQ(XAVO_SIM_GetCallLogEntry(0, &call), 1u);
    EXPECT_EQ(call.address, kStatus);
    EXPECT_EQ(call.caller, XAVO_SIM_CALLER_SERVICE);

    DC_SIM_ForceAvailabilityFlag(1, 0);
    ASSERT_EQ(DC_GetIsSampleDataAvailable(0, &available), 1u);
    EXPECT_EQ(available, 0u);

    XAVO_SIM_FaultRule rule{};
    rule.operations = XAVO_SIM_OP_GET_WORD;
    rule.card = 0;
    rule.addressFirst = kStatus;
    rule.addressLast = kStatus;
    rule.caller = XAVO_SIM_CALLER_SERVICE;
    ASSERT_NE(XAVO_SIM_AddFaultRule(&rule), 0u);
    available = 9;
    EXPECT_EQ(DC_GetIsSampleDataAvailable(0, &available), 0u);
    EXPECT_EQ(available, 9u);
    EXPECT_EQ(DC_GetIsSampleDataAvailable(0, nullptr), 0u);
}

} // namespace
} // namespace services_test
