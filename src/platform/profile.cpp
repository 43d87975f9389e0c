#include <algorithm>
#include <string>

#include "platform/platform.h"

namespace kz::platform {

namespace {

constexpr std::size_t kReadChunk = 4096;

std::string_view trimBlanks(std::string_view text)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
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

std::string cut(std::string_view value, std::size_t bufferSize)
{
    const std::size_t room = bufferSize == 0 ? 0 : bufferSize - 1;
    return std::string(value.substr(0, std::min(room, value.size())));
}

} // namespace

std::string readProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view defaultValue, std::size_t bufferSize)
{
    std::string contents;
    if (!readWholeFile(path, &contents)) {
        return cut(defaultValue, bufferSize);
    }

    const std::string_view wantedSection = trimBlanks(section);
    const std::string_view wantedKey = trimBlanks(key);
    bool inSection = false;
    bool sectionSeen = false;
    std::string_view rest(contents);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = trimBlanks(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);

        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            if (sectionSeen) {
                break; // only the first matching section is searched
            }
            const std::size_t close = line.find(']');
            const std::string_view name = trimBlanks(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
            inSection = equalIgnoringAsciiCase(name, wantedSection);
            sectionSeen = inSection;
            continue;
        }
        if (!inSection) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        if (equalIgnoringAsciiCase(trimBlanks(line.substr(0, equals)), wantedKey)) {
            return cut(stripQuotes(trimBlanks(line.substr(equals + 1))), bufferSize);
        }
    }
    return cut(defaultValue, bufferSize);
}

} // namespace kz::platform
