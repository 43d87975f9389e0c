// The firmware download on any pair of image files, and the card's decoding of what it was sent
// when it is released: the images the card then runs are the images the two files hold.
#include <string>

#include "XAVOKZ.h"
#include "XAVOSimControl.h"
#include "firmware_image.h"
#include "frame/error_codes.h"
#include "fuzz_card.h"
#include "fuzz_target.h"
#include "hardware/registers.h"

namespace {

// Flags of the input's first byte.
constexpr std::uint8_t kSamplingMissing = 1u << 0;
constexpr std::uint8_t kPeripheralMissing = 1u << 1;
constexpr std::uint8_t kPrepareOnly = 1u << 2;

} // namespace

// Input: a flag byte, the sampling file's length (16 bits), the sampling file, then the
// peripheral file.
XAVO_FUZZ_TARGET(firmware_download)
{
    using namespace kz;
    static const bool cardReady = [] {
        fuzz::loadLibraryOnce(1);
        fuzz::bringUpCard(0, true);
        return true;
    }();
    (void)cardReady;

    fuzz::Input input(data, size);
    const std::uint8_t flags = input.byte();
    const std::string sampling = input.bytes(input.word16());
    const std::string peripheral = input.rest();

    static const std::string samplingPath = fuzz::scratchFolder() + "/dsp_v228.bin";
    static const std::string peripheralPath = fuzz::scratchFolder() + "/per_v21f.bin";
    static const std::string absentPath = fuzz::scratchFolder() + "/absent.bin";
    fuzz::writeFile(samplingPath, sampling);
    fuzz::writeFile(peripheralPath, peripheral);

    KZ_ClearErrorLog();
    const bool samplingMissing = (flags & kSamplingMissing) != 0;
    const bool peripheralMissing = (flags & kPeripheralMissing) != 0;
    const std::uint32_t prepareOnly = (flags & kPrepareOnly) != 0 ? 1 : 0;
    const std::uint32_t result = KZ_DumpBinFiles(0, samplingMissing ? absentPath.c_str() : samplingPath.c_str(),
                                                 peripheralMissing ? absentPath.c_str() : peripheralPath.c_str(),
                                                 prepareOnly);
    if (samplingMissing || peripheralMissing) {
        XAVO_FUZZ_CHECK(result == 0);
        XAVO_FUZZ_CHECK(KZ_GetLastError() == (samplingMissing ? err::DumpBinFilesCannotOpenSamplingFirmwareFile
                                                              : err::DumpBinFilesCannotOpenPeripheralFirmwareFile));
        return;
    }
    if (prepareOnly != 0) {
        XAVO_FUZZ_CHECK(result == 0);
        return;
    }
    XAVO_FUZZ_CHECK(result == 1);
    const std::string sent = sampling + peripheral;
    if (sent.empty()) {
        return; // nothing was sent: the card keeps what it received before
    }

    // The card decodes the download at its release and runs the images the files hold.
    XAVO_FUZZ_CHECK(setBankRegister(Bank::System, 0, reg::sys::kCommand, reg::sys::kCommandRelease) == 1);
    std::uint32_t samplingWord = 0xFFFFFFFF;
    std::uint32_t peripheralWord = 0xFFFFFFFF;
    XAVO_FUZZ_CHECK(XAVO_SIM_GetActiveFirmware(0, &samplingWord, &peripheralWord, nullptr) == 1);
    const auto images = xavo::fwimage::parseDownload(std::vector<std::uint8_t>(sent.begin(), sent.end()));
    XAVO_FUZZ_CHECK(samplingWord == (images ? images->sampling.value_or(0) : 0));
    XAVO_FUZZ_CHECK(peripheralWord == (images ? images->peripheral.value_or(0) : 0));
}
