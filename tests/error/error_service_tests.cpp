// The error and logging service: last error, bounded logs, rendering, levels, outputs, threads.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "XAVOError.h"
#include "XAVOErrorControl.h"

namespace {

const char* sampleCodeString(uint32_t code) {
    switch (code) {
    case 0x7900: return "board lookup failed";
    case 0x1: return "first";
    default: return "other";
    }
}

const char* otherCodeString(uint32_t) { return "second renderer"; }

const char* nullCodeString(uint32_t) { return nullptr; }

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class ErrorServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        logFile_ = std::filesystem::temp_directory_path() /
                   ("xavo_error_" + std::to_string(::getpid()) + "_" + info->name() + ".log");
        std::filesystem::remove(logFile_);
        ::setenv("XAVO_ERROR_LOG_FILE", logFile_.string().c_str(), 1);
        ::setenv("XAVO_ERROR_QUIET", "1", 1);
        ASSERT_EQ(XAVO_InitErrorService(), 1u);
    }

    void TearDown() override {
        std::filesystem::remove(logFile_);
        ::setenv("XAVO_ERROR_QUIET", "1", 1);
    }

    static std::string errorLine(uint32_t index) {
        char buffer[2048] = {};
        EXPECT_EQ(XAVO_GetErrorLogLine(index, buffer, sizeof buffer), 1u) << "line " << index;
        return buffer;
    }

    static uint32_t errorCode(uint32_t index) {
        uint32_t code = 0xdeadbeef;
        EXPECT_EQ(XAVO_ERR_GetErrorCode(index, &code), 1u) << "line " << index;
        return code;
    }

    static std::string infoLine(uint32_t index, uint32_t* level) {
        char buffer[2048] = {};
        EXPECT_EQ(XAVO_ERR_GetInfoLine(index, level, buffer, sizeof buffer), 1u) << "line " << index;
        return buffer;
    }

    std::filesystem::path logFile_;
};

TEST_F(ErrorServiceTest, ReportSetsLastErrorAndLogsTheTextRenderedAtReportTime) {
    EXPECT_EQ(XAVO_GetLastError(), 0u);
    EXPECT_EQ(XAVO_ReturnNumberOfErrorLogLines(), 0u);
    ASSERT_EQ(XAVO_RegisterGetCodeStringFunction(0, sampleCodeString), 1u);

    const struct {
        uint32_t code;
        const char* line;
    } cases[] = {
        {0x7900, "0x7900 board lookup failed"},
        {0x1, "0x0001 first"},
        {0x0, "0x0000 other"},
        {0x12345, "0x12345 other"},
        {0xffffffff, "0xffffffff other"},
    };
    uint32_t index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(XAVO_HandleError(c.code), 1u);
        EXPECT_EQ(XAVO_GetLastError(), c.code);
        EXPECT_EQ(XAVO_ReturnNumberOfErrorLogLines(), index + 1);
        EXPECT_EQ(errorLine(index), c.line);
        EXPECT_EQ(errorCode(index), c.code);
        ++index;
    }

    // A new renderer applies to new lines only; logged lines keep their text.
    ASSERT_EQ(XAVO_RegisterGetCodeStringFunction(0, otherCodeString), 1u);
    XAVO_HandleError(0x7900);
    EXPECT_EQ(errorLine(0), "0x7900 board lookup failed");
    EXPECT_EQ(errorLine(index), "0x7900 second renderer");
}

