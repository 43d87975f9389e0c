#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "frame/board_table.h"
#include "frontend/analogue_input.h"
#include "hardware/registers.h"
#include "library_fixture.h"
#include "sim_access.h"

namespace kz::test {
namespace {

constexpr std::uint32_t kControl = peripheralAddress(reg::per::kAnalogueControl);
constexpr std::uint32_t kDac = peripheralAddress(reg::per::kDac);
// The built-in configured control word: impedance, input 1, range 1, A-to-D bits 13-15,
// calibration voltage 1.
constexpr std::uint32_t kConfiguredWord = 0x10E08A;
constexpr std::uint32_t kAuxBits = 3u << 23;

class AnalogueInput : public FirmwareRunningCardFixture {
protected:
    BoardState& board() { return *boardInRange(0); }

    // Marks `range` calibrated with the given D-to-A words.
    void calibrate(std::uint32_t range, std::int16_t gainWord, std::int16_t offsetWord)
    {
        board().isRangeCalibrated[range] = 1;
        board().calibrationGainWord[range] = gainWord;
        board().calibrationOffsetWord[range] = offsetWord;
    }

    // The library's writes to the control word and the D-to-A register, in order.
    static std::vector<std::pair<std::uint32_t, std::uint32_t>> frontEndWrites()
    {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> writes;
        XAVO_SIM_CallRecord r{};
        for (std::uint32_t i = 0; XAVO_SIM_GetCallLogEntry(i, &r) != 0; ++i) {
            if (r.operation == XAVO_SIM_OP_SET_WORD && (r.address == kControl || r.address == kDac)) {
                writes.emplace_back(r.address, r.value);
            }
        }
        return writes;
    }
};

// ---------------------------------------------------------------- the one-field family

struct OneFieldSetting {
    const char* name;
    std::function<std::uint32_t(std::uint32_t)> set;
    std::function<std::uint32_t(std::uint32_t*)> get;
    Field field;
    std::uint32_t maximum;
    std::uint32_t invalidCode;
};

std::vector<OneFieldSetting> oneFieldSettings()
{
    const auto internal = [](AnalogueSetting s) {
        return std::pair{std::function<std::uint32_t(std::uint32_t)>(
                             [s](std::uint32_t v) { return setAnalogueSetting(0, s, v); }),
                         std::function<std::uint32_t(std::uint32_t*)>(
                             [s](std::uint32_t* v) { return getAnalogueSetting(0, s, v); })};
    };
    const auto ddsKey = internal(AnalogueSetting::DdsKey);
    const auto ddsFsk = internal(AnalogueSetting::DdsFsk);
    const auto voltage = internal(AnalogueSetting::CalibrationVoltage);
    return {
        {"input coupling", [](std::uint32_t v) { return KZ_SetInputCoupling(0, v); },
         [](std::uint32_t* v) { return KZ_GetInputCoupling(0, v); }, {0, 1}, 1, 0x2a00},
        {"input impedance", [](std::uint32_t v) { return KZ_SetInputImpedance(0, v); },
         [](std::uint32_t* v) { return KZ_GetInputImpedance(0, v); }, {1, 1}, 1, 0x2b00},
        {"aux input", [](std::uint32_t v) { return KZ_SetAuxInput(0, v); },
         [](std::uint32_t* v) { return KZ_GetAuxInput(0, v); }, {23, 2}, 3, 0x3400},
        {"A-to-D output port format", [](std::uint32_t v) { return KZ_SetAToDOutputPortFormat(0, v); },
         [](std::uint32_t* v) { return KZ_GetAToDOutputPortFormat(0, v); }, {12, 1}, 1, 0x2f00},
        {"A-to-D output data format", [](std::uint32_t v) { return KZ_SetAToDOutputDataFormat(0, v); },
         [](std::uint32_t* v) { return KZ_GetAToDOutputDataFormat(0, v); }, {13, 1}, 1, 0x2f01},
        {"A-to-D input voltage range", [](std::uint32_t v) { return KZ_SetAToDInputVoltageRange(0, v); },
         [](std::uint32_t* v) { return KZ_GetAToDInputVoltageRange(0, v); }, {14, 1}, 1, 0x3000},
        {"A-to-D Vref", [](std::uint32_t v) { return KZ_SetAToDVrefInputCharacteristics(0, v); },
         [](std::uint32_t* v) { return KZ_GetAToDVrefInputCharacteristics(0, v); }, {15, 1}, 1, 0x3100},
        {"DDS key", ddsKey.first, ddsKey.second, {18, 1}, 1, 0x3200},
        {"DDS FSK", ddsFsk.first, ddsFsk.second, {19, 1}, 1, 0x3201},
        {"calibration voltage", voltage.first, voltage.second, {20, 3}, 5, 0x3300},
    };
}

TEST_F(AnalogueInput, EachOneFieldSettingReplacesItsFieldAndWritesTheWholeWord)
{
    ASSERT_EQ(board().analogueControlShadow, kConfiguredWord);
    std::uint32_t expected = kConfiguredWord;
    for (const OneFieldSetting& s : oneFieldSettings()) {
        SCOPED_TRACE(s.name);
        for (std::uint32_t value = 0; value <= s.maximum; ++value) {
            ASSERT_EQ(s.set(value), 1u) << value;
            expected = s.field.insert(expected, value);
            EXPECT_EQ(peek(kControl), expected);
            EXPECT_EQ(board().analogueControlShadow, expected);
            std::uint32_t read = 0xFFFF;
            ASSERT_EQ(s.get(&read), 1u);
            EXPECT_EQ(read, value);
        }
        clearErrors();
        XAVO_SIM_ClearCallLog();
        for (const std::uint32_t invalid : {s.maximum + 1, 0xFFFFFFFFu}) {
            EXPECT_EQ(s.set(invalid), 0u) << invalid;
        }
        EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{s.invalidCode, s.invalidCode}));
        EXPECT_EQ(writesTo(kControl), 0u);
        EXPECT_EQ(board().analogueControlShadow, expected);
        EXPECT_EQ(s.get(nullptr), 0u);
    }
}

