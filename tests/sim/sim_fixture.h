// Shared fixture of the simulated-card tests: a fresh card set of one primary card with the full
// call log on, and short helpers for enumeration, opening and word access.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

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
constexpr std::uint32_t kRelease = 0x11;
constexpr std::uint32_t kCommit = 0x12;
constexpr std::uint32_t kFirmwareWindow = 0x400000;

// The firmware pairs: sequence-compatible and older generation.
constexpr std::uint32_t kSequencedSampling = 0x2028;
constexpr std::uint32_t kSequencedPeripheral = 0x201F;
constexpr std::uint32_t kOlderSampling = 0x1025;
constexpr std::uint32_t kOlderPeripheral = 0x0016;

constexpr std::uint8_t reverseBits(std::uint8_t b) {
    std::uint8_t r = 0;
    for (int i = 0; i < 8; ++i) r = static_cast<std::uint8_t>(r << 1 | ((b >> i) & 1u));
    return r;
}

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
        XAVO_SIM_SetCallLogEnabled(1);
    }

public:
    // Helpers, static so that free functions of a test file can use them too.
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

    // Reads `address` `n` times and returns the reads.
    static std::vector<std::uint32_t> reads(std::uint32_t address, std::uint32_t n) {
        std::vector<std::uint32_t> out;
        for (std::uint32_t i = 0; i < n; ++i) out.push_back(read(address));
        return out;
    }

    // Writes `bytes` through the download window as the card library does: byte i, bit
    // order reversed, to window word i.
    static void download(const std::vector<std::uint8_t>& bytes) {
        for (std::uint32_t i = 0; i < bytes.size(); ++i) write(kFirmwareWindow + 4 * i, reverseBits(bytes[i]));
    }
    static void release() { write(kCommand, kRelease); }

    static std::uint32_t firmwareWord(std::uint32_t bank) {
        std::uint32_t sampling = kUntouched, peripheral = kUntouched, sequenced = kUntouched;
        EXPECT_EQ(1u, XAVO_SIM_GetActiveFirmware(0, &sampling, &peripheral, &sequenced));
        return bank == XAVO_SIM_BANK_SAMPLING ? sampling : bank == XAVO_SIM_BANK_PERIPHERAL ? peripheral : sequenced;
    }
    static std::uint32_t sequenceCompatible() { return firmwareWord(XAVO_SIM_BANK_SYSTEM); }

    static std::uint32_t peek(std::uint32_t address, std::uint32_t card = 0) {
        std::uint32_t v = kUntouched;
        EXPECT_EQ(1u, XAVO_SIM_Peek(card, address, &v)) << std::hex << address;
        return v;
    }
};

}  // namespace simtest
