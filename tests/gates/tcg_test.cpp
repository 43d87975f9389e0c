#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

#include "frame/board_table.h"
#include "gates/tcg.h"
#include "hardware/registers.h"
#include "library_fixture.h"
#include "platform/platform.h"
#include "sim_access.h"

namespace kz::test {
namespace {

constexpr std::uint32_t kTcgControl = samplingAddress(reg::smp::kTcgControl);
constexpr std::uint32_t kTcgPort = samplingAddress(reg::smp::kTcgDataPort);
constexpr std::uint32_t kEnable = 1u << 1;
constexpr std::uint32_t kLoad = 1u << 31;
constexpr std::uint32_t kPointsPerStep = KZ_TCG_POINTS_PER_STEP;

std::vector<std::uint16_t> cardPoints(std::uint32_t first, std::uint32_t count)
{
    std::vector<std::uint16_t> points(count);
    EXPECT_EQ(XAVO_SIM_GetTcgPoints(0, first, count, points.data()), 1u);
    return points;
}

std::uint32_t portWrites()
{
    std::uint32_t writes = 0;
    EXPECT_EQ(XAVO_SIM_GetTcgPortCounts(0, nullptr, &writes, nullptr), 1u);
    return writes;
}

std::uint32_t controlOfStep(std::uint32_t step)
{
    std::uint32_t word = 0;
    EXPECT_EQ(XAVO_SIM_PeekStep(0, kTcgControl, step, &word), 1u);
    return word;
}

// ---------------------------------------------------------------- direct load

class TcgDirectLoad : public BothGenerationsFixture {
protected:
    BoardState& board() { return *boardInRange(0); }
};

XAVO_INSTANTIATE_FOR_BOTH_GENERATIONS(TcgDirectLoad);

TEST_P(TcgDirectLoad, WritesTheCurveThenItsLastValueTenTimesAsFarAsTheTableReaches)
{
    struct Case {
        std::uint32_t count;
        std::uint32_t repeats;
    } const cases[] = {{3, 10}, {1, 10}, {32760, 8}, {32768, 0}, {0, 0}};
    std::uint32_t writesBefore = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        // A heap block of exactly `count` values (one for an empty curve), so that a read
        // outside it is caught under the address sanitizer.
        const std::unique_ptr<std::uint16_t[]> values(new std::uint16_t[std::max(c.count, 1u)]);
        for (std::uint32_t i = 0; i < c.count; ++i) {
            values[i] = static_cast<std::uint16_t>(10 * (i + 1) + 0x8000 * (i % 2)); // full 16 bits, unchecked
        }
        ASSERT_EQ(KZ_SetTCGValues(0, values.get(), c.count), 1u);

        std::vector<std::uint16_t> expected(values.get(), values.get() + c.count);
        expected.insert(expected.end(), c.repeats, c.count == 0 ? 0 : values[c.count - 1]);
        const std::uint32_t written = c.count + c.repeats;
        EXPECT_EQ(portWrites() - writesBefore, written);
        writesBefore = portWrites();
        if (written > 0) {
            EXPECT_EQ(cardPoints(0, written), expected);
        }
        std::uint16_t* copy = nullptr;
        std::uint32_t count = 99;
        ASSERT_EQ(KZ_GetTCGValues(0, &copy, &count), 1u);
        EXPECT_EQ(count, c.count);
        ASSERT_NE(copy, nullptr);
        expected.resize(KZ_MAXIMUM_NUMBER_OF_TCG_VALUES, 0);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), copy));
        EXPECT_EQ(peek(kTcgControl) & (kEnable | kLoad), kLoad) << "TCG stays off, the load bit stays set";
    }
}