TEST_F(ErrorServiceTest, RendersUnknownWithoutAUsableRenderer) {
    XAVO_HandleError(0x7900);
    EXPECT_EQ(errorLine(0), "0x7900 Unknown");

    // Refused registrations leave none in place.
    EXPECT_EQ(XAVO_RegisterGetCodeStringFunction(0, nullptr), 0u);
    EXPECT_EQ(XAVO_RegisterGetCodeStringFunction(1, sampleCodeString), 0u);
    XAVO_HandleError(0x7900);
    EXPECT_EQ(errorLine(1), "0x7900 Unknown");

    // A renderer that has no text for a code must not break the report.
    ASSERT_EQ(XAVO_RegisterGetCodeStringFunction(0, nullCodeString), 1u);
    EXPECT_EQ(XAVO_HandleError(0x2), 1u);
    EXPECT_EQ(errorLine(2), "0x0002 Unknown");
    EXPECT_EQ(XAVO_GetLastError(), 0x2u);

    // A refused registration also keeps the one in place.
    ASSERT_EQ(XAVO_RegisterGetCodeStringFunction(0, sampleCodeString), 1u);
    EXPECT_EQ(XAVO_RegisterGetCodeStringFunction(0, nullptr), 0u);
    XAVO_HandleError(0x1);
    EXPECT_EQ(errorLine(3), "0x0001 first");
}

TEST_F(ErrorServiceTest, ErrorLogKeepsTheLast1000LinesOldestFirst) {
    for (uint32_t code = 0; code < 1005; ++code) {
        XAVO_HandleError(code);
    }
    ASSERT_EQ(XAVO_ReturnNumberOfErrorLogLines(), 1000u);
    EXPECT_EQ(errorCode(0), 5u);
    EXPECT_EQ(errorLine(0), "0x0005 Unknown");
    EXPECT_EQ(errorCode(999), 1004u);
    EXPECT_EQ(errorLine(999), "0x03ec Unknown");
    EXPECT_EQ(XAVO_GetLastError(), 1004u);

    // Past the end: 0, and nothing written.
    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    uint32_t code = 77;
    EXPECT_EQ(XAVO_GetErrorLogLine(1000, buffer, sizeof buffer), 0u);
    EXPECT_EQ(XAVO_ERR_GetErrorCode(1000, &code), 0u);
    EXPECT_EQ(buffer[0], 'X');
    EXPECT_EQ(code, 77u);
}

TEST_F(ErrorServiceTest, ClearErrorLogEmptiesTheErrorLogAndLastErrorOnly) {
    XAVO_HandleError(0x10);
    XAVO_HandleError(0x20);
    XAVO_LogLine(1, "kept");
    XAVO_SetLogLevel(2, 6, 3);

    EXPECT_EQ(XAVO_ClearErrorLog(), 1u);
    EXPECT_EQ(XAVO_GetLastError(), 0u);
    EXPECT_EQ(XAVO_ReturnNumberOfErrorLogLines(), 0u);
    EXPECT_EQ(XAVO_ERR_ReturnNumberOfInfoLines(), 1u);
    uint32_t file = 0, app = 0, debugger = 0;
    XAVO_GetLogLevel(&file, &app, &debugger);
    EXPECT_EQ(file, 2u);
    EXPECT_EQ(app, 6u);
    EXPECT_EQ(debugger, 3u);

    XAVO_HandleError(0x30);
    EXPECT_EQ(XAVO_ReturnNumberOfErrorLogLines(), 1u);
    EXPECT_EQ(errorCode(0), 0x30u);
}

TEST_F(ErrorServiceTest, InitClearsEverythingAndIsIdempotent) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        XAVO_RegisterGetCodeStringFunction(0, sampleCodeString);
        XAVO_SetLogLevel(9, 1, 8);
        XAVO_HandleError(0x7900);
        XAVO_LogLine(1, "line");

        EXPECT_EQ(XAVO_InitErrorService(), 1u);
        EXPECT_EQ(XAVO_InitErrorService(), 1u);

        EXPECT_EQ(XAVO_GetLastError(), 0u);
        EXPECT_EQ(XAVO_ReturnNumberOfErrorLogLines(), 0u);
        EXPECT_EQ(XAVO_ERR_ReturnNumberOfInfoLines(), 0u);
        uint32_t file = 99, app = 99, debugger = 99;
        EXPECT_EQ(XAVO_GetLogLevel(&file, &app, &debugger), 1u);
        EXPECT_EQ(file, 0u);
        EXPECT_EQ(app, 7u);
        EXPECT_EQ(debugger, 4u);
        XAVO_HandleError(0x7900);
        EXPECT_EQ(errorLine(0), "0x7900 Unknown");
        XAVO_InitErrorService();
    }
}

