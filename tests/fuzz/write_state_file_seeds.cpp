// Writes the seed corpus of the state_file fuzz target: files that KZ_SaveState writes for every
// section selector, from a card with settings, gates and tables of its own, each behind the
// target's flag byte and selector byte.
//
//   write_state_file_seeds <folder>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "XAVOKZ.h"
#include "fuzz_card.h"
#include "fuzz_target.h"

namespace {

constexpr std::uint32_t kCard = 0;
// A curved gate saves 4096 lines; its seed keeps the header and the first ones.
constexpr std::size_t kCurvedGateSeedLines = 48;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string firstLines(const std::string& text, std::size_t lines)
{
    std::size_t end = 0;
    for (std::size_t i = 0; i < lines && end != std::string::npos; ++i) {
        end = text.find('\n', end == 0 ? 0 : end + 1);
    }
    return end == std::string::npos ? text : text.substr(0, end + 1);
}

GateDefinition gate(std::int32_t index, std::int32_t start, std::int32_t end, std::uint32_t triggerGate)
{
    GateDefinition g{};
    g.gateIndex = index;
    g.start = start;
    g.end = end;
    g.threshold = 300 + static_cast<std::uint32_t>(index);
    g.triggerGate = triggerGate;
    g.distanceMetric = KZ_GDMPeak;
    g.enabled = 1;
    g.amplitudePeakSelect = KZ_GAPSLargestPeak;
    g.distancePeakSelect = KZ_GDPSLargestPeak;
    return g;
}

// A card whose settings differ from the defaults, with two gates, a TCG curve and a ping-pong
// table.
void shapeCard(bool sequenced)
{
    kz::fuzz::reloadLibrary(1);
    kz::fuzz::bringUpCard(kCard, sequenced);
    kz::fuzz::completeBringUp(kCard);
    XAVO_FUZZ_CHECK(KZ_SetNumberOfSamples(kCard, 256) == 1);
    XAVO_FUZZ_CHECK(KZ_SetStartDelay(kCard, 40) == 1);
    XAVO_FUZZ_CHECK(KZ_SetEncoderSelect(kCard, 1) == 1);
    const GateDefinition first = gate(0, 100, 300, KZ_GATE_TRIGGER_NONE);
    const GateDefinition second = gate(2, 50, 120, 0);
    XAVO_FUZZ_CHECK(KZ_AddGate(kCard, &first) == 1);
    XAVO_FUZZ_CHECK(KZ_AddGate(kCard, &second) == 1);
    const std::uint16_t curve[] = {0, 40, 80, 120, 160, 200, 240, 280};
    XAVO_FUZZ_CHECK(KZ_SetTCGValues(kCard, curve, static_cast<std::uint32_t>(std::size(curve))) == 1);
    std::vector<std::uint16_t> elements(KZ_PINGPONG_SEQUENCE_LENGTH);
    std::vector<std::uint16_t> order(KZ_PINGPONG_SEQUENCE_LENGTH);
    for (std::uint16_t i = 0; i < KZ_PINGPONG_SEQUENCE_LENGTH; ++i) {
        elements[i] = static_cast<std::uint16_t>(KZ_PINGPONG_SEQUENCE_LENGTH - 1 - i);
        order[i] = i;
    }
    XAVO_FUZZ_CHECK(KZ_SetPingPongSequence(kCard, elements.data(), order.data()) == 1);
}

void writeSeed(const std::string& folder, const std::string& name, std::uint8_t flags, std::uint32_t selector,
               std::size_t keepLines = 0)
{
    const std::string saved = kz::fuzz::scratchFolder() + "/seed.dab";
    XAVO_FUZZ_CHECK(KZ_SaveState(kCard, saved.c_str(), selector) == 1);
    std::string contents = readFile(saved);
    if (keepLines != 0) {
        contents = firstLines(contents, keepLines);
    }
    std::string seed;
    seed.push_back(static_cast<char>(flags));
    seed.push_back(static_cast<char>(selector));
    kz::fuzz::writeFile(folder + "/" + name, seed + contents);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    shapeCard(true);
    const char* names[] = {"saved_all",   "saved_settings", "saved_system", "saved_sampling", "saved_peripheral",
                           "saved_gates", "saved_tcg",      "saved_pingpong"};
    for (std::uint32_t selector = 0; selector < std::size(names); ++selector) {
        writeSeed(folder, names[selector], 0, selector);
    }
    std::vector<std::uint16_t> thresholds(KZ_CURVED_GATE_NUMBER_OF_VALUES);
    for (std::size_t i = 0; i < thresholds.size(); ++i) {
        thresholds[i] = static_cast<std::uint16_t>(i % 2048);
    }
    XAVO_FUZZ_CHECK(KZ_SetCurvedGateData(kCard, thresholds.data()) == 1);
    writeSeed(folder, "saved_curved_gate_beginning", 0, KZ_SFSCurvedGate, kCurvedGateSeedLines);

    shapeCard(false);
    writeSeed(folder, "saved_settings_older_firmware", 1, KZ_SFSSettings);
    writeSeed(folder, "saved_gates_older_firmware", 1, KZ_SFSGates);
    return 0;
}
