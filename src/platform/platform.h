// The thin operating-system layer of the card library. Nothing else in the library calls the
// operating system: files, the library's own path, the profile (INI) reader, the
// high-resolution counter, sleeping, allocation and the recursive lock all come from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace kz::platform {

// ---- the library's own file ----

// Full path of the module (shared library or executable) that holds the library's code;
// empty when it cannot be found. Paths in this layer use '/' between folders on every system
// (Windows accepts it as well as '\\').
std::string ownModulePath();

// ---- profile (INI) files ----

// Reads `key` of `section` from the INI file at `path`, as the Windows profile-string service
// does (on Windows it is that service):
// - section and key names compared ignoring ASCII case; blanks (space, tab, CR, LF, VT, FF, ^Z)
//   around names and values ignored; lines end at CR LF, LF or CR;
// - a section line is '[' name ']' (up to the line's last ']'); lines starting with ';' are
//   comments; the first matching key of the first matching section wins; a key written without
//   '=' has no value; a value in a matching pair of quotes (" or ') loses them;
// - a file may be in UTF-8 or, with its byte-order mark, in UTF-16 (read as UTF-8 here, in the
//   system's code page on Windows); other bytes pass unchanged.
// Returns `defaultValue` without its trailing spaces when the file, the section, the key or its
// value is missing, or the section name is empty. The result is cut to `bufferSize` - 1
// characters, as a value read into a buffer of `bufferSize`. A path without a folder names a
// file of the current folder.
std::string readProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view defaultValue, std::size_t bufferSize);

// ---- files ----

// An open file; closed when it goes out of scope. Every operation reports success as bool.
class File {
public:
    enum class Mode {
        Read,         // existing file, read only
        CreateAlways, // created or truncated, write only
        Append,       // created if missing, contents kept, positioned at its end, write only
    };

    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();

    bool open(const std::string& path, Mode mode);
#if defined(_WIN32)
    bool isOpen() const { return handle_ != nullptr; }
#else
    bool isOpen() const { return descriptor_ >= 0; }
#endif
    // Writes all of `bytes`; `written` receives how many were written.
    bool write(const void* data, std::size_t bytes, std::size_t* written = nullptr);
    // Reads up to `bytes`; `read` receives how many were read (0 at the end of the file).
    bool read(void* data, std::size_t bytes, std::size_t* read);
    // Moves the position by `offset` bytes from the current position (negative: backwards).
    bool seekRelative(std::int64_t offset);
    bool seekToEnd();
    bool size(std::uint64_t* bytes) const;
    bool close();

private:
#if defined(_WIN32)
    void* handle_ = nullptr; // the file's HANDLE; null while closed
#else
    int descriptor_ = -1;
#endif
};

bool deleteFile(const std::string& path);

// ---- time ----

// The high-resolution counter and sleeping. Tests install their own clock (a virtual one, or
// one whose queries fail); the library always goes through `clock()`.
class Clock {
public:
    virtual bool queryFrequency(std::uint64_t* countsPerSecond) = 0;
    virtual bool queryCounter(std::uint64_t* count) = 0;
    virtual void sleepMilliseconds(std::uint32_t milliseconds) = 0;

protected:
    // Never deleted through this interface; so the system clock needs no destructor and stays
    // usable while the process exits.
    ~Clock() = default;
};

Clock& clock();
// The system's own counter and sleep (one per operating system); `clock()` returns it when no
// replacement is installed.
Clock& systemClock();
// Installs `replacement` (not owned); nullptr restores the system clock.
void setClock(Clock* replacement);
void sleepMilliseconds(std::uint32_t milliseconds);

// ---- memory ----

// Allocates `bytes` zeroed bytes; nullptr when the allocation fails. Release with `release`.
void* allocateZeroed(std::size_t bytes);
void release(void* block);
// Tests make allocations fail: the predicate sees each request's size; nullptr removes it.
using AllocationFailurePredicate = bool (*)(std::size_t bytes);
void setAllocationFailurePredicate(AllocationFailurePredicate predicate);

// ---- locking ----

// A recursive lock (a critical section).
#if defined(_WIN32)
class RecursiveLock {
public:
    RecursiveLock();
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;
    ~RecursiveLock();
    void lock();
    void unlock();

private:
    // Storage of the system's CRITICAL_SECTION, kept out of this header.
    alignas(8) unsigned char section_[40];
};
#else
class RecursiveLock {
public:
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

private:
    std::recursive_mutex mutex_;
};
#endif

} // namespace kz::platform
