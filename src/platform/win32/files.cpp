#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/platform.h"

namespace kz::platform {

namespace {

// Largest transfer handed to the system in one call (its byte counts are 32-bit).
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

HANDLE handleOf(void* handle) { return static_cast<HANDLE>(handle); }

} // namespace

File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

File::~File() { close(); }

bool File::open(const std::string& path, Mode mode)
{
    close();
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    switch (mode) {
    case Mode::Read: break;
    case Mode::CreateAlways: access = GENERIC_WRITE; disposition = CREATE_ALWAYS; break;
    case Mode::Append: access = GENERIC_WRITE; disposition = OPEN_ALWAYS; break;
    }
    // Shared as a file is on other systems: others may read, write, rename and delete it while
    // it is open. The handle is not inherited by child processes.
    const HANDLE handle = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    handle_ = handle;
    if (mode == Mode::Append && !seekToEnd()) {
        close();
        return false;
    }
    return true;
}

bool File::write(const void* data, std::size_t bytes, std::size_t* written)
{
    std::size_t done = 0;
    const auto* cursor = static_cast<const unsigned char*>(data);
    while (isOpen() && done < bytes) {
        DWORD n = 0;
        const auto chunk = static_cast<DWORD>(std::min(bytes - done, kLargestTransfer));
        if (WriteFile(handleOf(handle_), cursor + done, chunk, &n, nullptr) == 0 || n == 0) {
            break;
        }
        done += n;
    }
    if (written != nullptr) {
        *written = done;
    }
    return isOpen() && done == bytes;
}

bool File::read(void* data, std::size_t bytes, std::size_t* read)
{
    if (!isOpen()) {
        return false;
    }
    DWORD n = 0;
    const auto chunk = static_cast<DWORD>(std::min(bytes, kLargestTransfer));
    if (ReadFile(handleOf(handle_), data, chunk, &n, nullptr) == 0) {
        return false;
    }
    *read = n;
    return true;
}

bool File::seekRelative(std::int64_t offset)
{
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    return isOpen() && SetFilePointerEx(handleOf(handle_), distance, nullptr, FILE_CURRENT) != 0;
}

bool File::seekToEnd()
{
    return isOpen() && SetFilePointerEx(handleOf(handle_), LARGE_INTEGER{}, nullptr, FILE_END) != 0;
}

bool File::size(std::uint64_t* bytes) const
{
    LARGE_INTEGER size{};
    if (!isOpen() || GetFileSizeEx(handleOf(handle_), &size) == 0) {
        return false;
    }
    *bytes = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

bool File::close()
{
    if (!isOpen()) {
        return false;
    }
    return CloseHandle(handleOf(std::exchange(handle_, nullptr))) != 0;
}

bool deleteFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

} // namespace kz::platform
