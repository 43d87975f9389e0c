#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "acquisition/timing.h"
#include "library_fixture.h"
#include "timing_test_support.h"

namespace kz::test {
namespace {

using NullOutputs = FirmwareRunningCardFixture;

TEST_F(NullOutputs, AreRefusedWithoutTouchingTheCard)
{
    std::uint32_t word = 0;
    const std::pair<const char*, std::function<uint32_t()>> getters[] = {
        {"repetition rate", [] { return KZ_GetRepetitionRate(0, nullptr); }},
        {"repetition time", [] { return KZ_GetRepetitionTime(0, nullptr); }},
        {"periods", [] { return getNumberOfPeriodsBetweenAScanTriggers(0, nullptr); }},
        {"B-scan rate", [] { return KZ_GetBScanRepetitionRate(0, nullptr); }},
        {"trigger", [] { return KZ_GetTriggerSelect(0, nullptr); }},
        {"sync pulse", [] { return KZ_GetSyncPulseMode(0, nullptr); }},
        {"pulse width", [] { return KZ_GetTransducerPulseWidth(0, nullptr); }},
        {"clicks", [] { return KZ_GetNumberOfEncoderClicksPerBScan(0, nullptr); }},
        {"fraction numerator", [&] { return KZ_GetFractionalNumberOfEncoderClicksPerBScan(0, nullptr, &word); }},
        {"fraction shift", [&] { return KZ_GetFractionalNumberOfEncoderClicksPerBScan(0, &word, nullptr); }},
        {"encoder select", [] { return KZ_GetEncoderSelect(0, nullptr); }},
        {"encoder output", [] { return KZ_GetEncoderOutput(0, 0, nullptr); }},
        {"steps", [] { return KZ_GetStepsInSequence(0, nullptr); }},
        {"system IO 0", [] { return KZ_GetSystemIOBank0(0, nullptr); }},
        {"system DDR 0", [] { return KZ_GetSystemDDR0(0, nullptr); }},
        {"system IO 1", [] { return KZ_GetSystemIOBank1(0, nullptr); }},
        {"system DDR 1", [] { return KZ_GetSystemDDR1(0, nullptr); }},
        {"peripheral IO 0", [] { return KZ_GetPeripheralIOBank0(0, nullptr); }},
        {"peripheral DDR 0", [] { return KZ_GetPeripheralDDR0(0, nullptr); }},
        {"peripheral IO 1", [] { return KZ_GetPeripheralIOBank1(0, nullptr); }},
        {"peripheral DDR 1", [] { return KZ_GetPeripheralDDR1(0, nullptr); }},
        {"serial number", [] { return KZ_GetSerialNumber(0, nullptr); }},
    };
    for (const auto& [name, call] : getters) {
        EXPECT_EQ(call(), 0u) << name;
    }
    EXPECT_EQ(word, 0u);
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

} // namespace
} // namespace kz::test
