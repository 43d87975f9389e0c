// A card configured in every setting the state file carries, saved whole and loaded into a
// second card brought up the same way: the second card then reads back the same settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "persistence/state_file.h"
#include "persistence_support.h"

namespace kz::test {
namespace {

using Table = std::vector<std::uint16_t>;

class RoundTrip : public StateFileFixture {
protected:
    RoundTrip() { cardCount = 2; }

    // Every setting away from its default, gates on several indices and all three tables. Two
    // settings keep their defaults, as a file cannot carry them across: the 8-bit storage mode
    // (the file gives the number of samples before the mode that halves it) and a fixed number
    // of B-scans per bank (the file does not say that the count is not automatic).
    void configure(std::uint32_t card)
    {
        ASSERT_EQ(KZ_SetSystemIOBank0(card, 0x0000A5A5), 1u);
        ASSERT_EQ(KZ_SetSystemDDR0(card, 0x0000FFFF), 1u);
        ASSERT_EQ(KZ_SetSystemIOBank1(card, 0x00000012), 1u);
        ASSERT_EQ(KZ_SetSystemDDR1(card, 0x1F), 1u);
        ASSERT_EQ(KZ_SetSamplingFrequency(card, 60000000), 1u);
        ASSERT_EQ(KZ_SetRectifierMode(card, 2), 1u);
        ASSERT_EQ(KZ_SetStartDelay(card, 1000), 1u);
        ASSERT_EQ(KZ_SetNumberOfSamples(card, 512), 1u);
        ASSERT_EQ(KZ_SetDropNumberOfSamples(card, 1), 1u);
        ASSERT_EQ(KZ_SetTCGTriggerEvent(card, 1), 1u);
        ASSERT_EQ(KZ_SetTCGEnable(card, 1), 1u);
        ASSERT_EQ(KZ_SetScanStorageOptions(card, 1), 1u);
        ASSERT_EQ(KZ_SetNumberOfAScansPerBScan(card, 4), 1u);
        ASSERT_EQ(KZ_SetInputCoupling(card, 1), 1u);
        ASSERT_EQ(KZ_SetInputImpedance(card, 0), 1u);
        ASSERT_EQ(KZ_SetAnalogueInput(card, 2), 1u);
        ASSERT_EQ(KZ_SetAnalogueInputRange(card, 3), 1u);
        ASSERT_EQ(KZ_SetAToDOutputPortFormat(card, 1), 1u);
        ASSERT_EQ(KZ_SetAToDOutputDataFormat(card, 0), 1u);
        ASSERT_EQ(KZ_SetAToDInputVoltageRange(card, 0), 1u);
        ASSERT_EQ(KZ_SetAToDVrefInputCharacteristics(card, 0), 1u);
        ASSERT_EQ(KZ_SetValue(card, "DDSKEY", 1), 1u);
        ASSERT_EQ(KZ_SetValue(card, "DDSFSK", 1), 1u);
        ASSERT_EQ(KZ_SetValue(card, "CalibrationVoltage", 4), 1u);
        ASSERT_EQ(KZ_SetAuxInput(card, 3), 1u);
        ASSERT_EQ(KZ_SetTriggerSelect(card, 1), 1u);
        ASSERT_EQ(KZ_SetTransducerPulseWidth(card, 100), 1u);
        ASSERT_EQ(KZ_SetRepetitionTime(card, 4000), 1u);
        ASSERT_EQ(KZ_SetSensorArrayApertureSize(card, 2), 1u);
        ASSERT_EQ(KZ_SetNumberOfEncoderClicksPerBScan(card, 50), 1u);
        ASSERT_EQ(KZ_SetEncoderSelect(card, 2), 1u);

        GateDefinition first = enabledGate(0, 10, 200, 300);
        GateDefinition second = enabledGate(2, 50, 400, 1000);
        second.triggerGate = 0;
        second.thresholdPolarity = 2;
        second.triggerMode = 1;
        second.distanceMetric = 4;
        second.amplitudePeakSelect = 3;
        second.distancePeakSelect = 7;
        GateDefinition last = enabledGate(5, 100, 120, 2047);
        for (const GateDefinition& gate : {first, second, last}) {
            ASSERT_EQ(KZ_AddGate(card, &gate), 1u);
        }

        Table tcg(64);
        for (std::size_t i = 0; i < tcg.size(); ++i) {
            tcg[i] = static_cast<std::uint16_t>(i * 500);
        }
        ASSERT_EQ(KZ_SetTCGValues(card, tcg.data(), static_cast<std::uint32_t>(tcg.size())), 1u);

        Table elements(KZ_PINGPONG_SEQUENCE_LENGTH);
        Table order(KZ_PINGPONG_SEQUENCE_LENGTH);
        for (std::uint16_t i = 0; i < KZ_PINGPONG_SEQUENCE_LENGTH; ++i) {
            elements[i] = static_cast<std::uint16_t>((i * 5) % 128);
            order[i] = static_cast<std::uint16_t>(127 - i);
        }
        ASSERT_EQ(KZ_SetPingPongSequence(card, elements.data(), order.data()), 1u);

        Table thresholds(KZ_CURVED_GATE_NUMBER_OF_VALUES);
        for (std::size_t i = 0; i < thresholds.size(); ++i) {
            thresholds[i] = static_cast<std::uint16_t>((i * 7) % 2048);
        }
        ASSERT_EQ(KZ_SetCurvedGateData(card, thresholds.data()), 1u);
    }

