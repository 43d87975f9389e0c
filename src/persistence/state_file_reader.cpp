// KZ_LoadState: applies a state file to a card. A scanner reads the file a byte at a time,
// finds the section headers and hands each section the selector allows to its loader: the
// settings go through KZ_SetValue, each gate through KZ_AddGate, the three tables through their
// setters once their section ends. A section that fails stops there and the scan goes on with
// the next one; settings already applied stay applied.
#include "persistence/state_file_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "persistence/named_properties.h"
#include "persistence/state_file.h"
#include "platform/buffered_file.h"
#include "platform/platform.h"

namespace kz::state_file {

namespace {

constexpr bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

constexpr std::uint64_t kBeyond32Bits = 0xFFFFFFFFull;

// Accumulates digits of `base` from `text`, saturating past 32 bits.
std::uint64_t accumulate(std::string_view text, std::uint32_t base)
{
    std::uint64_t value = 0;
    for (const char c : text) {
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'z') {
            digit = static_cast<std::uint32_t>(c - 'a') + 10;
        } else if (c >= 'A' && c <= 'Z') {
            digit = static_cast<std::uint32_t>(c - 'A') + 10;
        } else {
            break;
        }
        if (digit >= base) {
            break;
        }
        value = std::min(value * base + digit, kBeyond32Bits + 1);
    }
    return value;
}

} // namespace

std::string_view extractToken(std::string_view text)
{
    constexpr auto isLeading = [](char c) {
        return c == '\t' || c == ' ' || c == '\r' || c == '\n' || c == '[' || c == '(';
    };
    constexpr auto isTrailing = [](char c) {
        return c == '\t' || c == ' ' || c == '\r' || c == '\n' || c == ']' || c == ')' || c == '\0';
    };
    std::size_t first = 0;
    while (first < text.size() && isLeading(text[first])) {
        ++first;
    }
    std::size_t end = first;
    while (end < text.size() && !isTrailing(text[end])) {
        ++end;
    }
    // A NUL among the leading separators ends the text too.
    return first < text.size() && text[first] != '\0' ? text.substr(first, end - first) : std::string_view{};
}

std::uint32_t convertNumber(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size() && isBlank(text[at])) {
        ++at;
    }
    text.remove_prefix(at);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::uint32_t base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (!text.empty() && text[0] == '0') {
        base = 8;
    }
    const std::uint64_t value = accumulate(text, base);
    if (value > kBeyond32Bits) {
        return 0xFFFFFFFFu;
    }
    const auto magnitude = static_cast<std::uint32_t>(value);
    return negative ? 0u - magnitude : magnitude;
}

std::uint32_t trailingNumber(std::string_view token)
{
    std::size_t first = token.size();
    while (first > 0 && token[first - 1] >= '0' && token[first - 1] <= '9') {
        --first;
    }
    const std::string_view digits = token.substr(first);
    return static_cast<std::uint32_t>(std::min(accumulate(digits, 10), kBeyond32Bits));
}

} // namespace kz::state_file

namespace kz {

namespace {

using state_file::kLineBufferSize;
using state_file::Section;

// What a section loader ends with.
enum class LoaderResult : std::uint32_t {
    Failed = 0,      // the loader (or a setter) has reported why
    NextSection = 1, // the "[" of the next header has been read
    EndOfFile = 2,
};

// One piece of a line read into a buffer of kLineBufferSize characters: the bytes up to and
// including the first terminator, which must come within the first 511 bytes.
class Piece {
public:
    enum class Status { Found, End, TooLong };

    explicit Piece(platform::BufferedReader& in) : in_(in) {}

    // Reads up to whichever of the two terminators comes first (pass one twice for one).
    Status read(char terminator, char otherTerminator)
    {
        length_ = 0;
        char byte = 0;
        while (in_.readByte(byte)) {
            buffer_[length_++] = byte;
            if (length_ == kLineBufferSize) {
                return Status::TooLong;
            }
            if (byte == terminator || byte == otherTerminator) {
                return Status::Found;
            }
        }
        return Status::End;
    }

