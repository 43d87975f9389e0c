#include <atomic>
#include <cstdlib>

#include "platform/platform.h"

namespace kz::platform {

namespace {
std::atomic<AllocationFailurePredicate> failurePredicate{nullptr};
}

void* allocateZeroed(std::size_t bytes)
{
    const AllocationFailurePredicate fails = failurePredicate.load(std::memory_order_acquire);
    if (fails != nullptr && fails(bytes)) {
        return nullptr;
    }
    return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

void release(void* block) { std::free(block); }

void setAllocationFailurePredicate(AllocationFailurePredicate predicate)
{
    failurePredicate.store(predicate, std::memory_order_release);
}

} // namespace kz::platform
