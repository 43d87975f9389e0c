#include "sim_world.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <strings.h>

namespace xavo::sim {

namespace {

struct CallerMark {
    std::uint64_t generation = 0;
    bool service = false;
};
thread_local CallerMark tCallerMark;

bool parseNumber(const char* text, std::uint64_t& out) {
    if (text == nullptr || *text == '\0') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || text[0] == '-') return false;
    out = v;
    return true;
}

}  // namespace

CardSetConfig parseCardSetConfig(const char* cards, const char* device) {
    CardSetConfig config;
    std::uint64_t n = 0;
    if (parseNumber(cards, n)) config.count = static_cast<std::uint32_t>(n > kMaxCards ? kMaxCards : n);
    if (device != nullptr) {
        std::uint64_t id = 0;
        if (strcasecmp(device, "none") == 0)
            config.deviceId = 0;
        else if (parseNumber(device, id) && (id == XAVO_HAL_DEVICE_ID_PRIMARY || id == XAVO_HAL_DEVICE_ID_SECONDARY))
            config.deviceId = static_cast<std::uint32_t>(id);
    }
    if (config.deviceId == 0) config.count = 0;
    return config;
}

DataSourceConfig parseDataSourceConfig(const char* text) {
    DataSourceConfig config;
    if (text == nullptr) return config;
    if (strcasecmp(text, "ramp") == 0) {
        config.source = DataSource::Ramp;
    } else if (strncasecmp(text, "constant:", 9) == 0) {
        errno = 0;
        char* end = nullptr;
        const long code = std::strtol(text + 9, &end, 0);
        if (errno == 0 && end != text + 9 && *end == '\0' && code >= kMinCode && code <= kMaxCode) {
            config.source = DataSource::Constant;
            config.constantCode = static_cast<std::int32_t>(code);
        }
    }
    return config;
}

CardSetConfig cardSetFromEnvironment() {
    CardSetConfig config = parseCardSetConfig(std::getenv("XAVO_SIM_CARDS"), std::getenv("XAVO_SIM_DEVICE"));
    config.data = parseDataSourceConfig(std::getenv("XAVO_SIM_DATA"));
    return config;
}

SimWorld& SimWorld::instance() {
    // Never destroyed: hardware-access calls may still arrive from other libraries' exit code.
    static SimWorld* const world = new SimWorld;
    return *world;
}

template <typename Visit>
void SimWorld::forEachSlot(Visit&& visit) {
    for (CardSlot& slot : slots_) visit(slot);
    visit(other_);
}

// ---------------------------------------------------------------- card set

void SimWorld::ensureCreatedLocked() {
    if (!created_) powerUpLocked(cardSetFromEnvironment());
}

void SimWorld::powerUpLocked(const CardSetConfig& config) {
    cards_.clear();
    for (std::uint32_t i = 0; i < config.count; ++i) {
        auto card = std::make_shared<SimCard>(config.deviceId);
        card->setDataSource(config.data.source, config.data.constantCode);
        cards_.push_back(std::move(card));
    }
    activateLocked({});
    deviceId_ = config.deviceId;
    created_ = true;
}

void SimWorld::activateLocked(const std::vector<std::shared_ptr<SimCard>>& cards) {
    for (std::uint32_t i = 0; i < kMaxCards; ++i) {
        std::lock_guard lock(slots_[i].mutex);
        slots_[i].card = i < cards.size() ? cards[i] : nullptr;
    }
    activeSlotOf_.assign(cards_.size(), kMaxCards);
    for (std::uint32_t k = 0; k < cards_.size(); ++k)
        for (std::uint32_t i = 0; i < cards.size() && i < kMaxCards; ++i)
            if (cards[i] == cards_[k]) activeSlotOf_[k] = i;
}

bool SimWorld::configure(std::uint32_t count, std::uint32_t deviceId) {
    if (deviceId != XAVO_HAL_DEVICE_ID_PRIMARY && deviceId != XAVO_HAL_DEVICE_ID_SECONDARY) return false;
    if (count > kMaxCards) return false;
    std::lock_guard lock(mutex_);
    powerUpLocked({count, deviceId, {}});
    return true;
}

