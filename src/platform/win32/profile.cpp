// The profile (INI) reader on the system's own profile-string service.
#include <windows.h>

#include <algorithm>
#include <limits>

#include "platform/platform.h"

namespace kz::platform {

namespace {

// The service takes '\' between folders, and looks for a bare file name in the Windows folder:
// a path without a folder names a file of the current folder, as it does on other systems.
std::string servicePath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    if (path.find_first_of("\\:") == std::string::npos) {
        path.insert(0, ".\\");
    }
    return path;
}

} // namespace

std::string readProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view defaultValue, std::size_t bufferSize)
{
    if (bufferSize == 0) {
        return {};
    }
    const auto size = static_cast<DWORD>(std::min<std::size_t>(bufferSize, std::numeric_limits<DWORD>::max()));
    std::string value(size, '\0');
    const DWORD length = GetPrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(),
                                                  std::string(defaultValue).c_str(), value.data(), size,
                                                  servicePath(path).c_str());
    value.resize(std::min<DWORD>(length, size - 1));
    return value;
}

} // namespace kz::platform