TEST_P(TcgDirectLoad, PutsTheEnableBitBackAndRefusesBadArguments)
{
    const std::uint16_t curve[] = {255, 128};
    ASSERT_EQ(KZ_SetTCGValues(0, curve, 2), 1u);
    ASSERT_EQ(KZ_SetTCGEnable(0, 1), 1u);
    ASSERT_EQ(KZ_SetTCGValues(0, curve, 1), 1u);
    std::uint32_t enabled = 0;
    ASSERT_EQ(KZ_GetTCGEnable(0, &enabled), 1u);
    EXPECT_EQ(enabled, 1u);
    EXPECT_EQ(board().tcgValueCount, 1u);

    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetTCGValues(0, curve, KZ_MAXIMUM_NUMBER_OF_TCG_VALUES + 1), 0u);
    EXPECT_EQ(KZ_SetTCGValues(0, nullptr, 1), 0u);
    EXPECT_EQ(KZ_GetTCGValues(0, nullptr, &enabled), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x2900}));
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
}

TEST_P(TcgDirectLoad, EnablingNeedsAFlagAndALoadedCurve)
{
    EXPECT_EQ(KZ_SetTCGEnable(0, 1), 0u);
    EXPECT_EQ(KZ_SetTCGEnable(0, 2), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x2101, 0x2100}));
    EXPECT_EQ(cardWrites(), 0u);
    EXPECT_EQ(KZ_SetTCGEnable(0, 0), 1u);
}

TEST_P(TcgDirectLoad, AnEnableBitThatCannotBeReadStopsTheLoadBeforeAnythingChanges)
{
    const std::uint16_t curve[] = {7};
    addRule(XAVO_SIM_OP_GET_WORD, kTcgControl);
    EXPECT_EQ(KZ_SetTCGValues(0, curve, 1), 0u);
    EXPECT_EQ(cardWrites(), 0u);
    EXPECT_EQ(board().tcgValues, nullptr);
}

TEST_P(TcgDirectLoad, AFailedAllocationLeavesNoCurve)
{
    const std::uint16_t curve[] = {7};
    ASSERT_EQ(KZ_SetTCGValues(0, curve, 1), 1u);
    platform::setAllocationFailurePredicate([](std::size_t bytes) { return bytes == 65536; });
    EXPECT_EQ(KZ_SetTCGValues(0, curve, 1), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x2902}));
    EXPECT_EQ(board().tcgValues, nullptr);
    EXPECT_EQ(KZ_SetTCGEnable(0, 1), 0u) << "no curve to enable";
}

TEST_P(TcgDirectLoad, AFailedPortWriteEndsTheLoadWithTcgOffAndTheOldCount)
{
    const std::uint16_t curve[] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(KZ_SetTCGValues(0, curve, 2), 1u);
    ASSERT_EQ(KZ_SetTCGEnable(0, 1), 1u);
    addRule(XAVO_SIM_OP_SET_WORD, kTcgPort, XAVO_SIM_ACTION_FAIL, 0, 5);
    EXPECT_EQ(KZ_SetTCGValues(0, curve, 8), 0u);
    EXPECT_EQ(peek(kTcgControl) & kEnable, 0u);
    EXPECT_EQ(board().tcgValueCount, 2u);
    EXPECT_EQ(std::vector<std::uint16_t>(board().tcgValues, board().tcgValues + 7),
              (std::vector<std::uint16_t>{1, 2, 3, 4, 5, 0, 0}));
}

// ---------------------------------------------------------------- trigger event

int layoutRecomputations = 0;
uint32_t countLayout(uint32_t) { return static_cast<uint32_t>(++layoutRecomputations); }

TEST_P(TcgDirectLoad, TriggerEventSetsBitZeroAndRecomputesTheLayoutEvenWhenTheWriteFails)
{
    layoutRecomputations = 0;
    ASSERT_EQ(KZ_SetUpdateSampleParametersHook(0, &countLayout), 1u);
    std::uint32_t event = 9;
    for (const std::uint32_t value : {1u, 0u}) {
        ASSERT_EQ(KZ_SetTCGTriggerEvent(0, value), 1u);
        EXPECT_EQ(peek(kTcgControl) & 1u, value);
        ASSERT_EQ(KZ_GetTCGTriggerEvent(0, &event), 1u);
        EXPECT_EQ(event, value);
    }
    EXPECT_EQ(layoutRecomputations, 2);
    EXPECT_EQ(KZ_SetTCGTriggerEvent(0, 2), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x1f00}));
    EXPECT_EQ(layoutRecomputations, 2);

    addRule(XAVO_SIM_OP_SET_WORD, kTcgControl);
    EXPECT_EQ(KZ_SetTCGTriggerEvent(0, 1), 0u);
    EXPECT_EQ(layoutRecomputations, 3);
}