    // The bytes before the terminator.
    std::string_view text() const { return {buffer_.data(), length_ == 0 ? 0 : length_ - 1}; }
    // Every byte read, the terminator included.
    std::string_view all() const { return {buffer_.data(), length_}; }
    char terminator() const { return length_ == 0 ? '\0' : buffer_[length_ - 1]; }
    std::string_view token() const { return state_file::extractToken(text()); }

private:
    platform::BufferedReader& in_;
    std::array<char, kLineBufferSize> buffer_;
    std::size_t length_ = 0;
};

using Status = Piece::Status;

// The codes a table loader reports; each section has its own.
struct TableCodes {
    ErrorCode tooLong;
    ErrorCode badPrefix;
    ErrorCode badIndex;
    ErrorCode cannotRead;
    ErrorCode badValue;
};

constexpr TableCodes kTcgCodes{err::LoadTcgCurveFromFileLineTooLong, err::LoadTcgCurveFromFileInvalidPrefix,
                               err::LoadTcgCurveFromFileInvalidSequenceIndex, err::LoadTcgCurveFromFileCannotRead,
                               err::LoadTcgCurveFromFileInvalidValue};
constexpr TableCodes kPingPongCodes{
    err::LoadPingPongSequenceFromFileLineTooLong, err::LoadPingPongSequenceFromFileInvalidPrefix,
    err::LoadPingPongSequenceFromFileInvalidSequenceIndex, err::LoadPingPongSequenceFromFileCannotRead,
    err::LoadPingPongSequenceFromFileInvalidElementIndex};
constexpr TableCodes kCurvedGateCodes{
    err::LoadCurvedGateDataFromFileLineTooLong, err::LoadCurvedGateDataFromFileInvalidPrefix,
    err::LoadCurvedGateDataFromFileInvalidSequenceIndex, err::LoadCurvedGateDataFromFileCannotRead,
    err::LoadCurvedGateDataFromFileInvalidElementIndex};

constexpr std::uint32_t kLargestTcgValue = 0x7FFF;
constexpr std::uint32_t kPingPongElements = KZ_PINGPONG_SEQUENCE_LENGTH;
constexpr std::uint32_t kLargestCurvedGateValue = 2047;

LoaderResult failWith(ErrorCode code)
{
    report(code);
    return LoaderResult::Failed;
}

class SectionLoader {
public:
    SectionLoader(std::uint32_t cardIndex, platform::BufferedReader& in)
        : cardIndex_(cardIndex), in_(in), key_(in), value_(in)
    {
    }

    LoaderResult load(Section section)
    {
        switch (section) {
        case Section::System:
        case Section::Sampling:
        case Section::Peripheral: return settings();
        case Section::Gates: return gates();
        case Section::Tcg: return tcg();
        case Section::PingPong: return pingPong();
        case Section::CurvedGate: return curvedGate();
        }
        return LoaderResult::Failed;
    }

private:
    // How reading the key part of a line (up to "=" or "[") ended.
    enum class KeyRead { Key, NextSection, EndOfFile, TooLong };

    KeyRead nextKey()
    {
        switch (key_.read('=', '[')) {
        case Status::Found: return key_.terminator() == '[' ? KeyRead::NextSection : KeyRead::Key;
        case Status::End: return KeyRead::EndOfFile;
        case Status::TooLong: break;
        }
        return KeyRead::TooLong;
    }

    // The end of a section: how a table section ends once its table was applied with `result`.
    static LoaderResult endOfSection(KeyRead read, std::uint32_t result)
    {
        if (result == 0) {
            return LoaderResult::Failed;
        }
        return read == KeyRead::EndOfFile ? LoaderResult::EndOfFile : LoaderResult::NextSection;
    }

    // Reads a value part up to the line feed (or `alsoEndsAt`); false after reporting why it
    // could not.
    bool readValue(ErrorCode cannotRead, ErrorCode tooLong, char alsoEndsAt = '\n')
    {
        switch (value_.read('\n', alsoEndsAt)) {
        case Status::Found: return true;
        case Status::End: report(cannotRead); return false;
        case Status::TooLong: report(tooLong); return false;
        }
        return false;
    }

    // Settings: every key goes to KZ_SetValue; the first refusal ends the section.
    LoaderResult settings()
    {
        std::uint32_t peripheralVersion = 0;
        if (KZ_GetPeripheralFirmwareVersion(cardIndex_, &peripheralVersion) == 0) {
            return LoaderResult::Failed;
        }
        for (;;) {
            switch (nextKey()) {
            case KeyRead::Key: break;
            case KeyRead::NextSection: return LoaderResult::NextSection;
            case KeyRead::EndOfFile: return LoaderResult::EndOfFile;
            case KeyRead::TooLong: return failWith(err::LoadFpgaFromFileLineTooLong);
            }
            const std::string_view name = key_.token();
            if (!readValue(err::LoadFpgaFromFileMissingValue, err::LoadFpgaFromFileLineTooLong)) {
                return LoaderResult::Failed;
            }
            const std::uint32_t value = state_file::convertNumber(value_.token());
            const state_file::Property* row = state_file::findProperty(name);
            if (row != nullptr && state_file::isSkippedOnReading(*row, peripheralVersion)) {
                continue;
            }
            if (setValue(cardIndex_, name, value) == 0) {
                return LoaderResult::Failed;
            }
        }
    }

