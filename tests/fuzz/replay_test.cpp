// Every seed and every reproducer of every fuzz target, run through the target as the fuzzer
// runs it: a property that fails stops the program, and so fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_target.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> targetNames()
{
    std::vector<std::string> names;
    for (const kz::fuzz::Target& target : kz::fuzz::targets()) {
        names.emplace_back(target.name);
    }
    return names;
}

std::vector<fs::path> inputsOf(const std::string& name)
{
    std::vector<fs::path> files;
    for (const char* folder : {"corpus", "reproducers"}) {
        const fs::path dir = fs::path(XAVO_FUZZ_INPUTS) / folder / name;
        if (!fs::is_directory(dir)) {
            continue;
        }
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

class FuzzReplay : public ::testing::TestWithParam<std::string> {};

TEST_P(FuzzReplay, EverySeedAndReproducerHoldsTheTargetsProperties)
{
    const auto& all = kz::fuzz::targets();
    const auto target = std::find_if(all.begin(), all.end(), [](const auto& t) { return GetParam() == t.name; });
    ASSERT_NE(target, all.end());
    const std::vector<fs::path> files = inputsOf(GetParam());
    ASSERT_FALSE(files.empty()) << "no seed corpus for " << GetParam();
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        target->run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(targetNames()),
                         [](const auto& info) { return info.param; });

} // namespace
