// Files through the operating-system layer: the same outcomes on every system.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "library_fixture.h"
#include "platform/platform.h"

namespace kz::test {
namespace {

using platform::File;

class Files : public LibraryFixture {
protected:
    std::string path(const char* name) { return scratchFolder() + "/" + name; }

    static void write(const std::string& file, const std::string& contents)
    {
        std::ofstream(file, std::ios::binary) << contents;
    }

    static std::string contentsOf(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static std::string readAll(File& file)
    {
        std::string text;
        char chunk[3];
        std::size_t got = 0;
        while (file.read(chunk, sizeof chunk, &got) && got > 0) {
            text.append(chunk, got);
        }
        return text;
    }
};

TEST_F(Files, CreateAlwaysMakesANewFileOrEmptiesAnOldOne)
{
    const std::string file = path("new.bin");
    for (const char* contents : {"first contents", "2nd"}) {
        File out;
        ASSERT_TRUE(out.open(file, File::Mode::CreateAlways));
        std::size_t written = 0;
        EXPECT_TRUE(out.write(contents, std::char_traits<char>::length(contents), &written));
        EXPECT_EQ(written, std::char_traits<char>::length(contents));
        EXPECT_TRUE(out.close());
        EXPECT_EQ(contentsOf(file), contents);
    }
}

TEST_F(Files, AppendKeepsTheContentsAndWritesAtTheEnd)
{
    const std::string file = path("log.txt");
    for (const char* line : {"one\n", "two\r\n"}) {
        File out;
        ASSERT_TRUE(out.open(file, File::Mode::Append));
        EXPECT_TRUE(out.write(line, std::char_traits<char>::length(line)));
    }
    EXPECT_EQ(contentsOf(file), "one\ntwo\r\n"); // bytes as written, no line-end translation
}

TEST_F(Files, ReadsInPiecesMovesBackAndKnowsItsSize)
{
    const std::string file = path("data.bin");
    write(file, std::string("abc\0def", 7));
    File in;
    ASSERT_TRUE(in.open(file, File::Mode::Read));
    std::uint64_t size = 0;
    EXPECT_TRUE(in.size(&size));
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(readAll(in), std::string("abc\0def", 7));
    std::size_t got = 99;
    EXPECT_TRUE(in.read(&size, 1, &got));
    EXPECT_EQ(got, 0u); // at the end
    EXPECT_TRUE(in.seekRelative(-3));
    EXPECT_EQ(readAll(in), "def");
    EXPECT_FALSE(in.seekRelative(-8)); // before the start
}

TEST_F(Files, RefusesWhatCannotBeDone)
{
    File file;
    std::size_t got = 0;
    char byte = 0;
    EXPECT_FALSE(file.open(path("missing.bin"), File::Mode::Read));
    EXPECT_FALSE(file.isOpen());
    EXPECT_FALSE(file.open(path("no-such-folder/file.bin"), File::Mode::CreateAlways));
    EXPECT_FALSE(file.open(path("no-such-folder/file.bin"), File::Mode::Append));
    EXPECT_FALSE(file.open(scratchFolder(), File::Mode::Read)); // a folder is not a file
    EXPECT_FALSE(file.open(scratchFolder(), File::Mode::CreateAlways));
    EXPECT_FALSE(file.read(&byte, 1, &got));
    EXPECT_FALSE(file.write(&byte, 1));
    EXPECT_FALSE(file.close());

    write(path("read-only.bin"), "x");
    ASSERT_TRUE(file.open(path("read-only.bin"), File::Mode::Read));
    std::size_t written = 7;
    EXPECT_FALSE(file.write(&byte, 1, &written)); // opened for reading only
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(file.close());
    EXPECT_FALSE(file.close());
}

TEST_F(Files, OpenFilesAreSharedAndCanBeDeleted)
{
    const std::string file = path("shared.txt");
    File writer;
    ASSERT_TRUE(writer.open(file, File::Mode::CreateAlways));
    ASSERT_TRUE(writer.write("abc", 3));
    File reader;
    ASSERT_TRUE(reader.open(file, File::Mode::Read)); // while it is open for writing
    EXPECT_EQ(readAll(reader), "abc");
    File appender;
    EXPECT_TRUE(appender.open(file, File::Mode::Append));

    EXPECT_TRUE(platform::deleteFile(file)); // while it is open
    EXPECT_FALSE(platform::deleteFile(path("missing.txt")));
}

TEST_F(Files, AMovedFileKeepsItsHandle)
{
    File first;
    ASSERT_TRUE(first.open(path("moved.txt"), File::Mode::CreateAlways));
    File second(std::move(first));
    EXPECT_FALSE(first.isOpen());
    EXPECT_TRUE(second.write("ab", 2));
    File third;
    third = std::move(second);
    EXPECT_TRUE(third.write("c", 1));
    EXPECT_TRUE(third.close());
    EXPECT_EQ(contentsOf(path("moved.txt")), "abc");
}

} // namespace
} // namespace kz::test
