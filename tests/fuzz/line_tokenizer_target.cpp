// The state file reader's cutting of a line: the token of any text, the number of any value text
// (checked against the C library's conversion of the same text) and the index that ends any key.
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_target.h"
#include "persistence/state_file_reader.h"

namespace {

constexpr bool isLeadingSeparator(char c)
{
    return c == '\t' || c == ' ' || c == '\r' || c == '\n' || c == '[' || c == '(';
}

constexpr bool isTrailingSeparator(char c)
{
    return c == '\t' || c == ' ' || c == '\r' || c == '\n' || c == ']' || c == ')' || c == '\0';
}

// The value as strtoull reads it (base chosen by its prefix), a magnitude beyond 32 bits
// saturated, the sign applied modulo 2^32.
std::uint32_t expectedNumber(const std::string& text)
{
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    const std::string unsignedPart = text.substr(at);
    // strtoull would take a second sign or more blanks here; a number has none.
    if (unsignedPart.empty() || !std::isalnum(static_cast<unsigned char>(unsignedPart[0]))) {
        return 0;
    }
    errno = 0;
    const unsigned long long magnitude = std::strtoull(unsignedPart.c_str(), nullptr, 0);
    if (errno == ERANGE || magnitude > 0xFFFFFFFFull) {
        return 0xFFFFFFFFu;
    }
    const auto value = static_cast<std::uint32_t>(magnitude);
    return negative ? 0u - value : value;
}

std::uint32_t expectedTrailingNumber(std::string_view token)
{
    std::size_t first = token.size();
    while (first > 0 && token[first - 1] >= '0' && token[first - 1] <= '9') {
        --first;
    }
    const std::string digits(token.substr(first));
    if (digits.empty()) {
        return 0;
    }
    errno = 0;
    const unsigned long long value = std::strtoull(digits.c_str(), nullptr, 10);
    return errno == ERANGE || value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(value);
}

} // namespace

// Input: any text.
XAVO_FUZZ_TARGET(line_tokenizer)
{
    using namespace kz::state_file;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // The token is a piece of the text: separators before it, a separator or the end after it.
    const std::string_view token = extractToken(text);
    if (!token.empty()) {
        XAVO_FUZZ_CHECK(token.data() >= text.data() && token.data() + token.size() <= text.data() + text.size());
        const auto first = static_cast<std::size_t>(token.data() - text.data());
        for (std::size_t i = 0; i < first; ++i) {
            XAVO_FUZZ_CHECK(isLeadingSeparator(text[i]));
        }
        for (const char c : token) {
            XAVO_FUZZ_CHECK(!isTrailingSeparator(c));
        }
        XAVO_FUZZ_CHECK(!isLeadingSeparator(token.front()));
        const std::size_t end = first + token.size();
        XAVO_FUZZ_CHECK(end == text.size() || isTrailingSeparator(text[end]));
    } else {
        // Nothing but leading separators, or a terminator straight after them.
        std::size_t first = 0;
        while (first < text.size() && isLeadingSeparator(text[first])) {
            ++first;
        }
        XAVO_FUZZ_CHECK(first == text.size() || isTrailingSeparator(text[first]));
    }

    // A value text ends at its first NUL, as the reader's buffer does.
    const std::string value(text.substr(0, text.find('\0')));
    XAVO_FUZZ_CHECK(convertNumber(value) == expectedNumber(value));
    XAVO_FUZZ_CHECK(trailingNumber(token) == expectedTrailingNumber(token));
}
