// The state file: a CR LF text of bracketed section headers and "key = value" lines, written by
// KZ_SaveState and applied by KZ_LoadState. What both sides share lives here: the sections and
// the selector that picks them, the value forms, the settings rows (one table for the writer,
// the reader and KZ_SetValue) and the gate keys.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "XAVOKZ.h"

namespace kz::state_file {

// Every piece of a line is handled in a buffer of this many characters, the terminator
// included; a file name is formed in one of the same size.
inline constexpr std::size_t kLineBufferSize = 512;

inline constexpr std::string_view kExtension = ".dab";

// The sections in the order they stand in a file.
enum class Section : std::uint32_t { System, Sampling, Peripheral, Gates, Tcg, PingPong, CurvedGate };
inline constexpr std::size_t kNumberOfSections = 7;
inline constexpr std::array<std::string_view, kNumberOfSections> kSectionNames{
    "SystemSubsystem", "SamplingSubsystem", "PeripheralSubsystem", "Gates", "TCG", "PingPong", "CurvedGate",
};

constexpr std::string_view nameOf(Section section) { return kSectionNames[static_cast<std::size_t>(section)]; }

// Selector 0 takes every section, 1 the three settings sections, 2 to 8 one section each; any
// other selector takes none.
constexpr bool selects(std::uint32_t selector, Section section)
{
    const auto index = static_cast<std::uint32_t>(section);
    return selector == KZ_SFSAll || (selector == KZ_SFSSettings && section <= Section::Peripheral) ||
           selector == index + KZ_SFSSystem;
}

// How a value is written.
enum class Form : std::uint8_t {
    Decimal,         // signed decimal of the 32-bit pattern
    Hex8,            // "0x" and eight lower-case hexadecimal digits
    Hex,             // bare lower-case hexadecimal digits
    PrefixedHex,     // "0x" and lower-case hexadecimal digits, no leading zeros
    DecimalOrAllOnes, // signed decimal, but 0xFFFFFFFF as "0xffffffff"
    OversampleList,  // one value per sequence step, each followed by a comma
};

// When a settings row takes part, by the card's peripheral firmware version.
enum class Presence : std::uint8_t {
    Always,
    // Written only for peripheral firmware version 1; passed over on reading for version 0.
    SensorArrayFirmware,
    // Left out for peripheral firmware version 1, whose pulse width cannot be read.
    PulseWidthFirmware,
};

using Getter = std::uint32_t (*)(std::uint32_t cardIndex, std::uint32_t* value);
using Setter = std::uint32_t (*)(std::uint32_t cardIndex, std::uint32_t value);

// A setting by its name. Rows without a setter are written for information only (KZ_SetValue
// does not know them); rows without a getter are set by name but not saved.
struct Property {
    std::string_view name;
    Section section;
    Form form;
    Presence presence;
    Getter getter;
    Setter setter;
};

// Every named setting, in the order the writer writes each section.
std::span<const Property> properties();

// Whether a row is written for, or read from, a card of this peripheral firmware version.
bool isWritten(const Property& property, std::uint32_t peripheralVersion);
bool isSkippedOnReading(const Property& property, std::uint32_t peripheralVersion);

// The keys of a gate block, in the order they are written.
struct GateKey {
    std::string_view name;
    Form form;
    std::uint32_t (*read)(const GateDefinition& gate);
    void (*store)(GateDefinition& gate, std::uint32_t value);
};
std::span<const GateKey> gateKeys();
inline constexpr std::string_view kGateHeaderWord = "Gate";

// Index prefixes of the three table sections.
inline constexpr std::string_view kTcgPrefix = "TCG";
inline constexpr std::string_view kPingPongPrefix = "PP";
inline constexpr std::string_view kCurvedGatePrefix = "CG";

// ASCII comparison ignoring letter case.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

} // namespace kz::state_file
