// The subcommands of kzctl. Each returns the process's exit code or throws a LibraryError or
// ToolError, which main() prints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kzctl {

// The settings a command applies after initialising the card: a state file, then NAME=VALUE
// settings in the order given.
struct Settings {
    std::string stateFile;
    std::vector<std::string> assignments;
};

struct ListOptions {
    bool json = false;
};
struct InfoOptions {
    std::uint32_t card = 0;
    Settings settings;
    bool json = false;
};
struct RegOptions {
    std::uint32_t card = 0;
    std::string bank;
    std::string offset;
    std::string value; // empty: read
    bool openOnly = false;
};
struct AcquireOptions {
    std::uint32_t card = 0;
    Settings settings;
    std::uint32_t bScans = 1;
    std::string output;
};
struct StateOptions {
    std::uint32_t card = 0;
    Settings settings; // save only
    std::string section = "all";
    std::string file;
};
struct SetOptions {
    std::uint32_t card = 0;
    std::string name;
    std::string value;
    std::string stateFile; // optional: the state file to change
};
struct DiagOptions {
    std::uint32_t card = 0;
    Settings settings;
    std::string file;
};

int runList(const ListOptions& options);
int runInfo(const InfoOptions& options);
int runReg(const RegOptions& options);
int runAcquire(const AcquireOptions& options);
int runStateSave(const StateOptions& options);
int runStateLoad(const StateOptions& options);
int runSet(const SetOptions& options);
int runDiag(const DiagOptions& options);
int runExplain(const std::string& code);

// The state-file section names kzctl accepts ("all", "settings", "system", ...).
std::vector<std::string> sectionNames();

} // namespace kzctl