// ---------------------------------------------------------------- normalised load (older firmware)

class TcgNormalisedLoad : public FirmwareRunningCardFixture {
protected:
    TcgNormalisedLoad() { firmware = kNonSequencedFirmware; }
};

TEST_F(TcgNormalisedLoad, StartsWithRatioAndMaskModeStreamsThePointsAndFinishesWithTcgOn)
{
    ASSERT_EQ(KZ_SetTCGNormalisedStart(0, 3, 16), 1u);
    EXPECT_EQ(peek(kTcgControl), kLoad | (15u << 4) | (3u << 2));
    const std::uint16_t points[] = {0, 64, 255};
    ASSERT_EQ(KZ_SetTCGValuesNormalised(0, points, 3), 1u);
    ASSERT_EQ(KZ_SetTCGNormalisedFinish(0), 1u);
    EXPECT_EQ(peek(kTcgControl), kEnable | (15u << 4) | (3u << 2));
    EXPECT_EQ(cardPoints(0, 4), (std::vector<std::uint16_t>{0, 64, 255, 255}));
    EXPECT_EQ(boardInRange(0)->tcgValues, nullptr) << "no copy is kept";
    std::uint32_t ratio = 0;
    ASSERT_EQ(getTcgPointRatio(0, &ratio), 1u);
    EXPECT_EQ(ratio, 16u);
}

TEST_F(TcgNormalisedLoad, RefusesMaskModesAboveThreeAndRatiosOutsideOneToSixteen)
{
    ASSERT_EQ(KZ_SetTCGNormalisedStart(0, 0, 2), 1u);
    const std::uint32_t started = peek(kTcgControl);
    for (const std::uint32_t ratio : {17u, 0u}) {
        EXPECT_EQ(KZ_SetTCGNormalisedStart(0, 1, ratio), 0u) << ratio;
        EXPECT_EQ(peek(kTcgControl), started);
    }
    // The ratio is written before the mask mode is refused.
    EXPECT_EQ(KZ_SetTCGNormalisedStart(0, 4, 5), 0u);
    EXPECT_EQ(peek(kTcgControl), (started & ~0xF0u) | (4u << 4));
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x7401, 0x7401, 0x7400}));
    EXPECT_EQ(KZ_SetTCGValuesNormalised(0, nullptr, 1), 0u);
}

TEST_F(TcgNormalisedLoad, TheEnhancedCurvesNeedSequenceCompatibleFirmware)
{
    const std::int16_t curve[] = {1};
    EXPECT_EQ(KZ_ClearTCGCurve(0), 0u);
    EXPECT_EQ(KZ_SetEnhancedTCG(0), 0u);
    EXPECT_EQ(KZ_SubmitTCGCurve(0, 0, curve, 1, 0), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x6800, 0x6800, 0x6900}));
    EXPECT_EQ(cardWrites(), 0u);
}

// ---------------------------------------------------------------- enhanced TCG

class EnhancedTcg : public FirmwareRunningCardFixture {
protected:
    BoardState& board() { return *boardInRange(0); }
    std::int16_t* curveOf(std::uint32_t step) { return &board().stepTcgCurve[std::size_t{step} * kPointsPerStep]; }

    void SetUp() override
    {
        FirmwareRunningCardFixture::SetUp();
        ASSERT_EQ(KZ_SetSequenceStep(0, 2), 1u);
        XAVO_SIM_ClearCallLog();
    }

    std::uint32_t selectedStep()
    {
        std::uint32_t step = 99;
        EXPECT_EQ(KZ_GetSequenceStep(0, &step), 1u);
        return step;
    }
};

TEST_F(EnhancedTcg, TheNormalisedLoadIsRefusedOnSequenceCompatibleFirmware)
{
    EXPECT_EQ(KZ_SetTCGNormalisedStart(0, 1, 4), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x7401}));
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
}