TEST_F(AnalogueInput, TheShadowKeepsTheNewWordWhenItsWriteFails)
{
    addRule(XAVO_SIM_OP_SET_WORD, kControl);
    const std::vector<std::pair<const char*, std::function<std::uint32_t()>>> writers = {
        {"one-field setter", [] { return KZ_SetInputImpedance(0, 0); }},
        {"analogue input", [] { return KZ_SetAnalogueInput(0, 3); }},
        {"range bit", [] { return selectInputRange(0, 4); }},
    };
    for (const auto& [name, write] : writers) {
        SCOPED_TRACE(name);
        const std::uint32_t before = board().analogueControlShadow;
        EXPECT_EQ(write(), 0u);
        EXPECT_NE(board().analogueControlShadow, before);
    }
    EXPECT_EQ(board().analogueControlShadow, (kConfiguredWord & ~0x2u & ~0xFFCu) | (1u << 5) | (1u << 10));
    EXPECT_EQ(board().analogueInputRange, 4u);
    EXPECT_EQ(peek(kControl), 0u) << "nothing reached the card";
}

TEST_F(AnalogueInput, TheFskGetterReadsTheControlRegisterOnceAndReturnsThatReadsResult)
{
    std::uint32_t fsk = 7;
    ASSERT_EQ(getAnalogueSetting(0, AnalogueSetting::DdsFsk, &fsk), 1u);
    EXPECT_EQ(fsk, 0u);
    EXPECT_EQ(XAVO_SIM_CountCalls(XAVO_SIM_OP_GET_WORD, 0, kControl), 1u);
    EXPECT_EQ(XAVO_SIM_CountCalls(0, 0, XAVO_SIM_ANY), 1u);

    board().analogueControlShadow |= 1u << 19;
    addRule(XAVO_SIM_OP_GET_WORD, kControl);
    fsk = 7;
    EXPECT_EQ(getAnalogueSetting(0, AnalogueSetting::DdsFsk, &fsk), 0u);
    EXPECT_EQ(fsk, 1u) << "the field is stored before the read";
}

