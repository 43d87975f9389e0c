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

constexpr std::uint32_t kCommandRegister = 0x14; // system bank
constexpr std::uint32_t kRelease = 0x11;

std::string folderOf(const char* libraryPath)
{
    const std::string path = libraryPath;
    return path.substr(0, path.find_last_of('/') + 1);
}

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

// Card 0 brought up through the library's exports, as far as the library has them: the record's
// defaults, the card opened with its DMA channel, both firmware images downloaded from the
// library's folder and the card released to run them.
bool bringUpByParts(const Library& library, const std::string& folder)
{
    auto* defaults = library.function<decltype(KZ_StructuresInitialise)>("KZ_StructuresInitialise");
    auto* open = library.function<decltype(KZ_PCIInitialise)>("KZ_PCIInitialise");
    auto* download = library.function<decltype(KZ_DumpBinFiles)>("KZ_DumpBinFiles");
    auto* setRegister = library.function<decltype(KZ_SetRegister)>("KZ_SetRegister");
    auto* records = library.function<BoardState*>("pBoardStates");
    if (defaults == nullptr || open == nullptr || download == nullptr || setRegister == nullptr || records == nullptr) {
        std::fprintf(stderr, "missing exports\n");
        return false;
    }
    if (defaults(0, 0x228, 0x21F) != 1 || *records == nullptr) {
        std::fprintf(stderr, "card 0 got no defaults\n");
        return false;
    }
    // The initialisation marks the card initialised once its record holds its defaults.
    (*records)[0].isInitialised = 1;
    if (open(0) != 1 ||
        download(0, (folder + "dsp_v228.bin").c_str(), (folder + "per_v21f.bin").c_str(), 0) != 1 ||
        setRegister(0, kCommandRegister, kRelease) != 1) {
        std::fprintf(stderr, "card 0 did not come up\n");
        return false;
    }
    return true;
}

// How a host brings card 0 up; with the library's own initialisation this becomes that one call.
bool bringUp(const Library& library, const std::string& folder) { return bringUpByParts(library, folder); }

// What a host does between load and unload: brings card 0 up, gives it settings that make the
// library allocate the card's tables (TCG curve, ping-pong tables, curved gate), reports an
// error and reads it back. False when the library does not answer as it should.
bool use(const Library& library, const std::string& folder)
{
    if (!bringUp(library, folder)) {
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
    if (!library.loaded() || !use(library, folderOf(path))) {
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
        if (!library.loaded() || !use(library, folderOf(path))) {
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