void SimWorld::reset() {
    {
        std::lock_guard lock(mutex_);
        powerUpLocked(cardSetFromEnvironment());
        emptyEnumerationSucceeds_ = false;
    }
    clearRules();
    setLogEnabled(false);
    clearLog();
    ++callerGeneration_;
}

std::uint32_t SimWorld::numberOfCards() {
    std::lock_guard lock(mutex_);
    ensureCreatedLocked();
    return static_cast<std::uint32_t>(cards_.size());
}

std::uint32_t SimWorld::deviceId() {
    std::lock_guard lock(mutex_);
    ensureCreatedLocked();
    return deviceId_;
}

void SimWorld::setEmptyEnumerationSucceeds(bool flag) {
    std::lock_guard lock(mutex_);
    ensureCreatedLocked();
    emptyEnumerationSucceeds_ = flag;
}

bool SimWorld::initialiseCardType(std::uint32_t vendorId, std::uint32_t deviceId, std::uint32_t tag,
                                  std::optional<std::uint32_t>& found) {
    std::lock_guard lock(mutex_);
    ensureCreatedLocked();
    if (vendorId != XAVO_HAL_VENDOR_ID || tag != XAVO_HAL_KELZOR_TAG) return false;
    std::vector<std::shared_ptr<SimCard>> matching;
    for (const auto& card : cards_)
        if (card->deviceId() == deviceId) matching.push_back(card);
    found = static_cast<std::uint32_t>(matching.size());
    if (matching.empty() && !emptyEnumerationSucceeds_) return false;
    activateLocked(matching);
    return true;
}

CardAccess SimWorld::accessCard(std::uint32_t card) {
    std::lock_guard lock(mutex_);
    ensureCreatedLocked();
    if (card >= cards_.size()) return {};
    const std::uint32_t slot = activeSlotOf_[card];
    std::unique_lock<std::mutex> slotLock;
    if (slot < kMaxCards) slotLock = std::unique_lock(slots_[slot].mutex);
    return {cards_[card], std::move(slotLock)};
}

// ---------------------------------------------------------------- the calls' path

SimCard* SimWorld::activeCard(CardSlot& slot, std::uint32_t tag) {
    return tag == XAVO_HAL_KELZOR_TAG ? slot.card.get() : nullptr;
}

std::optional<XAVO_SIM_FaultRule> SimWorld::evaluateRules(CardSlot& slot, const CallDescriptor& call) {
    if (!anyCardRulesExist_.load(std::memory_order_acquire)) {
        if (slot.rules.empty()) return std::nullopt;
        return FaultRules::evaluate(call, slot.rules, nullptr);
    }
    std::lock_guard lock(anyCardRulesMutex_);
    return FaultRules::evaluate(call, slot.rules, &anyCardRules_);
}

void SimWorld::recordCall(CardSlot& slot, const XAVO_SIM_CallRecord& record) {
    slot.log.count(record);
    if (logEnabled()) slot.log.keep(nextSequence_.fetch_add(1, std::memory_order_relaxed), record);
}

// ---------------------------------------------------------------- fault rules

std::uint32_t SimWorld::addRule(const XAVO_SIM_FaultRule& rule) {
    if (!FaultRules::isWellFormed(rule)) return 0;
    std::uint32_t id = 0;
    {
        std::lock_guard lock(anyCardRulesMutex_);
        if (nextRuleId_ == 0) return 0;  // every identifier used
        id = nextRuleId_++;
        if (rule.card == XAVO_SIM_ANY) {
            anyCardRules_.add(id, rule);
            anyCardRulesExist_.store(true, std::memory_order_release);
            return id;
        }
    }
    CardSlot& slot = slotOf(rule.card);
    std::lock_guard lock(slot.mutex);
    slot.rules.add(id, rule);
    return id;
}

bool SimWorld::removeRule(std::uint32_t id) {
    {
        std::lock_guard lock(anyCardRulesMutex_);
        if (anyCardRules_.remove(id)) {
            anyCardRulesExist_.store(!anyCardRules_.empty(), std::memory_order_release);
            return true;
        }
    }
    bool removed = false;
    forEachSlot([&](CardSlot& slot) {
        std::lock_guard lock(slot.mutex);
        removed = removed || slot.rules.remove(id);
    });
    return removed;
}

