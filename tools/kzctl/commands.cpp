#include "commands.h"

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <unistd.h>

#include "XAVOCommonHAL.h"
#include "XAVOKZ.h"
#include "card_report.h"
#include "json_writer.h"
#include "library.h"
#include "scan_file.h"

namespace kzctl {

namespace {

constexpr std::uint32_t kRegistersPerBank = 256;
constexpr std::uint32_t kFirmwareVersionRegister = 0xFC;
constexpr std::uint32_t kSingleAScanOption = 1;

struct Bank {
    const char* name;
    std::uint32_t base;
};
constexpr Bank kBanks[] = {
    {"system", KZ_SYSTEM_REGISTER_BASE},
    {"sampling", KZ_SAMPLING_REGISTER_BASE},
    {"peripheral", KZ_PERIPHERAL_REGISTER_BASE},
};

struct Section {
    const char* name;
    KZ_StateFileSection section;
};
constexpr Section kSections[] = {
    {"all", KZ_SFSAll},         {"settings", KZ_SFSSettings}, {"system", KZ_SFSSystem},
    {"sampling", KZ_SFSSampling}, {"peripheral", KZ_SFSPeripheral}, {"gates", KZ_SFSGates},
    {"tcg", KZ_SFSTCG},         {"pingpong", KZ_SFSPingPong}, {"curvedgate", KZ_SFSCurvedGate},
};

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void onInterrupt(int) {
    gInterrupted = 1;
}

// While it lives, an interrupt, hang-up or termination ends the acquisition between two B-scans
// (so the card is shut down and no partial file is left) instead of the process.
class InterruptHandlers {
public:
    InterruptHandlers() {
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            previous_[i] = std::signal(kSignals[i], onInterrupt);
        }
    }
    ~InterruptHandlers() {
        for (std::size_t i = 0; i < kSignals.size(); ++i) {
            std::signal(kSignals[i], previous_[i]);
        }
    }
    InterruptHandlers(const InterruptHandlers&) = delete;
    InterruptHandlers& operator=(const InterruptHandlers&) = delete;

private:
    static constexpr std::array<int, 3> kSignals = {SIGINT, SIGHUP, SIGTERM};
    std::array<void (*)(int), 3> previous_{};
};

std::string hex(std::uint32_t value, int digits = 4) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*x", digits, static_cast<unsigned>(value));
    return text;
}

const Bank& bankNamed(const std::string& name) {
    for (const Bank& bank : kBanks) {
        if (name == bank.name) {
            return bank;
        }
    }
    throw ToolError("unknown register bank \"" + name + "\" (system, sampling or peripheral)", kExitUsage);
}

KZ_StateFileSection sectionNamed(const std::string& name) {
    for (const Section& s : kSections) {
        if (name == s.name) {
            return s.section;
        }
    }
    throw ToolError("unknown state file section \"" + name + "\"", kExitUsage);
}

void applySettings(std::uint32_t card, const Settings& settings) {
    if (!settings.stateFile.empty()) {
        clearErrors();
        check(KZ_LoadState(card, settings.stateFile.c_str(), KZ_SFSAll), "KZ_LoadState " + settings.stateFile);
    }
    for (const std::string& assignment : settings.assignments) {
        const std::size_t equals = assignment.find('=');
        if (equals == std::string::npos || equals == 0) {
            throw ToolError("--set takes NAME=VALUE, not \"" + assignment + "\"", kExitUsage);
        }
        const std::string name = assignment.substr(0, equals);
        const std::uint32_t value = parseNumber(assignment.substr(equals + 1), name.c_str());
        clearErrors();
        check(KZ_SetValue(card, name.c_str(), value), "KZ_SetValue " + name);
    }
}

// The state file of the card as text: saved to a file of its own and read back.
std::string stateText(std::uint32_t card, KZ_StateFileSection section) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("kzctl-" + std::to_string(static_cast<long>(getpid())) + ".dab");
    clearErrors();
    check(KZ_SaveState(card, path.string().c_str(), section), "KZ_SaveState");
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    in.close();
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    if (!in) {
        throw ToolError("cannot read back the saved state file " + path.string());
    }
    return text.str();
}

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

