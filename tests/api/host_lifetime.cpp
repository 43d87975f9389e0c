// A host that loads the card library with dlopen and ends in one of the ways hosts end:
//
//   host_lifetime <library> exit-loaded     opens a card, then exits with the library loaded
//   host_lifetime <library> exit-unloaded   opens a card, unloads the library, then exits
//   host_lifetime <library> load-cycles     loads, uses and unloads the library again and again
//
// The exits must be clean: built with the address sanitizer, a write into state that the
// process has already destroyed, or memory that a load-unload cycle leaves behind, fails the
// run. Without the sanitizer the load cycles measure the heap themselves.
#include <dlfcn.h>
#include <malloc.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kHeapIsTheSanitizers = true; // the sanitizer checks for leaks at exit
#else
constexpr bool kHeapIsTheSanitizers = false;
#endif

// The first cycles may grow loader tables that later cycles reuse; the heap is measured after
// them.
constexpr int kWarmUpCycles = 10;
constexpr int kMeasuredCycles = 100;
// A cycle that leaves even a small object behind grows the heap by more than this on average.
constexpr std::size_t kToleratedGrowthPerCycle = 16;

class Library {
public:
    explicit Library(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL))
    {
        if (handle_ == nullptr) {
            std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        }
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool loaded() const { return handle_ != nullptr; }

    void unload()
    {
        if (handle_ != nullptr) {
            dlclose(handle_);
            handle_ = nullptr;
        }
    }

    // Leaves the library loaded when the host exits.
    void keepToTheEnd() { handle_ = nullptr; }

    template <typename Function>
    Function* function(const char* name) const
    {
        return reinterpret_cast<Function*>(dlsym(handle_, name));
    }

    ~Library() { unload(); }

private:
    void* handle_;
};

// What a host does between load and unload: opens card 0 (so that the unload has a card to
// close), reports an error and reads it back. False when the library does not answer as it
// should.
bool use(const Library& library)
{
    auto* initialise = library.function<std::uint32_t(std::uint32_t)>("KZ_PCIInitialise");
    auto* lookUp = library.function<void*(std::uint32_t)>("KZ_ReturnBoardStatePointer");
    auto* lastError = library.function<std::uint32_t()>("KZ_GetLastError");
    if (initialise == nullptr || lookUp == nullptr || lastError == nullptr) {
        std::fprintf(stderr, "missing exports\n");
        return false;
    }
    if (initialise(0) != 1) {
        std::fprintf(stderr, "card 0 did not open\n");
        return false;
    }
    lookUp(99);
    if (lastError() != 0x7900) {
        std::fprintf(stderr, "the invalid card index was not reported\n");
        return false;
    }
    // The simulated card keeps a log of every call; emptied here so that it does not count as
    // the host's heap growing.
    if (auto* clearCallLog = library.function<void()>("XAVO_SIM_ClearCallLog")) {
        clearCallLog();
    }
    return true;
}

int exitWithTheLibrary(const char* path, bool unloadFirst)
{
    Library library(path);
    if (!library.loaded() || !use(library)) {
        return 1;
    }
    if (unloadFirst) {
        library.unload();
    } else {
        library.keepToTheEnd();
    }
    return 0;
}

int loadCycles(const char* path)
{
    std::size_t before = 0;
    for (int cycle = 0; cycle < kWarmUpCycles + kMeasuredCycles; ++cycle) {
        if (cycle == kWarmUpCycles) {
            before = mallinfo2().uordblks;
        }
        Library library(path);
        if (!library.loaded() || !use(library)) {
            return 1;
        }
    }
    const std::size_t after = mallinfo2().uordblks;
    if (kHeapIsTheSanitizers || after <= before + kToleratedGrowthPerCycle * kMeasuredCycles) {
        return 0;
    }
    std::fprintf(stderr, "%d load cycles grew the heap by %zu bytes\n", kMeasuredCycles, after - before);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <library> exit-loaded|exit-unloaded|load-cycles\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[2];
    if (mode == "exit-loaded" || mode == "exit-unloaded") {
        return exitWithTheLibrary(argv[1], mode == "exit-unloaded");
    }
    if (mode == "load-cycles") {
        return loadCycles(argv[1]);
    }
    std::fprintf(stderr, "unknown mode %s\n", argv[2]);
    return 2;
}
