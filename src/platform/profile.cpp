#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace kz::platform {

namespace {

constexpr std::size_t kReadChunk = 4096;

// Blanks around names and values; ^Z is the end-of-file mark of old text files.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x1A';
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

// A value enclosed in a matching pair of quotes loses them.
std::string_view stripQuotes(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value.remove_prefix(1);
        value.remove_suffix(1);
    }
    return value;
}

bool readWholeFile(const std::string& path, std::string* contents)
{
    File file;
    if (!file.open(path, File::Mode::Read)) {
        return false;
    }
    char chunk[kReadChunk];
    for (;;) {
        std::size_t got = 0;
        if (!file.read(chunk, sizeof chunk, &got)) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        contents->append(chunk, got);
    }
}

void appendUtf8(std::string& text, std::uint32_t codePoint)
{
    const auto byte = [&](std::uint32_t value) { text.push_back(static_cast<char>(value)); };
    if (codePoint < 0x80) {
        byte(codePoint);
    } else if (codePoint < 0x800) {
        byte(0xC0 | (codePoint >> 6));
        byte(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        byte(0xE0 | (codePoint >> 12));
        byte(0x80 | ((codePoint >> 6) & 0x3F));
        byte(0x80 | (codePoint & 0x3F));
    } else {
        byte(0xF0 | (codePoint >> 18));
        byte(0x80 | ((codePoint >> 12) & 0x3F));
        byte(0x80 | ((codePoint >> 6) & 0x3F));
        byte(0x80 | (codePoint & 0x3F));
    }
}

// The text of a file as the profile rules read it: a UTF-8 byte-order mark is dropped, and a
// file in UTF-16 (marked by its byte-order mark, either byte order) is read as its text in UTF-8.
std::string decodeText(const std::string& raw)
{
    constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
    constexpr std::string_view kLittleEndianMark = "\xFF\xFE";
    constexpr std::string_view kBigEndianMark = "\xFE\xFF";
    constexpr std::uint32_t kReplacement = 0xFFFD;
    const std::string_view bytes(raw);
    if (bytes.starts_with(kUtf8Mark)) {
        return raw.substr(kUtf8Mark.size());
    }
    const bool little = bytes.starts_with(kLittleEndianMark);
    if (!little && !bytes.starts_with(kBigEndianMark)) {
        return raw;
    }
    const auto unitAt = [&](std::size_t i) {
        const auto first = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]));
        const auto second = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1]));
        return little ? (first | second << 8) : (first << 8 | second);
    };
    std::string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        std::uint32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit < 0xDC00) {
            const bool paired = i + 3 < bytes.size() && unitAt(i + 2) >= 0xDC00 && unitAt(i + 2) < 0xE000;
            if (paired) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00);
                i += 2;
            } else {
                unit = kReplacement;
            }
        } else if (unit >= 0xDC00 && unit < 0xE000) {
            unit = kReplacement;
        }
        appendUtf8(text, unit);
    }
    return text;
}

// The next line of `rest` (which loses it); a line ends at CR LF, LF or CR.
std::string_view nextLine(std::string_view& rest)
{
    const std::size_t end = rest.find_first_of("\r\n");
    const std::string_view line = rest.substr(0, end);
    if (end == std::string_view::npos) {
        rest = {};
    } else {
        rest.remove_prefix(end + (rest.substr(end, 2) == "\r\n" ? 2 : 1));
    }
    return line;
}

std::string cut(std::string_view value, std::size_t bufferSize)
{
    const std::size_t room = bufferSize == 0 ? 0 : bufferSize - 1;
    return std::string(value.substr(0, std::min(room, value.size())));
}

} // namespace

std::string readProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view defaultValue, std::size_t bufferSize)
{
    // The default loses its trailing spaces.
    while (!defaultValue.empty() && defaultValue.back() == ' ') {
        defaultValue.remove_suffix(1);
    }
    const std::string_view wantedSection = trimBlanks(section);
    const std::string_view wantedKey = trimBlanks(key);
    std::string raw;
    if (wantedSection.empty() || !readWholeFile(path, &raw)) {
        return cut(defaultValue, bufferSize);
    }

    const std::string contents = decodeText(raw);
    bool inSection = false;
    bool sectionSeen = false;
    std::string_view rest(contents);
    while (!rest.empty()) {
        const std::string_view line = trimBlanks(nextLine(rest));
        if (line.empty() || line.front() == ';') {
            continue;
        }
        // A section's name lies between '[' and the line's last ']'; a line without ']' is an
        // ordinary line of the section it is in.
        const std::size_t close = line.rfind(']');
        if (line.front() == '[' && close != std::string_view::npos) {
            if (sectionSeen) {
                break; // only the first matching section is searched
            }
            inSection = equalIgnoringAsciiCase(trimBlanks(line.substr(1, close - 1)), wantedSection);
            sectionSeen = inSection;
            continue;
        }
        if (!inSection) {
            continue;
        }
        // A line without '=' is a key without a value: when it is the key asked for, the
        // search ends with the default.
        const std::size_t equals = line.find('=');
        if (equalIgnoringAsciiCase(trimBlanks(line.substr(0, equals)), wantedKey)) {
            if (equals == std::string_view::npos) {
                break;
            }
            return cut(stripQuotes(trimBlanks(line.substr(equals + 1))), bufferSize);
        }
    }
    return cut(defaultValue, bufferSize);
}

} // namespace kz::platform
