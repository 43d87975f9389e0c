// The profile (INI) reader, as the configuration uses it. One table of cases holds for the
// reader of every system: on Windows it is the system's own profile-string service.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "library_fixture.h"
#include "platform/platform.h"

namespace kz::test {
namespace {

using namespace std::string_view_literals;

struct ProfileCase {
    const char* name;
    std::string_view contents; // without data: no file
    const char* section;
    const char* key;
    const char* expected;
    const char* defaultValue = "default";
    std::size_t bufferSize = 100;
};

void PrintTo(const ProfileCase& c, std::ostream* out) { *out << c.name; }

class ProfileReader : public LibraryFixture, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(ProfileReader, ReadsTheValueTheProfileRulesGive)
{
    const ProfileCase& c = GetParam();
    const std::string path = scratchFolder() + "/profile.ini";
    if (c.contents.data() != nullptr) {
        std::ofstream(path, std::ios::binary) << c.contents;
    }
    EXPECT_EQ(platform::readProfileString(path, c.section, c.key, c.defaultValue, c.bufferSize), c.expected);
}

const ProfileCase kCases[] = {
    {"NoFile", {}, "KZ", "Key", "default"},
    {"NoSection", "[Other]\nKey=1\n"sv, "KZ", "Key", "default"},
    {"NoKey", "[KZ]\nOther=1\n"sv, "KZ", "Key", "default"},
    {"EmptyFile", ""sv, "KZ", "Key", "default"},
    {"Plain", "[KZ]\nKey=1\n"sv, "KZ", "Key", "1"},
    {"LastLineWithoutEnd", "[KZ]\nKey=1"sv, "KZ", "Key", "1"},
    {"NamesIgnoreCase", "[kz]\nkEY=1\n"sv, "KZ", "Key", "1"},
    {"BlanksAroundNamesAndValues", "  [ KZ ]  \n \t Key \t = \t 1 x \t \n"sv, "KZ", "Key", "1 x"},
    {"CrLfLines", "[KZ]\r\nKey=1\r\nNext=2\r\n"sv, "KZ", "Next", "2"},
    {"CommentLines", "[KZ]\n;Key=1\n  ; Key=2\nKey=3\n"sv, "KZ", "Key", "3"},
    {"SemicolonInAValueIsKept", "[KZ]\nKey=1 ; one\n"sv, "KZ", "Key", "1 ; one"},
    {"FirstOfTwoKeysWins", "[KZ]\nKey=1\nKey=2\n"sv, "KZ", "Key", "1"},
    {"OnlyTheFirstOfTwoSections", "[KZ]\nOther=1\n[KZ]\nKey=2\n"sv, "KZ", "Key", "default"},
    {"KeysBeforeAnySectionBelongToNone", "Key=1\n[KZ]\n"sv, "KZ", "Key", "default"},
    {"KeyOfAnotherSection", "[Other]\nKey=1\n[KZ]\nKey2=2\n"sv, "KZ", "Key", "default"},
    {"EqualsSignsAfterTheFirstAreValue", "[KZ]\nKey=a=b\n"sv, "KZ", "Key", "a=b"},
    {"EmptyValue", "[KZ]\nKey=\n"sv, "KZ", "Key", ""},
    {"DoubleQuotesAreDropped", "[KZ]\nKey=\" 1 \"\n"sv, "KZ", "Key", " 1 "},
    {"SingleQuotesAreDropped", "[KZ]\nKey='1'\n"sv, "KZ", "Key", "1"},
    {"UnpairedQuotesAreKept", "[KZ]\nKey=\"1'\n"sv, "KZ", "Key", "\"1'"},
    {"OneQuoteIsKept", "[KZ]\nKey=\"\n"sv, "KZ", "Key", "\""},
    {"NameWithInnerBlanks", "[K Z]\nThe Key=1\n"sv, "K Z", "The Key", "1"},
    {"TextAfterTheSectionName", "[KZ] ; settings\nKey=1\n"sv, "KZ", "Key", "1"},
    {"ValueCutToTheBuffer", "[KZ]\nKey=123456\n"sv, "KZ", "Key", "1234", "default", 5},
    {"DefaultCutToTheBuffer", "[KZ]\n"sv, "KZ", "Key", "defa", "default", 5},
    {"BufferOfOne", "[KZ]\nKey=1\n"sv, "KZ", "Key", "", "default", 1},
    {"NameBetweenTheBracketAndTheLastBracket", "[K]Z]\nKey=1\n"sv, "K]Z", "Key", "1"},
    {"NoClosingBracketIsNoSection", "[KZ\nKey=1\n"sv, "KZ", "Key", "default"},
    {"NoClosingBracketEndsNoSection", "[KZ]\n[Other\nKey=1\n"sv, "KZ", "Key", "1"},
    {"EmptySectionNameFindsNothing", "[]\nKey=1\n"sv, "", "Key", "default"},
    {"WantedNamesLoseTheirBlanks", "[KZ]\nKey=1\n"sv, " KZ ", " Key ", "1"},
    {"EmptyKeyName", "[KZ]\n=1\n"sv, "KZ", "", "1"},
    {"KeyWithoutAValueGivesTheDefault", "[KZ]\nKey\nKey=2\n"sv, "KZ", "Key", "default"},
    {"OtherLinesWithoutEqualsSignAreSkipped", "[KZ]\nsomething\nKey=2\n"sv, "KZ", "Key", "2"},
    {"CarriageReturnsEndLines", "[KZ]\rKey=1\rNext=2\r"sv, "KZ", "Next", "2"},
    {"AllBlanksAroundValues", "[KZ]\nKey=\v\x1A" "1\f\x1A\n"sv, "KZ", "Key", "1"},
    {"BlanksOutsideQuotes", "[KZ]\nKey= \"1\" \n"sv, "KZ", "Key", "1"},
    {"OnlyTheOuterQuotesGo", "[KZ]\nKey=\"a\" \"b\"\n"sv, "KZ", "Key", "a\" \"b"},
    {"BytesPassUnchanged", "[KZ]\nKey=\xC3\xA9t\xC3\xA9 \xE9\n"sv, "KZ", "Key", "\xC3\xA9t\xC3\xA9 \xE9"},
    {"NulIsAnOrdinaryCharacter", "[KZ]\nA=1\n\0\nKey=2\n"sv, "KZ", "Key", "2"},
    {"Utf8ByteOrderMark", "\xEF\xBB\xBF[KZ]\nKey=1\n"sv, "KZ", "Key", "1"},
    {"Utf16LittleEndian", "\xFF\xFE[\0K\0Z\0]\0\n\0K\0e\0y\0=\0\x31\0\n\0"sv, "KZ", "Key", "1"},
    {"Utf16BigEndian", "\xFE\xFF\0[\0K\0Z\0]\0\n\0K\0e\0y\0=\0\x31\0\n"sv, "KZ", "Key", "1"},
    {"DefaultLosesTrailingSpacesOnly", "[KZ]\n"sv, "KZ", "Key", "  d\t", "  d\t  "},
};

INSTANTIATE_TEST_SUITE_P(Cases, ProfileReader, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kz::test
