// Files, fixtures and card configurations shared by the state file and diagnostics tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "XAVOKZ.h"
#include "XAVOSimControl.h"
#include "frame/board_table.h"
#include "library_fixture.h"
#include "platform/buffered_file.h"

namespace kz::test {

using Errors = std::vector<std::uint32_t>;

inline std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::string& path, const std::string& contents)
{
    std::ofstream(path, std::ios::binary) << contents;
}

inline bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

// A fixture file of this folder, read whole.
inline std::string fixtureText(const std::string& name)
{
    return fileText(std::string(XAVO_PERSISTENCE_FIXTURES) + "/" + name);
}

inline std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::size_t start = 0;
    for (std::size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        result.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    if (start < text.size()) {
        result.push_back(text.substr(start));
    }
    return result;
}

// The first line where two texts differ, as "line n: <a> | <b>"; empty when they are equal.
inline std::string firstDifference(const std::string& a, const std::string& b)
{
    const std::vector<std::string> left = lines(a);
    const std::vector<std::string> right = lines(b);
    for (std::size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
        const std::string l = i < left.size() ? left[i] : "<end>";
        const std::string r = i < right.size() ? right[i] : "<end>";
        if (l != r) {
            return "line " + std::to_string(i + 1) + ": " + l + " | " + r;
        }
    }
    return a == b ? "" : "line ends differ";
}

inline constexpr std::uint32_t kSampleFrequencyHz = 80000000;

// Brings a card up as far as a state file needs: initialised with its firmware, and what the
// initialisation adds that a loaded file relies on: the input ranges the EEPROM holds marked
// calibrated, as the range calibration leaves them (a range that is not calibrated cannot be
// selected), a running sample clock and a one-point TCG curve (without a curve the card
// refuses to enable TCG). The one place to replace with KZ_Initialise once the library has it.
inline void bringUpForStateFiles(std::uint32_t cardIndex, FirmwarePair firmware)
{
    initialiseCard(cardIndex, firmware);
    ASSERT_EQ(KZ_GetEEPROMvalues(cardIndex), 1u);
    BoardState& board = *boardInRange(cardIndex);
    for (std::uint32_t range = 0; range < KZ_NUMBER_OF_ANALOGUE_RANGES; ++range) {
        board.isRangeCalibrated[range] = (board.calibratedRangeMask >> range) & 1u;
    }
    ASSERT_EQ(KZ_SetSamplingFrequency(cardIndex, kSampleFrequencyHz), 1u);
    const std::uint16_t onePoint = 0;
    ASSERT_EQ(KZ_SetTCGValues(cardIndex, &onePoint, 1), 1u);
}

// An enabled gate that passes every check.
inline GateDefinition enabledGate(std::int32_t index, std::int32_t start, std::int32_t end, std::uint32_t threshold)
{
    GateDefinition gate{};
    gate.gateIndex = index;
    gate.start = start;
    gate.end = end;
    gate.threshold = threshold;
    gate.triggerGate = KZ_GATE_TRIGGER_NONE;
    gate.distanceMetric = KZ_GDMPeak;
    gate.enabled = 1;
    gate.amplitudePeakSelect = KZ_GAPSLargestPeak;
    gate.distancePeakSelect = KZ_GDPSLargestPeak;
    return gate;
}

// Card `cardIndex` of the test, brought up for state files, with the test's scratch folder.
class StateFileFixture : public LibraryFixture, public ::testing::WithParamInterface<FirmwarePair> {
protected:
    FirmwarePair firmware = GetParam();

    void SetUp() override
    {
        LibraryFixture::SetUp();
        for (std::uint32_t card = 0; card < cardCount; ++card) {
            bringUpForStateFiles(card, firmware);
        }
        clearErrors();
    }

    void TearDown() override
    {
        platform::setWriteFailurePredicate(nullptr);
        LibraryFixture::TearDown();
    }

    bool sequenced() const { return firmware.dsp >= 0x200; }
    std::string pathOf(const std::string& name) { return scratchFolder() + "/" + name; }
};

// Only the sequence-compatible generation.
class SequencedStateFileFixture : public StateFileFixture {};

#define XAVO_INSTANTIATE_SEQUENCED(suite)                                                                     \
    INSTANTIATE_TEST_SUITE_P(Generations, suite, ::testing::Values(::kz::test::kSequencedFirmware),          \
                             [](const auto&) { return "Sequenced"; })

} // namespace kz::test
