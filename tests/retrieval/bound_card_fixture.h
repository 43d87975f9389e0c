// A card that captures: initialised, its sample clock at 66 MHz, bound to the data-collection
// service, pulsing on the internal timer at 5000 A-scans per second into banks of one B-scan of
// ramp data; and the expected bytes of an A-scan record of the ramp.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "XAVODataCollectionControl.h"
#include "XAVOKZ.h"
#include "XAVOSimControl.h"
#include "frame/board_table.h"
#include "library_fixture.h"
#include "lifecycle/data_collection.h"
#include "sim_access.h"

namespace kz::test {

inline constexpr std::uint32_t kSampleClockHz = 66'000'000;
inline constexpr std::uint32_t kAScansPerSecond = 5000;
inline constexpr std::uint32_t kStorage16Bit = 0;
inline constexpr std::uint32_t kStorage8Bit = 1;

inline BoardState& board0() { return *boardInRange(0); }

// One A-scan position: samples per oversample and oversamples.
struct Position {
    std::uint32_t samples;
    std::uint32_t oversamples = 1;
};

class BoundCardFixture : public FirmwareRunningCardFixture {
protected:
    void SetUp() override
    {
        FirmwareRunningCardFixture::SetUp();
        ASSERT_EQ(KZ_SetSamplingFrequency(0, kSampleClockHz), 1u);
        ASSERT_EQ(dc::bind(sequenced() ? 1 : 0), 1u);
        ASSERT_EQ(KZ_SetTriggerSelect(0, 1), 1u);
        ASSERT_EQ(KZ_SetRepetitionRate(0, kAScansPerSecond), 1u);
        ASSERT_EQ(KZ_SetNumberOfBScansPerBankIsAutomatic(0, 0), 1u);
        ASSERT_EQ(XAVO_SIM_SetDataSource(0, XAVO_SIM_DATA_RAMP, 0), 1u);
        clearErrors();
    }

    bool sequenced() const { return firmware.dsp >= 0x200; }

    // Shapes the B-scans: storage mode, positions (the older firmware keeps one sample count and
    // one oversample for all), B-scans per bank and scan storage option.
    void shapeBScans(std::uint32_t mode, const std::vector<Position>& positions, std::uint32_t bScansPerBank = 1,
                     std::uint32_t option = 0)
    {
        ASSERT_EQ(KZ_SetSampleStorageMode(0, mode), 1u);
        const auto count = static_cast<std::uint32_t>(positions.size());
        if (sequenced()) {
            for (std::uint32_t k = 0; k < count; ++k) {
                ASSERT_EQ(KZ_SetSequenceStep(0, k), 1u);
                ASSERT_EQ(KZ_SetNumberOfOversamples(0, positions[k].oversamples), 1u);
                ASSERT_EQ(KZ_SetNumberOfSamples(0, positions[k].samples * positions[k].oversamples), 1u);
            }
            ASSERT_EQ(KZ_SetStepsInSequence(0, count), 1u);
            ASSERT_EQ(KZ_SetSequenceStep(0, 0), 1u);
        } else {
            ASSERT_EQ(KZ_SetNumberOfSamples(0, positions[0].samples), 1u);
            ASSERT_EQ(KZ_SetNumberOfAScansPerBScan(0, count), 1u);
        }
        ASSERT_EQ(KZ_SetScanStorageOptions(0, option), 1u);
        ASSERT_EQ(KZ_SetNumberOfBScansPerBank(0, bScansPerBank), 1u);
        clearErrors();
    }

    // The bank releases the card received.
    static std::uint32_t releases()
    {
        XAVO_SIM_CaptureStatus status{};
        EXPECT_EQ(XAVO_SIM_GetCaptureStatus(0, &status), 1u);
        return status.releases;
    }
};

class BoundCardBothGenerations : public BoundCardFixture, public ::testing::WithParamInterface<FirmwarePair> {
protected:
    BoundCardBothGenerations() { firmware = GetParam(); }
};

// The ramp's code of sample j of oversample o of position k in B-scan b, as the card stores it.
inline std::vector<std::uint8_t> storedRamp(std::uint32_t b, std::uint32_t k, std::uint32_t o, std::uint32_t samples,
                                            std::uint32_t mode)
{
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t j = 0; j < samples; ++j) {
        const std::int32_t code = static_cast<std::int32_t>((7 * b + 131 * k + 17 * o + j) % 4096) - 2048;
        if (mode == kStorage8Bit) {
            bytes.push_back(static_cast<std::uint8_t>(code >> 4));
        } else {
            bytes.push_back(static_cast<std::uint8_t>(code & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>((code >> 8) & 0xFF));
        }
    }
    return bytes;
}

inline void appendWord(std::vector<std::uint8_t>& bytes, std::uint32_t word)
{
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
    }
}

// An A-scan record of the ramp as the card lays it out: per oversample its header word and
// samples.
inline std::vector<std::uint8_t> rampRecord(std::uint32_t b, std::uint32_t k, const Position& p, std::uint32_t mode)
{
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t o = 0; o < p.oversamples; ++o) {
        appendWord(bytes, 0xA5u << 24 | k << 17 | o << 12 | b);
        const std::vector<std::uint8_t> samples = storedRamp(b, k, o, p.samples, mode);
        bytes.insert(bytes.end(), samples.begin(), samples.end());
    }
    return bytes;
}

} // namespace kz::test
