#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "firmware_download.h"

namespace {

using xavo::sim::FirmwareDownload;

std::uint32_t windowWord(std::uint8_t imageByte) { return FirmwareDownload::reverseBits(imageByte); }

TEST(SimFirmwareDownload, BitReversalTurnsEachWindowWordBackIntoItsByte) {
    const struct {
        std::uint8_t in, out;
    } cases[] = {{0x00, 0x00}, {0x01, 0x80}, {0x4B, 0xD2}, {0xF0, 0x0F}, {0xFF, 0xFF}};
    for (const auto& c : cases) EXPECT_EQ(c.out, FirmwareDownload::reverseBits(c.in)) << int(c.in);
}

TEST(SimFirmwareDownload, CollectsBytesAndFlagsBrokenSequences) {
    const std::vector<std::uint8_t> image = {'K', 'Z', 'F', 'W', 'S', 1};
    struct Step {
        std::uint32_t index, word;
    };
    struct {
        const char* name;
        std::vector<Step> steps;
        bool corrupt;
    } const cases[] = {
        {"in order", {}, false},
        {"gap", {{7, windowWord(0)}}, true},
        {"repeat", {{5, windowWord(0)}}, true},
        {"high bits", {{6, 0x100u | windowWord(0)}}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FirmwareDownload d;
        EXPECT_FALSE(d.isStarted());
        for (std::uint32_t i = 0; i < image.size(); ++i) d.acceptWord(i, windowWord(image[i]));
        EXPECT_EQ(image, d.bytes());
        for (const Step& s : c.steps) d.acceptWord(s.index, s.word);
        EXPECT_EQ(c.corrupt, d.isCorrupt());

        // Word 0 starts a new, clean download.
        d.acceptWord(0, windowWord('X'));
        EXPECT_FALSE(d.isCorrupt());
        EXPECT_EQ(std::vector<std::uint8_t>{'X'}, d.bytes());
    }
}

TEST(SimFirmwareDownload, WordsBeforeAnyStartAreCorrupt) {
    FirmwareDownload d;
    d.acceptWord(1, 0);
    EXPECT_TRUE(d.isCorrupt());
    EXPECT_TRUE(d.bytes().empty());
    EXPECT_EQ(0u, d.lastWord(2));
    EXPECT_EQ(0u, d.lastWord(1));
}

}  // namespace
