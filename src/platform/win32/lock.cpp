#include <windows.h>

#include <new>

#include "platform/platform.h"

namespace kz::platform {

namespace {

CRITICAL_SECTION* sectionIn(unsigned char* storage)
{
    return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}

} // namespace

RecursiveLock::RecursiveLock()
{
    static_assert(sizeof(CRITICAL_SECTION) <= sizeof section_, "critical section storage too small");
    static_assert(alignof(CRITICAL_SECTION) <= alignof(RecursiveLock), "critical section storage misaligned");
    InitializeCriticalSection(new (section_) CRITICAL_SECTION);
}

RecursiveLock::~RecursiveLock() { DeleteCriticalSection(sectionIn(section_)); }

void RecursiveLock::lock() { EnterCriticalSection(sectionIn(section_)); }

void RecursiveLock::unlock() { LeaveCriticalSection(sectionIn(section_)); }

} // namespace kz::platform
