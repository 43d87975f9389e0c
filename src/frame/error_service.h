// Reporting and logging through the error service. This module is the library's only contact
// with the service; every other module reports through these calls.
#ifndef XAVOKZ_FRAME_ERROR_SERVICE_H
#define XAVOKZ_FRAME_ERROR_SERVICE_H

#include <cstdint>

#include "XAVOKZ.h"

namespace kz {

// Records `code` as the last error and in the error log. Never stops the caller: a failing
// operation reports once and then returns its failure value itself.
void report(ErrorCode code);

// Formats a printf-style line and passes it to the service's information log with `level`
// (1 for missing firmware files, 4 for the calibration trace, 5 for EEPROM updates).
void logLine(uint32_t level, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// First step of the library load: clears the service's logs, last error and levels.
void startErrorService();

// Lets the service render codes with the library's messages (KZ_GetCodeString).
void registerCodeStringFunction();

// The host's logging callback as last set by KZ_SetLoggingCallback; null until then.
KZ_LoggingCallback loggingCallback();

}  // namespace kz

#endif
