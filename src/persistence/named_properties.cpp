// The named settings: one table that the state file writer walks to save the settings
// sections, that the reader applies them through, and that KZ_SetValue looks names up in.
#include "persistence/named_properties.h"

#include <algorithm>
#include <iterator>
#include <type_traits>
#include <utility>

#include "acquisition/memory_layout.h"
#include "acquisition/sensor_array.h"
#include "acquisition/timing.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "frontend/analogue_input.h"

namespace kz::state_file {

namespace {

template <AnalogueSetting setting>
std::uint32_t setAnalogue(std::uint32_t cardIndex, std::uint32_t value)
{
    return setAnalogueSetting(cardIndex, setting, value);
}

template <AnalogueSetting setting>
std::uint32_t getAnalogue(std::uint32_t cardIndex, std::uint32_t* value)
{
    return getAnalogueSetting(cardIndex, setting, value);
}

// The value reaches the setter as the 32-bit pattern it was given.
std::uint32_t setAnalogueInput(std::uint32_t cardIndex, std::uint32_t value)
{
    return KZ_SetAnalogueInput(cardIndex, static_cast<std::int32_t>(value));
}

// Set by name, the periods between A-scan triggers also bring the card's repetition time and
// rate up to date, so that they describe what the card runs at.
std::uint32_t setPeriodsBetweenAScanTriggers(std::uint32_t cardIndex, std::uint32_t periods)
{
    return KZ_SetRepetitionTime(cardIndex, periods);
}

constexpr Presence kAlways = Presence::Always;

// clang-format off
constexpr Property kProperties[] = {
    {"SystemIOBank0", Section::System, Form::Hex8, kAlways, KZ_GetSystemIOBank0, KZ_SetSystemIOBank0},
    // The direction registers carry "0x", so that a value above 9 reads back unchanged.
    {"SystemDDR0", Section::System, Form::PrefixedHex, kAlways, KZ_GetSystemDDR0, KZ_SetSystemDDR0},
    {"SystemIOBank1", Section::System, Form::Hex8, kAlways, KZ_GetSystemIOBank1, KZ_SetSystemIOBank1},
    {"SystemDDR1", Section::System, Form::PrefixedHex, kAlways, KZ_GetSystemDDR1, KZ_SetSystemDDR1},
    {"SystemFirmwareRevision", Section::System, Form::Hex, kAlways, KZ_GetSystemFirmwareVersion, nullptr},

    {"SampleFrequency", Section::Sampling, Form::Decimal, kAlways, KZ_GetSamplingFrequency, KZ_SetSamplingFrequency},
    {"RectifierMode", Section::Sampling, Form::Decimal, kAlways, KZ_GetRectifierMode, KZ_SetRectifierMode},
    {"StartDelay", Section::Sampling, Form::Decimal, kAlways, KZ_GetStartDelay, KZ_SetStartDelay},
    {"NumberOfSamples", Section::Sampling, Form::Decimal, kAlways, KZ_GetNumberOfSamples, KZ_SetNumberOfSamples},
    {"DropNumberOfSamples", Section::Sampling, Form::Decimal, kAlways, KZ_GetDropNumberOfSamples,
     KZ_SetDropNumberOfSamples},
    {"SampleStorageMode", Section::Sampling, Form::Decimal, kAlways, KZ_GetSampleStorageMode,
     KZ_SetSampleStorageMode},
    {"TCGTriggerEvent", Section::Sampling, Form::DecimalOrAllOnes, kAlways, KZ_GetTCGTriggerEvent,
     KZ_SetTCGTriggerEvent},
    {"TCGEnable", Section::Sampling, Form::Decimal, kAlways, KZ_GetTCGEnable, KZ_SetTCGEnable},
    {"CScanBaseSRAMAddress", Section::Sampling, Form::Hex8, kAlways, KZ_GetCScanBaseSRAMAddress,
     KZ_SetCScanBaseSRAMAddress},
    {"ScanStorageOptions", Section::Sampling, Form::Decimal, kAlways, KZ_GetScanStorageOptions,
     KZ_SetScanStorageOptions},
    // Set by name even while the card chooses the B-scans per bank itself.
    {"NumberOfBScansPerBank", Section::Sampling, Form::Decimal, kAlways, KZ_GetNumberOfBScansPerBank,
     layout::setNumberOfBScansPerBankInternal},
    {"NumberOfAScansPerBScan", Section::Sampling, Form::Decimal, kAlways, KZ_GetNumberOfAScansPerBScan,
     KZ_SetNumberOfAScansPerBScan},
    {"SamplingFirmwareRevision", Section::Sampling, Form::Hex, kAlways, KZ_GetSamplingFirmwareRevision, nullptr},
    {"SamplingFirmwareVersion", Section::Sampling, Form::Hex, kAlways, KZ_GetSamplingFirmwareVersion, nullptr},

    {"InputCoupling", Section::Peripheral, Form::Decimal, kAlways, KZ_GetInputCoupling, KZ_SetInputCoupling},
    {"InputImpedance", Section::Peripheral, Form::Decimal, kAlways, KZ_GetInputImpedance, KZ_SetInputImpedance},
    {"AnalogueInput", Section::Peripheral, Form::Decimal, kAlways, KZ_GetAnalogueInput, setAnalogueInput},
    {"AnalogueInputRange", Section::Peripheral, Form::Decimal, kAlways, KZ_GetAnalogueInputRange,
     KZ_SetAnalogueInputRange},
    {"AToDOutputPortFormat", Section::Peripheral, Form::Decimal, kAlways, KZ_GetAToDOutputPortFormat,
     KZ_SetAToDOutputPortFormat},
    {"AToDOutputDataFormat", Section::Peripheral, Form::Decimal, kAlways, KZ_GetAToDOutputDataFormat,
     KZ_SetAToDOutputDataFormat},
    // The key has always been spelled this way; files and hosts use it.
    {"AToDIutputVoltageRange", Section::Peripheral, Form::Decimal, kAlways, KZ_GetAToDInputVoltageRange,
     KZ_SetAToDInputVoltageRange},
    {"AToDVrefInputCharacteristics", Section::Peripheral, Form::Decimal, kAlways,
     KZ_GetAToDVrefInputCharacteristics, KZ_SetAToDVrefInputCharacteristics},
    {"DDSKEY", Section::Peripheral, Form::Decimal, kAlways, getAnalogue<AnalogueSetting::DdsKey>,
     setAnalogue<AnalogueSetting::DdsKey>},
    {"DDSFSK", Section::Peripheral, Form::Decimal, kAlways, getAnalogue<AnalogueSetting::DdsFsk>,
     setAnalogue<AnalogueSetting::DdsFsk>},
    {"CalibrationVoltage", Section::Peripheral, Form::Decimal, kAlways,
     getAnalogue<AnalogueSetting::CalibrationVoltage>, setAnalogue<AnalogueSetting::CalibrationVoltage>},
    {"AuxInput", Section::Peripheral, Form::Decimal, kAlways, KZ_GetAuxInput, KZ_SetAuxInput},
    {"TriggerSelect", Section::Peripheral, Form::Decimal, kAlways, KZ_GetTriggerSelect, KZ_SetTriggerSelect},
    {"TransducerPulseWidth", Section::Peripheral, Form::Decimal, Presence::PulseWidthFirmware,
     KZ_GetTransducerPulseWidth, KZ_SetTransducerPulseWidth},
    {"NumberOfPeriodsBetweenAScanTriggers", Section::Peripheral, Form::Decimal, kAlways,
     getNumberOfPeriodsBetweenAScanTriggers, setPeriodsBetweenAScanTriggers},
    // Written as the count of every sequence step; set by name for the current step.
    {"NumberOfOversamples", Section::Peripheral, Form::OversampleList, kAlways, KZ_GetNumberOfOversamples,
     KZ_SetNumberOfOversamples},
    {"SensorArrayNumberOfElements", Section::Peripheral, Form::Decimal, kAlways, nullptr,
     setSensorArrayNumberOfElements},
    {"SensorArrayApertureSize", Section::Peripheral, Form::Decimal, kAlways, KZ_GetSensorArrayApertureSize,
     KZ_SetSensorArrayApertureSize},
    {"SensorArrayDisableAperturePositionWrites", Section::Peripheral, Form::Decimal, Presence::SensorArrayFirmware,
     KZ_GetSensorArrayDisableAperturePositionWrites, KZ_SetSensorArrayDisableAperturePositionWrites},
    {"SensorArrayDisableApertureDelayWrites", Section::Peripheral, Form::Decimal, Presence::SensorArrayFirmware,
     KZ_GetSensorArrayDisableApertureDelayWrites, KZ_SetSensorArrayDisableApertureDelayWrites},
    {"SensorArrayEnableBScanMode", Section::Peripheral, Form::Decimal, Presence::SensorArrayFirmware,
     KZ_GetIsBScanModeEnabled, nullptr},
    {"NumberOfEncoderClicksPerBScan", Section::Peripheral, Form::Decimal, kAlways,
     KZ_GetNumberOfEncoderClicksPerBScan, KZ_SetNumberOfEncoderClicksPerBScan},
    {"EncoderSelect", Section::Peripheral, Form::Decimal, kAlways, KZ_GetEncoderSelect, KZ_SetEncoderSelect},
    {"PeripheralIOBank0", Section::Peripheral, Form::Hex8, kAlways, KZ_GetPeripheralIOBank0, nullptr},
    {"PeripheralDDR0", Section::Peripheral, Form::Hex, kAlways, KZ_GetPeripheralDDR0, nullptr},
    {"PeripheralFirmwareRevision", Section::Peripheral, Form::Hex, kAlways, KZ_GetPeripheralFirmwareRevision,
     nullptr},
    {"PeripheralFirmwareVersion", Section::Peripheral, Form::Hex, kAlways, KZ_GetPeripheralFirmwareVersion,
     nullptr},
};
// clang-format on

// The peripheral firmware with the focusing unit's switches and without a readable pulse
// width, and the one whose files carry no sensor-array switches.
constexpr std::uint32_t kSensorArrayFirmwareVersion = 1;
constexpr std::uint32_t kFirmwareWithoutSensorArraySwitches = 0;

template <auto member>
constexpr GateKey gateKey(std::string_view name, Form form = Form::Decimal)
{
    using Field = std::remove_reference_t<decltype(std::declval<GateDefinition&>().*member)>;
    return {name, form, [](const GateDefinition& gate) { return static_cast<std::uint32_t>(gate.*member); },
            [](GateDefinition& gate, std::uint32_t value) { gate.*member = static_cast<Field>(value); }};
}

constexpr GateKey kGateKeys[] = {
    gateKey<&GateDefinition::start>("Start"),
    gateKey<&GateDefinition::end>("End"),
    gateKey<&GateDefinition::threshold>("Threshold"),
    gateKey<&GateDefinition::triggerGate>("TriggerGate", Form::DecimalOrAllOnes),
    gateKey<&GateDefinition::thresholdPolarity>("ThresholdPolarity"),
    gateKey<&GateDefinition::triggerMode>("TriggerMode"),
    gateKey<&GateDefinition::distanceMetric>("DistanceMetric"),
    gateKey<&GateDefinition::enabled>("Enabled"),
    gateKey<&GateDefinition::amplitudePeakSelect>("AmplitudePeakSelect"),
    gateKey<&GateDefinition::distancePeakSelect>("DistancePeakSelect"),
};

} // namespace

std::span<const Property> properties() { return kProperties; }

std::span<const GateKey> gateKeys() { return kGateKeys; }

bool isWritten(const Property& property, std::uint32_t peripheralVersion)
{
    if (property.getter == nullptr) {
        return false;
    }
    switch (property.presence) {
    case Presence::Always: return true;
    case Presence::SensorArrayFirmware: return peripheralVersion == kSensorArrayFirmwareVersion;
    case Presence::PulseWidthFirmware: return peripheralVersion != kSensorArrayFirmwareVersion;
    }
    return false;
}

bool isSkippedOnReading(const Property& property, std::uint32_t peripheralVersion)
{
    return property.presence == Presence::SensorArrayFirmware &&
           peripheralVersion == kFirmwareWithoutSensorArraySwitches;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    constexpr auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::ranges::equal(a, b, [lower](char x, char y) { return lower(x) == lower(y); });
}

const Property* findProperty(std::string_view name)
{
    const auto* found = std::ranges::find_if(
        kProperties, [name](const Property& row) { return equalsIgnoringCase(row.name, name); });
    return found == std::end(kProperties) ? nullptr : found;
}

} // namespace kz::state_file

namespace kz {

std::uint32_t setValue(std::uint32_t cardIndex, std::string_view name, std::uint32_t value)
{
    return withLockedCard(cardIndex, [&](BoardState&) -> std::uint32_t {
        const state_file::Property* row = state_file::findProperty(name);
        if (row == nullptr || row->setter == nullptr) {
            report(err::SetValueInvalidPropertyName);
            return 0;
        }
        return row->setter(cardIndex, value);
    });
}

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_SetValue(uint32_t cardIndex, const char* name, uint32_t value)
{
    if (name == nullptr) {
        return 0;
    }
    return kz::setValue(cardIndex, name, value);
}

} // extern "C"
