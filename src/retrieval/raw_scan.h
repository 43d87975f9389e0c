// The library's road to the raw-scan service. No other module includes the service's header.
#pragma once

#include <cstdint>

#include "XAVOKZ.h"

namespace kz::rawscan {

// The service's internal record of one host raw-scan record; its layout is known here only.
struct InternalRecord;

// Non-zero when `header` is a valid header word for oversample `oversample` of A-scan position
// `position`.
std::uint32_t checkAScanHeader(std::uint32_t header, std::uint32_t position, std::uint32_t oversample);

// The service's internal record of `rawScan`; nullptr when the service gives none.
InternalRecord* internalRecordOf(const XAVO_RawScan* rawScan);

// Fills the internal record from the card's record: ping-pong positions (zeros while the card
// has no ping-pong table), noise filter, oversamples, A-scan and gate offsets and sizes, enabled
// gate counts, the extra header flag and the record's fixed words.
void fillInternalRecord(InternalRecord& record, const BoardState& board);

// Frees the service's internal records; the service's answer is passed on.
std::uint32_t uninitialise();

} // namespace kz::rawscan
