/*
 * XAVOErrorControl: read-back of the error service for tests and tools.
 *
 * The information log holds the lines passed to XAVO_LogLine whose level was at or below the
 * application level when they were logged, the last 1000 of them (0 = oldest kept). Every call
 * returns 0 for a null pointer argument, an index past the log or a capacity of 0, and then
 * writes nothing.
 */
#ifndef XAVO_ERROR_CONTROL_H
#define XAVO_ERROR_CONTROL_H

#include <stdint.h>

#include "XAVOError.h"

#ifdef __cplusplus
extern "C" {
#endif

XAVO_ERROR_API uint32_t XAVO_ERR_ReturnNumberOfInfoLines(void);
/* Stores the level of information line `index` and copies its text into `buffer`, cut to
   `capacity` bytes including the terminator. Returns 1. */
XAVO_ERROR_API uint32_t XAVO_ERR_GetInfoLine(uint32_t index, uint32_t* level, char* buffer, uint32_t capacity);
/* Stores the code of error log line `index`. Returns 1. */
XAVO_ERROR_API uint32_t XAVO_ERR_GetErrorCode(uint32_t index, uint32_t* code);
/* Empties the information log; the error log and the last error stay. Returns 1. */
XAVO_ERROR_API uint32_t XAVO_ERR_ClearInfoLog(void);

#ifdef __cplusplus
}
#endif

#endif