    // The settings sections stop at their first key that cannot be set by name; on the older
    // firmware the peripheral section stops at the oversample list, which only the
    // sequence-compatible firmware takes.
    bool carried(const state_file::Property& row) const
    {
        if (sequenced() || row.section != state_file::Section::Peripheral) {
            return true;
        }
        const auto rows = state_file::properties();
        const auto oversamples = std::ranges::find(rows, std::string_view("NumberOfOversamples"),
                                                   &state_file::Property::name);
        return &row < &*oversamples;
    }
};
XAVO_INSTANTIATE_FOR_BOTH_GENERATIONS(RoundTrip);

TEST_P(RoundTrip, ALoadedCardReadsBackEverySettingTheFileCarries)
{
    configure(0);
    ASSERT_EQ(reportedErrors(), Errors{});
    const std::string path = pathOf("card0");
    ASSERT_EQ(KZ_SaveState(0, path.c_str(), KZ_SFSAll), 1u);
    clearErrors();
    ASSERT_EQ(KZ_LoadState(1, (path + ".dab").c_str(), KZ_SFSAll), 1u);

    // Each settings section ends at its first informational key; the file ends with the curved
    // gate, whose loader meets the end of the file.
    const Errors expected = sequenced() ? Errors{0x5100, 0x5100, 0x5100} : Errors{0x5100, 0x5100, 0x3f00};
    EXPECT_EQ(reportedErrors(), expected);

    std::uint32_t peripheralVersion = 0;
    ASSERT_EQ(KZ_GetPeripheralFirmwareVersion(0, &peripheralVersion), 1u);
    for (const state_file::Property& row : state_file::properties()) {
        if (row.getter == nullptr || row.setter == nullptr || !state_file::isWritten(row, peripheralVersion) ||
            !carried(row)) {
            continue;
        }
        std::uint32_t saved = 0xDEADBEEF;
        std::uint32_t loaded = 0xFEEDFACE;
        EXPECT_EQ(row.getter(0, &saved), 1u) << row.name;
        EXPECT_EQ(row.getter(1, &loaded), 1u) << row.name;
        EXPECT_EQ(loaded, saved) << row.name;
    }
    // Set by name, the periods between triggers bring the repetition time and rate along.
    for (auto* getter : {KZ_GetRepetitionTime, KZ_GetRepetitionRate}) {
        std::uint32_t saved = 0;
        std::uint32_t loaded = 1;
        EXPECT_EQ(getter(0, &saved), 1u);
        EXPECT_EQ(getter(1, &loaded), 1u);
        EXPECT_EQ(loaded, saved);
    }

    const std::uint32_t gates = KZ_ReturnMaximumNumberOfGates(sequenced() ? 1 : 0);
    for (std::uint32_t g = 0; g < gates; ++g) {
        GateDefinition* saved = nullptr;
        GateDefinition* loaded = nullptr;
        ASSERT_EQ(KZ_GetGate(0, static_cast<std::int32_t>(g), &saved), 1u);
        ASSERT_EQ(KZ_GetGate(1, static_cast<std::int32_t>(g), &loaded), 1u);
        for (const state_file::GateKey& key : state_file::gateKeys()) {
            EXPECT_EQ(key.read(*loaded), key.read(*saved)) << "gate " << g << " " << key.name;
        }
    }

    std::uint16_t* savedTcg = nullptr;
    std::uint16_t* loadedTcg = nullptr;
    std::uint32_t savedCount = 0;
    std::uint32_t loadedCount = 0;
    ASSERT_EQ(KZ_GetTCGValues(0, &savedTcg, &savedCount), 1u);
    ASSERT_EQ(KZ_GetTCGValues(1, &loadedTcg, &loadedCount), 1u);
    ASSERT_EQ(loadedCount, savedCount);
    EXPECT_TRUE(std::equal(savedTcg, savedTcg + savedCount, loadedTcg));

    std::uint16_t* savedElements = nullptr;
    std::uint16_t* savedOrder = nullptr;
    std::uint16_t* loadedElements = nullptr;
    std::uint16_t* loadedOrder = nullptr;
    ASSERT_EQ(KZ_GetPingPongSequence(0, &savedElements, &savedOrder), 1u);
    ASSERT_EQ(KZ_GetPingPongSequence(1, &loadedElements, &loadedOrder), 1u);
    ASSERT_NE(loadedElements, nullptr);
    EXPECT_TRUE(std::equal(savedElements, savedElements + KZ_PINGPONG_SEQUENCE_LENGTH, loadedElements));
    EXPECT_TRUE(std::equal(savedOrder, savedOrder + KZ_PINGPONG_SEQUENCE_LENGTH, loadedOrder));

    std::uint16_t* savedCurve = nullptr;
    std::uint16_t* loadedCurve = nullptr;
    ASSERT_EQ(KZ_GetCurvedGateData(0, &savedCurve), 1u);
    ASSERT_EQ(KZ_GetCurvedGateData(1, &loadedCurve), 1u);
    ASSERT_NE(loadedCurve, nullptr);
    EXPECT_TRUE(std::equal(savedCurve, savedCurve + KZ_CURVED_GATE_NUMBER_OF_VALUES, loadedCurve));

    // Saving card 1 now gives the same file, but for what the older firmware did not carry.
    if (sequenced()) {
        const std::string again = pathOf("card1");
        ASSERT_EQ(KZ_SaveState(1, again.c_str(), KZ_SFSAll), 1u);
        EXPECT_EQ(firstDifference(fileText(again + ".dab"), fileText(path + ".dab")), "");
    }
}

} // namespace
} // namespace kz::test