TEST_F(ErrorServiceTest, LevelsAreStoredAndReadBackThroughTheGivenPointers) {
    EXPECT_EQ(XAVO_SetLogLevel(3, 5, 2), 1u);
    uint32_t file = 0, app = 0, debugger = 0;
    EXPECT_EQ(XAVO_GetLogLevel(&file, &app, &debugger), 1u);
    EXPECT_EQ(file, 3u);
    EXPECT_EQ(app, 5u);
    EXPECT_EQ(debugger, 2u);

    // A null pointer is skipped; the others are still written.
    uint32_t onlyApp = 0;
    EXPECT_EQ(XAVO_GetLogLevel(nullptr, &onlyApp, nullptr), 1u);
    EXPECT_EQ(onlyApp, 5u);
    EXPECT_EQ(XAVO_GetLogLevel(nullptr, nullptr, nullptr), 1u);
}

TEST_F(ErrorServiceTest, InfoLogFormatsAndKeepsLinesAtOrBelowTheAppLevel) {
    XAVO_SetLogLevel(0, 4, 0);
    EXPECT_EQ(XAVO_LogLine(4, "step %d of %s", 3, "calibration"), 1u);
    EXPECT_EQ(XAVO_LogLine(5, "too detailed"), 1u);
    EXPECT_EQ(XAVO_LogLine(1, "%u%% done", 50u), 1u);
    const std::string longText(600, 'w');
    EXPECT_EQ(XAVO_LogLine(2, "<%s>", longText.c_str()), 1u);

    ASSERT_EQ(XAVO_ERR_ReturnNumberOfInfoLines(), 3u);
    uint32_t level = 0;
    EXPECT_EQ(infoLine(0, &level), "step 3 of calibration");
    EXPECT_EQ(level, 4u);
    EXPECT_EQ(infoLine(1, &level), "50% done");
    EXPECT_EQ(level, 1u);
    EXPECT_EQ(infoLine(2, &level), "<" + longText + ">");
    EXPECT_EQ(level, 2u);

    // The two logs are kept apart.
    XAVO_HandleError(0x7900);
    EXPECT_EQ(XAVO_ERR_ReturnNumberOfInfoLines(), 3u);
    EXPECT_EQ(XAVO_ReturnNumberOfErrorLogLines(), 1u);

    EXPECT_EQ(XAVO_ERR_ClearInfoLog(), 1u);
    EXPECT_EQ(XAVO_ERR_ReturnNumberOfInfoLines(), 0u);
    EXPECT_EQ(XAVO_ReturnNumberOfErrorLogLines(), 1u);
}

