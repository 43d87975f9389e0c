#include "frame/configuration.h"

#include <array>

#include "XAVOKZ.h"
#include "frame/board_table.h"
#include "platform/platform.h"

namespace kz::config {

namespace {

constexpr const char* kSection = "KZ";
// The value a missing key reads as; a value that reads exactly like it counts as missing.
constexpr const char* kMissing = "default";

struct KeyEntry {
    const char* name;
    std::int32_t integerDefault;
    const char* textDefault;
};

constexpr std::array<KeyEntry, kNumberOfKeys> kKeys{{
    {"KZdef_DSPversion", 0x228, nullptr},
    {"KZdef_PERversion", 0x21f, nullptr},
    {"KZdef_RepetitionRate", 5000, nullptr},
    {"KZdef_AnalogueInputRange", 999, nullptr},
    {"KZdef_FileLogLevel", 0, nullptr},
    {"KZdef_AppLogLevel", 7, nullptr},
    {"KZdef_DebuggerLogLevel", 4, nullptr},
    {"KZdef_DCOffset", 1, nullptr},
    {"KZdef_ApertureSize", 0, nullptr},
    {"KZdef_PeripheralRegister", 0x10e08a, nullptr},
    {"KZdef_DiagnosticsFilename", 0, "KZ_Diag.txt"},
    {"KZdef_GainTweakMinus20", 0, nullptr},
    {"KZdef_GainTweakMinus40", 0, nullptr},
    {"KZdef_GainTweakPlus20", 0, nullptr},
    {"KZdef_TolvennaSerialMux", 0, nullptr},
    {"KZdef_TolvennaSerialMuxGain1", 21, nullptr},
    {"KZdef_TolvennaSerialMuxGain2", 22, nullptr},
    {"KZdef_TolvennaSerialMuxGain3", 23, nullptr},
    {"KZdef_TolvennaSerialMuxGain4", 24, nullptr},
    {"KZdef_TolvennaSerialMuxGain5", 25, nullptr},
    {"KZdef_TolvennaSerialMuxGain6", 26, nullptr},
    {"KZdef_TolvennaSerialMuxGain7", 27, nullptr},
    {"KZdef_TolvennaSerialMuxGain8", 28, nullptr},
    {"KZdef_TolvennaSerialMuxFilter1", 1, nullptr},
    {"KZdef_TolvennaSerialMuxFilter2", 1, nullptr},
    {"KZdef_TolvennaSerialMuxFilter3", 1, nullptr},
    {"KZdef_TolvennaSerialMuxFilter4", 1, nullptr},
    {"KZdef_TolvennaSerialMuxFilter5", 1, nullptr},
    {"KZdef_TolvennaSerialMuxFilter6", 1, nullptr},
    {"KZdef_TolvennaSerialMuxFilter7", 1, nullptr},
    {"KZdef_TolvennaSerialMuxFilter8", 1, nullptr},
    {"KZdef_TolvennaSerialMuxVoltageClamp", 500, nullptr},
}};

const KeyEntry& entry(Key key) { return kKeys[static_cast<std::uint32_t>(key)]; }

std::string readRaw(Key key)
{
    return platform::readProfileString(library().configurationPath, kSection, entry(key).name, kMissing,
                                       kValueBufferSize);
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::string pathBesideModule(const std::string& modulePath)
{
    const std::size_t slash = modulePath.find_last_of('/');
    return (slash == std::string::npos ? std::string() : modulePath.substr(0, slash + 1)) + kFileName;
}

std::int32_t parseInteger(const std::string& value)
{
    // Arithmetic is done on 32 unsigned bits, so long values keep their low 32 bits.
    std::uint32_t result = 0;
    if (value.size() >= 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        for (std::size_t i = 2; i < value.size() && hexDigit(value[i]) >= 0; ++i) {
            result = (result << 4) | static_cast<std::uint32_t>(hexDigit(value[i]));
        }
        return static_cast<std::int32_t>(result);
    }
    std::size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t' || value[i] == '\n' || value[i] == '\r' ||
                                value[i] == '\f' || value[i] == '\v')) {
        ++i;
    }
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        result = result * 10u + static_cast<std::uint32_t>(value[i] - '0');
    }
    return static_cast<std::int32_t>(negative ? 0u - result : result);
}

std::int32_t readInteger(Key key)
{
    const std::string value = readRaw(key);
    if (value == kMissing) {
        return entry(key).integerDefault;
    }
    return parseInteger(value);
}

std::string readString(Key key)
{
    std::string value = readRaw(key);
    if (value == kMissing) {
        const char* text = entry(key).textDefault;
        return text != nullptr ? text : "";
    }
    return value;
}

} // namespace kz::config

namespace {

using kz::config::Key;

uint32_t readKey(Key key) { return static_cast<uint32_t>(kz::config::readInteger(key)); }

// Keys of the eight serial multiplexer channels; an index outside 1 to 8 has no key.
bool serialMuxKey(Key first, uint32_t index, Key* key)
{
    if (index < 1 || index > kz::config::kNumberOfSerialMuxChannels) {
        return false;
    }
    *key = static_cast<Key>(static_cast<uint32_t>(first) + index - 1);
    return true;
}

} // namespace

extern "C" {

KZ_API uint32_t KZ_GetZUTAMFirmwareRevisions(uint32_t* dspVersion, uint32_t* perVersion)
{
    if (dspVersion == nullptr || perVersion == nullptr) {
        return 0;
    }
    *dspVersion = readKey(Key::DspVersion);
    *perVersion = readKey(Key::PerVersion);
    return 1;
}

KZ_API uint32_t KZ_GetKV7CFirmwareRevisions(uint32_t* dspVersion, uint32_t* perVersion)
{
    constexpr uint32_t kDspVersion = 0x125;
    constexpr uint32_t kPerVersion = 0x16;
    if (dspVersion == nullptr || perVersion == nullptr) {
        return 0;
    }
    *dspVersion = kDspVersion;
    *perVersion = kPerVersion;
    return 1;
}

KZ_API uint32_t KZ_GetTolvennaSerialMuxValue(void) { return readKey(Key::SerialMuxValue); }

KZ_API uint32_t KZ_GetTolvennaSerialMuxGain(uint32_t index)
{
    Key key{};
    return serialMuxKey(Key::SerialMuxGain1, index, &key) ? readKey(key) : 0;
}

KZ_API uint32_t KZ_GetTolvennaSerialMuxFilter(uint32_t index)
{
    Key key{};
    return serialMuxKey(Key::SerialMuxFilter1, index, &key) ? readKey(key) : 0;
}

KZ_API uint32_t KZ_GetTolvennaSerialMuxVoltageClamp(void) { return readKey(Key::SerialMuxVoltageClamp); }

} // extern "C"
