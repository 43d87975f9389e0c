// The error and logging service.
//
// One mutex guards all state. Nothing foreign runs under it: the registered code-string
// function is called and caller format strings are expanded before the lock is taken.
#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

#include "XAVOError.h"
#include "XAVOErrorControl.h"

namespace {

constexpr std::size_t kMaximumErrorLines = 1000;
constexpr std::size_t kMaximumInfoLines = 1000;

// Errors go to the file and to standard error as lines of this level.
constexpr uint32_t kErrorLevel = 1;

constexpr uint32_t kDefaultFileLevel = 0;
constexpr uint32_t kDefaultAppLevel = 7;
constexpr uint32_t kDefaultDebuggerLevel = 4;

constexpr const char* kDefaultLogFile = "XAVOError.log";
constexpr const char* kLogFileVariable = "XAVO_ERROR_LOG_FILE";
constexpr const char* kQuietVariable = "XAVO_ERROR_QUIET";

constexpr const char* kUnknownText = "Unknown";

struct ErrorLine {
    uint32_t code;
    std::string text;
};

struct InfoLine {
    uint32_t level;
    std::string text;
};

struct Service {
    std::mutex mutex;
    uint32_t lastError = 0;
    std::deque<ErrorLine> errorLog;
    std::deque<InfoLine> infoLog;
    uint32_t fileLevel = kDefaultFileLevel;
    uint32_t appLevel = kDefaultAppLevel;
    uint32_t debuggerLevel = kDefaultDebuggerLevel;
    XAVO_GetCodeStringFunction codeString = nullptr;
    // The output settings come from the environment, read at the first output and again at
    // every XAVO_InitErrorService.
    bool environmentRead = false;
    std::string logFilePath;
    bool quiet = false;
};

// The service lives from the load of this library to its unload. Its end runs after the unload
// of every library that depends on this one, whether the host unloads them or exits with them
// loaded, so a line logged by another library's unload still finds the service; and each
// load-unload cycle frees what it allocated. A call that comes later still (a host thread racing
// the process's exit) finds no service and does nothing.
Service* instance = nullptr;

__attribute__((constructor)) void startService() {
    instance = new Service;
}

__attribute__((destructor)) void endService() {
    delete instance;
    instance = nullptr;
}

Service* service() {
    return instance;
}

void readEnvironment(Service& s) {
    const char* path = std::getenv(kLogFileVariable);
    s.logFilePath = (path != nullptr && path[0] != '\0') ? path : kDefaultLogFile;
    const char* quiet = std::getenv(kQuietVariable);
    s.quiet = quiet != nullptr && std::strcmp(quiet, "1") == 0;
    s.environmentRead = true;
}

// Appends a line to the log file and to standard error as the levels allow. Called with the
// lock held, so that lines from different threads never interleave.
void emit(Service& s, uint32_t level, const std::string& text) {
    if (!s.environmentRead) {
        readEnvironment(s);
    }
    if (level <= s.fileLevel) {
        if (std::FILE* file = std::fopen(s.logFilePath.c_str(), "a")) {
            std::fprintf(file, "[%u] %s\n", static_cast<unsigned>(level), text.c_str());
            std::fclose(file);
        }
    }
    if (level <= s.debuggerLevel && !s.quiet) {
        std::fprintf(stderr, "XAVOError [%u] %s\n", static_cast<unsigned>(level), text.c_str());
    }
}

#if defined(__GNUC__)
__attribute__((format(printf, 1, 0)))
#endif
std::string formatText(const char* format, va_list args) {
    char small[256];
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (length < 0) {
        return std::string();
    }
    if (static_cast<std::size_t>(length) < sizeof small) {
        return std::string(small, static_cast<std::size_t>(length));
    }
    std::string text(static_cast<std::size_t>(length), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

// Copies as much of `text` as fits, always terminated.
void copyCut(const std::string& text, char* buffer, uint32_t capacity) {
    const std::size_t length = std::min<std::size_t>(text.size(), capacity - 1u);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

template <typename Line>
void appendBounded(std::deque<Line>& log, Line line, std::size_t maximum) {
    log.push_back(std::move(line));
    while (log.size() > maximum) {
        log.pop_front();
    }
}

}  // namespace

extern "C" {

uint32_t XAVO_InitErrorService(void) {
    Service* const live = service();
    if (live == nullptr) {
        return 0;
    }
    Service& s = *live;
    std::lock_guard lock(s.mutex);
    s.lastError = 0;
    s.errorLog.clear();
    s.infoLog.clear();
    s.fileLevel = kDefaultFileLevel;
    s.appLevel = kDefaultAppLevel;
    s.debuggerLevel = kDefaultDebuggerLevel;
    s.codeString = nullptr;
    readEnvironment(s);
    return 1;
}

uint32_t XAVO_HandleError(uint32_t code) {
    Service* const live = service();
    if (live == nullptr) {
        return 0;
    }
    Service& s = *live;
    XAVO_GetCodeStringFunction codeString;
    {
        std::lock_guard lock(s.mutex);
        codeString = s.codeString;
    }
    const char* message = codeString != nullptr ? codeString(code) : nullptr;
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "0x%04x ", static_cast<unsigned>(code));
    std::string text = std::string(prefix) + (message != nullptr ? message : kUnknownText);

    std::lock_guard lock(s.mutex);
    s.lastError = code;
    emit(s, kErrorLevel, text);
    appendBounded(s.errorLog, ErrorLine{code, std::move(text)}, kMaximumErrorLines);
    return 1;
}

uint32_t XAVO_LogLine(uint32_t level, const char* format, ...) {
    if (format == nullptr) {
        return 0;
    }
    va_list args;
    va_start(args, format);
    std::string text = formatText(format, args);
    va_end(args);

    Service* const live = service();
    if (live == nullptr) {
        return 0;
    }
    Service& s = *live;
    std::lock_guard lock(s.mutex);
    emit(s, level, text);
    if (level <= s.appLevel) {
        appendBounded(s.infoLog, InfoLine{level, std::move(text)}, kMaximumInfoLines);
    }
    return 1;
}

uint32_t XAVO_GetLastError(void) {
    Service* const live = service();
    if (live == nullptr) {
        return 0;
    }
    Service& s = *live;
    std::lock_guard lock(s.mutex);
    return s.lastError;
}

uint32_t XAVO_ReturnNumberOfErrorLogLines(void) {
    Service* const live = service();
    if (live == nullptr) {
        return 0;
    }
    Service& s = *live;
    std::lock_guard lock(s.mutex);
    return static_cast<uint32_t>(s.errorLog.size());
}

uint32_t XAVO_GetErrorLogLine(uint32_t index, char* buffer, uint32_t capacity) {
    if (buffer == nullptr || capacity == 0) {
        return 0;
    }
    Service* const live = service();
    if (live == nullptr) {
        return 0;
    }
    Service& s = *live;
    std::lock_guard lock(s.mutex);
    if (index >= s.errorLog.size()) {
        return 0;
    }
    copyCut(s.errorLog[index].text, buffer, capacity);
    return 1;
}

uint32_t XAVO_ClearErrorLog(void) {
    Service* const live = service();
    if (live == nullptr) {
        return 0;
    }
    Service& s = *live;
    std::lock_guard lock(s.mutex);
    s.errorLog.clear();
    s.lastError = 0;
    return 1;
}

uint32_t XAVO_SetLogLevel(uint32_t fileLevel, uint32_t appLevel, uint32_t debuggerLevel) {
    Service* const live = service();
    if (live == nullptr) {
        return 0;
    }
    Service& s = *live;
    std::lock_guard lock(s.mutex);
    s.fileLevel = fileLevel;
    s.appLevel = appLevel;
    s.debuggerLevel = debuggerLevel;
    return 1;
}

uint32_t XAVO_GetLogLevel(uint32_t* fileLevel, uint32_t* appLevel, uint32_t* debuggerLevel) {
    Service* const live = service();
    if (live == nullptr) {
        return 0;
    }
    Service& s = *live;
    std::lock_guard lock(s.mutex);
    if (fileLevel != nullptr) {
        *fileLevel = s.fileLevel;
    }
    if (appLevel != nullptr) {
        *appLevel = s.appLevel;
    }
    if (debuggerLevel != nullptr) {
        *debuggerLevel = s.debuggerLevel;
    }
    return 1;
}

// One slot, 0. A null function or another slot is refused and leaves the registration as it
// was.
uint32_t XAVO_RegisterGetCodeStringFunction(uint32_t slot, XAVO_GetCodeStringFunction function) {
    if (slot != 0 || function == nullptr) {
        return 0;
    }
    Service* const live = service();
    if (live == nullptr) {
        return 0;
    }
    Service& s = *live;
    std::lock_guard lock(s.mutex);
    s.codeString = function;
    return 1;
}

uint32_t XAVO_ERR_ReturnNumberOfInfoLines(void) {
    Service* const live = service();
    if (live == nullptr) {
        return 0;
    }
    Service& s = *live;
    std::lock_guard lock(s.mutex);
    return static_cast<uint32_t>(s.infoLog.size());
}

uint32_t XAVO_ERR_GetInfoLine(uint32_t index, uint32_t* level, char* buffer, uint32_t capacity) {
    if (level == nullptr || buffer == nullptr || capacity == 0) {
        return 0;
    }
    Service* const live = service();
    if (live == nullptr) {
        return 0;
    }
    Service& s = *live;
    std::lock_guard lock(s.mutex);
    if (index >= s.infoLog.size()) {
        return 0;
    }
    *level = s.infoLog[index].level;
    copyCut(s.infoLog[index].text, buffer, capacity);
    return 1;
}

uint32_t XAVO_ERR_GetErrorCode(uint32_t index, uint32_t* code) {
    if (code == nullptr) {
        return 0;
    }
    Service* const live = service();
    if (live == nullptr) {
        return 0;
    }
    Service& s = *live;
    std::lock_guard lock(s.mutex);
    if (index >= s.errorLog.size()) {
        return 0;
    }
    *code = s.errorLog[index].code;
    return 1;
}

uint32_t XAVO_ERR_ClearInfoLog(void) {
    Service* const live = service();
    if (live == nullptr) {
        return 0;
    }
    Service& s = *live;
    std::lock_guard lock(s.mutex);
    s.infoLog.clear();
    return 1;
}

}  // extern "C"