    // Gates: a block per gate sub-header, added when the block ends. The record carries over
    // from one gate to the next: a key a block leaves out keeps the previous gate's value.
    LoaderResult gates()
    {
        GateDefinition gate{};
        for (;;) {
            switch (key_.read(']', ']')) {
            case Status::Found: break;
            case Status::End: return LoaderResult::EndOfFile;
            case Status::TooLong: return failWith(err::LoadGatesFromFileLineTooLong);
            }
            const std::string_view header = key_.token();
            if (!header.starts_with(state_file::kGateHeaderWord)) {
                // The next section's header: give it back to the header scan.
                if (!in_.seekBack(key_.all().size())) {
                    return failWith(err::LoadGatesFromFileCannotRead);
                }
                return LoaderResult::NextSection;
            }
            gate.gateIndex = static_cast<std::int32_t>(state_file::trailingNumber(header));
            for (KeyRead read = nextKey(); read != KeyRead::NextSection; read = nextKey()) {
                if (read == KeyRead::TooLong) {
                    return failWith(err::LoadGatesFromFileLineTooLong);
                }
                if (read == KeyRead::EndOfFile) {
                    return endOfSection(read, KZ_AddGate(cardIndex_, &gate));
                }
                const std::string_view name = key_.token();
                if (!readValue(err::LoadGatesFromFileCannotRead, err::LoadGatesFromFileLineTooLong)) {
                    return LoaderResult::Failed;
                }
                const std::uint32_t value = state_file::convertNumber(value_.token());
                for (const state_file::GateKey& key : state_file::gateKeys()) {
                    if (state_file::equalsIgnoringCase(name, key.name)) {
                        key.store(gate, value);
                        break;
                    }
                }
            }
            // The next sub-header (or section header) begins: the gate is complete.
            if (KZ_AddGate(cardIndex_, &gate) == 0) {
                return LoaderResult::Failed;
            }
        }
    }

    // The index of a table line's key: nullopt after reporting a key without the section's
    // prefix or an index of `entries` or more.
    std::optional<std::uint32_t> tableIndex(std::string_view prefix, std::uint32_t entries, const TableCodes& codes)
    {
        const std::string_view name = key_.token();
        if (name.find(prefix) == std::string_view::npos) {
            report(codes.badPrefix);
            return std::nullopt;
        }
        const std::uint32_t index = state_file::trailingNumber(name);
        if (index >= entries) {
            report(codes.badIndex);
            return std::nullopt;
        }
        return index;
    }

    // A table value up to the line feed (or `alsoEndsAt`): nullopt after reporting why it is
    // refused.
    std::optional<std::uint32_t> tableValue(std::uint32_t largest, const TableCodes& codes, char alsoEndsAt = '\n')
    {
        if (!readValue(codes.cannotRead, codes.tooLong, alsoEndsAt)) {
            return std::nullopt;
        }
        const std::uint32_t value = state_file::convertNumber(value_.token());
        if (value > largest) {
            report(codes.badValue);
            return std::nullopt;
        }
        return value;
    }

    // The TCG curve, applied with the number of lines read as its count.
    LoaderResult tcg()
    {
        constexpr std::size_t kTableBytes = KZ_MAXIMUM_NUMBER_OF_TCG_VALUES * sizeof(std::uint16_t);
        const std::unique_ptr<std::uint16_t, void (*)(void*)> values(
            static_cast<std::uint16_t*>(platform::allocateZeroed(kTableBytes)), platform::release);
        if (values == nullptr) {
            return failWith(err::LoadTcgCurveFromFileAllocationFail);
        }
        std::uint32_t count = 0;
        for (;;) {
            const KeyRead read = nextKey();
            if (read == KeyRead::TooLong) {
                return failWith(kTcgCodes.tooLong);
            }
            if (read != KeyRead::Key) {
                return endOfSection(read, KZ_SetTCGValues(cardIndex_, values.get(), count));
            }
            const auto index = tableIndex(state_file::kTcgPrefix, KZ_MAXIMUM_NUMBER_OF_TCG_VALUES, kTcgCodes);
            if (!index) {
                return LoaderResult::Failed;
            }
            const auto value = tableValue(kLargestTcgValue, kTcgCodes);
            if (!value) {
                return LoaderResult::Failed;
            }
            values.get()[*index] = static_cast<std::uint16_t>(*value);
            count += count < 0xFFFFFFFFu ? 1 : 0;
        }
    }

