// The process-wide state of the simulation: the configured cards, the set the last enumeration
// made active, the fault rules and the call log. One mutex guards all of it; each card guards
// its own state, and no card mutex is held while this one is taken.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "XAVOSimControl.h"
#include "fault_rules.h"
#include "sim_card.h"

namespace xavo::sim {

inline constexpr std::uint32_t kMaxCards = 64;
// The call log keeps the most recent calls only, so that a long-running host does not grow it
// without bound.
inline constexpr std::size_t kCallLogCapacity = 1'000'000;

// The card set chosen by XAVO_SIM_CARDS and XAVO_SIM_DEVICE (or their defaults).
struct CardSetConfig {
    std::uint32_t count = 1;
    std::uint32_t deviceId = XAVO_HAL_DEVICE_ID_PRIMARY;  // 0 for "none"
};
CardSetConfig cardSetFromEnvironment();
// Parses the two variables' values; nullptr stands for an unset variable. Unreadable values
// fall back to the defaults, counts above kMaxCards are cut to it.
CardSetConfig parseCardSetConfig(const char* cards, const char* device);

class SimWorld {
public:
    static SimWorld& instance();

    // ---- card set ----
    bool configure(std::uint32_t count, std::uint32_t deviceId);
    void reset();
    std::uint32_t numberOfCards();
    std::uint32_t deviceId();
    void setEmptyEnumerationSucceeds(bool flag);
    // Enumeration; true on success. `found` receives the card count when the call stores one.
    bool initialiseCardType(std::uint32_t vendorId, std::uint32_t deviceId, std::uint32_t tag,
                            std::optional<std::uint32_t>& found);
    // A card of the active set, or nullptr for a wrong tag or an index outside it.
    std::shared_ptr<SimCard> activeCard(std::uint32_t tag, std::uint32_t card);
    // A configured card by index, whether enumerated or not, or nullptr.
    std::shared_ptr<SimCard> configuredCard(std::uint32_t card);

    // ---- fault rules and call log ----
    std::optional<XAVO_SIM_FaultRule> evaluateRules(const CallDescriptor& call);
    std::uint32_t addRule(const XAVO_SIM_FaultRule& rule);
    bool removeRule(std::uint32_t id);
    void clearRules();
    std::uint32_t ruleHits(std::uint32_t id);

    void appendLog(const CallDescriptor& call, std::uint32_t value, std::uint32_t result);
    std::uint32_t logLength();
    bool logEntry(std::uint32_t index, XAVO_SIM_CallRecord& record);
    void clearLog();
    std::uint32_t countCalls(std::uint32_t operations, std::uint32_t card, std::uint32_t address);

    // ---- caller marking ----
    void setCallerIsService(bool flag);
    std::uint32_t currentCaller() const;

private:
    SimWorld() = default;
    void ensureCreatedLocked();
    void powerUpLocked(const CardSetConfig& config);

    std::mutex mutex_;
    bool created_ = false;
    std::vector<std::shared_ptr<SimCard>> cards_;
    std::uint32_t deviceId_ = 0;
    std::vector<std::shared_ptr<SimCard>> active_;
    bool emptyEnumerationSucceeds_ = false;
    FaultRules rules_;
    std::deque<XAVO_SIM_CallRecord> log_;  // oldest first, at most kCallLogCapacity records
    // Bumped by reset so that every thread's caller mark returns to "library".
    std::atomic<std::uint64_t> callerGeneration_{1};
};

}  // namespace xavo::sim
