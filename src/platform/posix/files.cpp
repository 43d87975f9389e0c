#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/platform.h"

namespace kz::platform {

File::File(File&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        close();
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

File::~File() { close(); }

bool File::open(const std::string& path, Mode mode)
{
    close();
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::CreateAlways: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case Mode::Append: flags |= O_WRONLY | O_CREAT; break;
    }
    do {
        descriptor_ = ::open(path.c_str(), flags, 0644);
    } while (descriptor_ < 0 && errno == EINTR);
    if (descriptor_ < 0) {
        return false;
    }
    // A folder opens for reading here, but it is not a file.
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0 || S_ISDIR(status.st_mode)) {
        close();
        return false;
    }
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
        const ssize_t n = ::write(descriptor_, cursor + done, bytes - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
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
    ssize_t n = 0;
    do {
        n = ::read(descriptor_, data, bytes);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        return false;
    }
    *read = static_cast<std::size_t>(n);
    return true;
}

bool File::seekRelative(std::int64_t offset)
{
    return isOpen() && ::lseek(descriptor_, static_cast<off_t>(offset), SEEK_CUR) >= 0;
}

bool File::seekToEnd() { return isOpen() && ::lseek(descriptor_, 0, SEEK_END) >= 0; }

bool File::size(std::uint64_t* bytes) const
{
    struct stat status {};
    if (!isOpen() || ::fstat(descriptor_, &status) != 0) {
        return false;
    }
    *bytes = static_cast<std::uint64_t>(status.st_size);
    return true;
}

bool File::close()
{
    if (!isOpen()) {
        return false;
    }
    const int result = ::close(std::exchange(descriptor_, -1));
    return result == 0;
}

bool deleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

} // namespace kz::platform
