// KZ_SaveState: writes the card's settings, gates, TCG curve, ping-pong table and curved gate
// to a state file, all of them or one section. A save that fails after the file was created
// removes the file, so that a file on disk is always a complete save.
#include <array>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "persistence/state_file.h"
#include "platform/buffered_file.h"

namespace kz {

namespace {

using state_file::Form;
using state_file::Section;

// A line of the file, composed in a buffer of kLineBufferSize characters (terminator included).
class Line {
public:
    Line& text(std::string_view part)
    {
        if (part.size() > kCapacity - length_) {
            overflow_ = true;
            return *this;
        }
        part.copy(buffer_.data() + length_, part.size());
        length_ += part.size();
        return *this;
    }

    // The 32-bit pattern as a signed decimal number.
    Line& decimal(std::uint32_t value) { return number(static_cast<std::int32_t>(value), 10); }

    // Lower-case hexadecimal digits, at least `digits` of them.
    Line& hex(std::uint32_t value, std::size_t digits = 1)
    {
        std::array<char, 8> scratch{};
        const auto [end, ec] = std::to_chars(scratch.data(), scratch.data() + scratch.size(), value, 16);
        const auto used = static_cast<std::size_t>(end - scratch.data());
        for (std::size_t pad = used; pad < digits; ++pad) {
            text("0");
        }
        return text({scratch.data(), used});
    }

    Line& value(std::uint32_t value, Form form)
    {
        switch (form) {
        case Form::Hex8: return text("0x").hex(value, 8);
        case Form::Hex: return hex(value);
        case Form::PrefixedHex: return text("0x").hex(value);
        case Form::DecimalOrAllOnes: return value == 0xFFFFFFFFu ? text("0x").hex(value) : decimal(value);
        case Form::Decimal:
        case Form::OversampleList: break;
        }
        return decimal(value);
    }

    Line& end() { return text("\r\n"); }

    bool fits() const { return !overflow_; }
    const char* data() const { return buffer_.data(); }
    std::size_t size() const { return length_; }

private:
    static constexpr std::size_t kCapacity = state_file::kLineBufferSize - 1;

    template <typename T>
    Line& number(T value, int base)
    {
        std::array<char, 12> scratch{};
        const auto [end, ec] = std::to_chars(scratch.data(), scratch.data() + scratch.size(), value, base);
        return text({scratch.data(), static_cast<std::size_t>(end - scratch.data())});
    }

    std::array<char, state_file::kLineBufferSize> buffer_;
    std::size_t length_ = 0;
    bool overflow_ = false;
};

// What a table section found: written, or the card has no such table, or a call failed.
enum class Outcome { Written, Absent, Failed };

class StateWriter {
public:
    StateWriter(BoardState& board, std::uint32_t cardIndex, platform::BufferedWriter& out)
        : board_(board), cardIndex_(cardIndex), out_(out)
    {
    }

    bool settings(Section section, std::uint32_t peripheralVersion)
    {
        if (!header(section)) {
            return false;
        }
        for (const state_file::Property& row : state_file::properties()) {
            if (row.section != section || !state_file::isWritten(row, peripheralVersion)) {
                continue;
            }
            Line line;
            line.text(row.name).text(" = ");
            if (row.form == Form::OversampleList) {
                oversampleList(line, row.getter);
            } else {
                std::uint32_t value = 0;
                if (row.getter(cardIndex_, &value) == 0) {
                    return false;
                }
                line.value(value, row.form);
            }
            if (!put(line.end())) {
                return false;
            }
        }
        return true;
    }

