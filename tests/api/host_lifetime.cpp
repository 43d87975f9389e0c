// A host that loads the card library with dlopen and ends in one of the ways hosts end:
//
//   host_lifetime <library> exit-loaded     brings a card up and uses it, then exits with the
//                                           library loaded and the card still open
//   host_lifetime <library> exit-unloaded   the same, but unloads the library before it exits
//   host_lifetime <library> load-cycles     loads, brings up, uses and unloads the library again
//                                           and again
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
#include <vector>

#include "XAVOKZ.h"

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

// How a host brings card 0 up: the library's own initialisation, from power-up to a calibrated,
// running acquisition (firmware from the library's folder).
bool bringUp(const Library& library)
{
    auto* initialise = library.function<decltype(KZ_Initialise)>("KZ_Initialise");
    auto* lastError = library.function<decltype(KZ_GetLastError)>("KZ_GetLastError");
    if (initialise == nullptr || lastError == nullptr) {
        std::fprintf(stderr, "missing exports\n");
        return false;
    }
    if (initialise(0) != 1) {
        std::fprintf(stderr, "card 0 did not initialise (error 0x%x)\n", static_cast<unsigned>(lastError()));
        return false;
    }
    return true;
}

// What a host does between load and unload: brings card 0 up, gives it settings that make the
// library allocate the card's tables (TCG curve, ping-pong tables, curved gate), reports an
// error and reads it back. False when the library does not answer as it should.
bool use(const Library& library)
{
    if (!bringUp(library)) {
        return false;
    }
    auto* lookUp = library.function<decltype(KZ_ReturnBoardStatePointer)>("KZ_ReturnBoardStatePointer");
    auto* lastError = library.function<decltype(KZ_GetLastError)>("KZ_GetLastError");
    auto* setFrequency = library.function<decltype(KZ_SetSamplingFrequency)>("KZ_SetSamplingFrequency");
    auto* setSamples = library.function<decltype(KZ_SetNumberOfSamples)>("KZ_SetNumberOfSamples");
    auto* setTcg = library.function<decltype(KZ_SetTCGValues)>("KZ_SetTCGValues");
    auto* setElement = library.function<decltype(KZ_SetPingPongSequenceElement)>("KZ_SetPingPongSequenceElement");
    auto* setCurvedGate = library.function<decltype(KZ_SetCurvedGateData)>("KZ_SetCurvedGateData");
    if (lookUp == nullptr || lastError == nullptr || setFrequency == nullptr || setSamples == nullptr ||
        setTcg == nullptr || setElement == nullptr || setCurvedGate == nullptr) {
        std::fprintf(stderr, "missing exports\n");
        return false;
    }
    const std::vector<std::uint16_t> curve(64, 200);
    const std::vector<std::uint16_t> thresholds(KZ_CURVED_GATE_NUMBER_OF_VALUES, 100);
    if (setFrequency(0, 66'000'000) != 1 || setSamples(0, 256) != 1 || setTcg(0, curve.data(), 64) != 1 ||
        setElement(0, 3, 5, 0) != 1 || setCurvedGate(0, thresholds.data()) != 1) {
        std::fprintf(stderr, "card 0 refused a setting (error 0x%x)\n", static_cast<unsigned>(lastError()));
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
