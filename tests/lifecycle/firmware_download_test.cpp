#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "XAVOErrorControl.h"
#include "frame/board_table.h"
#include "lifecycle/firmware_download.h"
#include "library_fixture.h"

namespace kz::test {
namespace {

TEST(DownloadWord, IsTheByteWithItsBitsReversed)
{
    struct Case {
        std::uint8_t byte;
        std::uint32_t word;
    };
    for (const Case c : {Case{0x01, 0x80}, Case{0x80, 0x01}, Case{0xA5, 0xA5}, Case{0x0F, 0xF0}, Case{0x00, 0x00},
                         Case{0xFF, 0xFF}, Case{0x12, 0x48}}) {
        EXPECT_EQ(downloadWord(c.byte), c.word) << int(c.byte);
    }
}

TEST(FirmwareFileNames, CarryTheVersionInThreeOrMoreHexDigits)
{
    EXPECT_EQ(samplingFirmwareFileName("/lib/", 0x228), "/lib/dsp_v228.bin");
    EXPECT_EQ(peripheralFirmwareFileName("/lib/", 0x16), "/lib/per_v016.bin");
    EXPECT_EQ(samplingFirmwareFileName("", 0x1ABC), "dsp_v1abc.bin");
}

class FirmwareDownload : public OpenCardFixture {
protected:
    std::string file(const std::string& name, const std::vector<std::uint8_t>& bytes)
    {
        const std::string path = scratchFolder() + "/" + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    // The download window writes the card received, in order, as (index, word).
    static std::vector<std::pair<std::uint32_t, std::uint32_t>> windowWrites()
    {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> writes;
        for (std::uint32_t i = 0; i < XAVO_SIM_ReturnCallLogLength(); ++i) {
            XAVO_SIM_CallRecord call{};
            XAVO_SIM_GetCallLogEntry(i, &call);
            if (call.operation == XAVO_SIM_OP_SET_WORD && call.address >= XAVO_HAL_FIRMWARE_WINDOW_BASE &&
                call.address < XAVO_HAL_REGISTER_BASE) {
                writes.emplace_back((call.address - XAVO_HAL_FIRMWARE_WINDOW_BASE) / 4, call.value);
            }
        }
        return writes;
    }

    void SetUp() override
    {
        OpenCardFixture::SetUp();
        XAVO_SIM_ClearCallLog();
    }
};

TEST_F(FirmwareDownload, WritesOneReversedWordPerByteOfBothFilesInOrder)
{
    const std::string sampling = file("s.bin", {0x01, 0x80, 0xA5});
    const std::string peripheral = file("p.bin", {0x0F, 0x12});
    const std::uint64_t before = clock.now;
    EXPECT_EQ(KZ_DumpBinFiles(0, sampling.c_str(), peripheral.c_str(), 0), 1u);
    using W = std::pair<std::uint32_t, std::uint32_t>;
    EXPECT_EQ(windowWrites(), (std::vector<W>{{0, 0x80}, {1, 0x01}, {2, 0xA5}, {3, 0xF0}, {4, 0x48}}));
    // Every word is followed by at least a microsecond on the counter.
    EXPECT_GE(clock.now - before, 5u * 2u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(FirmwareDownload, AnEmptySamplingFileStartsThePeripheralBytesAtTheWindowStart)
{
    const std::string sampling = file("s.bin", {});
    const std::string peripheral = file("p.bin", {0x01});
    EXPECT_EQ(KZ_DumpBinFiles(0, sampling.c_str(), peripheral.c_str(), 0), 1u);
    EXPECT_EQ(windowWrites(), (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0, 0x80}}));
}

TEST_F(FirmwareDownload, PrepareOnlyReadsTheFilesAndWritesNothing)
{
    const std::string sampling = file("s.bin", {1, 2, 3});
    const std::string peripheral = file("p.bin", {4});
    EXPECT_EQ(KZ_DumpBinFiles(0, sampling.c_str(), peripheral.c_str(), 1), 0u);
    EXPECT_TRUE(windowWrites().empty());
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(FirmwareDownload, AMissingFileIsLoggedByNameAndReportedBeforeAnyWrite)
{
    const std::string present = file("p.bin", {4});
    const std::string missing = scratchFolder() + "/missing.bin";
    XAVO_ERR_ClearInfoLog();
    EXPECT_EQ(KZ_DumpBinFiles(0, missing.c_str(), present.c_str(), 0), 0u);
    EXPECT_EQ(KZ_DumpBinFiles(0, present.c_str(), missing.c_str(), 0), 0u);
    EXPECT_EQ(reportedErrors(), (std::vector<std::uint32_t>{0x700, 0x701}));
    EXPECT_TRUE(windowWrites().empty());

    ASSERT_EQ(XAVO_ERR_ReturnNumberOfInfoLines(), 2u);
    char line[512];
    std::uint32_t level = 0;
    ASSERT_EQ(XAVO_ERR_GetInfoLine(1, &level, line, sizeof line), 1u);
    EXPECT_EQ(level, 1u);
    EXPECT_EQ(std::string(line), "Firmware file " + missing + " not found");
}

TEST_F(FirmwareDownload, AFailedWordWriteStopsTheDownloadAtOnce)
{
    const std::string sampling = file("s.bin", {1, 2, 3, 4});
    const std::string peripheral = file("p.bin", {5});
    XAVO_SIM_FaultRule rule{};
    rule.operations = XAVO_SIM_OP_SET_WORD;
    rule.card = XAVO_SIM_ANY;
    rule.addressFirst = XAVO_HAL_FIRMWARE_WINDOW_BASE + 8;
    rule.addressLast = XAVO_HAL_FIRMWARE_WINDOW_BASE + 8;
    XAVO_SIM_AddFaultRule(&rule);
    EXPECT_EQ(KZ_DumpBinFiles(0, sampling.c_str(), peripheral.c_str(), 0), 0u);
    EXPECT_EQ(XAVO_SIM_CountCalls(XAVO_SIM_OP_SET_WORD, 0, XAVO_SIM_ANY), 3u);
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(FirmwareDownload, AnImageLargerThanTheWindowIsRefusedBeforeTheFirstWord)
{
    constexpr std::size_t kWindowWords = (XAVO_HAL_REGISTER_BASE - XAVO_HAL_FIRMWARE_WINDOW_BASE) / 4;
    struct Case {
        const char* name;
        std::size_t samplingBytes;
        std::size_t peripheralBytes;
        std::uint32_t result;
        std::vector<std::uint32_t> errors;
    };
    const Case cases[] = {
        {"sampling file alone too large", kWindowWords + 1, 1, 0, {0x702}},
        {"peripheral file beyond the window", kWindowWords - 1, 2, 0, {0x704}},
        {"both fill the window exactly", kWindowWords - 1, 1, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string sampling = file("s.bin", std::vector<std::uint8_t>(c.samplingBytes, 0x01));
        const std::string peripheral = file("p.bin", std::vector<std::uint8_t>(c.peripheralBytes, 0x02));
        XAVO_SIM_ClearCallLog();
        clearErrors();
        EXPECT_EQ(KZ_DumpBinFiles(0, sampling.c_str(), peripheral.c_str(), 0), c.result);
        EXPECT_EQ(reportedErrors(), c.errors);
        const auto writes = windowWrites();
        if (c.result == 0) {
            EXPECT_TRUE(writes.empty());
        } else {
            ASSERT_EQ(writes.size(), kWindowWords);
            EXPECT_EQ(writes.back(), (std::pair<std::uint32_t, std::uint32_t>{kWindowWords - 1, 0x40}));
        }
    }
}

TEST_F(FirmwareDownload, RefusesWhatCannotBeAllocatedOrNamed)
{
    const std::string sampling = file("s.bin", {1, 2, 3});
    const std::string peripheral = file("p.bin", {4});
    platform::setAllocationFailurePredicate([](std::size_t bytes) { return bytes == 4 * sizeof(std::uint32_t); });
    EXPECT_EQ(KZ_DumpBinFiles(0, sampling.c_str(), peripheral.c_str(), 0), 0u);
    platform::setAllocationFailurePredicate(nullptr);
    EXPECT_EQ(KZ_DumpBinFiles(0, nullptr, peripheral.c_str(), 0), 0u);
    EXPECT_EQ(KZ_DumpBinFiles(0, sampling.c_str(), nullptr, 0), 0u);
    EXPECT_EQ(KZ_DumpBinFiles(1, sampling.c_str(), peripheral.c_str(), 0), 0u);
    EXPECT_TRUE(windowWrites().empty());
    EXPECT_TRUE(reportedErrors().empty());
}

TEST_F(FirmwareDownload, NeedsTheCounterFrequency)
{
    const std::string sampling = file("s.bin", {1});
    const std::string peripheral = file("p.bin", {2});
    clock.failFrequency = true;
    EXPECT_EQ(KZ_DumpBinFiles(0, sampling.c_str(), peripheral.c_str(), 0), 0u);
    EXPECT_TRUE(windowWrites().empty());
}

} // namespace
} // namespace kz::test