// KZ_GetBScan reads a bank of exactly one B-scan; the card chooses its own count by default.
void useOneBScanPerBank(std::uint32_t card) {
    if (get<std::uint32_t>(KZ_GetNumberOfBScansPerBank, card, "KZ_GetNumberOfBScansPerBank") == 1) {
        return;
    }
    clearErrors();
    check(KZ_SetNumberOfBScansPerBankIsAutomatic(card, 0), "KZ_SetNumberOfBScansPerBankIsAutomatic");
    clearErrors();
    check(KZ_SetNumberOfBScansPerBank(card, 1), "KZ_SetNumberOfBScansPerBank");
}

std::uint32_t deviceIdOfCards() {
    // All cards of a machine are of one type: the library takes the second ID only when there
    // is no card of the first.
    std::uint32_t primary = 0;
    if (XAVO_HAL_InitialiseCardType(XAVO_HAL_VENDOR_ID, XAVO_HAL_DEVICE_ID_PRIMARY, XAVO_HAL_KELZOR_TAG,
                                    &primary) != 0 &&
        primary > 0) {
        return XAVO_HAL_DEVICE_ID_PRIMARY;
    }
    return XAVO_HAL_DEVICE_ID_SECONDARY;
}

struct ListedCard {
    std::uint32_t index = 0;
    bool opened = false;
    std::uint32_t words[3] = {}; // firmware version words of system, sampling, peripheral
};

class ProgressLine {
public:
    ProgressLine(std::uint32_t total, bool shown)
        : total_(total), shown_(shown), start_(std::chrono::steady_clock::now()) {}
    void update(std::uint32_t done) {
        if (!shown_) {
            return;
        }
        // At most ten lines a second, and the last one always.
        const auto now = std::chrono::steady_clock::now();
        if (done != total_ && now - shownAt_ < std::chrono::milliseconds(100)) {
            return;
        }
        shownAt_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double rate = seconds > 0 ? done / seconds : 0.0;
        const double left = rate > 0 ? (total_ - done) / rate : 0.0;
        std::fprintf(stderr, "\r%u/%u B-scans  %.1f B-scans/s  %.1f s left   ", static_cast<unsigned>(done),
                     static_cast<unsigned>(total_), rate, left);
        std::fflush(stderr);
    }
    void end() {
        if (shown_) {
            std::fputc('\n', stderr);
        }
    }

private:
    std::uint32_t total_;
    bool shown_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point shownAt_{};
};

