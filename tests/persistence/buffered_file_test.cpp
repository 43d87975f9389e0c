// The platform layer's buffered reader and writer over files larger than their blocks.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "persistence_support.h"
#include "platform/buffered_file.h"

namespace kz::test {
namespace {

class BufferedFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "xavokz-buffer-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        for (std::size_t i = 0; i < 3 * platform::BufferedReader::kBlockBytes + 100; ++i) {
            contents_.push_back(static_cast<char>('a' + (i * 7) % 26));
        }
    }
    void TearDown() override
    {
        platform::setWriteFailurePredicate(nullptr);
        std::filesystem::remove_all(folder_);
    }

    std::string folder_;
    std::string contents_;
};

TEST_F(BufferedFile, TheReaderHandsOutEveryByteAndMovesBackWithinAndBeyondItsBlock)
{
    const std::string path = folder_ + "/in";
    writeFile(path, contents_);
    platform::BufferedReader in;
    ASSERT_TRUE(in.open(path));
    const std::size_t block = platform::BufferedReader::kBlockBytes;
    std::string read;
    char byte = 0;
    while (read.size() < block + 10 && in.readByte(byte)) {
        read.push_back(byte);
    }
    // Back within the block just read, then back into the block before it.
    ASSERT_TRUE(in.seekBack(5));
    ASSERT_TRUE(in.readByte(byte));
    EXPECT_EQ(byte, contents_[block + 5]);
    ASSERT_TRUE(in.seekBack(100));
    for (std::size_t at = block - 94; at < block + 6; ++at) {
        ASSERT_TRUE(in.readByte(byte));
        ASSERT_EQ(byte, contents_[at]) << at;
    }
    read.resize(block + 6);
    while (in.readByte(byte)) {
        read.push_back(byte);
    }
    EXPECT_EQ(read, contents_);
    EXPECT_TRUE(in.close());
    EXPECT_FALSE(in.open(folder_ + "/absent"));
}

TEST_F(BufferedFile, TheWriterKeepsTheOrderOfSmallAndLargeWritesAndFlushesAtTheClose)
{
    const std::string path = folder_ + "/out";
    platform::BufferedWriter out;
    ASSERT_TRUE(out.create(path));
    ASSERT_TRUE(out.write(contents_.data(), 10));
    ASSERT_TRUE(out.write(contents_.data() + 10, 2 * platform::BufferedWriter::kBlockBytes));
    for (std::size_t at = 10 + 2 * platform::BufferedWriter::kBlockBytes; at < contents_.size(); at += 1000) {
        ASSERT_TRUE(out.write(contents_.data() + at, std::min<std::size_t>(1000, contents_.size() - at)));
    }
    EXPECT_TRUE(out.close());
    EXPECT_EQ(fileText(path), contents_);
}

TEST_F(BufferedFile, AfterARefusedBlockTheWriterTakesNothingMore)
{
    platform::setWriteFailurePredicate(
        [](platform::WriteSite site, std::size_t) { return site == platform::WriteSite::Block; });
    platform::BufferedWriter out;
    ASSERT_TRUE(out.create(folder_ + "/out"));
    EXPECT_TRUE(out.write(contents_.data(), 10)); // buffered
    EXPECT_FALSE(out.flush());
    platform::setWriteFailurePredicate(nullptr);
    EXPECT_FALSE(out.write(contents_.data(), 10));
    EXPECT_FALSE(out.close());
    EXPECT_TRUE(out.remove());
    EXPECT_FALSE(fileExists(folder_ + "/out"));
}

} // namespace
} // namespace kz::test
