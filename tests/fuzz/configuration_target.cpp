// The configuration reader on any file contents and any key: the profile reader itself, every
// key of the table through the integer and text readers, and the exports that take a channel
// index.
#include <string>

#include "XAVOKZ.h"
#include "frame/board_table.h"
#include "frame/configuration.h"
#include "fuzz_card.h"
#include "fuzz_target.h"
#include "platform/platform.h"

namespace {

constexpr const char* kMissing = "default";

// What a reader with a buffer of `bufferSize` characters can hand back.
bool fitsBuffer(const std::string& value, std::size_t bufferSize)
{
    return bufferSize == 0 ? value.empty() : value.size() < bufferSize;
}

} // namespace

// Input: a selector byte (key of the table, buffer size, index), a key name of any bytes, then the
// file's contents.
XAVO_FUZZ_TARGET(configuration)
{
    using namespace kz;
    fuzz::loadLibraryOnce(1);
    fuzz::Input input(data, size);
    const std::uint8_t selector = input.byte();
    const std::string key = input.shortText();
    const std::string contents = input.rest();

    static const std::string path = fuzz::scratchFolder() + "/XAVOKZ.ini";
    fuzz::writeFile(path, contents);
    library().configurationPath = path;

    // Any key and any buffer size: a value is the file's text or the default, cut to the buffer.
    const std::size_t bufferSize = selector % (config::kValueBufferSize + 20);
    const std::string value = platform::readProfileString(path, "KZ", key, kMissing, bufferSize);
    XAVO_FUZZ_CHECK(fitsBuffer(value, bufferSize));
    XAVO_FUZZ_CHECK(contents.find(value) != std::string::npos || std::string(kMissing).starts_with(value));

    // Every key of the table, as text and as a number.
    const auto tableKey = static_cast<config::Key>(selector % config::kNumberOfKeys);
    XAVO_FUZZ_CHECK(fitsBuffer(config::readString(tableKey), config::kValueBufferSize));
    config::readInteger(tableKey);
    // Any value parses, however long its digits run.
    config::parseInteger(value);

    // The exports, with any channel index.
    std::uint32_t dsp = 0;
    std::uint32_t per = 0;
    XAVO_FUZZ_CHECK(KZ_GetZUTAMFirmwareRevisions(&dsp, &per) == 1);
    KZ_GetTolvennaSerialMuxGain(selector);
    KZ_GetTolvennaSerialMuxFilter(selector);
    KZ_GetTolvennaSerialMuxValue();
    KZ_GetTolvennaSerialMuxVoltageClamp();
}
