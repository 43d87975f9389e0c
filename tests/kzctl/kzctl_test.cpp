// kzctl run as a user runs it: a separate process per command, its exit code, its output, and
// the HDF5 file it writes read back with the HDF5 library and compared with what KZ_GetBScan
// returns in this process for the same settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <csignal>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "XAVOKZ.h"
#include "XAVOSimControl.h"
#include "hdf5_reader.h"

namespace {

namespace fs = std::filesystem;
using kzctl::test::H5File;
using Environment = std::vector<std::pair<std::string, std::string>>;

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The ramp the simulated card captures: sample j of oversample o of position k of the bank's
// B-scan b, as a 12-bit code.
int rampCode(std::uint32_t b, std::uint32_t k, std::uint32_t o, std::uint32_t j) {
    return static_cast<int>((7u * b + 131u * k + 17u * o + j) % 4096u) - 2048;
}

class Kzctl : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kzctl-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        scratch_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(scratch_, ignored);
    }

    fs::path file(const std::string& name) const { return scratch_ / name; }

    // Starts kzctl with `args` in the scratch folder, with `environment` added to this
    // process's and its output going to `out` and `err`; wait for it with finish().
    pid_t start(const std::vector<std::string>& args, const Environment& environment = {},
                const fs::path& out = "/dev/null", const fs::path& err = "/dev/null") const {
        const pid_t child = fork();
        if (child == 0) {
            for (const auto& [name, value] : environment) {
                setenv(name.c_str(), value.c_str(), 1);
            }
            const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (outFd < 0 || errFd < 0 || chdir(scratch_.c_str()) != 0) {
                _exit(127);
            }
            dup2(outFd, STDOUT_FILENO);
            dup2(errFd, STDERR_FILENO);
            std::vector<char*> argv{const_cast<char*>(KZCTL_PATH)};
            for (const std::string& a : args) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            execv(KZCTL_PATH, argv.data());
            _exit(127);
        }
        return child;
    }
    // The child's exit code, or -1 when it did not exit (a crash).
    static int finish(pid_t child) {
        int status = 0;
        if (child <= 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
            return -1;
        }
        return WEXITSTATUS(status);
    }

    // Runs kzctl to its end and collects its exit code and output.
    Result run(const std::vector<std::string>& args, const Environment& environment = {}) const {
        const fs::path out = scratch_ / ".stdout";
        const fs::path err = scratch_ / ".stderr";
        Result result;
        result.exitCode = finish(start(args, environment, out, err));
        result.out = readFile(out);
        result.err = readFile(err);
        return result;
    }

    // Runs kzctl and expects success.
    Result succeed(const std::vector<std::string>& args, const Environment& environment = {}) const {
        Result r = run(args, environment);
        EXPECT_EQ(0, r.exitCode) << r.err;
        return r;
    }

private:
    fs::path scratch_;
};

// A library failure names the operation and the error code, and the message is the library's
// own for that code.
void expectLibraryFailure(const Result& r, const std::string& operation, std::uint32_t code = 0) {
    EXPECT_EQ(1, r.exitCode);
    std::smatch match;
    const std::regex pattern("kzctl: (\\S+)[^\n]* failed: error (0x[0-9a-f]{4}): ([^\n]*)");
    ASSERT_TRUE(std::regex_search(r.err, match, pattern)) << r.err;
    EXPECT_EQ(operation, match[1].str());
    const auto reported = static_cast<std::uint32_t>(std::stoul(match[2].str(), nullptr, 16));
    if (code != 0) {
        EXPECT_EQ(code, reported);
    }
    EXPECT_EQ(KZ_GetCodeString(reported), match[3].str());
}

TEST_F(Kzctl, EverySubcommandExplainsItselfWithHelp) {
    const std::vector<std::vector<std::string>> commands = {
        {"list"}, {"info"}, {"reg"}, {"acquire"}, {"state"}, {"state", "save"},
        {"state", "load"}, {"set"}, {"diag"}, {"explain"}};
    for (auto command : commands) {
        SCOPED_TRACE(command.back());
        command.push_back("--help");
        const Result r = succeed(command);
        EXPECT_NE(std::string::npos, r.out.find(command[command.size() - 2])) << r.out;
        EXPECT_NE(std::string::npos, r.out.find("Options")) << r.out;
    }
}

