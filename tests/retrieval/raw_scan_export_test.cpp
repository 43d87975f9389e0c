#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "XAVORawScan.h"
#include "XAVORawScanControl.h"
#include "bound_card_fixture.h"
#include "frame/error_codes.h"

namespace kz::test {
namespace {

constexpr std::uint8_t kUntouched = 0xAB;

// A host record full of a pattern, so that what the export leaves alone shows.
std::unique_ptr<XAVO_RawScan> patternedRecord()
{
    auto record = std::make_unique<XAVO_RawScan>();
    std::memset(record.get(), kUntouched, sizeof(XAVO_RawScan));
    return record;
}

constexpr std::uint32_t kPattern = 0xABABABAB;

class RawScanExport : public BoundCardFixture {
protected:
    void SetUp() override
    {
        BoundCardFixture::SetUp();
        shapeBScans(kStorage8Bit, {{64, 2}, {32, 1}});
    }
};

TEST_F(RawScanExport, FillsBothRecordsFromTheCardsLayout)
{
    BoardState& b = board0();
    b.noiseFilterParameters[0] = 0x11;
    b.sampleDecimation = 3;
    b.enabledGateCount[1] = 2;
    std::vector<std::uint16_t> elements(KZ_PINGPONG_SEQUENCE_LENGTH);
    std::vector<std::uint16_t> order(KZ_PINGPONG_SEQUENCE_LENGTH);
    for (std::uint16_t i = 0; i < KZ_PINGPONG_SEQUENCE_LENGTH; ++i) {
        elements[i] = i;
        order[i] = static_cast<std::uint16_t>(KZ_PINGPONG_SEQUENCE_LENGTH - 1 - i);
    }
    ASSERT_EQ(KZ_SetPingPongSequence(0, elements.data(), order.data()), 1u);
    ASSERT_NE(b.pingPongPositionOfOrder, nullptr);

    auto record = patternedRecord();
    ASSERT_EQ(KZ_CopyStateToRawScan(0, record.get(), 0), 1u);
    EXPECT_EQ(record->cardIndex, 0u);
    EXPECT_EQ(record->isSequenceCompatibleFirmware, 1u);
    EXPECT_EQ(std::memcmp(record->aScanSampleValues, b.aScanSampleValues, sizeof(b.aScanSampleValues)), 0);
    EXPECT_EQ(record->aScanSampleValues[0], 128u);
    EXPECT_EQ(record->sampleDecimation, 3u);
    EXPECT_EQ(record->numberOfAScansPerBScan, 2u);
    EXPECT_EQ(record->scanStorageOption, 0u);
    EXPECT_EQ(record->sampleStorageMode, kStorage8Bit);
    // Without counts the two count fields are left as they were.
    EXPECT_EQ(record->numberOfBScansInSram, kPattern);
    EXPECT_EQ(record->numberOfBScansToConvert, kPattern);

    const XAVO_RawScanInternal* internal = RawScan_ReturnRawScanInternal(record.get());
    ASSERT_NE(internal, nullptr);
    EXPECT_EQ(std::memcmp(internal->pingPongPositionOfOrder, b.pingPongPositionOfOrder, 256), 0);
    EXPECT_EQ(internal->noiseFilterFirstWord, 0x11u);
    EXPECT_EQ(internal->noiseFilterSecondWord, b.noiseFilterParameters[1]);
    EXPECT_EQ(internal->oversampleCount[0], 2u);
    EXPECT_EQ(std::memcmp(internal->aScanOffset, b.aScanOffset, sizeof(b.aScanOffset)), 0);
    EXPECT_EQ(internal->aScanBytesPerBScan, b.aScanBytesPerBScan);
    EXPECT_EQ(std::memcmp(internal->gateOffset, b.gateOffset, sizeof(b.gateOffset)), 0);
    EXPECT_EQ(internal->enabledGateCount[1], 2u);
    EXPECT_EQ(internal->gateBytesPerBScan, b.gateBytesPerBScan);
    EXPECT_EQ(internal->hasExtraHeaderWord, 0u);
    EXPECT_EQ(internal->snapshotSelections, 6u);
    EXPECT_EQ(internal->recordVersion, 1u);
    EXPECT_EQ(internal->reserved, 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(RawScanExport, GatesAreDescribedUpToTheFirmwaresNumberPerChannel)
{
    GateDefinition& enabled = board0().gateTable[7][2];
    enabled.enabled = 1;
    enabled.distanceMetric = KZ_GDMPeak;
    enabled.storeGateValue = 1;
    enabled.snapshotSelection = 4;
    enabled.triggerGate = KZ_GATE_TRIGGER_NONE;
    GateDefinition& other = board0().gateTable[7][4];
    other.enabled = 1;
    other.distanceMetric = 0;
    other.storeGateValue = 0;
    other.snapshotSelection = 1;
    other.triggerGate = 2;
    board0().gateTable[7][5].enabled = 2; // only exactly 1 counts as enabled

    auto record = patternedRecord();
    ASSERT_EQ(KZ_CopyStateToRawScan(0, record.get(), 0), 1u);
    const auto words = [](const XAVO_RawScanGate& g) {
        return std::vector<std::uint32_t>{g.snapshotSelection, g.isEnabled, g.isPeakDistance, g.isStoredOnCrossing,
                                          g.triggerGate};
    };
    EXPECT_EQ(words(record->gates[7][0]), (std::vector<std::uint32_t>{0, 0, 1, 1, 15}));
    EXPECT_EQ(words(record->gates[7][2]), (std::vector<std::uint32_t>{4, 1, 1, 0, 15}));
    EXPECT_EQ(words(record->gates[7][4]), (std::vector<std::uint32_t>{1, 1, 0, 1, 2}));
    EXPECT_EQ(words(record->gates[7][5]), (std::vector<std::uint32_t>{0, 0, 1, 1, 15}));
    EXPECT_EQ(record->enabledGateCount[7], 2u);
    EXPECT_EQ(record->enabledGateCount[0], 0u);
    // Sequence-compatible firmware has six gates a channel; the last two are not described.
    EXPECT_EQ(record->gates[7][6].snapshotSelection, kPattern);
    EXPECT_EQ(record->gates[127][7].triggerGate, kPattern);
}

TEST_F(RawScanExport, CountsComeFromTheCardAndFollowTheScanStorageOption)
{
    ASSERT_EQ(XAVO_SIM_SetCapturedBScans(0, 3), 1u);
    struct Case {
        std::uint32_t option;
        std::uint32_t toConvert;
    };
    for (const Case c : {Case{0, 3}, Case{1, 1}, Case{2, 3}, Case{3, 1}}) {
        ASSERT_EQ(KZ_SetScanStorageOptions(0, c.option), 1u);
        if (c.option == 0 || c.option == 2) {
            ASSERT_EQ(KZ_SetNumberOfBScansPerBank(0, 3), 1u);
        }
        ASSERT_EQ(XAVO_SIM_SetCapturedBScans(0, 3), 1u); // the settings restarted the capture
        auto record = patternedRecord();
        ASSERT_EQ(KZ_CopyStateToRawScan(0, record.get(), 1), 1u);
        EXPECT_EQ(record->numberOfBScansInSram, 3u) << "option " << c.option;
        EXPECT_EQ(record->numberOfBScansToConvert, c.toConvert) << "option " << c.option;
    }
}

TEST_F(RawScanExport, CountsWithoutDataFailAfterTheSettingsAlreadyRead)
{
    auto record = patternedRecord();
    EXPECT_EQ(KZ_CopyStateToRawScan(0, record.get(), 1), 0u);
    EXPECT_EQ(reportedErrors(), std::vector<std::uint32_t>{err::GetNumberOfBScansInSramNoSampleData});
    EXPECT_EQ(record->numberOfAScansPerBScan, 2u);
    EXPECT_EQ(record->sampleStorageMode, kStorage8Bit);
    EXPECT_EQ(record->cardIndex, kPattern);
}

TEST_F(RawScanExport, NoInternalRecordReturnsZeroBeforeAnythingIsWritten)
{
    RawScan_SIM_SetReturnNoRecord(1);
    auto record = patternedRecord();
    EXPECT_EQ(KZ_CopyStateToRawScan(0, record.get(), 1), 0u);
    const auto pristine = patternedRecord();
    EXPECT_EQ(std::memcmp(record.get(), pristine.get(), sizeof(XAVO_RawScan)), 0);
    EXPECT_EQ(KZ_CopyStateToRawScan(0, nullptr, 0), 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(RawScanExport, MissingPingPongTableGivesZeroPositions)
{
    ASSERT_EQ(board0().pingPongPositionOfOrder, nullptr);
    auto record = patternedRecord();
    XAVO_RawScanInternal* internal = RawScan_ReturnRawScanInternal(record.get());
    ASSERT_NE(internal, nullptr);
    std::memset(internal->pingPongPositionOfOrder, 0xFF, sizeof(internal->pingPongPositionOfOrder));
    ASSERT_EQ(KZ_CopyStateToRawScan(0, record.get(), 0), 1u);
    for (const std::uint16_t position : internal->pingPongPositionOfOrder) {
        ASSERT_EQ(position, 0u);
    }
}

TEST_F(RawScanExport, ServiceIsAskedBeforeTheCardIndexIsTested)
{
    auto record = patternedRecord();
    const std::uint32_t before = RawScan_SIM_ReturnNumberOfRecords();
    EXPECT_EQ(KZ_CopyStateToRawScan(5, record.get(), 0), 0u);
    EXPECT_EQ(RawScan_SIM_ReturnNumberOfRecords(), before + 1);
    EXPECT_EQ(record->cardIndex, kPattern);
    EXPECT_TRUE(reportedErrors().empty());
}

} // namespace
} // namespace kz::test