void SimWorld::clearRules() {
    {
        std::lock_guard lock(anyCardRulesMutex_);
        anyCardRules_.clear();
        anyCardRulesExist_.store(false, std::memory_order_release);
    }
    forEachSlot([](CardSlot& slot) {
        std::lock_guard lock(slot.mutex);
        slot.rules.clear();
    });
}

std::uint32_t SimWorld::ruleHits(std::uint32_t id) {
    std::optional<std::uint32_t> hits;
    {
        std::lock_guard lock(anyCardRulesMutex_);
        hits = anyCardRules_.hits(id);
    }
    forEachSlot([&](CardSlot& slot) {
        std::lock_guard lock(slot.mutex);
        if (!hits) hits = slot.rules.hits(id);
    });
    return hits.value_or(0);
}

// ---------------------------------------------------------------- call log

std::vector<XAVO_SIM_CallRecord> SimWorld::keptRecords() {
    std::vector<SequencedRecord> all;
    forEachSlot([&](CardSlot& slot) {
        std::lock_guard lock(slot.mutex);
        all.insert(all.end(), slot.log.records().begin(), slot.log.records().end());
    });
    std::sort(all.begin(), all.end(),
              [](const SequencedRecord& a, const SequencedRecord& b) { return a.sequence < b.sequence; });
    const std::size_t dropped = all.size() > kCallLogCapacity ? all.size() - kCallLogCapacity : 0;
    std::vector<XAVO_SIM_CallRecord> kept;
    kept.reserve(all.size() - dropped);
    for (std::size_t i = dropped; i < all.size(); ++i) kept.push_back(all[i].record);
    return kept;
}

std::uint32_t SimWorld::logLength() {
    // Each slot keeps at most the capacity, so the records beyond it overall are the oldest.
    std::size_t n = 0;
    forEachSlot([&](CardSlot& slot) {
        std::lock_guard lock(slot.mutex);
        n += slot.log.records().size();
    });
    return static_cast<std::uint32_t>(std::min(n, kCallLogCapacity));
}

bool SimWorld::logEntry(std::uint32_t index, XAVO_SIM_CallRecord& record) {
    std::lock_guard lock(viewMutex_);
    const std::uint64_t sequence = nextSequence_.load(std::memory_order_acquire);
    const std::uint64_t clears = clears_.load(std::memory_order_acquire);
    if (sequence != viewSequence_ || clears != viewClears_) {
        view_ = keptRecords();
        viewSequence_ = sequence;
        viewClears_ = clears;
    }
    if (index >= view_.size()) return false;
    record = view_[index];
    return true;
}

void SimWorld::clearLog() {
    forEachSlot([](CardSlot& slot) {
        std::lock_guard lock(slot.mutex);
        slot.log.clear();
    });
    clears_.fetch_add(1, std::memory_order_acq_rel);
}

std::uint32_t SimWorld::countCalls(std::uint32_t operations, std::uint32_t card, std::uint32_t address) {
    std::uint64_t n = 0;
    if (logEnabled()) {
        for (const XAVO_SIM_CallRecord& r : keptRecords()) {
            if (operations != 0 && (operations & r.operation) == 0) continue;
            if (card != XAVO_SIM_ANY && card != r.card) continue;
            if (address != XAVO_SIM_ANY && address != r.address) continue;
            ++n;
        }
    } else if (card == XAVO_SIM_ANY) {
        forEachSlot([&](CardSlot& slot) {
            std::lock_guard lock(slot.mutex);
            n += slot.log.counted(operations, address);
        });
    } else if (card < kMaxCards) {
        std::lock_guard lock(slots_[card].mutex);
        n = slots_[card].log.counted(operations, address);
    }
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(n, std::numeric_limits<std::uint32_t>::max()));
}

// ---------------------------------------------------------------- caller marking

void SimWorld::setCallerIsService(bool flag) {
    tCallerMark = {callerGeneration_.load(), flag};
}

std::uint32_t SimWorld::currentCaller() const {
    const bool service = tCallerMark.service && tCallerMark.generation == callerGeneration_.load();
    return service ? XAVO_SIM_CALLER_SERVICE : XAVO_SIM_CALLER_LIBRARY;
}

}  // namespace xavo::sim
