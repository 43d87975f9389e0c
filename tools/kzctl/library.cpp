#include "library.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace kzctl {

namespace {

constexpr std::uint32_t kLogLineCapacity = 512;

std::vector<std::string> errorLogLines() {
    std::vector<std::string> lines;
    const std::uint32_t count = KZ_ReturnNumberOfErrorLogLines();
    for (std::uint32_t i = 0; i < count; ++i) {
        char line[kLogLineCapacity] = {};
        if (KZ_GetErrorLogLine(i, line, kLogLineCapacity) != 0) {
            lines.emplace_back(line);
        }
    }
    return lines;
}

std::string describe(const std::string& operation, std::uint32_t code) {
    if (code == 0) {
        return operation + " failed (the library reported no error code)";
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%04x", static_cast<unsigned>(code));
    return operation + " failed: error " + hex + ": " + codeMessage(code);
}

} // namespace

LibraryError::LibraryError(std::string operation, std::uint32_t code, std::vector<std::string> log)
    : std::runtime_error(describe(operation, code)), operation_(std::move(operation)), code_(code),
      log_(std::move(log)) {}

std::string codeMessage(std::uint32_t code) {
    const char* text = KZ_GetCodeString(code);
    return text != nullptr ? text : "";
}

void clearErrors() {
    KZ_ClearErrorLog();
}

void check(std::uint32_t result, const std::string& operation) {
    if (result == 0) {
        throw LibraryError(operation, KZ_GetLastError(), errorLogLines());
    }
}

std::uint32_t parseNumber(const std::string& text, const char* what) {
    const auto fail = [&]() -> std::uint32_t {
        throw ToolError(std::string(what) + ": not a number: \"" + text + "\"", kExitUsage);
    };
    if (text.empty()) {
        return fail();
    }
    const bool negative = text[0] == '-';
    const char* digits = text.c_str() + (negative ? 1 : 0);
    if (*digits == '\0' || *digits == '-' || *digits == '+' || *digits == ' ') {
        return fail();
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(digits, &end, 0);
    if (errno != 0 || *end != '\0') {
        return fail();
    }
    if (negative) {
        if (value > 0x80000000ull) {
            return fail();
        }
        return static_cast<std::uint32_t>(0u - static_cast<std::uint32_t>(value));
    }
    if (value > 0xFFFFFFFFull) {
        return fail();
    }
    return static_cast<std::uint32_t>(value);
}

std::uint32_t numberOfCards() {
    return KZ_ReturnNumberOfKelzorBoards();
}

void requireCard(std::uint32_t card) {
    const std::uint32_t cards = numberOfCards();
    if (card >= cards) {
        throw ToolError("card " + std::to_string(card) + " not found (" + std::to_string(cards) +
                            (cards == 1 ? " card" : " cards") + " present)",
                        kExitUsage);
    }
}

void silenceServiceEcho() {
    std::uint32_t file = 0;
    std::uint32_t app = 0;
    std::uint32_t debugger = 0;
    if (KZ_GetLogLevel(&file, &app, &debugger) != 0) {
        // The service echoes the lines up to the debugger level; level 0 echoes none.
        KZ_SetLogLevel(file, app, 0);
    }
}

CardSession::CardSession(std::uint32_t card) : card_(card) {
    requireCard(card);
    clearErrors();
    check(KZ_Initialise(card), "KZ_Initialise");
}

CardSession::~CardSession() {
    KZ_Uninitialise(card_);
}

} // namespace kzctl