void printInfoText(const CardReport& r) {
    const auto line = [](const char* key, const std::string& value) {
        std::printf("  %-24s %s\n", key, value.c_str());
    };
    const auto n = [](auto value) { return std::to_string(value); };
    std::printf("card %u\n", static_cast<unsigned>(r.card));
    line("serial number", n(r.serialNumber));
    line("system firmware", hex(r.firmware.systemVersion));
    line("sampling firmware", "version " + hex(r.firmware.samplingVersion) + ", revision " +
                                  hex(r.firmware.samplingRevision));
    line("peripheral firmware", "version " + hex(r.firmware.peripheralVersion) + ", revision " +
                                    hex(r.firmware.peripheralRevision));
    line("sequence-compatible", r.sequenceCompatible ? "yes, step " + n(r.sequenceStep) : "no");
    std::printf("sampling\n");
    line("sample clock", n(r.samplingFrequencyHz) + " Hz");
    line("samples", n(r.numberOfSamples));
    line("start delay", n(r.startDelay) + " sample clocks");
    line("drop count", n(r.dropCount));
    line("oversamples", n(r.oversamples));
    line("storage", r.storageMode == 0 ? "16-bit (mode 0)" : "8-bit (mode " + n(r.storageMode) + ")");
    line("rectifier", n(r.rectifierMode));
    line("sign and magnitude", r.signAndMagnitude ? "on" : "off");
    std::printf("analogue input\n");
    line("input", n(r.analogueInput));
    line("range", n(r.inputRange));
    line("zero offset", n(r.zeroOffset));
    for (std::size_t range = 0; range < r.calibrationOffsetWords.size(); ++range) {
        const std::string key = "range " + n(range) + " calibration";
        line(key.c_str(), "offset " + n(r.calibrationOffsetWords[range]) + ", gain " +
                              n(r.calibrationGainWords[range]) +
                              ((r.calibratedRangeMask >> range) & 1u ? " (calibrated)" : ""));
    }
    std::printf("rates\n");
    line("repetition rate", n(r.repetitionRateHz) + " Hz");
    line("B-scan repetition rate", n(r.bScanRepetitionRate));
    line("trigger source", n(r.triggerSelect));
    std::printf("layout\n");
    line("scan storage option", n(r.scanStorageOption));
    line("A-scans per B-scan", n(r.shape.aScansPerBScan));
    line("positions", n(r.shape.positions.size()));
    line("A-scan bytes per B-scan", n(r.aScanBytesPerBScan));
    line("gate bytes per B-scan", n(r.gateBytesPerBScan));
    line("B-scans per bank", n(r.bScansPerBank));
    std::printf("gates (channel %u)\n", static_cast<unsigned>(r.gateChannel));
    if (r.gates.empty()) {
        line("enabled gates", "none");
    }
    for (const EnabledGate& g : r.gates) {
        const std::string key = "gate " + n(g.gate.gateIndex);
        line(key.c_str(), "start " + n(g.gate.start) + ", end " + n(g.gate.end) + ", threshold " +
                              n(g.gate.threshold) + ", trigger gate " + n(g.gate.triggerGate));
    }
    std::printf("TCG\n");
    line("enabled", r.tcgEnable != 0 ? "yes" : "no");
    line("trigger event", n(r.tcgTriggerEvent));
    line("curve points", n(r.tcgValueCount));
}

void printInfoJson(const CardReport& r) {
    JsonWriter j(std::cout);
    j.beginObject();
    j.value("card", r.card);
    j.value("serial_number", r.serialNumber);
    j.beginObject("firmware");
    j.value("system_version", r.firmware.systemVersion);
    j.value("sampling_version", r.firmware.samplingVersion);
    j.value("sampling_revision", r.firmware.samplingRevision);
    j.value("peripheral_version", r.firmware.peripheralVersion);
    j.value("peripheral_revision", r.firmware.peripheralRevision);
    j.value("sequence_compatible", r.sequenceCompatible);
    j.value("sequence_step", r.sequenceStep);
    j.endObject();
    j.beginObject("sampling");
    j.value("sampling_frequency_hz", r.samplingFrequencyHz);
    j.value("number_of_samples", r.numberOfSamples);
    j.value("start_delay_samples", r.startDelay);
    j.value("drop_count", r.dropCount);
    j.value("oversamples", r.oversamples);
    j.value("storage_mode", r.storageMode);
    j.value("bytes_per_sample", r.shape.bytesPerSample);
    j.value("rectifier_mode", r.rectifierMode);
    j.value("sign_and_magnitude", r.signAndMagnitude);
    j.endObject();
    j.beginObject("analogue");
    j.value("input", r.analogueInput);
    j.value("range", r.inputRange);
    j.value("zero_offset", r.zeroOffset);
    j.value("calibrated_range_mask", r.calibratedRangeMask);
    j.beginArray("calibration_offset_words");
    for (const std::int16_t w : r.calibrationOffsetWords) {
        j.value({}, std::int32_t{w});
    }
    j.endArray();
    j.beginArray("calibration_gain_words");
    for (const std::int16_t w : r.calibrationGainWords) {
        j.value({}, std::int32_t{w});
    }
    j.endArray();
    j.endObject();
    j.beginObject("rates");
    j.value("repetition_rate_hz", r.repetitionRateHz);
    j.value("bscan_repetition_rate", r.bScanRepetitionRate);
    j.value("trigger_select", r.triggerSelect);
    j.endObject();
    j.beginObject("layout");
    j.value("scan_storage_option", r.scanStorageOption);
    j.value("ascans_per_bscan", r.shape.aScansPerBScan);
    j.value("positions", static_cast<std::uint32_t>(r.shape.positions.size()));
    j.value("ascan_bytes_per_bscan", r.aScanBytesPerBScan);
    j.value("gate_bytes_per_bscan", r.gateBytesPerBScan);
    j.value("bscans_per_bank", r.bScansPerBank);
    j.endObject();
    j.beginObject("gates");
    j.value("channel", r.gateChannel);
    j.beginArray("enabled");
    for (const EnabledGate& g : r.gates) {
        j.beginObject();
        j.value("index", g.gate.gateIndex);
        j.value("start", g.gate.start);
        j.value("end", g.gate.end);
        j.value("threshold", g.gate.threshold);
        j.value("trigger_gate", g.gate.triggerGate);
        j.value("threshold_polarity", g.gate.thresholdPolarity);
        j.value("trigger_mode", g.gate.triggerMode);
        j.value("distance_metric", g.gate.distanceMetric);
        j.endObject();
    }
    j.endArray();
    j.endObject();
    j.beginObject("tcg");
    j.value("enabled", r.tcgEnable != 0);
    j.value("trigger_event", r.tcgTriggerEvent);
    j.value("points", r.tcgValueCount);
    j.endObject();
    j.endObject();
}

} // namespace

