// Fixtures for tests that link the library's static core:
//   LibraryFixture              the library loaded afresh with the simulated cards of the
//                               test's choice
//   OpenCardFixture             card 0 additionally brought to an initialised, open state
//   FirmwareRunningCardFixture  card 0 brought up step by step to run its firmware, without the
//                               settings of the library's initialisation (for tests that need a
//                               card before or apart from them); BothGenerationsFixture for
//                               each firmware generation
//   InitialisedCardFixture      card 0 initialised by the library itself (KZ_Initialise, or
//                               KZ_InitialiseNonSequenced for the older firmware): calibrated,
//                               bound to the data collection, with the initialisation's
//                               settings; InitialisedBothGenerations for each generation
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "XAVOKZ.h"
#include "XAVOSimControl.h"
#include "virtual_clock.h"

namespace kz::test {

class LibraryFixture : public ::testing::Test {
protected:
    // Number and device of the simulated cards for this test; change before SetUp runs
    // (in the derived fixture's constructor) or call reload().
    std::uint32_t cardCount = 1;
    std::uint32_t deviceId = XAVO_HAL_DEVICE_ID_PRIMARY;

    void SetUp() override;
    void TearDown() override;

    // Unloads the library, configures the simulated cards and loads the library again.
    void reload();

    // A fresh temporary folder for this test's files (removed at tear-down).
    const std::string& scratchFolder();
    // Points the configuration at a file of this test with the given contents.
    void writeConfiguration(const std::string& contents);

    // Brings a card to the state the initialisation leaves the record in as far as this
    // library builds it: lock and hooks created, initialised, open with its DMA channel.
    void bringUp(std::uint32_t cardIndex);

    // Error codes reported since the last clear, oldest first.
    static std::vector<std::uint32_t> reportedErrors();
    static void clearErrors();

    VirtualClock clock;

private:
    std::string scratch_;
};

// A firmware pair: the sampling and peripheral version words the firmware files are named by.
struct FirmwarePair {
    std::int32_t dsp;
    std::int32_t per;
};
inline constexpr FirmwarePair kSequencedFirmware{0x228, 0x21F};
inline constexpr FirmwarePair kNonSequencedFirmware{0x125, 0x16};

// Folder of the firmware images (the test programs' own folder).
std::string firmwareFolder();

// Brings a card to an initialised state through the library's internal operations: record
// defaults for the pair, initialised, open with its DMA channel, both firmware images
// downloaded and the card released, so that it runs them.
void initialiseCard(std::uint32_t cardIndex, FirmwarePair firmware);

class OpenCardFixture : public LibraryFixture {
protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        bringUp(0);
        clearErrors();
    }
};

// Card 0 brought up step by step until it runs the sequenced firmware pair, or the `firmware` a
// derived fixture's constructor sets: record defaults, open, both images downloaded, released.
// None of the initialisation's settings are made; for tests that need a card before or apart
// from them.
class FirmwareRunningCardFixture : public LibraryFixture {
protected:
    FirmwarePair firmware = kSequencedFirmware;

    void SetUp() override
    {
        LibraryFixture::SetUp();
        initialiseCard(0, firmware);
        clearErrors();
        XAVO_SIM_ClearCallLog();
    }
};

// The same for each firmware generation in turn.
class BothGenerationsFixture : public FirmwareRunningCardFixture,
                               public ::testing::WithParamInterface<FirmwarePair> {
protected:
    BothGenerationsFixture() { firmware = GetParam(); }
    bool sequenced() const { return firmware.dsp >= 0x200; }
};

// The library's own initialisation of a card for the pair's generation: KZ_Initialise for the
// configured sequence-compatible pair, KZ_InitialiseNonSequenced for the older one.
std::uint32_t initialiseThroughLibrary(std::uint32_t cardIndex, FirmwarePair firmware);

// Card 0 initialised by the library with the built-in configuration: calibrated, bound to the
// data collection, with every setting of the initialisation; for the sequenced pair or the
// `firmware` a derived fixture's constructor sets. Errors and the call log start empty.
class InitialisedCardFixture : public LibraryFixture {
protected:
    FirmwarePair firmware = kSequencedFirmware;

    void SetUp() override
    {
        LibraryFixture::SetUp();
        ASSERT_EQ(initialiseThroughLibrary(0, firmware), 1u);
        clearErrors();
        XAVO_SIM_ClearCallLog();
    }

    bool sequenced() const { return firmware.dsp >= 0x200; }
};

// The same for each firmware generation in turn.
class InitialisedBothGenerations : public InitialisedCardFixture,
                                   public ::testing::WithParamInterface<FirmwarePair> {
protected:
    InitialisedBothGenerations() { firmware = GetParam(); }
};

#define XAVO_INSTANTIATE_FOR_BOTH_GENERATIONS(suite)                                                         \
    INSTANTIATE_TEST_SUITE_P(Generations, suite,                                                             \
                             ::testing::Values(::kz::test::kSequencedFirmware, ::kz::test::kNonSequencedFirmware), \
                             [](const auto& info) { return info.param.dsp >= 0x200 ? "Sequenced" : "Older"; })

} // namespace kz::test
