// Settings by name on any name and any value, a run of calls on one freshly brought-up card.
// A name the table does not hold (matched whole, ignoring letter case) is refused with 0x5100
// and the card is not touched; a name it holds reaches its setter, and a setting the setter
// accepted reads back. Every call gives the card's lock back, and after the run every setting
// of the card reads back: a save of the settings sections succeeds.
#include <cctype>
#include <string>

#include "XAVOKZ.h"
#include "XAVOSimControl.h"
#include "frame/board_table.h"
#include "frame/error_codes.h"
#include "fuzz_card.h"
#include "fuzz_target.h"
#include "persistence/state_file.h"

namespace {

constexpr std::uint32_t kCard = 0;
constexpr std::uint32_t kMostCalls = 24;

// Flags of the input's first byte.
constexpr std::uint8_t kOlderFirmware = 1u << 0;

// A pick byte at or above this takes a name of any bytes from the input; below it, a name of the
// table in a letter case of the input's choosing.
constexpr std::uint8_t kAnyName = 0xE0;

// The row a name selects, found the plain way: the whole name, letters compared in lower case.
const kz::state_file::Property* rowNamed(const std::string& name)
{
    for (const kz::state_file::Property& row : kz::state_file::properties()) {
        if (row.name.size() == name.size() &&
            std::equal(name.begin(), name.end(), row.name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
            })) {
            return &row;
        }
    }
    return nullptr;
}

// Row `pick` of the table, each letter's case flipped where `caseBits` (cycled) has a 1.
std::string tableName(std::uint8_t pick, std::uint8_t caseBits)
{
    const auto rows = kz::state_file::properties();
    std::string name(rows[pick % rows.size()].name);
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (((caseBits >> (i % 8)) & 1u) != 0 && std::isalpha(c)) {
            name[i] = static_cast<char>(std::isupper(c) ? std::tolower(c) : std::toupper(c));
        }
    }
    return name;
}

} // namespace

// Input: a flag byte, then per call a pick byte, a case byte, the value (32 bits) and, for a pick
// of kAnyName or more, a name of any bytes (length byte first).
XAVO_FUZZ_TARGET(set_value)
{
    using namespace kz;
    fuzz::Input input(data, size);
    const std::uint8_t flags = input.byte();
    fuzz::reloadLibrary(1);
    fuzz::bringUpCard(kCard, (flags & kOlderFirmware) == 0);
    fuzz::completeBringUp(kCard);

    for (std::uint32_t call = 0; call < kMostCalls && !input.atEnd(); ++call) {
        const std::uint8_t pick = input.byte();
        const std::uint8_t caseBits = input.byte();
        const std::uint32_t value = input.word32();
        std::string name = pick >= kAnyName ? input.shortText() : tableName(pick, caseBits);
        name = name.c_str(); // the name the library sees ends at its first NUL
        const state_file::Property* row = rowNamed(name);

        KZ_ClearErrorLog();
        XAVO_SIM_ClearCallLog();
        const std::uint32_t result = KZ_SetValue(kCard, name.c_str(), value);
        XAVO_FUZZ_CHECK(result == 0 || result == 1);
        XAVO_FUZZ_CHECK(pBoardStates[kCard].lockDepth == 0);
        if (row == nullptr || row->setter == nullptr) {
            XAVO_FUZZ_CHECK(result == 0);
            XAVO_FUZZ_CHECK(KZ_GetLastError() == err::SetValueInvalidPropertyName);
            XAVO_FUZZ_CHECK(XAVO_SIM_CountCalls(0, kCard, XAVO_SIM_ANY) == 0);
        } else if (result == 1 && row->getter != nullptr) {
            std::uint32_t readBack = 0;
            const std::uint32_t read = row->getter(kCard, &readBack);
            // Analogue inputs 4 and 5 come through the auxiliary bits, which the input's getter
            // refuses as flags it cannot name (0x2d00): the one setting that does not read back.
            const bool auxiliaryInput = row->setter == rowNamed("AnalogueInput")->setter && (value == 4 || value == 5);
            XAVO_FUZZ_CHECK(read == 1 || (auxiliaryInput && KZ_GetLastError() == err::GetAnalogueInputInvalidFlags));
        }
    }

    static const std::string savedPath = fuzz::scratchFolder() + "/settings.dab";
    // The settings save unless analogue input 4 or 5 is selected: the save names the input through
    // its getter, which refuses those (0x2d00), and a refused getter stops the save.
    std::uint32_t selectedInput = 0;
    if (KZ_GetAnalogueInput(kCard, &selectedInput) == 1) {
        XAVO_FUZZ_CHECK(KZ_SaveState(kCard, savedPath.c_str(), KZ_SFSSettings) == 1);
    } else {
        XAVO_FUZZ_CHECK(KZ_GetLastError() == err::GetAnalogueInputInvalidFlags);
        XAVO_FUZZ_CHECK(KZ_SaveState(kCard, savedPath.c_str(), KZ_SFSSettings) == 0);
    }
}
