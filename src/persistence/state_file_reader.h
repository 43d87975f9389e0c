// The pieces of the state file reader that its loaders share.
#pragma once

#include <cstdint>
#include <string_view>

namespace kz::state_file {

// The token of a text: leading TAB, blank, CR, LF, "[" and "(" skipped, then the characters up
// to, not including, the first TAB, blank, CR, LF, "]", ")" or the end of the text (a NUL ends
// the text). A view into `text`, so never longer than it; empty when nothing is left.
std::string_view extractToken(std::string_view text);

// A value as the file gives it: optional leading blanks and sign, "0x" or "0X" for hexadecimal,
// a leading 0 for octal, else decimal, up to the first character that is not a digit of the
// base. No digits give 0; a minus sign negates modulo 2^32; a number beyond 32 bits gives
// 0xFFFFFFFF.
std::uint32_t convertNumber(std::string_view text);

// The decimal number of the digits that end `token` (0 when it ends in none); a number beyond
// 32 bits gives 0xFFFFFFFF, which every index check refuses.
std::uint32_t trailingNumber(std::string_view token);

} // namespace kz::state_file
