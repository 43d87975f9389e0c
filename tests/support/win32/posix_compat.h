/* The few POSIX calls the test programs use, on Windows: environment variables, new temporary
   folders, the process id. Every test source of the Windows build sees this header first. */
#pragma once

#if defined(_WIN32)

#include <direct.h>
#include <errno.h>
#include <process.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* Sets `name` to `value`. The system's environment holds no empty values: an empty `value`
   removes the variable. */
static inline int setenv(const char* name, const char* value, int overwrite)
{
    if (name == NULL || name[0] == '\0' || strchr(name, '=') != NULL) {
        errno = EINVAL;
        return -1;
    }
    if (!overwrite && getenv(name) != NULL) {
        return 0;
    }
    return _putenv_s(name, value) == 0 ? 0 : -1;
}

static inline int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }

/* Replaces the trailing "XXXXXX" of `pattern` and creates that folder; `pattern` on success,
   NULL (errno set) on failure. */
static inline char* mkdtemp(char* pattern)
{
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    static unsigned sequence = 0;
    const size_t length = pattern == NULL ? 0 : strlen(pattern);
    if (length < 6 || strcmp(pattern + length - 6, "XXXXXX") != 0) {
        errno = EINVAL;
        return NULL;
    }
    for (int attempt = 0; attempt < 1000; ++attempt) {
        unsigned long long value = (unsigned long long)_getpid() * 2654435761ull + (unsigned long long)clock() +
                                   (unsigned long long)time(NULL) * 40503ull + ++sequence * 7919ull;
        for (size_t i = length - 6; i < length; ++i) {
            pattern[i] = digits[value % 36];
            value /= 36;
        }
        if (_mkdir(pattern) == 0) {
            return pattern;
        }
        if (errno != EEXIST) {
            return NULL;
        }
    }
    return NULL;
}

#endif
