// Diagnostic mode: the report it starts, the trace after it, and what a failure leaves; and the
// card's test names.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "persistence_support.h"

namespace kz::test {
namespace {

using platform::WriteSite;

const std::string kBanner = "Tolvenna XAVO Data Acquisition Card Diagnostics\r\n\r\n";

class Diagnostics : public InitialisedCardFixture {
protected:
    void TearDown() override
    {
        platform::setWriteFailurePredicate(nullptr);
        InitialisedCardFixture::TearDown();
    }

    std::string pathOf(const std::string& name) { return scratchFolder() + "/" + name; }
    static std::uint32_t mode() { return boardInRange(0)->isDiagnosticMode; }
};

TEST_F(Diagnostics, TheReportHoldsTheFirmwareNumbersAndTheTraceFollows)
{
    ASSERT_EQ(XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_SYSTEM, 0x1234), 1u);
    ASSERT_EQ(XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_SAMPLING, 0x1023), 1u);
    ASSERT_EQ(XAVO_SIM_SetVersionWord(0, XAVO_SIM_BANK_PERIPHERAL, 0x2045), 1u);
    const std::string path = pathOf("diag.txt");
    const std::string head = kBanner + "0x1234:0x0001:0x0023:0x0002:0x0045\r\n\r\n";

    ASSERT_EQ(KZ_SetIsDiagnosticMode(0, 1, path.c_str()), 1u);
    EXPECT_EQ(fileText(path), head);
    EXPECT_EQ(mode(), 1u);
    ASSERT_EQ(KZ_SetRegister(0, 4, 0xAB), 1u);
    EXPECT_EQ(fileText(path), head + "0x0004:0x000000ab\r\n");

    // Switching on again starts afresh.
    ASSERT_EQ(KZ_SetIsDiagnosticMode(0, 1, path.c_str()), 1u);
    EXPECT_EQ(fileText(path), head);

    // Switching off leaves the file and the name alone, whatever name is passed.
    ASSERT_EQ(KZ_SetIsDiagnosticMode(0, 0, pathOf("other.txt").c_str()), 1u);
    EXPECT_EQ(mode(), 0u);
    ASSERT_EQ(KZ_SetRegister(0, 4, 0xCD), 1u);
    EXPECT_EQ(fileText(path), head);
    EXPECT_FALSE(fileExists(pathOf("other.txt")));
    EXPECT_EQ(std::string(boardInRange(0)->diagnosticsFileName), path);
    EXPECT_EQ(reportedErrors(), Errors{});
}

TEST_F(Diagnostics, WithoutANameTheConfiguredOneIsUsed)
{
    ASSERT_EQ(std::string(boardInRange(0)->diagnosticsFileName), "KZ_Diag.txt");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(scratchFolder());
    const std::uint32_t result = KZ_SetIsDiagnosticMode(0, 1, nullptr);
    std::filesystem::current_path(before);
    EXPECT_EQ(result, 1u);
    EXPECT_TRUE(fileText(pathOf("KZ_Diag.txt")).starts_with(kBanner));
}

TEST_F(Diagnostics, AFailureLeavesTheModeAsItWas)
{
    const std::string path = pathOf("diag.txt");
    const struct {
        const char* name;
        std::string fileName;
        platform::WriteFailurePredicate failure;
    } cases[] = {
        {"missing folder", pathOf("missing/diag.txt"), nullptr},
        {"refused write", path, [](WriteSite site, std::size_t) { return site == WriteSite::Write; }},
        {"refused block", path, [](WriteSite site, std::size_t) { return site == WriteSite::Block; }},
        {"refused close", path, [](WriteSite site, std::size_t) { return site == WriteSite::Close; }},
    };
    for (const std::uint32_t before : {0u, 1u}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            boardInRange(0)->isDiagnosticMode = before;
            platform::setWriteFailurePredicate(c.failure);
            clearErrors();
            EXPECT_EQ(KZ_SetIsDiagnosticMode(0, 1, c.fileName.c_str()), 0u);
            EXPECT_EQ(reportedErrors(), Errors{0xa600});
            EXPECT_EQ(mode(), before);
            // The name given stays, so that the next attempt uses it.
            EXPECT_EQ(std::string(boardInRange(0)->diagnosticsFileName), c.fileName);
            platform::setWriteFailurePredicate(nullptr);
        }
    }
}

TEST_F(Diagnostics, ANameThatDoesNotFitChangesNothing)
{
    const std::string tooLong = pathOf(std::string(KZ_DIAGNOSTICS_FILENAME_LENGTH, 'n'));
    EXPECT_EQ(KZ_SetIsDiagnosticMode(0, 1, tooLong.c_str()), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0xa600});
    EXPECT_EQ(mode(), 0u);
    EXPECT_EQ(std::string(boardInRange(0)->diagnosticsFileName), "KZ_Diag.txt");
}

TEST_F(Diagnostics, TestNamesAreHandedOutByIndex)
{
    const char* text = nullptr;
    EXPECT_EQ(KZ_GetDiagnosticsString(0, &text, 2), 1u);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "Test 2");
    EXPECT_EQ(text, boardInRange(0)->testNames[2]);

    const char* untouched = "untouched";
    text = untouched;
    EXPECT_EQ(KZ_GetDiagnosticsString(0, &text, KZ_NUMBER_OF_TEST_NAMES), 0u);
    EXPECT_EQ(KZ_GetDiagnosticsString(0, &text, 0xFFFFFFFF), 0u);
    EXPECT_EQ(text, untouched);
    EXPECT_EQ(KZ_GetDiagnosticsString(0, nullptr, 0), 0u);
    EXPECT_EQ(reportedErrors(), Errors{});
    EXPECT_EQ(KZ_GetDiagnosticsString(2, &text, 0), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x7900});
}

// A card that is enumerated but not initialised can be traced from its first register write.
class DiagnosticsBeforeInitialisation : public LibraryFixture {};

TEST_F(DiagnosticsBeforeInitialisation, TheReportIsTheBannerAlone)
{
    const std::string path = scratchFolder() + "/diag.txt";
    ASSERT_EQ(boardInRange(0)->isInitialised, 0u);
    EXPECT_EQ(KZ_SetIsDiagnosticMode(0, 1, path.c_str()), 1u);
    EXPECT_EQ(fileText(path), kBanner);
    EXPECT_EQ(reportedErrors(), Errors{});
    EXPECT_EQ(KZ_SetIsDiagnosticMode(1, 1, path.c_str()), 0u);
    EXPECT_EQ(reportedErrors(), Errors{0x7900});
}

} // namespace
} // namespace kz::test
