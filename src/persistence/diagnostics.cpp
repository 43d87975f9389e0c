// Diagnostic mode: switching it on starts a fresh diagnostics file (a banner, and the card's
// five firmware numbers once it is initialised), to which the register layer then appends a
// line for every register write; switching it off stops the trace and leaves the file as it is.
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "platform/buffered_file.h"

namespace kz {

namespace {

constexpr std::string_view kBanner = "Tolvenna XAVO Data Acquisition Card Diagnostics\r\n\r\n";

// The firmware numbers in their order on the report's third line.
constexpr std::array<std::uint32_t (*)(std::uint32_t, std::uint32_t*), 5> kFirmwareNumbers{
    KZ_GetSystemFirmwareVersion,     KZ_GetSamplingFirmwareVersion,    KZ_GetSamplingFirmwareRevision,
    KZ_GetPeripheralFirmwareVersion, KZ_GetPeripheralFirmwareRevision,
};

std::uint32_t fail()
{
    report(err::SetIsDiagnosticModeGeneralError);
    return 0;
}

// Writes the report's head; false when the file cannot be created, written or closed.
bool writeReport(const BoardState& board, std::uint32_t cardIndex)
{
    std::array<char, 64> numbers{};
    int length = 0;
    if (board.isInitialised != 0) {
        std::array<std::uint32_t, kFirmwareNumbers.size()> value{};
        for (std::size_t i = 0; i < kFirmwareNumbers.size(); ++i) {
            kFirmwareNumbers[i](cardIndex, &value[i]); // a failed read leaves its number 0
        }
        length = std::snprintf(numbers.data(), numbers.size(), "0x%04x:0x%04x:0x%04x:0x%04x:0x%04x\r\n\r\n",
                               value[0], value[1], value[2], value[3], value[4]);
        if (length < 0 || static_cast<std::size_t>(length) >= numbers.size()) {
            return false;
        }
    }
    const std::string path(board.diagnosticsFileName,
                           strnlen(board.diagnosticsFileName, sizeof board.diagnosticsFileName));
    platform::BufferedWriter out;
    if (!out.create(path)) {
        return false;
    }
    const bool written =
        out.write(kBanner.data(), kBanner.size()) && out.write(numbers.data(), static_cast<std::size_t>(length));
    if (!written) {
        out.abandon();
        return false;
    }
    return out.close();
}

std::uint32_t setIsDiagnosticMode(BoardState& board, std::uint32_t cardIndex, std::uint32_t on, const char* fileName)
{
    if (on == 0) {
        board.isDiagnosticMode = 0;
        return 1;
    }
    if (fileName != nullptr) {
        // A name that does not fit the record is refused before anything changes.
        const std::size_t length = strnlen(fileName, sizeof board.diagnosticsFileName);
        if (length >= sizeof board.diagnosticsFileName) {
            return fail();
        }
        std::memcpy(board.diagnosticsFileName, fileName, length + 1);
    }
    if (!writeReport(board, cardIndex)) {
        return fail();
    }
    board.isDiagnosticMode = on;
    return 1;
}

} // namespace

} // namespace kz

extern "C" {

// Works before the card is initialised too (then without its lock), so that a bring-up can be
// traced from its first register write.
KZ_API uint32_t KZ_SetIsDiagnosticMode(uint32_t cardIndex, uint32_t on, const char* fileName)
{
    BoardState* board = kz::boardInRange(cardIndex);
    if (board == nullptr) {
        kz::lookUpBoard(cardIndex); // reports the invalid card index
        return 0;
    }
    std::optional<kz::CardGuard> guard;
    if (board->isInitialised != 0) {
        guard.emplace(cardIndex);
    }
    return kz::setIsDiagnosticMode(*board, cardIndex, on, fileName);
}

KZ_API uint32_t KZ_GetDiagnosticsString(uint32_t cardIndex, const char** text, uint32_t index)
{
    return kz::withLockedCard(cardIndex, text, [index](BoardState& board, const char** out) -> uint32_t {
        if (index >= KZ_NUMBER_OF_TEST_NAMES) {
            return 0;
        }
        *out = board.testNames[index];
        return 1;
    });
}

} // extern "C"
