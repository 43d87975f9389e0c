// The configuration file XAVOKZ.ini beside the library, section "KZ". Every read goes to the file
// again; a missing file, section or key gives the key's built-in default.
#pragma once

#include <cstdint>
#include <string>

namespace kz::config {

enum class Key : std::uint32_t {
    DspVersion = 0,
    PerVersion = 1,
    RepetitionRate = 2,
    AnalogueInputRange = 3,
    FileLogLevel = 4,
    AppLogLevel = 5,
    DebuggerLogLevel = 6,
    DcOffset = 7,
    ApertureSize = 8,
    PeripheralRegister = 9,
    DiagnosticsFilename = 10,
    GainTweakMinus20 = 11,
    GainTweakMinus40 = 12,
    GainTweakPlus20 = 13,
    SerialMuxValue = 14,
    SerialMuxGain1 = 15,  // gains 1 to 8 are keys 15 to 22
    SerialMuxFilter1 = 23, // filters 1 to 8 are keys 23 to 30
    SerialMuxVoltageClamp = 31,
};

inline constexpr std::uint32_t kNumberOfKeys = 32;
inline constexpr std::uint32_t kNumberOfSerialMuxChannels = 8;
// Values are read as into a buffer of this many characters.
inline constexpr std::size_t kValueBufferSize = 100;

// Name of the configuration file, which lies in the library's own folder.
inline constexpr const char* kFileName = "XAVOKZ.ini";

// The configuration file's path for a library file at `modulePath`.
std::string pathBesideModule(const std::string& modulePath);

// Reads a key as a signed 32-bit integer: "0x"/"0X" prefixed values are hexadecimal, others
// decimal with an optional sign; no digits read 0.
std::int32_t readInteger(Key key);
// Reads a key as text (the value, or the key's text default).
std::string readString(Key key);

// Parses a configuration value as readInteger does (exposed for tests).
std::int32_t parseInteger(const std::string& value);

} // namespace kz::config