    // The ping-pong table: "element, order" per position; a line with one value gives the
    // position itself as its order.
    LoaderResult pingPong()
    {
        std::array<std::uint16_t, kPingPongElements> elements{};
        std::array<std::uint16_t, kPingPongElements> order{};
        for (;;) {
            const KeyRead read = nextKey();
            if (read == KeyRead::TooLong) {
                return failWith(kPingPongCodes.tooLong);
            }
            if (read != KeyRead::Key) {
                return endOfSection(read, KZ_SetPingPongSequence(cardIndex_, elements.data(), order.data()));
            }
            const auto index = tableIndex(state_file::kPingPongPrefix, kPingPongElements, kPingPongCodes);
            if (!index) {
                return LoaderResult::Failed;
            }
            const auto element = tableValue(kPingPongElements - 1, kPingPongCodes, ',');
            if (!element) {
                return LoaderResult::Failed;
            }
            std::optional<std::uint32_t> position = *index;
            if (value_.terminator() == ',') {
                position = tableValue(kPingPongElements - 1, kPingPongCodes);
                if (!position) {
                    return LoaderResult::Failed;
                }
            }
            elements[*index] = static_cast<std::uint16_t>(*element);
            order[*index] = static_cast<std::uint16_t>(*position);
        }
    }

    LoaderResult curvedGate()
    {
        std::array<std::uint16_t, KZ_CURVED_GATE_NUMBER_OF_VALUES> values{};
        for (;;) {
            const KeyRead read = nextKey();
            if (read == KeyRead::TooLong) {
                return failWith(kCurvedGateCodes.tooLong);
            }
            if (read != KeyRead::Key) {
                return endOfSection(read, KZ_SetCurvedGateData(cardIndex_, values.data()));
            }
            const auto index = tableIndex(state_file::kCurvedGatePrefix, KZ_CURVED_GATE_NUMBER_OF_VALUES,
                                          kCurvedGateCodes);
            if (!index) {
                return LoaderResult::Failed;
            }
            const auto value = tableValue(kLargestCurvedGateValue, kCurvedGateCodes);
            if (!value) {
                return LoaderResult::Failed;
            }
            values[*index] = static_cast<std::uint16_t>(*value);
        }
    }

    std::uint32_t cardIndex_;
    platform::BufferedReader& in_;
    Piece key_;
    Piece value_;
};

// The section a header names, compared ignoring letter case.
std::optional<Section> sectionNamed(std::string_view name)
{
    for (std::size_t i = 0; i < state_file::kNumberOfSections; ++i) {
        if (state_file::equalsIgnoringCase(name, state_file::kSectionNames[i])) {
            return static_cast<Section>(i);
        }
    }
    return std::nullopt;
}

// The scan ended outside a loader (end of file, failed read or oversized header): the load
// still succeeds when the file closes.
std::uint32_t endScan(platform::BufferedReader& in, ErrorCode code)
{
    report(code);
    return in.close() ? 1 : 0;
}

std::uint32_t loadState(std::uint32_t cardIndex, const char* fileName, std::uint32_t selector)
{
    platform::BufferedReader in;
    if (!in.open(fileName)) {
        report(err::LoadStateCannotOpenFile);
        return 0;
    }
    char byte = 0;
    do {
        if (!in.readByte(byte)) {
            return endScan(in, err::LoadStateCannotRead);
        }
    } while (byte != '[');

    Piece header(in);
    SectionLoader loader(cardIndex, in);
    for (;;) {
        switch (header.read('\n', '\n')) {
        case Status::Found: break;
        case Status::End: return endScan(in, err::LoadStateCannotRead);
        case Status::TooLong: return endScan(in, err::LoadStateSectionHeaderTooLong);
        }
        // The line without its line feed and the CR before it.
        const std::string_view line = header.all();
        const std::string_view name = state_file::extractToken(line.substr(0, line.size() >= 2 ? line.size() - 2 : 0));
        const std::optional<Section> section = sectionNamed(name);
        if (!section || !state_file::selects(selector, *section)) {
            continue;
        }
        if (loader.load(*section) == LoaderResult::EndOfFile) {
            if (!in.close()) {
                report(err::LoadStateCannotCloseFile);
                return 0;
            }
            return 1;
        }
    }
}

} // namespace

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_LoadState(uint32_t cardIndex, const char* fileName, uint32_t section)
{
    if (fileName == nullptr) {
        return 0;
    }
    return kz::withLockedCard(cardIndex,
                              [&](BoardState&) { return kz::loadState(cardIndex, fileName, section); });
}

} // extern "C"
