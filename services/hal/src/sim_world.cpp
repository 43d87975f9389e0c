#include "sim_world.h"

#include <cerrno>
#include <cstdlib>
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

CardSetConfig cardSetFromEnvironment() {
    return parseCardSetConfig(std::getenv("XAVO_SIM_CARDS"), std::getenv("XAVO_SIM_DEVICE"));
}

SimWorld& SimWorld::instance() {
    // Never destroyed: hardware-access calls may still arrive from other libraries' exit code.
    static SimWorld* const world = new SimWorld;
    return *world;
}

void SimWorld::ensureCreatedLocked() {
    if (!created_) powerUpLocked(cardSetFromEnvironment());
}

void SimWorld::powerUpLocked(const CardSetConfig& config) {
    cards_.clear();
    active_.clear();
    for (std::uint32_t i = 0; i < config.count; ++i) cards_.push_back(std::make_shared<SimCard>(config.deviceId));
    deviceId_ = config.deviceId;
    created_ = true;
}

bool SimWorld::configure(std::uint32_t count, std::uint32_t deviceId) {
    if (deviceId != XAVO_HAL_DEVICE_ID_PRIMARY && deviceId != XAVO_HAL_DEVICE_ID_SECONDARY) return false;
    if (count > kMaxCards) return false;
    std::lock_guard lock(mutex_);
    powerUpLocked({count, deviceId});
    return true;
}

void SimWorld::reset() {
    std::lock_guard lock(mutex_);
    powerUpLocked(cardSetFromEnvironment());
    emptyEnumerationSucceeds_ = false;
    rules_.clear();
    log_.clear();
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
    active_ = std::move(matching);
    return true;
}

std::shared_ptr<SimCard> SimWorld::activeCard(std::uint32_t tag, std::uint32_t card) {
    std::lock_guard lock(mutex_);
    ensureCreatedLocked();
    if (tag != XAVO_HAL_KELZOR_TAG || card >= active_.size()) return nullptr;
    return active_[card];
}

std::shared_ptr<SimCard> SimWorld::configuredCard(std::uint32_t card) {
    std::lock_guard lock(mutex_);
    ensureCreatedLocked();
    return card < cards_.size() ? cards_[card] : nullptr;
}

std::optional<XAVO_SIM_FaultRule> SimWorld::evaluateRules(const CallDescriptor& call) {
    std::lock_guard lock(mutex_);
    ensureCreatedLocked();
    return rules_.evaluate(call);
}

std::uint32_t SimWorld::addRule(const XAVO_SIM_FaultRule& rule) {
    std::lock_guard lock(mutex_);
    return rules_.add(rule);
}

bool SimWorld::removeRule(std::uint32_t id) {
    std::lock_guard lock(mutex_);
    return rules_.remove(id);
}

void SimWorld::clearRules() {
    std::lock_guard lock(mutex_);
    rules_.clear();
}

std::uint32_t SimWorld::ruleHits(std::uint32_t id) {
    std::lock_guard lock(mutex_);
    return rules_.hits(id);
}

void SimWorld::appendLog(const CallDescriptor& call, std::uint32_t value, std::uint32_t result) {
    std::lock_guard lock(mutex_);
    if (log_.size() >= kCallLogCapacity) log_.pop_front();
    log_.push_back({call.operation, call.card, call.address, value, call.length, call.direction, result, call.caller});
}

std::uint32_t SimWorld::logLength() {
    std::lock_guard lock(mutex_);
    return static_cast<std::uint32_t>(log_.size());
}

bool SimWorld::logEntry(std::uint32_t index, XAVO_SIM_CallRecord& record) {
    std::lock_guard lock(mutex_);
    if (index >= log_.size()) return false;
    record = log_[index];
    return true;
}

void SimWorld::clearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

std::uint32_t SimWorld::countCalls(std::uint32_t operations, std::uint32_t card, std::uint32_t address) {
    std::lock_guard lock(mutex_);
    std::uint32_t n = 0;
    for (const XAVO_SIM_CallRecord& r : log_) {
        if (operations != 0 && (operations & r.operation) == 0) continue;
        if (card != XAVO_SIM_ANY && card != r.card) continue;
        if (address != XAVO_SIM_ANY && address != r.address) continue;
        ++n;
    }
    return n;
}

void SimWorld::setCallerIsService(bool flag) {
    tCallerMark = {callerGeneration_.load(), flag};
}

std::uint32_t SimWorld::currentCaller() const {
    const bool service = tCallerMark.service && tCallerMark.generation == callerGeneration_.load();
    return service ? XAVO_SIM_CALLER_SERVICE : XAVO_SIM_CALLER_LIBRARY;
}

}  // namespace xavo::sim
