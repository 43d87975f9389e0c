#include "lifecycle/firmware_download.h"

#include <cstdio>
#include <limits>
#include <memory>

#include "XAVOKZ.h"
#include "frame/board_table.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "hardware/hal.h"
#include "lifecycle/download_timer.h"
#include "platform/platform.h"

namespace kz {

namespace {

constexpr std::uint32_t kMissingFileLogLevel = 1;
// The download window holds one word per byte; words beyond it would land in the register banks.
constexpr std::uint64_t kDownloadWindowWords = (hal::kRegisterBase - hal::kFirmwareWindowBase) / 4;

struct Released {
    void operator()(void* block) const { platform::release(block); }
};
template <typename T>
using Buffer = std::unique_ptr<T[], Released>;

template <typename T>
Buffer<T> allocate(std::size_t count)
{
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) {
        return nullptr;
    }
    return Buffer<T>(static_cast<T*>(platform::allocateZeroed(count * sizeof(T))));
}

std::string formatName(const std::string& folder, const char* pattern, std::uint32_t version)
{
    char name[32];
    std::snprintf(name, sizeof name, pattern, version);
    return folder + name;
}

// Opens a firmware file and takes its size; logs the name when it is missing.
bool openFirmware(const char* fileName, platform::File& file, std::size_t* size)
{
    std::uint64_t bytes = 0;
    if (!file.open(fileName, platform::File::Mode::Read) || !file.size(&bytes) ||
        bytes > std::numeric_limits<std::size_t>::max()) {
        logLine(kMissingFileLogLevel, "Firmware file %s not found", fileName);
        return false;
    }
    *size = static_cast<std::size_t>(bytes);
    return true;
}

bool readWhole(platform::File& file, unsigned char* into, std::size_t bytes)
{
    std::size_t done = 0;
    while (done < bytes) {
        std::size_t got = 0;
        if (!file.read(into + done, bytes - done, &got) || got == 0) {
            return false;
        }
        done += got;
    }
    return true;
}

bool waitOneMicrosecond(float microsecondsPerTick)
{
    platform::Clock& clock = platform::clock();
    std::uint64_t start = 0;
    if (!clock.queryCounter(&start)) {
        return false;
    }
    for (;;) {
        std::uint64_t now = 0;
        if (!clock.queryCounter(&now)) {
            return false;
        }
        if (now < start) {
            start = 0;
        }
        if (static_cast<float>(now - start) * microsecondsPerTick >= 1.0f) {
            return true;
        }
    }
}

} // namespace

std::string samplingFirmwareFileName(const std::string& folder, std::uint32_t version)
{
    return formatName(folder, "dsp_v%03x.bin", version);
}

std::string peripheralFirmwareFileName(const std::string& folder, std::uint32_t version)
{
    return formatName(folder, "per_v%03x.bin", version);
}

} // namespace kz

extern "C" {

KZ_API uint32_t KZ_DumpBinFiles(uint32_t cardIndex, const char* samplingFileName, const char* peripheralFileName,
                                uint32_t prepareOnly)
{
    using kz::platform::File;
    if (kz::boardInRange(cardIndex) == nullptr || samplingFileName == nullptr || peripheralFileName == nullptr) {
        return 0;
    }
    File sampling;
    File peripheral;
    std::size_t samplingBytes = 0;
    std::size_t peripheralBytes = 0;
    if (!kz::openFirmware(samplingFileName, sampling, &samplingBytes)) {
        kz::report(kz::err::DumpBinFilesCannotOpenSamplingFirmwareFile);
        return 0;
    }
    if (!kz::openFirmware(peripheralFileName, peripheral, &peripheralBytes)) {
        kz::report(kz::err::DumpBinFilesCannotOpenPeripheralFirmwareFile);
        return 0;
    }
    // An image larger than the download window is refused before the card is touched, as a file
    // that cannot be read into it: the sampling file when it alone is too large, else the
    // peripheral file behind it.
    if (samplingBytes > kz::kDownloadWindowWords) {
        kz::report(kz::err::DumpBinFilesCannotReadSamplingFirmwareFile);
        return 0;
    }
    if (peripheralBytes > kz::kDownloadWindowWords - samplingBytes) {
        kz::report(kz::err::DumpBinFilesCannotReadPeripheralFirmwareFile);
        return 0;
    }
    const std::size_t total = samplingBytes + peripheralBytes;
    auto bytes = kz::allocate<unsigned char>(total);
    auto words = kz::allocate<uint32_t>(total);
    if (!bytes || !words) {
        return 0;
    }
    if (!kz::readWhole(sampling, bytes.get(), samplingBytes)) {
        kz::report(kz::err::DumpBinFilesCannotReadSamplingFirmwareFile);
        return 0;
    }
    sampling.close(); // a failed close of the sampling file is not an error
    if (!kz::readWhole(peripheral, bytes.get() + samplingBytes, peripheralBytes)) {
        kz::report(kz::err::DumpBinFilesCannotReadPeripheralFirmwareFile);
        return 0;
    }
    if (!peripheral.close()) {
        kz::report(kz::err::DumpBinFilesCannotClosePeripheralFirmwareFile);
        return 0;
    }
    for (std::size_t i = 0; i < total; ++i) {
        words[i] = kz::downloadWord(bytes[i]);
    }
    if (prepareOnly != 0) {
        return 0;
    }

    const float microsecondsPerTick = kz::downloadMicrosecondsPerTick();
    if (microsecondsPerTick == 0.0f) {
        return 0;
    }
    for (std::size_t i = 0; i < total; ++i) {
        if (kz::hal::setWord(cardIndex, kz::hal::kFirmwareWindowBase + 4 * static_cast<uint32_t>(i), words[i]) == 0 ||
            !kz::waitOneMicrosecond(microsecondsPerTick)) {
            return 0;
        }
    }
    return 1;
}

} // extern "C"
