// The state file reader on any file and any section selector, applied to a freshly brought-up
// card. However malformed the file, the load returns 1 (the file opened and closed), reports only
// codes the library knows, gives the card's lock back, and leaves a card whose every setting,
// gate and table reads back: a full save of it succeeds.
#include <cstring>
#include <string>

#include "XAVOErrorControl.h"
#include "XAVOKZ.h"
#include "frame/board_table.h"
#include "frame/error_codes.h"
#include "fuzz_card.h"
#include "fuzz_target.h"

namespace {

constexpr std::uint32_t kCard = 0;

// Flags of the input's first byte.
constexpr std::uint8_t kOlderFirmware = 1u << 0;
constexpr std::uint8_t kFileMissing = 1u << 1;

bool onlyKnownCodesReported()
{
    const std::uint32_t lines = XAVO_ReturnNumberOfErrorLogLines();
    for (std::uint32_t i = 0; i < lines; ++i) {
        std::uint32_t code = 0;
        if (XAVO_ERR_GetErrorCode(i, &code) != 0 && std::strcmp(KZ_GetCodeString(code), "Unknown") == 0) {
            return false;
        }
    }
    return true;
}

} // namespace

// Input: a flag byte, the section selector (one byte), then the file's contents.
XAVO_FUZZ_TARGET(state_file)
{
    using namespace kz;
    fuzz::Input input(data, size);
    const std::uint8_t flags = input.byte();
    const std::uint32_t selector = input.byte();
    const std::string contents = input.rest();

    fuzz::reloadLibrary(1);
    fuzz::bringUpCard(kCard, (flags & kOlderFirmware) == 0);
    fuzz::completeBringUp(kCard);

    static const std::string path = fuzz::scratchFolder() + "/loaded.dab";
    static const std::string absentPath = fuzz::scratchFolder() + "/absent.dab";
    static const std::string savedPath = fuzz::scratchFolder() + "/saved.dab";
    fuzz::writeFile(path, contents);
    KZ_ClearErrorLog();

    if ((flags & kFileMissing) != 0) {
        XAVO_FUZZ_CHECK(KZ_LoadState(kCard, absentPath.c_str(), selector) == 0);
        XAVO_FUZZ_CHECK(KZ_GetLastError() == err::LoadStateCannotOpenFile);
        return;
    }
    XAVO_FUZZ_CHECK(KZ_LoadState(kCard, path.c_str(), selector) == 1);
    XAVO_FUZZ_CHECK(pBoardStates[kCard].lockDepth == 0);
    XAVO_FUZZ_CHECK(onlyKnownCodesReported());

    // Card and record still agree: whatever the file set, the card's settings read back.
    KZ_ClearErrorLog();
    XAVO_FUZZ_CHECK(KZ_SaveState(kCard, savedPath.c_str(), KZ_SFSAll) == 1);
}