TEST_F(EnhancedTcg, ASubmittedCurveIsResampledOntoThePointsOfItsStepsSpan)
{
    board().aScanSampleSpan[5] = 4000; // ratio 4: 1000 points
    std::vector<std::int16_t> values(500);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<std::int16_t>(3 * i);
    }
    values[499] = 32767; // + offset wraps in 16 bits
    ASSERT_EQ(KZ_SubmitTCGCurve(0, 5, values.data(), 500, 7), 1u);
    const std::int16_t* d = curveOf(5);
    for (std::uint32_t i = 0; i < 998; ++i) {
        ASSERT_EQ(d[i], values[i / 2] + 7) << i;
    }
    EXPECT_EQ(d[998], -32762);
    EXPECT_TRUE(std::all_of(d + 1000, d + kPointsPerStep, [](std::int16_t v) { return v == 7; }));
    EXPECT_EQ((controlOfStep(5) >> 4) & 0xF, 3u) << "point ratio 4";
    EXPECT_EQ(selectedStep(), 2u);

    // More values than points: each point keeps the last value that lands on it.
    std::vector<std::int16_t> dense(3000);
    for (std::size_t i = 0; i < dense.size(); ++i) {
        dense[i] = static_cast<std::int16_t>(i);
    }
    ASSERT_EQ(KZ_SubmitTCGCurve(0, 5, dense.data(), 3000, 0), 1u);
    for (std::uint32_t j = 0; j < 1000; ++j) {
        ASSERT_EQ(d[j], static_cast<std::int16_t>(3 * j + 2)) << j;
    }
}

TEST_F(EnhancedTcg, ASubmittedCurveStaysInsideItsStepsBlockAndTheCallersValues)
{
    std::fill(std::begin(board().stepTcgCurve), std::end(board().stepTcgCurve), std::int16_t{-1});
    board().aScanSampleSpan[6] = 100000; // ratio 8: 12500 points, more than a block holds
    const std::unique_ptr<std::int16_t[]> values(new std::int16_t[20000]);
    std::fill(values.get(), values.get() + 20000, std::int16_t{40});
    ASSERT_EQ(KZ_SubmitTCGCurve(0, 6, values.get(), 20000, 2), 1u);
    EXPECT_TRUE(std::all_of(curveOf(6), curveOf(7), [](std::int16_t v) { return v == 42; }));
    EXPECT_EQ((controlOfStep(6) >> 4) & 0xF, 7u) << "point ratio 8";

    // An empty curve is all offset and reads nothing of the caller's (one-value) block.
    const std::unique_ptr<std::int16_t[]> none(new std::int16_t[1]);
    ASSERT_EQ(KZ_SubmitTCGCurve(0, 6, none.get(), 0, 9), 1u);
    EXPECT_TRUE(std::all_of(curveOf(6), curveOf(7), [](std::int16_t v) { return v == 9; }));
    EXPECT_TRUE(std::all_of(curveOf(0), curveOf(6), [](std::int16_t v) { return v == -1; }));
    EXPECT_TRUE(std::all_of(curveOf(7), curveOf(32), [](std::int16_t v) { return v == -1; }));

    EXPECT_EQ(KZ_SubmitTCGCurve(0, 32, none.get(), 0, 9), 0u);
    EXPECT_EQ(KZ_SubmitTCGCurve(0, 6, nullptr, 0, 9), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x6801}));
    EXPECT_EQ(selectedStep(), 2u);
}

TEST_F(EnhancedTcg, ClearingEmptiesEveryCurveAndChoosesEachStepsPointRatio)
{
    std::fill(std::begin(board().stepTcgCurve), std::end(board().stepTcgCurve), std::int16_t{5});
    board().aScanSampleSpan[3] = 32768;
    board().aScanSampleSpan[4] = 32767;
    ASSERT_EQ(KZ_ClearTCGCurve(0), 1u);
    EXPECT_TRUE(std::all_of(std::begin(board().stepTcgCurve), std::end(board().stepTcgCurve),
                            [](std::int16_t v) { return v == 0; }));
    for (std::uint32_t s = 0; s < 32; ++s) {
        EXPECT_EQ((controlOfStep(s) >> 4) & 0xF, s == 3 ? 7u : 3u) << s;
    }
    EXPECT_EQ(selectedStep(), 2u);
}

