// Recovery of a card whose sample memory has filled: the data-collection service calls it to
// bring the card back to capturing.
#include "XAVOKZ.h"
#include "acquisition/timing.h"
#include "frame/card_lock.h"
#include "lifecycle/data_collection.h"
#include "platform/platform.h"

namespace kz {

namespace {

// While the card recovers it pulses slowly.
constexpr std::uint32_t kRecoveryRepetitionRate = 200;
constexpr std::uint32_t kDownloadSignals = 2;
constexpr std::uint32_t kPauseBeforeSignalMs = 10;

// What the card pulses at: the period it runs and the record's two fields describing it.
struct Pulsing {
    std::uint32_t periods = 0;
    std::uint32_t repetitionRate = 0;
    std::uint32_t repetitionTime = 0;
};

std::uint32_t savePulsing(std::uint32_t cardIndex, Pulsing* saved)
{
    return withLockedCard(cardIndex, saved, [&](BoardState& board, Pulsing* out) -> std::uint32_t {
        out->repetitionRate = board.repetitionRate;
        out->repetitionTime = board.repetitionTime;
        if (getNumberOfPeriodsBetweenAScanTriggers(cardIndex, &out->periods) == 0) {
            out->periods = board.repetitionTime;
        }
        return 1;
    });
}

// The period goes back exactly, whether or not the saved rate could be turned into one again,
// and the record describes it as before.
std::uint32_t restorePulsing(std::uint32_t cardIndex, const Pulsing& saved)
{
    return withLockedCard(cardIndex, [&](BoardState& board) -> std::uint32_t {
        if (setNumberOfPeriodsBetweenAScanTriggers(cardIndex, saved.periods) == 0) {
            return 0;
        }
        board.repetitionRate = saved.repetitionRate;
        board.repetitionTime = saved.repetitionTime;
        return 1;
    });
}

} // namespace

} // namespace kz

extern "C" {

// No look-up and no lock of its own: the operations it calls look the card up and lock it
// themselves. Their failures are theirs to report; the recovery always returns 1.
KZ_API uint32_t KZ_DataFullRecovery(uint32_t cardIndex)
{
    kz::Pulsing saved;
    const bool haveSaved = kz::savePulsing(cardIndex, &saved) != 0;
    KZ_SetRepetitionRate(cardIndex, kz::kRecoveryRepetitionRate);
    for (std::uint32_t i = 0; i < kz::kDownloadSignals; ++i) {
        kz::platform::sleepMilliseconds(kz::kPauseBeforeSignalMs);
        kz::dc::indicateSampleDataDownloaded(cardIndex);
    }
    KZ_ResetFirmware(cardIndex);
    if (haveSaved) {
        kz::restorePulsing(cardIndex, saved);
    }
    return 1;
}

} // extern "C"