std::vector<std::string> sectionNames() {
    std::vector<std::string> names;
    for (const Section& s : kSections) {
        names.emplace_back(s.name);
    }
    return names;
}

int runList(const ListOptions& options) {
    const std::uint32_t cards = numberOfCards();
    std::uint32_t sequencedDsp = 0;
    std::uint32_t sequencedPer = 0;
    std::uint32_t olderDsp = 0;
    std::uint32_t olderPer = 0;
    KZ_GetZUTAMFirmwareRevisions(&sequencedDsp, &sequencedPer);
    KZ_GetKV7CFirmwareRevisions(&olderDsp, &olderPer);
    const std::uint32_t deviceId = cards > 0 ? deviceIdOfCards() : 0;

    // The firmware each card runs now, read from its version registers with the card opened
    // but not initialised, so that nothing on it changes.
    std::vector<ListedCard> listed;
    for (std::uint32_t i = 0; i < cards; ++i) {
        ListedCard c;
        c.index = i;
        clearErrors();
        c.opened = KZ_GetIsInitialised(i) != 0 || KZ_PCIInitialise(i) != 0;
        for (std::size_t b = 0; b < 3 && c.opened; ++b) {
            std::uint32_t word = 0;
            if (KZ_GetRegister(i, kBanks[b].base + kFirmwareVersionRegister, &word) != 0) {
                c.words[b] = word & 0xFFFFu;
            }
        }
        listed.push_back(c);
    }

    if (options.json) {
        JsonWriter j(std::cout);
        j.beginObject();
        j.value("cards", cards);
        j.value("vendor_id", std::uint32_t{XAVO_HAL_VENDOR_ID});
        j.beginObject("configured_firmware");
        j.value("sequenced_sampling", sequencedDsp);
        j.value("sequenced_peripheral", sequencedPer);
        j.value("older_sampling", olderDsp);
        j.value("older_peripheral", olderPer);
        j.endObject();
        j.beginArray("list");
        for (const ListedCard& c : listed) {
            j.beginObject();
            j.value("index", c.index);
            j.value("device_id", deviceId);
            j.value("opened", c.opened);
            j.value("system_firmware_word", c.words[0]);
            j.value("sampling_firmware_word", c.words[1]);
            j.value("peripheral_firmware_word", c.words[2]);
            j.endObject();
        }
        j.endArray();
        j.endObject();
        return 0;
    }
    std::printf("%u Kelzor %s found\n", static_cast<unsigned>(cards), cards == 1 ? "card" : "cards");
    for (const ListedCard& c : listed) {
        std::printf("card %u: PCI %s:%s", static_cast<unsigned>(c.index), hex(XAVO_HAL_VENDOR_ID).c_str(),
                    hex(deviceId).c_str());
        if (!c.opened) {
            std::printf(", could not be opened\n");
            continue;
        }
        std::printf(", firmware running: system %s, sampling %s, peripheral %s\n", hex(c.words[0]).c_str(),
                    hex(c.words[1]).c_str(), hex(c.words[2]).c_str());
    }
    std::printf("firmware loaded by initialisation: sampling %s and peripheral %s (older generation %s and %s)\n",
                hex(sequencedDsp, 3).c_str(), hex(sequencedPer, 3).c_str(), hex(olderDsp, 3).c_str(),
                hex(olderPer, 3).c_str());
    return 0;
}

