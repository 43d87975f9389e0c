// The system clock's sleep, with the operating system's nanosleep replaced by one that fails as a
// test scripts it: a signal (EINTR) makes the sleep go on with the time that remains, any other
// error ends it.
#include <gtest/gtest.h>

#include <errno.h>
#include <time.h>

#include <cstdint>
#include <deque>
#include <vector>

#include "platform/platform.h"

namespace {

std::deque<int> scriptedErrors; // the errors of the next calls, then success
std::vector<timespec> requests;

} // namespace

extern "C" int nanosleep(const timespec* request, timespec* remaining)
{
    requests.push_back(*request);
    if (scriptedErrors.empty()) {
        return 0;
    }
    errno = scriptedErrors.front();
    scriptedErrors.pop_front();
    if (errno == EINTR && remaining != nullptr) {
        *remaining = timespec{0, 1'000'000}; // a millisecond left
    }
    return -1;
}

namespace kz::test {
namespace {

TEST(SystemSleep, GoesOnAfterASignalAndEndsAtAnyOtherError)
{
    struct Case {
        const char* name;
        std::deque<int> errors;
        std::size_t calls;
    };
    const Case cases[] = {
        {"undisturbed", {}, 1},
        {"two signals", {EINTR, EINTR}, 3},
        {"invalid argument", {EINVAL}, 1},
        {"bad address", {EFAULT}, 1},
        {"a signal, then an error", {EINTR, EINVAL}, 2},
    };
    platform::setClock(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        scriptedErrors = c.errors;
        requests.clear();
        platform::sleepMilliseconds(1500);
        ASSERT_EQ(requests.size(), c.calls);
        EXPECT_EQ(requests.front().tv_sec, 1);
        EXPECT_EQ(requests.front().tv_nsec, 500'000'000L);
        // After a signal only the time that remains is slept.
        for (std::size_t i = 1; i < requests.size(); ++i) {
            EXPECT_EQ(requests[i].tv_sec, 0);
            EXPECT_EQ(requests[i].tv_nsec, 1'000'000L);
        }
    }
}

} // namespace
} // namespace kz::test