TEST_F(EnhancedTcg, LoadsEveryStepsScaledCurveWithTheNextStepsStartCarriedOver)
{
    struct Scaling {
        std::int16_t value;
        std::uint16_t point;
    } const scalings[] = {{800, 255}, {400, 127}, {-5, 0}, {2000, 255}, {799, 254}, {-32768, 0}, {32767, 255}, {4, 1}};
    for (std::uint32_t i = 0; i < std::size(scalings); ++i) {
        curveOf(0)[i] = scalings[i].value;
    }
    for (std::uint32_t s = 1; s < 32; ++s) {
        curveOf(s)[0] = static_cast<std::int16_t>(s * 20); // first point s * 20 * 255 / 800
    }
    for (std::uint32_t s = 0; s < 32; ++s) {
        board().aScanSampleSpan[s] = 4000; // carry-over from point 1000 on
    }
    board().numberOfAScansPerBScan = 40; // more than the steps: the last step is 31
    ASSERT_EQ(KZ_SetEnhancedTCG(0), 1u);

    EXPECT_EQ(portWrites(), 32u * kPointsPerStep);
    for (std::uint32_t i = 0; i < std::size(scalings); ++i) {
        EXPECT_EQ(cardPoints(i, 1)[0], scalings[i].point) << scalings[i].value;
    }
    const auto firstPointOf = [](std::uint32_t s) { return static_cast<std::uint16_t>(s * 20 * 255 / 800); };
    for (std::uint32_t s = 0; s < 32; ++s) {
        SCOPED_TRACE(s);
        const std::vector<std::uint16_t> block = cardPoints(s * kPointsPerStep, kPointsPerStep);
        const std::uint16_t next = s == 31 ? std::uint16_t{255} : firstPointOf(s + 1); // step 0 starts at 800
        EXPECT_TRUE(std::all_of(block.begin() + 1000, block.end(), [next](std::uint16_t p) { return p == next; }));
        if (s > 0) {
            EXPECT_TRUE(std::all_of(block.begin() + 1, block.begin() + 1000, [](std::uint16_t p) { return p == 0; }));
        }
        const std::uint32_t control = controlOfStep(s);
        EXPECT_EQ(control & (kEnable | kLoad), kEnable) << "TCG on, load off in every step";
    }
    EXPECT_EQ((controlOfStep(31) >> 2) & 3, 1u) << "mask mode 1";
    EXPECT_EQ(selectedStep(), 2u);
}

TEST_F(EnhancedTcg, WithoutASequenceTheLastStepsTailIsLeftAsItsCurve)
{
    curveOf(0)[0] = 800;
    curveOf(31)[5000] = 400;
    board().numberOfAScansPerBScan = 0; // treated as one step
    ASSERT_EQ(KZ_SetEnhancedTCG(0), 1u);
    EXPECT_EQ(cardPoints(31 * kPointsPerStep + 5000, 1)[0], 127u);
    EXPECT_EQ(cardPoints(1, 1)[0], 0u) << "step 0's tail takes step 1's first point";
}

TEST_F(EnhancedTcg, FailsBeforeTouchingTheCardWhenItsWorkTableOrTheStepCannotBeHad)
{
    platform::setAllocationFailurePredicate([](std::size_t bytes) { return bytes == 2 * 32 * kPointsPerStep; });
    EXPECT_EQ(KZ_SetEnhancedTCG(0), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x2902}));
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    platform::setAllocationFailurePredicate(nullptr);

    addRule(XAVO_SIM_OP_GET_WORD, peripheralAddress(reg::per::kSequenceStep));
    EXPECT_EQ(KZ_SetEnhancedTCG(0), 0u);
    EXPECT_EQ(cardWrites(), 0u);
}

} // namespace
} // namespace kz::test
