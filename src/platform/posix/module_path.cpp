#include <dlfcn.h>

#include "platform/platform.h"

namespace kz::platform {

namespace {
// Any function of this module serves as the anchor for dladdr.
void anchor() {}
} // namespace

std::string ownModulePath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&anchor), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    return info.dli_fname;
}

} // namespace kz::platform