// ---------------------------------------------------------------- input and range

TEST_F(AnalogueInput, AnInputSetsItsBitWithTheRangeBitOrForFourAndFiveAnAuxBitAlone)
{
    struct Case {
        std::uint32_t analogueInputRange;
        std::int32_t input;
        std::uint32_t bits; // of bits 2-11 and 23-24
    } const cases[] = {
        {1, 2, (1u << 4) | (1u << 7)},
        {0, 0, (1u << 2) | (1u << 6)},
        {5, 3, (1u << 5) | (1u << 11)},
        {3, 4, 1u << 23},
        {3, 5, 1u << 24},
    };
    constexpr std::uint32_t kInputPathBits = 0xFFCu | kAuxBits;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        board().analogueControlShadow = kConfiguredWord | kInputPathBits; // every bit to be cleared set
        board().analogueInputRange = c.analogueInputRange;
        ASSERT_EQ(KZ_SetAnalogueInput(0, c.input), 1u);
        EXPECT_EQ(peek(kControl), (kConfiguredWord & ~kInputPathBits) | c.bits);
        EXPECT_EQ(board().analogueControlShadow, peek(kControl));
    }
    // Input 5 is selected: the input getter and the range setter refuse.
    calibrate(2, 2000, 2000);
    std::uint32_t input = 99;
    EXPECT_EQ(KZ_GetAnalogueInput(0, &input), 0u);
    EXPECT_EQ(input, 99u);
    EXPECT_EQ(KZ_SetAnalogueInputRange(0, 2), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x2d00, 0x2e02}));

    clearErrors();
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetAnalogueInput(0, 6), 0u);
    EXPECT_EQ(KZ_SetAnalogueInput(0, -1), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x2c00, 0x2c00}));
    EXPECT_EQ(writesTo(kControl), 0u);

    ASSERT_EQ(KZ_SetAnalogueInput(0, 2), 1u);
    ASSERT_EQ(KZ_GetAnalogueInput(0, &input), 1u);
    EXPECT_EQ(input, 2u);
}

TEST_F(AnalogueInput, ARangeChangeWritesItsBitThenItsGainAndOffsetWords)
{
    calibrate(2, 1955, 2059);
    ASSERT_EQ(KZ_SetAuxInput(0, 3), 1u) << "both aux bits: the range may change";
    XAVO_SIM_ClearCallLog();
    ASSERT_EQ(KZ_SetAnalogueInputRange(0, 2), 1u);
    const std::uint32_t word = (kConfiguredWord & ~0xFC0u) | kAuxBits | (1u << 8);
    EXPECT_EQ(frontEndWrites(), (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                                    {kControl, word}, {kDac, 0x2000 + 1955}, {kDac, 0x3000 + 2059}}));
    EXPECT_EQ(board().currentRange, 2u);
    EXPECT_EQ(board().analogueInputRange, 2u);
    std::uint32_t dac = 0;
    ASSERT_EQ(XAVO_SIM_GetDacWord(0, 2, &dac), 1u);
    EXPECT_EQ(dac, 1955u);
    ASSERT_EQ(XAVO_SIM_GetDacWord(0, 3, &dac), 1u);
    EXPECT_EQ(dac, 2059u);
    EXPECT_EQ(clock.sleptMilliseconds, 20u) << "10 ms after each D-to-A write";
    std::uint32_t range = 9;
    ASSERT_EQ(KZ_GetAnalogueInputRange(0, &range), 1u);
    EXPECT_EQ(range, 2u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(AnalogueInput, RangeChangesAreRefusedBeforeAnythingIsWritten)
{
    calibrate(3, 2000, 2000);
    calibrate(1, 2000, 2000);
    struct Case {
        const char* what;
        std::uint32_t range;
        std::uint32_t result;
        std::vector<std::uint32_t> codes;
    } const cases[] = {
        {"range 6", 6, 0, {0x2e00}},
        {"uncalibrated range", 4, 0, {0x2e03}},
        {"the current range", 3, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clearErrors();
        XAVO_SIM_ClearCallLog();
        EXPECT_EQ(KZ_SetAnalogueInputRange(0, c.range), c.result);
        EXPECT_EQ(reportedErrors(), c.codes);
        EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
        EXPECT_EQ(board().currentRange, 3u);
    }
}

TEST_F(AnalogueInput, ANegativeStoredGainWordFailsTheRangeChangeWithItsCode)
{
    calibrate(0, -1, 2000);
    EXPECT_EQ(KZ_SetAnalogueInputRange(0, 0), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x3c00}));
    EXPECT_EQ(board().currentRange, 0u);
    EXPECT_EQ(writesTo(kDac), 0u);
}

