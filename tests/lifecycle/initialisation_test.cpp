#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "XAVODataCollectionControl.h"
#include "XAVOSimControl.h"
#include "frame/board_table.h"
#include "frame/error_codes.h"
#include "library_fixture.h"
#include "sim_access.h"

namespace kz::test {
namespace {

using Stage = std::pair<std::uint32_t, std::uint32_t>;
std::vector<Stage> stages;
std::uint32_t recordStage(std::uint32_t stage, std::uint32_t status)
{
    stages.emplace_back(stage, status);
    return 0;
}

class Initialisation : public LibraryFixture {
protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        stages.clear();
        KZ_SetInitialisationStatusCallback(recordStage);
    }
    void TearDown() override
    {
        KZ_SetInitialisationStatusCallback(nullptr);
        LibraryFixture::TearDown();
    }
};

TEST_F(Initialisation, BuiltInConfigurationReportsEveryStageInOrder)
{
    ASSERT_EQ(KZ_Initialise(0), 1u);
    const std::vector<Stage> expected = {{0, 1}, {1, 0}, {1, 1}, {3, 0}, {3, 1}, {2, 0}, {2, 1}, {4, 0}, {4, 1},
                                         {5, 0}, {5, 1}, {6, 0}, {6, 1}, {7, 0}, {7, 1}, {8, 1}};
    EXPECT_EQ(stages, expected);
    EXPECT_TRUE(reportedErrors().empty());
}

} // namespace
} // namespace kz::test
#include <chrono>
namespace kz::test { namespace {
TEST_F(Initialisation, Probe)
{
    XAVO_SIM_SetCallLogEnabled(0);
    KZ_SetInitialisationStatusCallback(nullptr);
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) { ASSERT_EQ(KZ_Initialise(0), 1u); ASSERT_EQ(KZ_Uninitialise(0), 1u); }
    auto t1 = std::chrono::steady_clock::now();
    printf("per cycle %.2f ms\n", std::chrono::duration<double, std::milli>(t1 - t0).count() / 200);
}
}}
