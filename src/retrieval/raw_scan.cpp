#include "retrieval/raw_scan.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>

#include "XAVORawScan.h"

namespace kz::rawscan {

struct InternalRecord : XAVO_RawScanInternal {};

namespace {

// The internal record's layout, shared with the service.
static_assert(offsetof(XAVO_RawScanInternal, pingPongPositionOfOrder) == 0x000);
static_assert(offsetof(XAVO_RawScanInternal, noiseFilterFirstWord) == 0x100);
static_assert(offsetof(XAVO_RawScanInternal, noiseFilterSecondWord) == 0x104);
static_assert(offsetof(XAVO_RawScanInternal, oversampleCount) == 0x108);
static_assert(offsetof(XAVO_RawScanInternal, aScanOffset) == 0x188);
static_assert(offsetof(XAVO_RawScanInternal, aScanBytesPerBScan) == 0x388);
static_assert(offsetof(XAVO_RawScanInternal, gateOffset) == 0x38C);
static_assert(offsetof(XAVO_RawScanInternal, enabledGateCount) == 0x58C);
static_assert(offsetof(XAVO_RawScanInternal, gateBytesPerBScan) == 0x60C);
static_assert(offsetof(XAVO_RawScanInternal, hasExtraHeaderWord) == 0x610);
static_assert(offsetof(XAVO_RawScanInternal, snapshotSelections) == 0x61C);
static_assert(offsetof(XAVO_RawScanInternal, recordVersion) == 0x620);
static_assert(offsetof(XAVO_RawScanInternal, reserved) == 0x624);
static_assert(sizeof(XAVO_RawScanInternal) == 0x628);
static_assert(sizeof(InternalRecord) == sizeof(XAVO_RawScanInternal));

static_assert(sizeof(XAVO_RawScanInternal::aScanOffset) == sizeof(BoardState::aScanOffset));
static_assert(sizeof(XAVO_RawScanInternal::gateOffset) == sizeof(BoardState::gateOffset));
static_assert(sizeof(XAVO_RawScanInternal::oversampleCount) == sizeof(BoardState::oversampleCount));
static_assert(sizeof(XAVO_RawScanInternal::enabledGateCount) == sizeof(BoardState::enabledGateCount));

constexpr std::uint32_t kSnapshotSelections = 6;
constexpr std::uint32_t kRecordVersion = 1;

} // namespace

std::uint32_t checkAScanHeader(std::uint32_t header, std::uint32_t position, std::uint32_t oversample)
{
    return RawScan_CheckAScanHeader(header, position, oversample);
}

InternalRecord* internalRecordOf(const XAVO_RawScan* rawScan)
{
    return static_cast<InternalRecord*>(RawScan_ReturnRawScanInternal(rawScan));
}

void fillInternalRecord(InternalRecord& record, const BoardState& board)
{
    if (board.pingPongPositionOfOrder != nullptr) {
        std::memcpy(record.pingPongPositionOfOrder, board.pingPongPositionOfOrder,
                    sizeof(record.pingPongPositionOfOrder));
    } else {
        std::fill(std::begin(record.pingPongPositionOfOrder), std::end(record.pingPongPositionOfOrder), 0);
    }
    record.noiseFilterFirstWord = board.noiseFilterParameters[0];
    record.noiseFilterSecondWord = board.noiseFilterParameters[1];
    std::memcpy(record.oversampleCount, board.oversampleCount, sizeof(record.oversampleCount));
    std::memcpy(record.aScanOffset, board.aScanOffset, sizeof(record.aScanOffset));
    record.aScanBytesPerBScan = board.aScanBytesPerBScan;
    std::memcpy(record.gateOffset, board.gateOffset, sizeof(record.gateOffset));
    std::memcpy(record.enabledGateCount, board.enabledGateCount, sizeof(record.enabledGateCount));
    record.gateBytesPerBScan = board.gateBytesPerBScan;
    record.hasExtraHeaderWord = board.hasExtraHeaderWord != 0 ? 1 : 0;
    record.snapshotSelections = kSnapshotSelections;
    record.recordVersion = kRecordVersion;
    record.reserved = 0;
}

std::uint32_t uninitialise() { return RawScan_Uninitialise(); }

} // namespace kz::rawscan
