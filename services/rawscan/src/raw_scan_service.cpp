// The raw-scan service: header checks and one internal record per raw-scan record.
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>

#include "XAVORawScan.h"
#include "XAVORawScanControl.h"

namespace {

static_assert(sizeof(XAVO_RawScanInternal) == 0x628);
static_assert(offsetof(XAVO_RawScanInternal, gateBytesPerBScan) == 0x60C);
static_assert(offsetof(XAVO_RawScanInternal, snapshotSelections) == 0x61C);

constexpr std::uint32_t kTagShift = 24;
constexpr std::uint32_t kAScanTag = 0xA5;
constexpr std::uint32_t kPositionShift = 17;
constexpr std::uint32_t kPositionBits = 0x7F;
constexpr std::uint32_t kOversampleShift = 12;
constexpr std::uint32_t kOversampleBits = 0x1F;

struct Service {
    std::mutex mutex;
    std::map<const void*, std::unique_ptr<XAVO_RawScanInternal>> records;
    std::uint32_t headerMode = RAWSCAN_SIM_HEADERS_STRICT;
    std::uint32_t rejectedPosition = 0;
    std::uint32_t uninitialiseResult = 1;
    bool returnNoRecord = false;
    std::uint32_t headerChecks = 0;
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

bool strictCheck(std::uint32_t header, std::uint32_t position, std::uint32_t oversample)
{
    return (header >> kTagShift) == kAScanTag && ((header >> kPositionShift) & kPositionBits) == position &&
           ((header >> kOversampleShift) & kOversampleBits) == oversample;
}

} // namespace

extern "C" {

XAVO_RAWSCAN_API uint32_t RawScan_CheckAScanHeader(uint32_t header, uint32_t position, uint32_t oversample)
{
    Service& s = service();
    std::uint32_t mode = RAWSCAN_SIM_HEADERS_STRICT;
    std::uint32_t rejected = 0;
    {
        const std::lock_guard lock(s.mutex);
        ++s.headerChecks;
        mode = s.headerMode;
        rejected = s.rejectedPosition;
    }
    switch (mode) {
    case RAWSCAN_SIM_HEADERS_ACCEPT_ALL:
        return 1;
    case RAWSCAN_SIM_HEADERS_REJECT_ALL:
        return 0;
    case RAWSCAN_SIM_HEADERS_REJECT_POSITION:
        return position != rejected && strictCheck(header, position, oversample) ? 1 : 0;
    default:
        return strictCheck(header, position, oversample) ? 1 : 0;
    }
}

XAVO_RAWSCAN_API XAVO_RawScanInternal* RawScan_ReturnRawScanInternal(const void* rawScan)
{
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    if (s.returnNoRecord) {
        return nullptr;
    }
    std::unique_ptr<XAVO_RawScanInternal>& record = s.records[rawScan];
    if (!record) {
        record = std::make_unique<XAVO_RawScanInternal>(); // zeroed
    }
    return record.get();
}

XAVO_RAWSCAN_API uint32_t RawScan_Uninitialise(void)
{
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    s.records.clear();
    return s.uninitialiseResult;
}

XAVO_RAWSCAN_API uint32_t RawScan_SIM_SetHeaderCheck(uint32_t mode, uint32_t position)
{
    if (mode > RAWSCAN_SIM_HEADERS_REJECT_POSITION) {
        return 0;
    }
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    s.headerMode = mode;
    s.rejectedPosition = position;
    return 1;
}

XAVO_RAWSCAN_API void RawScan_SIM_SetUninitialiseResult(uint32_t result)
{
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    s.uninitialiseResult = result;
}

XAVO_RAWSCAN_API void RawScan_SIM_SetReturnNoRecord(uint32_t flag)
{
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    s.returnNoRecord = flag != 0;
}

XAVO_RAWSCAN_API uint32_t RawScan_SIM_ReturnNumberOfRecords(void)
{
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    return static_cast<std::uint32_t>(s.records.size());
}

XAVO_RAWSCAN_API uint32_t RawScan_SIM_ReturnNumberOfHeaderChecks(void)
{
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    return s.headerChecks;
}

XAVO_RAWSCAN_API void RawScan_SIM_Reset(void)
{
    Service& s = service();
    const std::lock_guard lock(s.mutex);
    s.records.clear();
    s.headerMode = RAWSCAN_SIM_HEADERS_STRICT;
    s.rejectedPosition = 0;
    s.uninitialiseResult = 1;
    s.returnNoRecord = false;
    s.headerChecks = 0;
}

} // extern "C"
