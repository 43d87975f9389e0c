#include <windows.h>

#include <algorithm>
#include <string_view>

#include "platform/platform.h"

namespace kz::platform {

namespace {

// Any object of this module serves as the anchor that names the module.
const char anchor = 0;

// The longest path the system hands out.
constexpr std::size_t kLongestPath = 32768;

// The module's name in this layer's form: '/' between folders, without the long-path prefix
// ("\\?\C:\..." and "\\?\UNC\server\share\..."), which would turn the '/' off again.
std::string portablePath(std::string_view name)
{
    constexpr std::string_view kLongUncPrefix = "\\\\?\\UNC\\";
    constexpr std::string_view kLongPrefix = "\\\\?\\";
    std::string path;
    if (name.starts_with(kLongUncPrefix)) {
        path = "\\\\";
        name.remove_prefix(kLongUncPrefix.size());
    } else if (name.starts_with(kLongPrefix)) {
        name.remove_prefix(kLongPrefix.size());
    }
    path += name;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

} // namespace

std::string ownModulePath()
{
    HMODULE module = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           &anchor, &module) == 0) {
        return {};
    }
    std::string name(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(module, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) {
            return {};
        }
        if (length < name.size()) {
            return portablePath(std::string_view(name).substr(0, length));
        }
        // The name was cut to the buffer: try again with a larger one.
        if (name.size() >= kLongestPath) {
            return {};
        }
        name.resize(name.size() * 2);
    }
}

} // namespace kz::platform
