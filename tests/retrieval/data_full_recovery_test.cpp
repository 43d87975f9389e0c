#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "XAVODataCollectionControl.h"
#include "bound_card_fixture.h"
#include "frame/error_codes.h"
#include "hardware/registers.h"

namespace kz::test {
namespace {

constexpr std::uint32_t kAScanTrigger = peripheralAddress(reg::per::kAScanTrigger);
constexpr std::uint32_t kFirmwareControl = samplingAddress(reg::smp::kFirmwareControl);

std::uint32_t programmedPeriods() { return reg::per::kPeriodsLessOne.extract(peek(kAScanTrigger)) + 1; }

class DataFullRecovery : public BoundCardFixture {
protected:
    void SetUp() override
    {
        BoundCardFixture::SetUp();
        shapeBScans(kStorage16Bit, {{64}, {32}});
    }
};

// The card fills its memory; the next retrieval finds it full, the service has the library
// recover it, and the card captures again at the period it ran before. A period of 131072 pulse
// clocks at 66 MHz is 100 A-scans per second, a rate that gives back 132000 periods, more than the
// card holds: only the period itself restores it.
TEST_F(DataFullRecovery, FullCardIsRecoveredThroughTheServiceAndRunsAtItsFormerPeriod)
{
    struct Case {
        const char* how;
        bool byTime;
        std::uint32_t value;
    };
    for (const Case c : {Case{"rate", false, 5000}, Case{"time", true, 131072}}) {
        SCOPED_TRACE(c.how);
        ASSERT_EQ(c.byTime ? KZ_SetRepetitionTime(0, c.value) : KZ_SetRepetitionRate(0, c.value), 1u);
        std::uint32_t rate = 0;
        std::uint32_t time = 0;
        ASSERT_EQ(KZ_GetRepetitionRate(0, &rate), 1u);
        ASSERT_EQ(KZ_GetRepetitionTime(0, &time), 1u);
        const std::uint32_t periods = programmedPeriods();
        const std::uint32_t control = peek(kFirmwareControl);
        const std::uint32_t recoveries = DC_SIM_ReturnRecoveryCount(0);
        clearErrors();

        ASSERT_EQ(XAVO_SIM_ForceDataFull(0), 1u);
        std::vector<std::uint8_t> first(256);
        std::vector<std::uint8_t> second(256);
        void* buffers[] = {first.data(), second.data()};
        ASSERT_EQ(KZ_GetBScan(0, buffers), 1u);

        EXPECT_EQ(DC_SIM_ReturnRecoveryCount(0), recoveries + 1);
        EXPECT_EQ(programmedPeriods(), periods);
        EXPECT_EQ(peek(kFirmwareControl), control);
        std::uint32_t after = 0;
        ASSERT_EQ(KZ_GetRepetitionRate(0, &after), 1u);
        EXPECT_EQ(after, rate);
        ASSERT_EQ(KZ_GetRepetitionTime(0, &after), 1u);
        EXPECT_EQ(after, time);
        XAVO_SIM_CaptureStatus status{};
        ASSERT_EQ(XAVO_SIM_GetCaptureStatus(0, &status), 1u);
        EXPECT_EQ(status.dataFull, 0u);
        EXPECT_EQ(first[3], 0xA5u); // a freshly captured B-scan: position 0's header came first
        EXPECT_TRUE(reportedErrors().empty());
    }
}

TEST_F(DataFullRecovery, ItsPausesRunTheCardsTimeWhenTheHostClockDrivesIt)
{
    clock.drivesCardTime = true;
    XAVO_SIM_CaptureStatus before{};
    ASSERT_EQ(XAVO_SIM_GetCaptureStatus(0, &before), 1u);
    ASSERT_EQ(KZ_DataFullRecovery(0), 1u);
    XAVO_SIM_CaptureStatus after{};
    ASSERT_EQ(XAVO_SIM_GetCaptureStatus(0, &after), 1u);
    // Two pauses of 10 ms before the hand-backs, 100 ms in the firmware reset.
    EXPECT_EQ(after.cardTimeNanoseconds - before.cardTimeNanoseconds, 120'000'000u);
}

TEST_F(DataFullRecovery, RecoveryOfACardThatIsNotInitialisedStillReturnsOne)
{
    EXPECT_EQ(KZ_DataFullRecovery(7), 1u);
    const std::vector<std::uint32_t> errors = reportedErrors();
    ASSERT_FALSE(errors.empty());
    for (const std::uint32_t code : errors) {
        EXPECT_EQ(code, err::ReturnBoardStatePointerInvalidCardIndex);
    }
}

} // namespace
} // namespace kz::test
