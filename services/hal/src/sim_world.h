// The process-wide state of the simulation: the configured cards, the set the last enumeration
// made active, the fault rules and the call log.
//
// Locking. Each card index has a slot with its own mutex, which guards the active card at that
// index, the fault rules that name the index and the index's call log; a hardware-access call
// on a card holds only its slot's mutex (and the card's own), so calls on different cards never
// wait for each other. The card set has its own mutex, taken by enumeration and by the control
// calls that change or look up the configured cards; it is taken before any slot mutex, never
// while one is held. A control call on an active card holds the card's slot mutex too (see
// CardAccess); the slot's active card is changed only with both held. The rules for every card have one more mutex, taken after a slot's, and
// only while such rules exist. Calls that name no card, or an index beyond the slots, share
// one more slot.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "XAVOSimControl.h"
#include "call_log.h"
#include "fault_rules.h"
#include "sim_card.h"

namespace xavo::sim {

inline constexpr std::uint32_t kMaxCards = 64;

// The sample data the cards start with, chosen by XAVO_SIM_DATA.
struct DataSourceConfig {
    DataSource source = DataSource::Model;
    std::int32_t constantCode = 0;
};
// Parses "model", "ramp" or "constant:CODE" (CODE -2048 to 2047, letter case ignored); nullptr
// and unreadable values give the model.
DataSourceConfig parseDataSourceConfig(const char* text);

// The card set chosen by XAVO_SIM_CARDS, XAVO_SIM_DEVICE and XAVO_SIM_DATA (or their defaults).
struct CardSetConfig {
    std::uint32_t count = 1;
    std::uint32_t deviceId = XAVO_HAL_DEVICE_ID_PRIMARY;  // 0 for "none"
    DataSourceConfig data;
};
CardSetConfig cardSetFromEnvironment();
// Parses the two variables' values; nullptr stands for an unset variable. Unreadable values
// fall back to the defaults, counts above kMaxCards are cut to it.
CardSetConfig parseCardSetConfig(const char* cards, const char* device);

// What one card index owns. Aligned to a cache line of its own, so that two cards' calls do
// not share one.
struct alignas(64) CardSlot {
    std::mutex mutex;
    std::shared_ptr<SimCard> card;  // the active card at this index, or null
    FaultRules rules;               // the rules that name this index
    CallLog log;                    // the calls that named this index
};

// A configured card held for a control call. While the card is active, the lock of its slot is
// held as well, so that the call never overlaps a hardware-access call on the card.
class CardAccess {
public:
    CardAccess() = default;
    CardAccess(std::shared_ptr<SimCard> card, std::unique_lock<std::mutex> slotLock)
        : card_(std::move(card)), slotLock_(std::move(slotLock)) {}

    explicit operator bool() const { return card_ != nullptr; }
    SimCard* operator->() const { return card_.get(); }

private:
    std::shared_ptr<SimCard> card_;
    std::unique_lock<std::mutex> slotLock_;
};

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
    // A configured card by index, whether enumerated or not; empty for an index beyond the set.
    CardAccess accessCard(std::uint32_t card);

    // ---- the calls' path ----
    // The slot of a card index: its own below kMaxCards, else the shared one (also used by
    // the calls that name no card, whose index is XAVO_SIM_ANY).
    CardSlot& slotOf(std::uint32_t card) { return card < kMaxCards ? slots_[card] : other_; }
    // The active card of a locked slot for a call with `tag`, or nullptr.
    static SimCard* activeCard(CardSlot& slot, std::uint32_t tag);
    // The rule that acts on the call, if any; the slot's mutex is held.
    std::optional<XAVO_SIM_FaultRule> evaluateRules(CardSlot& slot, const CallDescriptor& call);
    // Counts the call, and records it while the full log is on; the slot's mutex is held.
    void recordCall(CardSlot& slot, const XAVO_SIM_CallRecord& record);

    // ---- fault rules ----
    std::uint32_t addRule(const XAVO_SIM_FaultRule& rule);
    bool removeRule(std::uint32_t id);
    void clearRules();
    std::uint32_t ruleHits(std::uint32_t id);

    // ---- call log ----
    void setLogEnabled(bool flag) { logEnabled_.store(flag, std::memory_order_relaxed); }
    bool logEnabled() const { return logEnabled_.load(std::memory_order_relaxed); }
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
    // Makes `cards` the active set: slot i holds cards[i], the others none.
    void activateLocked(const std::vector<std::shared_ptr<SimCard>>& cards);
    // The records kept, oldest first: the most recent kCallLogCapacity of every slot's.
    std::vector<XAVO_SIM_CallRecord> keptRecords();
    template <typename Visit>
    void forEachSlot(Visit&& visit);

    // Card set.
    std::mutex mutex_;
    bool created_ = false;
    std::vector<std::shared_ptr<SimCard>> cards_;
    std::vector<std::uint32_t> activeSlotOf_;  // per configured card: its slot, or kMaxCards
    std::uint32_t deviceId_ = 0;
    bool emptyEnumerationSucceeds_ = false;

    CardSlot slots_[kMaxCards];
    CardSlot other_;

    // Rules for every card, and the identifiers of all rules.
    std::mutex anyCardRulesMutex_;
    FaultRules anyCardRules_;
    std::uint32_t nextRuleId_ = 1;

    // Read on every call, written only by the control interface: a cache line of their own.
    alignas(64) std::atomic<bool> anyCardRulesExist_{false};
    std::atomic<bool> logEnabled_{false};
    // Bumped by reset so that every thread's caller mark returns to "library".
    std::atomic<std::uint64_t> callerGeneration_{1};

    // Place of each kept record in the order of all calls; written only while the log is on.
    alignas(64) std::atomic<std::uint64_t> nextSequence_{0};

    // The merged view of the kept records, rebuilt only when a record was kept or the log was
    // cleared since it was built, so that reading the log entry by entry stays linear.
    std::mutex viewMutex_;
    std::vector<XAVO_SIM_CallRecord> view_;
    std::uint64_t viewSequence_ = ~std::uint64_t{0};
    std::uint64_t viewClears_ = 0;
    std::atomic<std::uint64_t> clears_{0};
};

}  // namespace xavo::sim
