// The card library loaded by a host at run time, from a folder of its own: the libraries find
// each other beside themselves, the configuration is read beside the library, and the load
// starts the services and enumerates the simulated cards.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "XAVOKZ.h"
#include "loaded_module.h"

namespace {

namespace fs = std::filesystem;
using kz::test::LoadedModule;

class LoadedLibrary : public ::testing::Test {
protected:
    void TearDown() override
    {
        library_.close();
        // The service libraries stay loaded to the end of the process, as they would in a host
        // that keeps using them: their state lives in process-wide objects.
#if defined(_WIN32)
        // Windows keeps the file of a loaded library from being deleted: there they go at the
        // very end of the test, so that its folder can be removed.
        simulator_.close();
        errorService_.close();
#endif
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // Copies the libraries into a new folder whose name has at least `nameLength` characters.
    void install(std::size_t nameLength = 8)
    {
        std::string pattern = (fs::temp_directory_path() / ("xavokz-host-" + std::string(nameLength, 'f') + "XXXXXX")).string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        // Every library of the run-time folder, by the names the libraries ask for each other.
        for (const auto& entry : fs::directory_iterator(XAVO_RUNTIME_DIR)) {
            const std::string name = entry.path().filename().string();
            if (LoadedModule::isLibraryFile(name)) {
                fs::copy_file(entry.path(), folder_ / name);
            }
        }
        setenv("XAVO_ERROR_LOG_FILE", (folder_ / "XAVOError.log").string().c_str(), 1);
    }

    void writeConfiguration(const std::string& contents) { std::ofstream(folder_ / "XAVOKZ.ini") << contents; }

    void load()
    {
        // Hold the service libraries, so that they outlive the card library's unload.
        ASSERT_TRUE(simulator_.open(libraryPath("XAVOCommonHAL"))) << LoadedModule::lastError();
        ASSERT_TRUE(errorService_.open(libraryPath("XAVOError"))) << LoadedModule::lastError();
        ASSERT_TRUE(library_.open(libraryPath("XAVOKZ"))) << LoadedModule::lastError();
    }

    std::string libraryPath(std::string_view library) const { return (folder_ / LoadedModule::fileName(library)).string(); }

    void unload() { library_.close(); }

    template <typename Function>
    Function* function(const LoadedModule& module, const char* name)
    {
        void* symbol = module.symbol(name);
        EXPECT_NE(symbol, nullptr) << name;
        return reinterpret_cast<Function*>(symbol);
    }

    template <typename Function>
    Function* kz(const char* name) { return function<Function>(library_, name); }

    BoardState* boardStates() { return *static_cast<BoardState**>(library_.symbol("pBoardStates")); }

    fs::path folder_;
    LoadedModule library_;
    LoadedModule simulator_;
    LoadedModule errorService_;
};

TEST_F(LoadedLibrary, FindsOneSimulatedCardAndStartsTheErrorServiceWithDefaultLevels)
{
    install();
    load();
    EXPECT_EQ(kz<uint32_t()>("KZ_ReturnNumberOfKelzorBoards")(), 1u);
    ASSERT_NE(boardStates(), nullptr);
    EXPECT_EQ(boardStates()[0].isPresent, 1u);

    uint32_t levels[3] = {};
    EXPECT_EQ(kz<uint32_t(uint32_t*, uint32_t*, uint32_t*)>("KZ_GetLogLevel")(&levels[0], &levels[1], &levels[2]), 1u);
    EXPECT_EQ(levels[0], 0u);
    EXPECT_EQ(levels[1], 7u);
    EXPECT_EQ(levels[2], 4u);

    // The message look-up is registered with the error service.
    kz<BoardState*(uint32_t)>("KZ_ReturnBoardStatePointer")(5);
    char line[200] = {};
    ASSERT_EQ(kz<uint32_t(uint32_t, char*, uint32_t)>("KZ_GetErrorLogLine")(0, line, sizeof line), 1u);
    EXPECT_NE(std::string(line).find("KZ_ReturnBoardStatePointer fail: Invalid Card Index"), std::string::npos) << line;
}

TEST_F(LoadedLibrary, ReadsItsConfigurationBesideItselfInALongFolder)
{
    install(180);
    writeConfiguration("[KZ]\nKZdef_FileLogLevel=-1\nKZdef_AppLogLevel=3\nKZdef_DebuggerLogLevel=0x2\n"
                       "KZdef_DSPversion=0x125\n");
    load();
    uint32_t levels[3] = {};
    kz<uint32_t(uint32_t*, uint32_t*, uint32_t*)>("KZ_GetLogLevel")(&levels[0], &levels[1], &levels[2]);
    EXPECT_EQ(levels[0], 0xFFFFFFFFu);
    EXPECT_EQ(levels[1], 3u);
    EXPECT_EQ(levels[2], 2u);
    uint32_t dsp = 0;
    uint32_t per = 0;
    kz<uint32_t(uint32_t*, uint32_t*)>("KZ_GetZUTAMFirmwareRevisions")(&dsp, &per);
    EXPECT_EQ(dsp, 0x125u);
    EXPECT_EQ(per, 0x21Fu);
}

TEST_F(LoadedLibrary, LoadsWithoutACard)
{
    setenv("XAVO_SIM_CARDS", "0", 1);
    install();
    load();
    EXPECT_EQ(kz<uint32_t()>("KZ_ReturnNumberOfKelzorBoards")(), 0u);
    EXPECT_EQ(boardStates(), nullptr);
    EXPECT_EQ(kz<uint32_t(uint32_t)>("KZ_GetIsInitialised")(0), 0u);
    EXPECT_EQ(kz<uint32_t()>("KZ_GetLastError")(), 0x7900u);
}

TEST_F(LoadedLibrary, FindsCardsOfTheSecondaryDevice)
{
    setenv("XAVO_SIM_CARDS", "2", 1);
    setenv("XAVO_SIM_DEVICE", "0x5602", 1);
    install();
    load();
    EXPECT_EQ(kz<uint32_t()>("KZ_ReturnNumberOfKelzorBoards")(), 2u);
}

TEST_F(LoadedLibrary, UnloadClosesTheCardsItOpened)
{
    install();
    load();
    ASSERT_EQ(kz<uint32_t(uint32_t)>("KZ_PCIInitialise")(0), 1u);
    auto isOpen = function<uint32_t(uint32_t)>(simulator_, "XAVO_SIM_IsCardOpen");
    auto isDmaOpen = function<uint32_t(uint32_t)>(simulator_, "XAVO_SIM_IsDMAChannelOpen");
    EXPECT_EQ(isOpen(0), 1u);
    EXPECT_EQ(isDmaOpen(0), 1u);
    unload();
    EXPECT_EQ(isOpen(0), 0u);
    EXPECT_EQ(isDmaOpen(0), 0u);
}

} // namespace