TEST_F(AnalogueInput, TheRangeGetterNeedsExactlyOneRangeBit)
{
    using BitsAndRange = std::pair<std::uint32_t, std::uint32_t>;
    for (const auto& [bits, range] : std::vector<BitsAndRange>{{1u << 6, 0}, {1u << 11, 5}}) {
        board().analogueControlShadow = bits;
        std::uint32_t read = 9;
        ASSERT_EQ(KZ_GetAnalogueInputRange(0, &read), 1u);
        EXPECT_EQ(read, range);
    }
    for (const std::uint32_t bits : {0u, (1u << 6) | (1u << 9), 0xFC0u}) {
        board().analogueControlShadow = bits;
        std::uint32_t read = 9;
        EXPECT_EQ(KZ_GetAnalogueInputRange(0, &read), 0u);
        EXPECT_EQ(read, 9u);
    }
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(AnalogueInput, SelectingARangeAboveFiveWritesNothing)
{
    EXPECT_EQ(selectInputRange(0, 6), 0u);
    EXPECT_EQ(selectInputRange(0, 0xFFFFFFFF), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x2e00, 0x2e00}));
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_EQ(board().analogueControlShadow, kConfiguredWord);

    ASSERT_EQ(selectInputRange(0, 5), 1u);
    EXPECT_EQ(peek(kControl), (kConfiguredWord & ~0xFC0u) | (1u << 11));
    EXPECT_EQ(board().analogueInputRange, 5u);
}

// ---------------------------------------------------------------- D-to-A and zero offset

struct DacWrite {
    const char* name;
    std::uint32_t (*write)(std::uint32_t, std::uint32_t);
    std::uint32_t destination;
    std::uint32_t invalidCode, timerCode, timeoutCode;
};
constexpr DacWrite kDacWrites[] = {
    {"gain", &setCalibrationGain, 2, 0x3c00, 0x3c01, 0x3c02},
    {"offset", &setCalibrationOffset, 3, 0x3b00, 0x3b01, 0x3b02},
};

TEST_F(AnalogueInput, DacWritesWaitUpToOneMillisecondForTheConverter)
{
    for (const DacWrite& d : kDacWrites) {
        SCOPED_TRACE(d.name);
        clearErrors();
        XAVO_SIM_ClearCallLog();
        EXPECT_EQ(d.write(0, 4096), 0u);
        EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);

        ASSERT_EQ(d.write(0, 4095), 1u);
        EXPECT_EQ(peek(kDac), (d.destination << 12) | 4095);

        // Ready on the 1000th poll is in time; on the 1001st, after the limit, it is not.
        ASSERT_EQ(XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_DAC, 999), 1u);
        EXPECT_EQ(d.write(0, 17), 1u);
        ASSERT_EQ(XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_DAC, 1000), 1u);
        EXPECT_EQ(d.write(0, 18), 0u);
        ASSERT_EQ(XAVO_SIM_SetBusyReads(0, XAVO_SIM_BUSY_DAC, 1), 1u);

        clock.failFrequency = true;
        EXPECT_EQ(d.write(0, 19), 0u);
        clock.failFrequency = false;
        EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{d.invalidCode, d.timeoutCode, d.timerCode}));
        std::uint32_t word = 0;
        ASSERT_EQ(XAVO_SIM_GetDacWord(0, d.destination, &word), 1u);
        EXPECT_EQ(word, 19u) << "the word is written before the wait";
    }
    // The last write was never polled: the converter shows busy for one read.
    std::uint32_t ready = 9;
    ASSERT_EQ(getCalibrationDacReady(0, &ready), 1u);
    EXPECT_EQ(ready, 0u);
    ASSERT_EQ(getCalibrationDacReady(0, &ready), 1u);
    EXPECT_EQ(ready, 1u);
}