TEST_F(Kzctl, WrongUseExitsWithTwoAndSaysWhy) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"reg", "bogus", "0"},
        {"reg", "sampling", "256"},
        {"reg", "sampling", "0x10", "twelve"},
        {"explain", "zz"},
        {"acquire"},
        {"acquire", "--bscans", "0", "-o", "x.h5"},
        {"acquire", "--set", "NoEqualsSign", "-o", "x.h5"},
        {"info", "-c", "7"},
        {"state", "load", "missing.dab"},
        {"state", "save", "--section", "nonsense", "s.dab"},
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        SCOPED_TRACE(joined);
        const Result r = run(args);
        EXPECT_EQ(2, r.exitCode) << r.out << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_FALSE(fs::exists(file("x.h5")));
}

TEST_F(Kzctl, ListNamesTheCardsAndTheirDeviceId) {
    struct Case {
        Environment environment;
        std::string count;
        std::string device;
        std::uint32_t cards;
    };
    const std::vector<Case> cases = {
        {{}, "1 Kelzor card found", "0x10b5:0x86e1", 1},
        {{{"XAVO_SIM_CARDS", "2"}, {"XAVO_SIM_DEVICE", "0x5602"}}, "2 Kelzor cards found", "0x10b5:0x5602", 2},
        {{{"XAVO_SIM_DEVICE", "none"}}, "0 Kelzor cards found", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        const Result r = succeed({"list"}, c.environment);
        EXPECT_NE(std::string::npos, r.out.find(c.count)) << r.out;
        for (std::uint32_t i = 0; i < c.cards; ++i) {
            EXPECT_NE(std::string::npos, r.out.find("card " + std::to_string(i) + ": PCI " + c.device)) << r.out;
        }
        const Result json = succeed({"list", "--json"}, c.environment);
        EXPECT_NE(std::string::npos, json.out.find("\"cards\": " + std::to_string(c.cards))) << json.out;
        EXPECT_EQ(c.cards, [&] {
            std::uint32_t n = 0;
            for (std::size_t at = json.out.find("\"device_id\""); at != std::string::npos;
                 at = json.out.find("\"device_id\"", at + 1)) {
                ++n;
            }
            return n;
        }());
    }
}

TEST_F(Kzctl, ExplainPrintsTheLibrarysMessage) {
    const Result r = succeed({"explain", "0x5b08"});
    EXPECT_EQ(std::string("0x5b08: ") + KZ_GetCodeString(0x5b08) + "\n", r.out);
}

TEST_F(Kzctl, InfoPrintsTheSetupWithSettingsApplied) {
    const Result text = succeed({"info", "--set", "NumberOfSamples=1000"});
    for (const char* expected : {"sample clock", "66000000 Hz", "samples", "1000", "range 1 calibration",
                                 "A-scan bytes per B-scan", "B-scans per bank", "gates (channel", "TCG"}) {
        EXPECT_NE(std::string::npos, text.out.find(expected)) << expected << "\n" << text.out;
    }
    const Result json = succeed({"info", "--json", "--set", "NumberOfSamples=1000"});
    for (const char* expected : {"\"sampling_frequency_hz\": 66000000", "\"number_of_samples\": 1000",
                                 "\"calibration_offset_words\": [", "\"bscans_per_bank\":", "\"tcg\": {"}) {
        EXPECT_NE(std::string::npos, json.out.find(expected)) << expected << "\n" << json.out;
    }
    EXPECT_EQ('{', json.out.front());
    EXPECT_EQ("}\n", json.out.substr(json.out.size() - 2));
}

TEST_F(Kzctl, LibraryFailuresPrintCodeAndMessageAndExitWithOne) {
    expectLibraryFailure(run({"info", "--set", "NoSuchSetting=1"}), "KZ_SetValue");
    expectLibraryFailure(run({"set", "NumberOfSamples", "100000"}), "KZ_SetValue");
}

TEST_F(Kzctl, RegReadsAndWritesARegister) {
    const Result read = succeed({"reg", "sampling", "0xfc"});
    EXPECT_TRUE(std::regex_search(read.out, std::regex("^sampling 0xfc = 0x[0-9a-f]{4}2028 \\([0-9]+\\)\n$")))
        << read.out;
    const Result write = succeed({"reg", "-c", "0", "peripheral", "0x14", "0"});
    EXPECT_EQ("peripheral 0x14 <- 0x00000000\n", write.out);
    // Opened only, a fresh card runs no firmware yet.
    const Result bare = succeed({"reg", "--open-only", "sampling", "252"});
    EXPECT_EQ("sampling 0xfc = 0x00000000 (0)\n", bare.out);
}

TEST_F(Kzctl, StateSaveSetAndLoadRoundTrip) {
    succeed({"state", "save", "--set", "NumberOfSamples=600", "s.dab"});
    const std::string saved = readFile(file("s.dab"));
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ('[', saved.front());
    EXPECT_NE(std::string::npos, saved.find("\r\n"));
    EXPECT_NE(std::string::npos, saved.find("NumberOfSamples = 600\r\n"));

    succeed({"set", "-f", "s.dab", "NumberOfSamples", "500"});
    const std::string changed = readFile(file("s.dab"));
    EXPECT_NE(std::string::npos, changed.find("NumberOfSamples = 500\r\n"));
    EXPECT_EQ(std::string::npos, changed.find("NumberOfSamples = 600\r\n"));

    succeed({"state", "load", "s.dab"});
    const Result info = succeed({"info", "--json", "--state", "s.dab"});
    EXPECT_NE(std::string::npos, info.out.find("\"number_of_samples\": 500")) << info.out;
}

TEST_F(Kzctl, DiagWritesTheReportWithATraceOfTheSettings) {
    succeed({"diag", "--set", "NumberOfSamples=100", "d.txt"});
    const std::string report = readFile(file("d.txt"));
    const std::string banner = "Tolvenna XAVO Data Acquisition Card Diagnostics\r\n\r\n";
    ASSERT_EQ(banner, report.substr(0, banner.size()));
    const std::string rest = report.substr(banner.size());
    EXPECT_TRUE(std::regex_search(rest, std::regex("^0x[0-9a-f]{4}(:0x[0-9a-f]{4}){4}\r\n\r\n"))) << rest;
    // The setting's register writes follow the firmware line.
    EXPECT_GT(std::count(rest.begin(), rest.end(), '\n'), 2);
}

// ---------------------------------------------------------------------------------------------
// acquire

const Environment kRamp = {{"XAVO_SIM_DATA", "ramp"}};

// The samples of B-scan b, position k of a uniform file.
std::vector<std::int64_t> samplesOf(const std::vector<std::int64_t>& all, const std::vector<hsize_t>& dims,
                                    std::size_t b, std::size_t k) {
    const std::size_t n = dims[2];
    const auto first = all.begin() + static_cast<std::ptrdiff_t>((b * dims[1] + k) * n);
    return {first, first + static_cast<std::ptrdiff_t>(n)};
}

TEST_F(Kzctl, AcquireWritesTheDocumentedLayout) {
    const Result r = succeed({"acquire", "--bscans", "4", "--set", "NumberOfSamples=64", "-o", "scan.h5"}, kRamp);
    EXPECT_NE(std::string::npos, r.out.find("4 B-scans of 1 position written to scan.h5")) << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err; // no progress line when standard error is no terminal
    EXPECT_FALSE(fs::exists(file("scan.h5.part")));

    const H5File h5(file("scan.h5").string());
    EXPECT_EQ("kzctl-scan", h5.attributeString("/", "format"));
    EXPECT_EQ(1u, h5.attributeU32("/", "format_version"));
    EXPECT_FALSE(h5.attributeString("/", "kzctl_version").empty());
    EXPECT_FALSE(h5.attributeString("/", "library_version").empty());
    EXPECT_TRUE(std::regex_match(h5.attributeString("/", "created_utc"),
                                 std::regex("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ")));

    EXPECT_EQ(0u, h5.attributeU32("/card", "card_index"));
    EXPECT_EQ(0x2u, h5.attributeU32("/card", "sampling_firmware_version"));
    EXPECT_EQ(0x28u, h5.attributeU32("/card", "sampling_firmware_revision"));
    EXPECT_EQ(0x2u, h5.attributeU32("/card", "peripheral_firmware_version"));
    EXPECT_EQ(0x1fu, h5.attributeU32("/card", "peripheral_firmware_revision"));
    EXPECT_EQ(1u, h5.attributeU32("/card", "sequence_compatible"));

    EXPECT_EQ(4u, h5.attributeU32("/scan", "bscans"));
    EXPECT_EQ(1u, h5.attributeU32("/scan", "positions"));
    EXPECT_EQ(66000000u, h5.attributeU32("/scan", "sampling_frequency_hz"));
    EXPECT_EQ(64u, h5.attributeU32("/scan", "number_of_samples"));
    EXPECT_EQ(0u, h5.attributeU32("/scan", "drop_count"));
    EXPECT_DOUBLE_EQ(1.0 / 66e6, h5.attributeF64("/scan", "sample_interval_s"));
    EXPECT_EQ(1u, h5.attributeU32("/scan", "oversamples"));
    EXPECT_EQ(0u, h5.attributeU32("/scan", "storage_mode"));
    EXPECT_EQ(2u, h5.attributeU32("/scan", "bytes_per_sample"));
    EXPECT_EQ(0u, h5.attributeU32("/scan", "rectifier_mode"));
    EXPECT_EQ(1u, h5.attributeU32("/scan", "input_range"));
    EXPECT_EQ(6u, h5.attributeI16s("/scan", "calibration_offset_words").size());
    EXPECT_EQ(6u, h5.attributeI16s("/scan", "calibration_gain_words").size());
    EXPECT_NE(0u, h5.attributeU32("/scan", "calibrated_range_mask") & 2u);
    EXPECT_EQ("int16", h5.attributeString("/scan", "sample_type"));
    EXPECT_EQ("counts", h5.attributeString("/scan/ascans", "units"));

    // KZ_GetBScan moves 64 samples' worth from the header word on: 62 samples remain.
    ASSERT_EQ((std::vector<hsize_t>{4, 1, 62}), h5.dims("/scan/ascans"));
    EXPECT_TRUE(h5.hasType("/scan/ascans", H5T_STD_I16LE));
    EXPECT_EQ((std::vector<hsize_t>{4, 1}), h5.dims("/scan/ascan_headers"));
    EXPECT_EQ((std::vector<std::int64_t>{62}), h5.integers("/scan/samples_per_position"));
    EXPECT_EQ((std::vector<std::int64_t>{1}), h5.integers("/scan/oversamples_per_position"));

    const auto all = h5.integers("/scan/ascans");
    const auto dims = h5.dims("/scan/ascans");
    for (std::size_t b = 0; b < 4; ++b) {
        const auto samples = samplesOf(all, dims, b, 0);
        for (std::uint32_t j = 0; j < samples.size(); ++j) {
            ASSERT_EQ(rampCode(0, 0, 0, j), samples[j]) << "B-scan " << b << " sample " << j;
        }
    }

    const std::string state = h5.scalarString("/state");
    EXPECT_EQ('[', state.front());
    EXPECT_NE(std::string::npos, state.find("NumberOfSamples = 64\r\n"));
    EXPECT_EQ("dab", h5.attributeString("/state", "format"));
}

TEST_F(Kzctl, AcquiredSamplesTakeTheStoredWidthAndType) {
    struct Case {
        std::vector<std::string> settings;
        hid_t type;
        const char* typeName;
        std::uint32_t oversamples;
        int (*expected)(int code);
    };
    const std::vector<Case> cases = {
        {{}, H5T_STD_I16LE, "int16", 1, [](int code) { return code; }},
        {{"--set", "SampleStorageMode=1"}, H5T_STD_I8LE, "int8", 1, [](int code) { return code >> 4; }},
        {{"--set", "NumberOfOversamples=2"}, H5T_STD_I16LE, "int16", 2, [](int code) { return code; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typeName + std::string(" x") + std::to_string(c.oversamples));
        std::vector<std::string> args = {"acquire", "--bscans", "2", "-o", "scan.h5"};
        args.insert(args.end(), c.settings.begin(), c.settings.end());
        args.insert(args.end(), {"--set", "NumberOfSamples=128"});
        succeed(args, kRamp);
        const H5File h5(file("scan.h5").string());
        EXPECT_TRUE(h5.hasType("/scan/ascans", c.type));
        EXPECT_EQ(c.typeName, h5.attributeString("/scan/ascans", "sample_type"));
        EXPECT_EQ(c.oversamples, static_cast<std::uint32_t>(h5.integers("/scan/oversamples_per_position")[0]));
        const auto dims = h5.dims("/scan/ascans");
        const auto samples = samplesOf(h5.integers("/scan/ascans"), dims, 1, 0);
        const std::uint32_t bytes = h5.attributeU32("/scan", "bytes_per_sample");
        const std::uint32_t perOversample = 128 / c.oversamples;
        // Each oversample's header word is out; the record ends 4 bytes per oversample short.
        EXPECT_EQ(128 - 4 * c.oversamples / bytes, samples.size());
        for (std::uint32_t i = 0; i < samples.size(); ++i) {
            ASSERT_EQ(c.expected(rampCode(0, 0, i / perOversample, i % perOversample)), samples[i]) << i;
        }
    }
}

// Two positions of different lengths (step 1 keeps its default count): one dataset each.
TEST_F(Kzctl, PositionsOfDifferentLengthsGetADatasetEach) {
    succeed({"acquire", "--bscans", "3", "--set", "NumberOfSamples=64", "--set", "NumberOfAScansPerBScan=2", "-o",
             "scan.h5"},
            kRamp);
    const H5File h5(file("scan.h5").string());
    ASSERT_TRUE(h5.isGroup("/scan/ascans"));
    EXPECT_EQ((std::vector<std::string>{"position_000", "position_001"}), h5.members("/scan/ascans"));
    EXPECT_EQ(2u, h5.attributeU32("/scan/ascans", "positions"));
    EXPECT_EQ((std::vector<std::int64_t>{62, 2}), h5.integers("/scan/samples_per_position"));
    EXPECT_EQ((std::vector<hsize_t>{3, 2}), h5.dims("/scan/ascan_headers"));
    for (std::uint32_t k = 0; k < 2; ++k) {
        const std::string name = "/scan/ascans/position_00" + std::to_string(k);
        const auto samples = h5.integers(name);
        const std::size_t n = k == 0 ? 62 : 2;
        ASSERT_EQ((std::vector<hsize_t>{3, n}), h5.dims(name));
        EXPECT_EQ("counts", h5.attributeString(name, "units"));
        for (std::size_t i = 0; i < samples.size(); ++i) {
            ASSERT_EQ(rampCode(0, k, 0, static_cast<std::uint32_t>(i % n)), samples[i]) << name << " " << i;
        }
    }
}

// The file's samples are what KZ_GetBScan returns in a host program with the same settings.
TEST_F(Kzctl, AcquiredScansMatchGetBScan) {
    succeed({"acquire", "--bscans", "3", "--set", "NumberOfSamples=200", "--set", "RectifierMode=1", "-o",
             "scan.h5"},
            kRamp);
    const H5File h5(file("scan.h5").string());
    const auto dims = h5.dims("/scan/ascans");
    const auto fileSamples = h5.integers("/scan/ascans");
    const auto fileHeaders = h5.integers("/scan/ascan_headers");

    ASSERT_EQ(1u, KZ_Initialise(0)) << std::hex << KZ_GetLastError();
    ASSERT_EQ(1u, XAVO_SIM_SetDataSource(0, XAVO_SIM_DATA_RAMP, 0));
    ASSERT_EQ(1u, KZ_SetValue(0, "NumberOfSamples", 200));
    ASSERT_EQ(1u, KZ_SetValue(0, "RectifierMode", 1));
    ASSERT_EQ(1u, KZ_SetNumberOfBScansPerBankIsAutomatic(0, 0));
    ASSERT_EQ(1u, KZ_SetNumberOfBScansPerBank(0, 1));
    const std::uint32_t values = KZ_ReturnAScanSampleValuesThisStep(0, 0);
    ASSERT_EQ(200u, values);
    for (std::size_t b = 0; b < 3; ++b) {
        std::vector<std::int16_t> buffer(values);
        void* entries[] = {buffer.data()};
        ASSERT_EQ(1u, KZ_GetBScan(0, entries));
        std::uint32_t header = 0;
        std::memcpy(&header, buffer.data(), sizeof header);
        EXPECT_EQ(header, static_cast<std::uint32_t>(fileHeaders[b]));
        const std::vector<std::int64_t> expected(buffer.begin() + 2, buffer.end());
        EXPECT_EQ(expected, samplesOf(fileSamples, dims, b, 0)) << "B-scan " << b;
    }
    KZ_Uninitialise(0);
}

TEST_F(Kzctl, FailedAcquisitionLeavesNoFile) {
    // Single A-scan mode: KZ_GetBScan refuses the first B-scan.
    expectLibraryFailure(run({"acquire", "--set", "ScanStorageOptions=1", "-o", "scan.h5"}, kRamp), "KZ_GetBScan",
                         0x5b00);
    EXPECT_FALSE(fs::exists(file("scan.h5")));
    EXPECT_FALSE(fs::exists(file("scan.h5.part")));

    const Result r = run({"acquire", "-o", "no/such/folder/scan.h5"}, kRamp);
    EXPECT_EQ(1, r.exitCode);
    EXPECT_NE(std::string::npos, r.err.find("cannot write no/such/folder/scan.h5")) << r.err;
}

// Terminated while it captures, kzctl stops between two B-scans, shuts the card down and
// leaves no file, partial or complete.
TEST_F(Kzctl, InterruptedAcquisitionLeavesNoFile) {
    const pid_t child = start({"acquire", "--bscans", "10000000", "-o", "scan.h5"}, kRamp);
    ASSERT_GT(child, 0);
    // The partial file appears once the capture is about to start (bounded wait for the other
    // process).
    for (int i = 0; i < 20000 && !fs::exists(file("scan.h5.part")); ++i) {
        usleep(1000);
    }
    EXPECT_TRUE(fs::exists(file("scan.h5.part")));
    kill(child, SIGTERM);
    EXPECT_EQ(130, finish(child));
    EXPECT_FALSE(fs::exists(file("scan.h5.part")));
    EXPECT_FALSE(fs::exists(file("scan.h5")));
}

} // namespace
