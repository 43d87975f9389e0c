#include <gtest/gtest.h>

#include <string>

#include "frame/board_table.h"
#include "frame/configuration.h"
#include "library_fixture.h"
#include "platform/platform.h"

namespace kz::test {
namespace {

using Configuration = LibraryFixture;

TEST_F(Configuration, WithoutAFileEveryKeyHasItsBuiltInDefault)
{
    std::uint32_t dsp = 0;
    std::uint32_t per = 0;
    EXPECT_EQ(KZ_GetZUTAMFirmwareRevisions(&dsp, &per), 1u);
    EXPECT_EQ(dsp, 552u);
    EXPECT_EQ(per, 543u);
    EXPECT_EQ(KZ_GetKV7CFirmwareRevisions(&dsp, &per), 1u);
    EXPECT_EQ(dsp, 0x125u);
    EXPECT_EQ(per, 0x16u);
    EXPECT_EQ(KZ_GetTolvennaSerialMuxValue(), 0u);
    EXPECT_EQ(KZ_GetTolvennaSerialMuxGain(1), 21u);
    EXPECT_EQ(KZ_GetTolvennaSerialMuxGain(3), 23u);
    EXPECT_EQ(KZ_GetTolvennaSerialMuxGain(8), 28u);
    EXPECT_EQ(KZ_GetTolvennaSerialMuxFilter(8), 1u);
    EXPECT_EQ(KZ_GetTolvennaSerialMuxVoltageClamp(), 500u);
    EXPECT_EQ(config::readInteger(config::Key::RepetitionRate), 5000);
    EXPECT_EQ(config::readInteger(config::Key::PeripheralRegister), 0x10e08a);
    EXPECT_EQ(config::readString(config::Key::DiagnosticsFilename), "KZ_Diag.txt");
}

TEST_F(Configuration, SerialMuxIndicesOutsideOneToEightReadNothing)
{
    writeConfiguration("[KZ]\nKZdef_TolvennaSerialMux=7\nKZdef_TolvennaSerialMuxVoltageClamp=9\n");
    for (std::uint32_t index : {0u, 9u, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(KZ_GetTolvennaSerialMuxGain(index), 0u) << index;
        EXPECT_EQ(KZ_GetTolvennaSerialMuxFilter(index), 0u) << index;
    }
}

TEST_F(Configuration, NullOutputsAreRefused)
{
    std::uint32_t value = 0;
    EXPECT_EQ(KZ_GetZUTAMFirmwareRevisions(nullptr, &value), 0u);
    EXPECT_EQ(KZ_GetKV7CFirmwareRevisions(&value, nullptr), 0u);
}

struct ValueForm {
    const char* text;
    std::int32_t expected;
};

class ConfigurationValueForms : public LibraryFixture, public ::testing::WithParamInterface<ValueForm> {};

TEST_P(ConfigurationValueForms, ReadAsTheIntegerTheyName)
{
    writeConfiguration(std::string("[KZ]\nKZdef_RepetitionRate=") + GetParam().text + "\n");
    EXPECT_EQ(config::readInteger(config::Key::RepetitionRate), GetParam().expected) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ConfigurationValueForms,
    ::testing::Values(ValueForm{"0x10", 16}, ValueForm{"0X10", 16}, ValueForm{"10", 10}, ValueForm{"", 0},
                      ValueForm{"default", 5000}, ValueForm{"Default", 0}, ValueForm{"-1", -1},
                      ValueForm{"+7", 7}, ValueForm{"12abc", 12}, ValueForm{"abc", 0}, ValueForm{"0x", 0},
                      ValueForm{"0xg", 0}, ValueForm{"0x1f;", 31}, ValueForm{"0xFFFFFFFF", -1},
                      ValueForm{"0x123456789", 0x23456789}, ValueForm{"4294967297", 1},
                      ValueForm{"-2147483648", INT32_MIN}, ValueForm{"x10", 0}, ValueForm{"010", 10}),
    [](const auto& info) { return "Form" + std::to_string(info.index); });

TEST_F(Configuration, FileIsReadAgainAtEveryCall)
{
    writeConfiguration("[KZ]\nKZdef_DSPversion=0x125\n");
    std::uint32_t dsp = 0;
    std::uint32_t per = 0;
    KZ_GetZUTAMFirmwareRevisions(&dsp, &per);
    EXPECT_EQ(dsp, 0x125u);
    EXPECT_EQ(per, 543u);

    writeConfiguration("[KZ]\nKZdef_DSPversion=0x200\nKZdef_PERversion=0x21f\n");
    KZ_GetZUTAMFirmwareRevisions(&dsp, &per);
    EXPECT_EQ(dsp, 0x200u);
    EXPECT_EQ(per, 0x21fu);
}

TEST_F(Configuration, ProfileReaderFollowsTheProfileStringRules)
{
    writeConfiguration("; comment line\n"
                       "[Other]\n"
                       "KZdef_TolvennaSerialMuxGain1=99\n"
                       "  [ kz ]  \r\n"
                       "; KZdef_TolvennaSerialMuxGain2=98\n"
                       "kzdef_tolvennaserialmuxgain2 = 42 \r\n"
                       "KZdef_TolvennaSerialMuxGain2=43\n"
                       "no equals sign here\n"
                       "\tKZdef_TolvennaSerialMuxGain3\t=\t\"7\"\n"
                       "[KZ]\n"
                       "KZdef_TolvennaSerialMuxGain4=44\n");
    EXPECT_EQ(KZ_GetTolvennaSerialMuxGain(1), 21u); // only in another section
    EXPECT_EQ(KZ_GetTolvennaSerialMuxGain(2), 42u); // first match, any case, blanks trimmed
    EXPECT_EQ(KZ_GetTolvennaSerialMuxGain(3), 7u);  // quotes around a value are dropped
    EXPECT_EQ(KZ_GetTolvennaSerialMuxGain(4), 24u); // only the first KZ section is searched
}

TEST_F(Configuration, LongValuesAreCutToTheBuffer)
{
    const std::string longName(150, 'n');
    writeConfiguration("[KZ]\nKZdef_DiagnosticsFilename=" + longName + "\n");
    EXPECT_EQ(config::readString(config::Key::DiagnosticsFilename), std::string(99, 'n'));
}

TEST(ConfigurationPath, LiesBesideTheLibraryWhateverTheLengthOfItsFolder)
{
    const std::string folder = "/opt/" + std::string(300, 'a') + "/lib";
    EXPECT_EQ(config::pathBesideModule(folder + "/libXAVOKZ.so.1"), folder + "/XAVOKZ.ini");
    EXPECT_EQ(config::pathBesideModule("libXAVOKZ.so"), "XAVOKZ.ini");
}

} // namespace
} // namespace kz::test
