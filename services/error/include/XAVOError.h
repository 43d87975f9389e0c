/*
 * XAVOError: the error and logging service of the XAVO card libraries.
 *
 * Keeps the last error, a log of the last reported codes with their texts, an information log,
 * and three log levels (file, application, debugger). Thread-safe.
 *
 * Levels: a line goes to the log file when its level is at or below the file level, to
 * standard error when at or below the debugger level, and into the information log when at or
 * below the application level. Errors are lines of level 1. The levels start as 0 (file),
 * 7 (application) and 4 (debugger) and return to these at XAVO_InitErrorService.
 *
 * Environment, read at the first output and at every XAVO_InitErrorService:
 *   XAVO_ERROR_LOG_FILE  path of the log file (default "XAVOError.log" in the working folder)
 *   XAVO_ERROR_QUIET     "1" keeps standard error silent
 *
 * Tests and tools read the information log and the logged codes through XAVOErrorControl.h.
 */
#ifndef XAVO_ERROR_H
#define XAVO_ERROR_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(XAVO_ERROR_BUILDING)
#    define XAVO_ERROR_API __declspec(dllexport)
#  else
#    define XAVO_ERROR_API __declspec(dllimport)
#  endif
#else
#  define XAVO_ERROR_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Renders an error code as its message; registered by the card library. */
typedef const char* (*XAVO_GetCodeStringFunction)(uint32_t code);

/* Empties both logs, sets the last error to 0, the levels to their defaults, forgets the
   registered code-string function and re-reads the environment. Idempotent. Returns 1. */
XAVO_ERROR_API uint32_t XAVO_InitErrorService(void);
/* Makes `code` the last error and appends the line "0x%04x <text>" to the error log, the text
   rendered now through the registered function ("Unknown" without one, or when it returns
   null). The log keeps the last 1000 lines. Returns 1. */
XAVO_ERROR_API uint32_t XAVO_HandleError(uint32_t code);
/* Formats a line printf-style and passes it on by `level` (see above). Returns 1, or 0 for a
   null format. */
XAVO_ERROR_API uint32_t XAVO_LogLine(uint32_t level, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
XAVO_ERROR_API uint32_t XAVO_GetLastError(void);
XAVO_ERROR_API uint32_t XAVO_ReturnNumberOfErrorLogLines(void);
/* Copies line `index` (0 = oldest kept) of the error log into `buffer`, cut to `capacity`
   bytes including the terminator. Returns 1, or 0 for an index past the log, a null buffer
   or a capacity of 0. */
XAVO_ERROR_API uint32_t XAVO_GetErrorLogLine(uint32_t index, char* buffer, uint32_t capacity);
/* Empties the error log and sets the last error back to 0. Returns 1. */
XAVO_ERROR_API uint32_t XAVO_ClearErrorLog(void);
XAVO_ERROR_API uint32_t XAVO_SetLogLevel(uint32_t fileLevel, uint32_t appLevel, uint32_t debuggerLevel);
/* Stores the three levels through the pointers; a null pointer is skipped. Returns 1. */
XAVO_ERROR_API uint32_t XAVO_GetLogLevel(uint32_t* fileLevel, uint32_t* appLevel, uint32_t* debuggerLevel);
/* Slot 0 is the only slot. Returns 1, or 0 for another slot or a null function, which leave
   the registration unchanged. The function is never called under the service's lock. */
XAVO_ERROR_API uint32_t XAVO_RegisterGetCodeStringFunction(uint32_t slot, XAVO_GetCodeStringFunction function);

#ifdef __cplusplus
}
#endif

#endif
