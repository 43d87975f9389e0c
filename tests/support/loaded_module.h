// A library loaded at run time by its path, as a host loads the card library, and the file
// names the project's libraries carry on this system.
#pragma once

#include <string>
#include <string_view>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace kz::test {

class LoadedModule {
public:
    // The file a library of the project is built into: "libXAVOKZ.so.1", "XAVOKZ.dll".
    static std::string fileName(std::string_view library)
    {
#if defined(_WIN32)
        return std::string(library) + ".dll";
#else
        return "lib" + std::string(library) + ".so.1";
#endif
    }

    // Whether a file of the run-time folder is one of the libraries, by the name the libraries
    // ask for each other.
    static bool isLibraryFile(std::string_view file)
    {
#if defined(_WIN32)
        return file.ends_with(".dll");
#else
        return file.starts_with("lib") && file.ends_with(".so.1");
#endif
    }

    LoadedModule() = default;
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    // Loads the library at `path`; the libraries it needs are looked for in its own folder
    // first. The library stays loaded until close() (not at destruction).
    bool open(const std::string& path)
    {
#if defined(_WIN32)
        handle_ = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
#else
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
        return handle_ != nullptr;
    }

    void close()
    {
        if (handle_ != nullptr) {
#if defined(_WIN32)
            FreeLibrary(static_cast<HMODULE>(handle_));
#else
            dlclose(handle_);
#endif
            handle_ = nullptr;
        }
    }

    bool isOpen() const { return handle_ != nullptr; }

    // The address of an exported function or object; nullptr when it is not exported.
    void* symbol(const char* name) const
    {
#if defined(_WIN32)
        return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
        return dlsym(handle_, name);
#endif
    }

    // Why the last open failed.
    static std::string lastError()
    {
#if defined(_WIN32)
        return "system error " + std::to_string(GetLastError());
#else
        const char* text = dlerror();
        return text != nullptr ? text : "";
#endif
    }

private:
    void* handle_ = nullptr;
};

} // namespace kz::test
