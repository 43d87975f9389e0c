// KZ_SetValue: which names reach which setter, and what a name-set value changes.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "hardware/registers.h"
#include "persistence/state_file.h"
#include "persistence_support.h"
#include "sim_access.h"

namespace kz::test {
namespace {

class NamedProperties : public StateFileFixture {};
XAVO_INSTANTIATE_FOR_BOTH_GENERATIONS(NamedProperties);

std::uint32_t recordOf(std::uint32_t (*getter)(std::uint32_t, std::uint32_t*))
{
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(getter(0, &value), 1u);
    return value;
}

TEST(NamedPropertyTable, EveryNameIsDistinctIgnoringCase)
{
    std::set<std::string> names;
    for (const state_file::Property& row : state_file::properties()) {
        std::string lower(row.name);
        for (char& c : lower) {
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        EXPECT_TRUE(names.insert(lower).second) << row.name;
    }
}

TEST_P(NamedProperties, TheWholeNameMatchesInAnyLetterCase)
{
    std::uint32_t delay = 40;
    for (const char* name : {"startdelay", "STARTDELAY", "StartDelay"}) {
        EXPECT_EQ(KZ_SetValue(0, name, delay), 1u) << name;
        EXPECT_EQ(recordOf(KZ_GetStartDelay), delay) << name;
        delay += 8;
    }
    // The key keeps its historical spelling; the setter's own spelling is not a key.
    EXPECT_EQ(KZ_SetValue(0, "atodiutputvoltagerange", 0), 1u);
    EXPECT_EQ(recordOf(KZ_GetAToDInputVoltageRange), 0u);
    EXPECT_EQ(reportedErrors(), Errors{});

    XAVO_SIM_ClearCallLog();
    for (const char* name : {"StartDelay ", " StartDelay", "Start", "", "AToDInputVoltageRange",
                             "SystemFirmwareRevision", "PeripheralIOBank0", "SensorArrayEnableBScanMode"}) {
        clearErrors();
        EXPECT_EQ(KZ_SetValue(0, name, 1), 0u) << name;
        EXPECT_EQ(reportedErrors(), Errors{0x5100}) << name;
    }
    EXPECT_EQ(cardWrites(), 0u);
}

TEST_P(NamedProperties, TheSettersOwnRefusalIsTheOnlyCode)
{
    EXPECT_EQ(KZ_SetValue(0, "RectifierMode", 9), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x1700});
    clearErrors();
    // The value reaches the setter as the 32-bit pattern given.
    EXPECT_EQ(KZ_SetValue(0, "TCGTriggerEvent", 0xFFFFFFFF), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x1f00});
}

TEST_P(NamedProperties, BScansPerBankSetByNameBypassTheAutomaticCount)
{
    ASSERT_EQ(boardInRange(0)->isAutomaticBScansPerBank, 1u);
    EXPECT_EQ(KZ_SetNumberOfBScansPerBank(0, 16), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x2701});
    clearErrors();
    EXPECT_EQ(KZ_SetValue(0, "NumberOfBScansPerBank", 16), 1u);
    EXPECT_EQ(reportedErrors(), Errors{});
    EXPECT_EQ(boardInRange(0)->numberOfBScansPerBank, 16u);
}

TEST_P(NamedProperties, PeriodsBetweenTriggersSetByNameKeepTheRateFieldsTrue)
{
    EXPECT_EQ(KZ_SetValue(0, "NumberOfPeriodsBetweenAScanTriggers", 4000), 1u);
    std::uint32_t periods = 0;
    ASSERT_EQ(KZ_GetRegister(0, KZ_PERIPHERAL_REGISTER_BASE + reg::per::kAScanTrigger, &periods), 1u);
    EXPECT_EQ(reg::per::kPeriodsLessOne.extract(periods) + 1, 4000u);
    EXPECT_EQ(recordOf(KZ_GetRepetitionTime), 4000u);
    EXPECT_EQ(recordOf(KZ_GetRepetitionRate), kSampleFrequencyHz / 5 / 4000);

    EXPECT_EQ(KZ_SetValue(0, "NumberOfPeriodsBetweenAScanTriggers", 0), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x3e00});
    EXPECT_EQ(recordOf(KZ_GetRepetitionTime), 4000u);
}

TEST_P(NamedProperties, TheElementCountIsSetByNameThoughNoFileCarriesIt)
{
    EXPECT_EQ(KZ_SetValue(0, "SensorArrayNumberOfElements", 64), 1u);
    EXPECT_EQ(reg::per::kElementsLessOne.extract(peek(peripheralAddress(reg::per::kSensorArray))), 63u);
    EXPECT_EQ(KZ_SetValue(0, "SensorArrayNumberOfElements", 129), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x4000});
}

TEST_P(NamedProperties, AnInvalidCardOrANullNameTouchesNothing)
{
    EXPECT_EQ(KZ_SetValue(2, "StartDelay", 1), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x7900});
    clearErrors();
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetValue(0, nullptr, 1), 0u);
    EXPECT_EQ(reportedErrors(), Errors{});
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
}

} // namespace
} // namespace kz::test
