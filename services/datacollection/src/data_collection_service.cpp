// The data-collection service: watches a card's capture through its sampling status register
// and pages captured scans out of its sample memory. It reaches the card only through the
// hardware-access library.
#include "XAVODataCollection.h"

#include <cstdint>

#include "XAVOCommonHAL.h"

namespace {

// Sampling status register: B-scans captured in the current bank in bits 16-30.
constexpr std::uint32_t kSamplingStatusAddress = XAVO_HAL_REGISTER_BASE + 512 + 0x64;
constexpr std::uint32_t kCapturedShift = 16;
constexpr std::uint32_t kCapturedMask = 0x7FFF;

bool readStatus(std::uint32_t card, std::uint32_t* word)
{
    return XAVO_HAL_GetWord(XAVO_HAL_KELZOR_TAG, card, kSamplingStatusAddress, word) != 0;
}

std::uint32_t capturedBScans(std::uint32_t status) { return (status >> kCapturedShift) & kCapturedMask; }

} // namespace

extern "C" {

XAVO_DC_API uint32_t DC_GetIsSampleDataAvailable(uint32_t card, uint32_t* available)
{
    std::uint32_t status = 0;
    if (available == nullptr || !readStatus(card, &status)) {
        return 0;
    }
    *available = capturedBScans(status) >= 1 ? 1 : 0;
    return 1;
}

} // extern "C"