TEST_F(AnalogueInput, ZeroOffsetAddsToTheRangesOffsetWordWithinTheConvertersWords)
{
    struct Case {
        std::int16_t offsetWord;
        std::int32_t zeroOffset;
        std::uint32_t written;
    } const cases[] = {
        {3000, 2047, 0x3000 + 4095},
        {1000, -2048, 0x3000},
        {2060, -5, 0x3000 + 2055},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zeroOffset);
        board().calibrationOffsetWord[3] = c.offsetWord;
        ASSERT_EQ(KZ_SetZeroOffset(0, c.zeroOffset), 1u);
        EXPECT_EQ(peek(kDac), c.written);
        EXPECT_EQ(board().zeroOffset[3], c.zeroOffset);
    }
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetZeroOffset(0, -2049), 0u);
    EXPECT_EQ(KZ_SetZeroOffset(0, 2048), 0u);
    EXPECT_TRUE(reportedErrors().empty()) << "refused without a code";
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_EQ(board().zeroOffset[3], -5);

    // The getter reports the zero offset of the range in the control word.
    board().zeroOffset[1] = 123;
    std::int32_t offset = 0;
    ASSERT_EQ(KZ_GetZeroOffset(0, &offset), 1u);
    EXPECT_EQ(offset, 123);
    board().analogueControlShadow = 0;
    offset = 77;
    EXPECT_EQ(KZ_GetZeroOffset(0, &offset), 0u);
    EXPECT_EQ(offset, 77);
}

TEST_F(AnalogueInput, ZeroOffsetGivesUpWhenTheConverterStaysBusy)
{
    ASSERT_EQ(XAVO_SIM_SetDacPeripheralBusyNeverClears(0, 1), 1u);
    EXPECT_EQ(KZ_SetZeroOffset(0, 10), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x3b02}));
    EXPECT_LE(XAVO_SIM_CountCalls(XAVO_SIM_OP_GET_WORD, 0, kDac), 1001u);

    // A failed read ends the wait at once.
    clearErrors();
    addRule(XAVO_SIM_OP_GET_WORD, kDac);
    XAVO_SIM_ClearCallLog();
    EXPECT_EQ(KZ_SetZeroOffset(0, 10), 0u);
    EXPECT_EQ(XAVO_SIM_CountCalls(XAVO_SIM_OP_GET_WORD, 0, kDac), 1u);
}

TEST_F(AnalogueInput, GainTweaksAreOnlyStored)
{
    ASSERT_EQ(KZ_SetGainTweaks(0, 1, 0xFFFF, 300), 1u);
    EXPECT_EQ(board().gainTweakPlus20, 1u);
    EXPECT_EQ(board().gainTweakMinus20, 0xFFFFu);
    EXPECT_EQ(board().gainTweakMinus40, 300u);
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
}

TEST_F(AnalogueInput, NullOutputsAreRefusedWithoutTouchingTheCard)
{
    EXPECT_EQ(KZ_GetAnalogueInput(0, nullptr), 0u);
    EXPECT_EQ(KZ_GetAnalogueInputRange(0, nullptr), 0u);
    EXPECT_EQ(KZ_GetZeroOffset(0, nullptr), 0u);
    EXPECT_EQ(getCalibrationDacReady(0, nullptr), 0u);
    EXPECT_EQ(getAnalogueSetting(0, AnalogueSetting::DdsFsk, nullptr), 0u);
    EXPECT_EQ(XAVO_SIM_ReturnCallLogLength(), 0u);
    EXPECT_TRUE(reportedErrors().empty());
}

} // namespace
} // namespace kz::test
