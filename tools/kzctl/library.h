// kzctl's access to the card library: every call that can fail goes through check(), which turns
// a failure into a LibraryError carrying the library's error code, its message and the codes the
// call reported on the way.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "XAVOKZ.h"

namespace kzctl {

// Exit codes: 0 success, 1 a failure of the card or the library, 2 wrong use of the command
// line, 130 interrupted.
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

// A failed library call: the operation's name, the last error code it reported (0 when it
// reported none) and the lines of the library's error log it left.
class LibraryError : public std::runtime_error {
public:
    LibraryError(std::string operation, std::uint32_t code, std::vector<std::string> log);
    const std::string& operation() const { return operation_; }
    std::uint32_t code() const { return code_; }
    const std::vector<std::string>& log() const { return log_; }

private:
    std::string operation_;
    std::uint32_t code_;
    std::vector<std::string> log_;
};

// A failure of kzctl itself (a file it cannot write, a value it cannot parse, a card that does
// not exist), with its exit code.
class ToolError : public std::runtime_error {
public:
    explicit ToolError(const std::string& what, int exitCode = kExitFailure)
        : std::runtime_error(what), exitCode_(exitCode) {}
    int exitCode() const { return exitCode_; }

private:
    int exitCode_;
};

// The message the library gives for `code`, never null.
std::string codeMessage(std::uint32_t code);

// Empties the library's error log before a call, so that what the call leaves is its own.
void clearErrors();

// Throws a LibraryError for `operation` when `result` is 0.
void check(std::uint32_t result, const std::string& operation);

// Reads one value through a getter of the form KZ_GetX(card, &value).
template <typename Value, typename Getter>
Value get(Getter getter, std::uint32_t card, const char* operation) {
    Value value{};
    clearErrors();
    check(getter(card, &value), operation);
    return value;
}

// Parses a number as a user writes it: decimal, 0x hexadecimal, or negative decimal (stored as
// its two's complement). Throws a ToolError (usage) naming `what` when it is not one.
std::uint32_t parseNumber(const std::string& text, const char* what);

// The number of cards the library found when it was loaded.
std::uint32_t numberOfCards();

// Checks the card index against the cards present; a usage error when there is no such card.
void requireCard(std::uint32_t card);

// Switches off the error service's own echo of its lines to standard error (kzctl prints every
// failure itself); the file and application levels stay as configured.
void silenceServiceEcho();

// An initialised card for the lifetime of the object: KZ_Initialise on construction,
// KZ_Uninitialise on destruction.
class CardSession {
public:
    explicit CardSession(std::uint32_t card);
    ~CardSession();
    CardSession(const CardSession&) = delete;
    CardSession& operator=(const CardSession&) = delete;
    std::uint32_t card() const { return card_; }

private:
    std::uint32_t card_;
};

} // namespace kzctl
