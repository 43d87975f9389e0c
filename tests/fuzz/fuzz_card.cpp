#include "fuzz_card.h"

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "XAVODataCollectionControl.h"
#include "XAVOKZ.h"
#include "XAVORawScanControl.h"
#include "XAVOSimControl.h"
#include "frame/board_table.h"
#include "fuzz_target.h"
#include "hardware/enumeration.h"
#include "platform/platform.h"
#include "virtual_clock.h"

namespace kz::fuzz {

namespace {

struct FirmwareWords {
    std::int32_t dsp;
    std::int32_t per;
    std::uint32_t samplingWord; // what the running images report at register 0xFC
    std::uint32_t peripheralWord;
};
constexpr FirmwareWords kSequenced{0x228, 0x21F, 0x2028, 0x201F};
constexpr FirmwareWords kOlder{0x125, 0x16, 0x1025, 0x0016};
constexpr std::uint32_t kSampleClockHz = 80'000'000;

void removeScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(scratchFolder(), ignored);
}

} // namespace

void loadLibraryOnce(std::uint32_t cards)
{
    static bool loaded = false;
    if (loaded) {
        return;
    }
    loaded = true;
    setenv("XAVO_ERROR_QUIET", "1", 1);
    // Never destroyed, so that it outlives every use while the process ends.
    static test::VirtualClock* const clock = new test::VirtualClock;
    platform::setClock(clock);
    XAVO_SIM_ConfigureCards(cards, XAVO_HAL_DEVICE_ID_PRIMARY);
    loadLibrary();
    // No target reads a configuration beside the program unless it writes its own.
    library().configurationPath = scratchFolder() + "/absent.ini";
}

void reloadLibrary(std::uint32_t cards)
{
    loadLibraryOnce(cards);
    unloadLibrary();
    XAVO_SIM_Reset();
    DC_SIM_Reset();
    RawScan_SIM_Reset();
    XAVO_SIM_ConfigureCards(cards, XAVO_HAL_DEVICE_ID_PRIMARY);
    loadLibrary();
    library().configurationPath = scratchFolder() + "/absent.ini";
}

const std::string& scratchFolder()
{
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "xavokz-fuzz-XXXXXX").string();
        XAVO_FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
        return pattern;
    }();
    static const bool removedAtExit = std::atexit(removeScratchFolder) == 0;
    (void)removedAtExit;
    return folder;
}

void writeFile(const std::string& path, const std::string& contents)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    file.close();
    XAVO_FUZZ_CHECK(file.good());
}

void bringUpCard(std::uint32_t card, bool sequenced)
{
    const FirmwareWords& firmware = sequenced ? kSequenced : kOlder;
    XAVO_FUZZ_CHECK(KZ_StructuresInitialise(card, firmware.dsp, firmware.per) == 1);
    pBoardStates[card].isInitialised = 1;
    XAVO_FUZZ_CHECK(KZ_PCIInitialise(card) == 1);
    XAVO_FUZZ_CHECK(XAVO_SIM_PreloadFirmware(card, firmware.samplingWord, firmware.peripheralWord) == 1);
}

void completeBringUp(std::uint32_t card)
{
    XAVO_FUZZ_CHECK(KZ_GetEEPROMvalues(card) == 1);
    BoardState& board = pBoardStates[card];
    for (std::uint32_t range = 0; range < KZ_NUMBER_OF_ANALOGUE_RANGES; ++range) {
        board.isRangeCalibrated[range] = (board.calibratedRangeMask >> range) & 1u;
    }
    XAVO_FUZZ_CHECK(KZ_SetSamplingFrequency(card, kSampleClockHz) == 1);
    const std::uint16_t onePoint = 0;
    XAVO_FUZZ_CHECK(KZ_SetTCGValues(card, &onePoint, 1) == 1);
}

} // namespace kz::fuzz
