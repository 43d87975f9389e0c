// The data-collection service: watches a card's capture through its sampling status register,
// waits for completed banks, pages captured A-scans out of the sample memory and hands banks
// back. It reaches the card only through the hardware-access library and the library's bound
// callbacks; its own lock guards its state only and is never held across a call out.
#include "XAVODataCollection.h"
#include "XAVODataCollectionControl.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>

#include "XAVOCommonHAL.h"
#include "XAVORawScan.h"
#include "XAVOSimControl.h"

namespace {

// Nine words, then the callbacks from the first pointer-aligned offset on.
static_assert(offsetof(DC_BindingRecord, lock) == (sizeof(void*) == 8 ? 40 : 36));
static_assert(sizeof(DC_BindingRecord) == offsetof(DC_BindingRecord, lock) + 20 * sizeof(void*));

// Sampling status register: B-scans captured in the bank in bits 16-30, the completed bank held
// in bit 9, the memory full in bit 31.
constexpr std::uint32_t kCapturedShift = 16;
constexpr std::uint32_t kCapturedMask = 0x7FFF;
constexpr std::uint32_t kBankHeld = 1u << 9;
constexpr std::uint32_t kDataFull = 1u << 31;
// System command register and the command that hands a bank back.
constexpr std::uint32_t kCommandRegister = XAVO_HAL_REGISTER_BASE + 0x14;
constexpr std::uint32_t kBankReleased = 0x400;

constexpr std::uint64_t kDefaultTimeoutNs = 5'000'000'000ull;
// The wait runs card time forward in steps of this much.
constexpr std::uint64_t kWaitStepNs = 1'000'000ull;

struct FailRule {
    std::uint32_t skip = 0;
    std::uint32_t count = 0;
    bool active = false;
};

struct CardState {
    bool earlyRequested = false;
    std::uint32_t recoveries = 0;
};

struct Service {
    std::mutex mutex;
    std::optional<DC_BindingRecord> record;
    std::uint32_t mode = DC_SIM_MODE_NONE;
    std::uint32_t bindings = 0;
    std::map<std::uint32_t, CardState> cards;
    std::array<std::uint32_t, DC_SIM_NUMBER_OF_CALLS> calls{};
    std::array<FailRule, DC_SIM_NUMBER_OF_CALLS> fail{};
    std::optional<std::uint32_t> forcedAvailability;
    std::uint64_t timeoutNs = kDefaultTimeoutNs;
    bool headerCheckOnCopy = true;
};

// The service lives from the load of this library to its unload, which runs after the unload of
// every library that depends on this one (whether the host unloads them or exits with them
// loaded), so their last calls still find it; each load-unload cycle frees what it allocated.
Service* instance = nullptr;

__attribute__((constructor)) void startService() { instance = new Service; }

__attribute__((destructor)) void endService()
{
    delete instance;
    instance = nullptr;
}

Service& service() { return *instance; }

// Counts a call; false when a knob makes it fail.
bool admit(std::uint32_t call)
{
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    const std::uint32_t n = s.calls[call]++;
    const FailRule& rule = s.fail[call];
    return !(rule.active && n >= rule.skip && (rule.count == 0 || n - rule.skip < rule.count));
}

std::optional<DC_BindingRecord> binding()
{
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    return s.record;
}

// Marks the hardware-access calls made inside its scope as the service's.
class ServiceCalls {
public:
    ServiceCalls() { XAVO_SIM_SetCallerIsService(1); }
    ~ServiceCalls() { XAVO_SIM_SetCallerIsService(0); }
    ServiceCalls(const ServiceCalls&) = delete;
    ServiceCalls& operator=(const ServiceCalls&) = delete;
};

std::uint32_t tagOf(const std::optional<DC_BindingRecord>& r) { return r ? r->cardTypeTag : XAVO_HAL_KELZOR_TAG; }

bool readStatus(const std::optional<DC_BindingRecord>& r, std::uint32_t card, std::uint32_t* word)
{
    const ServiceCalls marked;
    const std::uint32_t address = r ? r->statusRegister : DC_STATUS_REGISTER_ADDRESS;
    return XAVO_HAL_GetWord(tagOf(r), card, address, word) != 0;
}

std::uint32_t capturedBScans(std::uint32_t status) { return (status >> kCapturedShift) & kCapturedMask; }

bool recordIsValid(const DC_BindingRecord& r, std::uint32_t modeCode, std::uint32_t isCollect)
{
    if (r.recordVersion != DC_RECORD_VERSION || r.statusRegister != DC_STATUS_REGISTER_ADDRESS ||
        r.cardTypeTag != DC_CARD_TYPE_TAG || r.modeCode != modeCode || r.maximumSamples != DC_MAXIMUM_SAMPLES_PER_ASCAN ||
        r.snapshotSelections != DC_SNAPSHOT_SELECTIONS || r.isCollectMode != isCollect ||
        r.cardsPerBinding != DC_CARDS_PER_BINDING || r.reserved != 0) {
        return false;
    }
    // Every callback but the unused slot.
    return r.lock && r.unlock && r.getNumberOfBScansInSram && r.getCScanBaseAddress && r.getAScanBaseAddress &&
           r.setUpdateSampleParametersHook && r.resetFirmware && r.dataFullRecovery && r.getSampleStorageMode &&
           r.getScanStorageOptions && r.copyStateToRawScan && r.oversampleCountThisStep &&
           r.aScanSampleValuesThisStep && r.gateOffsetThisStep && r.gateBytesPerBScan && r.aScanOffsetThisStep &&
           r.aScanBytesPerBScan && r.isSignAndMagnitude && r.snapshotSelectionForGate;
}

std::uint32_t bind(const DC_BindingRecord* record, std::uint32_t mode)
{
    const bool collect = mode == DC_SIM_MODE_COLLECT;
    if (!admit(DC_SIM_CALL_INITIALISE) || record == nullptr ||
        !recordIsValid(*record, collect ? DC_MODE_CODE_COLLECT : DC_MODE_CODE_SNAPSHOT, collect ? 1 : 0)) {
        return 0;
    }
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    s.record = *record;
    s.mode = mode;
    ++s.bindings;
    return 1;
}

std::uint32_t unbind()
{
    admit(DC_SIM_CALL_UNINITIALISE);
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    if (s.bindings > 0) {
        --s.bindings;
    }
    return 1;
}

// The early request of a card: whether it is set; cleared when `clear`.
bool earlyRequest(std::uint32_t card, bool clear)
{
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    CardState& c = s.cards[card];
    const bool was = c.earlyRequested;
    if (clear) {
        c.earlyRequested = false;
    }
    return was;
}

} // namespace

