// The library's road to the data-collection service. No other module includes the service's
// header.
#pragma once

#include <cstdint>

namespace kz::dc {

// Binds the service with the library's settings and callbacks: snapshot mode for
// sequence-compatible firmware (`sequenced` non-zero), else collect mode. Returns 1 when the
// service accepted the binding, else 0. The initialisation calls it once per card.
std::uint32_t bind(std::uint32_t sequenced);
// Drops the binding of the mode that `isSequenceCompatibleFirmware` names; the shutdown calls it
// whether or not a binding was made.
void unbind(std::uint32_t isSequenceCompatibleFirmware);

// Asks the service whether the card holds at least one captured B-scan: 1 with the flag stored
// through `flag`, 0 when the service could not tell (it reports no error of the library's).
std::uint32_t getIsSampleDataAvailable(std::uint32_t cardIndex, std::uint32_t* flag);
// Non-zero once a completed bank is ready to be read.
std::uint32_t waitForBankSwap(std::uint32_t cardIndex);
// Copies an A-scan of the ready bank; non-zero when it was copied.
std::uint32_t getAScanNoBankSwap(std::uint32_t cardIndex, void* buffer, std::uint32_t byteCount,
                                 std::uint32_t aScanIndex, std::uint32_t bScanIndex);
// Hands the bank back to the card; the service's answer is passed on.
std::uint32_t indicateSampleDataDownloaded(std::uint32_t cardIndex);
// The next wait ends as soon as one B-scan is captured.
std::uint32_t setRequestEarlySampleData(std::uint32_t cardIndex);

} // namespace kz::dc
