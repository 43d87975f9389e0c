// The libFuzzer entry of a fuzz program: it holds exactly one target.
#include "fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto& all = kz::fuzz::targets();
    if (all.size() != 1) {
        std::fprintf(stderr, "a fuzz program holds one target, this one holds %zu\n", all.size());
        std::abort();
    }
    all.front().run(data, size);
    return 0;
}