extern "C" {

XAVO_DC_API uint32_t DC_SnapshotInitialise(const DC_BindingRecord* record) { return bind(record, DC_SIM_MODE_SNAPSHOT); }

XAVO_DC_API uint32_t DC_CollectInitialise(const DC_BindingRecord* record) { return bind(record, DC_SIM_MODE_COLLECT); }

XAVO_DC_API uint32_t DC_SnapshotUninitialise(void) { return unbind(); }

XAVO_DC_API uint32_t DC_CollectUninitialise(void) { return unbind(); }

XAVO_DC_API uint32_t DC_WaitForBankSwap(uint32_t card)
{
    if (!admit(DC_SIM_CALL_WAIT)) {
        return 0;
    }
    const std::optional<DC_BindingRecord> r = binding();
    if (!r) {
        return 0;
    }
    std::uint64_t timeout = 0;
    {
        Service& s = service();
        const std::lock_guard lock(s.mutex);
        timeout = s.timeoutNs;
    }
    bool recovered = false;
    std::uint64_t waited = 0;
    for (;;) {
        std::uint32_t status = 0;
        if (!readStatus(r, card, &status)) {
            return 0;
        }
        if ((status & kDataFull) != 0) {
            if (!recovered) {
                // The library brings the card back; it may call the service from inside.
                recovered = true;
                {
                    Service& s = service();
                    const std::lock_guard lock(s.mutex);
                    ++s.cards[card].recoveries;
                }
                r->dataFullRecovery(card);
                continue;
            }
        } else {
            if (capturedBScans(status) >= 1 && earlyRequest(card, false)) {
                earlyRequest(card, true);
                return 1;
            }
            if ((status & kBankHeld) != 0) {
                return 1;
            }
        }
        if (waited >= timeout) {
            return 0;
        }
        const std::uint64_t step = std::min(kWaitStepNs, timeout - waited);
        if (XAVO_SIM_AdvanceCardTime(card, step) == 0) {
            return 0;
        }
        waited += step;
    }
}

XAVO_DC_API uint32_t DC_GetAScanNoBankSwap(uint32_t card, void* buffer, uint32_t bytes, uint32_t aScan, uint32_t bScan)
{
    if (!admit(DC_SIM_CALL_COPY)) {
        return 0;
    }
    const std::optional<DC_BindingRecord> r = binding();
    std::uint32_t status = 0;
    if (!r || (buffer == nullptr && bytes != 0) || !readStatus(r, card, &status) || bScan >= capturedBScans(status)) {
        return 0;
    }
    // Where the A-scan lies, from the library's layout, under the card's lock.
    std::uint32_t base = 0;
    r->lock(card);
    const bool haveBase = r->getAScanBaseAddress(card, &base) != 0;
    const std::uint64_t bScanBytes = r->aScanBytesPerBScan(card);
    const std::uint64_t offset = r->aScanOffsetThisStep(card, aScan);
    r->unlock(card);
    if (!haveBase) {
        return 0;
    }
    const std::uint64_t areaStart = base + std::uint64_t{bScan} * bScanBytes;
    const std::uint64_t address = areaStart + offset;
    if (address + bytes > areaStart + bScanBytes || address + bytes > XAVO_HAL_SAMPLE_MEMORY_BYTES) {
        return 0;
    }
    bool checkHeader = true;
    {
        Service& s = service();
        const std::lock_guard lock(s.mutex);
        checkHeader = s.headerCheckOnCopy;
    }
    const ServiceCalls marked;
    const auto at = static_cast<std::uint32_t>(address);
    std::uint32_t header = 0;
    if (checkHeader && (XAVO_HAL_GetWord(r->cardTypeTag, card, at, &header) == 0 ||
                        RawScan_CheckAScanHeader(header, aScan, 0) == 0)) {
        return 0;
    }
    return XAVO_HAL_PerformDMATransfer(r->cardTypeTag, card, buffer, at, bytes, XAVO_HAL_DMA_CARD_TO_HOST) != 0 ? 1 : 0;
}

XAVO_DC_API uint32_t DC_IndicateSampleDataDownloaded(uint32_t card)
{
    if (!admit(DC_SIM_CALL_DOWNLOADED)) {
        return 0;
    }
    earlyRequest(card, true);
    const std::optional<DC_BindingRecord> r = binding();
    const ServiceCalls marked;
    return XAVO_HAL_SetWord(tagOf(r), card, kCommandRegister, kBankReleased) != 0 ? 1 : 0;
}

XAVO_DC_API uint32_t DC_GetIsSampleDataAvailable(uint32_t card, uint32_t* available)
{
    if (!admit(DC_SIM_CALL_AVAILABILITY)) {
        return 0;
    }
    std::uint32_t status = 0;
    if (available == nullptr || !readStatus(binding(), card, &status)) {
        return 0;
    }
    std::optional<std::uint32_t> forced;
    {
        Service& s = service();
        const std::lock_guard lock(s.mutex);
        forced = s.forcedAvailability;
    }
    *available = forced ? *forced : (capturedBScans(status) >= 1 ? 1 : 0);
    return 1;
}

XAVO_DC_API uint32_t DC_SetRequestEarlySampleData(uint32_t card)
{
    if (!admit(DC_SIM_CALL_EARLY_REQUEST)) {
        return 0;
    }
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    s.cards[card].earlyRequested = true;
    return 1;
}

// ---- control ----

XAVO_DC_API uint32_t DC_SIM_FailCalls(uint32_t call, uint32_t skip, uint32_t count)
{
    if (call >= DC_SIM_NUMBER_OF_CALLS) {
        return 0;
    }
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    s.fail[call] = {s.calls[call] + skip, count, true};
    return 1;
}

XAVO_DC_API void DC_SIM_ForceAvailabilityFlag(uint32_t enable, uint32_t flag)
{
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    s.forcedAvailability = enable != 0 ? std::optional<std::uint32_t>(flag) : std::nullopt;
}

XAVO_DC_API void DC_SIM_SetWaitTimeout(uint64_t nanoseconds)
{
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    s.timeoutNs = nanoseconds;
}

XAVO_DC_API void DC_SIM_SetHeaderCheckOnCopy(uint32_t flag)
{
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    s.headerCheckOnCopy = flag != 0;
}

XAVO_DC_API uint32_t DC_SIM_ReturnCallCount(uint32_t call)
{
    if (call >= DC_SIM_NUMBER_OF_CALLS) {
        return 0;
    }
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    return s.calls[call];
}

XAVO_DC_API uint32_t DC_SIM_ReturnRecoveryCount(uint32_t card)
{
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    const auto it = s.cards.find(card);
    return it == s.cards.end() ? 0 : it->second.recoveries;
}

XAVO_DC_API uint32_t DC_SIM_GetBinding(DC_BindingRecord* record, uint32_t* mode, uint32_t* bindings)
{
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    if (record != nullptr) {
        *record = s.record.value_or(DC_BindingRecord{});
    }
    if (mode != nullptr) {
        *mode = s.mode;
    }
    if (bindings != nullptr) {
        *bindings = s.bindings;
    }
    return 1;
}

XAVO_DC_API void DC_SIM_Reset(void)
{
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    s.record.reset();
    s.mode = DC_SIM_MODE_NONE;
    s.bindings = 0;
    s.cards.clear();
    s.calls.fill(0);
    s.fail.fill(FailRule{});
    s.forcedAvailability.reset();
    s.timeoutNs = kDefaultTimeoutNs;
    s.headerCheckOnCopy = true;
}

} // extern "C"
