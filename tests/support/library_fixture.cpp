#include "library_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "XAVODataCollectionControl.h"
#include "XAVOErrorControl.h"
#include "XAVORawScanControl.h"
#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/hooks.h"
#include "hardware/enumeration.h"
#include "hardware/registers.h"
#include "lifecycle/firmware_download.h"
#include "platform/platform.h"

namespace kz::test {

void LibraryFixture::SetUp()
{
    platform::setClock(&clock);
    reload();
    // No test reads the configuration beside the test programs unless it writes its own.
    library().configurationPath = scratchFolder() + "/absent.ini";
    clearErrors();
}

void LibraryFixture::TearDown()
{
    unloadLibrary();
    platform::setAllocationFailurePredicate(nullptr);
    platform::setClock(nullptr);
    XAVO_SIM_Reset();
    DC_SIM_Reset();
    RawScan_SIM_Reset();
    if (!scratch_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(scratch_, ignored);
    }
}

void LibraryFixture::reload()
{
    unloadLibrary();
    XAVO_SIM_Reset();
    DC_SIM_Reset();
    RawScan_SIM_Reset();
    XAVO_SIM_SetCallLogEnabled(1); // tests read the calls the card received
    XAVO_SIM_ConfigureCards(cardCount, deviceId);
    loadLibrary();
}

const std::string& LibraryFixture::scratchFolder()
{
    if (scratch_.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "xavokz-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            scratch_ = pattern;
        }
    }
    return scratch_;
}

void LibraryFixture::writeConfiguration(const std::string& contents)
{
    const std::string path = scratchFolder() + "/XAVOKZ.ini";
    std::ofstream(path, std::ios::binary) << contents;
    library().configurationPath = path;
}

void LibraryFixture::bringUp(std::uint32_t cardIndex)
{
    BoardState* board = boardInRange(cardIndex);
    ASSERT_NE(board, nullptr);
    createLock(cardIndex);
    ASSERT_TRUE(allocateHooks(*board));
    board->isInitialised = 1;
    ASSERT_EQ(KZ_PCIInitialise(cardIndex), 1u);
}

std::vector<std::uint32_t> LibraryFixture::reportedErrors()
{
    std::vector<std::uint32_t> codes;
    const std::uint32_t lines = XAVO_ReturnNumberOfErrorLogLines();
    for (std::uint32_t i = 0; i < lines; ++i) {
        std::uint32_t code = 0;
        if (XAVO_ERR_GetErrorCode(i, &code) != 0) {
            codes.push_back(code);
        }
    }
    return codes;
}

void LibraryFixture::clearErrors() { XAVO_ClearErrorLog(); }

std::string firmwareFolder()
{
    const std::string module = platform::ownModulePath();
    return module.substr(0, module.find_last_of('/') + 1);
}

void initialiseCard(std::uint32_t cardIndex, FirmwarePair firmware)
{
    ASSERT_EQ(KZ_StructuresInitialise(cardIndex, firmware.dsp, firmware.per), 1u);
    pBoardStates[cardIndex].isInitialised = 1;
    ASSERT_EQ(KZ_PCIInitialise(cardIndex), 1u);
    const std::string folder = firmwareFolder();
    const auto dsp = static_cast<std::uint32_t>(firmware.dsp);
    const auto per = static_cast<std::uint32_t>(firmware.per);
    ASSERT_EQ(KZ_DumpBinFiles(cardIndex, samplingFirmwareFileName(folder, dsp).c_str(),
                              peripheralFirmwareFileName(folder, per).c_str(), 0),
              1u);
    ASSERT_EQ(setBankRegister(Bank::System, cardIndex, reg::sys::kCommand, reg::sys::kCommandRelease), 1u);
}

std::uint32_t initialiseThroughLibrary(std::uint32_t cardIndex, FirmwarePair firmware)
{
    return firmware.dsp >= 0x200 ? KZ_Initialise(cardIndex) : KZ_InitialiseNonSequenced(cardIndex);
}

} // namespace kz::test