int runInfo(const InfoOptions& options) {
    CardSession session(options.card);
    applySettings(options.card, options.settings);
    const CardReport report = readCardReport(options.card);
    if (options.json) {
        printInfoJson(report);
    } else {
        printInfoText(report);
    }
    return 0;
}

int runReg(const RegOptions& options) {
    const Bank& bank = bankNamed(options.bank);
    const std::uint32_t offset = parseNumber(options.offset, "OFFSET");
    if (offset >= kRegistersPerBank) {
        throw ToolError("OFFSET " + options.offset + " is past the bank (0 to 255)", kExitUsage);
    }
    std::unique_ptr<CardSession> session;
    if (options.openOnly) {
        requireCard(options.card);
        clearErrors();
        check(KZ_PCIInitialise(options.card), "KZ_PCIInitialise");
    } else {
        session = std::make_unique<CardSession>(options.card);
    }
    const std::uint32_t raw = bank.base + offset;
    if (!options.value.empty()) {
        const std::uint32_t value = parseNumber(options.value, "VALUE");
        clearErrors();
        check(KZ_SetRegister(options.card, raw, value), "KZ_SetRegister");
        std::printf("%s %s <- %s\n", bank.name, hex(offset, 2).c_str(), hex(value, 8).c_str());
        return 0;
    }
    std::uint32_t value = 0;
    clearErrors();
    check(KZ_GetRegister(options.card, raw, &value), "KZ_GetRegister");
    std::printf("%s %s = %s (%u)\n", bank.name, hex(offset, 2).c_str(), hex(value, 8).c_str(),
                static_cast<unsigned>(value));
    return 0;
}

int runAcquire(const AcquireOptions& options) {
    if (options.bScans == 0) {
        throw ToolError("--bscans must be at least 1", kExitUsage);
    }
    CardSession session(options.card);
    const std::uint32_t card = options.card;
    applySettings(card, options.settings);
    if (get<std::uint32_t>(KZ_GetScanStorageOptions, card, "KZ_GetScanStorageOptions") != kSingleAScanOption) {
        useOneBScanPerBank(card);
    }

    ScanFileDescription description;
    description.card = readCardReport(card);
    description.bScans = options.bScans;
    description.stateText = stateText(card, KZ_SFSAll);
    description.createdUtc = utcNow();
    const BScanShape& shape = description.card.shape;

    gInterrupted = 0;
    const InterruptHandlers handlers;
    ScanFileWriter writer(options.output, description);

    // One buffer for every A-scan entry KZ_GetBScan may fill, each as long as it moves.
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<void*> entries;
    for (std::uint32_t i = 0; i < shape.aScansPerBScan; ++i) {
        const std::size_t bytes = i < shape.positions.size()
                                      ? shape.recordBytes(i)
                                      : std::size_t{KZ_ReturnAScanSampleValuesThisStep(card, i)} * shape.bytesPerSample;
        records.emplace_back(bytes);
    }
    for (auto& r : records) {
        entries.push_back(r.data());
    }
    std::vector<std::uint32_t> headers(shape.positions.size());
    std::vector<std::vector<std::uint8_t>> samples(shape.positions.size());
    for (std::size_t k = 0; k < shape.positions.size(); ++k) {
        samples[k].resize(std::size_t{shape.positions[k].samples} * shape.bytesPerSample);
    }

    ProgressLine progress(options.bScans, isatty(STDERR_FILENO) != 0);
    for (std::uint32_t b = 0; b < options.bScans; ++b) {
        if (gInterrupted != 0) {
            progress.end();
            throw ToolError("interrupted after " + std::to_string(b) + " B-scans; no file written",
                            kExitInterrupted);
        }
        clearErrors();
        check(KZ_GetBScan(card, entries.data()), "KZ_GetBScan");
        for (std::size_t k = 0; k < shape.positions.size(); ++k) {
            headers[k] = takeApartRecord(records[k].data(), shape, k, samples[k].data());
        }
        writer.writeBScan(b, headers, samples);
        progress.update(b + 1);
    }
    progress.end();
    writer.finish();

    std::printf("%u B-scans of %zu %s written to %s (%s samples", static_cast<unsigned>(options.bScans),
                shape.positions.size(), shape.positions.size() == 1 ? "position" : "positions",
                options.output.c_str(), sampleTypeName(shape.type));
    if (shape.isUniform()) {
        std::printf(", %u per A-scan", static_cast<unsigned>(shape.positions[0].samples));
    }
    std::printf(")\n");
    return 0;
}