    // Every enabled gate of the current channel, by ascending index.
    bool gates()
    {
        if (!header(Section::Gates)) {
            return false;
        }
        const std::uint32_t gates = KZ_ReturnMaximumNumberOfGates(board_.isSequenceCompatibleFirmware);
        for (std::uint32_t index = 0; index < gates; ++index) {
            GateDefinition* gate = nullptr;
            if (KZ_GetGate(cardIndex_, static_cast<std::int32_t>(index), &gate) == 0 || gate == nullptr) {
                return false;
            }
            if (gate->enabled == 0) {
                continue;
            }
            Line subHeader;
            if (!put(subHeader.text("\r\n[").text(state_file::kGateHeaderWord).decimal(index).text("]").end())) {
                return false;
            }
            for (const state_file::GateKey& key : state_file::gateKeys()) {
                Line line;
                if (!put(line.text(key.name).text(" = ").value(key.read(*gate), key.form).end())) {
                    return false;
                }
            }
        }
        return true;
    }

    Outcome tcg()
    {
        std::uint16_t* values = nullptr;
        std::uint32_t count = 0;
        if (KZ_GetTCGValues(cardIndex_, &values, &count) == 0) {
            return Outcome::Failed;
        }
        if (values == nullptr) {
            return Outcome::Absent;
        }
        const std::uint32_t listed = count < KZ_MAXIMUM_NUMBER_OF_TCG_VALUES ? count : KZ_MAXIMUM_NUMBER_OF_TCG_VALUES;
        return table(Section::Tcg, state_file::kTcgPrefix, values, listed);
    }

    Outcome pingPong()
    {
        std::uint16_t* elements = nullptr;
        std::uint16_t* order = nullptr;
        if (KZ_GetPingPongSequence(cardIndex_, &elements, &order) == 0) {
            return Outcome::Failed;
        }
        if (elements == nullptr || order == nullptr) {
            return Outcome::Absent;
        }
        if (!header(Section::PingPong)) {
            return Outcome::Failed;
        }
        for (std::uint32_t i = 0; i < KZ_PINGPONG_SEQUENCE_LENGTH; ++i) {
            Line line;
            line.text(state_file::kPingPongPrefix).decimal(i).text(" = ");
            if (!put(line.decimal(elements[i]).text(", ").decimal(order[i]).end())) {
                return Outcome::Failed;
            }
        }
        return Outcome::Written;
    }

    Outcome curvedGate()
    {
        std::uint16_t* values = nullptr;
        if (KZ_GetCurvedGateData(cardIndex_, &values) == 0) {
            return Outcome::Failed;
        }
        if (values == nullptr) {
            return Outcome::Absent;
        }
        return table(Section::CurvedGate, state_file::kCurvedGatePrefix, values, KZ_CURVED_GATE_NUMBER_OF_VALUES);
    }

private:
    bool put(const Line& line) { return line.fits() && out_.write(line.data(), line.size()); }

    // The system section opens the file; every other header follows an empty line.
    bool header(Section section)
    {
        Line line;
        if (section != Section::System) {
            line.end();
        }
        return put(line.text("[").text(state_file::nameOf(section)).text("]").end());
    }

    Outcome table(Section section, std::string_view prefix, const std::uint16_t* values, std::uint32_t count)
    {
        if (!header(section)) {
            return Outcome::Failed;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            Line line;
            if (!put(line.text(prefix).decimal(i).text(" = ").decimal(values[i]).end())) {
                return Outcome::Failed;
            }
        }
        return Outcome::Written;
    }

    // The oversample count of every sequence step, each followed by a comma. Walking the steps
    // selects each in turn and then the step that was selected before; on the older firmware
    // the selections fail with their own codes and every entry is the card's single count.
    void oversampleList(Line& line, state_file::Getter getOversamples)
    {
        std::uint32_t remembered = board_.currentSequenceStep;
        KZ_GetSequenceStep(cardIndex_, &remembered);
        for (std::uint32_t step = 0; step < KZ_MAXIMUM_NUMBER_OF_SEQUENCE_STEPS; ++step) {
            KZ_SetSequenceStep(cardIndex_, step);
            std::uint32_t count = 0;
            getOversamples(cardIndex_, &count);
            line.decimal(count).text(",");
        }
        KZ_SetSequenceStep(cardIndex_, remembered);
    }

