// Fixtures for tests that link the library's static core:
//   LibraryFixture   the library loaded afresh with the simulated cards of the test's choice
//   OpenCardFixture  card 0 additionally brought to an initialised, open state
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

class OpenCardFixture : public LibraryFixture {
protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        bringUp(0);
        clearErrors();
    }
};

} // namespace kz::test
