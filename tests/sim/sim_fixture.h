// Shared fixture of the simulated-card tests: a fresh card set of one primary card, enumerated
// and opened, and short helpers for word access.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "XAVOCommonHAL.h"
#include "XAVOSimControl.h"

namespace simtest {

constexpr std::uint32_t kTag = XAVO_HAL_KELZOR_TAG;
constexpr std::uint32_t kVendor = XAVO_HAL_VENDOR_ID;
constexpr std::uint32_t kPrimary = XAVO_HAL_DEVICE_ID_PRIMARY;
constexpr std::uint32_t kSecondary = XAVO_HAL_DEVICE_ID_SECONDARY;
constexpr std::uint32_t kUntouched = 0xDEADBEEFu;

constexpr std::uint32_t sysReg(std::uint32_t offset) { return 0x500000u + offset; }
constexpr std::uint32_t smpReg(std::uint32_t offset) { return 0x500200u + offset; }
constexpr std::uint32_t perReg(std::uint32_t offset) { return 0x500400u + offset; }
constexpr std::uint32_t eepromWord(std::uint32_t i) { return 0x600000u + 4 * i; }
constexpr std::uint32_t kOutOfRangeCount = sysReg(0x20);
constexpr std::uint32_t kCommand = sysReg(0x14);

inline XAVO_SIM_FaultRule anyRule(std::uint32_t operations, std::uint32_t action) {
    XAVO_SIM_FaultRule r{};
    r.operations = operations;
    r.card = XAVO_SIM_ANY;
    r.addressFirst = 0;
    r.addressLast = 0xFFFFFFFFu;
    r.caller = XAVO_SIM_CALLER_ANY;
    r.action = action;
    return r;
}

class SimFixture : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("XAVO_SIM_CARDS");
        unsetenv("XAVO_SIM_DEVICE");
        XAVO_SIM_Reset();
    }

    static std::uint32_t enumerate(std::uint32_t device = kPrimary) {
        std::uint32_t n = kUntouched;
        return XAVO_HAL_InitialiseCardType(kVendor, device, kTag, &n) ? n : 0;
    }

    // Enumerates and opens card `card` (with its DMA channel when asked).
    static void openCard(std::uint32_t card = 0, bool dma = false) {
        ASSERT_GT(enumerate(), card);
        ASSERT_EQ(1u, XAVO_HAL_InitialiseCard(kTag, card));
        if (dma) {
            ASSERT_EQ(1u, XAVO_HAL_OpenDMAChannel(kTag, card));
        }
    }

    static std::uint32_t read(std::uint32_t address, std::uint32_t card = 0) {
        std::uint32_t v = kUntouched;
        EXPECT_EQ(1u, XAVO_HAL_GetWord(kTag, card, address, &v)) << std::hex << address;
        return v;
    }

    static void write(std::uint32_t address, std::uint32_t value, std::uint32_t card = 0) {
        EXPECT_EQ(1u, XAVO_HAL_SetWord(kTag, card, address, value)) << std::hex << address;
    }

    static std::uint32_t peek(std::uint32_t address, std::uint32_t card = 0) {
        std::uint32_t v = kUntouched;
        EXPECT_EQ(1u, XAVO_SIM_Peek(card, address, &v)) << std::hex << address;
        return v;
    }
};

}  // namespace simtest
