#include "call_log.h"

#include <bit>
#include <optional>

namespace xavo::sim {

namespace {

bool includes(std::uint32_t operations, std::uint32_t operation) {
    return operations == 0 || (operations & operation) != 0;
}

// Index of the register word at a HAL address across the three banks, if it is one.
std::optional<std::uint32_t> registerWord(std::uint32_t address) {
    if (address < kRegisterWindowBase) return std::nullopt;
    const std::uint32_t raw = address - kRegisterWindowBase;
    if (raw % 4 != 0) return std::nullopt;
    for (std::uint32_t b = 0; b < kBankCount; ++b)
        if (raw >= kBankRawBase[b] && raw - kBankRawBase[b] < kBankBytes)
            return b * kBankWords + (raw - kBankRawBase[b]) / 4;
    return std::nullopt;
}

}  // namespace

void CallLog::count(const XAVO_SIM_CallRecord& record) {
    const auto operation = static_cast<std::uint32_t>(std::countr_zero(record.operation));
    if (operation < kOperationCount) ++byOperation_[operation];
    if (record.operation != XAVO_SIM_OP_GET_WORD && record.operation != XAVO_SIM_OP_SET_WORD) return;
    if (const auto word = registerWord(record.address))
        ++(record.operation == XAVO_SIM_OP_GET_WORD ? registerReads_ : registerWrites_)[*word];
}

void CallLog::keep(std::uint64_t sequence, const XAVO_SIM_CallRecord& record) {
    if (records_.size() >= kCallLogCapacity) records_.pop_front();
    records_.push_back({sequence, record});
}

void CallLog::clear() {
    records_.clear();
    byOperation_.fill(0);
    registerReads_.fill(0);
    registerWrites_.fill(0);
}

std::uint64_t CallLog::counted(std::uint32_t operations, std::uint32_t address) const {
    std::uint64_t n = 0;
    if (address == XAVO_SIM_ANY) {
        for (std::uint32_t i = 0; i < kOperationCount; ++i)
            if (includes(operations, 1u << i)) n += byOperation_[i];
        return n;
    }
    const auto word = registerWord(address);
    if (!word) return 0;  // only register words are counted by address
    if (includes(operations, XAVO_SIM_OP_GET_WORD)) n += registerReads_[*word];
    if (includes(operations, XAVO_SIM_OP_SET_WORD)) n += registerWrites_[*word];
    return n;
}

}  // namespace xavo::sim