int runStateSave(const StateOptions& options) {
    const KZ_StateFileSection section = sectionNamed(options.section);
    CardSession session(options.card);
    applySettings(options.card, options.settings);
    clearErrors();
    check(KZ_SaveState(options.card, options.file.c_str(), section), "KZ_SaveState");
    std::printf("state of card %u saved to %s\n", static_cast<unsigned>(options.card), options.file.c_str());
    return 0;
}

int runStateLoad(const StateOptions& options) {
    const KZ_StateFileSection section = sectionNamed(options.section);
    CardSession session(options.card);
    clearErrors();
    check(KZ_LoadState(options.card, options.file.c_str(), section), "KZ_LoadState");
    std::printf("%s applied to card %u\n", options.file.c_str(), static_cast<unsigned>(options.card));
    return 0;
}

int runSet(const SetOptions& options) {
    const std::uint32_t value = parseNumber(options.value, "VALUE");
    CardSession session(options.card);
    if (!options.stateFile.empty() && std::filesystem::exists(options.stateFile)) {
        clearErrors();
        check(KZ_LoadState(options.card, options.stateFile.c_str(), KZ_SFSAll), "KZ_LoadState");
    }
    clearErrors();
    check(KZ_SetValue(options.card, options.name.c_str(), value), "KZ_SetValue " + options.name);
    if (!options.stateFile.empty()) {
        clearErrors();
        check(KZ_SaveState(options.card, options.stateFile.c_str(), KZ_SFSAll), "KZ_SaveState");
        std::printf("%s = %s saved to %s\n", options.name.c_str(), options.value.c_str(), options.stateFile.c_str());
    } else {
        std::printf("%s = %s accepted by card %u\n", options.name.c_str(), options.value.c_str(),
                    static_cast<unsigned>(options.card));
    }
    return 0;
}

int runDiag(const DiagOptions& options) {
    CardSession session(options.card);
    clearErrors();
    check(KZ_SetIsDiagnosticMode(options.card, 1, options.file.c_str()), "KZ_SetIsDiagnosticMode");
    // The register writes the settings make are traced into the report.
    try {
        applySettings(options.card, options.settings);
    } catch (...) {
        KZ_SetIsDiagnosticMode(options.card, 0, nullptr);
        throw;
    }
    clearErrors();
    check(KZ_SetIsDiagnosticMode(options.card, 0, nullptr), "KZ_SetIsDiagnosticMode");
    std::printf("diagnostics report of card %u written to %s\n", static_cast<unsigned>(options.card),
                options.file.c_str());
    return 0;
}

int runExplain(const std::string& code) {
    const std::uint32_t value = parseNumber(code, "CODE");
    std::printf("%s: %s\n", hex(value).c_str(), codeMessage(value).c_str());
    return 0;
}

} // namespace kzctl
