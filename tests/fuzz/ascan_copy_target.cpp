// The data-collection service's copy of one A-scan, with any A-scan index, B-scan index, byte
// count and header word at the A-scan's place, called as the library calls it (under the card's
// lock, on a held bank) and through KZ_GetAScan. A copy that succeeds stays inside its B-scan's
// A-scan area and brings exactly the card's bytes; a copy of a whole captured record never fails.
#include <algorithm>
#include <vector>

#include "XAVODataCollection.h"
#include "XAVOKZ.h"
#include "XAVOSimControl.h"
#include "frame/board_table.h"
#include "fuzz_card.h"
#include "fuzz_target.h"
#include "lifecycle/data_collection.h"

namespace {

constexpr std::uint32_t kCard = 0;
constexpr std::uint32_t kSampleClockHz = 66'000'000;
constexpr std::uint32_t kAScansPerSecond = 5000;
constexpr std::uint32_t kBScansPerBank = 2;
constexpr std::uint64_t kSampleMemoryBytes = KZ_SYSTEM_RAM_OFFSET;
// No copy can be longer than a B-scan's A-scan area; the host's buffer is never larger than this.
constexpr std::uint32_t kLargestBuffer = 1u << 16;

struct Position {
    std::uint32_t samples;
    std::uint32_t oversamples;
};
constexpr Position kPositions[] = {{64, 1}, {32, 2}, {16, 1}};
constexpr auto kNumberOfPositions = static_cast<std::uint32_t>(std::size(kPositions));

// Flags of the input's first byte.
constexpr std::uint8_t kThroughGetAScan = 1u << 0;
constexpr std::uint8_t kWriteHeader = 1u << 1;
constexpr std::uint8_t kSmallNumbers = 1u << 2;

// A card capturing banks of two B-scans of three positions of 16-bit ramp data, bound to the
// data-collection service in snapshot mode.
void shapeCard()
{
    kz::fuzz::loadLibraryOnce(1);
    kz::fuzz::bringUpCard(kCard, true);
    XAVO_FUZZ_CHECK(KZ_SetSamplingFrequency(kCard, kSampleClockHz) == 1);
    XAVO_FUZZ_CHECK(kz::dc::bind(1) == 1);
    XAVO_FUZZ_CHECK(KZ_SetTriggerSelect(kCard, 1) == 1);
    XAVO_FUZZ_CHECK(KZ_SetRepetitionRate(kCard, kAScansPerSecond) == 1);
    XAVO_FUZZ_CHECK(KZ_SetNumberOfBScansPerBankIsAutomatic(kCard, 0) == 1);
    XAVO_FUZZ_CHECK(XAVO_SIM_SetDataSource(kCard, XAVO_SIM_DATA_RAMP, 0) == 1);
    XAVO_FUZZ_CHECK(KZ_SetSampleStorageMode(kCard, 0) == 1);
    for (std::uint32_t k = 0; k < kNumberOfPositions; ++k) {
        XAVO_FUZZ_CHECK(KZ_SetSequenceStep(kCard, k) == 1);
        XAVO_FUZZ_CHECK(KZ_SetNumberOfOversamples(kCard, kPositions[k].oversamples) == 1);
        XAVO_FUZZ_CHECK(KZ_SetNumberOfSamples(kCard, kPositions[k].samples * kPositions[k].oversamples) == 1);
    }
    XAVO_FUZZ_CHECK(KZ_SetStepsInSequence(kCard, kNumberOfPositions) == 1);
    XAVO_FUZZ_CHECK(KZ_SetSequenceStep(kCard, 0) == 1);
    XAVO_FUZZ_CHECK(KZ_SetScanStorageOptions(kCard, 0) == 1);
    XAVO_FUZZ_CHECK(KZ_SetNumberOfBScansPerBank(kCard, kBScansPerBank) == 1);
}

// Bytes of position k's record: per oversample a header word and its 16-bit samples.
std::uint32_t recordBytes(std::uint32_t k)
{
    return kPositions[k].oversamples * (4 + 2 * kPositions[k].samples);
}

// Where the service finds A-scan a of B-scan b, from the library's layout.
std::uint64_t placeOf(std::uint32_t a, std::uint32_t b)
{
    return std::uint64_t{b} * KZ_ReturnAScanBytesPerBScan(kCard) + KZ_ReturnAScanOffsetThisStep(kCard, a);
}

} // namespace

