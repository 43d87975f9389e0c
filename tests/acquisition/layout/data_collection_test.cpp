#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "XAVODataCollection.h"
#include "card_registers.h"
#include "frame/error_codes.h"
#include "library_fixture.h"

namespace kz::test {
namespace {

using CapturedBScans = FirmwareRunningCardFixture;

constexpr std::uint32_t kStatus = samplingAddress(reg::smp::kStatus);

TEST_F(CapturedBScans, WithoutCapturedBScansThereIsNoSampleData)
{
    std::uint32_t available = 7;
    ASSERT_EQ(DC_GetIsSampleDataAvailable(0, &available), 1u);
    EXPECT_EQ(available, 0u);

    std::uint32_t count = 0xDEADBEEF;
    EXPECT_EQ(KZ_GetNumberOfBScansInSRAM(0, &count), 0u);
    EXPECT_EQ(count, 0xDEADBEEFu);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{err::GetNumberOfBScansInSramNoSampleData});
}

TEST_F(CapturedBScans, CapturedBScansAreCountedFromTheCard)
{
    // The card holds the count in the status word and the count less one in the B-scans-in-memory
    // word; each getter must read its own, so that every case below comes out exact. The clock has
    // not locked (bit 8 beside the count).
    for (const std::uint32_t captured : {1u, 2u, 5u, 0x7FFFu}) {
        SCOPED_TRACE(captured);
        ASSERT_EQ(XAVO_SIM_SetCapturedBScans(0, captured), 1u);
        std::uint32_t available = 0;
        ASSERT_EQ(DC_GetIsSampleDataAvailable(0, &available), 1u);
        EXPECT_EQ(available, 1u);
        std::uint32_t inMemory = 0;
        ASSERT_EQ(KZ_GetNumberOfBScansInSRAM(0, &inMemory), 1u);
        EXPECT_EQ(inMemory, captured);
        std::uint32_t inBank = 0;
        ASSERT_EQ(KZ_GetNumberOfBScansCapturedInBank(0, &inBank), 1u);
        EXPECT_EQ(inBank, captured);
    }
    EXPECT_TRUE(reportedErrors().empty());

    ASSERT_EQ(XAVO_SIM_SetCapturedBScans(0, 0), 1u);
    std::uint32_t inBank = 0xDEADBEEF;
    ASSERT_EQ(KZ_GetNumberOfBScansCapturedInBank(0, &inBank), 1u);
    EXPECT_EQ(inBank, 0u);
}

TEST_F(CapturedBScans, UnreadableStatusFailsWithoutAnErrorOfTheLibrary)
{
    forceRead(kStatus, 0, XAVO_SIM_ACTION_FAIL);
    std::uint32_t available = 7;
    EXPECT_EQ(DC_GetIsSampleDataAvailable(0, &available), 0u);
    EXPECT_EQ(available, 7u);
    EXPECT_EQ(DC_GetIsSampleDataAvailable(0, nullptr), 0u);

    std::uint32_t count = 0xDEADBEEF;
    EXPECT_EQ(KZ_GetNumberOfBScansInSRAM(0, &count), 0u);
    EXPECT_EQ(count, 0xDEADBEEFu);
    EXPECT_TRUE(reportedErrors().empty());
}

} // namespace
} // namespace kz::test