TEST_F(ErrorServiceTest, InfoLogKeepsTheLast1000Lines) {
    for (int i = 0; i < 1003; ++i) {
        XAVO_LogLine(1, "line %d", i);
    }
    ASSERT_EQ(XAVO_ERR_ReturnNumberOfInfoLines(), 1000u);
    uint32_t level = 0;
    EXPECT_EQ(infoLine(0, &level), "line 3");
    EXPECT_EQ(infoLine(999, &level), "line 1002");
    char buffer[8] = "same";
    EXPECT_EQ(XAVO_ERR_GetInfoLine(1000, &level, buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "same");
}

TEST_F(ErrorServiceTest, LinesAreCutToCapacityAndAlwaysTerminated) {
    XAVO_RegisterGetCodeStringFunction(0, sampleCodeString);
    XAVO_HandleError(0x7900);  // "0x7900 board lookup failed", 26 characters
    XAVO_LogLine(1, "information");

    const struct {
        uint32_t capacity;
        const char* errorText;
        const char* infoText;
    } cases[] = {
        {1, "", ""},
        {5, "0x79", "info"},
        {26, "0x7900 board lookup faile", "information"},
        {27, "0x7900 board lookup failed", "information"},
        {64, "0x7900 board lookup failed", "information"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.capacity);
        char buffer[80];
        std::memset(buffer, 'X', sizeof buffer);
        ASSERT_EQ(XAVO_GetErrorLogLine(0, buffer, c.capacity), 1u);
        EXPECT_STREQ(buffer, c.errorText);
        EXPECT_TRUE(std::all_of(buffer + c.capacity, buffer + sizeof buffer, [](char b) { return b == 'X'; }));

        std::memset(buffer, 'X', sizeof buffer);
        uint32_t level = 0;
        ASSERT_EQ(XAVO_ERR_GetInfoLine(0, &level, buffer, c.capacity), 1u);
        EXPECT_STREQ(buffer, c.infoText);
        EXPECT_TRUE(std::all_of(buffer + c.capacity, buffer + sizeof buffer, [](char b) { return b == 'X'; }));
    }

    char buffer[4] = {'X', 'X', 'X', 'X'};
    uint32_t level = 42;
    EXPECT_EQ(XAVO_GetErrorLogLine(0, buffer, 0), 0u);
    EXPECT_EQ(XAVO_ERR_GetInfoLine(0, &level, buffer, 0), 0u);
    EXPECT_EQ(buffer[0], 'X');
    EXPECT_EQ(level, 42u);
}

TEST_F(ErrorServiceTest, NullArgumentsReturnZeroAndWriteNothing) {
    XAVO_HandleError(0x7900);
    XAVO_LogLine(1, "information");

    EXPECT_EQ(XAVO_GetErrorLogLine(0, nullptr, 16), 0u);
    EXPECT_EQ(XAVO_ERR_GetErrorCode(0, nullptr), 0u);

    char buffer[16] = "untouched";
    uint32_t level = 42;
    EXPECT_EQ(XAVO_ERR_GetInfoLine(0, nullptr, buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(XAVO_ERR_GetInfoLine(0, &level, nullptr, sizeof buffer), 0u);
    EXPECT_EQ(level, 42u);

    const char* noFormat = nullptr;
    EXPECT_EQ(XAVO_LogLine(1, noFormat), 0u);
    EXPECT_EQ(XAVO_ERR_ReturnNumberOfInfoLines(), 1u);
}

TEST_F(ErrorServiceTest, LogFileReceivesLinesAtOrBelowTheFileLevel) {
    XAVO_RegisterGetCodeStringFunction(0, sampleCodeString);
    XAVO_HandleError(0x7900);
    XAVO_LogLine(0, "level zero");
    XAVO_LogLine(1, "above the default file level");
    const std::string atDefault = readFile(logFile_);
    EXPECT_NE(atDefault.find("level zero"), std::string::npos);
    EXPECT_EQ(atDefault.find("0x7900"), std::string::npos);
    EXPECT_EQ(atDefault.find("above the default"), std::string::npos);

    // Errors are level 1; appending keeps what the file already holds.
    XAVO_SetLogLevel(1, 7, 0);
    XAVO_HandleError(0x7900);
    XAVO_LogLine(1, "shallow %d", 1);
    XAVO_LogLine(2, "deep");
    const std::string text = readFile(logFile_);
    const auto zero = text.find("level zero");
    const auto error = text.find("0x7900 board lookup failed");
    const auto shallow = text.find("shallow 1");
    ASSERT_NE(error, std::string::npos);
    ASSERT_NE(shallow, std::string::npos);
    EXPECT_LT(zero, error);
    EXPECT_LT(error, shallow);
    EXPECT_EQ(text.find("deep"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);

    // The path is read again at every start of the service.
    const std::filesystem::path second = logFile_.string() + ".second";
    ::setenv("XAVO_ERROR_LOG_FILE", second.string().c_str(), 1);
    XAVO_InitErrorService();
    XAVO_SetLogLevel(1, 7, 0);
    XAVO_HandleError(0x1);
    EXPECT_NE(readFile(second).find("0x0001 Unknown"), std::string::npos);
    EXPECT_EQ(readFile(logFile_), text);
    std::filesystem::remove(second);
}

TEST_F(ErrorServiceTest, StandardErrorCarriesLinesAtOrBelowTheDebuggerLevelUnlessQuiet) {
    ::unsetenv("XAVO_ERROR_QUIET");
    XAVO_InitErrorService();
    XAVO_SetLogLevel(0, 7, 2);
    ::testing::internal::CaptureStderr();
    XAVO_LogLine(2, "seen on the console");
    XAVO_LogLine(3, "too detailed");
    XAVO_HandleError(0x7900);
    const std::string loud = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(loud.find("seen on the console"), std::string::npos);
    EXPECT_NE(loud.find("0x7900 Unknown"), std::string::npos);
    EXPECT_EQ(loud.find("too detailed"), std::string::npos);

    ::setenv("XAVO_ERROR_QUIET", "1", 1);
    XAVO_InitErrorService();
    XAVO_SetLogLevel(0, 7, 9);
    ::testing::internal::CaptureStderr();
    XAVO_LogLine(1, "silent");
    XAVO_HandleError(0x7900);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// The renderer may call back into the service; it runs without the service's lock.
const char* reenteringCodeString(uint32_t) {
    static thread_local std::string text;
    text = "lines before: " + std::to_string(XAVO_ReturnNumberOfErrorLogLines()) +
           ", last: " + std::to_string(XAVO_GetLastError());
    return text.c_str();
}

TEST_F(ErrorServiceTest, RendererRunsWithoutTheServiceLock) {
    XAVO_HandleError(0x5);
    XAVO_RegisterGetCodeStringFunction(0, reenteringCodeString);

    // Reported on a helper thread so that a deadlock fails the test instead of hanging it.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread([done] {
        XAVO_HandleError(0x6);
        done->set_value();
    }).detach();
    ASSERT_EQ(finished.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "reporting deadlocked while rendering";
    EXPECT_EQ(errorLine(1), "0x0006 lines before: 1, last: 5");
}

TEST_F(ErrorServiceTest, ConcurrentReportsAndLinesAreAllKept) {
    XAVO_RegisterGetCodeStringFunction(0, sampleCodeString);
    constexpr uint32_t kThreads = 8;
    constexpr uint32_t kPerThread = 100;  // 800 lines: below the bound, so every one is kept

    std::atomic<bool> stop{false};
    std::thread reader([&stop] {
        char buffer[64];
        while (!stop.load()) {
            const uint32_t count = XAVO_ReturnNumberOfErrorLogLines();
            if (count > 0) {
                XAVO_GetErrorLogLine(count - 1, buffer, sizeof buffer);
            }
            XAVO_GetLastError();
        }
    });
    std::vector<std::thread> writers;
    for (uint32_t t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (uint32_t i = 0; i < kPerThread; ++i) {
                XAVO_HandleError(0x10000 * (t + 1) + i);
                XAVO_LogLine(1, "thread %u line %u", t, i);
            }
        });
    }
    for (auto& w : writers) {
        w.join();
    }
    stop = true;
    reader.join();

    ASSERT_EQ(XAVO_ReturnNumberOfErrorLogLines(), kThreads * kPerThread);
    EXPECT_EQ(XAVO_ERR_ReturnNumberOfInfoLines(), kThreads * kPerThread);
    std::vector<uint32_t> codes;
    for (uint32_t i = 0; i < kThreads * kPerThread; ++i) {
        codes.push_back(errorCode(i));
        char expected[32];
        std::snprintf(expected, sizeof expected, "0x%04x other", codes.back());
        EXPECT_EQ(errorLine(i), expected);
    }
    EXPECT_EQ(XAVO_GetLastError(), codes.back());
    std::sort(codes.begin(), codes.end());
    std::vector<uint32_t> wanted;
    for (uint32_t t = 0; t < kThreads; ++t) {
        for (uint32_t i = 0; i < kPerThread; ++i) {
            wanted.push_back(0x10000 * (t + 1) + i);
        }
    }
    EXPECT_EQ(codes, wanted);
}

}  // namespace