    BoardState& board_;
    std::uint32_t cardIndex_;
    platform::BufferedWriter& out_;
};

// The given name, with ".dab" appended unless it ends in it (in any letter case); false when
// the result does not fit a name buffer.
bool formFileName(std::string_view given, std::string& path)
{
    const std::string_view extension = state_file::kExtension;
    const bool hasExtension = given.size() >= extension.size() &&
                              state_file::equalsIgnoringCase(given.substr(given.size() - extension.size()), extension);
    const std::size_t length = given.size() + (hasExtension ? 0 : extension.size());
    if (length >= state_file::kLineBufferSize) {
        return false;
    }
    path.assign(given);
    if (!hasExtension) {
        path.append(extension);
    }
    return true;
}

// Closes and deletes a file that must not stay behind.
std::uint32_t discard(platform::BufferedWriter& out)
{
    if (!out.abandon()) {
        report(err::SaveStateCannotCloseFile);
        return 0;
    }
    if (!out.remove()) {
        report(err::SaveStateCannotDeleteInvalidFile);
    }
    return 0;
}

std::uint32_t writeFailure(platform::BufferedWriter& out)
{
    report(err::SaveStateCannotWrite);
    return discard(out);
}

// A table that the selector names alone and the card does not have.
std::uint32_t missingTable(platform::BufferedWriter& out, ErrorCode code)
{
    report(code);
    return discard(out);
}

std::uint32_t saveState(BoardState& board, std::uint32_t cardIndex, std::string_view fileName, std::uint32_t selector)
{
    std::string path;
    platform::BufferedWriter out;
    if (!formFileName(fileName, path) || !out.create(path)) {
        report(err::SaveStateCannotCreateFile);
        return 0;
    }
    std::uint32_t peripheralVersion = 0;
    if (KZ_GetPeripheralFirmwareVersion(cardIndex, &peripheralVersion) == 0) {
        return writeFailure(out);
    }

    StateWriter writer(board, cardIndex, out);
    for (const Section section : {Section::System, Section::Sampling, Section::Peripheral}) {
        if (state_file::selects(selector, section) && !writer.settings(section, peripheralVersion)) {
            return writeFailure(out);
        }
    }
    if (state_file::selects(selector, Section::Gates) && !writer.gates()) {
        return writeFailure(out);
    }

    struct TableSection {
        Section section;
        Outcome (StateWriter::*write)();
        ErrorCode absent;
    };
    constexpr TableSection kTables[] = {
        {Section::Tcg, &StateWriter::tcg, err::SaveStateTcgNotInitialised},
        {Section::PingPong, &StateWriter::pingPong, err::SaveStatePingPongNotInitialised},
        {Section::CurvedGate, &StateWriter::curvedGate, err::SaveStateCurvedGateNotInitialised},
    };
    for (const TableSection& table : kTables) {
        if (!state_file::selects(selector, table.section)) {
            continue;
        }
        switch ((writer.*table.write)()) {
        case Outcome::Written: break;
        case Outcome::Failed: return writeFailure(out);
        case Outcome::Absent:
            if (selector != KZ_SFSAll) {
                return missingTable(out, table.absent);
            }
            break;
        }
    }

    // Bytes still buffered are written before the close: a refusal then is a write failure.
    if (!out.flush()) {
        return writeFailure(out);
    }
    if (!out.close()) {
        report(err::SaveStateCannotCloseFile);
        return 0;
    }
    return 1;
}

} // namespace

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_SaveState(uint32_t cardIndex, const char* fileName, uint32_t section)
{
    if (fileName == nullptr) {
        return 0;
    }
    return kz::withLockedCard(
        cardIndex, [&](BoardState& board) { return kz::saveState(board, cardIndex, fileName, section); });
}

} // extern "C"
