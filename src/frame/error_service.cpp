// The binding to the error service and the exported error and log functions over it.
#include "frame/error_service.h"

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>

#include "XAVOError.h"

namespace kz {
namespace {

// Library-wide; written by the host through KZ_SetLoggingCallback, called by nothing here.
std::atomic<KZ_LoggingCallback> loggingCallbackSlot{nullptr};

}  // namespace

void report(ErrorCode code) {
    (void)XAVO_HandleError(code);
}

void logLine(uint32_t level, const char* format, ...) {
    if (format == nullptr) {
        return;
    }
    // Formatted here so that the service only ever sees a constant format.
    char small[256];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (length < 0) {
        va_end(args);
        return;
    }
    if (static_cast<std::size_t>(length) < sizeof small) {
        va_end(args);
        (void)XAVO_LogLine(level, "%s", small);
        return;
    }
    std::string text(static_cast<std::size_t>(length), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    (void)XAVO_LogLine(level, "%s", text.c_str());
}

void startErrorService() {
    (void)XAVO_InitErrorService();
}

void registerCodeStringFunction() {
    (void)XAVO_RegisterGetCodeStringFunction(0, KZ_GetCodeString);
}

KZ_LoggingCallback loggingCallback() {
    return loggingCallbackSlot.load(std::memory_order_acquire);
}

}  // namespace kz

extern "C" {

KZ_API uint32_t KZ_GetLastError(void) {
    return XAVO_GetLastError();
}

KZ_API uint32_t KZ_ReturnNumberOfErrorLogLines(void) {
    return XAVO_ReturnNumberOfErrorLogLines();
}

KZ_API uint32_t KZ_GetErrorLogLine(uint32_t index, char* buffer, uint32_t capacity) {
    return XAVO_GetErrorLogLine(index, buffer, capacity);
}

KZ_API uint32_t KZ_ClearErrorLog(void) {
    return XAVO_ClearErrorLog();
}

KZ_API uint32_t KZ_SetLogLevel(uint32_t fileLevel, uint32_t appLevel, uint32_t debuggerLevel) {
    return XAVO_SetLogLevel(fileLevel, appLevel, debuggerLevel);
}

KZ_API uint32_t KZ_GetLogLevel(uint32_t* fileLevel, uint32_t* appLevel, uint32_t* debuggerLevel) {
    return XAVO_GetLogLevel(fileLevel, appLevel, debuggerLevel);
}

KZ_API void KZ_SetLoggingCallback(KZ_LoggingCallback callback) {
    kz::loggingCallbackSlot.store(callback, std::memory_order_release);
}

}  // extern "C"
