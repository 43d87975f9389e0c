#include <gtest/gtest.h>

#include <cstdint>

#include "XAVORawScan.h"
#include "XAVORawScanControl.h"

namespace services_test {
namespace {

class RawScanService : public ::testing::Test {
protected:
    void SetUp() override { RawScan_SIM_Reset(); }
    void TearDown() override { RawScan_SIM_Reset(); }
};

TEST_F(RawScanService, HeaderNamesItsTagPositionAndOversample)
{
    struct Case {
        std::uint32_t header;
        std::uint32_t position;
        std::uint32_t oversample;
        std::uint32_t valid;
    };
    const Case cases[] = {
        {0xA5000000, 0, 0, 1}, {0xA5FE0FFF, 127, 0, 1}, {0xA5023000, 1, 3, 1},
        {0xA5020000, 0, 0, 0}, {0xA5023000, 1, 0, 0},   {0x5A000000, 0, 0, 0}, {0xA4000000, 0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RawScan_CheckAScanHeader(c.header, c.position, c.oversample), c.valid) << std::hex << c.header;
    }
    ASSERT_EQ(RawScan_SIM_SetHeaderCheck(RAWSCAN_SIM_HEADERS_REJECT_POSITION, 1), 1u);
    EXPECT_EQ(RawScan_CheckAScanHeader(0xA5020000, 1, 0), 0u);
    EXPECT_EQ(RawScan_CheckAScanHeader(0xA5000000, 0, 0), 1u);
    ASSERT_EQ(RawScan_SIM_SetHeaderCheck(RAWSCAN_SIM_HEADERS_ACCEPT_ALL, 0), 1u);
    EXPECT_EQ(RawScan_CheckAScanHeader(0, 5, 0), 1u);
    EXPECT_EQ(RawScan_SIM_SetHeaderCheck(9, 0), 0u);
}

TEST_F(RawScanService, EachRecordHasOneZeroedInternalRecordUntilUninitialised)
{
    int first = 0;
    int second = 0;
    XAVO_RawScanInternal* a = RawScan_ReturnRawScanInternal(&first);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->aScanBytesPerBScan, 0u);
    EXPECT_EQ(a->pingPongPositionOfOrder[127], 0u);
    a->aScanBytesPerBScan = 99;
    EXPECT_EQ(RawScan_ReturnRawScanInternal(&first), a);
    EXPECT_NE(RawScan_ReturnRawScanInternal(&second), a);
    EXPECT_EQ(RawScan_SIM_ReturnNumberOfRecords(), 2u);

    EXPECT_EQ(RawScan_Uninitialise(), 1u);
    EXPECT_EQ(RawScan_SIM_ReturnNumberOfRecords(), 0u);
    EXPECT_EQ(RawScan_ReturnRawScanInternal(&first)->aScanBytesPerBScan, 0u);
    RawScan_SIM_SetUninitialiseResult(0);
    EXPECT_EQ(RawScan_Uninitialise(), 0u);
    EXPECT_EQ(RawScan_SIM_ReturnNumberOfRecords(), 0u);
}

} // namespace
} // namespace services_test