// Input: a flag byte, the A-scan index, the B-scan index, the byte count and a header word (32
// bits each).
XAVO_FUZZ_TARGET(ascan_copy)
{
    static const bool ready = (shapeCard(), true);
    (void)ready;
    static bool bankHeld = false;
    if (!bankHeld) {
        XAVO_FUZZ_CHECK(DC_WaitForBankSwap(kCard) == 1);
        bankHeld = true;
    }

    kz::fuzz::Input input(data, size);
    const std::uint8_t flags = input.byte();
    std::uint32_t a = input.word32();
    std::uint32_t b = input.word32();
    std::uint32_t bytes = input.word32();
    const std::uint32_t header = input.word32();
    if ((flags & kSmallNumbers) != 0) {
        a %= kNumberOfPositions + 2;
        b %= kBScansPerBank + 1;
        bytes %= 2 * recordBytes(0);
    }

    // A header word of the input at the place of A-scan a of B-scan b, for this call only.
    const std::uint64_t place = placeOf(a, b);
    std::uint32_t savedWord = 0;
    const bool headerWritten = (flags & kWriteHeader) != 0 && b < kBScansPerBank && place + 4 <= kSampleMemoryBytes;
    if (headerWritten) {
        XAVO_FUZZ_CHECK(XAVO_SIM_ReadMemory(kCard, static_cast<std::uint32_t>(place), &savedWord, 4) == 1);
        XAVO_FUZZ_CHECK(XAVO_SIM_WriteMemory(kCard, static_cast<std::uint32_t>(place), &header, 4) == 1);
    }

    // At least one byte, so that the buffer is never null.
    std::vector<std::uint8_t> buffer(std::max(1u, std::min(bytes, kLargestBuffer)), 0xEE);
    std::uint32_t copied = 0;
    if ((flags & kThroughGetAScan) != 0) {
        copied = KZ_GetAScan(kCard, buffer.data(), bytes, a, b);
        bankHeld = false; // handed back on every path
    } else {
        KZ_Lock(kCard);
        copied = DC_GetAScanNoBankSwap(kCard, buffer.data(), bytes, a, b);
        KZ_Unlock(kCard);
    }

    if (copied != 0) {
        // Inside B-scan b's A-scan area, and the card's bytes.
        const std::uint64_t areaBytes = KZ_ReturnAScanBytesPerBScan(kCard);
        XAVO_FUZZ_CHECK(b < kBScansPerBank);
        XAVO_FUZZ_CHECK(place >= b * areaBytes && place + bytes <= (b + 1) * areaBytes);
        XAVO_FUZZ_CHECK(bytes <= buffer.size());
        std::vector<std::uint8_t> card(bytes);
        XAVO_FUZZ_CHECK(XAVO_SIM_ReadMemory(kCard, static_cast<std::uint32_t>(place), card.data(), bytes) == 1);
        XAVO_FUZZ_CHECK(std::equal(card.begin(), card.end(), buffer.begin()));
    } else if (!headerWritten && a < kNumberOfPositions && b < kBScansPerBank && bytes <= recordBytes(a)) {
        // The whole record, or its beginning, of a captured A-scan is always there to copy.
        XAVO_FUZZ_CHECK(false);
    }

    if (headerWritten) {
        XAVO_FUZZ_CHECK(XAVO_SIM_WriteMemory(kCard, static_cast<std::uint32_t>(place), &savedWord, 4) == 1);
    }
}
