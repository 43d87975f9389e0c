#include <gtest/gtest.h>

#include <cstring>

#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "library_fixture.h"
#include "platform/platform.h"

namespace kz::test {
namespace {

struct Generation {
    std::int32_t dsp;
    std::int32_t per;
    bool accepted;
    std::uint32_t sequenceCompatible;
    std::uint32_t extraHeaderWord;
    std::uint32_t testPattern;
};

class FirmwareGeneration : public LibraryFixture, public ::testing::WithParamInterface<Generation> {};

TEST_P(FirmwareGeneration, DecidesTheGenerationAndRefusesTooOldFirmware)
{
    const Generation g = GetParam();
    BoardState& board = pBoardStates[0];
    board.hasExtraHeaderWord = 7; // shows whether the rule wrote it
    EXPECT_EQ(KZ_StructuresInitialise(0, g.dsp, g.per), g.accepted ? 1u : 0u);
    EXPECT_EQ(board.isSequenceCompatibleFirmware, g.sequenceCompatible);
    EXPECT_EQ(board.supportsTestPatternMode, g.testPattern);
    if (g.accepted) {
        EXPECT_TRUE(reportedErrors().empty());
        EXPECT_EQ(board.hasExtraHeaderWord, g.extraHeaderWord);
    } else {
        EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x108});
        EXPECT_EQ(board.hasExtraHeaderWord, 7u);
        EXPECT_EQ(board.updateSampleParametersHooks, nullptr);
    }
    EXPECT_EQ(board.isInitialised, 0u);
    EXPECT_EQ(board.lockDepth, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, FirmwareGeneration,
    ::testing::Values(Generation{0x228, 0x21F, true, 1, 0, 0}, Generation{0x200, 0x220, false, 1, 0, 0},
                      Generation{0x224, 0x21F, false, 1, 0, 0}, Generation{0x225, 0x21E, false, 1, 0, 0},
                      Generation{0x225, 0x11F, true, 1, 0, 0}, Generation{0x1FF, 0x14, true, 0, 1, 1},
                      Generation{0x125, 0x16, true, 0, 1, 1}, Generation{0x124, 0x14, true, 0, 1, 1},
                      Generation{0x123, 0x14, true, 0, 1, 0}, Generation{0x120, 0x14, false, 0, 0, 0},
                      Generation{0x125, 0x13, false, 0, 0, 0}, Generation{-1, 0x16, true, 0, 1, 1}),
    [](const auto& info) { return "Pair" + std::to_string(info.index); });

TEST(GateLimit, IsSixForSequenceCompatibleFirmwareAndEightOtherwise)
{
    EXPECT_EQ(KZ_ReturnMaximumNumberOfGates(0), 8u);
    EXPECT_EQ(KZ_ReturnMaximumNumberOfGates(1), 6u);
    EXPECT_EQ(KZ_ReturnMaximumNumberOfGates(0xFFFFFFFF), 6u);
}

using RecordDefaults = LibraryFixture;

TEST_F(RecordDefaults, FillEveryFieldOfTheRecord)
{
    writeConfiguration("[KZ]\nKZdef_PeripheralRegister=0x123\nKZdef_GainTweakPlus20=0x12345\n"
                       "KZdef_GainTweakMinus20=-2\nKZdef_GainTweakMinus40=7\nKZdef_DiagnosticsFilename=diag.log\n");
    ASSERT_EQ(KZ_StructuresInitialise(0, 0x228, 0x21F), 1u);
    const BoardState& b = pBoardStates[0];
    EXPECT_EQ(b.currentSequenceStep, 0u);
    EXPECT_EQ(b.analogueControlShadow, 0x123u);
    EXPECT_EQ(b.encoderControlShadow, 0x70050u);
    EXPECT_EQ(b.bScanRepetitionRate, 10u);
    EXPECT_EQ(b.triggerDelayShadow, 0x10000u);
    EXPECT_EQ(b.pingPongElements, nullptr);
    EXPECT_EQ(b.tcgValues, nullptr);
    EXPECT_EQ(b.tcgValueCount, 0u);
    EXPECT_EQ(b.curvedGateData, nullptr);
    for (int r = 0; r < KZ_NUMBER_OF_ANALOGUE_RANGES; ++r) {
        EXPECT_EQ(b.zeroOffset[r], 0);
    }
    EXPECT_EQ(b.currentRange, 3u);
    EXPECT_EQ(b.analogueInputRange, 3u);
    for (std::uint32_t count : b.oversampleCount) {
        EXPECT_EQ(count, 1u);
    }
    EXPECT_EQ(b.flipArrayElements, 0u);
    EXPECT_EQ(b.numberOfAScansPerBScan, 1u);
    EXPECT_EQ(b.numberOfBScansPerBank, 0u);
    EXPECT_STREQ(b.diagnosticsFileName, "diag.log");
    EXPECT_EQ(b.noiseFilterParameters[0], 0u);
    float one = 0;
    std::memcpy(&one, &b.noiseFilterParameters[1], sizeof one);
    EXPECT_EQ(one, 1.0f);
    EXPECT_EQ(b.isAutomaticBScansPerBank, 1u);
    for (int k = 0; k < KZ_SRAM_MAXIMUM_NUMBER_OF_ASCANS_PER_BSCAN; ++k) {
        EXPECT_EQ(b.aScanOffset[k], 4u);
        EXPECT_EQ(b.aScanSampleValues[k], 4u);
        EXPECT_EQ(b.aScanSampleSpan[k], 4u);
        EXPECT_EQ(b.enabledGateCount[k], 0u);
        EXPECT_EQ(b.gateOffset[k], 0u);
    }
    EXPECT_EQ(b.sampleDecimation, 1u);
    EXPECT_EQ(b.aScanBytesPerBScan, 0u);
    EXPECT_EQ(b.gateBytesPerBScan, 0u);
    EXPECT_EQ(b.gainTweakPlus20, 0x2345u);
    EXPECT_EQ(b.gainTweakMinus20, 0xFFFEu);
    EXPECT_EQ(b.gainTweakMinus40, 7u);
    for (int i = 0; i < KZ_NUMBER_OF_TEST_NAMES; ++i) {
        EXPECT_EQ(std::string(b.testNames[i]), "Test " + std::to_string(i));
    }
    EXPECT_EQ(b.tcgPointsPerStep, 8192u);
    EXPECT_EQ(b.isSignAndMag, 0u);
    EXPECT_EQ(b.updateSampleParametersHookCount + b.getEncoderOutputHookCount + b.resetEncoderOutputHookCount, 0u);
    EXPECT_NE(b.updateSampleParametersHooks, nullptr);
    EXPECT_NE(b.getEncoderOutputHooks, nullptr);
    EXPECT_NE(b.resetEncoderOutputHooks, nullptr);
    EXPECT_TRUE(lockExists(0));
}

TEST_F(RecordDefaults, WithoutAConfigurationTheBuiltInValuesApply)
{
    ASSERT_EQ(KZ_StructuresInitialise(0, 0x125, 0x16), 1u);
    EXPECT_EQ(pBoardStates[0].analogueControlShadow, 0x10E08Au);
    EXPECT_STREQ(pBoardStates[0].diagnosticsFileName, "KZ_Diag.txt");
    EXPECT_EQ(pBoardStates[0].gainTweakPlus20, 0u);
}

TEST_F(RecordDefaults, GateSlotsAreSetUpForTheGatesOfTheGeneration)
{
    for (const auto& [dsp, per, gates] : {std::tuple{0x228, 0x21F, 6}, std::tuple{0x125, 0x16, 8}}) {
        std::memset(pBoardStates[0].gateTable, 0xAB, sizeof pBoardStates[0].gateTable);
        ASSERT_EQ(KZ_StructuresInitialise(0, dsp, per), 1u);
        for (int c : {0, 127}) {
            for (int g = 0; g < KZ_MAXIMUM_NUMBER_OF_GATES; ++g) {
                const GateDefinition& d = pBoardStates[0].gateTable[c][g];
                if (g < gates) {
                    EXPECT_EQ(d.gateIndex, g);
                    EXPECT_EQ(d.triggerGate, 15u);
                    EXPECT_EQ(d.distanceMetric, 2u);
                    EXPECT_EQ(d.amplitudePeakSelect, 15u);
                    EXPECT_EQ(d.distancePeakSelect, 15u);
                    EXPECT_EQ(d.enabled | d.threshold | d.reserved[4], 0u);
                    EXPECT_EQ(d.start | d.end, 0);
                } else {
                    EXPECT_EQ(d.threshold, 0xABABABABu) << "slot " << g << " is not used";
                }
            }
        }
    }
}

TEST_F(RecordDefaults, ASecondCallOnAnInitialisedCardIsRefused)
{
    ASSERT_EQ(KZ_StructuresInitialise(0, 0x228, 0x21F), 1u);
    pBoardStates[0].isInitialised = 1;
    pBoardStates[0].currentRange = 5;
    EXPECT_EQ(KZ_StructuresInitialise(0, 0x228, 0x21F), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{0x100});
    EXPECT_EQ(pBoardStates[0].currentRange, 5u);
    EXPECT_EQ(pBoardStates[0].lockDepth, 0u);
}

TEST_F(RecordDefaults, RepeatedCallsBeforeInitialisationReuseTheirBuffersAndOneLock)
{
    ASSERT_EQ(KZ_StructuresInitialise(0, 0x120, 0x14), 0u); // too old, lock created
    ASSERT_EQ(KZ_StructuresInitialise(0, 0x228, 0x21F), 1u);
    auto* hooks = pBoardStates[0].updateSampleParametersHooks;
    // Tables an earlier life of the record left behind are released, not leaked.
    pBoardStates[0].pingPongElements = static_cast<std::uint16_t*>(platform::allocateZeroed(256));
    pBoardStates[0].tcgValues = static_cast<std::uint16_t*>(platform::allocateZeroed(65536));
    ASSERT_EQ(KZ_StructuresInitialise(0, 0x228, 0x21F), 1u);
    EXPECT_EQ(pBoardStates[0].updateSampleParametersHooks, hooks);
    EXPECT_EQ(pBoardStates[0].pingPongElements, nullptr);
    EXPECT_EQ(pBoardStates[0].tcgValues, nullptr);

    KZ_Lock(0);
    EXPECT_EQ(pBoardStates[0].lockDepth, 1u);
    KZ_Unlock(0);
    EXPECT_EQ(pBoardStates[0].lockDepth, 0u);
}

TEST_F(RecordDefaults, AFailedHookAllocationFailsWithTheLockReleased)
{
    platform::setAllocationFailurePredicate([](std::size_t bytes) { return bytes == 5 * sizeof(void*); });
    EXPECT_EQ(KZ_StructuresInitialise(0, 0x228, 0x21F), 0u);
    EXPECT_EQ(pBoardStates[0].updateSampleParametersHooks, nullptr);
    EXPECT_EQ(pBoardStates[0].lockDepth, 0u);
    platform::setAllocationFailurePredicate(nullptr);
    EXPECT_EQ(KZ_StructuresInitialise(0, 0x228, 0x21F), 1u);
}

TEST_F(RecordDefaults, AnIndexOutOfRangeIsRefusedSilently)
{
    EXPECT_EQ(KZ_StructuresInitialise(1, 0x228, 0x21F), 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

} // namespace
} // namespace kz::test
