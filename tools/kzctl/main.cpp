// kzctl: the Kelzor card's command-line tool. Looks at the cards, reads and writes registers,
// saves and applies state files, writes diagnostics reports and captures B-scans to HDF5.
#include <cstdio>
#include <exception>
#include <string>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "library.h"

namespace {

void addCardOption(CLI::App& command, std::uint32_t& card) {
    command.add_option("-c,--card", card, "Index of the card (default 0)");
}

void addSettingsOptions(CLI::App& command, kzctl::Settings& settings) {
    command.add_option("--state", settings.stateFile, "State file (.dab) applied after initialisation")
        ->check(CLI::ExistingFile);
    command.add_option("--set", settings.assignments,
                       "NAME=VALUE: a setting by its state-file key, applied after --state (repeatable)")
        ->type_name("NAME=VALUE")
        ->allow_extra_args(false);
}

int report(const kzctl::LibraryError& e) {
    std::fprintf(stderr, "kzctl: %s\n", e.what());
    // Earlier codes the call reported on its way (the last one is the message above).
    if (e.log().size() > 1) {
        for (const std::string& line : e.log()) {
            std::fprintf(stderr, "  %s\n", line.c_str());
        }
    }
    return kzctl::kExitFailure;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"kzctl: look at Kelzor cards, set them up and capture B-scans to HDF5"};
    app.require_subcommand(1);
    bool verbose = false;
    app.add_flag("-v,--verbose", verbose, "Let the error service echo its log lines to standard error as well");
    app.set_version_flag("--version", std::string("kzctl ") + KZCTL_VERSION);

    kzctl::ListOptions list;
    auto* listCommand = app.add_subcommand("list", "List the cards found, their PCI IDs and firmware");
    listCommand->add_flag("--json", list.json, "Print JSON");

    kzctl::InfoOptions info;
    auto* infoCommand = app.add_subcommand("info", "Initialise a card and print its setup");
    addCardOption(*infoCommand, info.card);
    addSettingsOptions(*infoCommand, info.settings);
    infoCommand->add_flag("--json", info.json, "Print JSON");

    kzctl::RegOptions reg;
    auto* regCommand = app.add_subcommand("reg", "Read or write one register of a card");
    addCardOption(*regCommand, reg.card);
    regCommand->add_flag("--open-only", reg.openOnly,
                         "Open the card without initialising it (its firmware and settings stay as they are)");
    regCommand->add_option("BANK", reg.bank, "system, sampling or peripheral")
        ->required()
        ->check(CLI::IsMember({"system", "sampling", "peripheral"}));
    regCommand->add_option("OFFSET", reg.offset, "Register offset in the bank, 0 to 255 (0x.. for hexadecimal)")
        ->required();
    regCommand->add_option("VALUE", reg.value, "Value to write; without it the register is read");

    kzctl::AcquireOptions acquire;
    auto* acquireCommand = app.add_subcommand("acquire", "Initialise a card, capture B-scans and write them to HDF5");
    addCardOption(*acquireCommand, acquire.card);
    addSettingsOptions(*acquireCommand, acquire.settings);
    acquireCommand->add_option("--bscans", acquire.bScans, "Number of B-scans to capture (default 1)");
    acquireCommand->add_option("-o,--output", acquire.output, "HDF5 file to write")->required();

    kzctl::StateOptions state;
    auto* stateCommand = app.add_subcommand("state", "Save or apply a card's state file");
    stateCommand->require_subcommand(1);
    auto* saveCommand = stateCommand->add_subcommand("save", "Initialise a card and save its state file");
    addCardOption(*saveCommand, state.card);
    saveCommand->add_option("--set", state.settings.assignments,
                            "NAME=VALUE: a setting applied before saving (repeatable)")
        ->type_name("NAME=VALUE");
    saveCommand->add_option("FILE", state.file, "State file to write (.dab is added when missing)")->required();
    auto* loadCommand = stateCommand->add_subcommand("load", "Initialise a card and apply a state file to it");
    addCardOption(*loadCommand, state.card);
    loadCommand->add_option("FILE", state.file, "State file to apply")->required()->check(CLI::ExistingFile);
    for (auto* command : {saveCommand, loadCommand}) {
        command->add_option("--section", state.section, "Part of the state: all (default), settings, system, ...")
            ->check(CLI::IsMember(kzctl::sectionNames()));
    }

    kzctl::SetOptions set;
    auto* setCommand = app.add_subcommand("set", "Set one setting by its state-file key");
    addCardOption(*setCommand, set.card);
    setCommand->add_option("-f,--file", set.stateFile,
                           "State file to change: read (when it exists), the setting applied, written back");
    setCommand->add_option("NAME", set.name, "State-file key, e.g. NumberOfSamples")->required();
    setCommand->add_option("VALUE", set.value, "Value (0x.. for hexadecimal; negative values allowed)")->required();

    kzctl::DiagOptions diag;
    auto* diagCommand = app.add_subcommand(
        "diag", "Write a diagnostics report: firmware, and a trace of the register writes of --state and --set");
    addCardOption(*diagCommand, diag.card);
    addSettingsOptions(*diagCommand, diag.settings);
    diagCommand->add_option("FILE", diag.file, "Report file to write")->required();

    std::string code;
    auto* explainCommand = app.add_subcommand("explain", "Print the message of a library error code");
    explainCommand->add_option("CODE", code, "Error code, e.g. 0x5b08")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int result = app.exit(e);
        return result == 0 ? 0 : kzctl::kExitUsage;
    }

    try {
        if (!verbose) {
            kzctl::silenceServiceEcho();
        }
        if (*listCommand) return kzctl::runList(list);
        if (*infoCommand) return kzctl::runInfo(info);
        if (*regCommand) return kzctl::runReg(reg);
        if (*acquireCommand) return kzctl::runAcquire(acquire);
        if (*saveCommand) return kzctl::runStateSave(state);
        if (*loadCommand) return kzctl::runStateLoad(state);
        if (*setCommand) return kzctl::runSet(set);
        if (*diagCommand) return kzctl::runDiag(diag);
        if (*explainCommand) return kzctl::runExplain(code);
    } catch (const kzctl::LibraryError& e) {
        return report(e);
    } catch (const kzctl::ToolError& e) {
        std::fprintf(stderr, "kzctl: %s\n", e.what());
        return e.exitCode();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kzctl: %s\n", e.what());
        return kzctl::kExitFailure;
    }
    return kzctl::kExitUsage;
}
