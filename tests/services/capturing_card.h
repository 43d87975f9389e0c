// A simulated card opened for capture without the card library: firmware running, sample
// clock at 66 MHz, and helpers that program the registers the acquisition reads.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "XAVOCommonHAL.h"
#include "XAVOSimControl.h"

namespace services_test {

constexpr std::uint32_t kTag = XAVO_HAL_KELZOR_TAG;
constexpr std::uint32_t sysReg(std::uint32_t offset) { return 0x500000u + offset; }
constexpr std::uint32_t smpReg(std::uint32_t offset) { return 0x500200u + offset; }
constexpr std::uint32_t perReg(std::uint32_t offset) { return 0x500400u + offset; }

constexpr std::uint32_t kCommand = sysReg(0x14);
constexpr std::uint32_t kRectifier = smpReg(0x50);
constexpr std::uint32_t kSampleControl = smpReg(0x58);
constexpr std::uint32_t kMailbox = smpReg(0x5C);
constexpr std::uint32_t kStatus = smpReg(0x64);
constexpr std::uint32_t kCScanBase = smpReg(0x68);
constexpr std::uint32_t kScanControl = smpReg(0x6C);
constexpr std::uint32_t kSamplingStep = smpReg(0x74);
constexpr std::uint32_t kSteps = smpReg(0x78);
constexpr std::uint32_t kBScansInMemory = smpReg(0x4C);
constexpr std::uint32_t kTriggerDelay = perReg(0x04);
constexpr std::uint32_t kTriggerPeriod = perReg(0x10);
constexpr std::uint32_t kEncoderControl = perReg(0x1C);
constexpr std::uint32_t kPeripheralStep = perReg(0x5C);

constexpr std::uint32_t kReleaseBank = 0x400;
constexpr std::uint32_t kInternalTrigger = 1u << 16;
constexpr std::uint32_t kForceAScan = 1u << 31;
constexpr std::uint32_t kBankHeld = 1u << 9;
constexpr std::uint32_t kDataFull = 1u << 31;
constexpr std::uint32_t kSamplingIrq = 1u << 4;
constexpr std::uint32_t kEightBit = 1u << 20;

constexpr std::uint64_t kMicrosecond = 1000;  // nanoseconds
constexpr std::uint64_t kMillisecond = 1000 * kMicrosecond;
// 2640 pulse clocks at 66 MHz: 5000 A-scans per second, one every 200 µs.
constexpr std::uint32_t kPeriods5000 = 2640;

class CapturingCard : public ::testing::Test {
protected:
    // Older generation by default; a derived fixture may choose the sequence-compatible one.
    bool sequenced = false;

    void SetUp() override
    {
        XAVO_SIM_Reset();
        std::uint32_t n = 0;
        ASSERT_EQ(XAVO_HAL_InitialiseCardType(XAVO_HAL_VENDOR_ID, XAVO_HAL_DEVICE_ID_PRIMARY, kTag, &n), 1u);
        ASSERT_EQ(XAVO_HAL_InitialiseCard(kTag, 0), 1u);
        ASSERT_EQ(XAVO_HAL_OpenDMAChannel(kTag, 0), 1u);
        ASSERT_EQ(sequenced ? XAVO_SIM_PreloadFirmware(0, 0x2028, 0x201F) : XAVO_SIM_PreloadFirmware(0, 0x1025, 0x0016),
                  1u);
        // Tuning word 0x40000000 (registers 4-7, most significant first): 66 MHz.
        write(kMailbox, 4u << 8 | 0x40);
        for (std::uint32_t reg = 5; reg <= 7; ++reg) {
            write(kMailbox, reg << 8);
        }
    }
    void TearDown() override { XAVO_SIM_Reset(); }

public:
    static void write(std::uint32_t address, std::uint32_t value)
    {
        EXPECT_EQ(XAVO_HAL_SetWord(kTag, 0, address, value), 1u) << std::hex << address;
    }
    static std::uint32_t read(std::uint32_t address)
    {
        std::uint32_t v = 0xDEADBEEF;
        EXPECT_EQ(XAVO_HAL_GetWord(kTag, 0, address, &v), 1u) << std::hex << address;
        return v;
    }
    static std::uint32_t memoryWord(std::uint32_t address)
    {
        std::uint32_t v = 0xDEADBEEF;
        EXPECT_EQ(XAVO_SIM_ReadMemory(0, address, &v, 4), 1u);
        return v;
    }
    static XAVO_SIM_CaptureStatus status()
    {
        XAVO_SIM_CaptureStatus s{};
        EXPECT_EQ(XAVO_SIM_GetCaptureStatus(0, &s), 1u);
        return s;
    }
    static void advance(std::uint64_t nanoseconds) { ASSERT_EQ(XAVO_SIM_AdvanceCardTime(0, nanoseconds), 1u); }

    // The internal timer every `periods` pulse clocks (peripheral 0x04 bit 16, 0x10).
    static void runTimer(std::uint32_t periods = kPeriods5000)
    {
        write(kTriggerPeriod, periods - 1);
        write(kTriggerDelay, kInternalTrigger);
    }
    // Samples per oversample in the sample control word of the selected step (16-bit: 2 a word).
    static void setSamples(std::uint32_t samples, std::uint32_t flags = 0)
    {
        const std::uint32_t perWord = (flags & kEightBit) != 0 ? 4 : 2;
        write(kSampleControl, flags | (samples / perWord + 1));
    }
    // A-scans per B-scan with oversamples, B-scans per bank, scan storage option.
    static void setScanControl(std::uint32_t aScans, std::uint32_t bScans, std::uint32_t option = 0)
    {
        write(kScanControl, (aScans - 1) | (bScans - 1) << 8 | option << 30);
    }
};

}  // namespace services_test
