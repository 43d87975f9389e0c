// On Linux the shared library's constructor and destructor stand for process attach and detach.
#include "hardware/enumeration.h"

namespace {

__attribute__((constructor)) void onProcessAttach() { kz::loadLibrary(); }

__attribute__((destructor)) void onProcessDetach() { kz::unloadLibrary(); }

} // namespace
