// Writes the firmware images of the simulated card into a folder.
//
//   kz_firmware_gen <output-folder>
//
// Each image is one record of the card's image format: the register word its bank reports,
// then a short payload that names the image. The file names follow the library's naming
// ("dsp_v%03x.bin", "per_v%03x.bin" of the configuration's version numbers).
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "firmware_image.h"

namespace {

using namespace xavo::fwimage;

struct ImageSpec {
    std::uint8_t kind;
    std::uint32_t configVersion;  // as the library's configuration names it, e.g. 0x228
};

// The sequenced pair the library uses by default, and the fixed non-sequenced pair.
constexpr ImageSpec kImages[] = {
    {kKindSampling, 0x228},
    {kKindPeripheral, 0x21F},
    {kKindSampling, 0x125},
    {kKindPeripheral, 0x016},
};

constexpr std::size_t kPayloadBytes = 20;

std::string fileName(const ImageSpec& image) {
    char name[32];
    std::snprintf(name, sizeof name, "%s_v%03x.bin", image.kind == kKindSampling ? "dsp" : "per",
                  static_cast<unsigned>(image.configVersion));
    return name;
}

// A readable tag ("KZ sampling 228"), padded to a fixed size with a byte pattern that holds
// every bit position, so that a download with a wrong bit order cannot pass unnoticed.
std::vector<std::uint8_t> payload(const ImageSpec& image) {
    char tag[kPayloadBytes + 1];
    const int n = std::snprintf(tag, sizeof tag, "KZ %s %03x", image.kind == kKindSampling ? "sampling" : "peripheral",
                                static_cast<unsigned>(image.configVersion));
    std::vector<std::uint8_t> bytes(tag, tag + (n < 0 ? 0 : n));
    for (std::uint8_t fill = 0x01; bytes.size() < kPayloadBytes; fill = static_cast<std::uint8_t>(fill * 3 + 0x5A))
        bytes.push_back(fill);
    bytes.resize(kPayloadBytes);
    return bytes;
}

bool writeImage(const std::filesystem::path& folder, const ImageSpec& image) {
    const std::vector<std::uint8_t> record =
        encodeRecord(image.kind, registerWordFromConfigVersion(image.configVersion), payload(image));
    static_assert(kHeaderBytes + kPayloadBytes >= kMinImageBytes && kHeaderBytes + kPayloadBytes <= kMaxImageBytes);
    const std::filesystem::path path = folder / fileName(image);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(record.data()), static_cast<std::streamsize>(record.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "kz_firmware_gen: cannot write %s\n", path.string().c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kz_firmware_gen <output-folder>\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "kz_firmware_gen: cannot create %s: %s\n", folder.string().c_str(),
                     error.message().c_str());
        return 1;
    }
    for (const ImageSpec& image : kImages)
        if (!writeImage(folder, image)) return 1;
    return 0;
}
