// The module's own path, the relative profile path, and the system clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "library_fixture.h"
#include "platform/platform.h"

namespace kz::test {
namespace {

TEST(OwnModule, IsThisProgramNamedWithSlashes)
{
    const std::string path = platform::ownModulePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.find('\\'), std::string::npos) << path;
    const std::string name = path.substr(path.find_last_of('/') + 1);
    EXPECT_TRUE(name == "platform_tests" || name == "platform_tests.exe") << path;
    EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
}

using ProfilePath = LibraryFixture;

TEST_F(ProfilePath, WithoutAFolderNamesAFileOfTheCurrentFolder)
{
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(scratchFolder());
    std::ofstream("relative.ini") << "[KZ]\nKey=1\n";
    const std::string value = platform::readProfileString("relative.ini", "KZ", "Key", "default", 100);
    std::filesystem::current_path(before);
    EXPECT_EQ(value, "1");
}

TEST(SystemClock, CountsForwardAtAKnownFrequency)
{
    platform::setClock(nullptr);
    std::uint64_t frequency = 0;
    ASSERT_TRUE(platform::clock().queryFrequency(&frequency));
    EXPECT_GE(frequency, 1000u); // at least a count per millisecond
    std::uint64_t previous = 0;
    for (int i = 0; i < 1000; ++i) {
        std::uint64_t now = 0;
        ASSERT_TRUE(platform::clock().queryCounter(&now));
        EXPECT_GE(now, previous);
        previous = now;
    }
    platform::sleepMilliseconds(0);
}

} // namespace
} // namespace kz::test
