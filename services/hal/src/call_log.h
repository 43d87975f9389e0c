// The calls one card index received: counts by operation and by register word, always kept,
// and, while the full log is switched on, a record of each call with its place in the
// process-wide order. Each card keeps its own log under its own lock, so recording never makes
// two cards wait for each other; the control interface merges the cards' records by their
// sequence numbers when a test reads them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>

#include "XAVOSimControl.h"
#include "sim_address_map.h"

namespace xavo::sim {

// The log keeps the most recent calls only, so that a long-running host does not grow it
// without bound.
inline constexpr std::size_t kCallLogCapacity = XAVO_SIM_CALL_LOG_CAPACITY;
inline constexpr std::uint32_t kOperationCount = 9;  // the XAVO_SIM_OP_* bits

struct SequencedRecord {
    std::uint64_t sequence;
    XAVO_SIM_CallRecord record;
};

class CallLog {
public:
    // Counts the call.
    void count(const XAVO_SIM_CallRecord& record);
    // Keeps the call's record; the oldest record goes once kCallLogCapacity are kept.
    void keep(std::uint64_t sequence, const XAVO_SIM_CallRecord& record);
    void clear();

    const std::deque<SequencedRecord>& records() const { return records_; }
    // Calls counted whose operation is in `operations` (0: any) and, unless `address` is
    // XAVO_SIM_ANY, that read or wrote the register word at `address`.
    std::uint64_t counted(std::uint32_t operations, std::uint32_t address) const;

private:
    static constexpr std::uint32_t kRegisterWords = kBankCount * kBankWords;

    std::deque<SequencedRecord> records_;  // oldest first, in sequence order
    std::array<std::uint64_t, kOperationCount> byOperation_{};
    std::array<std::uint64_t, kRegisterWords> registerReads_{};
    std::array<std::uint64_t, kRegisterWords> registerWrites_{};
};

}  // namespace xavo::sim
